#include "generate/widget_frame.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace kestrin::generate {
namespace {

std::size_t occurrences(const std::string& s, std::string_view what)
{
    std::size_t n = 0;
    for (auto at = s.find(what); at != std::string::npos; at = s.find(what, at + 1)) ++n;
    return n;
}

TEST(ColourFromComponents, CountsGiveTheColourSpace)
{
    const double inf = std::numeric_limits<double>::infinity();
    struct test_case {
        std::vector<double> in;
        bool has_colour;
        std::int32_t components;
        std::array<double, 4> values;
    } cases[] = {
        {{}, false, 0, {}},                                   // transparent
        {{0.5}, true, 1, {0.5, 0, 0, 0}},                     // gray
        {{1, 0, 0}, true, 3, {1, 0, 0, 0}},                   // RGB
        {{0, 0, 0, 1}, true, 4, {0, 0, 0, 1}},                // CMYK
        {{0.1, 0.2}, false, 0, {}},                           // no colour space has two
        {{0, 0, 0, 0, 0}, false, 0, {}},                      // nor five
        {{2, -1, std::nan("")}, true, 3, {1, 0, 0, 0}},       // clamped; NaN as 0
        {{inf}, true, 1, {0, 0, 0, 0}},                       // infinity as 0
    };
    for (const auto& c : cases) {
        const auto got = colour_from_components(c.in);
        ASSERT_EQ(got.has_value(), c.has_colour) << c.in.size();
        if (!got) continue;
        EXPECT_EQ(got->components, c.components);
        for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(got->values[i], c.values[i]) << i;
    }
}

TEST(BorderStyleNamed, KnownNamesAndSolidForTheRest)
{
    EXPECT_EQ(border_style_named("S"), border_style::solid);
    EXPECT_EQ(border_style_named("D"), border_style::dashed);
    EXPECT_EQ(border_style_named("B"), border_style::beveled);
    EXPECT_EQ(border_style_named("I"), border_style::inset);
    EXPECT_EQ(border_style_named("U"), border_style::underline);
    EXPECT_EQ(border_style_named("Dashed"), border_style::solid);
    EXPECT_EQ(border_style_named(""), border_style::solid);
}

TEST(RotatedFormBox, SwapsForQuarterTurnsAndMapsOntoTheRectangle)
{
    struct test_case {
        std::int64_t rotation;
        double width, height;
        std::array<double, 6> matrix;
    } cases[] = {
        {0, 100, 20, {1, 0, 0, 1, 0, 0}},
        {90, 20, 100, {0, 1, -1, 0, 100, 0}},
        {180, 100, 20, {-1, 0, 0, -1, 100, 20}},
        {270, 20, 100, {0, -1, 1, 0, 0, 20}},
        {-90, 20, 100, {0, -1, 1, 0, 0, 20}},  // the same turn as 270
        {450, 20, 100, {0, 1, -1, 0, 100, 0}},  // as 90
        {45, 100, 20, {1, 0, 0, 1, 0, 0}},     // not a quarter turn: none
    };
    for (const auto& c : cases) {
        const rotated_box box = rotated_form_box(100, 20, c.rotation);
        EXPECT_EQ(box.width, c.width) << c.rotation;
        EXPECT_EQ(box.height, c.height) << c.rotation;
        EXPECT_EQ(box.matrix, c.matrix) << c.rotation;
        // The BBox's corners land on the rectangle's.
        double lo_x = 1e9, hi_x = -1e9, lo_y = 1e9, hi_y = -1e9;
        for (double x : {0.0, box.width})
            for (double y : {0.0, box.height}) {
                const auto& m = box.matrix;
                lo_x = std::min(lo_x, m[0] * x + m[2] * y + m[4]);
                hi_x = std::max(hi_x, m[0] * x + m[2] * y + m[4]);
                lo_y = std::min(lo_y, m[1] * x + m[3] * y + m[5]);
                hi_y = std::max(hi_y, m[1] * x + m[3] * y + m[5]);
            }
        EXPECT_EQ(lo_x, 0) << c.rotation;
        EXPECT_EQ(hi_x, 100) << c.rotation;
        EXPECT_EQ(lo_y, 0) << c.rotation;
        EXPECT_EQ(hi_y, 20) << c.rotation;
    }
}

TEST(RotatedFormBox, NonFiniteOrNegativeSizesReadAsZero)
{
    const rotated_box box = rotated_form_box(std::nan(""), -5, 90);
    EXPECT_EQ(box.width, 0);
    EXPECT_EQ(box.height, 0);
    for (double m : box.matrix) EXPECT_TRUE(std::isfinite(m));
}

TEST(DrawnBorderWidth, NeedsAColourAndLeavesRoom)
{
    const widget_colours with_border{std::nullopt, colour{}};
    EXPECT_EQ(drawn_border_width(100, 20, border{2}, widget_colours{}), 0);  // no BC: no border
    EXPECT_EQ(drawn_border_width(100, 20, border{2}, with_border), 2);
    EXPECT_EQ(drawn_border_width(100, 20, border{50}, with_border), 5);  // a quarter of 20
    EXPECT_EQ(drawn_border_width(100, 20, border{-1}, with_border), 0);
    EXPECT_EQ(drawn_border_width(100, 20, border{std::nan("")}, with_border), 0);
}

TEST(FrameContent, EachStyleDrawsItsOwnShape)
{
    colour red;
    red.components = 3;
    red.values = {1, 0, 0, 0};
    const widget_colours both{colour{}, red};
    struct test_case {
        const char* what;
        border_style style;
        frame_shape shape;
        std::vector<std::string_view> holds;
        std::vector<std::string_view> lacks;
    } cases[] = {
        {"solid", border_style::solid, frame_shape::rectangle,
         {"0.000 g\n0.000000 0.000000 100.000000 20.000000 re f\n", "1.000 0.000 0.000 RG\n2.000000 w\n",
          "1.000000 1.000000 98.000000 18.000000 re S\n"},
         {" d\n", " c\n"}},
        {"dashed", border_style::dashed, frame_shape::rectangle, {"[3.000000] 0 d\n", " re S\n"}, {}},
        {"underline", border_style::underline, frame_shape::rectangle,
         {"0.000000 1.000000 m\n100.000000 1.000000 l\nS\n"}, {" re S\n"}},
        {"beveled", border_style::beveled, frame_shape::rectangle, {" re S\n", "1.000 g\n", "0.000 g\n"}, {}},
        {"inset", border_style::inset, frame_shape::rectangle, {" re S\n", "0.500 g\n", "0.750 g\n"}, {}},
        {"round", border_style::solid, frame_shape::circle, {" c\nh f\n", " c\nh S\n"}, {" re "}},
    };
    for (const auto& c : cases) {
        border b{2, c.style};
        const std::string content = frame_content(100, 20, b, both, c.shape);
        EXPECT_TRUE(content.starts_with("q\n") && content.ends_with("Q\n")) << c.what;
        for (auto h : c.holds) EXPECT_NE(content.find(h), std::string::npos) << c.what << ": " << h << "\n" << content;
        for (auto l : c.lacks) EXPECT_EQ(content.find(l), std::string::npos) << c.what << ": " << l;
    }
}

TEST(FrameContent, DashArraysAReaderRefusesGiveTheDefault)
{
    const widget_colours with_border{std::nullopt, colour{}};
    struct test_case {
        std::vector<double> dash;
        const char* written;
    } cases[] = {
        {{3}, "[3.000000] 0 d"},
        {{2, 1}, "[2.000000 1.000000] 0 d"},
        {{0, 2}, "[0.000000 2.000000] 0 d"},  // dots
        {{}, "[3.000000] 0 d"},
        {{0, 0}, "[3.000000] 0 d"},            // all 0: no dash at all
        {{1e-9}, "[3.000000] 0 d"},            // would be written as 0
        {{-1, 2}, "[3.000000] 0 d"},
        {{std::nan(""), 2}, "[3.000000] 0 d"},
    };
    for (const auto& c : cases) {
        border b{1, border_style::dashed, c.dash};
        const std::string content = frame_content(50, 20, b, with_border, frame_shape::rectangle);
        EXPECT_NE(content.find(c.written), std::string::npos) << c.written << "\n" << content;
    }
}

TEST(FrameContent, BevelsFillTwoEdges)
{
    const widget_colours both{colour{}, colour{}};
    EXPECT_EQ(occurrences(frame_content(100, 20, border{2, border_style::beveled}, both, frame_shape::rectangle),
                          "f\n"),
              3u);  // the background and two edges
}

TEST(FrameContent, NothingToDrawGivesNothing)
{
    EXPECT_EQ(frame_content(100, 20, border{}, widget_colours{}, frame_shape::rectangle), "");
    // A border colour with width 0 draws no border.
    EXPECT_EQ(frame_content(100, 20, border{0}, widget_colours{std::nullopt, colour{}}, frame_shape::rectangle), "");
}

}  // namespace
}  // namespace kestrin::generate
