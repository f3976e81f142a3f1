#include "draw/fallback.h"

#include <gtest/gtest.h>

#include <limits>

#include "kestrin.h"
#include "pdf_builder.h"
#include <string>
#include <vector>

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

// The names the writer gives when the page's resources leave them free.
constexpr resource_names usual_names{"GSa", "FlF"};

std::string draw(const plan_item& it, std::string_view dict, std::int32_t start = 0)
{
    base::byte_buffer out;
    draw_fallback(out, it, dict, start, usual_names);
    return std::string(out.view());
}

// The picture as the drawing buffer receives it: its own q ... Q around the pieces.
std::string pic(const std::string& body) { return "q\n" + body + "Q\n"; }

struct draw_case {
    const char* name;
    std::int32_t kind;
    double x, y, w, h;
    const char* dict;
    std::string expected;
};

void PrintTo(const draw_case& c, std::ostream* os) { *os << c.name; }

class DrawCase : public testing::TestWithParam<draw_case> {};

TEST_P(DrawCase, WritesExactOperators)
{
    const draw_case& c = GetParam();
    EXPECT_EQ(draw(item_of(c.kind, c.x, c.y, c.w, c.h), c.dict), c.expected);
}

const std::string square_10_20 = " 10.000000 20.000000 30.000000 40.000000 re S\n";

// Colour and border width, read the same way for every kind; shown on a Square.
INSTANTIATE_TEST_SUITE_P(ColourAndBorder, DrawCase, testing::Values(
    // neither "C" nor "Border": black, width 1
    draw_case{"defaults", 11, 10, 20, 30, 40, "<< /Subtype /Square >>",
              pic("0.000 0.000 0.000 RG 1.000000 w" + square_10_20)},
    // three numbers of "C" and the third number of "Border"
    draw_case{"colour_border", 11, 10, 20, 30, 40, "<< /C [1 0 0] /Border [0 0 3] >>",
              pic("1.000 0.000 0.000 RG 3.000000 w" + square_10_20)},
    // a four-number "C" gives its first three
    draw_case{"cmyk_colour", 11, 10, 20, 30, 40, "<< /C [0.1 0.2 0.3 0.4] >>",
              pic("0.100 0.200 0.300 RG 1.000000 w" + square_10_20)},
    // a one-number "C" gives black
    draw_case{"grey_colour", 11, 10, 20, 30, 40, "<< /C [0.5] >>",
              pic("0.000 0.000 0.000 RG 1.000000 w" + square_10_20)},
    // "Border" written straight after the key, and with its dash array
    draw_case{"border_tight_dash", 11, 10, 20, 30, 40, "<</Border[2 2 1.5[3 1]]>>",
              pic("0.000 0.000 0.000 RG 1.500000 w" + square_10_20)},
    // "Border" with only two numbers keeps the default
    draw_case{"border_short", 11, 10, 20, 30, 40, "<< /Border [0 0] >>",
              pic("0.000 0.000 0.000 RG 1.000000 w" + square_10_20)},
    // a negative width is ignored
    draw_case{"border_negative", 11, 10, 20, 30, 40, "<< /Border [0 0 -2] >>",
              pic("0.000 0.000 0.000 RG 1.000000 w" + square_10_20)},
    // "BS" "W" wins over "Border"
    draw_case{"style_width_wins", 11, 10, 20, 30, 40, "<< /Border [0 0 3] /BS << /S /D /W 2 >> >>",
              pic("0.000 0.000 0.000 RG 2.000000 w" + square_10_20)},
    // "BS" without "W" leaves "Border" in force
    draw_case{"style_without_width", 11, 10, 20, 30, 40, "<< /BS << /S /S >> /Border [0 0 4] >>",
              pic("0.000 0.000 0.000 RG 4.000000 w" + square_10_20)},
    // an indirect "BS" cannot be read: "Border" holds
    draw_case{"style_indirect", 11, 10, 20, 30, 40, "<< /BS 9 0 R /Border [0 0 4] >>",
              pic("0.000 0.000 0.000 RG 4.000000 w" + square_10_20)},
    // width 0 in "Border": a Square is only its border, so nothing at all
    draw_case{"border_zero", 11, 10, 20, 30, 40, "<< /Border [0 0 0] >>", ""},
    // width 0 in "BS" beats a positive "Border"
    draw_case{"style_zero", 11, 10, 20, 30, 40, "<< /Border [0 0 5] /BS <</W 0>> >>", ""}),
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
    // a caret without area is drawn 12 by 12
    draw_case{"caret_empty", 15, 0, 0, 0, 0, "<< >>",
              pic("0.000 0.000 0.000 rg 0.000000 0.000000 m 12.000000 0.000000 l "
                  "0.000000 12.000000 l h f\n")},
    // an attachment 30 wide is drawn 14 wide
    draw_case{"file_attachment", 16, 0, 0, 30, 10, "<< /Border [0 0 2] >>",
              pic("0.30 0.30 0.30 RG 2.000000 w\n0.000000 0.000000 14.000000 10.000000 re S\n"
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
                  "97.500000 19.200000 l 110.000000 20.800000 l S\n")}),
    [](const auto& info) { return std::string(info.param.name); });

