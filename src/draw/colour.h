// Colours of annotation pictures: gray, RGB or CMYK as the file gives them, and their operators.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "base/byte_buffer.h"

namespace kestrin::draw {

// A colour of 1 (gray), 3 (RGB) or 4 (CMYK) components, or none (0: transparent, nothing painted).
struct colour {
    std::array<double, 4> value{};
    std::int32_t components = 0;

    bool transparent() const { return components == 0; }
};

inline constexpr colour black_rgb{{0, 0, 0, 0}, 3};

// The colour of a colour array's numbers (ISO 32000-1 12.5.2, "C"): 0, 1, 3 or 4 of them, each
// bounded to [0, 1]; nullopt for any other count.
std::optional<colour> colour_of(std::span<const double> numbers);

// Which painting a colour operator sets.
enum class paint { fill, stroke };

// "v g", "r g b rg" or "c m y k k" (upper case for the stroke); nothing for a transparent colour.
void append_colour(base::byte_buffer& out, const colour& c, paint p);

}  // namespace kestrin::draw
