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

// An entry of a page's "Annots": a reference, or a dictionary written in the array itself (not
// conforming, but common, and viewers draw it).
struct annotation_ref {
    std::int32_t obj = 0;     // 0 for a dictionary written in place
    std::string_view direct;  // that dictionary's text, from "<<" to ">>"
    bool operator==(const annotation_ref&) const = default;
};

// The entries of the "Annots" array of the page dictionary [start, text.size()), whether the
// array stands in the page or in an object of its own, appended to out in order.
void read_annotation_list(const load::doc& d, std::string_view text, std::int32_t start,
                          std::vector<annotation_ref>& out);

}  // namespace kestrin::plan
