// Choosing an annotation's appearance stream from its "AP" entry and appearance state.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "load/doc.h"

namespace kestrin::plan {

// The appearance state: the name in "AS", else in "V", of the annotation's own dictionary.
std::optional<std::string> appearance_state(std::string_view text, std::int32_t start);

// Object number of the normal appearance stream to draw for the annotation dictionary
// [start, text.size()) in the given state, or -1 (then a fallback drawing applies).
std::int32_t select_appearance(const load::doc& d, std::string_view text, std::int32_t start,
                               const std::optional<std::string>& state);

}  // namespace kestrin::plan
