// Simple-font encodings (ISO 32000-1 9.6.6, Annex D): code to glyph name, glyph name to Unicode,
// and Unicode back to code through a sorted index.
#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "generate/encoding_tables.h"

namespace kestrin::generate {

enum class base_encoding { standard, win_ansi, mac_roman, pdf_doc, symbol, zapf_dingbats };

// The encoding an /Encoding or /BaseEncoding name gives ("WinAnsiEncoding", "MacRomanEncoding",
// "StandardEncoding"), or nullopt for any other name.
std::optional<base_encoding> encoding_named(std::string_view name);

// The character a glyph name stands for: the Adobe Glyph List's, else the "uniXXXX" or "uXXXX"
// to "uXXXXXX" forms of that list's rules; nullopt for a name that gives none.
std::optional<char32_t> glyph_unicode(std::string_view glyph);

// One entry of a Differences array: the code and the glyph name it now shows.
struct difference {
    std::uint8_t code = 0;
    std::string glyph;
};

// A base encoding with Differences on top. The inverse lookup is a binary search in the base's
// index and in the differences' own sorted list; codes that a difference changed are skipped in
// the base's index.
class encoding {
public:
    explicit encoding(base_encoding base, std::vector<difference> differences = {});

    // Glyph name of code; empty when the encoding has none.
    std::string_view glyph_name(std::uint8_t code) const;
    // The character code shows, or nullopt.
    std::optional<char32_t> unicode(std::uint8_t code) const;
    // The lowest code that shows the character (or a character that looks the same: a no-break
    // space as a space, a soft hyphen as a hyphen), or nullopt when the encoding has none.
    std::optional<std::uint8_t> code_of(char32_t character) const;

private:
    std::optional<std::uint8_t> exact_code_of(char32_t character) const;

    std::span<const char* const, 256> base_names_;
    std::span<const table::unicode_code> base_index_;
    std::vector<difference> differences_;          // sorted by code, one per code
    std::vector<table::unicode_code> added_index_;  // the differences' characters, sorted
    std::bitset<256> changed_;
};

}  // namespace kestrin::generate
