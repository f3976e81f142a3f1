// The compact output end to end, through kestrin_flatten_memory: what it writes instead of the
// default's decoded copies, and that it renders exactly as the default output does.
#include <gtest/gtest.h>
#include <zlib.h>

#include <regex>
#include <string>
#include <vector>

#include "kestrin.h"
#include "pdf_builder.h"
#include "writer_check.h"

namespace kestrin::test {
namespace {

std::string flattened(const std::string& in, bool compact, bool keep_links = false)
{
    kestrin_options o = KESTRIN_OPTIONS_INIT;
    o.compact = compact ? 1 : 0;
    o.keep_links = keep_links ? 1 : 0;
    void* out = nullptr;
    size_t len = 0;
    if (kestrin_flatten_memory(in.data(), in.size(), &out, &len, &o) != 0) return "";
    std::string bytes(static_cast<const char*>(out), len);
    kestrin_free(out);
    return bytes;
}

bool have_tools()
{
    return run_command("pdftoppm -v >/dev/null 2>&1") == 0 && run_command("qpdf --version >/dev/null 2>&1") == 0;
}

// Every page at 72 dpi, as one byte string; empty when pdftoppm fails.
std::string rendered(const temp_dir& dir, const std::string& path)
{
    const std::string prefix = dir.file("page");
    if (run_command("pdftoppm -q -r 72 -singlefile '" + path + "' '" + prefix + "'") != 0) return "";
    return read_file(prefix + ".ppm");
}

std::string inflated(const std::string& z)
{
    std::string out(1 << 16, '\0');
    uLongf len = out.size();
    if (uncompress(reinterpret_cast<Bytef*>(out.data()), &len, reinterpret_cast<const Bytef*>(z.data()), z.size()) != Z_OK)
        return "(not zlib data)";
    out.resize(len);
    return out;
}

// The references of the page's "Contents", in order.
std::vector<long> contents_of(const written_pdf& w)
{
    std::smatch m;
    const std::string page = w.object(3);
    std::vector<long> refs;
    if (!std::regex_search(page, m, std::regex(R"(/Contents (\[[^\]]*\]|\d+ 0 R))"))) return refs;
    const std::string value = m[1];
    const std::regex ref(R"((\d+) 0 R)");
    for (std::sregex_iterator it(value.begin(), value.end(), ref), end; it != end; ++it)
        refs.push_back(std::stol((*it)[1]));
    return refs;
}

// The object the page's resources give for the XObject name.
long xobject_named(const written_pdf& w, const std::string& name)
{
    std::smatch m;
    const std::string page = w.object(3);
    if (!std::regex_search(page, m, std::regex("/" + name + R"( (\d+) 0 R)"))) return -1;
    return std::stol(m[1]);
}

const std::string square_annot = "<< /Type /Annot /Subtype /Square /Rect [20 20 60 60] /AP << /N 11 0 R >> >>";
const std::string blue_box = "0 0 1 rg 0 0 40 40 re f\n";

// A page with content streams 4, 5, ... (Flate), the square annotation 10 (or the given "Annots"
// entries) and its appearance 11 with the given entries and content (Flate).
std::string page_doc(const std::vector<std::string>& contents, const std::string& appearance_entries,
                     const std::string& appearance = blue_box, const std::string& annots = "10 0 R")
{
    pdf_builder b;
    b.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    std::string refs;
    for (std::size_t i = 0; i < contents.size(); ++i) refs += std::to_string(4 + i) + " 0 R ";
    b.object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Resources << /Font << /F1 9 0 R >> >> "
                "/Contents [" + refs + "] /Annots [" + annots + "] >>");
    for (std::size_t i = 0; i < contents.size(); ++i) b.stream(static_cast<int>(4 + i), "", contents[i], true);
    b.object(9, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    b.object(10, square_annot);
    b.stream(11, appearance_entries, appearance, true);
    return b.build();
}

const std::string form_entries = "/Type /XObject /Subtype /Form /BBox [0 0 40 40] /Resources << >>";

enum class xobject_kind { the_appearance, stored_copy, decoded };

struct compact_case {
    const char* what;
    std::string pdf;
    xobject_kind xobject;
    std::size_t leading_q;          // references to the "q" stream before the old pieces
    bool old_pieces_in_place;       // the old streams stay referenced from the page
    std::string new_stream_start;  // what the new content stream begins with
};

const std::vector<compact_case>& compact_cases()
{
    static const std::vector<compact_case> cases = {
        // An appearance fit to be a form XObject is drawn as it stands.
        {"flate appearance", page_doc({"1 0 0 rg 100 100 50 50 re f"}, form_entries), xobject_kind::the_appearance, 1,
         true, "\nQ\nq "},
        // The default XObject leaves a transparency group out, and draws without it: a copy does too.
        {"appearance with a group", page_doc({"1 0 0 rg 100 100 50 50 re f"}, form_entries + " /Group << /S /Transparency >>"),
         xobject_kind::stored_copy, 1, true, "\nQ\nq "},
        {"appearance without a subtype", page_doc({"0 g"}, "/BBox [0 0 40 40] /Resources << >>"),
         xobject_kind::stored_copy, 1, true, "\nQ\nq "},
        {"appearance without a box", page_doc({"0 g"}, "/Subtype /Form /Resources << >>"), xobject_kind::stored_copy, 1,
         true, "\nQ\nq "},
        // A Q without its q would end the form's drawing in poppler; the default's clip absorbs it.
        {"appearance restoring an unsaved state", page_doc({"0 g"}, form_entries, "Q " + blue_box),
         xobject_kind::decoded, 1, true, "\nQ\nq "},
        // Old content in three compressed streams that balance only together.
        {"old content in several streams",
         page_doc({"q 1 0 0 rg", "100 100 50 50 re f", "Q 0 0 1 RG 0 0 m 200 200 l S"}, form_entries),
         xobject_kind::the_appearance, 1, true, "\nQ\nq "},
        // Stray Q at the end: one more q of ours absorbs each, and nothing is drawn after them.
        {"stray Q at the end", page_doc({"1 0 0 rg 100 100 50 50 re f Q", "Q"}, form_entries),
         xobject_kind::the_appearance, 3, true, "\nQ\nq "},
        // A stray Q before more drawing: the page is written as the default writes it.
        {"stray Q before a drawing", page_doc({"2 0 0 2 0 0 cm Q 1 0 0 rg 50 50 20 20 re f"}, form_entries),
         xobject_kind::the_appearance, 0, false, "q\n2 0 0 2 0 0 cm   1 0 0 rg"},
        {"unclosed text object", page_doc({"BT /F1 12 Tf 10 150 Td (abc) Tj"}, form_entries),
         xobject_kind::the_appearance, 1, true, "\nET\nQ\nq "},
        {"unclosed string and array", page_doc({"BT /F1 12 Tf 10 150 Td [(ab"}, form_entries),
         xobject_kind::the_appearance, 1, true, "\n)\n]\nET\nQ\nq "},
        // No old content at all: the new stream is the page's only content.
        {"empty old content", page_doc({""}, form_entries), xobject_kind::the_appearance, 0, false, "q "},
        // An annotation dictionary written in "Annots" itself.
        {"direct annotation", page_doc({"1 0 0 rg 100 100 50 50 re f"}, form_entries, blue_box, square_annot),
         xobject_kind::the_appearance, 1, true, "\nQ\nq "},
    };
    return cases;
}

TEST(CompactOutput, KeepsStoredDataAndRendersAsTheDefault)
{
    if (!have_tools()) GTEST_SKIP() << "pdftoppm or qpdf not installed";
    temp_dir dir;
    for (const compact_case& tc : compact_cases()) {
        SCOPED_TRACE(tc.what);
        const std::string in = dir.write("in.pdf", tc.pdf);
        const std::string def_path = dir.write("default.pdf", flattened(tc.pdf, false));
        const std::string cmp_path = dir.write("compact.pdf", flattened(tc.pdf, true));
        const written_pdf def = read_written(def_path), cmp = read_written(cmp_path);
        ASSERT_EQ(def.problem, "");
        ASSERT_EQ(cmp.problem, "");
        EXPECT_EQ(run_command("qpdf --check '" + cmp_path + "' >/dev/null 2>&1"), 0);
        EXPECT_EQ(kestrin_annotation_count(cmp_path.c_str()), 0);
        const std::string pixels = rendered(dir, def_path);
        ASSERT_FALSE(pixels.empty());
        EXPECT_TRUE(pixels == rendered(dir, cmp_path)) << "renders differently";

        // The XObject: the default's object, the appearance itself, or a copy of its stored data.
        const long def_xobject = xobject_named(def, "Fl13");
        ASSERT_EQ(def_xobject, 13);
        const long xobject = xobject_named(cmp, "Fl13");
        const std::string stored = def.stream_data(11);  // the default copies the appearance as it is
        switch (tc.xobject) {
        case xobject_kind::the_appearance:
            EXPECT_EQ(xobject, 11);
            EXPECT_EQ(cmp.in_use.count(13), 0u);
            EXPECT_EQ(cmp.stream_data(11), stored);
            break;
        case xobject_kind::stored_copy:
            EXPECT_EQ(xobject, 13);
            EXPECT_EQ(cmp.stream_data(13), stored);
            EXPECT_NE(cmp.object(13).find("/Filter /FlateDecode"), std::string::npos) << cmp.object(13);
            EXPECT_EQ(cmp.object(13).find("/Group"), std::string::npos) << cmp.object(13);
            break;
        case xobject_kind::decoded:
            EXPECT_EQ(xobject, 13);
            EXPECT_EQ(cmp.object(13), def.object(13));
            break;
        }

        // The page: the q stream, the old pieces as they stand, then the new stream.
        const std::vector<long> contents = contents_of(cmp);
        ASSERT_FALSE(contents.empty());
        const std::size_t old_pieces = tc.old_pieces_in_place ? contents.size() - 1 - tc.leading_q : 0;
        ASSERT_EQ(contents.size(), tc.leading_q + old_pieces + 1);
        for (std::size_t i = 0; i < tc.leading_q; ++i) EXPECT_EQ(cmp.stream_data(contents[i]), "q\n");
        for (std::size_t i = 0; i < old_pieces; ++i) {
            const long piece = contents[tc.leading_q + i];
            EXPECT_EQ(piece, static_cast<long>(4 + i));
            EXPECT_EQ(cmp.stream_data(piece), def.stream_data(piece));
            EXPECT_NE(cmp.object(piece).find("/FlateDecode"), std::string::npos);
        }
        // The new stream is deflated when that makes it smaller.
        const bool deflated = cmp.object(contents.back()).find("/Filter /FlateDecode") != std::string::npos;
        const std::string fresh = deflated ? inflated(cmp.stream_data(contents.back())) : cmp.stream_data(contents.back());
        EXPECT_EQ(fresh.substr(0, tc.new_stream_start.size()), tc.new_stream_start) << fresh;
    }
}

// Enough placements for the new stream to be worth deflating: it decodes to the default's drawings.
TEST(CompactOutput, NewStreamsAreDeflatedWhenThatIsSmaller)
{
    std::string annots;
    for (int i = 0; i < 40; ++i) annots += "<< /Type /Annot /Subtype /Square /Rect [" + std::to_string(i * 4) +
                                           " 20 " + std::to_string(i * 4 + 4) + " 60] /AP << /N 11 0 R >> >> ";
    const std::string pdf = page_doc({"1 0 0 rg 100 100 50 50 re f"}, form_entries, blue_box, annots);
    temp_dir dir;
    const written_pdf def = read_written(dir.write("default.pdf", flattened(pdf, false)));
    const written_pdf cmp = read_written(dir.write("compact.pdf", flattened(pdf, true)));
    ASSERT_EQ(cmp.problem, "");
    const std::vector<long> contents = contents_of(cmp);
    ASSERT_EQ(contents.size(), 3u);
    const std::string fresh = cmp.object(contents.back());
    EXPECT_NE(fresh.find("/Filter /FlateDecode"), std::string::npos) << fresh;
    const std::string drawings = inflated(cmp.stream_data(contents.back()));
    const std::string whole = def.stream_data(contents_of(def).front());
    ASSERT_GT(drawings.size(), 1000u);
    EXPECT_LT(cmp.stream_data(contents.back()).size(), drawings.size() / 2);
    EXPECT_EQ(whole.substr(whole.size() - drawings.size()), drawings);
}

// The down appearance of a flattened square and an object nothing names are left out; what a kept
// link and the document information refer to stays, and so does an object whose number only
// appears in a string: references are over-counted rather than missed.
TEST(CompactOutput, LeavesOutWhatNothingWrittenRefersTo)
{
    pdf_builder b;
    b.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    b.object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 4 0 R /Annots [10 0 R 20 0 R] >>");
    b.stream(4, "", "0 0 1 rg 10 10 50 50 re f");
    b.object(10, "<< /Type /Annot /Subtype /Square /Rect [20 20 60 60] /AP << /N 11 0 R /D 12 0 R >> >>");
    b.stream(11, form_entries, blue_box, true);
    b.stream(12, form_entries, "1 0 0 rg 0 0 40 40 re f", true);
    b.object(20, "<< /Type /Annot /Subtype /Link /Rect [100 100 150 120] /A 21 0 R >>");
    b.object(21, "<< /S /URI /URI (https://example.invalid/) >>");
    b.object(30, "<< /Unused true >>");
    b.object(31, "<< /Title (see 32) >>");
    b.object(32, "<< /Named true >>");
    b.trailer("/Root 1 0 R /Info 31 0 R");
    const std::string pdf = b.build();
    temp_dir dir;
    const written_pdf def = read_written(dir.write("default.pdf", flattened(pdf, false, true)));
    const written_pdf cmp = read_written(dir.write("compact.pdf", flattened(pdf, true, true)));
    ASSERT_EQ(def.problem, "");
    ASSERT_EQ(cmp.problem, "");
    for (long num : {12, 30}) {
        EXPECT_EQ(def.in_use.count(num), 1u) << num;
        EXPECT_EQ(cmp.in_use.count(num), 0u) << num;
    }
    for (long num : {1, 2, 3, 4, 11, 20, 21, 31, 32}) EXPECT_EQ(cmp.in_use.count(num), 1u) << num;
    EXPECT_EQ(cmp.in_use.count(10), 0u);  // flattened: in neither output
    EXPECT_EQ(kestrin_annotation_count_memory(cmp.bytes.data(), cmp.bytes.size()), 1);
}

}  // namespace
}  // namespace kestrin::test
