// What a widget's appearance draws around its content (ISO 32000-1 12.5.4, 12.5.6.19 MK): the
// background and border colours, the border's width and style, and the MK R rotation of the
// generated form XObject.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "generate/default_appearance.h"

namespace kestrin::generate {

// An MK BG or BC array: no components means transparent (nullopt), 1, 3 and 4 mean gray, RGB and
// CMYK; any other count gives no colour either. Components are clamped to [0, 1], a non-finite one
// read as 0.
std::optional<colour> colour_from_components(std::span<const double> components);

// BS S: solid, dashed, beveled, inset, underline. Any other name is solid.
enum class border_style { solid, dashed, beveled, inset, underline };
border_style border_style_named(std::string_view name);

struct border {
    double width = 1;  // BS W, or the third Border number; 0 draws none
    border_style style = border_style::solid;
    std::vector<double> dash{3};  // BS D, for the dashed style
};

struct widget_colours {
    std::optional<colour> background;  // MK BG
    std::optional<colour> border;      // MK BC
};

// The outline a frame follows: radio buttons are drawn round, everything else square.
enum class frame_shape { rectangle, circle };

// The border width actually drawn: 0 when there is no border colour, and never more than a
// quarter of the box's shorter side, so the content keeps room; non-finite or negative reads as 0.
double drawn_border_width(double width, double height, const border& b, const widget_colours& colours);

// "q ... Q" filling the box [0 0 width height] with the background and stroking the border inside
// it in its style; empty when neither is drawn.
std::string frame_content(double width, double height, const border& b, const widget_colours& colours,
                          frame_shape shape);

// A circle of radius r around (cx, cy) as four Bezier curves, closed, then the operator op.
void append_circle(std::string& out, double cx, double cy, double r, std::string_view op);

// The box a form XObject's BBox gives and the Matrix that puts it onto the widget's rectangle for
// an MK R rotation: 90 and 270 swap width and height; the matrix maps the BBox onto
// [0 0 rect_width rect_height]. A rotation that is not a multiple of 90 counts as 0.
struct rotated_box {
    double width = 0;
    double height = 0;
    std::array<double, 6> matrix{1, 0, 0, 1, 0, 0};
};
rotated_box rotated_form_box(double rect_width, double rect_height, std::int64_t rotation);

}  // namespace kestrin::generate
