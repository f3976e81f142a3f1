// Finding the indirect references a text makes.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace kestrin::scan {

// The highest object number N of a reference "N G R" in text whose N is at most cap, or 0.
// Purely textual, like the other scanners: references inside strings and content count too.
std::int32_t highest_reference(std::string_view text, std::int32_t cap);

// Every number that a run of decimal digits in text spells, from 1 to cap, appended to out in
// order: whatever any reader could take for an object number, and more (digits of reals, names
// and strings count too).
void append_digit_runs(std::string_view text, std::int32_t cap, std::vector<std::int32_t>& out);

// What reading an array of references met before its "]" (or the end of the text).
struct reference_array {
    std::int32_t stored = 0;         // numbers appended
    bool holds_dictionary = false;  // an inline dictionary "<<" stood among the references
};

// Whether the reading stops at an inline dictionary or reads the integers inside it as well.
enum class on_inline_dictionary { stop, read_on };

// Object numbers N of the references "N G R" (or bare integers) of the array whose "[" is at open,
// appended to out, at most capacity of them; numbers of 0 and below are passed over. Anything that
// does not start an integer is passed over byte by byte.
reference_array read_reference_array(std::string_view text, std::int32_t open, std::int32_t capacity,
                                     std::vector<std::int32_t>& out, on_inline_dictionary at_dictionary);

// One element of an array that lists objects by reference but may hold a dictionary written in
// place (as "Annots" arrays often do): the referenced number, or the dictionary's extent.
struct listed_object {
    std::int32_t obj = 0;          // 0 for a dictionary written in place
    std::int32_t dict_open = -1;   // its "<<"
    std::int32_t dict_end = -1;    // just past its ">>"
};

// The references "N G R" (or bare integers, as read_reference_array takes them) and the dictionaries
// of the array whose "[" is at open, in order, appended to out. Other values are passed over whole;
// the reading ends at the array's "]" or the end of the text.
void read_listed_objects(std::string_view text, std::int32_t open, std::vector<listed_object>& out);

}  // namespace kestrin::scan
