#include "emit/resources.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "base/append.h"
#include "scan/frame.h"
#include "scan/keys.h"
#include "scan/token.h"
#include "scan/value.h"

namespace kestrin::emit {

namespace {

constexpr std::string_view empty_dict = "<<>>";

// Real page trees are a few levels deep; a longer "Parent" chain is damaged or cyclic.
constexpr int parent_step_budget = 64;

// The "/" of key at the top level of the dictionary that opens at start, or -1.
std::int32_t top_key(std::string_view text, std::int32_t start, std::string_view key)
{
    return scan::find_top_level_key(text, start, scan::text_limit(text), key);
}

// First byte of the value of the key whose "/" is at key_pos.
std::int32_t value_at(std::string_view text, std::int32_t key_pos, std::string_view key)
{
    return scan::value_start(text, key_pos, key);
}

// Object number of the reference whose first digit is at pos, or -1.
std::int32_t ref_at(std::string_view text, std::int32_t pos)
{
    if (pos >= scan::text_limit(text) || !scan::is_digit(scan::byte_at(text, pos))) return -1;
    std::int32_t num = scan::parse_int_at(text, pos);
    return num > 0 ? num : -1;
}

// Dictionary text of object num as the output will hold it: its override when it has one, so that
// merges aimed at one object build on each other.
std::optional<std::string> object_dict_text(const load::doc& d, const overrides& replaced,
                                            std::int32_t num)
{
    if (num <= 0) return std::nullopt;
    if (const std::string* text = replaced.find(num)) return *text;
    const load::obj_entry* e = d.objs.find(num);
    if (e == nullptr) return std::nullopt;
    const load::dict_span span = d.span_of(*e);
    if (!span) return std::nullopt;
    return scan::dict_text_at(span.text, span.start);
}

void add_pending(pending_merges::object_entries& target, const resource_entry& p)
{
    if (target.seen.insert(std::string(p.category) + p.entry).second) target.pairs.push_back(p);
}

// The entries of one category, in order, as the text inserted before its dictionary's ">>".
struct category_group {
    std::string_view category;
    std::vector<std::string_view> entries;

