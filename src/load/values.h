// Reading values of an object's dictionary that may stand in objects of their own.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "load/doc.h"

namespace kestrin::load {

// Body of an object: its dictionary, or for other objects the text after "obj" up to "endobj".
std::string_view object_body(const doc& d, const obj_entry& e);

// Value text of the top-level key of the dictionary span [start, text.size()), or empty.
std::string_view entry_value(std::string_view text, std::int32_t start, std::string_view key);

// Value text after the key "/key" found at key_pos (-1: none), or empty.
std::string_view value_after_key(std::string_view text, std::int32_t key_pos, std::string_view key);

// The value text starting at pos: one whole reference "N G R", or what skip_pdf_value spans; empty
// when nothing readable stands there.
std::string_view value_text_at(std::string_view text, std::int32_t pos);

// The value itself, or for a reference "N G R" the body of the object it names (empty when that
// object is missing or is a stream).
std::string_view resolved_value(const doc& d, std::string_view value);

// The object a value that is a reference "N G R" names, or null (not a reference, or missing).
const obj_entry* referenced_object(const doc& d, std::string_view value);

// The array ("[...") a value is or refers to by its object number; empty when there is none.
std::string_view array_value(const doc& d, std::string_view value);

// The array ("[...") of the top-level value of key, following a reference to an array object;
// empty when there is none.
std::string_view array_entry(const doc& d, std::string_view text, std::int32_t start, std::string_view key);

// The first object header "N G obj" that starts at or after from in text: from the first digit of
// N to just past "obj"; start -1 when there is none. Damaged files nest headers inside other
// objects' text.
struct header_span {
    std::int32_t start = -1;
    std::int32_t end = -1;
};
header_span first_header_in(std::string_view text, std::int32_t from);

}  // namespace kestrin::load