const std::string black_1 = "0.000 0.000 0.000 RG 1.000000 w";

// Paths: Ink, Line, Polygon, PolyLine.
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
    // an ink line with width 0 is invisible
    draw_case{"ink_border_zero", 9, 0, 0, 5, 5, "<< /InkList [[1 2 3 4]] /BS <</W 0>> >>", ""},
    // a Line from its "L"
    draw_case{"line_l", 10, 0, 0, 5, 5, "<< /L [0 0 100 50] /C [0 1 0] >>",
              pic("0.000 1.000 0.000 RG 1.000000 w 0.000000 0.000000 m 100.000000 50.000000 l S\n")},
    // "P" when there is no "L"
    draw_case{"line_p", 10, 0, 0, 5, 5, "<< /P [1 2 3 4] >>",
              pic(black_1 + " 1.000000 2.000000 m 3.000000 4.000000 l S\n")},
    // an "L" of three numbers draws nothing, "P" notwithstanding
    draw_case{"line_short", 10, 0, 0, 5, 5, "<< /L [1 2 3] /P [1 2 3 4] >>", ""},
    // a polygon without "IC" is closed and stroked, never filled
    draw_case{"polygon_stroke", 13, 0, 0, 5, 5, "<< /Vertices [0 0 100 0 50 50] >>",
              pic(black_1 + " 0.000000 0.000000 m\n100.000000 0.000000 l 50.000000 50.000000 l h S\n")},
    // with "IC": filled in it and stroked in "C"
    draw_case{"polygon_fill", 13, 0, 0, 5, 5, "<< /Vertices [0 0 100 0 50 50] /IC [0 0 1] /C [1 0 0] >>",
              pic("0.000 0.000 1.000 rg 1.000 0.000 0.000 RG 1.000000 w 0.000000 0.000000 m\n"
                  "100.000000 0.000000 l 50.000000 50.000000 l h B\n")},
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
    // an ellipse in four Bezier quarters
    draw_case{"circle", 12, 0, 0, 100, 50, "<< >>",
              pic(black_1 + "\n100.000000 25.000000 m\n"
                  "100.000000 38.807500 77.615000 50.000000 50.000000 50.000000 c\n"
                  "22.385000 50.000000 0.000000 38.807500 0.000000 25.000000 c\n"
                  "0.000000 11.192500 22.385000 0.000000 50.000000 0.000000 c\n"
                  "77.615000 0.000000 100.000000 11.192500 100.000000 25.000000 c S\n")},
    // an ellipse without border: nothing
    draw_case{"circle_border_zero", 12, 0, 0, 100, 50, "<< /Border [0 0 0] >>", ""}),
    [](const auto& info) { return std::string(info.param.name); });

