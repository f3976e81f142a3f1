#include "draw/fallback.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <span>
#include <vector>

#include "base/append.h"
#include "draw/annot_values.h"
#include "draw/text.h"
#include "scan/keys.h"

namespace kestrin::draw {

namespace {

using base::append;
using base::fixed6;
using plan::plan_item;

// How many numbers of each coordinate array are used; the rest of a longer array is ignored.
constexpr std::size_t max_quad_numbers = 1024;  // 128 marked quadrilaterals
constexpr std::size_t max_ink_alt_numbers = 512;
constexpr std::size_t max_vertex_numbers = 256;

constexpr double default_width = 1.0;
constexpr double ellipse_kappa = 0.5523;  // control-point distance of a quarter ellipse, per radius

// Text-markup lines of an annotation without "C" keep the colour they always had.
constexpr std::string_view default_mark_stroke = "0.0 0.0 0.0 RG";
constexpr std::string_view default_highlight_fill = "0.4 1.0 1.0 rg";

// What every picture reads: the rectangle, the dictionary and the colour and border width.
struct annot {
    const plan_item& item;
    annot_dict dict;
    std::optional<colour> own_colour;  // "C"; nullopt when the annotation has none
    double width;                  // 0: the annotation has no border
};

// Writes "q" before a picture's first piece, so each picture keeps its graphics state to itself
// and a picture that draws nothing leaves no trace. It knows the names of the page's resources.
class pen {
public:
    pen(base::byte_buffer& out, const resource_names& names) : out_(out), names_(names) {}
    const resource_names& names() const { return names_; }
    base::byte_buffer& put()
    {
        if (!open_) {
            out_.append("q\n");
            open_ = true;
        }
        return out_;
    }
    void close()
    {
        if (open_) out_.append("Q\n");
        open_ = false;
    }

private:
    base::byte_buffer& out_;
    const resource_names& names_;
    bool open_ = false;
};

// The stroke colour: "C", black without one.
colour stroke_colour(const annot& a) { return a.own_colour.value_or(black_rgb); }

// A border inside a box of w by h: no wider than half the smaller side, where the strokes of
// opposite sides meet and the border fills the box. A box without area has no border.
double width_in_box(double width, double w, double h)
{
    const double half_side = std::fmin(w, h) * 0.5;
    if (!(half_side > 0)) return 0;
    return std::fmin(width, half_side);
}

// Icons and text-markup lines are not borders: a border width of 0 must not make them vanish, and
// a line stays within half the smaller side of its box, but may always have the default width.
double line_width(const annot& a, double w, double h)
{
    const double width = a.width > 0 ? a.width : default_width;
    const double half_side = std::fmin(w, h) * 0.5;
    return std::fmin(width, half_side > default_width ? half_side : default_width);
}

// The larger side of the box holding the rectangle and the points (x, y pairs).
double extent_with(const plan_item& it, std::span<const double> points, double extent)
{
    if (points.size() < 2) return extent;
    double x0 = points[0], x1 = points[0], y0 = points[1], y1 = points[1];
    for (std::size_t i = 2; points.size() - i >= 2; i += 2) {
        x0 = std::fmin(x0, points[i]), x1 = std::fmax(x1, points[i]);
        y0 = std::fmin(y0, points[i + 1]), y1 = std::fmax(y1, points[i + 1]);
    }
    if (std::isfinite(it.x) && std::isfinite(it.y) && std::isfinite(it.w) && std::isfinite(it.h)) {
        x0 = std::fmin(x0, it.x), x1 = std::fmax(x1, it.x + it.w);
        y0 = std::fmin(y0, it.y), y1 = std::fmax(y1, it.y + it.h);
    }
    return std::fmax(extent, std::fmax(x1 - x0, y1 - y0));
}

// A path's stroke no wider than the larger side of the box around the rectangle and its points.
double path_width(const annot& a, std::span<const std::vector<double>> paths)
{
    double extent = 0;
    for (const auto& path : paths) extent = extent_with(a.item, path, extent);
    return std::fmin(a.width, extent);
}

// Numbers of the array of key, or of alt_key when key has none; empty when neither.
std::vector<double> numbers_of(const annot& a, std::string_view key, std::string_view alt_key, std::size_t max)
{
    std::optional<std::vector<double>> n = entry_numbers(a.dict, key, max);
    if (!n && !alt_key.empty()) n = entry_numbers(a.dict, alt_key, max);
    return n ? std::move(*n) : std::vector<double>{};
}

// "colour RG width w": the stroke colour and width of a line or path.
void append_stroke_style(base::byte_buffer& out, const colour& c, double width)
{
    append_colour(out, c, paint::stroke);
    append(out, ' ', fixed6(width), " w");
}

// "x y m x y l ... S\n" through the complete pairs of points.
void append_stroked_path(base::byte_buffer& out, std::span<const double> points)
{
    for (std::size_t i = 0; points.size() - i >= 2; i += 2)
        append(out, fixed6(points[i]), ' ', fixed6(points[i + 1]), i == 0 ? " m " : " l ");
    out.append("S\n");
}

// How a closed shape inscribed in the rectangle is painted (ISO 32000-1 12.5.6.8): its interior
// in fill, its border in stroke with width, each left out when absent.
struct shape_paint {
    std::optional<colour> fill;
    std::optional<colour> stroke;
    double width = 0;  // 0 without a stroke

