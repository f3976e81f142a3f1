// The exports added beside the original eight: version, options record, kestrin_flatten, the
// memory functions and kestrin_free, through the C ABI only.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "kestrin.h"
#include "pdf_builder.h"

namespace {

using kestrin::test::one_page_doc;
using kestrin::test::read_file;
using kestrin::test::pixel;
using kestrin::test::run_command;
using kestrin::test::temp_dir;

const std::string example = std::string(KESTRIN_SOURCE_DIR) + "/examples/example_form.pdf";

std::string last_error() { return kestrin_last_error(); }

// A page with a Link (prints), a printing red Square at 10..60, a non-printing blue Square at
// 110..160 and a printing text field.
std::string mixed_doc()
{
    return one_page_doc("/Annots [10 0 R 11 0 R 12 0 R 13 0 R]",
                        "/AcroForm << /Fields [13 0 R] >>", "")
        .object(10, "<< /Type /Annot /Subtype /Link /Rect [150 0 200 20] /F 4 /Border [0 0 0] "
                    "/A << /S /URI /URI (https://example.invalid/) >> >>")
        .object(11, "<< /Type /Annot /Subtype /Square /Rect [10 10 60 60] /F 4 /AP << /N 20 0 R >> >>")
        .object(12, "<< /Type /Annot /Subtype /Square /Rect [110 110 160 160] /AP << /N 21 0 R >> >>")
        .object(13, "<< /Type /Annot /Subtype /Widget /FT /Tx /T (a) /Rect [10 110 60 160] /F 4 "
                    "/AP << /N 20 0 R >> >>")
        .stream(20, "/Type /XObject /Subtype /Form /BBox [0 0 50 50]", "1 0 0 rg 0 0 50 50 re f\n")
        .stream(21, "/Type /XObject /Subtype /Form /BBox [0 0 50 50]", "0 0 1 rg 0 0 50 50 re f\n")
        .trailer("/Root 1 0 R")
        .build();
}

// The output of a memory flatten, or "" with the error text in error.
std::string flatten_bytes(const std::string& in, const kestrin_options* o, std::string* error = nullptr)
{
    void* out = reinterpret_cast<void*>(1);
    size_t len = 12345;
    if (kestrin_flatten_memory(in.data(), in.size(), &out, &len, o) != 0) {
        EXPECT_EQ(out, nullptr);
        EXPECT_EQ(len, 0u);
        if (error) *error = last_error();
        return "";
    }
    EXPECT_EQ(last_error(), "");
    std::string bytes(static_cast<const char*>(out), len);
    kestrin_free(out);
    return bytes;
}

int32_t annotations_of(const std::string& pdf) { return kestrin_annotation_count_memory(pdf.data(), pdf.size()); }

TEST(Api, VersionIsTheProjects)
{
    EXPECT_STREQ(kestrin_version(), KESTRIN_VERSION_STRING);
    EXPECT_EQ(kestrin_version(), kestrin_version());
}

TEST(Api, OptionsInitAndMacroAgree)
{
    kestrin_options a;
    std::memset(&a, 0xff, sizeof a);
    kestrin_options_init(&a);
    const kestrin_options b = KESTRIN_OPTIONS_INIT;
    EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0);
    EXPECT_EQ(a.size, sizeof(kestrin_options));
    kestrin_options_init(nullptr);  // no crash
}

TEST(Api, FlattenWithFixedChoicesIsTheOriginalCall)
{
    temp_dir dir;
    const std::string mixed = dir.write("mixed.pdf", mixed_doc());
    struct {
        uint32_t what;
        int32_t (*original)(const char*, const char*);
    } cases[] = {{KESTRIN_FLATTEN_ALL, kestrin_all},
                 {KESTRIN_FLATTEN_FORMS, kestrin_forms},
                 {KESTRIN_FLATTEN_ANNOTATIONS, kestrin_annotations}};
    for (const std::string& in : {example, mixed}) {
        for (const auto& c : cases) {
            const std::string a = dir.file("a.pdf"), b = dir.file("b.pdf");
            ASSERT_EQ(c.original(in.c_str(), a.c_str()), 0) << last_error();
            kestrin_options o = KESTRIN_OPTIONS_INIT;
            o.flatten = c.what;
            ASSERT_EQ(kestrin_flatten(in.c_str(), b.c_str(), &o), 0) << last_error();
            EXPECT_EQ(read_file(a), read_file(b)) << in << " " << c.what;
            EXPECT_EQ(flatten_bytes(read_file(in), &o), read_file(a)) << in << " " << c.what;
            if (c.what == KESTRIN_FLATTEN_ALL) {
                ASSERT_EQ(kestrin_flatten(in.c_str(), b.c_str(), nullptr), 0);
                EXPECT_EQ(read_file(a), read_file(b));
                EXPECT_EQ(flatten_bytes(read_file(in), nullptr), read_file(a));
            }
        }
    }
}

