// The interactive form: where its dictionary lies, and how many terminal fields it has.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "load/doc.h"

namespace kestrin::plan {

struct form_location {
    std::int32_t form_obj = -1;   // object number, -1 when inline in the catalog
    std::string_view form_text;   // the text holding the form dictionary, cut at form_end
    std::int32_t form_end = 0;
    std::int32_t form_start = 0;
};

// The text that holds the form dictionary, cut at form_end.
std::string_view form_dict_text(const form_location& loc);

// The form dictionary the catalog root names, or nullopt.
std::optional<form_location> find_form(const load::doc& d, std::int32_t root);

// True when the form's "NeedAppearances" is true: viewers are to draw its fields' values
// themselves, as the appearance streams do not show them.
bool form_needs_appearances(const load::doc& d, const form_location& loc);

// Terminal fields of the form, within the depth and node-budget limits.
std::int32_t count_field_leaves(const load::doc& d, const form_location& loc);

// Terminal fields at and below field num at depth (0 for a top-level field); each node visited
// spends one of nodes_left, and none is visited once it is spent.
std::int32_t field_node_leaf_count(const load::doc& d, std::int32_t num, std::int32_t depth,
                                   std::int32_t& nodes_left);

}  // namespace kestrin::plan
