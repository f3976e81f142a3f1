// Text of FreeText pictures: the style its default appearance string sets, its text laid out in
// Helvetica with a fixed width table, and the text objects.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/byte_buffer.h"
#include "draw/colour.h"

namespace kestrin::draw {

inline constexpr double text_font_size = 11.0;  // when the default appearance sets no size

// What a FreeText's default appearance string ("DA") sets for its text: the size of its last "Tf"
// and the colour of its last "g", "rg" or "k". The font stays the picture's own Helvetica.
struct text_style {
    double size = text_font_size;
    colour fill = black_rgb;
};

// The style of a default appearance string, read as content tokens (ISO 32000-1 12.7.3.3); a size
// that is not positive (0 asks for automatic sizing) keeps the default.
text_style default_appearance_style(std::string_view da);

// Width of text at size: the sum of the table widths (thousandths of the size) times size / 1000.
double text_width(std::string_view text, double size);

// Appends "BT /font size Tf colour 1 0 0 1 x y Tm (text) Tj ET\n", the text escaped; font is the
// resource name of Helvetica.
void append_text_object(base::byte_buffer& drawing, std::string_view font, double x, double y,
                        std::string_view text, const text_style& style);

// The body of a literal string in a WinAnsi text object: "(", ")" and "\" escaped, bytes 0x80 and
// above as octal, control bytes as "?". Stops once 1020 bytes have been produced.
std::string escape_text(std::string_view text);

// A text string as WinAnsi bytes: UTF-16BE (with its FE FF mark) is decoded, each code point that
// WinAnsi lacks becoming "?"; other strings are taken byte for byte. Ends at the first NUL.
std::string winansi_text(std::string_view raw);

// What a FreeText shows of the bytes of its "Contents": WinAnsi bytes (see winansi_text) in which
// a CR, or a CR LF pair, is a line feed, as it ends a line (ISO 32000-1 12.5.6.6 allows all three).
std::string freetext_text(std::string_view contents);

// One drawn line of a laid-out text: its baseline origin and its bytes (a view into the text).
struct text_line {
    double x = 0;
    double y = 0;
    std::string_view bytes;
};

// Lays text of the given size out inside the rectangle: 4 units of margin, the first baseline 0.8
// size (8.8 at size 11) below the top margin, lines 1.3 size apart, broken at spaces where a line is
// wider than w - 8; the first line is always placed. Views point into text.
std::vector<text_line> layout_text(std::string_view text, double x, double y, double w, double h, double size);

}  // namespace kestrin::draw
