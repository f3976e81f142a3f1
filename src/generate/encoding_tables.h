// The standard encodings and glyph names' characters as tools/generate_font_tables.py writes them
// (encoding_table.cpp).
#pragma once

#include <cstdint>
#include <span>

namespace kestrin::generate::table {

struct unicode_code {
    char32_t unicode = 0;
    std::uint8_t code = 0;
};

// Names are plain C strings: tables of them compile quickly and need no initialisation at run time.
struct glyph_unicode {
    const char* name;
    char32_t unicode = 0;
};

// Glyph name of each code; empty where the encoding has none.
extern const char* const standard_names[256];
extern const char* const win_ansi_names[256];
extern const char* const mac_roman_names[256];
extern const char* const pdf_doc_names[256];
extern const char* const symbol_names[256];
extern const char* const zapf_dingbats_names[256];

// Every (character, code) pair of an encoding, sorted: the inverse of the names above.
extern const std::span<const unicode_code> standard_index;
extern const std::span<const unicode_code> win_ansi_index;
extern const std::span<const unicode_code> mac_roman_index;
extern const std::span<const unicode_code> pdf_doc_index;
extern const std::span<const unicode_code> symbol_index;
extern const std::span<const unicode_code> zapf_dingbats_index;

// The character of each glyph name the encodings and the standard 14 fonts use, sorted by name.
extern const std::span<const glyph_unicode> glyph_unicode_index;

}  // namespace kestrin::generate::table