TEST(Api, CountsFromMemoryMatchThePaths)
{
    const std::string bytes = read_file(example);
    EXPECT_EQ(kestrin_field_count_memory(bytes.data(), bytes.size()), kestrin_field_count(example.c_str()));
    EXPECT_EQ(kestrin_annotation_count_memory(bytes.data(), bytes.size()),
              kestrin_annotation_count(example.c_str()));
    EXPECT_EQ(kestrin_field_count_memory(bytes.data(), bytes.size()), 2);
    const std::string junk = "not a pdf at all";
    EXPECT_EQ(kestrin_field_count_memory(junk.data(), junk.size()), -1);
    EXPECT_EQ(last_error(), "no PDF objects found \xE2\x80\x94 not a PDF: (input bytes)");
}

TEST(Api, BadMemoryArgumentsAreClearErrors)
{
    const std::string bytes = read_file(example);
    void* out = nullptr;
    size_t len = 0;
    EXPECT_EQ(kestrin_flatten_memory(nullptr, 10, &out, &len, nullptr), -1);
    EXPECT_EQ(last_error(), "input: NULL input buffer with a non-zero length");
    EXPECT_EQ(kestrin_flatten_memory(bytes.data(), 0, &out, &len, nullptr), -1);
    EXPECT_EQ(last_error(), "input: empty input buffer");
    EXPECT_EQ(kestrin_flatten_memory(nullptr, 0, &out, &len, nullptr), -1);
    EXPECT_EQ(last_error(), "input: empty input buffer");
    // The length is checked before a byte is read.
    const size_t huge = size_t{1} << 31;
    EXPECT_EQ(kestrin_flatten_memory(bytes.data(), huge, &out, &len, nullptr), -1);
    EXPECT_EQ(last_error(), "input: input buffer too large: 2147483648 bytes (the limit is 2 GiB - 1)");
    EXPECT_EQ(kestrin_field_count_memory(bytes.data(), huge), -1);
    EXPECT_EQ(kestrin_annotation_count_memory(nullptr, 1), -1);
    EXPECT_EQ(last_error(), "NULL input buffer with a non-zero length");
    EXPECT_EQ(kestrin_field_count_memory(nullptr, 0), -1);
    EXPECT_EQ(last_error(), "empty input buffer");
    EXPECT_EQ(kestrin_flatten_memory(bytes.data(), bytes.size(), nullptr, &len, nullptr), -1);
    EXPECT_EQ(last_error(), "NULL output or output_length pointer");
    EXPECT_EQ(kestrin_flatten_memory(bytes.data(), bytes.size(), &out, nullptr, nullptr), -1);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(kestrin_flatten(example.c_str(), nullptr, nullptr), -1);
    EXPECT_EQ(last_error(), "NULL output path");
    EXPECT_EQ(kestrin_flatten(nullptr, "x.pdf", nullptr), -1);
    EXPECT_EQ(last_error(), "NULL input path");
    kestrin_free(nullptr);
}

TEST(Api, OlderAndNewerOptionRecords)
{
    const std::string in = mixed_doc();
    // An older record that ends after "flatten" gets the defaults for the rest.
    struct {
        kestrin_options o;
        unsigned char tail[16];
    } rec;
    std::memset(&rec, 0, sizeof rec);
    rec.o.size = offsetof(kestrin_options, keep_links);
    rec.o.flatten = KESTRIN_FLATTEN_FORMS;
    rec.o.keep_links = 7;  // past its size: not read
    kestrin_options forms = KESTRIN_OPTIONS_INIT;
    forms.flatten = KESTRIN_FLATTEN_FORMS;
    EXPECT_EQ(flatten_bytes(in, &rec.o), flatten_bytes(in, &forms));
    rec.o.size = 4;  // only the size: all defaults
    EXPECT_EQ(flatten_bytes(in, &rec.o), flatten_bytes(in, nullptr));

    // A newer record: its unknown tail must be zero.
    rec.o = forms;
    rec.o.size = sizeof rec;
    EXPECT_EQ(flatten_bytes(in, &rec.o), flatten_bytes(in, &forms));
    rec.tail[5] = 1;
    std::string error;
    EXPECT_EQ(flatten_bytes(in, &rec.o, &error), "");
    EXPECT_EQ(error, "options: the record is " + std::to_string(sizeof rec) + " bytes and byte " +
                         std::to_string(sizeof(kestrin_options) + 5) + " is set, but this library (" +
                         KESTRIN_VERSION_STRING + ") knows only " +
                         std::to_string(sizeof(kestrin_options)) + " bytes of options");

    kestrin_options bad = KESTRIN_OPTIONS_INIT;
    for (uint32_t size : {0u, 3u, 4097u}) {
        bad.size = size;
        EXPECT_EQ(flatten_bytes(in, &bad, &error), "");
        EXPECT_EQ(error.rfind("options: size is " + std::to_string(size), 0), 0u) << error;
    }
}

