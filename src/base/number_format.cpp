#include "base/number_format.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace kestrin::base {

namespace {

constexpr double max_coordinate = 1e9;

constexpr std::array<std::uint64_t, max_fixed_digits + 1> powers_of_ten = {
    1, 10, 100, 1000, 10000, 100000, 1000000};
constexpr std::array<std::uint64_t, max_fixed_digits + 1> powers_of_five = {
    1, 5, 25, 125, 625, 3125, 15625};

// |v| * 10^digits rounded to the nearest integer, ties to even, from the exact binary value: the
// rounding printf does. The clamp keeps magnitude at most 1e9, so the scaled value m * 5^digits of
// a 53-bit mantissa m stays below 2^68 and the rounded one below 2^64.
std::uint64_t scaled_rounded(double magnitude, int digits)
{
    if (magnitude == 0) return 0;
    // magnitude = mantissa * 2^exponent, read from the bits rather than through frexp.
    const auto bits = std::bit_cast<std::uint64_t>(magnitude);
    const auto biased = static_cast<int>((bits >> 52) & 0x7ff);
    std::uint64_t mantissa = bits & ((std::uint64_t{1} << 52) - 1);
    int exponent = -1074;
    if (biased != 0) {
        mantissa |= std::uint64_t{1} << 52;
        exponent = biased - 1075;
    }
    const unsigned __int128 scaled =
        static_cast<unsigned __int128>(mantissa) * powers_of_five[static_cast<std::size_t>(digits)];
    const int shift = -exponent - digits;  // value * 10^digits = scaled / 2^shift
    if (shift <= 0) return static_cast<std::uint64_t>(scaled << -shift);
    if (shift >= 100) return 0;  // far below one half
    const unsigned __int128 one = 1;
    const unsigned __int128 quotient = scaled >> shift;
    const unsigned __int128 rest = scaled & ((one << shift) - 1);
    const unsigned __int128 half = one << (shift - 1);
    const bool up = rest > half || (rest == half && (quotient & 1) != 0);
    return static_cast<std::uint64_t>(quotient + (up ? 1 : 0));
}

}  // namespace

double clamp_coordinate(double v)
{
    if (!std::isfinite(v)) return 0;
    return std::clamp(v, -max_coordinate, max_coordinate);
}

char* write_fixed(char* at, double v, int digits)
{
    v = clamp_coordinate(v);
    const std::uint64_t scaled = scaled_rounded(std::fabs(v), digits);
    const std::uint64_t unit = powers_of_ten[static_cast<std::size_t>(digits)];
    char* p = at;
    if (std::signbit(v)) *p++ = '-';  // printf keeps the sign of -0 and of what rounds to 0
    p = std::to_chars(p, at + fixed_room, scaled / unit).ptr;
    if (digits > 0) {
        *p++ = '.';
        std::uint64_t fraction = scaled % unit;
        for (int i = digits - 1; i >= 0; --i) {
            p[i] = static_cast<char>('0' + fraction % 10);
            fraction /= 10;
        }
        p += digits;
    }
    return p;
}

std::string_view obj_header(char (&room)[obj_header_room], long num, long gen)
{
    constexpr std::string_view tail = " obj\n";
    char* const end = room + obj_header_room;
    char* p = std::to_chars(room, end, num).ptr;  // at most 20 bytes each: both fit with the tail
    *p++ = ' ';
    p = std::to_chars(p, end, gen).ptr;
    std::memcpy(p, tail.data(), tail.size());
    return {room, static_cast<std::size_t>(p + tail.size() - room)};
}

void xref_line(std::span<char, xref_line_size> line, long offset, long gen)
{
    std::memcpy(line.data(), "0000000000 00000 n \n", xref_line_size);
    for (int i = 9; i >= 0 && offset > 0; --i, offset /= 10)
        line[i] = static_cast<char>('0' + offset % 10);
    for (int i = 15; i >= 11 && gen > 0; --i, gen /= 10)
        line[i] = static_cast<char>('0' + gen % 10);
}

}  // namespace kestrin::base
