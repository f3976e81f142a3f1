// Hostile inputs through the exported functions: every run either succeeds with a sound output
// file or fails with one of the library's own messages; none crashes, hangs, runs out of memory
// or costs the caller an existing file. Each case runs in a child with a memory cap.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "fuzz_checks.h"
#include "hostile.h"
#include "kestrin.h"
#include "manifest.h"
#include "pdf_builder.h"

namespace {

using kestrin::test::child_outcome;
using kestrin::test::nested;
using kestrin::test::pdf_builder;
using kestrin::test::scaffold_pdf;
using kestrin::test::temp_dir;

// A hang guard, not a speed limit: a Debug build under load may be slow, but never this slow.
constexpr unsigned hang_guard_seconds = 120;
// Deep enough to overflow any stack that recursion on file data would use.
constexpr int hostile_depth = 100000;

using flatten_fn = std::int32_t (*)(const char*, const char*);
using count_fn = std::int32_t (*)(const char*);

struct hostile_case {
    const char* name;
    std::string pdf;
};

std::string count_rule(const char* what, std::int32_t n)
{
    std::string error = kestrin_last_error();
    if (n >= 0 && error.empty()) return {};
    if (n == -1 && kestrin::test::is_library_message(error)) return {};
    return std::string(what) + " gave " + std::to_string(n) + " with error text '" + error + "'";
}

std::string flatten_rule(const char* what, std::int32_t rc, const std::string& out)
{
    std::string error = kestrin_last_error();
    if (rc == 0) {
        if (!error.empty()) return std::string(what) + " succeeded with error text " + error;
        std::string broke = kestrin::fuzz::check_output_file(out);
        return broke.empty() ? broke : std::string(what) + ": " + broke;
    }
    if (rc != -1 || !kestrin::test::is_library_message(error))
        return std::string(what) + " gave " + std::to_string(rc) + " with error text '" + error + "'";
    if (std::filesystem::exists(out)) return std::string(what) + " failed but left an output file";
    return {};
}

// Both counting queries, then the flatten exports (all three, or only kestrin_all).
std::string exercise(const std::string& in, const std::string& out, bool every_mode)
{
    const std::pair<const char*, count_fn> counts[] = {
        {"field count", kestrin_field_count}, {"annotation count", kestrin_annotation_count}};
    for (const auto& [what, fn] : counts) {
        std::string broke = count_rule(what, fn(in.c_str()));
        if (!broke.empty()) return broke;
    }
    const std::pair<const char*, flatten_fn> runs[] = {
        {"kestrin_all", kestrin_all}, {"kestrin_forms", kestrin_forms},
        {"kestrin_annotations", kestrin_annotations}};
    for (const auto& [what, fn] : runs) {
        std::remove(out.c_str());
        std::string broke = flatten_rule(what, fn(in.c_str(), out.c_str()), out);
        if (!broke.empty() || !every_mode) return broke;
    }
    return {};
}

child_outcome run_case(const std::string& pdf, bool every_mode = true)
{
    temp_dir dir;
    std::string in = dir.write("in.pdf", pdf), out = dir.file("out.pdf");
    return kestrin::test::run_in_child([&] { return exercise(in, out, every_mode); },
                                       kestrin::test::memory_cap_for(pdf.size()),
                                       hang_guard_seconds);
}

void expect_all_survive(const std::vector<hostile_case>& cases)
{
    for (const auto& c : cases) EXPECT_EQ(kestrin::test::describe_failure(c.name, run_case(c.pdf)), "");
}

std::string obj(long num, const std::string& body)
{
    return std::to_string(num) + " 0 obj\n" + body + "\nendobj\n";
}

std::string stream_obj(long num, const std::string& dict, const std::string& data)
{
    return obj(num, "<< " + dict + " >>\nstream\n" + data + "\nendstream");
}

std::string annot_page(const std::string& annot_dict)
{
    return scaffold_pdf("/Annots [5 0 R]", "", obj(5, annot_dict));
}

// Catalog 1, then a chain of depth page-tree nodes from object 10, the last one naming page 3.
std::string deep_page_tree(int depth)
{
    pdf_builder b;
    b.object(1, "<< /Type /Catalog /Pages 10 0 R >>");
    for (int i = 0; i < depth; ++i) {
        int kid = i + 1 < depth ? 10 + i + 1 : 3;
        b.object(10 + i, "<< /Type /Pages /Kids [" + std::to_string(kid) + " 0 R] /Count 1 >>");
    }
    b.object(3, "<< /Type /Page /Parent 10 0 R /MediaBox [0 0 99 99] >>");
    return b.trailer("/Root 1 0 R").build();
}

// Node 2 is the root with the given "Kids"; node 4 is a Pages node with four_kids.
std::string page_tree(const std::string& kids, const std::string& four_kids,
                      const std::string& count = "1")
{
    return pdf_builder()
        .object(1, "<< /Type /Catalog /Pages 2 0 R >>")
        .object(2, "<< /Type /Pages /Kids [" + kids + "] /Count " + count + " >>")
        .object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 99 99] /Annots [5 0 R] >>")
        .object(4, "<< /Type /Pages /Kids [" + four_kids + "] /Count 1 >>")
        .object(5, "<< /Subtype /Square /Rect [1 1 9 9] >>")
        .trailer("/Root 1 0 R")
        .build();
}

