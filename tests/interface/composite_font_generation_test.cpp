// A generated value drawn in the form's composite font keeps its characters, Cyrillic and CJK
// included, as text extraction reads them back through the font's ToUnicode map.
#include <gtest/gtest.h>

#include <string>

#include "kestrin.h"
#include "pdf_builder.h"

namespace {

using kestrin::test::one_page_doc;
using kestrin::test::flattened_by;
using kestrin::test::run_command;
using kestrin::test::temp_dir;

// ASCII maps to itself; Cyrillic and two CJK characters to codes of their own, the lowest code of
// each character (0x0041 for "A", not 0x0300) being the one drawn.
constexpr const char* to_unicode =
    "/CIDInit /ProcSet findresource begin 12 dict begin begincmap\n"
    "1 begincodespacerange <0000> <FFFF> endcodespacerange\n"
    "1 beginbfrange <0020> <007E> <0020> endbfrange\n"
    "2 beginbfrange <0100> <0105> [<041F> <0440> <0438> <0432> <0435> <0442>] <0300> <0300> <0041> endbfrange\n"
    "2 beginbfchar <0200> <65E5> <0201> <672C> endbfchar\n"
    "endcmap CMapName currentdict /CMap defineresource pop end end\n";

// A 300 x 200 page whose one text widget (object 5) has value (a text string) and no appearance;
// the form's resources hold the composite font /F0 (object 20, not embedded).
std::string composite_form(const std::string& value, const std::string& encoding = "/Identity-H")
{
    kestrin::test::pdf_builder b = one_page_doc(
        "/MediaBox [0 0 300 200] /Annots [5 0 R]",
        "/AcroForm << /Fields [5 0 R] /DA (/F0 12 Tf 0 g) /DR << /Font << /F0 20 0 R >> >> >>", "");
    b.object(5, "<< /Type /Annot /Subtype /Widget /FT /Tx /T (name) /Rect [20 100 280 130] /P 3 0 R /V " + value + " >>");
    b.object(20, "<< /Type /Font /Subtype /Type0 /BaseFont /ArialUnicodeMS /Encoding " + encoding +
                     " /DescendantFonts [21 0 R] /ToUnicode 22 0 R >>");
    b.object(21, "<< /Type /Font /Subtype /CIDFontType2 /BaseFont /ArialUnicodeMS /CIDSystemInfo << /Registry (Adobe) "
                 "/Ordering (Identity) /Supplement 0 >> /FontDescriptor 23 0 R /DW 1000 /W [32 126 600] >>");
    b.stream(22, "", to_unicode);
    b.object(23, "<< /Type /FontDescriptor /FontName /ArialUnicodeMS /Flags 32 /FontBBox [0 -200 1000 900] "
                 "/ItalicAngle 0 /Ascent 900 /Descent -200 /CapHeight 700 /StemV 80 >>");
    return b.build();
}

std::string tool_output(const std::string& command, const std::string& pdf)
{
    temp_dir dir;
    const std::string path = dir.write("f.pdf", pdf);
    std::string output;
    run_command(command + " '" + path + "' - 2>/dev/null", &output);
    return output;
}

bool have_poppler() { return run_command("pdftotext -v >/dev/null 2>&1") == 0; }

struct value_case {
    const char* why;
    std::string value;
    std::string shown;  // in pdftotext of the output
};

TEST(CompositeFontGeneration, ValuesComeBackThroughTheToUnicodeMap)
{
    if (!have_poppler()) GTEST_SKIP() << "poppler-utils not installed";
    const value_case cases[] = {
        {"ASCII", "(Hello A)", "Hello A"},
        {"Cyrillic", "<FEFF041F04400438043204350442>", "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82"},
        {"CJK beside ASCII", "<FEFF65E5672C0020004A0050>", "\xE6\x97\xA5\xE6\x9C\xAC JP"},
        {"a character neither the map nor Helvetica has becomes a question mark", "<FEFF0041006F03A90042>", "Ao?B"},
    };
    for (const auto& c : cases) {
        const std::string out = flattened_by(composite_form(c.value));
        ASSERT_FALSE(out.empty()) << c.why << ": " << kestrin_last_error();
        const std::string text = tool_output("pdftotext", out);
        EXPECT_NE(text.find(c.shown), std::string::npos) << c.why << ": " << text;
        // Drawn in the form's font, so the output needs no Helvetica of its own.
        EXPECT_EQ(out.find("/BaseFont /Helvetica"), std::string::npos) << c.why;
        EXPECT_NE(out.find("/F0 12.000 Tf"), std::string::npos) << c.why;
    }
}

TEST(CompositeFontGeneration, AVerticalFontFallsBackToHelvetica)
{
    if (!have_poppler()) GTEST_SKIP() << "poppler-utils not installed";
    const std::string out = flattened_by(composite_form("(Upright)", "/Identity-V"));
    ASSERT_FALSE(out.empty()) << kestrin_last_error();
    EXPECT_NE(tool_output("pdftotext", out).find("Upright"), std::string::npos);
    EXPECT_NE(out.find("/BaseFont /Helvetica"), std::string::npos);
}

}  // namespace
