// The standard 14 fonts (ISO 32000-1 9.6.2.2) by name, and their glyph widths.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "generate/font_tables.h"

namespace kestrin::generate {

using table::font_metrics;

// The standard 14 font a BaseFont name means: one of the 14 names, or a common other name for one
// of them ("Arial,Bold", "TimesNewRomanPSMT", "CourierNew"); nullptr for any other font.
const font_metrics* find_standard_font(std::string_view base_font);

// Width of the named glyph in thousandths of an em, or nullopt when the font has no such glyph.
std::optional<std::int32_t> glyph_width(const font_metrics& font, std::string_view glyph);

}  // namespace kestrin::generate
