// Locale-independent number text: std::to_chars and exact integer arithmetic, so a host's
// setlocale cannot turn a decimal point into a comma; the results equal printf's in the C locale.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

namespace kestrin::base {

// A coordinate as the output writes it: non-finite becomes 0 and magnitudes stop at 1e9, so that
// every number has a short fixed notation and a reader accepts it.
double clamp_coordinate(double v);

// Most digits after the point that write_fixed writes.
inline constexpr int max_fixed_digits = 6;

// Longest text of write_fixed: "-1000000000.000000".
inline constexpr std::size_t fixed_room = 18;

// Writes clamp_coordinate(v) in fixed notation with digits (0 to max_fixed_digits) after the
// point, as printf's "%.Nf" does, to at, which has fixed_room bytes; returns the end of the text.
char* write_fixed(char* at, double v, int digits);

// Room for any text of obj_header.
inline constexpr std::size_t obj_header_room = 32;

// "N G obj\n", as "%ld %ld obj\n" formats it.
std::string_view obj_header(char (&room)[obj_header_room], long num, long gen);

// Bytes of a cross-reference line.
inline constexpr std::size_t xref_line_size = 20;

// The in-use cross-reference line "OOOOOOOOOO GGGGG n \n" ("%010ld %05ld n \n") for an offset in
// [0, 9999999999] and a generation in [0, 99999].
void xref_line(std::span<char, xref_line_size> line, long offset, long gen);

}  // namespace kestrin::base
