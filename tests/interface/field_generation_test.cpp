// A filled text field or combo box keeps its value when it is flattened, also when its widget has
// no appearance or the form says its appearances are stale.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "grey_render.h"
#include "kestrin.h"
#include "pdf_builder.h"

namespace {

using kestrin::test::one_page_doc;
using kestrin::test::read_file;
using kestrin::test::run_command;
using kestrin::test::temp_dir;

constexpr const char* helvetica_font = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>";
constexpr const char* times_font = "<< /Type /Font /Subtype /Type1 /BaseFont /Times-Roman /Encoding /WinAnsiEncoding >>";

// A 200 x 200 page with nothing drawn whose one widget is object 5 (entries widget), the form's
// only field; the form holds form_extra, object 20 is Helvetica and 21 Times-Roman.
std::string form_doc(const std::string& widget, const std::string& form_extra,
                     const std::string& extra_objects_stream = "")
{
    kestrin::test::pdf_builder b =
        one_page_doc("/Annots [5 0 R]", "/AcroForm << /Fields [5 0 R] " + form_extra + " >>", "");
    b.object(5, "<< /Type /Annot /Subtype /Widget /Rect [20 100 180 130] /T (f) /P 3 0 R " + widget + " >>");
    b.object(20, helvetica_font);
    b.object(21, times_font);
    if (!extra_objects_stream.empty()) b.stream(22, "/Type /XObject /Subtype /Form /BBox [0 0 160 30] /Resources << /Font << /Helv 20 0 R >> >>", extra_objects_stream);
    return b.build();
}

const std::string helv_form = "/DA (/Helv 0 Tf 0 g) /DR << /Font << /Helv 20 0 R /TiRo 21 0 R >> >>";

std::string flattened(const std::string& pdf, std::uint32_t no_generate = 0)
{
    temp_dir dir;
    const std::string in = dir.write("in.pdf", pdf);
    const std::string out = dir.file("out.pdf");
    kestrin_options o;
    kestrin_options_init(&o);
    o.no_generate_appearances = no_generate;
    if (kestrin_flatten(in.c_str(), out.c_str(), &o) != 0) return "";
    return read_file(out);
}

// What command prints for the file pdf (command ends where the file name goes).
std::string tool_output(const std::string& command, const std::string& pdf, const std::string& after = "")
{
    temp_dir dir;
    const std::string path = dir.write("f.pdf", pdf);
    std::string output;
    run_command(command + " '" + path + "' " + after + " 2>/dev/null", &output);
    return output;
}

std::string text_of(const std::string& pdf) { return tool_output("pdftotext", pdf, "-"); }

std::string without_spaces(std::string s)
{
    std::erase_if(s, [](char c) { return c == ' ' || c == '\n' || c == '\f'; });
    return s;
}

int occurrences(const std::string& text, const std::string& part)
{
    int n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

bool have_poppler() { return run_command("pdftotext -v >/dev/null 2>&1") == 0; }

struct shown_case {
    const char* why;
    std::string widget;
    std::string form;
    std::string shown;      // in pdftotext of the output (spaces ignored); empty: none expected
    std::string not_shown;  // never in pdftotext of the output
    std::string old_appearance = "";  // content of object 22, which the widget may name
};

TEST(FieldGeneration, FlattenedValuesShowAsText)
{
    if (!have_poppler()) GTEST_SKIP() << "poppler-utils not installed";
    const std::string tx = "/FT /Tx ";
    const shown_case cases[] = {
        {"no appearance, left", tx + "/V (Hello World)", helv_form, "HelloWorld", ""},
        {"no appearance, centred", tx + "/Q 1 /V (Hello World)", helv_form, "HelloWorld", ""},
        {"no appearance, right", tx + "/Q 2 /V (Hello World)", helv_form, "HelloWorld", ""},
        {"multiline", tx + "/Ff 4096 /V (first line\\rsecond line that is long enough to wrap around)", helv_form,
         "firstlinesecondline", ""},
        {"comb", tx + "/Ff 16777216 /MaxLen 6 /V (123456)", helv_form, "123456", ""},
        {"password", tx + "/Ff 8192 /V (Secret123)", helv_form, "", "Secret"},
        {"need appearances, blank old appearance", tx + "/V (Filled) /AP << /N 22 0 R >>",
         helv_form + " /NeedAppearances true", "Filled", "", " "},
        {"existing appearance kept", tx + "/V (Filled) /AP << /N 22 0 R >>", helv_form, "Kept", "Filled",
         "BT /Helv 12 Tf 2 10 Td (Kept) Tj ET"},
        {"font only in the form's resources", tx + "/DA (/TiRo 11 Tf 0 g) /V (Roman)", helv_form, "Roman", ""},
        {"no DA anywhere", tx + "/V (Plain)", "", "Plain", ""},
        {"combo box shows the display string", "/FT /Ch /Ff 131072 /V (b) /Opt [[(a) (Apple)] [(b) (Banana)]]",
         helv_form, "Banana", ""},
        {"combo box without pairs", "/FT /Ch /Ff 131072 /V (Cherry) /Opt [(Apple) (Cherry)]", helv_form, "Cherry", ""},
        {"accent in UTF-16", tx + "/V <FEFF006300610066 00E9>", helv_form, "caf\xC3\xA9", ""},
        {"character outside the encoding", tx + "/V <FEFF004103A90042>", helv_form, "A?B", ""},
        {"list box shows its rows", "/FT /Ch /V (Listed) /Opt [(Listed) (Other)]", helv_form, "ListedOther", ""},
        {"hidden", tx + "/V (Hidden) /F 2", helv_form, "", "Hidden"},
    };
    for (const shown_case& c : cases) {
        const std::string out = flattened(form_doc(c.widget, c.form, c.old_appearance));
        ASSERT_FALSE(out.empty()) << c.why << ": " << kestrin_last_error();
        const std::string text = without_spaces(text_of(out));
        if (!c.shown.empty()) {
            EXPECT_NE(text.find(c.shown), std::string::npos) << c.why << ": " << text;
        }
        if (!c.not_shown.empty()) {
            EXPECT_EQ(text.find(c.not_shown), std::string::npos) << c.why << ": " << text;
        }
    }
}

TEST(FieldGeneration, InheritsTypeValueAndAppearanceFromTheParent)
{
    if (!have_poppler()) GTEST_SKIP() << "poppler-utils not installed";
    kestrin::test::pdf_builder b =
        one_page_doc("/Annots [5 0 R]", "/AcroForm << /Fields [6 0 R] " + helv_form + " >>", "");
    b.object(5, "<< /Type /Annot /Subtype /Widget /Rect [20 100 180 130] /Parent 6 0 R /P 3 0 R >>");
    b.object(6, "<< /FT /Tx /T (parent) /V (From the parent) /Q 1 /DA (/TiRo 0 Tf 0 0 1 rg) /Kids [5 0 R] >>");
    b.object(20, helvetica_font);
    b.object(21, times_font);
    const std::string out = flattened(b.build());
    ASSERT_FALSE(out.empty()) << kestrin_last_error();
    EXPECT_NE(without_spaces(text_of(out)).find("Fromtheparent"), std::string::npos);
    EXPECT_NE(tool_output("pdffonts", out).find("Times-Roman"), std::string::npos);
}

TEST(FieldGeneration, FontsComeFromTheFormOrAreTheStandardHelvetica)
{
    if (!have_poppler()) GTEST_SKIP() << "poppler-utils not installed";
    struct font_case {
        const char* why;
        std::string widget, form, font;
        bool adds_helvetica;  // the output holds a Helvetica object of its own
        std::string old_appearance = "";  // object 22, whose resources name /Helv
    };
    const font_case cases[] = {
        {"the form's font", "/DA (/TiRo 12 Tf 0 g)", helv_form, "Times-Roman", false},
        {"a name the form lacks", "/DA (/Nope 12 Tf 0 g)", helv_form, "Helvetica", true},
        {"no DA", "", "", "Helvetica", true},
        {"a font only the replaced appearance names", "/DA (/Helv 12 Tf 0 g) /AP << /N 22 0 R >>",
         "/NeedAppearances true", "Helvetica", false, "BT /Helv 12 Tf (Old) Tj ET"},
    };
    for (const font_case& c : cases) {
        const std::string out = flattened(form_doc("/FT /Tx /V (Text) " + c.widget, c.form, c.old_appearance));
        ASSERT_FALSE(out.empty()) << c.why << ": " << kestrin_last_error();
        EXPECT_NE(tool_output("pdffonts", out).find(c.font), std::string::npos) << c.why;
        // Object 20 of the input is copied; an added Helvetica is written with the same text.
        EXPECT_EQ(occurrences(out, helvetica_font), c.adds_helvetica ? 2 : 1) << c.why;
    }
}

TEST(FieldGeneration, AlignmentMovesTheText)
{
    if (!have_poppler()) GTEST_SKIP() << "poppler-utils not installed";
    std::vector<double> left_edges;
    for (const char* q : {"0", "1", "2"}) {
        const std::string out = flattened(form_doc(std::string("/FT /Tx /V (Word) /Q ") + q, helv_form));
        const std::string layout = tool_output("pdftotext -bbox", out, "-");
        const std::size_t at = layout.find("<word xMin=\"");
        ASSERT_NE(at, std::string::npos) << "Q " << q << ": " << layout;
        left_edges.push_back(std::stod(layout.substr(at + 12)));
    }
    EXPECT_GT(left_edges[0], 20);
    EXPECT_LT(left_edges[0], 30);
    EXPECT_GT(left_edges[1], left_edges[0] + 40);
    EXPECT_GT(left_edges[2], left_edges[1] + 40);
    EXPECT_LT(left_edges[2], 180);
}

TEST(FieldGeneration, SwitchedOffOrNotFlattenedNothingIsGenerated)
{
    if (!have_poppler()) GTEST_SKIP() << "poppler-utils not installed";
    const std::string pdf = form_doc("/FT /Tx /V (Missing)", helv_form);
    EXPECT_EQ(without_spaces(text_of(flattened(pdf, 1))).find("Missing"), std::string::npos);
    EXPECT_NE(without_spaces(text_of(flattened(pdf, 0))).find("Missing"), std::string::npos);

    temp_dir dir;
    const std::string in = dir.write("in.pdf", pdf);
    const std::string out = dir.file("out.pdf");
    ASSERT_EQ(kestrin_forms(in.c_str(), out.c_str()), 0) << kestrin_last_error();
    EXPECT_NE(without_spaces(text_of(read_file(out))).find("Missing"), std::string::npos);
    ASSERT_EQ(kestrin_annotations(in.c_str(), out.c_str()), 0) << kestrin_last_error();
    const std::string kept = read_file(out);
    EXPECT_NE(kept.find("/Subtype /Widget"), std::string::npos);
    EXPECT_EQ(kept.find("/Tx BMC"), std::string::npos);
}

TEST(FieldGeneration, InkLiesInsideTheWidget)
{
    if (run_command("pdftoppm -v >/dev/null 2>&1") != 0) GTEST_SKIP() << "pdftoppm not installed";
    const std::string out = flattened(form_doc("/FT /Tx /V (MMMMMMMMMMMMMMMMMMMMMMMMMMMMMM)", helv_form));
    ASSERT_FALSE(out.empty()) << kestrin_last_error();
    const kestrin::test::grey_page page = kestrin::test::render_grey(out, kestrin::test::renderer::poppler);
    ASSERT_FALSE(page.empty());
    const int inside = kestrin::test::dark_pixels(page, {20, 100, 180, 130});
    EXPECT_GT(inside, 100);
    EXPECT_EQ(kestrin::test::dark_pixels(page, {0, 0, page.width, page.height}), inside);
}

}  // namespace
