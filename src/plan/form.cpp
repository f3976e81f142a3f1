#include "plan/form.h"

#include <optional>
#include <vector>

#include "load/pages.h"
#include "load/values.h"
#include "plan/refs.h"
#include "scan/chars.h"
#include "scan/keys.h"
#include "scan/token.h"
#include "scan/value.h"

namespace kestrin::plan {

namespace {

// The field count reproduces the established counts, so its limits are part of its result.
constexpr std::int32_t top_fields_counted = 1024;  // "Fields" entries counted
constexpr std::int32_t kids_counted = 4096;        // kids counted per node
constexpr std::int32_t deepest_counted = 8;        // depths 0..8 are visited; also ends cycles
constexpr std::int32_t nodes_per_count = 200000;  // nodes visited per count: bounds shared subtrees
constexpr std::int32_t sum_cut = 100000;          // a node stops adding kids above this sum

// The form dictionary as an object of its own, named by the reference at pos.
std::optional<form_location> locate_form_object(const load::doc& d, std::string_view text,
                                                std::int32_t pos)
{
    const std::int32_t num = scan::parse_int_at(text, pos);
    if (num <= 0) return std::nullopt;
    const load::obj_entry* form = d.objs.find(num);
    if (form == nullptr) return std::nullopt;
    const load::dict_span span = d.span_of(*form);
    if (!span) return std::nullopt;
    return form_location{num, span.text, static_cast<std::int32_t>(span.text.size()), span.start};
}

}  // namespace

std::optional<form_location> find_form(const load::doc& d, std::int32_t root)
{
    const load::obj_entry* catalog = d.objs.find(root);
    if (catalog == nullptr) return std::nullopt;
    const load::dict_span span = d.span_of(*catalog);
    if (!span) return std::nullopt;
    const std::string_view text = span.text;
    const auto limit = scan::text_limit(text);
    const std::int32_t key = scan::find_key_anywhere(text, span.start, limit, scan::key::acroform);
    if (key < 0) return std::nullopt;
    const std::int32_t pos =
        scan::value_start(text, key, scan::key::acroform);
    if (pos >= limit) return std::nullopt;
    if (scan::opens_dictionary(text, pos)) return form_location{-1, text, limit, pos};
    if (scan::is_digit(static_cast<unsigned char>(text[pos])))
        return locate_form_object(d, text, pos);
    return std::nullopt;
}

std::int32_t field_node_leaf_count(const load::doc& d, std::int32_t num, std::int32_t depth,
                                   std::int32_t& nodes_left)
{
    const load::obj_entry* node = d.objs.find(num);
    if (node == nullptr) return 0;
    if (depth > deepest_counted) return 0;
    --nodes_left;
    if (nodes_left < 0) return 0;
    if (!d.span_of(*node)) return 0;
    std::vector<std::int32_t> kids;
    if (load::parse_kids(d, *node, kids, kids_counted) <= 0) return 1;
    std::int32_t sum = 0;
    for (std::int32_t kid : kids) {
        if (kid == num) continue;
        sum += field_node_leaf_count(d, kid, depth + 1, nodes_left);
        if (sum > sum_cut) return sum;
    }
    return sum;
}

std::string_view form_dict_text(const form_location& loc)
{
    if (loc.form_end >= 0 && static_cast<std::size_t>(loc.form_end) < loc.form_text.size())
        return loc.form_text.substr(0, static_cast<std::size_t>(loc.form_end));
    return loc.form_text;
}

bool form_needs_appearances(const load::doc& d, const form_location& loc)
{
    const std::string_view text = form_dict_text(loc);
    const std::int32_t end = scan::skip_pdf_value(text, loc.form_start);
    if (end <= loc.form_start) return false;
    const std::string_view value =
        load::resolved_value(d, load::entry_value(scan::cut_at(text, end), loc.form_start, scan::key::need_appearances));
    return scan::kw_at(value, 0, scan::keyword::true_value);
}

std::int32_t count_field_leaves(const load::doc& d, const form_location& loc)
{
    std::vector<std::int32_t> fields;
    if (collect_ref_list(d, form_dict_text(loc), loc.form_start, scan::key::fields, fields,
                         top_fields_counted) <= 0)
        return 0;
    std::int32_t nodes_left = nodes_per_count;
    std::int32_t total = 0;
    for (std::int32_t field : fields) total += field_node_leaf_count(d, field, 0, nodes_left);
    return total;
}

}  // namespace kestrin::plan