TEST(Api, OutOfRangeOptionValuesAreRefused)
{
    temp_dir dir;
    const std::string in = dir.write("in.pdf", mixed_doc());
    const std::string out = dir.file("out.pdf");
    struct {
        uint32_t kestrin_options::*field;
        uint32_t value;
        const char* message;
    } cases[] = {
        {&kestrin_options::flatten, 3, "options: flatten is 3, not 0 (all), 1 (forms) or 2 (annotations)"},
        {&kestrin_options::keep_links, 2, "options: keep_links is 2, not 0 or 1"},
        {&kestrin_options::print_only, 9, "options: print_only is 9, not 0 or 1"},
        {&kestrin_options::non_printing, 2, "options: non_printing is 2, not 0 or 1"},
        {&kestrin_options::no_generate_appearances, 5, "options: no_generate_appearances is 5, not 0 or 1"},
        {&kestrin_options::compact, 2, "options: compact is 2, not 0 or 1"},
    };
    for (const auto& c : cases) {
        kestrin_options o = KESTRIN_OPTIONS_INIT;
        o.*c.field = c.value;
        EXPECT_EQ(kestrin_flatten(in.c_str(), out.c_str(), &o), -1);
        EXPECT_EQ(last_error(), c.message);
        EXPECT_FALSE(std::filesystem::exists(out));
    }
}


int qpdf_check(const std::string& pdf)
{
    temp_dir dir;
    return run_command("qpdf --check '" + dir.write("c.pdf", pdf) + "' >/dev/null 2>&1");
}

TEST(Api, KeepLinksAndPrintOnlyOnABuiltPage)
{
    if (run_command("pdftoppm -v >/dev/null 2>&1") != 0 || run_command("qpdf --version >/dev/null") != 0)
        GTEST_SKIP() << "pdftoppm or qpdf not installed";
    const std::string in = mixed_doc();
    const std::string red = "255,0,0", blue = "0,0,255", white = "255,255,255";

    const std::string all = flatten_bytes(in, nullptr);
    EXPECT_EQ(annotations_of(all), 0);
    EXPECT_EQ(pixel(all, 35, 165), red);
    EXPECT_EQ(pixel(all, 135, 65), blue);

    kestrin_options o = KESTRIN_OPTIONS_INIT;
    o.keep_links = 1;
    const std::string links = flatten_bytes(in, &o);
    EXPECT_EQ(annotations_of(links), 1);
    EXPECT_NE(links.find("/URI (https://example.invalid/)"), std::string::npos);
    EXPECT_EQ(qpdf_check(links), 0);

    o = KESTRIN_OPTIONS_INIT;
    o.print_only = 1;
    const std::string printing = flatten_bytes(in, &o);
    EXPECT_EQ(annotations_of(printing), 0);
    EXPECT_EQ(pixel(printing, 35, 165), red);
    EXPECT_EQ(pixel(printing, 135, 65), white);  // removed, not drawn
    EXPECT_EQ(pixel(printing, 35, 65), red);     // the printing field
    EXPECT_EQ(qpdf_check(printing), 0);

    o.non_printing = KESTRIN_NON_PRINTING_KEEP;
    o.keep_links = 1;
    const std::string kept = flatten_bytes(in, &o);
    EXPECT_EQ(annotations_of(kept), 2);  // the Link and the non-printing Square
    EXPECT_EQ(kestrin_field_count_memory(kept.data(), kept.size()), 0);
    EXPECT_EQ(qpdf_check(kept), 0);
    // Kept as an annotation: a viewer still shows it, the page itself does not draw it.
    kestrin_options annots_only = KESTRIN_OPTIONS_INIT;
    annots_only.flatten = KESTRIN_FLATTEN_ANNOTATIONS;
    EXPECT_EQ(annotations_of(flatten_bytes(kept, &annots_only)), 0);

    o = KESTRIN_OPTIONS_INIT;
    o.no_generate_appearances = 1;  // nothing in this file needs a generated appearance
    EXPECT_EQ(flatten_bytes(in, &o), all);
}

TEST(Api, MemoryOutputIsAFullFile)
{
    const std::string out = flatten_bytes(read_file(example), nullptr);
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(out.rfind("%PDF-1.4\n", 0), 0u);
    EXPECT_EQ(out.substr(out.size() - 6), "%%EOF\n");
    EXPECT_EQ(kestrin_field_count_memory(out.data(), out.size()), 0);
}

}  // namespace