// A chain of field objects from 10: each one's "Kids" lists the next fan_out times.
std::string field_fan_out(int levels, int fan_out)
{
    std::string objects = obj(5, "<< /Subtype /Widget /Rect [0 0 9 9] /Parent " +
                                     std::to_string(10 + levels - 1) + " 0 R >>");
    for (int i = 0; i < levels; ++i) {
        std::string kid = (i + 1 < levels ? std::to_string(10 + i + 1) : "5") + " 0 R ";
        std::string kids;
        for (int k = 0; k < fan_out; ++k) kids += kid;
        objects += obj(10 + i, "<< /FT /Tx /Kids [" + kids + "] >>");
    }
    return scaffold_pdf("/Annots [5 0 R]", "/AcroForm << /Fields [10 0 R] >>", objects);
}

// A widget whose "Parent" chain runs through depth field objects from 10.
std::string long_parent_chain(int depth)
{
    std::string objects = obj(5, "<< /Subtype /Widget /Rect [0 0 9 9] /Parent 10 0 R >>");
    for (int i = 0; i < depth; ++i)
        objects += obj(10 + i, i + 1 < depth ? "<< /Parent " + std::to_string(11 + i) + " 0 R >>"
                                             : std::string("<< /FT /Tx >>"));
    return scaffold_pdf("/Annots [5 0 R]", "/AcroForm << /Fields [5 0 R] >>", objects);
}

std::string padded(long value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%010ld", value);
    return text;
}

