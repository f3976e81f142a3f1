// Dictionary values and editing: value skipping, dictionary copies, name/array/box readers and the
// two editors. The view's size is the limit; positions index the view.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace kestrin::scan {

// A decimal number at pos ("-1", "+.5", "2."); pos moves past it only when a digit was read.
std::optional<double> read_real(std::string_view text, std::int32_t& pos);

// Index just past the PDF value starting at pos, or -1.
std::int32_t skip_pdf_value(std::string_view text, std::int32_t pos);

// Index just past the value at pos, for readers that must always move on: the end of the text for
// a string, array or dictionary left open (the rest is inside it), pos + 1 for a byte that starts
// no value.
std::int32_t skip_value_or_byte(std::string_view text, std::int32_t pos);

// Copy of the dictionary from its "<<" at pos to its matching ">>", or nullopt.
std::optional<std::string> dict_text_at(std::string_view text, std::int32_t pos);

// Name value (without '/', escapes decoded) of the first entry key of the dictionary at start
// (see dict_walk) that has one.
std::optional<std::string> dict_name_value(std::string_view text, std::int32_t start,
                                           std::string_view key);

// Numbers of the array whose "[" is at open, at most out.size() of them, up to its first "]"; the
// count read, or -1 when no array starts at open.
std::int32_t array_numbers(std::string_view text, std::int32_t open, std::span<double> out);

// Index of the '/' of the entry "/key" of the dictionary whose "<<" is the first token at or after
// start, or -1; keys are compared with their escapes decoded. The entries are walked key by value
// (see dict_walk), so a name that is a value, or stands in an array, a nested dictionary or a
// string, never matches.
std::int32_t find_entry_key(std::string_view text, std::int32_t start, std::string_view key);


// A rectangle as origin and size. Corners in any order are normalised; an empty box is refused.
struct box {
    double x = 0, y = 0, w = 0, h = 0;
};
// The box of the first four numbers of the array whose "[" is at open.
std::optional<box> box_of_array(std::string_view text, std::int32_t open);

// Removes the first entry "/key value" (and one space or TAB before it) from a dictionary text.
void strip_dict_entry(std::string& text, std::string_view key);

// Inserts insert just before the closing ">>"; a text not ending in ">>" is left unchanged.
void dict_append_before_close(std::string& text, std::string_view insert);

}  // namespace kestrin::scan
