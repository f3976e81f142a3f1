#include "generate/standard_fonts.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <utility>

namespace kestrin::generate {

namespace {

// Names that files give the standard fonts, with the standard name each one means (the alternative
// names that PDF readers have long accepted for the Windows TrueType fonts). Sorted by the first.
constexpr std::array<std::pair<std::string_view, std::string_view>, 30> aliases{{
    {"Arial", "Helvetica"},
    {"Arial,Bold", "Helvetica-Bold"},
    {"Arial,BoldItalic", "Helvetica-BoldOblique"},
    {"Arial,Italic", "Helvetica-Oblique"},
    {"Arial-Bold", "Helvetica-Bold"},
    {"Arial-BoldItalic", "Helvetica-BoldOblique"},
    {"Arial-BoldItalicMT", "Helvetica-BoldOblique"},
    {"Arial-BoldMT", "Helvetica-Bold"},
    {"Arial-Italic", "Helvetica-Oblique"},
    {"Arial-ItalicMT", "Helvetica-Oblique"},
    {"ArialMT", "Helvetica"},
    {"CourierNew", "Courier"},
    {"CourierNew,Bold", "Courier-Bold"},
    {"CourierNew,BoldItalic", "Courier-BoldOblique"},
    {"CourierNew,Italic", "Courier-Oblique"},
    {"CourierNew-Bold", "Courier-Bold"},
    {"CourierNew-BoldItalic", "Courier-BoldOblique"},
    {"CourierNew-Italic", "Courier-Oblique"},
    {"CourierNewPSMT", "Courier"},
    {"Helvetica,Bold", "Helvetica-Bold"},
    {"Helvetica,BoldItalic", "Helvetica-BoldOblique"},
    {"Helvetica,Italic", "Helvetica-Oblique"},
    {"TimesNewRoman", "Times-Roman"},
    {"TimesNewRoman,Bold", "Times-Bold"},
    {"TimesNewRoman,BoldItalic", "Times-BoldItalic"},
    {"TimesNewRoman,Italic", "Times-Italic"},
    {"TimesNewRomanPS-BoldItalicMT", "Times-BoldItalic"},
    {"TimesNewRomanPS-BoldMT", "Times-Bold"},
    {"TimesNewRomanPS-ItalicMT", "Times-Italic"},
    {"TimesNewRomanPSMT", "Times-Roman"},
}};

std::string_view name_of(const table::glyph_width& g) { return g.name; }

static_assert(std::ranges::is_sorted(aliases, {}, &std::pair<std::string_view, std::string_view>::first));

const font_metrics* exact_standard_font(std::string_view name)
{
    const auto* const end = std::end(table::standard_fonts);
    const auto* found = std::lower_bound(std::begin(table::standard_fonts), end, name,
                                         [](const font_metrics& f, std::string_view n) { return f.name < n; });
    return found != end && std::string_view(found->name) == name ? found : nullptr;
}

}  // namespace

const font_metrics* find_standard_font(std::string_view base_font)
{
    if (const font_metrics* exact = exact_standard_font(base_font)) return exact;
    const auto alias = std::ranges::lower_bound(aliases, base_font, {}, &std::pair<std::string_view, std::string_view>::first);
    if (alias == aliases.end() || alias->first != base_font) return nullptr;
    return exact_standard_font(alias->second);
}

std::optional<std::int32_t> glyph_width(const font_metrics& font, std::string_view glyph)
{
    const auto found = std::ranges::lower_bound(font.widths, glyph, {}, name_of);
    if (found == font.widths.end() || name_of(*found) != glyph) return std::nullopt;
    return found->width;
}

}  // namespace kestrin::generate