std::string three_object_start(const char* header)
{
    return std::string(header) + obj(1, "<< /Type /Catalog /Pages 2 0 R >>") +
           obj(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>") +
           obj(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 99 99] >>");
}

// Cross-reference sections chained by "Prev": self points the last one at itself, otherwise two
// point at each other. Offsets are padded to a fixed width so that they can be filled in after.
std::string prev_loop(std::string out, const std::function<std::string(const std::string&)>& section,
                      bool self)
{
    long first = static_cast<long>(out.size());
    long second = first + static_cast<long>(section(padded(0)).size());
    if (!self) out += section(padded(second));
    else second = first;
    out += section(padded(self ? second : first));
    return out + "startxref\n" + std::to_string(second) + "\n%%EOF\n";
}

std::string xref_stream_prev_loop(bool self)
{
    auto section = [](const std::string& prev) {
        return obj(20, "<< /Type /XRef /Size 22 /Root 1 0 R /Prev " + prev +
                           " /W [1 4 2] /Length 0 >>\nstream\n\nendstream");
    };
    return prev_loop(three_object_start("%PDF-1.5\n"), section, self);
}

std::string classic_prev_loop(bool self)
{
    auto section = [](const std::string& prev) {
        return "xref\n0 1\n0000000000 65535 f \ntrailer\n<< /Size 4 /Root 1 0 R /Prev " + prev +
               " >>\n";
    };
    return prev_loop(three_object_start("%PDF-1.4\n"), section, self);
}

std::string objstm_header(const std::string& n, const std::string& first)
{
    std::string data = "5 0 << /Subtype /Square /Rect [1 1 9 9] >>";
    return scaffold_pdf("/Annots [5 0 R]", "",
                        stream_obj(9, "/Type /ObjStm /N " + n + " /First " + first + " /Length " +
                                          std::to_string(data.size()),
                                   data));
}

std::string content_with_length(const std::string& length)
{
    return scaffold_pdf("/Contents 5 0 R", "",
                        stream_obj(5, "/Length " + length, "0 0 1 rg 1 1 9 9 re f\n"));
}

std::string annot_object_number(const std::string& num)
{
    return scaffold_pdf("/Annots [" + num + " 0 R]", "",
                        num + " 0 obj\n<< /Subtype /Square /Rect [1 1 9 9] >>\nendobj\n");
}

const std::string& one_gib_bomb()
{
    static const std::string bomb = kestrin::test::zlib_bomb("0 0 1 rg\n", 1ull << 30);
    return bomb;
}

std::string flate_stream(long num, const std::string& dict, const std::string& data)
{
    return stream_obj(num, dict + " /Filter /FlateDecode /Length " + std::to_string(data.size()),
                      data);
}

TEST(HostileHarness, ReportsEveryWayAChildCanGoWrong)
{
    struct harness_case {
        const char* name;
        std::function<std::string()> body;
        unsigned alarm_seconds;
        const char* expected;  // part of the description; "" for a clean run
    };
    const harness_case cases[] = {
        // A clean run is not reported.
        {"clean", [] { return std::string(); }, 5, ""},
        // A broken rule is reported with the case name.
        {"rule", [] { return std::string("rule broken"); }, 5, "rule: rule broken"},
        // Death by signal, as a crash in the library would end (AddressSanitizer turns it into
        // an exit status, which is reported too).
        {"segv", [] { std::raise(SIGSEGV); return std::string(); }, 5, "segv: "},
        // A hang is ended by the guard.
        {"hang", [] { for (;;) pause(); return std::string(); }, 1, "(hang guard)"},
        // An exception that escapes is reported, not lost.
        {"throw", []() -> std::string { throw std::bad_alloc(); }, 5, "std::bad_alloc escaped"},
    };
    for (const auto& c : cases) {
        std::string got = kestrin::test::describe_failure(
            c.name, kestrin::test::run_in_child(c.body, 0, c.alarm_seconds));
        if (std::string(c.expected).empty()) EXPECT_EQ(got, "") << c.name;
        else EXPECT_NE(got.find(c.expected), std::string::npos) << c.name << ": " << got;
    }
}

TEST(HostileHarness, KnowsTheLibraryMessages)
{
    const std::pair<const char*, bool> cases[] = {
        {"input: cannot open /x.pdf", true},
        {"flatten plan failed: ", true},                    // planner without a cause
        {"encrypted PDFs are not supported: a.pdf", true},
        {"cannot write out.pdf", true},
        {"input: no document catalog (object 1 is missing)", true},
        {"internal error: vector", false},                  // an escaped exception is a fault
        {"", false},
        {"input: ", false},
        {"cannot", false},
    };
    for (const auto& [text, known] : cases) EXPECT_EQ(kestrin::test::is_library_message(text), known) << text;
}

TEST(Hostile, DeepNestingNeverOverflowsTheStack)
{
    const std::string dict = nested("<< /K ", "1", " >>", hostile_depth);
    const std::string array = nested("[", "1", "]", hostile_depth);
    const std::string square = obj(5, "<< /Subtype /Square /Rect [0 0 9 9] >>");
    expect_all_survive({
        // Nested values in a page dictionary that the writer copies and edits.
        {"page dict nesting", scaffold_pdf("/Deep " + dict + " /Annots [5 0 R]", "", square)},
        {"page array nesting", scaffold_pdf("/Deep " + array + " /Annots [5 0 R]", "", square)},
        // Never closed: the page's frame runs on to the end of the file.
        {"page dict unclosed", scaffold_pdf("/Deep " + nested("<< /K ", "", "", hostile_depth), "", "")},
        // Nesting inside an annotation that the planner reads.
        {"annotation dict nesting", annot_page("<< /Subtype /Square /Rect [0 0 9 9] /Deep " + dict + " >>")},
        {"annotation AP nesting", annot_page("<< /Subtype /Square /Rect [0 0 9 9] /AP " +
                                             nested("<< /N ", "6 0 R", " >>", hostile_depth) + " >>")},
        {"Rect nesting", annot_page("<< /Subtype /Square /Rect " + nested("[", "0 0 9 9", "]", hostile_depth) + " >>")},
        {"Rect unclosed", annot_page("<< /Subtype /Square /Rect " + nested("[", "0 0 9 9", "", hostile_depth) + " >>")},
        {"Annots nesting", scaffold_pdf("/Annots " + nested("[", "5 0 R", "]", hostile_depth), "", square)},
        {"Fields nesting", scaffold_pdf("", "/AcroForm << /Fields " + nested("[", "5 0 R", "]", hostile_depth) + " >>",
                                        obj(5, "<< /FT /Tx >>"))},
        // A page tree 100,000 nodes deep.
        {"deep page tree", deep_page_tree(hostile_depth)},
    });
}

TEST(Hostile, CyclesEndInBoundedTime)
{
    expect_all_survive({
        // Page tree: the root lists itself; two Pages nodes list each other; a cycle beside a page.
        {"page tree self cycle", page_tree("2 0 R", "3 0 R")},
        {"page tree two-node cycle", page_tree("4 0 R", "2 0 R")},
        {"page tree cycle beside page", page_tree("3 0 R 4 0 R", "2 0 R 3 0 R")},
        // Parent chains: a widget and its field point at each other; an annotation at itself.
        {"field parent loop",
         scaffold_pdf("/Annots [5 0 R]", "/AcroForm << /Fields [6 0 R] >>",
                      obj(5, "<< /Subtype /Widget /Rect [0 0 9 9] /Parent 6 0 R >>") +
                          obj(6, "<< /Kids [5 0 R] /Parent 5 0 R >>"))},
        {"annotation parent self loop", annot_page("<< /Subtype /Widget /Rect [0 0 9 9] /Parent 5 0 R >>")},
        {"long parent chain", long_parent_chain(hostile_depth)},
        // Field kids: a two-node cycle, a node listing itself, a chain that fans out to 4^30 paths.
        {"field kids cycle",
         scaffold_pdf("", "/AcroForm << /Fields [6 0 R] >>",
                      obj(6, "<< /FT /Tx /Kids [7 0 R] >>") + obj(7, "<< /Kids [6 0 R] >>"))},
        {"field kids self", scaffold_pdf("", "/AcroForm << /Fields [6 0 R 6 0 R] >>",
                                         obj(6, "<< /Kids [6 0 R 6 0 R] >>"))},
        {"field kids fan-out", field_fan_out(30, 4)},
        // "Prev" chains of cross-reference sections.
        {"xref stream Prev self", xref_stream_prev_loop(true)},
        {"xref stream Prev mutual", xref_stream_prev_loop(false)},
        {"classic Prev self", classic_prev_loop(true)},
        {"classic Prev mutual", classic_prev_loop(false)},
        // A "Length" that names its own object, and two lengths that name each other.
        {"Length names itself", scaffold_pdf("/Contents 5 0 R", "", stream_obj(5, "/Length 5 0 R", "0 0 m\n"))},
        {"Lengths name each other",
         scaffold_pdf("/Contents [5 0 R 6 0 R]", "",
                      stream_obj(5, "/Length 6 0 R", "0 0 m\n") + stream_obj(6, "/Length 5 0 R", "1 1 l\n"))},
    });
}

TEST(Hostile, NumbersAtTheLimits)
{
    expect_all_survive({
        // Stream lengths far past the file, negative, and beyond 32 and 64 bits.
        {"Length INT32_MAX", content_with_length("2147483647")},
        {"Length -1", content_with_length("-1")},
        {"Length 2^32", content_with_length("4294967296")},
        {"Length 20 digits", content_with_length("99999999999999999999")},
        // Object numbers at and around the limits the loader sets.
        {"object 2147483647", annot_object_number("2147483647")},
        {"object 2147483648", annot_object_number("2147483648")},
        {"object 8388607", annot_object_number("8388607")},
        {"object 8388608", annot_object_number("8388608")},
        {"generation huge", scaffold_pdf("/Annots [5 99999999999 R]", "",
                                         "5 99999999999 obj\n<< /Subtype /Square /Rect [1 1 9 9] >>\nendobj\n")},
        // Object stream headers that promise more than they hold.
        {"ObjStm N INT32_MAX", objstm_header("2147483647", "4")},
        {"ObjStm N -1", objstm_header("-1", "4")},
        {"ObjStm First INT32_MAX", objstm_header("1", "2147483647")},
        {"ObjStm First -5", objstm_header("1", "-5")},
        {"ObjStm First 20 digits", objstm_header("1", "99999999999999999999")},
        // Geometry that overflows float and int conversions, with and without an appearance.
        {"Rect 1e308", annot_page("<< /Subtype /Square /Rect [0 0 1e308 1e308] >>")},
        {"Rect -1e308", annot_page("<< /Subtype /Circle /Rect [-1e308 -1e308 1 1] >>")},
        {"Rect 20 digits", annot_page("<< /Subtype /Square /Rect [0 0 99999999999999999999 99999999999999999999] >>")},
        {"Rect huge with AP",
         scaffold_pdf("/Annots [5 0 R]", "",
                      obj(5, "<< /Subtype /Stamp /Rect [0 0 99999999999999999999 1e308] /AP << /N 6 0 R >> >>") +
                          stream_obj(6, "/BBox [0 0 1e308 -1e308] /Matrix [1e308 0 0 1e308 0 0] /Length 5", "0 0 m"))},
        {"Ink points huge", annot_page("<< /Subtype /Ink /Rect [0 0 9 9] /InkList [[1e308 1e308 -1e308 99999999999999999999]] >>")},
        {"FreeText font size huge", annot_page("<< /Subtype /FreeText /Rect [0 0 99 99] /Contents (x) /DA (/Helv 1e308 Tf) >>")},
        {"Pages Count INT32_MAX", page_tree("3 0 R", "3 0 R", "2147483647")},
    });
}

TEST(Hostile, FieldReferencesNeverCostThePageTree)
{
    const std::string square = obj(5, "<< /Subtype /Square /Rect [1 1 9 9] >>");
    expect_all_survive({
        // "Fields" names the page-tree root, or the page itself.
        {"Fields lists Pages root", scaffold_pdf("/Annots [5 0 R]", "/AcroForm << /Fields [2 0 R] >>", square)},
        {"Fields lists the page", scaffold_pdf("/Annots [5 0 R]", "/AcroForm << /Fields [3 0 R] >>", square)},
        // A field's "Kids" reaches the page.
        {"field Kids list the page",
         scaffold_pdf("/Annots [5 0 R]", "/AcroForm << /Fields [6 0 R] >>",
                      square + obj(6, "<< /FT /Tx /Kids [3 0 R] >>"))},
        // A damaged "Fields" array whose "]" is lost runs on into the catalog's "/Pages 2 0 R".
        {"unclosed Fields array",
         pdf_builder()
             .object(1, "<< /Type /Catalog /AcroForm << /Fields [6 0 R\n>> /Pages 2 0 R >>")
             .object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>")
             .object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 99 99] /Annots [6 0 R] >>")
             .object(6, "<< /FT /Tx /Subtype /Widget /Rect [1 1 9 9] >>")
             .trailer("/Root 1 0 R")
             .build()},
    });
}

