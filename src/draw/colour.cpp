#include "draw/colour.h"

#include <algorithm>

#include "base/append.h"

namespace kestrin::draw {

std::optional<colour> colour_of(std::span<const double> numbers)
{
    const std::size_t n = numbers.size();
    if (n != 0 && n != 1 && n != 3 && n != 4) return std::nullopt;
    colour c;
    c.components = static_cast<std::int32_t>(n);
    for (std::size_t i = 0; i < n; ++i) c.value[i] = std::clamp(numbers[i], 0.0, 1.0);
    return c;
}

void append_colour(base::byte_buffer& out, const colour& c, paint p)
{
    const bool stroke = p == paint::stroke;
    const auto& v = c.value;
    switch (c.components) {
    case 1: base::append(out, base::fixed3(v[0]), stroke ? " G" : " g"); break;
    case 3:
        base::append(out, base::fixed3(v[0]), ' ', base::fixed3(v[1]), ' ', base::fixed3(v[2]),
                     stroke ? " RG" : " rg");
        break;
    case 4:
        base::append(out, base::fixed3(v[0]), ' ', base::fixed3(v[1]), ' ', base::fixed3(v[2]), ' ',
                     base::fixed3(v[3]), stroke ? " K" : " k");
        break;
    default: break;
    }
}

}  // namespace kestrin::draw
