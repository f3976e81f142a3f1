#include "generate/button_appearance.h"

#include <algorithm>
#include <cmath>

#include "base/append.h"
#include "generate/standard_fonts.h"
#include "generate/text_layout.h"

namespace kestrin::generate {

namespace {

// An auto-sized caption takes this share of the box inside the border, as viewers draw it.
constexpr double caption_share = 0.8;
// The middle of the usual ZapfDingbats captions above their baseline, in font sizes: the check
// mark and the bullet reach from -14 to about 705 thousandths of an em.
constexpr double caption_middle = 0.345;
// The radius of a radio's bullet when it has no caption, as a share of the box inside the border.
constexpr double bullet_radius_share = 0.25;

double finite_or_zero(double v) { return std::isfinite(v) ? v : 0.0; }

struct inner_area {
    double left, bottom, width, height;
};

inner_area inner_of(double w, double h, double b)
{
    return {b, b, std::max(0.0, w - 2 * b), std::max(0.0, h - 2 * b)};
}

const font_metrics& zapf_dingbats()
{
    static const font_metrics* const font = find_standard_font("ZapfDingbats");
    return *font;
}

// The caption's width in thousandths of an em, from the ZapfDingbats metrics.
double caption_units(std::string_view codes)
{
    const encoding dingbats(base_encoding::zapf_dingbats);
    double units = 0;
    for (char c : codes)
        units += glyph_width(zapf_dingbats(), dingbats.glyph_name(static_cast<std::uint8_t>(c))).value_or(0);
    return units;
}

double caption_size(const button_request& request, const inner_area& inner, double units)
{
    const double size = finite_or_zero(request.font_size);
    if (size > 0) return size;
    double fit = std::min(inner.width, inner.height) * caption_share;
    if (units > 0) fit = std::min(fit, inner.width * caption_share * 1000.0 / units);
    return std::max(0.0, fit);
}

void open_clip(std::string& out, const inner_area& inner)
{
    base::append(out, "q\n", base::fixed6(inner.left), ' ', base::fixed6(inner.bottom), ' ',
                 base::fixed6(inner.width), ' ', base::fixed6(inner.height), " re W n\n");
}

void append_caption(std::string& out, const button_request& request, const inner_area& inner,
                    std::string_view codes, double size, double units)
{
    const double x = inner.left + (inner.width - units * size / 1000.0) / 2;
    const double y = inner.bottom + inner.height / 2 - caption_middle * size;
    out += "BT\n";
    append_name(out, request.font_resource);
    base::append(out, ' ', base::fixed3(size), " Tf\n");
    append_colour(out, request.caption_colour);
    base::append(out, base::fixed6(x), ' ', base::fixed6(y), " Td\n");
    append_string(out, codes);
    out += " Tj\nET\n";
}

void append_bullet(std::string& out, const button_request& request, const inner_area& inner)
{
    const double r = std::min(inner.width, inner.height) * bullet_radius_share;
    const double cx = inner.left + inner.width / 2;
    const double cy = inner.bottom + inner.height / 2;
    append_colour(out, request.caption_colour);
    append_circle(out, cx, cy, r, "f");
}

}  // namespace

button_appearance button_content(const button_request& request)
{
    const double w = std::max(0.0, finite_or_zero(request.width));
    const double h = std::max(0.0, finite_or_zero(request.height));
    const frame_shape shape = request.kind == button_kind::radio ? frame_shape::circle : frame_shape::rectangle;
    button_appearance result;
    result.content = frame_content(w, h, request.frame_border, request.colours, shape);
    if (!request.on) return result;
    const inner_area inner = inner_of(w, h, drawn_border_width(w, h, request.frame_border, request.colours));
    open_clip(result.content, inner);
    if (request.caption.empty() && request.kind == button_kind::radio) {
        append_bullet(result.content, request, inner);
    } else {
        const std::string_view codes =
            request.caption.empty() ? std::string_view(&check_mark_caption, 1) : std::string_view(request.caption);
        const double units = caption_units(codes);
        result.font_size = caption_size(request, inner, units);
        result.uses_font = true;
        append_caption(result.content, request, inner, codes, result.font_size, units);
    }
    result.content += "Q\n";
    return result;
}

}  // namespace kestrin::generate