TEST(Hostile, ZlibBombsStayWithinTheMemoryBound)
{
    const std::string& bomb = one_gib_bomb();
    const std::string annot = obj(5, "<< /Subtype /Square /Rect [0 0 9 9] /AP << /N 6 0 R >> >>");
    const std::vector<hostile_case> cases = {
        // An object stream that inflates to 1 GiB, holding the page's annotation.
        {"ObjStm bomb", scaffold_pdf("/Annots [5 0 R]", "",
                                     flate_stream(9, "/Type /ObjStm /N 1 /First 4", bomb))},
        // The page content stream.
        {"content bomb", scaffold_pdf("/Contents 5 0 R", "", flate_stream(5, "", bomb))},
        // The appearance stream that the writer turns into a form XObject.
        {"appearance bomb", scaffold_pdf("/Annots [5 0 R]", "",
                                         annot + flate_stream(6, "/Subtype /Form /BBox [0 0 9 9]", bomb))},
    };
    for (const auto& c : cases) {
        child_outcome outcome = run_case(c.pdf);
        EXPECT_EQ(kestrin::test::describe_failure(c.name, outcome), "");
        // Checked also where the address-space cap is off (AddressSanitizer).
        EXPECT_LT(static_cast<std::uint64_t>(outcome.max_rss_kib) * 1024,
                  kestrin::test::memory_cap_for(c.pdf.size()))
            << c.name;
    }
}

