// The interactive form: where its dictionary lies, and how many terminal fields it has.
#pragma once

#include <cstdint>
#include <string_view>

#include "load/doc.h"

namespace kestrin::plan {

struct form_location {
    std::int32_t form_obj = -1;   // object number, -1 when inline in the catalog or not found
    std::string_view form_text;   // the text holding the form dictionary, cut at form_end
    std::int32_t form_end = 0;
    std::int32_t form_start = 0;
};

// The text that holds the form dictionary, cut at form_end.
std::string_view form_dict_text(const form_location& loc);

// 1 when the catalog names a form dictionary (then loc is filled), else 0.
int find_acroform(const load::doc& d, std::int32_t root, form_location& loc);

// Terminal fields of the form, within the depth and node-budget limits.
std::int32_t count_field_leaves(const load::doc& d, const form_location& loc);

// Terminal fields at and below field num at depth (0 for a top-level field); spends g_leaf_budget.
std::int32_t field_node_leaf_count(const load::doc& d, std::int32_t num, std::int32_t depth);

// Nodes a field count may still visit; reset by every count_field_leaves that has fields.
// Process-wide, like the error text: calls into the library must not overlap.
extern std::int32_t g_leaf_budget;

}  // namespace kestrin::plan
