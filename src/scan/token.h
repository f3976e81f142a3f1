// Token scanning primitives: keywords, name keys and integers found in raw PDF bytes.
//
// Every function takes the text as a std::string_view whose size is the limit: nothing at or past
// text.size() is ever read. Positions are 32-bit byte indexes into the text; -1 means not found.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "scan/chars.h"

namespace kestrin::scan {

// The text's limit as a position. Texts of 2 GiB or more are seen as their first INT32_MAX bytes.
constexpr std::int32_t text_limit(std::string_view text)
{
    constexpr std::size_t max_pos = 0x7fffffff;
    return static_cast<std::int32_t>(text.size() < max_pos ? text.size() : max_pos);
}

// True when pos lies in [0, limit] and the n bytes from it end at or before limit.
constexpr bool has_room(std::int32_t pos, std::int32_t n, std::int32_t limit)
{
    return pos >= 0 && pos <= limit && n >= 0 && n <= limit - pos;
}

// The view cut to stop when stop is the smaller limit.
constexpr std::string_view cut_at(std::string_view text, std::int32_t stop)
{
    if (stop < 0) return text.substr(0, 0);
    return stop < text_limit(text) ? text.substr(0, static_cast<std::size_t>(stop)) : text;
}

// The n bytes at pos; the caller has checked them against the limit.
constexpr std::string_view bytes_at(std::string_view text, std::int32_t pos, std::int32_t n)
{
    return text.substr(static_cast<std::size_t>(pos), static_cast<std::size_t>(n));
}

// The byte at i as unsigned; the caller has checked i against the limit.
inline unsigned char byte_at(std::string_view text, std::int32_t i)
{
    return static_cast<unsigned char>(text[static_cast<std::size_t>(i)]);
}

// Index just past the ")" that closes a literal string whose body starts at pos (just after its
// "("), or -1 when the string is still open at the limit. Nested "(" ")" pairs count; a backslash
// steps over the byte after it.
std::int32_t skip_literal_string(std::string_view text, std::int32_t pos);

// First index at or after pos that is not PDF white space, or text.size(); pos when pos >= size.
std::int32_t skip_ws(std::string_view text, std::int32_t pos);

// First index at or after pos that is neither PDF white space nor part of a comment, or
// text.size(); pos when pos < 0.
std::int32_t skip_ws_and_comments(std::string_view text, std::int32_t pos);

// First whole-word occurrence of kw at or after start (negative start counts as 0), or -1.
std::int32_t find_kw(std::string_view text, std::int32_t start, std::string_view kw);

// True when a whole-word occurrence of kw begins exactly at pos.
bool kw_at(std::string_view text, std::int32_t pos, std::string_view kw);

// First index at or after start (negative start counts as 0) holding c, or -1.
std::int32_t find_char(std::string_view text, std::int32_t start, char c);

// Two key lookups. find_key_anywhere is purely textual: it finds "/name" wherever it stands,
// nested dictionaries, arrays, strings and streams included. find_top_level_key finds only a key of
// the dictionary itself (depth 0 or 1 of the text from start, outside strings and comments).

// Index of the '/' of the first "/name" in [start, min(size, stop)) not followed by a
// name-continuation byte, or -1.
std::int32_t find_key_anywhere(std::string_view text, std::int32_t start, std::int32_t stop,
                               std::string_view name);

// Index of the '/' of the first key "/name" of the dictionary in [start, min(size, stop)), or -1.
std::int32_t find_top_level_key(std::string_view text, std::int32_t start, std::int32_t stop,
                                std::string_view name);

// find_top_level_key for several keys in one walk: found[i] becomes what find_top_level_key would
// give for names[i]. Both spans have the same size.
void find_top_level_keys(std::string_view text, std::int32_t start, std::int32_t stop,
                         std::span<const std::string_view> names, std::span<std::int32_t> found);

// A find_top_level_key walk that can be resumed past a key the caller rejected, keeping its depth.
struct top_level_walk {
    std::int32_t pos = 0;
    std::int32_t depth = 0;
};

// Walks on from walk.pos to the next key as find_top_level_key does and leaves walk.pos on its
// "/"; -1 when there is none.
std::int32_t next_top_level_key(std::string_view text, std::int32_t stop, std::string_view name,
                                top_level_walk& walk);

// The name whose "/" is at slash (which the caller has checked), #xx escapes decoded; end becomes
// the index just past it.
std::string read_name(std::string_view text, std::int32_t slash, std::int32_t& end);

// Every name at the top level of the dictionary that opens at or after start, in order: its keys,
// and the names among its values and in its array values (counting those too only makes a caller
// avoiding a name more careful). #xx escapes are decoded.
std::vector<std::string> top_level_names(std::string_view text, std::int32_t start, std::int32_t stop);

// True when "<<" stands at pos.
bool opens_dictionary(std::string_view text, std::int32_t pos);

// First byte of the value of the key "/name" whose '/' is at key_pos: past the name and the white
// space after it.
std::int32_t value_start(std::string_view text, std::int32_t key_pos, std::string_view name);

// Integer at pos after PDF white space ("-" allowed, "+" not; wraps in 32 bits), or -1.
// pos advances past the digits only on success.
std::int32_t parse_int_at(std::string_view text, std::int32_t& pos);

// A non-negative integer of at most INT32_MAX written exactly at pos (no sign, no white space
// before it); pos moves past its digits on success. False for no digit or a larger number.
bool read_unsigned(std::string_view text, std::int32_t& pos, std::int32_t& value);

// Integer of an object-stream header ('+' or '-' allowed), or -1; pos always advances (see .cpp).
std::int32_t read_int_adv(std::string_view text, std::int32_t& pos);

}  // namespace kestrin::scan