// Copies of a corpus file cut short or with a few bytes flipped, each with a name that says how.
std::vector<std::pair<std::string, std::string>> mutations(const std::string& name,
                                                           const std::string& bytes,
                                                           std::mt19937& rng)
{
    std::vector<std::pair<std::string, std::string>> out;
    const std::size_t size = bytes.size();
    // Six cuts spread over the file, and two inside the last 64 bytes (startxref, %%EOF).
    std::vector<std::size_t> cuts;
    for (std::size_t k = 1; k <= 6; ++k) cuts.push_back(size * k / 7);
    for (std::size_t back : {48u, 6u})
        if (size > back) cuts.push_back(size - back);
    for (std::size_t cut : cuts)
        out.emplace_back(name + " cut at " + std::to_string(cut), bytes.substr(0, cut));
    constexpr int flip_variants = 6, flips_per_variant = 3;
    for (int v = 0; v < flip_variants && size > 0; ++v) {
        std::string flipped = bytes;
        std::string where;
        for (int f = 0; f < flips_per_variant; ++f) {
            std::size_t pos = rng() % size;
            flipped[pos] = static_cast<char>(flipped[pos] ^ static_cast<char>(1 + rng() % 255));
            where.append(" ").append(std::to_string(pos));
        }
        out.emplace_back(name + " flipped at" + where, std::move(flipped));
    }
    return out;
}

