// Reading arrays of indirect references ("Annots", "Fields") held by a dictionary, inline or as
// an object of their own.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "load/doc.h"

namespace kestrin::plan {

// Object numbers of the array under key name in the dictionary text [start, text.size()), appended
// to out, at most capacity in all. Returns the count stored (0 for an empty array), or -1 when the
// key is missing or its value is not a readable array.
std::int32_t collect_ref_list(const load::doc& d, std::string_view text, std::int32_t start,
                              std::string_view name, std::vector<std::int32_t>& out,
                              std::int32_t capacity);

}  // namespace kestrin::plan
