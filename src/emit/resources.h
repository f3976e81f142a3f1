// Page resource merging: the names of the new XObjects, font and graphics state reach a page's
// resources, inline in its dictionary or through overrides written in place of input objects.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "load/doc.h"

namespace kestrin::interface {
struct fl_ctx;
}

namespace kestrin::emit {

inline constexpr std::string_view key_xobject = "XObject";
inline constexpr std::string_view key_extgstate = "ExtGState";
inline constexpr std::string_view key_font = "Font";

// One new resource entry: its category dictionary and its text "/Name N 0 R".
struct res_pair {
    std::string_view category;
    std::string entry;
};

// Entries waiting for dictionaries that are objects of their own (resources and category
// dictionaries, often shared by many pages). They are written into the overrides once, by
// flush_merges, so that a dictionary shared by many pages is rewritten once and not per page.
struct pending_merges {
    struct object_entries {
        std::vector<res_pair> pairs;            // in first-seen order
        std::unordered_set<std::string> seen;   // category + entry, to name each object once
    };
    std::unordered_map<std::int32_t, object_entries> resources;   // resources objects
    std::unordered_map<std::int32_t, object_entries> categories;  // category objects
};

// Registers text as the override of object num; when num has one already, the first text stays.
void ov_add(interface::fl_ctx& ctx, std::int32_t num, std::string text);

// Merges the pairs into the resources dictionary text r and returns the result. A category that is
// an object of its own receives its entries through pending, which accumulates every merge aimed
// at it.
std::string res_merge(pending_merges& pending, std::string r, std::span<const res_pair> pairs);

// Adds the pairs to the resources of page, whose replacement dictionary text is page_text, and
// returns the page text to keep: with its own inline resources edited, unchanged when its resources
// are an object of their own (that object gets an override), or with an inline copy of the
// inherited resources (a fresh dictionary when nothing is inherited).
std::string page_add_resources(interface::fl_ctx& ctx, pending_merges& pending,
                               std::string page_text, const load::obj_entry& page,
                               std::span<const res_pair> pairs);

// Writes the pending entries into the overrides of their objects (starting from an override the
// object already has) and empties pending.
void flush_merges(interface::fl_ctx& ctx, pending_merges& pending);

}  // namespace kestrin::emit
