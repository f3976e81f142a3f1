#include "generate/widget_frame.h"

#include <algorithm>
#include <cmath>

#include "base/append.h"
#include "generate/text_layout.h"

namespace kestrin::generate {

namespace {

// A border wider than this share of the box's shorter side would leave no room for the content.
constexpr double largest_border_share = 0.25;
// The control-point distance of a cubic Bezier quarter circle, as a share of the radius.
constexpr double bezier_circle = 0.5523;
// The shades of the beveled and inset borders' inner edges (ISO 32000-1 Table 166).
constexpr double bevel_light = 1.0;
constexpr double bevel_dark_share = 0.5;  // of the background, or of white without one
constexpr double inset_light = 0.5;
constexpr double inset_dark = 0.75;
constexpr double default_dash = 3.0;
// Dash lengths are written with six decimals: a shorter one would be written as 0.
constexpr double shortest_dash = 1e-3;

double finite_or_zero(double v) { return std::isfinite(v) ? v : 0.0; }

colour gray(double level)
{
    colour c;
    c.values[0] = level;
    return c;
}

colour darkened(const std::optional<colour>& background)
{
    colour c = background.value_or(gray(1.0));
    const bool cmyk = c.components == 4;
    for (std::int32_t i = 0; i < c.components; ++i) {
        double& v = c.values[static_cast<std::size_t>(i)];
        v = cmyk ? 1 - (1 - v) * bevel_dark_share : v * bevel_dark_share;
    }
    return c;
}

void append_rectangle(std::string& out, double x, double y, double w, double h, const char* op)
{
    base::append(out, base::fixed6(x), ' ', base::fixed6(y), ' ', base::fixed6(w), ' ', base::fixed6(h),
                 " re ", op, '\n');
}

void append_point(std::string& out, double x, double y, const char* op)
{
    base::append(out, base::fixed6(x), ' ', base::fixed6(y), ' ', op, '\n');
}

}  // namespace

void append_circle(std::string& out, double cx, double cy, double r, std::string_view op)
{
    const double k = r * bezier_circle;
    append_point(out, cx + r, cy, "m");
    const std::array<std::array<double, 6>, 4> quarters{{
        {cx + r, cy + k, cx + k, cy + r, cx, cy + r},
        {cx - k, cy + r, cx - r, cy + k, cx - r, cy},
        {cx - r, cy - k, cx - k, cy - r, cx, cy - r},
        {cx + k, cy - r, cx + r, cy - k, cx + r, cy},
    }};
    for (const auto& q : quarters)
        base::append(out, base::fixed6(q[0]), ' ', base::fixed6(q[1]), ' ', base::fixed6(q[2]), ' ',
                     base::fixed6(q[3]), ' ', base::fixed6(q[4]), ' ', base::fixed6(q[5]), " c\n");
    base::append(out, "h ", op, '\n');
}

namespace {

// The BS D dash array; one that a reader would refuse (no lengths, a negative or non-finite one,
// all of them about 0) gives the default dash of 3 units instead.
void append_dash(std::string& out, const std::vector<double>& dash)
{
    const bool usable = std::all_of(dash.begin(), dash.end(), [](double d) { return std::isfinite(d) && d >= 0; }) &&
                        std::any_of(dash.begin(), dash.end(), [](double d) { return d >= shortest_dash; });
    const std::vector<double> lengths = usable ? dash : std::vector<double>{default_dash};
    out += '[';
    for (std::size_t i = 0; i < lengths.size(); ++i) {
        if (i > 0) out += ' ';
        base::append(out, base::fixed6(lengths[i]));
    }
    out += "] 0 d\n";
}

// The inner edges of a beveled or inset border: an L of width b along the top and left in the
// light colour, one along the bottom and right in the dark colour.
void append_bevel(std::string& out, double w, double h, double b, const colour& light, const colour& dark)
{
    append_colour(out, light);
    append_point(out, b, b, "m");
    append_point(out, b, h - b, "l");
    append_point(out, w - b, h - b, "l");
    append_point(out, w - 2 * b, h - 2 * b, "l");
    append_point(out, 2 * b, h - 2 * b, "l");
    append_point(out, 2 * b, 2 * b, "l");
    out += "f\n";
    append_colour(out, dark);
    append_point(out, w - b, h - b, "m");
    append_point(out, w - b, b, "l");
    append_point(out, b, b, "l");
    append_point(out, 2 * b, 2 * b, "l");
    append_point(out, w - 2 * b, 2 * b, "l");
    append_point(out, w - 2 * b, h - 2 * b, "l");
    out += "f\n";
}

void append_rectangle_border(std::string& out, double w, double h, double b, const border& style,
                             const widget_colours& colours)
{
    if (style.style == border_style::underline) {
        append_point(out, 0, b / 2, "m");
        append_point(out, w, b / 2, "l");
        out += "S\n";
        return;
    }
    append_rectangle(out, b / 2, b / 2, w - b, h - b, "S");
    if (style.style == border_style::beveled) append_bevel(out, w, h, b, gray(bevel_light), darkened(colours.background));
    if (style.style == border_style::inset) append_bevel(out, w, h, b, gray(inset_light), gray(inset_dark));
}

void append_border(std::string& out, double w, double h, double b, const border& style,
                   const widget_colours& colours, frame_shape shape)
{
    append_colour(out, *colours.border, colour_use::stroke);
    base::append(out, base::fixed6(b), " w\n");
    if (style.style == border_style::dashed) append_dash(out, style.dash);
    if (shape == frame_shape::circle) {
        append_circle(out, w / 2, h / 2, std::max(0.0, std::min(w, h) / 2 - b / 2), "S");
        return;
    }
    append_rectangle_border(out, w, h, b, style, colours);
}

}  // namespace

std::optional<colour> colour_from_components(std::span<const double> components)
{
    const auto n = components.size();
    if (n != 1 && n != 3 && n != 4) return std::nullopt;
    colour c;
    c.components = static_cast<std::int32_t>(n);
    for (std::size_t i = 0; i < n; ++i) c.values[i] = std::clamp(finite_or_zero(components[i]), 0.0, 1.0);
    return c;
}

border_style border_style_named(std::string_view name)
{
    if (name == "D") return border_style::dashed;
    if (name == "B") return border_style::beveled;
    if (name == "I") return border_style::inset;
    if (name == "U") return border_style::underline;
    return border_style::solid;
}

double drawn_border_width(double width, double height, const border& b, const widget_colours& colours)
{
    if (!colours.border) return 0;
    const double shorter = std::max(0.0, std::min(finite_or_zero(width), finite_or_zero(height)));
    return std::clamp(finite_or_zero(b.width), 0.0, shorter * largest_border_share);
}

std::string frame_content(double width, double height, const border& b, const widget_colours& colours,
                          frame_shape shape)
{
    const double w = std::max(0.0, finite_or_zero(width));
    const double h = std::max(0.0, finite_or_zero(height));
    const double bw = drawn_border_width(w, h, b, colours);
    if (!colours.background && bw <= 0) return {};
    std::string out = "q\n";
    if (colours.background) {
        append_colour(out, *colours.background);
        if (shape == frame_shape::circle) append_circle(out, w / 2, h / 2, std::min(w, h) / 2, "f");
        else append_rectangle(out, 0, 0, w, h, "f");
    }
    if (bw > 0) append_border(out, w, h, bw, b, colours, shape);
    out += "Q\n";
    return out;
}

rotated_box rotated_form_box(double rect_width, double rect_height, std::int64_t rotation)
{
    const double w = std::max(0.0, finite_or_zero(rect_width));
    const double h = std::max(0.0, finite_or_zero(rect_height));
    std::int64_t r = rotation % 360;
    if (r < 0) r += 360;
    switch (r) {
    case 90: return {h, w, {0, 1, -1, 0, w, 0}};
    case 180: return {w, h, {-1, 0, 0, -1, w, h}};
    case 270: return {h, w, {0, -1, 1, 0, 0, h}};
    default: return {w, h, {1, 0, 0, 1, 0, 0}};
    }
}

}  // namespace kestrin::generate
