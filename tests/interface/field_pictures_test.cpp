// Check boxes, radio buttons, list boxes and turned fields without appearances look after
// flattening as MuPDF draws them in the unflattened file, which makes such appearances itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "grey_render.h"
#include "kestrin.h"
#include "pdf_builder.h"

namespace {

using kestrin::test::dark_match;
using kestrin::test::dark_pixels;
using kestrin::test::pdf_builder;
using kestrin::test::pixel_box;
using kestrin::test::flattened_by;
using kestrin::test::render_grey;
using kestrin::test::renderer;
using kestrin::test::temp_dir;

struct widget {
    std::string entries;  // besides Type, Subtype, P and T
    pixel_box rect;
};

std::string rect_entry(const pixel_box& r)
{
    return "/Rect [" + std::to_string(r.x0) + ' ' + std::to_string(r.y0) + ' ' + std::to_string(r.x1) + ' ' +
           std::to_string(r.y1) + "] ";
}

// A 300 x 300 page whose widgets are objects 10, 11, ..., each a field of the form; object 20 is
// Helvetica and 21 ZapfDingbats in the form's resources.
std::string widgets_doc(const std::vector<widget>& widgets, const std::string& page_extra = "",
                        const std::string& extra_objects = "")
{
    std::string refs;
    for (std::size_t i = 0; i < widgets.size(); ++i) refs += std::to_string(10 + i) + " 0 R ";
    pdf_builder b;
    b.object(1, "<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [" + refs +
                    "] /DA (/Helv 0 Tf 0 g) /DR << /Font << /Helv 20 0 R /ZaDb 21 0 R >> >> >> >>");
    b.object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    b.object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 300] /Annots [" + refs + "] " + page_extra + " >>");
    for (std::size_t i = 0; i < widgets.size(); ++i)
        b.object(static_cast<std::int32_t>(10 + i), "<< /Type /Annot /Subtype /Widget /P 3 0 R /T (f" + std::to_string(i) +
                                                        ") " + rect_entry(widgets[i].rect) + widgets[i].entries + " >>");
    b.object(20, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>");
    b.object(21, "<< /Type /Font /Subtype /Type1 /BaseFont /ZapfDingbats >>");
    if (!extra_objects.empty()) b.stream(22, "/Type /XObject /Subtype /Form /BBox [0 0 40 40]", extra_objects);
    b.trailer("/Root 1 0 R");
    return b.build();
}

// The rectangle as it lands on a page turned by /Rotate 90 (300 units high).
pixel_box turned_90(const pixel_box& r) { return {r.y0, 300 - r.x1, r.y1, 300 - r.x0}; }

struct picture_case {
    const char* why;
    std::vector<widget> widgets;
    std::string page_extra;
};

TEST(FieldPictures, LookLikeMuPdfsOwnAppearances)
{
    if (!have_renderer(renderer::poppler) || !have_renderer(renderer::mupdf)) GTEST_SKIP() << "renderers missing";
    const std::string text = "/FT /Tx /DA (/Helv 12 Tf 0 g) /V ";
    // No borders: they would match however the text were turned.
    const std::vector<widget> turned = {
        {text + "(Turned a quarter) /MK << /R 90 >>", {20, 20, 60, 200}},
        {text + "(Upside down) /MK << /R 180 >>", {100, 100, 260, 130}},
        {text + "(Three quarters) /MK << /R 270 >>", {250, 140, 290, 290}},
    };
    const picture_case cases[] = {
        {"MK R on an upright page", turned, ""},
        {"MK R on a page turned by /Rotate", turned, "/Rotate 90"},
        {"radio buttons without captions", {
             {"/FT /Btn /Ff 32768 /AS /A /MK << /BG [0.9 0.9 1] /BC [0 0 1] >>", {20, 20, 60, 60}},
             {"/FT /Btn /Ff 32768 /AS /B /MK << /BC [1 0 0] >>", {80, 20, 120, 60}},
             {"/FT /Btn /Ff 32768 /AS /Off /MK << /BC [1 0 0] >>", {140, 20, 180, 60}},
         }, ""},
        {"check box off", {{"/FT /Btn /AS /Off /MK << /BG [0.9 0.9 1] /BC [0 0 1] >>", {20, 20, 60, 60}}}, ""},
        {"centred and right-aligned text", {
             {text + "(Centred) /Q 1", {20, 20, 280, 50}},
             {text + "(Right) /Q 2", {20, 80, 280, 110}},
         }, ""},
    };
    for (const picture_case& c : cases) {
        const std::string input = widgets_doc(c.widgets, c.page_extra);
        const std::string output = flattened_by(input);
        ASSERT_FALSE(output.empty()) << c.why << ": " << kestrin_last_error();
        const auto viewer = render_grey(input, renderer::mupdf);
        const auto ours = render_grey(output, renderer::poppler);
        ASSERT_FALSE(viewer.empty() || ours.empty()) << c.why;
        for (const widget& w : c.widgets) {
            const pixel_box box = c.page_extra.empty() ? w.rect : turned_90(w.rect);
            EXPECT_GT(dark_pixels(ours, box), 0) << c.why << ": " << w.entries;
            EXPECT_GT(dark_match(viewer, ours, box), 0.9) << c.why << ": " << w.entries;
        }
    }
}

// The middle of a box, where a caption goes and no frame does.
pixel_box middle_of(const pixel_box& r)
{
    const int dx = (r.x1 - r.x0) / 4, dy = (r.y1 - r.y0) / 4;
    return {r.x0 + dx, r.y0 + dy, r.x1 - dx, r.y1 - dy};
}

TEST(FieldPictures, ButtonsShowTheirStateAndNeverAnOnStateTheyLack)
{
    if (!have_renderer(renderer::poppler)) GTEST_SKIP() << "pdftoppm not installed";
    const std::string off_picture = "0 0 0 rg 10 10 20 20 re f\n";  // object 22: the Off appearance
    struct button_case {
        const char* why;
        std::string entries;
        bool marked;  // ink in the middle of the box
    };
    const button_case cases[] = {
        {"check box on, no appearance", "/FT /Btn /AS /Yes", true},
        {"check box on through V", "/FT /Btn /V /Yes", true},
        {"check box with its own caption", "/FT /Btn /AS /Yes /MK << /CA (8) >>", true},
        {"check box off", "/FT /Btn /AS /Off /V /Off", false},
        {"radio on without AS: V names the group's choice", "/FT /Btn /Ff 32768 /V /A", false},
        {"radio on", "/FT /Btn /Ff 32768 /AS /A", true},
        {"state the appearance lacks, no Off", "/FT /Btn /AS /Yes /AP << /N << /On 22 0 R >> >>", false},
        {"state the appearance lacks draws Off", "/FT /Btn /AS /Yes /AP << /N << /Off 22 0 R >> >>", true},
        {"push button", "/FT /Btn /Ff 65536 /AS /Yes", false},
        {"hidden", "/FT /Btn /AS /Yes /F 2", false},
    };
    const pixel_box rect{20, 20, 60, 60};
    for (const button_case& c : cases) {
        const std::string output = flattened_by(widgets_doc({{c.entries, rect}}, "", off_picture));
        ASSERT_FALSE(output.empty()) << c.why << ": " << kestrin_last_error();
        const auto page = render_grey(output, renderer::poppler);
        ASSERT_FALSE(page.empty()) << c.why;
        EXPECT_EQ(dark_pixels(page, middle_of(rect)) > 0, c.marked) << c.why;
    }
}

TEST(FieldPictures, ListBoxShowsRowsFromTheTopIndexWithTheSelectionHighlighted)
{
    if (!have_renderer(renderer::poppler)) GTEST_SKIP() << "poppler-utils not installed";
    const std::string list = "/FT /Ch /DA (/Helv 12 Tf 0 g) /Opt [(Apple) [(b) (Banana)] (Cherry) (Date) (Elder)] ";
    struct list_case {
        const char* why;
        std::string entries;
        std::string shown, hidden;  // in pdftotext of the output, spaces ignored
        std::vector<int> highlighted;  // rows from the top of the box, 14 units each
    };
    const list_case cases[] = {
        {"V selects, TI scrolls", list + "/TI 1 /V [(b) (Date)]", "BananaCherryDate", "Apple", {0, 2}},
        {"I wins over V", list + "/I [2] /V (b)", "AppleBanana", "", {2}},
        {"display text shown, export value matched", list + "/V (b)", "Banana", "", {1}},
        {"nothing selected", list, "Apple", "", {}},
    };
    const pixel_box rect{20, 100, 200, 170};
    for (const list_case& c : cases) {
        const std::string output = flattened_by(widgets_doc({{c.entries, rect}}));
        ASSERT_FALSE(output.empty()) << c.why << ": " << kestrin_last_error();
        temp_dir dir;
        std::string text;
        kestrin::test::run_command("pdftotext '" + dir.write("o.pdf", output) + "' -", &text);
        std::erase_if(text, [](char ch) { return ch == ' ' || ch == '\n' || ch == '\f'; });
        EXPECT_NE(text.find(c.shown), std::string::npos) << c.why << ": " << text;
        if (!c.hidden.empty()) {
            EXPECT_EQ(text.find(c.hidden), std::string::npos) << c.why << ": " << text;
        }
        for (int row = 0; row < 4; ++row) {
            const bool selected = std::find(c.highlighted.begin(), c.highlighted.end(), row) != c.highlighted.end();
            // The highlight's blue is 0.6 0.757 0.855: in grey about 185, where the page is white.
            const std::string colour = kestrin::test::pixel(output, 195, 300 - 170 + 2 + row * 14 + 7);
            EXPECT_EQ(colour != "255,255,255", selected) << c.why << ", row " << row << ": " << colour;
        }
    }
}

}  // namespace
