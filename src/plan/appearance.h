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

// select_appearance for the value of "AP" standing at pos (-1: the annotation has none).
std::int32_t select_appearance_at(const load::doc& d, std::string_view text, std::int32_t pos,
                                  const std::optional<std::string>& state);

// The normal appearance stream of the appearance dictionary whose "<<" is at or after start (after
// white space) in text, for the given state (none or empty: the first state listed), or -1.
std::int32_t pick_ap_from_dict(const load::doc& d, std::string_view text, std::int32_t start,
                               const std::optional<std::string>& state);

// N of the reference "N [G] R" that is the value of the key name (escapes decoded) of the
// dictionary at start, or -1.
std::int32_t ap_state_ref(std::string_view text, std::int32_t start, std::string_view name);

// N of the first entry of the dictionary at start whose value is a reference, or -1.
std::int32_t first_ref_in(std::string_view text, std::int32_t start);

}  // namespace kestrin::plan
