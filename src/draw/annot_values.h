// Reading the values an annotation's picture is made from: entries of the annotation's own
// dictionary only (never a name inside a value, a nested dictionary, an array or a string), each
// value followed through an indirect reference to the object that holds it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "draw/colour.h"
#include "load/doc.h"

namespace kestrin::draw {

// The annotation's dictionary: the span [start, text.size()) of its object, and the document its
// references lead into.
struct annot_dict {
    const load::doc& doc;
    std::string_view text;
    std::int32_t start = 0;
};

// The text of value, or, when value is an indirect reference "N G R", the body of object N (one
// step: a reference to a reference is not followed further). Empty when the object is missing or
// is a stream.
std::string_view resolved(const load::doc& doc, std::string_view value);

// The value of the dictionary's entry key, resolved; empty without one.
std::string_view entry_value(const annot_dict& a, std::string_view key);

// The numbers of the array value of key, at most max of them; nullopt when key has no array value.
std::optional<std::vector<double>> entry_numbers(const annot_dict& a, std::string_view key, std::size_t max);

// The colour of the array value of key; nullopt without one, or when its count is no colour's.
std::optional<colour> entry_colour(const annot_dict& a, std::string_view key);

// The decoded bytes of the string value (literal or hexadecimal) of key; nullopt without one.
std::optional<std::string> entry_string(const annot_dict& a, std::string_view key);

// The number value of key; nullopt without one.
std::optional<double> entry_number(const annot_dict& a, std::string_view key);

// The paths of "InkList", an array of arrays (each inner array resolved on its own), one per inner
// array; nullopt without an array value. Elements that are not arrays are passed over.
std::optional<std::vector<std::vector<double>>> ink_list(const annot_dict& a);

// The border width: "W" of the border style "BS" when it has one (ISO 32000-1 12.5.4), else the
// third number of "Border", else 1; negative widths are passed over.
double border_width(const annot_dict& a);

}  // namespace kestrin::draw
