// Token scanning primitives: keywords, name keys and integers found in raw PDF bytes.
//
// Every function takes the text as a std::string_view whose size is the limit: nothing at or past
// text.size() is ever read. Positions are 32-bit byte indexes into the text; -1 means not found.
#pragma once

#include <cstdint>
#include <string_view>

#include "scan/chars.h"

namespace kestrin::scan {

// First index at or after pos that is not PDF white space, or text.size(); pos when pos >= size.
std::int32_t skip_ws(std::string_view text, std::int32_t pos);

// First whole-word occurrence of kw at or after start (negative start counts as 0), or -1.
std::int32_t find_kw(std::string_view text, std::int32_t start, std::string_view kw);

// True when a whole-word occurrence of kw begins exactly at pos.
bool kw_at(std::string_view text, std::int32_t pos, std::string_view kw);

// Index of the '/' of the first key "/name" in [start, min(size, stop)) not followed by a
// name-continuation byte, or -1. Purely textual: nesting, strings and streams are not respected.
std::int32_t find_name(std::string_view text, std::int32_t start, std::int32_t stop,
                       std::string_view name);

// As find_name for the key "Type", but only outside strings and comments at dictionary depth 0 or 1.
std::int32_t find_name_top(std::string_view text, std::int32_t start, std::int32_t stop,
                           std::string_view name);

// Integer at pos after PDF white space ("-" allowed, "+" not; wraps in 32 bits), or -1.
// pos advances past the digits only on success.
std::int32_t parse_int_at(std::string_view text, std::int32_t& pos);

// Integer of an object-stream header ('+' or '-' allowed), or -1; pos always advances (see .cpp).
std::int32_t read_int_adv(std::string_view text, std::int32_t& pos);

}  // namespace kestrin::scan
