// Text of FreeText pictures: reading the annotation's string, laying it out in Helvetica 11 with a
// fixed width table, and writing the text objects.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/byte_buffer.h"

namespace kestrin::draw {

inline constexpr double text_font_size = 11.0;

// Width of text at size 11: the sum of the table widths (thousandths of the size) times 11 / 1000.
double text_width(std::string_view text);

// Appends "BT /font 11.000 Tf r g b rg 1 0 0 1 x y Tm (text) Tj ET\n", the text escaped; font is
// the resource name of Helvetica.
void append_text_object(base::byte_buffer& drawing, std::string_view font, double x, double y,
                        std::string_view text, double r, double g, double b);

// The body of a literal string in a WinAnsi text object: "(", ")" and "\" escaped, bytes 0x80 and
// above as octal, control bytes as "?". Stops once 1020 bytes have been produced.
std::string escape_text(std::string_view text);

// A text string as WinAnsi bytes: UTF-16BE (with its FE FF mark) is decoded, each code point that
// WinAnsi lacks becoming "?"; other strings are taken byte for byte. Ends at the first NUL.
std::string winansi_text(std::string_view raw);

// What a FreeText shows: its "Contents" string, or without one the first literal string of the
// dictionary span [start, text.size()); WinAnsi bytes, nullopt when there is none.
std::optional<std::string> freetext_source(std::string_view text, std::int32_t start);

// One drawn line of a laid-out text: its baseline origin and its bytes (a view into the text).
struct text_line {
    double x = 0;
    double y = 0;
    std::string_view bytes;
};

// Lays text out inside the rectangle: 4 units of margin, the first baseline 12.8 below the top,
// lines 14.3 apart, broken at spaces where a line is wider than w - 8; the first line is always
// placed. Views point into text.
std::vector<text_line> layout_text(std::string_view text, double x, double y, double w, double h);

}  // namespace kestrin::draw
