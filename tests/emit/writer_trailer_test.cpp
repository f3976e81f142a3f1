// What the output keeps of the input's file structure: the permanent identifier of its trailer,
// no cross-reference streams or object streams of its own, and only the new objects it uses.
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <string>

#include "kestrin.h"
#include "pdf_builder.h"
#include "writer_check.h"

namespace kestrin::test {
namespace {

constexpr const char* first_id = "0123456789ABCDEF0123456789ABCDEF";
constexpr const char* second_id = "FEDCBA9876543210FEDCBA9876543210";

// A page with one square drawn from its appearance (6, 7), with the given trailer entries.
pdf_builder annotated_page(const std::string& trailer)
{
    pdf_builder b = one_page_doc("/Annots [6 0 R]");
    b.object(6, "<< /Type /Annot /Subtype /Square /Rect [0 0 10 10] /AP << /N 7 0 R >> >>");
    b.stream(7, "/Subtype /Form /BBox [0 0 10 10]", "0 0 m 10 10 l S");
    b.trailer(trailer);
    return b;
}

struct flattened {
    written_pdf w;
    std::string first, second;  // the hexadecimal digits of the two elements of the trailer's ID
};

flattened flatten(const temp_dir& dir, const std::string& pdf, std::uint32_t mode = KESTRIN_FLATTEN_ALL)
{
    const std::string in = dir.write("in.pdf", pdf);
    const std::string out = dir.file("out.pdf");
    kestrin_options options = KESTRIN_OPTIONS_INIT;
    options.flatten = mode;
    flattened f;
    if (kestrin_flatten(in.c_str(), out.c_str(), &options) != 0) {
        f.w.problem = kestrin_last_error();
        return f;
    }
    f.w = read_written(out);
    std::string report;
    if (f.w.problem.empty() && run_command("qpdf --check '" + out + "'", &report) != 0) f.w.problem = report;
    const std::string trailer = f.w.bytes.substr(f.w.bytes.rfind("trailer"));
    std::smatch m;
    if (std::regex_search(trailer, m, std::regex("/ID \\[<([0-9A-F]*)> <([0-9A-F]*)>\\]"))) {
        f.first = m[1];
        f.second = m[2];
    }
    return f;
}

struct id_case {
    const char* what;
    std::string trailer;
    bool xref_stream;
    std::string kept;  // hexadecimal digits of the first element written; empty: the new one
};

TEST(WriterTrailer, KeepsThePermanentIdentifierAndNamesTheOutput)
{
    const id_case cases[] = {
        {"classic trailer", std::string("/Root 1 0 R /ID [<") + first_id + "> <" + second_id + ">]", false, first_id},
        {"lower-case digits", "/Root 1 0 R /ID [<0123456789abcdef0123456789abcdef><00>]", false, first_id},
        {"literal strings", "/Root 1 0 R /ID [(abc) (def)]", false, "616263"},
        {"cross-reference stream", std::string("/Root 1 0 R /ID [<") + first_id + "> <" + second_id + ">]", true,
         first_id},
        {"an ID only inside another value", "/Root 1 0 R /Extra << /ID [(inner) (x)] >>", false, ""},
        {"an identifier after a nested one", "/Root 1 0 R /Extra << /ID [(inner) (x)] >> /ID [(abc) (x)]", false,
         "616263"},
        {"no identifier", "/Root 1 0 R", false, ""},
        {"an empty first element", "/Root 1 0 R /ID [() (x)]", false, ""},
    };
    for (const id_case& c : cases) {
        SCOPED_TRACE(c.what);
        temp_dir dir;
        const flattened f = flatten(dir, annotated_page(c.trailer).build(c.xref_stream));
        ASSERT_EQ(f.w.problem, "");
        ASSERT_EQ(f.second.size(), 32u) << f.w.bytes.substr(f.w.bytes.rfind("trailer"));
        EXPECT_NE(f.second, second_id);
        EXPECT_EQ(f.first, c.kept.empty() ? f.second : c.kept);
    }
}

TEST(WriterTrailer, SameInputAndChoicesGiveTheSameBytes)
{
    const std::string pdf = annotated_page(std::string("/Root 1 0 R /ID [<") + first_id + "> <" + second_id + ">]").build();
    temp_dir dir;
    const flattened once = flatten(dir, pdf);
    const flattened again = flatten(dir, pdf);
    ASSERT_EQ(once.w.problem, "");
    EXPECT_EQ(once.w.bytes, again.w.bytes);

    // The memory output is the same file.
    void* out = nullptr;
    std::size_t out_len = 0;
    ASSERT_EQ(kestrin_flatten_memory(pdf.data(), pdf.size(), &out, &out_len, nullptr), 0) << kestrin_last_error();
    EXPECT_EQ(std::string(static_cast<const char*>(out), out_len), once.w.bytes);
    kestrin_free(out);

    // Another output of the same input has an identifier of its own.
    const flattened forms = flatten(dir, pdf, KESTRIN_FLATTEN_FORMS);
    ASSERT_EQ(forms.w.problem, "");
    EXPECT_NE(forms.w.bytes, once.w.bytes);
    EXPECT_EQ(forms.first, first_id);
    EXPECT_NE(forms.second, once.second);
}

TEST(WriterTrailer, InputCrossReferenceAndObjectStreamsAreNotCopied)
{
    pdf_builder b = one_page_doc("/Annots [6 0 R]");
    b.object_stream(5, {{6, "<< /Type /Annot /Subtype /Square /Rect [0 0 10 10] /AP << /N 7 0 R >> >>"},
                        {9, "<< /Unused true >>"}});
    b.stream(7, "/Subtype /Form /BBox [0 0 10 10]", "0 0 m 10 10 l S");
    b.trailer("/Root 1 0 R");
    for (const bool xref_stream : {false, true}) {
        SCOPED_TRACE(xref_stream ? "cross-reference stream" : "classic table");
        temp_dir dir;
        const flattened f = flatten(dir, b.build(xref_stream), KESTRIN_FLATTEN_FORMS);
        ASSERT_EQ(f.w.problem, "");
        EXPECT_EQ(f.w.bytes.find("/XRef"), std::string::npos);
        EXPECT_EQ(f.w.bytes.find("/ObjStm"), std::string::npos);
        EXPECT_EQ(f.w.in_use.count(5), 0u);
        EXPECT_NE(f.w.object(6).find("/Subtype /Square"), std::string::npos);
        EXPECT_NE(f.w.object(9).find("/Unused true"), std::string::npos);
    }
}

struct needs_case {
    const char* what;
    std::string page_extra;
    std::vector<std::pair<int, std::string>> objects;
    bool font, state;
    long size;  // the trailer's Size: one past the last new object
};

TEST(WriterTrailer, FontAndGraphicsStateOnlyWhenAPictureUsesThem)
{
    const needs_case cases[] = {
        {"nothing flattened", "", {}, false, false, 5},
        {"an appearance", "/Annots [6 0 R]",
         {{6, "<< /Type /Annot /Subtype /Square /Rect [0 0 10 10] /AP << /N 7 0 R >> >>"}, {7, "null"}}, false, false, 9},
        {"a square without appearance", "/Annots [6 0 R]", {{6, "<< /Type /Annot /Subtype /Square /Rect [0 0 10 10] >>"}},
         false, false, 8},
        {"a highlight", "/Annots [6 0 R]", {{6, "<< /Type /Annot /Subtype /Highlight /Rect [0 0 10 10] >>"}}, false,
         true, 9},
        {"a free text", "/Annots [6 0 R]", {{6, "<< /Type /Annot /Subtype /FreeText /Rect [0 0 90 20] /Contents (a) >>"}},
         true, false, 9},
        {"a hidden highlight", "/Annots [6 0 R]", {{6, "<< /Type /Annot /Subtype /Highlight /F 2 /Rect [0 0 10 10] >>"}},
         false, false, 8},
    };
    for (const needs_case& c : cases) {
        SCOPED_TRACE(c.what);
        pdf_builder b = one_page_doc(c.page_extra);
        for (const auto& [num, body] : c.objects) b.object(num, body);
        temp_dir dir;
        const flattened f = flatten(dir, b.build());
        ASSERT_EQ(f.w.problem, "");
        EXPECT_EQ(f.w.size, c.size);
        EXPECT_EQ(f.w.bytes.find("/BaseFont /Helvetica") != std::string::npos, c.font);
        EXPECT_EQ(f.w.bytes.find("/Type /ExtGState") != std::string::npos, c.state);
        EXPECT_EQ(f.w.bytes.find("/FlF") != std::string::npos, c.font);
        EXPECT_EQ(f.w.bytes.find("/GSa") != std::string::npos, c.state);
    }
}

}  // namespace
}  // namespace kestrin::test
