// Decoding the bytes of literal and hexadecimal strings, and of names.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kestrin::scan {

// Decoded bytes of the literal string whose "(" is at open, or nullopt when it is not closed
// before the end of text.
std::optional<std::string> read_literal_string(std::string_view text, std::int32_t open);

// Decoded bytes of the hex string whose "<" is at open, or nullopt when no ">" closes it.
std::optional<std::string> read_hex_string(std::string_view text, std::int32_t open);

// The bytes of a name written without its '/': each "#xx" (two hex digits) is one byte; a '#'
// without two hex digits after it stays as it is, as PDF 1.1 files wrote it.
std::string decode_name(std::string_view written);

}  // namespace kestrin::scan
