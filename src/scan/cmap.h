// Reading the data of a ToUnicode CMap (ISO 32000-1 9.10.3): its codespace and the one character
// each code shows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace kestrin::scan {

// The codes of one length from low to high ("begincodespacerange").
struct codespace_range {
    std::uint32_t low = 0;
    std::uint32_t high = 0;
    std::int32_t bytes = 0;  // 1 to 4
};

// A code and the character it shows.
struct code_character {
    std::uint32_t code = 0;
    char32_t character = 0;
};

struct to_unicode_cmap {
    std::vector<codespace_range> codespace;
    // In the order the data gives them; a code given twice shows the later character.
    std::vector<code_character> mappings;
};

// Mappings read from one CMap at most: a whole CJK font maps fewer than 100,000 codes, and this
// bounds what ranges in hostile data can make of a few bytes.
inline constexpr std::size_t max_cmap_mappings = std::size_t{1} << 18;
// Codes one range may span: as many as a two-byte codespace holds. Wider ranges are left out.
inline constexpr std::uint32_t max_cmap_range_codes = std::uint32_t{1} << 16;

// The codespace and mappings of a ToUnicode CMap's data: "bfchar" entries and "bfrange" entries in
// both forms (a first destination that the following codes count up from in code points, or an
// array of destinations). Codes are 1 to 4 bytes; destinations are UTF-16BE strings (a single
// byte, as some producers write, is that byte's character). A destination of several characters
// (a ligature's "ffi") is left out: no one character stands for its code. A section ends at its
// end keyword or at any other keyword or number, so a damaged section never swallows the next;
// what cannot be read (a name, an odd string) is passed over.
to_unicode_cmap read_to_unicode_cmap(std::string_view data);

}  // namespace kestrin::scan
