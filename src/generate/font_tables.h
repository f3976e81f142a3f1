// The standard 14 fonts' metrics as tools/generate_font_tables.py writes them from the AFM files
// of fonts-urw-base35 (font_metrics_table.cpp). Widths and heights are in thousandths of an em.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace kestrin::generate::table {

// Names are plain C strings: tables of them compile quickly and need no initialisation at run time.
struct glyph_width {
    const char* name;
    std::int32_t width = 0;
};

struct font_metrics {
    const char* name;    // the standard 14 name, as a BaseFont gives it
    const char* source;  // the URW font whose AFM file has the metrics
    std::int32_t ascent = 0;  // the top of "d", else of the bounding box
    std::int32_t descent = 0; // the bottom of "p", else of the bounding box
    std::int32_t cap_height = 0;
    std::array<std::int32_t, 4> bbox{};
    std::span<const glyph_width> widths;  // sorted by glyph name
};

// Sorted by name.
extern const font_metrics standard_fonts[14];

}  // namespace kestrin::generate::table
