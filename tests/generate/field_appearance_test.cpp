// The inputs a generated appearance reads from the document: the font the form names, its
// encoding and widths, the border, a text stream value, a combo box's display string.
#include "generate/field_appearance.h"

#include <gtest/gtest.h>

#include <string>

#include "../plan/plan_fixture.h"

namespace {

using kestrin::test::one_page_doc;
using kestrin::test::planned;

// Object 10 is the only widget and field; the form's resources name /F1 as object 20 (font).
struct generated_case {
    const char* why;
    std::string widget;
    std::string font;
    std::string font_name;        // the resource name the appearance uses
    bool form_font = true;        // the appearance names object 20, not the output's Helvetica
    std::string content_has;      // a piece of the content
    std::string content_lacks;    // never in the content
};

TEST(FieldAppearance, ReadsTheFieldAndItsFont)
{
    const std::string helvetica = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>";
    // Codes 3 to 5 show "A" to "C", 6 a space; it has no question mark.
    const std::string composite = "<< /Type /Font /Subtype /Type0 /BaseFont /X /Encoding /Identity-H /ToUnicode 32 0 R "
                                  "/DescendantFonts [<< /Type /Font /Subtype /CIDFontType2 /BaseFont /X >>] >>";
    const generated_case cases[] = {
        {"plain", "/DA (/F1 10 Tf 0 g) /V (Abc)", helvetica, "F1", true, "(Abc) Tj", ""},
        {"Differences through glyph names",
         "/DA (/F1 10 Tf 0 g) /V <FEFF00C9>",
         "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding << /BaseEncoding /WinAnsiEncoding "
         "/Differences [65 /Eacute] >> >>",
         "F1", true, "(A) Tj", ""},
        {"composite font without ToUnicode falls back", "/DA (/F1 10 Tf 0 g) /V (Abc)",
         "<< /Type /Font /Subtype /Type0 /BaseFont /Helvetica >>", "F1", false, "(Abc) Tj", ""},
        {"composite font through its ToUnicode", "/DA (/F1 10 Tf 0 g) /V (ABC)", composite, "F1", true,
         "<000300040005> Tj", "(ABC)"},
        {"composite font showing as much as Helvetica", "/DA (/F1 10 Tf 0 g) /V <FEFF0041002003A9>", composite, "F1",
         true, "<00030006> Tj", ""},
        {"composite font showing less than Helvetica", "/DA (/F1 10 Tf 0 g) /V (ABCD)", composite, "F1", false,
         "(ABCD) Tj", "<"},
        {"list box rows in the composite font", "/FT /Ch /DA (/F1 10 Tf 0 g) /Opt [(ABC) (CBA)] /V (CBA)", composite,
         "F1", true, "<000500040003> Tj", "(CBA)"},
        {"unknown name", "/DA (/F9 10 Tf 0 g) /V (Abc)", helvetica, "F9", false, "(Abc) Tj", ""},
        {"no font in DA", "/DA (0 g) /V (Abc)", helvetica, "Helv", false, "(Abc) Tj", ""},
        {"text stream value", "/DA (/F1 10 Tf 0 g) /V 30 0 R", helvetica, "F1", true, "(Streamed) Tj", ""},
        {"combo display string", "/FT /Ch /Ff 131072 /DA (/F1 10 Tf 0 g) /V (x) /Opt [[(x) (Shown)] [(y) (Other)]]",
         helvetica, "F1", true, "(Shown) Tj", "(x) Tj"},
        {"border width from BS", "/DA (/F1 10 Tf 0 g) /V (Abc) /BS << /W 3 >>", helvetica, "F1", true,
         "3.000000 3.000000 94.000000 14.000000 re W n", ""},
        {"border width from Border", "/DA (/F1 10 Tf 0 g) /V (Abc) /Border [0 0 0]", helvetica, "F1", true,
         "0.000000 0.000000 100.000000 20.000000 re W n", ""},
        {"MK background under the text", "/DA (/F1 10 Tf 0 g) /V (Abc) /MK << /BG [1 0 0] >>", helvetica, "F1", true,
         "1.000 0.000 0.000 rg", ""},
        {"MK border in the BS style", "/DA (/F1 10 Tf 0 g) /V (Abc) /MK 31 0 R /BS << /W 2 /S /D /D [4 2] >>",
         helvetica, "F1", true, "[4.000000 2.000000] 0 d", ""},
        {"no MK: no frame", "/DA (/F1 10 Tf 0 g) /V (Abc) /BS << /W 2 >>", helvetica, "F1", true, "/Tx BMC", " re f"},
    };
    for (const generated_case& c : cases) {
        const std::string widget = c.widget.find("/FT") == std::string::npos ? "/FT /Tx " + c.widget : c.widget;
        const std::string pdf =
            one_page_doc("/Annots [10 0 R]", "/AcroForm << /Fields [10 0 R] /DR << /Font << /F1 20 0 R >> >> >>")
                .object(10, "<< /Type /Annot /Subtype /Widget /T (t) /Rect [0 0 100 20] " + widget + " >>")
                .object(20, c.font)
                .stream(30, "", "Streamed")
                .object(31, "<< /BC [0 0 1] >>")
                .stream(32, "", "1 beginbfrange <0003> <0006> [<0041> <0042> <0043> <0020>] endbfrange")
                .build();
        planned p(pdf, kestrin::plan::flatten_mode::all);
        ASSERT_EQ(p.plan_rc, 0) << c.why;
        ASSERT_EQ(p.plan.items.size(), 1u) << c.why;
        ASSERT_TRUE(p.plan.items[0].generate) << c.why;
        const auto g = kestrin::generate::generate_field_appearance(p.doc, p.plan, p.plan.items[0]);
        EXPECT_EQ(g.font_name, c.font_name) << c.why;
        EXPECT_EQ(g.font_value, c.form_font ? "20 0 R" : "") << c.why;
        EXPECT_EQ(g.width, 100) << c.why;
        EXPECT_EQ(g.height, 20) << c.why;
        EXPECT_NE(g.content.find(c.content_has), std::string::npos) << c.why << ":\n" << g.content;
        if (!c.content_lacks.empty()) {
            EXPECT_EQ(g.content.find(c.content_lacks), std::string::npos) << c.why;
        }
    }
}

TEST(FieldAppearance, WidthsOfTheFontPlaceCentredText)
{
    // A font whose "A" is twice as wide as Helvetica's: the centred text starts further left.
    const auto origin_x = [](const std::string& font) {
        const std::string pdf =
            one_page_doc("/Annots [10 0 R]", "/AcroForm << /Fields [10 0 R] /DR << /Font << /F1 20 0 R >> >> >>")
                .object(10, "<< /Type /Annot /Subtype /Widget /FT /Tx /T (t) /Rect [0 0 100 20] /Q 1 /DA (/F1 10 Tf 0 g) /V (A) >>")
                .object(20, font)
                .build();
        planned p(pdf, kestrin::plan::flatten_mode::all);
        const std::string content = kestrin::generate::generate_field_appearance(p.doc, p.plan, p.plan.items[0]).content;
        const std::size_t td = content.find(" Td");
        const std::size_t line = content.rfind('\n', td);
        return std::stod(content.substr(line + 1));
    };
    const double standard = origin_x("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    const double wide = origin_x("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /FirstChar 65 /Widths [1334] >>");
    EXPECT_NEAR(standard, 50 - 6.67 / 2, 0.01);
    EXPECT_NEAR(wide, 50 - 13.34 / 2, 0.01);
}

}  // namespace

namespace {

// Damaged fields still give a closed, marked appearance; nothing they claim is trusted.
TEST(FieldAppearance, DamagedInputsGiveAClosedAppearance)
{
    const std::string fonts = "/DR << /Font << /F1 20 0 R >> >>";
    struct damaged_case {
        const char* why;
        std::string widget, font;
    };
    const damaged_case cases[] = {
        {"parent loop", "/Parent 10 0 R /DA (/F1 0 Tf) /V (a)", "<< /BaseFont /Helvetica >>"},
        {"value not a string", "/DA (/F1 0 Tf) /V 12", "<< /BaseFont /Helvetica >>"},
        {"font is a stream", "/DA (/F1 0 Tf) /V (a) /MaxLen -4", "30 0 R"},
        {"widths out of range", "/DA (/F1 0 Tf) /V (aaaa)",
         "<< /BaseFont /Helvetica /FirstChar 250 /Widths [-5 1e30 7 7 7 7 7 7 7 7 7 7 7 7] >>"},
        {"differences out of range", "/DA (/F1 0 Tf) /V (a)",
         "<< /BaseFont /Helvetica /Encoding << /Differences [300 /a /b -7 /c (x) 65] >> >>"},
        {"huge border", "/DA (/F1 0 Tf) /V (a) /BS << /W 1e30 >>", "<< /BaseFont /Helvetica >>"},
        {"DA garbage", "/DA (Tf Tf /F1 Tf 1 2 rg \\() /V (a) /Ff 4096", "<< /BaseFont /Helvetica >>"},
        {"combo options garbage", "/FT /Ch /Ff 131072 /V (a) /Opt [[(a)] [ ] 5 [(a) 7] /x", "<< /BaseFont /Helvetica >>"},
    };
    for (const damaged_case& c : cases) {
        const std::string widget = c.widget.find("/FT") == std::string::npos ? "/FT /Tx " + c.widget : c.widget;
        const std::string pdf =
            one_page_doc("/Annots [10 0 R]", "/AcroForm << /Fields [10 0 R] " + fonts + " >>")
                .object(10, "<< /Type /Annot /Subtype /Widget /T (t) /Rect [0 0 100 20] " + widget + " >>")
                .object(20, c.font)
                .stream(30, "", "BT ET")
                .build();
        planned p(pdf, kestrin::plan::flatten_mode::all);
        ASSERT_EQ(p.plan_rc, 0) << c.why;
        ASSERT_EQ(p.plan.items.size(), 1u) << c.why;
        ASSERT_TRUE(p.plan.items[0].generate) << c.why;
        const std::string content =
            kestrin::generate::generate_field_appearance(p.doc, p.plan, p.plan.items[0]).content;
        EXPECT_EQ(content.rfind("/Tx BMC\n", 0), 0u) << c.why;
        EXPECT_GE(content.size(), 4u);
        EXPECT_EQ(content.substr(content.size() - 4), "EMC\n") << c.why;
    }
}

}  // namespace
