// Page tree resolution and the reading of "Kids" arrays.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "base/status.h"
#include "load/doc.h"

namespace kestrin::load {

// Kids the walk of the page tree keeps of a node whose object (header to "endobj") or object
// stream text has the given length.
std::int32_t kids_capacity_for(std::int64_t length);
std::int32_t kids_capacity(const obj_entry& e);

// Kids read from the "Kids" array of the dictionary at start in text, as parse_kids reads them.
std::int32_t kids_in(std::string_view text, std::int32_t start, std::vector<std::int32_t>& out,
                     std::int32_t capacity);

// Kids of a page-tree node or form field: object numbers of its "Kids" array within its dictionary
// span, appended to out, at most capacity. Returns the count stored, -1 without a dictionary or a
// "Kids" array, -2 when the array holds an inline dictionary.
std::int32_t parse_kids(const doc& d, const obj_entry& node, std::vector<std::int32_t>& out,
                        std::int32_t capacity);

// The first "/Pages" in text from start that a positive number follows: the page-tree root a
// catalog names, or -1.
std::int32_t pages_number_in(std::string_view text, std::int32_t start);

// The page-tree root the catalog names, read from the range the loader reads it in, or -1.
std::int32_t pages_entry(const doc& d, const obj_entry& catalog);

// Fills d.pages from the catalog d.root, or tells why the page tree cannot be walked.
base::status resolve_page_tree(doc& d);

}  // namespace kestrin::load
