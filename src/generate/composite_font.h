// A composite font (ISO 32000-1 9.7) that a field's value is drawn in: two-byte codes under the
// Identity-H CMap, each character's code found through the inverse of the font's ToUnicode map,
// and widths from its descendant CIDFont's W and DW.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "generate/text_layout.h"
#include "load/doc.h"
#include "scan/cmap.h"

namespace kestrin::generate {

// A code's width in W, in thousandths of the font size.
struct code_width {
    std::uint16_t code = 0;
    double width = 0;
};

class composite_font {
public:
    // mappings and widths in the order the font gives them: for a code given twice, the later
    // wins. Codes above two bytes, and code 0 (CID 0 is always .notdef), are left out.
    composite_font(std::span<const scan::code_character> mappings, std::vector<code_width> widths,
                   double default_width);

    // The lowest code that shows the character, or nullopt.
    std::optional<std::uint16_t> code_of(char32_t character) const;
    // The code's width from W, else the default width.
    double width(std::uint16_t code) const;
    // True when no character has a code.
    bool maps_nothing() const { return by_character_.empty(); }

    // The font descriptor's Ascent and Descent, when it gives sound ones.
    std::optional<double> ascent;
    std::optional<double> descent;

private:
    std::vector<scan::code_character> by_character_;  // each character once with its lowest code
    std::vector<code_width> widths_;                    // each code once, sorted by code
    double default_width_ = 1000;
};

// The composite font that a font dictionary (its text from its "<<") describes, when a value can
// be drawn in it: the encoding Identity-H, a ToUnicode stream that gives some character a code,
// and a descendant font. nullopt for anything else, which the caller draws in another font:
// Identity-V (its glyphs advance downwards, not along a field's line), an embedded or another
// predefined CMap (codes of other lengths), no ToUnicode.
std::optional<composite_font> read_composite_font(const load::doc& d, std::string_view font_dict);

// The composite fonts of one call, each read once, by where its dictionary's text lies (which
// stays put while the document lives): a form's fields mostly share one font, and reading the
// maps of a large CJK font takes milliseconds.
class composite_font_cache {
public:
    // What read_composite_font gives for the dictionary, or null.
    const composite_font* find(const load::doc& d, std::string_view font_dict);

private:
    std::map<const char*, std::optional<composite_font>> fonts_;
};

// The layout of text drawn in font under resource_name: two-byte codes, the question mark's code
// as the substitute when the font has one. font must outlive the result.
layout_font composite_layout_font(std::string resource_name, const composite_font& font);

}  // namespace kestrin::generate