TEST(Hostile, DamagedCorpusFiles)
{
    // Every file: a Debug run of all of them takes well under a minute.
    auto rows = kestrin::test::read_manifest(KESTRIN_CORPUS_DIR);
    if (rows.empty()) GTEST_SKIP() << "corpus not present";
    std::mt19937 rng(20261209);
    for (const auto& row : rows) {
        std::string bytes = kestrin::test::read_file(row.path());
        ASSERT_FALSE(bytes.empty()) << row.path();
        for (const auto& [name, pdf] : mutations(row["file"], bytes, rng))
            EXPECT_EQ(kestrin::test::describe_failure(name, run_case(pdf, false)), "");
    }
}

// The output-preservation cases run in this process: they test file handling, not survival.
std::string broken_input() { return "%PDF-1.4\nthere are no objects here\n%%EOF\n"; }

std::string flattenable_input()
{
    return scaffold_pdf("/Annots [5 0 R]", "", obj(5, "<< /Subtype /Square /Rect [10 10 50 50] /C [1 0 0] >>"));
}

TEST(Hostile, FailedFlattenKeepsTheExistingOutput)
{
    temp_dir dir;
    const std::string precious = "precious bytes the caller already had\n";
    const std::string encrypted = scaffold_pdf("", "", "") + "trailer\n<< /Root 1 0 R /Encrypt 9 0 R >>\n";
    const std::pair<const char*, std::string> inputs[] = {
        {"no objects", dir.write("broken.pdf", broken_input())},
        {"missing input", dir.file("missing.pdf")},
        {"encrypted", dir.write("encrypted.pdf", encrypted)},
        {"empty", dir.write("empty.pdf", "")},
    };
    for (const auto& [what, in] : inputs) {
        for (flatten_fn fn : {kestrin_all, kestrin_forms, kestrin_annotations}) {
            std::string out = dir.write("out.pdf", precious);
            EXPECT_EQ(fn(in.c_str(), out.c_str()), -1) << what;
            EXPECT_TRUE(kestrin::test::is_library_message(kestrin_last_error()))
                << what << ": " << kestrin_last_error();
            EXPECT_EQ(kestrin::test::read_file(out), precious) << what;
        }
    }
}

TEST(Hostile, FlattenOntoItself)
{
    temp_dir dir;
    // A failing run in place leaves the file as it was.
    std::string broken = dir.write("broken.pdf", broken_input());
    EXPECT_EQ(kestrin_all(broken.c_str(), broken.c_str()), -1);
    EXPECT_EQ(kestrin::test::read_file(broken), broken_input());

    // A succeeding run in place replaces it with the flattened file.
    std::string good = dir.write("good.pdf", flattenable_input());
    ASSERT_EQ(kestrin_annotation_count(good.c_str()), 1);
    ASSERT_EQ(kestrin_all(good.c_str(), good.c_str()), 0) << kestrin_last_error();
    EXPECT_EQ(kestrin::fuzz::check_output_file(good), "");
    EXPECT_EQ(kestrin_annotation_count(good.c_str()), 0);
}

// Writes the fuzz seeds when asked: KESTRIN_SEED_DIR=dir interface_tests
// --gtest_also_run_disabled_tests --gtest_filter='*WriteFuzzSeeds'
TEST(Hostile, DISABLED_WriteFuzzSeeds)
{
    const char* dir = std::getenv("KESTRIN_SEED_DIR");
    if (dir == nullptr) GTEST_SKIP() << "KESTRIN_SEED_DIR not set";
    EXPECT_GT(kestrin::test::write_fuzz_seeds(dir), 0);
}

}  // namespace
