// Page resource merging: the names of the new XObjects, font and graphics state reach a page's
// resources, inline in its dictionary or through overrides written in place of input objects. The
// names are chosen so that none is one the page's resources already use.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "load/doc.h"

namespace kestrin::emit {

// Object number -> replacement dictionary text, written in place of the input object. Merges
// aimed at one object accumulate on its one replacement.
struct overrides {
    std::vector<std::int32_t> keys;
    std::vector<std::string> texts;
    std::unordered_map<std::int32_t, std::int32_t> index;  // number -> position in keys/texts

    std::string* find(std::int32_t num);
    const std::string* find(std::int32_t num) const;
    // Registers text for num; when num has one already, the first text stays.
    void add(std::int32_t num, std::string text);
    // Registers or replaces the text for num.
    void set(std::int32_t num, std::string text);
};

// One new resource entry: its category dictionary and its text "/Name N 0 R".
struct resource_entry {
    std::string_view category;
    std::string entry;
};

// Entries waiting for dictionaries that are objects of their own (resources and category
// dictionaries, often shared by many pages). They are written into the overrides once, by
// flush_merges, so that a dictionary shared by many pages is rewritten once and not per page.
struct pending_merges {
    struct object_entries {
        std::vector<resource_entry> pairs;            // in first-seen order
        std::unordered_set<std::string> seen;   // category + entry, to name each object once
    };
    std::unordered_map<std::int32_t, object_entries> resources;   // resources objects
    std::unordered_map<std::int32_t, object_entries> categories;  // category objects
};

// The names under which one page's new content reaches the new objects (without "/").
struct page_names {
    std::string translucent_state = "GSa";
    std::string font = "FlF";
    std::unordered_map<std::int32_t, std::string> renamed_xobjects;  // number -> name other than "Fl<N>"

    std::string xobject(std::int32_t num) const;
};

// The names the resources in effect on page (its own, else those it inherits) already give in
// one category, #xx escapes decoded, read from the input.
class names_in_use {
public:
    names_in_use(const load::doc& d, const load::obj_entry& page);
    std::unordered_set<std::string> of(std::string_view category) const;

private:
    const load::doc& doc_;
    std::optional<std::string> resources_;
};

// preferred when in_use lacks it, else the first of "preferred_1", "preferred_2", ... it lacks.
std::string free_name(const std::unordered_set<std::string>& in_use, std::string_view preferred);

// Merges the pairs into the resources dictionary text r and returns the result. A category that is
// an object of its own receives its entries through pending, which accumulates every merge aimed
// at it.
std::string merge_resources(pending_merges& pending, std::string r, std::span<const resource_entry> pairs);

// Adds the pairs to the resources of page, whose replacement dictionary text is page_text, and
// returns the page text to keep: with its own inline resources edited, unchanged when its resources
// are an object of their own (that object gets an override), or with an inline copy of the
// inherited resources (a fresh dictionary when nothing is inherited).
std::string page_add_resources(const load::doc& d, const overrides& replaced,
                               pending_merges& pending, std::string page_text,
                               const load::obj_entry& page, std::span<const resource_entry> pairs);

// Writes the pending entries into the overrides of their objects (starting from an override the
// object already has) and empties pending.
void flush_merges(const load::doc& d, overrides& replaced, pending_merges& pending);

}  // namespace kestrin::emit