const std::string frame_100_40 = "0.0 0.0 0.0 RG 1.000000 w 0.000000 0.000000 100.000000 40.000000 re S\n";
std::string text_at_27(const std::string& escaped, const char* colour = "0.000 0.000 0.000")
{
    return std::string("BT /FlF 11.000 Tf ") + colour + " rg 1 0 0 1 4.000000 27.200000 Tm (" +
           escaped + ") Tj ET\n";
}

// FreeText: a black frame and the text in "C".
INSTANTIATE_TEST_SUITE_P(FreeText, DrawCase, testing::Values(
    // the "Contents" string, 12.8 below the top, 4 in from the left
    draw_case{"contents", 6, 0, 0, 100, 40, "<< /C [0 0 1] /Contents (Hi) >>",
              pic(frame_100_40 + text_at_27("Hi", "0.000 0.000 1.000"))},
    // "Contents" wins over an earlier literal string
    draw_case{"contents_over_first", 6, 0, 0, 100, 40, "<< /DA (/Helv 12 Tf) /Contents (Note) >>",
              pic(frame_100_40 + text_at_27("Note"))},
    // without "Contents", the first literal string of the dictionary
    draw_case{"first_literal", 6, 0, 0, 100, 40, "<< /T (Author) /RC 5 0 R >>",
              pic(frame_100_40 + text_at_27("Author"))},
    // UTF-16 "Contents": each code point in WinAnsi, e acute written in octal
    draw_case{"utf16_contents", 6, 0, 0, 100, 40, "<< /Contents <FEFF00430061006600E9> >>",
              pic(frame_100_40 + text_at_27("Caf\\351"))},
    // no string: the frame alone
    draw_case{"no_text", 6, 0, 0, 100, 40, "<< /Contents 7 0 R >>", pic(frame_100_40)},
    // a string that is never closed: the frame alone
    draw_case{"unterminated", 6, 0, 0, 100, 40, "<< /Contents (abc >>", pic(frame_100_40)},
    // width 0: text without frame
    draw_case{"borderless", 6, 0, 0, 100, 40, "<< /Border [0 0 0] /Contents (Hi) >>",
              pic(text_at_27("Hi"))},
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
    // coordinates of the rectangle
    draw_case{"square_rect", 11, nan, inf, -1e300, 5, "<< >>",
              pic(black_1 + " 0.000000 0.000000 -" + big + " 5.000000 re S\n")},
    // colour and width from the file
    draw_case{"square_colour", 11, 0, 0, 1, 1,
              "<< /C [100000000000000000000 0 -7] /Border [0 0 99999999999999999999.5] >>",
              pic("1000000000.000 0.000 -7.000 RG " + big + " w 0.000000 0.000000 1.000000 1.000000 re S\n")},
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
    EXPECT_EQ(draw(item_of(plan::kind_square, 10, 20, 30, 40), text, 17),
              pic("0.000 0.000 0.000 RG 1.000000 w" + square_10_20));
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
    draw_fallback(out, item_of(plan::kind_highlight, 0, 0, 10, 10), "<< >>", 0, usual_names);
    const auto after_highlight = out.len;
    draw_fallback(out, item_of(plan::kind_text, 0, 0, 20, 20), "<< >>", 0, usual_names);
    const auto after_note = out.len;
    draw_fallback(out, item_of(plan::kind_polygon, 0, 0, 5, 5), "<< /Vertices [0 0 1 1] >>", 0, usual_names);
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
        draw_fallback(out, item_of(kind, 0, 0, 30, 30), dict, 0, usual_names);
        EXPECT_EQ(final_depth(out.view()), 0) << "kind " << kind;
    }
    EXPECT_GT(out.len, 0u);
}

TEST(DrawFallback, UsesTheResourceNamesGiven)
{
    const resource_names names{"GSa_1", "FlF_2"};
    base::byte_buffer out;
    draw_fallback(out, item_of(plan::kind_highlight, 0, 0, 10, 10), "<< >>", 0, names);
    draw_fallback(out, item_of(plan::kind_freetext, 0, 0, 100, 40), "<< /Contents (hi) >>", 0, names);
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
        draw_fallback(out, p.items[0], dict, 0, {"Gs", "Ft"});
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

}  // namespace
}  // namespace kestrin::draw
