#include "draw/fallback.h"

#include <algorithm>
#include <array>
#include <optional>
#include <span>
#include <vector>

#include "base/append.h"
#include "draw/text.h"
#include "scan/keys.h"
#include "scan/token.h"
#include "scan/value.h"

namespace kestrin::draw {

namespace {

using base::append;
using base::fixed3;
using base::fixed6;
using plan::plan_item;

// How many numbers of each coordinate array are used; the rest of a longer array is ignored.
constexpr std::size_t max_quad_numbers = 1024;  // 128 marked quadrilaterals
constexpr std::size_t max_ink_alt_numbers = 512;
constexpr std::size_t max_vertex_numbers = 256;

constexpr double default_width = 1.0;
constexpr double ellipse_kappa = 0.5523;  // control-point distance of a quarter ellipse, per radius

struct rgb {
    double r = 0, g = 0, b = 0;
};

// What every picture reads: the rectangle, the dictionary text and the colour and border width.
struct annot {
    const plan_item& item;
    std::string_view text;
    std::int32_t start;
    rgb colour;
    double width;  // 0: the annotation has no border
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

std::optional<rgb> read_rgb(std::string_view text, std::int32_t start, std::string_view key)
{
    std::array<double, 3> c{};
    if (scan::array_named(text, start, key, c) != 3) return std::nullopt;
    return rgb{c[0], c[1], c[2]};
}

// "W" of the first "BS" written as an inline dictionary; an indirect one cannot be followed here.
std::optional<double> style_width(std::string_view text, std::int32_t start)
{
    const auto size = static_cast<std::int32_t>(text.size());
    const auto key_len = static_cast<std::int32_t>(scan::key::border_style.size());
    for (std::int32_t key = scan::find_key_anywhere(text, start, size, scan::key::border_style); key >= 0;
         key = scan::find_key_anywhere(text, key + 1, size, scan::key::border_style)) {
        const std::int32_t open = scan::skip_ws(text, key + 1 + key_len);
        if (size - open < 2 || text[open] != '<' || text[open + 1] != '<') continue;
        // Unclosed: give up rather than rescan the rest of the text for every later occurrence.
        const std::int32_t close = scan::skip_pdf_value(text, open);
        if (close < 0) return std::nullopt;
        const std::int32_t w_key = scan::find_key_anywhere(text, open, close, scan::key::width);
        if (w_key < 0) return std::nullopt;
        std::int32_t pos = scan::skip_ws(text.substr(0, close), w_key + 2);
        const auto width = scan::read_real(text.substr(0, close), pos);
        if (width && *width >= 0) return width;
        return std::nullopt;
    }
    return std::nullopt;
}

// Third number of "Border", overridden by the "W" of "BS"; negative widths are ignored.
double border_width(std::string_view text, std::int32_t start)
{
    if (auto w = style_width(text, start)) return *w;
    std::array<double, 3> border{};
    if (scan::array_named(text, start, scan::key::border, border) == 3 && border[2] >= 0) return border[2];
    return default_width;
}

// Icons and text-markup lines are not borders: a border width of 0 must not make them vanish.
double line_width(const annot& a) { return a.width > 0 ? a.width : default_width; }

// Numbers of the first array value of key, or of alt_key when key has none; empty when neither.
std::vector<double> numbers_of(const annot& a, std::string_view key, std::string_view alt_key,
                               std::size_t max)
{
    std::vector<double> out(max);
    std::int32_t n = scan::array_named(a.text, a.start, key, out);
    if (n < 0 && !alt_key.empty()) n = scan::array_named(a.text, a.start, alt_key, out);
    out.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return out;
}

// "r g b op": the colour of the fill ("rg") or stroke ("RG") operator.
void append_colour(base::byte_buffer& out, const rgb& c, std::string_view op)
{
    append(out, fixed3(c.r), ' ', fixed3(c.g), ' ', fixed3(c.b), ' ', op);
}

// "r g b RG width w": the annotation's stroke colour and border width.
void append_stroke_style(base::byte_buffer& out, const annot& a)
{
    append_colour(out, a.colour, "RG");
    append(out, ' ', fixed6(a.width), " w");
}

// "x y m x y l ... S\n" through the complete pairs of points.
void append_stroked_path(base::byte_buffer& out, std::span<const double> points)
{
    for (std::size_t i = 0; points.size() - i >= 2; i += 2)
        append(out, fixed6(points[i]), ' ', fixed6(points[i + 1]), i == 0 ? " m " : " l ");
    out.append("S\n");
}

void draw_square(pen& p, const annot& a)
{
    if (a.width <= 0) return;
    const plan_item& it = a.item;
    base::byte_buffer& out = p.put();
    append_stroke_style(out, a);
    append(out, ' ', fixed6(it.x), ' ', fixed6(it.y), ' ', fixed6(it.w), ' ', fixed6(it.h), " re S\n");
}

void draw_sticky_note(pen& p, const annot& a)
{
    const plan_item& it = a.item;
    if (!(it.w >= 1.0 && it.h >= 1.0)) return;
    append(p.put(), "0.95 0.85 0.10 rg 0.30 0.30 0.10 RG ", fixed6(line_width(a)), " w\n", fixed6(it.x), ' ',
           fixed6(it.y), ' ', fixed6(it.w), ' ', fixed6(it.h), " re f\n");
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

void append_squiggle(base::byte_buffer& out, const mark_box& b, double width)
{
    constexpr int segments = 8;
    constexpr double amplitude = 0.8;
    append(out, "0.0 0.0 0.0 RG ", fixed6(width), " w ", fixed6(b.x0), ' ', fixed6(b.y0), " m\n");
    const double dx = (b.x1 - b.x0) / segments;
    for (int j = 1; j <= segments; ++j) {
        const double e = j % 2 == 1 ? -amplitude : amplitude;
        append(out, fixed6(b.x0 + j * dx), ' ', fixed6(b.y0 + e), " l ");
    }
    out.append("S\n");
}

// A black line across the box at height y: underline and strikeout.
void append_rule(base::byte_buffer& out, const mark_box& b, double y, double width)
{
    append(out, "0.0 0.0 0.0 RG ", fixed6(width), " w ", fixed6(b.x0), ' ', fixed6(y), " m ", fixed6(b.x1), ' ',
           fixed6(y), " l S\n");
}

void append_mark(base::byte_buffer& out, const mark_box& b, std::int32_t kind, double width,
                 const resource_names& names)
{
    switch (kind) {
    case plan::kind_highlight:
        append(out, '/', names.translucent_state, " gs 0.4 1.0 1.0 rg\n", fixed6(b.x0), ' ', fixed6(b.y0), " m ", fixed6(b.x1), ' ',
               fixed6(b.y0), " l ", fixed6(b.x1), ' ', fixed6(b.y1), " l ", fixed6(b.x0), ' ', fixed6(b.y1),
               " l h f\n");
        break;
    case plan::kind_underline:
        append_rule(out, b, b.y0, width);
        break;
    case plan::kind_strikeout:
        append_rule(out, b, (b.y0 + b.y1) * 0.5, width);
        break;
    default:
        append_squiggle(out, b, width);
        break;
    }
}

void draw_marks(pen& p, const annot& a)
{
    for (const mark_box& b : mark_boxes(a)) append_mark(p.put(), b, a.item.kind, line_width(a), p.names());
}

// Index of the "[" of the first occurrence of key whose value is an array, or -1.
std::int32_t array_open(std::string_view text, std::int32_t start, std::string_view key)
{
    const auto size = static_cast<std::int32_t>(text.size());
    const auto key_len = static_cast<std::int32_t>(key.size());
    for (std::int32_t k = scan::find_key_anywhere(text, start, size, key); k >= 0;
         k = scan::find_key_anywhere(text, k + 1, size, key)) {
        const std::int32_t v = scan::skip_ws(text, k + 1 + key_len);
        if (v < size && text[v] == '[') return v;
    }
    return -1;
}

// The paths of the first "InkList" array of arrays, one per inner array; nullopt without one.
// Numbers outside the inner arrays are ignored.
std::optional<std::vector<std::vector<double>>> ink_paths(std::string_view text, std::int32_t start)
{
    const std::int32_t open = array_open(text, start, scan::key::ink_list);
    if (open < 0) return std::nullopt;
    const auto size = static_cast<std::int32_t>(text.size());
    std::vector<std::vector<double>> paths;
    bool inner = false;  // inside an inner array, which is paths.back()
    for (std::int32_t i = open + 1; i < size;) {
        const char c = text[i];
        if (c == ']' && !inner) break;
        if (c == '[' || c == ']') {
            inner = c == '[';
            if (inner) paths.emplace_back();
            ++i;
        } else if (auto v = scan::read_real(text, i)) {
            if (inner) paths.back().push_back(*v);
        } else {
            ++i;
        }
    }
    return paths;
}

void draw_ink(pen& p, const annot& a)
{
    if (a.width <= 0) return;
    std::vector<std::vector<double>> paths;
    if (auto list = ink_paths(a.text, a.start)) {
        paths = std::move(*list);
    } else {
        paths.push_back(numbers_of(a, scan::key::ink_list_old, {}, max_ink_alt_numbers));
    }
    bool started = false;
    for (const auto& path : paths) {
        if (path.size() < 2) continue;
        if (!started) {
            append_stroke_style(p.put(), a);
            p.put().append("\n");
        }
        started = true;
        append_stroked_path(p.put(), path);
    }
}

void draw_line(pen& p, const annot& a)
{
    if (a.width <= 0) return;
    const std::vector<double> l = numbers_of(a, scan::key::line, scan::key::line_old, 4);
    if (l.size() != 4) return;
    base::byte_buffer& out = p.put();
    append_stroke_style(out, a);
    append(out, ' ', fixed6(l[0]), ' ', fixed6(l[1]), " m ", fixed6(l[2]), ' ', fixed6(l[3]), " l S\n");
}

// "x1 y1 x2 y2 x3 y3 c": a Bezier curve from the current point.
void append_curve(base::byte_buffer& out, const std::array<double, 6>& c)
{
    append(out, fixed6(c[0]), ' ', fixed6(c[1]), ' ', fixed6(c[2]), ' ', fixed6(c[3]), ' ', fixed6(c[4]), ' ',
           fixed6(c[5]), " c");
}

void draw_ellipse(pen& p, const annot& a)
{
    if (a.width <= 0) return;
    const plan_item& it = a.item;
    const double rx = it.w * 0.5, ry = 0.5 * it.h;
    const double cx = it.x + rx, cy = it.y + ry;
    const double kx = rx * ellipse_kappa, ky = ry * ellipse_kappa;
    // Counterclockwise from the rightmost point, a quarter per curve.
    const std::array<std::array<double, 6>, 4> quarters = {{
        {cx + rx, cy + ky, cx + kx, cy + ry, cx, cy + ry},
        {cx - kx, cy + ry, cx - rx, cy + ky, cx - rx, cy},
        {cx - rx, cy - ky, cx - kx, cy - ry, cx, cy - ry},
        {cx + kx, cy - ry, cx + rx, cy - ky, cx + rx, cy},
    }};
    base::byte_buffer& out = p.put();
    append_stroke_style(out, a);
    append(out, '\n', fixed6(cx + rx), ' ', fixed6(cy), " m");
    for (const auto& quarter : quarters) {
        out.append("\n");
        append_curve(out, quarter);
    }
    out.append(" S\n");
}

// A Polygon is closed, stroked in "C" and filled only in its own "IC"; a PolyLine is stroked.
void draw_vertices(pen& p, const annot& a)
{
    const std::vector<double> v = numbers_of(a, scan::key::vertices, {}, max_vertex_numbers);
    if (v.size() < 2) return;
    const bool polygon = a.item.kind == plan::kind_polygon;
    const std::optional<rgb> fill = polygon ? read_rgb(a.text, a.start, scan::key::interior_colour) : std::nullopt;
    const bool stroke = a.width > 0;
    if (!stroke && !fill) return;
    base::byte_buffer& out = p.put();
    if (fill) {
        append_colour(out, *fill, "rg");
        out.append(" ");
    }
    append_stroke_style(out, a);
    append(out, ' ', fixed6(v[0]), ' ', fixed6(v[1]), " m\n");
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
    const plan_item& it = a.item;
    const double w = icon_side(it.w, 20.0, 12.0), h = icon_side(it.h, 20.0, 12.0);
    base::byte_buffer& out = p.put();
    append_colour(out, a.colour, "rg");
    append(out, ' ', fixed6(it.x), ' ', fixed6(it.y), " m ", fixed6(it.x + w), ' ', fixed6(it.y), " l ",
           fixed6(it.x), ' ', fixed6(it.y + h), " l h f\n");
}

void draw_file_attachment(pen& p, const annot& a)
{
    const plan_item& it = a.item;
    const double w = icon_side(it.w, 24.0, 14.0), h = icon_side(it.h, 24.0, 14.0);
    append(p.put(), "0.30 0.30 0.30 RG ", fixed6(line_width(a)), " w\n", fixed6(it.x), ' ', fixed6(it.y), ' ',
           fixed6(w), ' ', fixed6(h), " re S\n", fixed6(it.x + 0.3 * w), ' ', fixed6(it.y + h), " m ",
           fixed6(it.x + 0.7 * w), ' ', fixed6(it.y + 0.5 * h), " l S\n");
}

void draw_freetext(pen& p, const annot& a)
{
    const plan_item& it = a.item;
    if (!(it.w >= 2.0 && it.h >= 2.0)) return;
    if (a.width > 0)
        append(p.put(), "0.0 0.0 0.0 RG ", fixed6(a.width), " w ", fixed6(it.x), ' ', fixed6(it.y), ' ',
               fixed6(it.w), ' ', fixed6(it.h), " re S\n");
    const std::optional<std::string> source = freetext_source(a.text, a.start);
    if (!source) return;
    for (const text_line& line : layout_text(*source, it.x, it.y, it.w, it.h))
        append_text_object(p.put(), p.names().font, line.x, line.y, line.bytes, a.colour.r, a.colour.g, a.colour.b);
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

void draw_fallback(base::byte_buffer& drawing, const plan::plan_item& item, std::string_view text,
                   std::int32_t start, const resource_names& names)
{
    if (item.hidden || start < 0 || static_cast<std::size_t>(start) > text.size()) return;
    const annot a{item, text, start, read_rgb(text, start, scan::key::colour).value_or(rgb{}),
                  border_width(text, start)};
    pen p(drawing, names);
    draw_kind(p, a);
    p.close();
}

}  // namespace kestrin::draw