    std::string inserted() const
    {
        std::string text;
        for (std::string_view e : entries) text.append(" ").append(e).append(" ");
        return text;
    }
};

std::vector<category_group> group_by_category(std::span<const resource_entry> pairs)
{
    std::vector<category_group> groups;
    for (const resource_entry& p : pairs) {
        auto it = std::find_if(groups.begin(), groups.end(),
                               [&](const category_group& g) { return g.category == p.category; });
        if (it == groups.end()) it = groups.insert(groups.end(), {p.category, {}});
        it->entries.push_back(p.entry);
    }
    return groups;
}

// Adds one category's entries to r: a new category dictionary " /C << E1  E2 >>", entries inserted
// before an inline category's ">>", or entries pending for a category that is an object.
void merge_group(pending_merges& pending, std::string& r, const category_group& g)
{
    const std::int32_t key = top_key(r, 0, g.category);
    if (key < 0) {
        const std::string rest = g.inserted();
        // The first entry opens the dictionary; the rest follow as if inserted one by one.
        scan::dict_append_before_close(r, " /" + std::string(g.category) + " << " + rest.substr(1) + ">>");
        return;
    }
    const std::int32_t value = value_at(r, key, g.category);
    if (scan::opens_dictionary(r, value)) {
        const std::int32_t close = scan::find_dict_close(r, value, scan::text_limit(r));
        if (close >= 0) r.insert(static_cast<std::size_t>(close), g.inserted());
        return;
    }
    // A name, null or an array in place of a category dictionary is left alone.
    if (const std::int32_t num = ref_at(r, value); num > 0) {
        pending_merges::object_entries& target = pending.categories[num];
        for (std::string_view e : g.entries) add_pending(target, {g.category, std::string(e)});
    }
}

// Resources that the dictionary span itself names: an inline copy or the referenced object's text.
std::optional<std::string> own_resources(const load::doc& d, const overrides& replaced,
                                         const load::dict_span& span)
{
    const std::int32_t key = top_key(span.text, span.start, scan::key::resources);
    if (key < 0) return std::nullopt;
    const std::int32_t value = value_at(span.text, key, scan::key::resources);
    if (scan::opens_dictionary(span.text, value)) return scan::dict_text_at(span.text, value);
    return object_dict_text(d, replaced, ref_at(span.text, value));
}

std::int32_t parent_of(const load::doc& d, const load::obj_entry& e)
{
    const load::dict_span span = d.span_of(e);
    if (!span) return -1;
    const std::int32_t key = top_key(span.text, span.start, scan::key::parent);
    return key < 0 ? -1 : ref_at(span.text, value_at(span.text, key, scan::key::parent));
}

// Resources the page inherits from its nearest ancestor that has them.
std::optional<std::string> inherited_resources(const load::doc& d, const overrides& replaced,
                                               const load::obj_entry& page)
{
    std::vector<std::int32_t> visited{page.num};
    std::int32_t num = parent_of(d, page);
    for (int step = 0; step < parent_step_budget && num > 0; ++step) {
        if (std::find(visited.begin(), visited.end(), num) != visited.end()) break;
        visited.push_back(num);
        const load::obj_entry* node = d.objs.find(num);
        if (node == nullptr) break;
        const load::dict_span span = d.span_of(*node);
        if (!span) break;
        if (std::optional<std::string> r = own_resources(d, replaced, span)) return r;
        num = parent_of(d, *node);
    }
    return std::nullopt;
}

// Edits the page's inline resources dictionary inside its replacement text p.
std::string merge_inline(pending_merges& pending, std::string p, std::span<const resource_entry> pairs)
{
    const std::int32_t key = top_key(p, 0, scan::key::resources);
    if (key < 0) return p;
    const std::int32_t value = value_at(p, key, scan::key::resources);
    std::optional<std::string> copy = scan::dict_text_at(p, value);
    const std::int32_t end = scan::skip_pdf_value(p, value);
    if (!copy || end < value) return p;
    const std::string merged = merge_resources(pending, std::move(*copy), pairs);
    p.replace(static_cast<std::size_t>(value), static_cast<std::size_t>(end - value), merged);
    return p;
}

// The page has no usable resources of its own: it gets an inline copy of what it inherits (or a
// fresh dictionary) with the new entries, so that old and new names both resolve.
std::string give_resources(const load::doc& d, const overrides& replaced, pending_merges& pending,
                           std::string p, const load::obj_entry& page,
                           std::span<const resource_entry> pairs, bool has_unusable_key)
{
    if (has_unusable_key) scan::strip_dict_entry(p, scan::key::resources);
    std::string base = inherited_resources(d, replaced, page).value_or(std::string(empty_dict));
    const std::string merged = merge_resources(pending, std::move(base), pairs);
    scan::dict_append_before_close(p, " /" + std::string(scan::key::resources) + " " + merged);
    return p;
}

// A resources object takes the pairs when it has a dictionary; once it has taken some, it has.
bool pend_resources_object(const load::doc& d, const overrides& replaced, pending_merges& pending,
                           std::int32_t num, std::span<const resource_entry> pairs)
{
    if (num <= 0) return false;
    auto it = pending.resources.find(num);
    if (it == pending.resources.end()) {
        if (!object_dict_text(d, replaced, num)) return false;
        it = pending.resources.emplace(num, pending_merges::object_entries{}).first;
    }
    for (const resource_entry& p : pairs) add_pending(it->second, p);
    return true;
}

// The resources dictionary in effect on page, as page_add_resources finds it: its own when they are
// a dictionary, else those it inherits.
std::optional<std::string> resources_in_effect(const load::doc& d, const overrides& replaced,
                                               const load::obj_entry& page)
{
    const load::dict_span span = d.span_of(page);
    if (!span) return std::nullopt;
    if (std::optional<std::string> own = own_resources(d, replaced, span)) return own;
    return inherited_resources(d, replaced, page);
}

}  // namespace

std::string page_names::xobject(std::int32_t num) const
{
    auto it = renamed_xobjects.find(num);
    return it != renamed_xobjects.end() ? it->second : base::to_text("Fl", num);
}

names_in_use::names_in_use(const load::doc& d, const load::obj_entry& page) : doc_(d)
{
    // Nothing is merged before every page has its names, so no override exists yet: these are
    // the input's resources.
    const overrides none;
    resources_ = resources_in_effect(d, none, page);
}

std::unordered_set<std::string> names_in_use::of(std::string_view category) const
{
    if (!resources_) return {};
    const std::string& r = *resources_;
    const std::int32_t key = top_key(r, 0, category);
    if (key < 0) return {};
    const std::int32_t value = value_at(r, key, category);
    std::vector<std::string> names;
    if (scan::opens_dictionary(r, value)) {
        names = scan::top_level_names(r, value, scan::text_limit(r));
    } else if (const std::int32_t num = ref_at(r, value); num > 0) {
        const overrides none;
        if (std::optional<std::string> text = object_dict_text(doc_, none, num))
            names = scan::top_level_names(*text, 0, scan::text_limit(*text));
    }
    return {std::make_move_iterator(names.begin()), std::make_move_iterator(names.end())};
}

std::string free_name(const std::unordered_set<std::string>& in_use, std::string_view preferred)
{
    std::string name(preferred);
    for (std::int32_t k = 1; in_use.contains(name); ++k) name = base::to_text(preferred, '_', k);
    return name;
}

std::string* overrides::find(std::int32_t num)
{
    auto it = index.find(num);
    return it == index.end() ? nullptr : &texts[static_cast<std::size_t>(it->second)];
}

const std::string* overrides::find(std::int32_t num) const
{
    auto it = index.find(num);
    return it == index.end() ? nullptr : &texts[static_cast<std::size_t>(it->second)];
}

void overrides::add(std::int32_t num, std::string text)
{
    if (find(num) != nullptr) return;
    index.emplace(num, static_cast<std::int32_t>(keys.size()));
    keys.push_back(num);
    texts.push_back(std::move(text));
}

void overrides::set(std::int32_t num, std::string text)
{
    if (std::string* current = find(num))
        *current = std::move(text);
    else
        add(num, std::move(text));
}

std::string merge_resources(pending_merges& pending, std::string r, std::span<const resource_entry> pairs)
{
    for (const category_group& g : group_by_category(pairs)) merge_group(pending, r, g);
    return r;
}

std::string page_add_resources(const load::doc& d, const overrides& replaced,
                               pending_merges& pending, std::string page_text,
                               const load::obj_entry& page, std::span<const resource_entry> pairs)
{
    if (pairs.empty()) return page_text;
    const load::dict_span span = d.span_of(page);
    if (!span) return page_text;
    const std::int32_t key = top_key(span.text, span.start, scan::key::resources);
    if (key >= 0) {
        const std::int32_t value = value_at(span.text, key, scan::key::resources);
        if (scan::opens_dictionary(span.text, value))
            return merge_inline(pending, std::move(page_text), pairs);
        if (pend_resources_object(d, replaced, pending, ref_at(span.text, value), pairs)) return page_text;
    }
    return give_resources(d, replaced, pending, std::move(page_text), page, pairs, key >= 0);
}

void flush_merges(const load::doc& d, overrides& replaced, pending_merges& pending)
{
    // Resources objects first: their category objects join the pending categories.
    for (auto& [num, entries] : pending.resources) {
        std::optional<std::string> text = object_dict_text(d, replaced, num);
        if (text) replaced.set(num, merge_resources(pending, std::move(*text), entries.pairs));
    }
    for (auto& [num, entries] : pending.categories) {
        std::optional<std::string> text = object_dict_text(d, replaced, num);
        if (!text) continue;
        std::string inserted;
        for (const resource_entry& p : entries.pairs) inserted.append(" ").append(p.entry).append(" ");
        scan::dict_append_before_close(*text, inserted);
        replaced.set(num, std::move(*text));
    }
    pending = pending_merges{};
}

}  // namespace kestrin::emit
