// Finding the indirect references a text makes.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace kestrin::scan {

// The highest object number N of a reference "N G R" in text whose N is at most cap, or 0.
// Purely textual, like the other scanners: references inside strings and content count too.
std::int32_t highest_reference(std::string_view text, std::int32_t cap);

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

}  // namespace kestrin::scan
