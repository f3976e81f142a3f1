// The default appearance string of a variable-text field (ISO 32000-1 12.7.3.3): its font, size and
// text colour.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace kestrin::generate {

// A colour as the operators g (1 component), rg (3) and k (4) give it; components in [0, 1].
struct colour {
    std::int32_t components = 1;
    std::array<double, 4> values{};  // black
};

// What a DA string asks for. An empty font name means the DA names none: the text is drawn in
// the standard Helvetica. A size of 0 means auto size.
struct default_appearance {
    std::string font_name;  // the font's resource name, "#xx" escapes decoded
    double font_size = 0;
    colour text_colour;
};

// Reads DA as content-stream tokens: the last "Tf" with a name and a number before it gives the
// font and size, the last complete "g", "rg" or "k" the colour. A size that is negative, not
// finite or above 1000 counts as auto; a DA without a usable Tf keeps Helvetica and auto size.
default_appearance parse_default_appearance(std::string_view da);

}  // namespace kestrin::generate
