// Reading a dictionary entry by entry, so that a key is only ever found at the dictionary's own
// level: never inside a nested dictionary, an array or a string, and never a name that is a value.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace kestrin::scan {

// True when the raw bytes of a name spell name once their escapes are decoded.
bool name_equals(std::string_view raw, std::string_view name);

// The entries of one dictionary, in order. Starts at the "<<" at start (or, when start holds no
// "<<", inside a dictionary's body) and ends at the matching ">>" or the end of the text.
class dict_walk {
public:
    dict_walk(std::string_view text, std::int32_t start);

    // Moves to the next entry; false when none is left.
    bool next();

    std::string_view raw_key() const { return raw_key_; }  // the key's bytes, escapes undecoded
    std::int32_t key_pos() const { return key_pos_; }        // position of the key's "/"
    std::int32_t value() const { return value_; }            // position of the value's first byte

private:
    std::string_view text_;
    std::int32_t pos_ = 0;
    std::string_view raw_key_;
    std::int32_t key_pos_ = -1;
    std::int32_t value_ = -1;
};

// Position of the value of the first entry whose key is key, or -1.
std::int32_t entry_value_at(std::string_view text, std::int32_t start, std::string_view key);

// The positions of the values of the first entries whose keys are keys[i], found in one walk over
// the dictionary's top level: at[i], or -1 where absent. keys and at have the same size.
void entry_values_at(std::string_view text, std::int32_t start, std::span<const std::string_view> keys,
                     std::span<std::int32_t> at);

// True when the value at pos is the name name (escapes decoded).
bool name_value_is(std::string_view text, std::int32_t pos, std::string_view name);

// The decoded name at pos ("/..."), or nullopt when no name stands there.
std::optional<std::string> name_at(std::string_view text, std::int32_t pos);

}  // namespace kestrin::scan
