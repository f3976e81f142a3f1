#include "draw/fallback.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "kestrin.h"
#include "load/doc.h"
#include "pdf_builder.h"

namespace kestrin::draw {
namespace {

using plan::plan_item;

plan_item item_of(std::int32_t kind, double x, double y, double w, double h)
{
    plan_item it;
    it.kind = kind;
    it.x = x;
    it.y = y;
    it.w = w;
    it.h = h;
    return it;
}

// A document without objects: references in the dictionaries lead nowhere.
const load::doc no_objects;

// The names the writer gives when the page's resources leave them free.
constexpr resource_names usual_names{"GSa", "FlF"};

std::string draw(const plan_item& it, std::string_view dict, std::int32_t start = 0)
{
    base::byte_buffer out;
    draw_fallback(out, it, no_objects, dict, start, usual_names);
    return std::string(out.view());
}

// The picture as the drawing buffer receives it: its own q ... Q around the pieces.
std::string pic(const std::string& body) { return "q\n" + body + "Q\n"; }

struct draw_case {
    const char* name;
    std::int32_t kind;
    double x, y, w, h;
    std::string dict;
    std::string expected;
};

void PrintTo(const draw_case& c, std::ostream* os) { *os << c.name; }

class DrawCase : public testing::TestWithParam<draw_case> {};

TEST_P(DrawCase, WritesExactOperators)
{
    const draw_case& c = GetParam();
    EXPECT_EQ(draw(item_of(c.kind, c.x, c.y, c.w, c.h), c.dict), c.expected);
}

// The Square 10 20 30 40 with its border inside: inset by half the width.
const std::string square_w1 = " 10.500000 20.500000 29.000000 39.000000 re S\n";
const std::string square_w2 = " 11.000000 21.000000 28.000000 38.000000 re S\n";
const std::string square_w4 = " 12.000000 22.000000 26.000000 36.000000 re S\n";
const std::string square_w15 = " 17.500000 27.500000 15.000000 25.000000 re S\n";
const std::string black_1 = "0.000 0.000 0.000 RG 1.000000 w";

// Colour and border width, read the same way for every kind; shown on a Square.
INSTANTIATE_TEST_SUITE_P(ColourAndBorder, DrawCase, testing::Values(
    // neither "C" nor "Border": black, width 1
    draw_case{"defaults", 11, 10, 20, 30, 40, "<< /Subtype /Square >>", pic(black_1 + square_w1)},
    // three numbers of "C" and the third number of "Border"
    draw_case{"colour_border", 11, 10, 20, 30, 40, "<< /C [1 0 0] /Border [0 0 3] >>",
              pic("1.000 0.000 0.000 RG 3.000000 w 11.500000 21.500000 27.000000 37.000000 re S\n")},
    // four numbers are CMYK, one is gray
    draw_case{"cmyk_colour", 11, 10, 20, 30, 40, "<< /C [0.1 0.2 0.3 0.4] >>",
              pic("0.100 0.200 0.300 0.400 K 1.000000 w" + square_w1)},
    draw_case{"grey_colour", 11, 10, 20, 30, 40, "<< /C [0.5] >>", pic("0.500 G 1.000000 w" + square_w1)},
    // two or five numbers are no colour: the default
    draw_case{"two_numbers", 11, 10, 20, 30, 40, "<< /C [1 0] >>", pic(black_1 + square_w1)},
    draw_case{"five_numbers", 11, 10, 20, 30, 40, "<< /C [1 0 0 0 1] >>", pic(black_1 + square_w1)},
    // components outside [0, 1] are bounded
    draw_case{"colour_out_of_range", 11, 10, 20, 30, 40, "<< /C [2 -1 0.5] >>",
              pic("1.000 0.000 0.500 RG 1.000000 w" + square_w1)},
    // an empty "C" is transparent: no border, and without "IC" nothing at all
    draw_case{"transparent", 11, 10, 20, 30, 40, "<< /C [] /Border [0 0 3] >>", ""},
    // "IC" fills the square, "C" strokes it
    draw_case{"interior", 11, 10, 20, 30, 40, "<< /C [1 0 0] /IC [0 0 1] >>",
              pic("0.000 0.000 1.000 rg 1.000 0.000 0.000 RG 1.000000 w 10.500000 20.500000 29.000000 "
                  "39.000000 re B\n")},
    // a transparent border over a gray interior: the whole rectangle filled
    draw_case{"interior_only", 11, 10, 20, 30, 40, "<< /C [] /IC [0.5] >>",
              pic("0.500 g 10.000000 20.000000 30.000000 40.000000 re f\n")},
    // an empty "IC" fills nothing
    draw_case{"interior_transparent", 11, 10, 20, 30, 40, "<< /IC [] >>", pic(black_1 + square_w1)},
    // "Border" written straight after the key, and with its dash array
    draw_case{"border_tight_dash", 11, 10, 20, 30, 40, "<</Border[2 2 1.5[3 1]]>>",
              pic("0.000 0.000 0.000 RG 1.500000 w 10.750000 20.750000 28.500000 38.500000 re S\n")},
    // "Border" with only two numbers keeps the default
    draw_case{"border_short", 11, 10, 20, 30, 40, "<< /Border [0 0] >>", pic(black_1 + square_w1)},
    // a negative width is ignored
    draw_case{"border_negative", 11, 10, 20, 30, 40, "<< /Border [0 0 -2] >>", pic(black_1 + square_w1)},
    // "BS" "W" wins over "Border"
    draw_case{"style_width_wins", 11, 10, 20, 30, 40, "<< /Border [0 0 3] /BS << /S /D /W 2 >> >>",
              pic("0.000 0.000 0.000 RG 2.000000 w" + square_w2)},
    // "BS" without "W" leaves "Border" in force
    draw_case{"style_without_width", 11, 10, 20, 30, 40, "<< /BS << /S /S >> /Border [0 0 4] >>",
              pic("0.000 0.000 0.000 RG 4.000000 w" + square_w4)},
    // a "BS" whose object is missing: "Border" holds
    draw_case{"style_missing_object", 11, 10, 20, 30, 40, "<< /BS 9 0 R /Border [0 0 4] >>",
              pic("0.000 0.000 0.000 RG 4.000000 w" + square_w4)},
    // width 0 in "Border": a Square is only its border, so nothing at all
    draw_case{"border_zero", 11, 10, 20, 30, 40, "<< /Border [0 0 0] >>", ""},
    // width 0 in "BS" beats a positive "Border"
    draw_case{"style_zero", 11, 10, 20, 30, 40, "<< /Border [0 0 5] /BS <</W 0>> >>", ""},
    // a border wider than half the smaller side (30) fills the box and no more: width 15
    draw_case{"border_over_half", 11, 10, 20, 30, 40, "<< /Border [0 0 20] >>",
              pic("0.000 0.000 0.000 RG 15.000000 w" + square_w15)},
    draw_case{"border_absurd", 11, 10, 20, 30, 40, "<< /BS << /W 1000000000000000000000000000000 >> >>",
              pic("0.000 0.000 0.000 RG 15.000000 w" + square_w15)},
    // a rectangle without area has no border to draw
    draw_case{"no_area", 11, 10, 20, 0, 40, "<< /C [1 0 0] >>", ""}),
    [](const auto& info) { return std::string(info.param.name); });

// Only the annotation's own entries count: never a name that is a value, nor one inside a nested
// dictionary, an array or a string.
INSTANTIATE_TEST_SUITE_P(TopLevelEntries, DrawCase, testing::Values(
    draw_case{"nested_dictionary", 11, 10, 20, 30, 40, "<< /MK << /C [1 0 0] /IC [0 1 0] >> >>",
              pic(black_1 + square_w1)},
    draw_case{"name_value", 11, 10, 20, 30, 40, "<< /S /C [1 0 0] >>", pic(black_1 + square_w1)},
    draw_case{"inside_array", 11, 10, 20, 30, 40, "<< /Foo [/C [1 0 0]] >>", pic(black_1 + square_w1)},
    draw_case{"inside_string", 11, 10, 20, 30, 40, "<< /T (/C [1 0 0] /Border [0 0 4]) >>",
              pic(black_1 + square_w1)},
    draw_case{"inside_comment", 11, 10, 20, 30, 40, "<< %/C [1 0 0]\n/Subtype /Square >>",
              pic(black_1 + square_w1)},
    // the entry after a nested dictionary that names the same key
    draw_case{"after_nested", 11, 10, 20, 30, 40, "<< /AA << /C [0 1 0] /W 9 >> /C [1 0 0] >>",
              pic("1.000 0.000 0.000 RG 1.000000 w" + square_w1)},
    // a key written with an escape: its value starts after the escaped bytes
    draw_case{"escaped_key", 11, 10, 20, 30, 40, "<< /#43 [1 0 0] >>",
              pic("1.000 0.000 0.000 RG 1.000000 w" + square_w1)},
    // "W" of a dictionary nested in "BS" is not the style's width
    draw_case{"style_nested_width", 11, 10, 20, 30, 40, "<< /BS << /D << /W 7 >> >> /Border [0 0 2] >>",
              pic("0.000 0.000 0.000 RG 2.000000 w" + square_w2)}),
    [](const auto& info) { return std::string(info.param.name); });

const std::string sticky_20 =
    "0.75 0.65 0.05 rg\n20.000000 7.000000 m 13.000000 20.000000 l 20.000000 20.000000 l h f\n"
    "0.35 0.35 0.30 RG 1 w 2.400000 3.600000 m 17.600000 3.600000 l S\n"
    "0.35 0.35 0.30 RG 1 w 2.400000 6.800000 m 17.600000 6.800000 l S\n"
    "0.35 0.35 0.30 RG 1 w 2.400000 10.000000 m 17.600000 10.000000 l S\n";

// Icons: sticky note, caret, file attachment; and kinds with no picture.
INSTANTIATE_TEST_SUITE_P(Icons, DrawCase, testing::Values(
    // the note: body, folded corner, three text lines
    draw_case{"sticky_note", 1, 0, 0, 20, 20, "<< >>",
              pic("0.95 0.85 0.10 rg 0.30 0.30 0.10 RG 1.000000 w\n"
                  "0.000000 0.000000 20.000000 20.000000 re f\n" + sticky_20)},
    // an icon is no border: width 0 draws it with width 1
    draw_case{"sticky_note_border_zero", 1, 0, 0, 20, 20, "<< /Border [0 0 0] >>",
              pic("0.95 0.85 0.10 rg 0.30 0.30 0.10 RG 1.000000 w\n"
                  "0.000000 0.000000 20.000000 20.000000 re f\n" + sticky_20)},
    // narrower than 1: nothing, not even q/Q
    draw_case{"sticky_note_tiny", 1, 0, 0, 0.5, 20, "<< >>", ""},
    // a caret 25 wide is drawn 12 wide; its height 5 is kept
    draw_case{"caret_wide", 15, 10, 10, 25, 5, "<< /C [0 0 1] >>",
              pic("0.000 0.000 1.000 rg 10.000000 10.000000 m 22.000000 10.000000 l "
                  "10.000000 15.000000 l h f\n")},
    // a gray caret; a transparent one is not drawn
    draw_case{"caret_grey", 15, 10, 10, 25, 5, "<< /C [0.5] >>",
              pic("0.500 g 10.000000 10.000000 m 22.000000 10.000000 l 10.000000 15.000000 l h f\n")},
    draw_case{"caret_transparent", 15, 10, 10, 25, 5, "<< /C [] >>", ""},
    // a caret without area is drawn 12 by 12
    draw_case{"caret_empty", 15, 0, 0, 0, 0, "<< >>",
              pic("0.000 0.000 0.000 rg 0.000000 0.000000 m 12.000000 0.000000 l "
                  "0.000000 12.000000 l h f\n")},
    // an attachment 30 wide is drawn 14 wide
    draw_case{"file_attachment", 16, 0, 0, 30, 10, "<< /Border [0 0 2] >>",
              pic("0.30 0.30 0.30 RG 2.000000 w\n0.000000 0.000000 14.000000 10.000000 re S\n"
                  "4.200000 10.000000 m 9.800000 5.000000 l S\n")},
    // its line no wider than half the icon's smaller side
    draw_case{"file_attachment_wide_border", 16, 0, 0, 30, 10, "<< /Border [0 0 100] >>",
              pic("0.30 0.30 0.30 RG 5.000000 w\n0.000000 0.000000 14.000000 10.000000 re S\n"
                  "4.200000 10.000000 m 9.800000 5.000000 l S\n")},
    // Link, Stamp, 3D, Signature and unknown kinds leave no trace
    draw_case{"link", 7, 0, 0, 50, 50, "<< /C [1 0 0] >>", ""},
    draw_case{"stamp", 8, 0, 0, 50, 50, "<< /C [1 0 0] >>", ""},
    draw_case{"three_d", 17, 0, 0, 50, 50, "<< /C [1 0 0] >>", ""},
    draw_case{"signature", 18, 0, 0, 50, 50, "<< /C [1 0 0] >>", ""},
    draw_case{"kind_none", 0, 0, 0, 50, 50, "<< /C [1 0 0] >>", ""},
    draw_case{"kind_unknown", 42, 0, 0, 50, 50, "<< /C [1 0 0] >>", ""}),
    [](const auto& info) { return std::string(info.param.name); });

const std::string gsa = "/GSa gs 0.4 1.0 1.0 rg\n";
// Quadrilateral 10 20 - 110 30, corners in the order producers write them (top edge first).
const char* const quad_1 = "<< /QuadPoints [10 30 110 30 10 20 110 20] >>";

// Text markup: one mark per group of eight "QuadPoints" numbers, else the rectangle.
INSTANTIATE_TEST_SUITE_P(Marks, DrawCase, testing::Values(
    // the quadrilateral's box, filled through the alpha state
    draw_case{"highlight_quad", 2, 0, 0, 5, 5, quad_1,
              pic(gsa + "10.000000 20.000000 m 110.000000 20.000000 l 110.000000 30.000000 l "
                        "10.000000 30.000000 l h f\n")},
    // sixteen numbers: two marks
    draw_case{"highlight_two_quads", 2, 0, 0, 5, 5,
              "<< /QuadPoints [0 10 50 10 0 0 50 0 0 30 40 30 0 20 40 20] >>",
              pic(gsa + "0.000000 0.000000 m 50.000000 0.000000 l 50.000000 10.000000 l "
                        "0.000000 10.000000 l h f\n" +
                  gsa + "0.000000 20.000000 m 40.000000 20.000000 l 40.000000 30.000000 l "
                        "0.000000 30.000000 l h f\n")},
    // twelve numbers: one complete group, the rest ignored
    draw_case{"highlight_partial_group", 2, 0, 0, 5, 5,
              "<< /QuadPoints [0 10 50 10 0 0 50 0 7 7 7 7] >>",
              pic(gsa + "0.000000 0.000000 m 50.000000 0.000000 l 50.000000 10.000000 l "
                        "0.000000 10.000000 l h f\n")},
    // a rotated quadrilateral is marked by its bounding box
    draw_case{"highlight_rotated", 2, 0, 0, 5, 5, "<< /QuadPoints [5 0 10 5 0 5 5 10] >>",
              pic(gsa + "0.000000 0.000000 m 10.000000 0.000000 l 10.000000 10.000000 l "
                        "0.000000 10.000000 l h f\n")},
    // no "QuadPoints": the rectangle
    draw_case{"highlight_rect", 2, 1, 2, 3, 4, "<< >>",
              pic(gsa + "1.000000 2.000000 m 4.000000 2.000000 l 4.000000 6.000000 l "
                        "1.000000 6.000000 l h f\n")},
    // fewer than eight numbers: the rectangle
    draw_case{"highlight_three_numbers", 2, 1, 2, 3, 4, "<< /QuadPoints [1 2 3] >>",
              pic(gsa + "1.000000 2.000000 m 4.000000 2.000000 l 4.000000 6.000000 l "
                        "1.000000 6.000000 l h f\n")},
    // underline along the bottom edge
    draw_case{"underline_quad", 3, 0, 0, 5, 5, quad_1,
              pic("0.0 0.0 0.0 RG 1.000000 w 10.000000 20.000000 m 110.000000 20.000000 l S\n")},
    // underline of the rectangle 0 0 100 10
    draw_case{"underline_rect", 3, 0, 0, 100, 10, "<< >>",
              pic("0.0 0.0 0.0 RG 1.000000 w 0.000000 0.000000 m 100.000000 0.000000 l S\n")},
    // a markup line is no border: width 0 keeps width 1
    draw_case{"underline_border_zero", 3, 0, 0, 100, 10, "<< /Border [0 0 0] >>",
              pic("0.0 0.0 0.0 RG 1.000000 w 0.000000 0.000000 m 100.000000 0.000000 l S\n")},
    // strike-out through the middle
    draw_case{"strikeout_quad", 5, 0, 0, 5, 5, quad_1,
              pic("0.0 0.0 0.0 RG 1.000000 w 10.000000 25.000000 m 110.000000 25.000000 l S\n")},
    // squiggly: eight segments along the bottom edge, 0.8 below and above it
    draw_case{"squiggly_quad", 4, 0, 0, 5, 5, quad_1,
              pic("0.0 0.0 0.0 RG 1.000000 w 10.000000 20.000000 m\n"
                  "22.500000 19.200000 l 35.000000 20.800000 l 47.500000 19.200000 l "
                  "60.000000 20.800000 l 72.500000 19.200000 l 85.000000 20.800000 l "
                  "97.500000 19.200000 l 110.000000 20.800000 l S\n")},
    // "C" colours every kind of mark; the highlight keeps its translucent state
    draw_case{"highlight_colour", 2, 0, 0, 5, 5, "<< /C [1 1 0] /QuadPoints [0 10 50 10 0 0 50 0] >>",
              pic("/GSa gs 1.000 1.000 0.000 rg\n0.000000 0.000000 m 50.000000 0.000000 l 50.000000 10.000000 l "
                  "0.000000 10.000000 l h f\n")},
    draw_case{"underline_colour", 3, 0, 0, 100, 10, "<< /C [1 0 0] >>",
              pic("1.000 0.000 0.000 RG 1.000000 w 0.000000 0.000000 m 100.000000 0.000000 l S\n")},
    draw_case{"strikeout_cmyk", 5, 0, 0, 5, 5, std::string("<< /C [0 0 0 1] ") + (quad_1 + 3),
              pic("0.000 0.000 0.000 1.000 K 1.000000 w 10.000000 25.000000 m 110.000000 25.000000 l S\n")},
    draw_case{"squiggly_grey", 4, 0, 0, 16, 2, "<< /C [0.25] >>",
              pic("0.250 G 1.000000 w 0.000000 0.000000 m\n"
                  "2.000000 -0.800000 l 4.000000 0.800000 l 6.000000 -0.800000 l 8.000000 0.800000 l "
                  "10.000000 -0.800000 l 12.000000 0.800000 l 14.000000 -0.800000 l 16.000000 0.800000 l S\n")},
    // a transparent "C": no mark at all
    draw_case{"highlight_transparent", 2, 0, 0, 5, 5, "<< /C [] >>", ""},
    draw_case{"underline_transparent", 3, 0, 0, 5, 5, "<< /C [] >>", ""},
    // a line no wider than half its box's smaller side (10 high: 5), but never below width 1
    draw_case{"underline_wide_border", 3, 0, 0, 5, 5, std::string("<< /Border [0 0 100] ") + (quad_1 + 3),
              pic("0.0 0.0 0.0 RG 5.000000 w 10.000000 20.000000 m 110.000000 20.000000 l S\n")},
    draw_case{"underline_flat_box", 3, 0, 0, 100, 0, "<< /Border [0 0 3] >>",
              pic("0.0 0.0 0.0 RG 1.000000 w 0.000000 0.000000 m 100.000000 0.000000 l S\n")}),
    [](const auto& info) { return std::string(info.param.name); });

// Paths: Ink, Line, Polygon, PolyLine; Circle.
INSTANTIATE_TEST_SUITE_P(Paths, DrawCase, testing::Values(
    // one stroked path per inner array of "InkList"
    draw_case{"ink_list", 9, 0, 0, 5, 5, "<< /InkList [[10 10 20 20 30 10] [40 40 50 50]] >>",
              pic(black_1 + "\n10.000000 10.000000 m 20.000000 20.000000 l 30.000000 10.000000 l S\n"
                            "40.000000 40.000000 m 50.000000 50.000000 l S\n")},
    // "InkList" wins over "VK"; an inner array with one number draws nothing
    draw_case{"ink_list_over_vk", 9, 0, 0, 5, 5, "<< /VK [1 2 3 4] /InkList[[5][6 7]] >>",
              pic(black_1 + "\n6.000000 7.000000 m S\n")},
    // without "InkList", "VK" is one path; an odd last number is ignored
    draw_case{"ink_vk", 9, 0, 0, 5, 5, "<< /VK [1 2 3 4 5] >>",
              pic(black_1 + "\n1.000000 2.000000 m 3.000000 4.000000 l S\n")},
    // no coordinates, or only empty ones: nothing
    draw_case{"ink_none", 9, 0, 0, 5, 5, "<< /C [1 0 0] >>", ""},
    draw_case{"ink_empty_list", 9, 0, 0, 5, 5, "<< /InkList [[] [3]] >>", ""},
    // an ink line with width 0 or a transparent colour is invisible
    draw_case{"ink_border_zero", 9, 0, 0, 5, 5, "<< /InkList [[1 2 3 4]] /BS <</W 0>> >>", ""},
    draw_case{"ink_transparent", 9, 0, 0, 5, 5, "<< /InkList [[1 2 3 4]] /C [] >>", ""},
    // the width is bounded by the larger side of the box around the rectangle and the points
    draw_case{"ink_wide_border", 9, 0, 0, 5, 5, "<< /InkList [[10 10 20 12]] /Border [0 0 1000] >>",
              pic("0.000 0.000 0.000 RG 20.000000 w\n10.000000 10.000000 m 20.000000 12.000000 l S\n")},
    // a gray ink
    draw_case{"ink_grey", 9, 0, 0, 5, 5, "<< /InkList [[1 2 3 4]] /C [0.5] >>",
              pic("0.500 G 1.000000 w\n1.000000 2.000000 m 3.000000 4.000000 l S\n")},
    // a Line from its "L"
    draw_case{"line_l", 10, 0, 0, 5, 5, "<< /L [0 0 100 50] /C [0 1 0] >>",
              pic("0.000 1.000 0.000 RG 1.000000 w 0.000000 0.000000 m 100.000000 50.000000 l S\n")},
    // "P" when there is no "L"
    draw_case{"line_p", 10, 0, 0, 5, 5, "<< /P [1 2 3 4] >>",
              pic(black_1 + " 1.000000 2.000000 m 3.000000 4.000000 l S\n")},
    // an "L" of three numbers draws nothing, "P" notwithstanding
    draw_case{"line_short", 10, 0, 0, 5, 5, "<< /L [1 2 3] /P [1 2 3 4] >>", ""},
    draw_case{"line_transparent", 10, 0, 0, 5, 5, "<< /L [0 0 100 50] /C [] >>", ""},
    // the line 100 long in a 5 by 5 rectangle: at most 100 wide
    draw_case{"line_wide_border", 10, 0, 0, 5, 5, "<< /L [0 0 100 50] /Border [0 0 1000000] >>",
              pic("0.000 0.000 0.000 RG 100.000000 w 0.000000 0.000000 m 100.000000 50.000000 l S\n")},
    // a polygon without "IC" is closed and stroked, never filled
    draw_case{"polygon_stroke", 13, 0, 0, 5, 5, "<< /Vertices [0 0 100 0 50 50] >>",
              pic(black_1 + " 0.000000 0.000000 m\n100.000000 0.000000 l 50.000000 50.000000 l h S\n")},
    // with "IC": filled in it and stroked in "C"
    draw_case{"polygon_fill", 13, 0, 0, 5, 5, "<< /Vertices [0 0 100 0 50 50] /IC [0 0 1] /C [1 0 0] >>",
              pic("0.000 0.000 1.000 rg 1.000 0.000 0.000 RG 1.000000 w 0.000000 0.000000 m\n"
                  "100.000000 0.000000 l 50.000000 50.000000 l h B\n")},
    // a transparent "C": filled only; a transparent "IC": stroked only
    draw_case{"polygon_transparent_border", 13, 0, 0, 5, 5, "<< /Vertices [0 0 100 0 50 50] /IC [0 0 1] /C [] >>",
              pic("0.000 0.000 1.000 rg 1.000000 w 0.000000 0.000000 m\n"
                  "100.000000 0.000000 l 50.000000 50.000000 l h f\n")},
    draw_case{"polygon_transparent_fill", 13, 0, 0, 5, 5, "<< /Vertices [0 0 100 0 50 50] /IC [] >>",
              pic(black_1 + " 0.000000 0.000000 m\n100.000000 0.000000 l 50.000000 50.000000 l h S\n")},
    draw_case{"polygon_invisible_colours", 13, 0, 0, 5, 5, "<< /Vertices [0 0 1 1] /IC [] /C [] >>", ""},
    // an "IC" of two numbers is no interior colour
    draw_case{"polygon_short_ic", 13, 0, 0, 5, 5, "<< /Vertices [0 0 1 1] /IC [0 0] >>",
              pic(black_1 + " 0.000000 0.000000 m\n1.000000 1.000000 l h S\n")},
    // without a border only the fill remains
    draw_case{"polygon_fill_no_border", 13, 0, 0, 5, 5, "<< /Vertices [0 0 1 1] /IC [1 1 0] /Border [0 0 0] >>",
              pic("1.000 1.000 0.000 rg 0.000 0.000 0.000 RG 0.000000 w 0.000000 0.000000 m\n"
                  "1.000000 1.000000 l h f\n")},
    // neither border nor fill: nothing
    draw_case{"polygon_invisible", 13, 0, 0, 5, 5, "<< /Vertices [0 0 1 1] /Border [0 0 0] >>", ""},
    // fewer than two vertex numbers: nothing
    draw_case{"polygon_one_number", 13, 0, 0, 5, 5, "<< /Vertices [7] /IC [1 0 0] >>", ""},
    // a PolyLine of 5 numbers draws its first two pairs, stroked even with "IC"
    draw_case{"polyline_odd", 14, 0, 0, 5, 5, "<< /Vertices [1 2 3 4 5] /IC [1 0 0] >>",
              pic(black_1 + " 1.000000 2.000000 m\n3.000000 4.000000 l S\n")},
    // an ellipse in four Bezier quarters, its border inside the rectangle
    draw_case{"circle", 12, 0, 0, 100, 50, "<< >>",
              pic(black_1 + "\n99.500000 25.000000 m\n"
                  "99.500000 38.531350 77.338850 49.500000 50.000000 49.500000 c\n"
                  "22.661150 49.500000 0.500000 38.531350 0.500000 25.000000 c\n"
                  "0.500000 11.468650 22.661150 0.500000 50.000000 0.500000 c\n"
                  "77.338850 0.500000 99.500000 11.468650 99.500000 25.000000 c S\n")},
    // filled in "IC" without a border: the whole rectangle's ellipse
    draw_case{"circle_interior", 12, 0, 0, 100, 50, "<< /IC [1 1 0] /C [0 1 0] /Border [0 0 0] >>",
              pic("1.000 1.000 0.000 rg\n100.000000 25.000000 m\n"
                  "100.000000 38.807500 77.615000 50.000000 50.000000 50.000000 c\n"
                  "22.385000 50.000000 0.000000 38.807500 0.000000 25.000000 c\n"
                  "0.000000 11.192500 22.385000 0.000000 50.000000 0.000000 c\n"
                  "77.615000 0.000000 100.000000 11.192500 100.000000 25.000000 c f\n")},
    // a border of 40 in a rectangle 50 high: 25, the ellipse shrinks to the centre line
    draw_case{"circle_wide_border", 12, 0, 0, 100, 50, "<< /IC [1 1 0] /C [0 1 0] /Border [0 0 40] >>",
              pic("1.000 1.000 0.000 rg 0.000 1.000 0.000 RG 25.000000 w\n87.500000 25.000000 m\n"
                  "87.500000 31.903750 70.711250 37.500000 50.000000 37.500000 c\n"
                  "29.288750 37.500000 12.500000 31.903750 12.500000 25.000000 c\n"
                  "12.500000 18.096250 29.288750 12.500000 50.000000 12.500000 c\n"
                  "70.711250 12.500000 87.500000 18.096250 87.500000 25.000000 c B\n")},
    // an ellipse without border or interior: nothing
    draw_case{"circle_border_zero", 12, 0, 0, 100, 50, "<< /Border [0 0 0] >>", ""}),
    [](const auto& info) { return std::string(info.param.name); });

// The black border of the box 0 0 100 40, inside it.
const std::string frame_100_40 =
    "0.000 0.000 0.000 RG 1.000000 w 0.500000 0.500000 99.000000 39.000000 re S\n";
std::string text_at(const std::string& escaped, const char* y = "27.200000",
                    const char* style = "11.000 Tf 0.000 0.000 0.000 rg")
{
    return std::string("BT /FlF ") + style + " 1 0 0 1 4.000000 " + y + " Tm (" + escaped + ") Tj ET\n";
}

// FreeText: the background in "C", the border and the text in the colour and size of "DA".
INSTANTIATE_TEST_SUITE_P(FreeText, DrawCase, testing::Values(
    // the "Contents" string, 12.8 below the top, 4 in from the left, on a blue background
    draw_case{"contents", 6, 0, 0, 100, 40, "<< /C [0 0 1] /Contents (Hi) >>",
              pic("0.000 0.000 1.000 rg 0.000 0.000 0.000 RG 1.000000 w 0.500000 0.500000 99.000000 "
                  "39.000000 re B\n" + text_at("Hi"))},
    // "DA" sets the size and the colour of the text and the border
    draw_case{"da_style", 6, 0, 0, 100, 40, "<< /DA (/Helv 16 Tf 1 0 0 rg) /Contents (Hi) >>",
              pic("1.000 0.000 0.000 RG 1.000000 w 0.500000 0.500000 99.000000 39.000000 re S\n" +
                  text_at("Hi", "23.200000", "16.000 Tf 1.000 0.000 0.000 rg"))},
    // the last "Tf" and the last colour win; gray
    draw_case{"da_last_wins", 6, 0, 0, 100, 40, "<< /DA (/Helv 9 Tf 0 0 1 rg /Helv 12 Tf 0.5 g) /Contents (Hi) >>",
              pic("0.500 G 1.000000 w 0.500000 0.500000 99.000000 39.000000 re S\n" +
                  text_at("Hi", "26.400000", "12.000 Tf 0.500 g"))},
    // CMYK; size 0 (automatic) keeps 11
    draw_case{"da_cmyk_auto_size", 6, 0, 0, 100, 40, "<< /DA (0 0 0 1 k /Helv 0 Tf) /Contents (Hi) >>",
              pic("0.000 0.000 0.000 1.000 K 1.000000 w 0.500000 0.500000 99.000000 39.000000 re S\n" +
                  text_at("Hi", "27.200000", "11.000 Tf 0.000 0.000 0.000 1.000 k"))},
    // an operator short of operands sets nothing
    draw_case{"da_short_operands", 6, 0, 0, 100, 40, "<< /DA (1 0 rg Tf) /Contents (Hi) >>",
              pic(frame_100_40 + text_at("Hi"))},
    // a size taller than the box is bounded by its height
    draw_case{"da_huge_size", 6, 0, 0, 100, 40, "<< /DA (/Helv 1000 Tf) /Border [0 0 0] /Contents (Hi) >>",
              pic(text_at("Hi", "4.000000", "40.000 Tf 0.000 0.000 0.000 rg"))},
    // CR and CR LF end lines as LF does
    draw_case{"carriage_returns", 6, 0, 0, 100, 60, "<< /Border [0 0 0] /Contents (one\\rtwo\r\nthree) >>",
              pic(text_at("one", "47.200000") + text_at("two", "32.900000") + text_at("three", "18.600000"))},
    // only "Contents" is shown: never another string of the dictionary
    draw_case{"contents_over_first", 6, 0, 0, 100, 40, "<< /T (Author) /Contents (Note) >>",
              pic(frame_100_40 + text_at("Note"))},
    draw_case{"no_contents", 6, 0, 0, 100, 40, "<< /T (Author) /DA (/Helv 12 Tf) >>", pic(frame_100_40)},
    draw_case{"nested_contents", 6, 0, 0, 100, 40, "<< /AA << /Contents (x) >> >>", pic(frame_100_40)},
    // UTF-16 "Contents": each code point in WinAnsi, e acute written in octal
    draw_case{"utf16_contents", 6, 0, 0, 100, 40, "<< /Contents <FEFF00430061006600E9> >>",
              pic(frame_100_40 + text_at("Caf\\351"))},
    // no string: the frame alone
    draw_case{"no_text", 6, 0, 0, 100, 40, "<< /Contents 7 0 R >>", pic(frame_100_40)},
    // a string that is never closed: the frame alone
    draw_case{"unterminated", 6, 0, 0, 100, 40, "<< /Contents (abc >>", pic(frame_100_40)},
    // width 0: text without frame
    draw_case{"borderless", 6, 0, 0, 100, 40, "<< /Border [0 0 0] /Contents (Hi) >>", pic(text_at("Hi"))},
    // a border wider than half the box's height (40) is 20 wide
    draw_case{"wide_border", 6, 0, 0, 100, 40, "<< /Border [0 0 500] >>",
              pic("0.000 0.000 0.000 RG 20.000000 w 10.000000 10.000000 80.000000 20.000000 re S\n")},
    // neither frame nor text: nothing
    draw_case{"borderless_empty", 6, 0, 0, 100, 40, "<< /Border [0 0 0] >>", ""},
    // narrower than 2: nothing, not even the frame
    draw_case{"too_narrow", 6, 0, 0, 1.5, 40, "<< /Contents (Hi) >>", ""},
    draw_case{"too_low", 6, 0, 0, 100, 1.9, "<< /Contents (Hi) >>", ""}),
    [](const auto& info) { return std::string(info.param.name); });

const double inf = std::numeric_limits<double>::infinity();
const double nan = std::numeric_limits<double>::quiet_NaN();
const std::string big = "1000000000.000000";

// Numbers beyond 1e9 stop there, non-finite ones become 0: every piece stays whole.
INSTANTIATE_TEST_SUITE_P(HugeNumbers, DrawCase, testing::Values(
    // a rectangle of such numbers has no area: no border
    draw_case{"square_rect", 11, nan, inf, -1e300, 5, "<< >>", ""},
    // colour bounded to [0, 1], width to half the box
    draw_case{"square_colour", 11, 0, 0, 1, 1,
              "<< /C [100000000000000000000 0 -7] /Border [0 0 99999999999999999999.5] >>",
              pic("1.000 0.000 0.000 RG 0.500000 w 0.250000 0.250000 0.500000 0.500000 re S\n")},
    // thirty-odd numbers of an ellipse, every one at the limit
    draw_case{"circle", 12, 1e300, 1e300, 1e300, 1e300, "<< >>",
              pic(black_1 + "\n" + big + " " + big + " m\n" +
                  big + " " + big + " " + big + " " + big + " " + big + " " + big + " c\n" +
                  big + " " + big + " " + big + " " + big + " " + big + " " + big + " c\n" +
                  big + " " + big + " " + big + " " + big + " " + big + " " + big + " c\n" +
                  big + " " + big + " " + big + " " + big + " " + big + " " + big + " c S\n")},
    // a line from the file's numbers
    draw_case{"line", 10, 0, 0, 1, 1, "<< /L [-1 123456789012 0 0] >>",
              pic(black_1 + " -1.000000 " + big + " m 0.000000 0.000000 l S\n")}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DrawFallback, HiddenOrWithoutDictionaryDrawsNothing)
{
    plan_item hidden = item_of(plan::kind_square, 0, 0, 10, 10);
    hidden.hidden = 1;
    EXPECT_EQ(draw(hidden, "<< >>"), "");
    const plan_item square = item_of(plan::kind_square, 0, 0, 10, 10);
    EXPECT_EQ(draw(square, "<< >>", -1), "");
    EXPECT_EQ(draw(square, "<< >>", 6), "");
}

TEST(DrawFallback, ReadsOnlyFromStart)
{
    // "C" before start belongs to another object and must not colour this one
    const std::string text = "<< /C [1 0 0] >> << /Subtype /Square >>";
    EXPECT_EQ(draw(item_of(plan::kind_square, 10, 20, 30, 40), text, 17), pic(black_1 + square_w1));
}

// The picture of the annotation object num of a loaded document.
std::string draw_object(const load::doc& d, std::int32_t num, const plan_item& it)
{
    const load::obj_entry* e = d.objs.find(num);
    if (e == nullptr) return "no object " + std::to_string(num);
    const load::dict_span span = d.span_of(*e);
    base::byte_buffer out;
    draw_fallback(out, it, d, span.text, span.start, usual_names);
    return std::string(out.view());
}

TEST(DrawFallback, FollowsReferencesToValues)
{
    // Values in objects of their own, some of them in an object stream; a reference to a stream,
    // which holds no value, is passed over.
    test::pdf_builder pdf = test::one_page_doc();
    pdf.object(5, "<< /Type /Annot /Subtype /Square /C 6 0 R /IC 7 0 R /BS 8 0 R >>");
    pdf.object(6, "[1 0 0]");
    pdf.object_stream(20, {{7, "[0 0 1]"}, {8, "<< /W 9 0 R >>"}, {13, "[0 0 0]"}});
    pdf.object(9, "2");
    pdf.object(10, "<< /Type /Annot /Subtype /FreeText /DA 11 0 R /Contents 12 0 R /Border 13 0 R >>");
    pdf.object(11, "(/Helv 22 Tf 0 0 1 rg)");
    pdf.object(12, "<FEFF006F006E0065000D00740077006F>");
    pdf.object(14, "<< /Type /Annot /Subtype /Ink /InkList 15 0 R /C 17 0 R >>");
    pdf.object(15, "[16 0 R [5 6 7 8] 99 0 R]");
    pdf.object(16, "[1 2 3 4]");
    pdf.stream(17, "", "[1 0 0]");
    const std::string bytes = pdf.build();
    base::result<load::doc> loaded = load::load_document_bytes(bytes.data(), bytes.size());
    ASSERT_TRUE(loaded);
    const load::doc& d = loaded.value();

    EXPECT_EQ(draw_object(d, 5, item_of(plan::kind_square, 10, 20, 30, 40)),
              pic("0.000 0.000 1.000 rg 1.000 0.000 0.000 RG 2.000000 w" + square_w2.substr(0, square_w2.size() - 3) +
                  " B\n"));
    // size 22 in a box 60 high: baselines 60 - 4 - 17.6 and 28.6 below it
    EXPECT_EQ(draw_object(d, 10, item_of(plan::kind_freetext, 0, 0, 100, 60)),
              pic(text_at("one", "38.400000", "22.000 Tf 0.000 0.000 1.000 rg") +
                  text_at("two", "9.800000", "22.000 Tf 0.000 0.000 1.000 rg")));
    EXPECT_EQ(draw_object(d, 14, item_of(plan::kind_ink, 0, 0, 5, 5)),
              pic(black_1 + "\n1.000000 2.000000 m 3.000000 4.000000 l S\n5.000000 6.000000 m 7.000000 8.000000 l S\n"));
}

// Depth of q/Q nesting through a drawing buffer; -1 as soon as a Q has no q.
int final_depth(std::string_view ops)
{
    int depth = 0;
    for (std::size_t i = 0; i < ops.size(); ++i) {
        const bool line_start = i == 0 || ops[i - 1] == '\n';
        if (!line_start || ops.size() - i < 2 || ops[i + 1] != '\n') continue;
        if (ops[i] == 'q') ++depth;
        if (ops[i] == 'Q' && --depth < 0) return -1;
    }
    return depth;
}

TEST(DrawFallback, StateNeverLeaksIntoTheNextPicture)
{
    // A highlight's alpha and a note's fill colour must end with their own pictures.
    base::byte_buffer out;
    draw_fallback(out, item_of(plan::kind_highlight, 0, 0, 10, 10), no_objects, "<< >>", 0, usual_names);
    const auto after_highlight = out.len;
    draw_fallback(out, item_of(plan::kind_text, 0, 0, 20, 20), no_objects, "<< >>", 0, usual_names);
    const auto after_note = out.len;
    draw_fallback(out, item_of(plan::kind_polygon, 0, 0, 5, 5), no_objects, "<< /Vertices [0 0 1 1] >>", 0, usual_names);
    const std::string_view ops = out.view();
    EXPECT_EQ(final_depth(ops.substr(0, after_highlight)), 0);
    EXPECT_EQ(final_depth(ops.substr(0, after_note)), 0);
    EXPECT_EQ(final_depth(ops), 0);
    EXPECT_EQ(ops.substr(after_note), pic(black_1 + " 0.000000 0.000000 m\n1.000000 1.000000 l h S\n"));
}

TEST(DrawFallback, EveryKindIsBalanced)
{
    // Every kind with a rich dictionary, drawn into one buffer: q and Q pair up after each.
    const char* const dict =
        "<< /C [1 0 0] /IC [0 1 0] /Border [0 0 2] /QuadPoints [0 0 9 0 0 9 9 9] "
        "/InkList [[1 1 2 2]] /L [0 0 5 5] /Vertices [0 0 5 0 5 5] /Contents (a b c) >>";
    base::byte_buffer out;
    for (std::int32_t kind = 0; kind <= 19; ++kind) {
        draw_fallback(out, item_of(kind, 0, 0, 30, 30), no_objects, dict, 0, usual_names);
        EXPECT_EQ(final_depth(out.view()), 0) << "kind " << kind;
    }
    EXPECT_GT(out.len, 0u);
}

TEST(DrawFallback, UsesTheResourceNamesGiven)
{
    const resource_names names{"GSa_1", "FlF_2"};
    base::byte_buffer out;
    draw_fallback(out, item_of(plan::kind_highlight, 0, 0, 10, 10), no_objects, "<< >>", 0, names);
    draw_fallback(out, item_of(plan::kind_freetext, 0, 0, 100, 40), no_objects, "<< /Contents (hi) >>", 0, names);
    const std::string_view ops = out.view();
    EXPECT_NE(ops.find("/GSa_1 gs "), std::string_view::npos) << ops;
    EXPECT_NE(ops.find("BT /FlF_2 11.000 Tf "), std::string_view::npos) << ops;
    EXPECT_EQ(ops.find("/GSa "), std::string_view::npos) << ops;
    EXPECT_EQ(ops.find("/FlF "), std::string_view::npos) << ops;
}

TEST(DrawFallback, UsesOnlyTheResourcesThePlanNumbers)
{
    // The plan numbers the graphics state and the font only for kinds whose pictures use them:
    // a picture naming another would reach a resource the page does not have.
    const char* const dict =
        "<< /C [1 0 0] /IC [0 1 0] /Border [0 0 2] /QuadPoints [0 0 9 0 0 9 9 9] "
        "/InkList [[1 1 2 2]] /L [0 0 5 5] /Vertices [0 0 5 0 5 5] /Contents (a b c) >>";
    for (std::int32_t kind = 0; kind <= 19; ++kind) {
        plan::flatten_plan p;
        p.items.push_back(item_of(kind, 0, 0, 90, 90));
        const plan::fallback_resources uses = p.fallback_resources_of(0, 1);
        base::byte_buffer out;
        draw_fallback(out, p.items[0], no_objects, dict, 0, {"Gs", "Ft"});
        const std::string_view ops = out.view();
        EXPECT_EQ(ops.find("/Gs gs") != std::string_view::npos, uses.translucent_state) << "kind " << kind;
        EXPECT_EQ(ops.find("/Ft ") != std::string_view::npos, uses.font) << "kind " << kind;
    }
}

TEST(DrawFallbackEndToEnd, PicturesPassACheckerAndShowTheirText)
{
    // One appearance-less annotation of every drawn kind on one page, flattened; an independent
    // checker must accept the content and a text extractor must find the FreeText's words.
    const std::vector<std::string> annots = {
        "/Subtype /Square /Rect [10 10 60 60] /C [1 0 0] /Border [0 0 2]",
        "/Subtype /Highlight /Rect [70 10 170 30] /QuadPoints [70 30 170 30 70 10 170 10]",
        "/Subtype /Polygon /Rect [10 70 60 120] /Vertices [10 70 60 70 35 120] /IC [0 1 0]",
        "/Subtype /FreeText /Rect [70 150 195 195] /C [0 0 1] "
        "/Contents <FEFF0043006100660065002000E9002020AC>",
        "/Subtype /Ink /Rect [0 0 0 0] /InkList [[100 40 120 60 140 40] [100 70 140 70]]",
        "/Subtype /Circle /Rect [150 80 190 100]",
        "/Subtype /Text /Rect [170 120 190 140]",
        "/Subtype /Line /Rect [0 0 0 0] /L [10 130 150 140]",
        "/Subtype /FreeText /Rect [5 150 65 198] /Border [0 0 0] /Contents (wrapped words here)",
        "/Subtype /Caret /Rect [80 120 90 130]",
        "/Subtype /FileAttachment /Rect [100 120 110 130]",
    };
    std::string refs;
    for (std::size_t i = 0; i < annots.size(); ++i) refs += std::to_string(5 + i) + " 0 R ";
    test::pdf_builder pdf = test::one_page_doc("/Annots [" + refs + "]");
    for (std::size_t i = 0; i < annots.size(); ++i)
        pdf.object(static_cast<int>(5 + i), "<< /Type /Annot " + annots[i] + " >>");
    const test::temp_dir dir;
    const std::string in = dir.write("in.pdf", pdf.build());
    const std::string out = dir.file("out.pdf");
    ASSERT_EQ(kestrin_annotations(in.c_str(), out.c_str()), 0) << kestrin_last_error();

    std::string log;
    EXPECT_EQ(test::run_command("qpdf --check '" + out + "'", &log), 0) << log;
    ASSERT_EQ(test::run_command("pdftotext -layout '" + out + "' -", &log), 0) << log;
    EXPECT_NE(log.find("Cafe \xC3\xA9 \xE2\x82\xAC"), std::string::npos) << log;  // UTF-8 of the code points
    EXPECT_NE(log.find("wrapped"), std::string::npos) << log;
    ASSERT_EQ(test::run_command("pdftoppm -r 20 -png '" + out + "' '" + dir.file("page") + "'", &log), 0);
    EXPECT_EQ(log.find("rror"), std::string::npos) << log;
}

// An RGB raster read from a binary PPM ("P6", maximum 255), as pdftoppm writes it.
struct raster {
    int width = 0;
    int height = 0;
    std::string rgb;

    // The colour at (x, y) in page units at 72 dpi, y upwards from the bottom as in PDF.
    std::string at(int x, int y) const
    {
        const auto i = 3 * (static_cast<std::size_t>(height - 1 - y) * static_cast<std::size_t>(width) +
                            static_cast<std::size_t>(x));
        char name[16];
        std::snprintf(name, sizeof name, "%02x%02x%02x", static_cast<unsigned char>(rgb[i]),
                      static_cast<unsigned char>(rgb[i + 1]), static_cast<unsigned char>(rgb[i + 2]));
        return name;
    }
};

std::optional<raster> read_ppm(const std::string& path)
{
    const std::string bytes = test::read_file(path);
    raster r;
    int max = 0, used = 0;
    if (std::sscanf(bytes.c_str(), "P6 %d %d %d%n", &r.width, &r.height, &max, &used) != 3 || max != 255)
        return std::nullopt;
    r.rgb = bytes.substr(static_cast<std::size_t>(used) + 1);
    if (r.rgb.size() != 3 * static_cast<std::size_t>(r.width) * static_cast<std::size_t>(r.height))
        return std::nullopt;
    return r;
}

// Flattens the annotations into a page of 200 by 200 with no content of its own; the output path.
std::string flatten_annotations(const test::temp_dir& dir, const std::vector<std::string>& annots)
{
    std::string refs;
    for (std::size_t i = 0; i < annots.size(); ++i) refs += std::to_string(5 + i) + " 0 R ";
    test::pdf_builder pdf = test::one_page_doc("/Annots [" + refs + "]", "", "");
    for (std::size_t i = 0; i < annots.size(); ++i)
        pdf.object(static_cast<int>(5 + i), "<< /Type /Annot " + annots[i] + " >>");
    const std::string in = dir.write("in.pdf", pdf.build());
    const std::string out = dir.file("out.pdf");
    EXPECT_EQ(kestrin_annotations(in.c_str(), out.c_str()), 0) << kestrin_last_error();
    return out;
}

TEST(DrawFallbackEndToEnd, ShapesShowTheirColoursInsideTheirBoxes)
{
    // A red-bordered blue square, and a square whose absurd border must stay in its own box.
    const test::temp_dir dir;
    const std::string out = flatten_annotations(dir, {
        "/Subtype /Square /Rect [20 20 80 80] /C [1 0 0] /IC [0 0 1] /Border [0 0 6]",
        "/Subtype /Square /Rect [120 120 160 160] /C [0 1 0] /BS << /W 1000000000000000000000000000000 >>",
    });
    std::string log;
    ASSERT_EQ(test::run_command("pdftoppm -r 72 '" + out + "' '" + dir.file("page") + "'", &log), 0) << log;
    const std::optional<raster> page = read_ppm(dir.file("page-1.ppm"));
    ASSERT_TRUE(page);
    ASSERT_EQ(page->width, 200);
    EXPECT_EQ(page->at(50, 50), "0000ff");    // the interior
    EXPECT_EQ(page->at(22, 50), "ff0000");    // the border, inside the rectangle
    EXPECT_EQ(page->at(18, 50), "ffffff");    // nothing outside it
    EXPECT_EQ(page->at(140, 140), "00ff00");  // the wide border fills its own box
    EXPECT_EQ(page->at(100, 100), "ffffff");  // and no more of the page
    EXPECT_EQ(page->at(170, 170), "ffffff");
}

TEST(DrawFallbackEndToEnd, FreeTextLineEndsBreakLines)
{
    // CR, CR LF and LF each end a line; no line end shows as a character.
    const test::temp_dir dir;
    const std::string out = flatten_annotations(dir, {
        "/Subtype /FreeText /Rect [10 60 190 190] /DA (/Helv 14 Tf 0 0 1 rg) "
        "/Contents (First line\\rSecond line\r\nThird line\nFourth line)",
    });
    std::string log;
    ASSERT_EQ(test::run_command("pdftotext '" + out + "' -", &log), 0) << log;
    EXPECT_NE(log.find("First line\nSecond line\nThird line\nFourth line"), std::string::npos) << log;
    EXPECT_EQ(log.find('?'), std::string::npos) << log;
}

}  // namespace
}  // namespace kestrin::draw