    bool visible() const { return fill || stroke; }
    std::string_view op() const { return fill ? (stroke ? "B" : "f") : "S"; }
};

shape_paint shape_paint_of(const plan_item& it, std::optional<colour> fill, const colour& stroke, double width)
{
    shape_paint p;
    if (fill && !fill->transparent()) p.fill = fill;
    const double w = width_in_box(width, it.w, it.h);
    if (w > 0 && !stroke.transparent()) {
        p.stroke = stroke;
        p.width = w;
    }
    return p;
}

// "fill rg stroke RG width w", the parts that are painted.
void append_shape_paint(base::byte_buffer& out, const shape_paint& p)
{
    if (p.fill) append_colour(out, *p.fill, paint::fill);
    if (p.fill && p.stroke) out.append(" ");
    if (p.stroke) append_stroke_style(out, *p.stroke, p.width);
}

// The rectangle drawn so that its border lies inside it: the stroke's centre line half the width
// in from each side.
void draw_inscribed_box(pen& p, const plan_item& it, const shape_paint& paint)
{
    if (!paint.visible()) return;
    const double inset = paint.width * 0.5;
    base::byte_buffer& out = p.put();
    append_shape_paint(out, paint);
    append(out, ' ', fixed6(it.x + inset), ' ', fixed6(it.y + inset), ' ', fixed6(it.w - paint.width), ' ',
           fixed6(it.h - paint.width), " re ", paint.op(), '\n');
}

void draw_square(pen& p, const annot& a)
{
    const std::optional<colour> interior = entry_colour(a.dict, scan::key::interior_colour);
    draw_inscribed_box(p, a.item, shape_paint_of(a.item, interior, stroke_colour(a), a.width));
}

void draw_sticky_note(pen& p, const annot& a)
{
    const plan_item& it = a.item;
    if (!(it.w >= 1.0 && it.h >= 1.0)) return;
    append(p.put(), "0.95 0.85 0.10 rg 0.30 0.30 0.10 RG ", fixed6(line_width(a, it.w, it.h)), " w\n",
           fixed6(it.x), ' ', fixed6(it.y), ' ', fixed6(it.w), ' ', fixed6(it.h), " re f\n");
    append(p.put(), "0.75 0.65 0.05 rg\n", fixed6(it.x + it.w), ' ', fixed6(it.y + 0.35 * it.h), " m ",
           fixed6(it.x + 0.65 * it.w), ' ', fixed6(it.y + it.h), " l ", fixed6(it.x + it.w), ' ',
           fixed6(it.y + it.h), " l h f\n");
    for (int i = 0; i < 3; ++i) {
        const double line_y = (i * it.h) * 0.16 + (0.18 * it.h + it.y);
        append(p.put(), "0.35 0.35 0.30 RG 1 w ", fixed6(it.x + 0.12 * it.w), ' ', fixed6(line_y), " m ",
               fixed6(it.x + 0.88 * it.w), ' ', fixed6(line_y), " l S\n");
    }
}

// The axis-aligned box a marked quadrilateral spans.
struct mark_box {
    double x0, y0, x1, y1;
};

mark_box box_of(std::span<const double> corners)
{
    mark_box b{corners[0], corners[1], corners[0], corners[1]};
    for (std::size_t i = 2; corners.size() - i >= 2; i += 2) {
        b.x0 = std::min(b.x0, corners[i]);
        b.x1 = std::max(b.x1, corners[i]);
        b.y0 = std::min(b.y0, corners[i + 1]);
        b.y1 = std::max(b.y1, corners[i + 1]);
    }
    return b;
}

// One box per complete group of eight "QuadPoints" numbers, or the rectangle without one.
std::vector<mark_box> mark_boxes(const annot& a)
{
    const std::vector<double> quads = numbers_of(a, scan::key::quad_points, {}, max_quad_numbers);
    std::vector<mark_box> boxes;
    for (std::size_t i = 0; quads.size() - i >= 8; i += 8)
        boxes.push_back(box_of(std::span(quads).subspan(i, 8)));
    if (boxes.empty()) {
        const plan_item& it = a.item;
        const std::array<double, 4> rect{it.x, it.y, it.x + it.w, it.y + it.h};
        boxes.push_back(box_of(rect));
    }
    return boxes;
}

// The colour of a mark's fill or stroke: "C", or the kind's own colour without one.
void append_mark_colour(base::byte_buffer& out, const annot& a, paint p)
{
    if (a.own_colour)
        append_colour(out, *a.own_colour, p);
    else
        out.append(p == paint::fill ? default_highlight_fill : default_mark_stroke);
}

// "colour RG width w" of a mark's line, its width bounded by the mark's box.
void append_mark_stroke(base::byte_buffer& out, const annot& a, const mark_box& b)
{
    append_mark_colour(out, a, paint::stroke);
    append(out, ' ', fixed6(line_width(a, b.x1 - b.x0, b.y1 - b.y0)), " w ");
}

void append_squiggle(base::byte_buffer& out, const annot& a, const mark_box& b)
{
    constexpr int segments = 8;
    constexpr double amplitude = 0.8;
    append_mark_stroke(out, a, b);
    append(out, fixed6(b.x0), ' ', fixed6(b.y0), " m\n");
    const double dx = (b.x1 - b.x0) / segments;
    for (int j = 1; j <= segments; ++j) {
        const double e = j % 2 == 1 ? -amplitude : amplitude;
        append(out, fixed6(b.x0 + j * dx), ' ', fixed6(b.y0 + e), " l ");
    }
    out.append("S\n");
}

// A line across the box at height y: underline and strikeout.
void append_rule(base::byte_buffer& out, const annot& a, const mark_box& b, double y)
{
    append_mark_stroke(out, a, b);
    append(out, fixed6(b.x0), ' ', fixed6(y), " m ", fixed6(b.x1), ' ', fixed6(y), " l S\n");
}

// ISO 32000-1 12.5.6.10: a highlight fills the marked box (translucent through the picture's
// graphics state, so the text under it shows); the other kinds stroke a line in "C".
void append_mark(base::byte_buffer& out, const annot& a, const mark_box& b, const resource_names& names)
{
    switch (a.item.kind) {
    case plan::kind_highlight:
        append(out, '/', names.translucent_state, " gs ");
        append_mark_colour(out, a, paint::fill);
        append(out, '\n', fixed6(b.x0), ' ', fixed6(b.y0), " m ", fixed6(b.x1), ' ', fixed6(b.y0), " l ",
               fixed6(b.x1), ' ', fixed6(b.y1), " l ", fixed6(b.x0), ' ', fixed6(b.y1), " l h f\n");
        break;
    case plan::kind_underline: append_rule(out, a, b, b.y0); break;
    case plan::kind_strikeout: append_rule(out, a, b, (b.y0 + b.y1) * 0.5); break;
    default: append_squiggle(out, a, b); break;
    }
}

void draw_marks(pen& p, const annot& a)
{
    if (a.own_colour && a.own_colour->transparent()) return;
    for (const mark_box& b : mark_boxes(a)) append_mark(p.put(), a, b, p.names());
}

void draw_ink(pen& p, const annot& a)
{
    const colour c = stroke_colour(a);
    if (a.width <= 0 || c.transparent()) return;
    std::vector<std::vector<double>> paths;
    if (auto list = ink_list(a.dict)) {
        paths = std::move(*list);
    } else {
        paths.push_back(numbers_of(a, scan::key::ink_list_old, {}, max_ink_alt_numbers));
    }
    const double width = path_width(a, paths);
    bool started = false;
    for (const auto& path : paths) {
        if (path.size() < 2) continue;
        if (!started) {
            append_stroke_style(p.put(), c, width);
            p.put().append("\n");
        }
        started = true;
        append_stroked_path(p.put(), path);
    }
}

void draw_line(pen& p, const annot& a)
{
    const colour c = stroke_colour(a);
    if (a.width <= 0 || c.transparent()) return;
    const std::vector<double> l = numbers_of(a, scan::key::line, scan::key::line_old, 4);
    if (l.size() != 4) return;
    base::byte_buffer& out = p.put();
    append_stroke_style(out, c, path_width(a, std::span(&l, 1)));
    append(out, ' ', fixed6(l[0]), ' ', fixed6(l[1]), " m ", fixed6(l[2]), ' ', fixed6(l[3]), " l S\n");
}

// "x1 y1 x2 y2 x3 y3 c": a Bezier curve from the current point.
void append_curve(base::byte_buffer& out, const std::array<double, 6>& c)
{
    append(out, fixed6(c[0]), ' ', fixed6(c[1]), ' ', fixed6(c[2]), ' ', fixed6(c[3]), ' ', fixed6(c[4]), ' ',
           fixed6(c[5]), " c");
}

// The ellipse inscribed in the rectangle, its border inside it like a Square's.
void draw_ellipse(pen& p, const annot& a)
{
    const plan_item& it = a.item;
    const shape_paint paint =
        shape_paint_of(it, entry_colour(a.dict, scan::key::interior_colour), stroke_colour(a), a.width);
    if (!paint.visible()) return;
    const double rx = (it.w - paint.width) * 0.5, ry = 0.5 * (it.h - paint.width);
    const double cx = it.x + it.w * 0.5, cy = it.y + 0.5 * it.h;
    const double kx = rx * ellipse_kappa, ky = ry * ellipse_kappa;
    // Counterclockwise from the rightmost point, a quarter per curve.
    const std::array<std::array<double, 6>, 4> quarters = {{
        {cx + rx, cy + ky, cx + kx, cy + ry, cx, cy + ry},
        {cx - kx, cy + ry, cx - rx, cy + ky, cx - rx, cy},
        {cx - rx, cy - ky, cx - kx, cy - ry, cx, cy - ry},
        {cx + kx, cy - ry, cx + rx, cy - ky, cx + rx, cy},
    }};
    base::byte_buffer& out = p.put();
    append_shape_paint(out, paint);
    append(out, '\n', fixed6(cx + rx), ' ', fixed6(cy), " m");
    for (const auto& quarter : quarters) {
        out.append("\n");
        append_curve(out, quarter);
    }
    append(out, ' ', paint.op(), '\n');
}

// A Polygon is closed, stroked in "C" and filled only in its own "IC"; a PolyLine is stroked.
void draw_vertices(pen& p, const annot& a)
{
    const std::vector<double> v = numbers_of(a, scan::key::vertices, {}, max_vertex_numbers);
    if (v.size() < 2) return;
    const bool polygon = a.item.kind == plan::kind_polygon;
    std::optional<colour> fill = polygon ? entry_colour(a.dict, scan::key::interior_colour) : std::nullopt;
    if (fill && fill->transparent()) fill.reset();
    const colour c = stroke_colour(a);
    const bool stroke = a.width > 0 && !c.transparent();
    if (!stroke && !fill) return;
    base::byte_buffer& out = p.put();
    if (fill) {
        append_colour(out, *fill, paint::fill);
        out.append(" ");
    }
    if (!c.transparent()) {
        append_colour(out, c, paint::stroke);
        out.append(" ");
    }
    append(out, fixed6(path_width(a, std::span(&v, 1))), " w ", fixed6(v[0]), ' ', fixed6(v[1]), " m\n");
    for (std::size_t i = 2; v.size() - i >= 2; i += 2) append(out, fixed6(v[i]), ' ', fixed6(v[i + 1]), " l ");
    if (!polygon) {
        out.append("S\n");
    } else {
        out.append(fill ? (stroke ? "h B\n" : "h f\n") : "h S\n");
    }
}

// An icon side: the rectangle's when it lies in (0, limit), else the fallback.
double icon_side(double side, double limit, double fallback)
{
    return side > 0 && side < limit ? side : fallback;
}

void draw_caret(pen& p, const annot& a)
{
    const colour c = stroke_colour(a);
    if (c.transparent()) return;
    const plan_item& it = a.item;
    const double w = icon_side(it.w, 20.0, 12.0), h = icon_side(it.h, 20.0, 12.0);
    base::byte_buffer& out = p.put();
    append_colour(out, c, paint::fill);
    append(out, ' ', fixed6(it.x), ' ', fixed6(it.y), " m ", fixed6(it.x + w), ' ', fixed6(it.y), " l ",
           fixed6(it.x), ' ', fixed6(it.y + h), " l h f\n");
}

void draw_file_attachment(pen& p, const annot& a)
{
    const plan_item& it = a.item;
    const double w = icon_side(it.w, 24.0, 14.0), h = icon_side(it.h, 24.0, 14.0);
    append(p.put(), "0.30 0.30 0.30 RG ", fixed6(line_width(a, w, h)), " w\n", fixed6(it.x), ' ', fixed6(it.y),
           ' ', fixed6(w), ' ', fixed6(h), " re S\n", fixed6(it.x + 0.3 * w), ' ', fixed6(it.y + h), " m ",
           fixed6(it.x + 0.7 * w), ' ', fixed6(it.y + 0.5 * h), " l S\n");
}

// ISO 32000-1 12.5.6.6, drawn as viewers draw it: the background in "C" (none without it), the
// border and the text in the colour of "DA", the text at its size.
void draw_freetext(pen& p, const annot& a)
{
    const plan_item& it = a.item;
    if (!(it.w >= 2.0 && it.h >= 2.0)) return;
    const std::optional<std::string> da = entry_string(a.dict, scan::key::default_appearance);
    text_style style = default_appearance_style(da ? *da : std::string_view());
    // A line taller than the box cannot show in it.
    style.size = std::fmin(style.size, it.h);
    draw_inscribed_box(p, it, shape_paint_of(it, a.own_colour, style.fill, a.width));
    const std::optional<std::string> contents = entry_string(a.dict, scan::key::contents);
    if (!contents) return;
    const std::string text = freetext_text(*contents);
    for (const text_line& line : layout_text(text, it.x, it.y, it.w, it.h, style.size))
        append_text_object(p.put(), p.names().font, line.x, line.y, line.bytes, style);
}

void draw_kind(pen& p, const annot& a)
{
    switch (a.item.kind) {
    case plan::kind_text: draw_sticky_note(p, a); break;
    case plan::kind_highlight:
    case plan::kind_underline:
    case plan::kind_squiggly:
    case plan::kind_strikeout: draw_marks(p, a); break;
    case plan::kind_freetext: draw_freetext(p, a); break;
    case plan::kind_ink: draw_ink(p, a); break;
    case plan::kind_line: draw_line(p, a); break;
    case plan::kind_square: draw_square(p, a); break;
    case plan::kind_circle: draw_ellipse(p, a); break;
    case plan::kind_polygon:
    case plan::kind_polyline: draw_vertices(p, a); break;
    case plan::kind_caret: draw_caret(p, a); break;
    case plan::kind_fileattachment: draw_file_attachment(p, a); break;
    default: break;  // Link, Stamp, 3D, Signature and unknown kinds have no picture
    }
}

}  // namespace

void draw_fallback(base::byte_buffer& drawing, const plan::plan_item& item, const load::doc& doc,
                   std::string_view text, std::int32_t start, const resource_names& names)
{
    if (item.hidden || start < 0 || static_cast<std::size_t>(start) > text.size()) return;
    const annot_dict dict{doc, text, start};
    const annot a{item, dict, entry_colour(dict, scan::key::colour), border_width(dict)};
    pen p(drawing, names);
    draw_kind(p, a);
    p.close();
}

}  // namespace kestrin::draw
