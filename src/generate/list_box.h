// The appearance of a list box (ISO 32000-1 12.7.4.4): its rows from the top index down, the
// selected ones highlighted, in the field's font, clipped inside the border.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "generate/text_layout.h"

namespace kestrin::generate {

// One Opt entry: the export value V holds and the text the row shows (the same for an entry that
// is a plain string).
struct list_option {
    std::u32string export_value;
    std::u32string display;
};

// The selected rows, ascending and each once: the I indices that name a row when there are any,
// else the rows whose export value (or, failing that, display text) one of the V values equals.
std::vector<std::int32_t> selected_rows(std::span<const list_option> options, std::span<const std::int64_t> indices,
                                        std::span<const std::u32string> values);

// The highlight behind selected rows, the blue viewers draw (Acrobat's 0.600006 0.756866 0.854904).
inline constexpr std::array<double, 3> selection_highlight{0.6, 0.757, 0.855};

struct list_request {
    text_box box;
    double font_size = 0;  // 0: the largest up to 12 at which the widest row fits the width
    colour text_colour;
    quadding alignment = quadding::left;
    std::int64_t top_index = 0;  // TI: the first row shown; out of range counts as 0
    std::vector<std::int32_t> selected;  // from selected_rows
};

// "/Tx BMC q <clip> <highlights> BT <rows> ET Q EMC", rows one line height apart from the top.
text_appearance list_box_content(std::span<const list_option> options, const layout_font& font,
                                 const list_request& request);

}  // namespace kestrin::generate
