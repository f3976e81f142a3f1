// The appearance content of a text field's value (ISO 32000-1 12.7.3.3, 12.7.4.3): the value
// encoded through the font's encoding, sized, wrapped, aligned, and written as
// "/Tx BMC q <clip> BT <font, colour> <lines> ET Q EMC".
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "generate/default_appearance.h"
#include "generate/encodings.h"
#include "generate/standard_fonts.h"

namespace kestrin::generate {

// Space between the border and the text: 2 units across, 1 above and below.
inline constexpr double horizontal_padding = 2.0;
inline constexpr double vertical_padding = 1.0;
// Distance between baselines, and the height a single line needs, in font sizes.
inline constexpr double line_height = 1.15;
// Auto size never goes below this: smaller text is not legible, and the clip cuts what overflows.
inline constexpr double smallest_auto_size = 4.0;

// Horizontal placement of the text (the field's Q).
enum class quadding { left = 0, centre = 1, right = 2 };

// The text field flags that change the layout (Ff bits 13, 14, 25) and MaxLen (0: none).
struct text_field_flags {
    bool multiline = false;
    bool password = false;
    bool comb = false;
    std::int32_t max_len = 0;
};

// The appearance's box in its own space (after any MK R rotation swapped width and height) and
// the width of the border drawn inside it.
struct text_box {
    double width = 0;
    double height = 0;
    double border_width = 1;
};

// A font's codes for the characters of a text, one per character: a simple font's are one byte,
// a composite font's (with a two-byte CMap such as Identity-H) two.
using code_string = std::vector<std::uint16_t>;
using code_view = std::span<const std::uint16_t>;

// The font the value is drawn in. Widths and heights are thousandths of the font size.
struct layout_font {
    std::string resource_name;                                       // the name Tf gives, without '/'
    std::function<std::optional<std::uint16_t>(char32_t)> code_of;  // a character's code, or nullopt
    std::optional<std::uint16_t> substitute;  // the code drawn for a character without one; none: nothing
    std::int32_t code_bytes = 1;              // the bytes a code takes in a string: 1 or 2
    std::function<double(std::uint16_t)> width;  // the width of a code's glyph
    double ascent = 718;                         // Helvetica's, for fonts that give none
    double descent = -207;
};

// A simple font's codes: one byte per character through enc, whose question mark (or, when it has
// none, the byte of one) stands for a character it lacks. Widths are left to the caller; enc must
// outlive the result.
layout_font simple_layout_font(std::string resource_name, const encoding& enc);

// A standard 14 font drawn through an encoding: widths from its metrics (0 for a glyph it lacks).
// The font's metrics and the encoding must outlive the result.
layout_font standard_layout_font(std::string resource_name, const font_metrics& metrics, const encoding& enc);

// What a layout asks for besides the font.
struct text_request {
    text_box box;
    double font_size = 0;  // 0: auto size
    colour text_colour;
    quadding alignment = quadding::left;
    text_field_flags flags;
};

struct text_appearance {
    std::string content;
    double font_size = 0;           // the size used, after auto sizing
    std::int32_t substituted = 0;   // characters the font lacks (see encode_text)
};

// The character drawn in place of one the font cannot encode: a question mark, which every
// standard encoding has; a visible sign that something is missing.
inline constexpr char32_t substitute_character = U'?';

// Appends "/" and the name, escaping the bytes a name cannot hold as they stand.
void append_name(std::string& out, std::string_view name);

// The text's characters as the font's codes, one code per character, with whether each stands for a
// space (where a line may break) and the count of characters the font lacks: each is drawn as its
// substitute, or left out when the font has none.
struct encoded_text {
    code_string codes;
    std::vector<bool> spaces;
    std::int32_t substituted = 0;
};
encoded_text encode_text(std::u32string_view text, const layout_font& font);

// The content of the appearance stream of a text field (or a combo box's shown value) holding
// value. Auto size: single line, the largest size whose line fits the height and whose text fits
// the width; multiline, the largest size up to 12 whose wrapped lines fit the height; comb, the
// largest that fits the height and puts each character inside its cell. A password field shows
// nothing of its value: the content holds the marked, clipped area without text.
text_appearance layout_text_field(std::u32string_view value, const layout_font& font,
                                  const text_request& request);

// Where a line of text_width starts in the box [left, left + width] inside the border: after the
// padding, centred, or ending at the padding.
double aligned_left(double left, double width, double text_width, quadding q);

// "/Tx BMC q <clip>" before a field's text, clipping to the box inside the border, and "Q EMC"
// after it.
void open_marked_clip(std::string& out, double left, double bottom, double width, double height);
void close_marked_clip(std::string& out);

// Content-stream pieces that every generated appearance writes.
// codes as a literal string, with the bytes outside printable ASCII as octal escapes.
void append_string(std::string& out, std::string_view codes);
// A font's codes as a string: one-byte codes as a literal string (append_string), two-byte codes
// as a hex string.
void append_codes(std::string& out, code_view codes, std::int32_t code_bytes);
// The operator that sets c as the fill colour (g, rg, k) or the stroke colour (G, RG, K).
enum class colour_use { fill, stroke };
void append_colour(std::string& out, const colour& c, colour_use use = colour_use::fill);

}  // namespace kestrin::generate
