#include "base/number_format.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstring>

namespace kestrin::base {

namespace {

constexpr std::size_t em_sn_scratch = 512;
constexpr double max_coordinate = 1e9;
// Widest "%.Nf" of a double: 309 integer digits, sign, point and the digits after it.
constexpr int max_precision = 60;
constexpr std::size_t number_room = 400;
constexpr int default_precision = 6;

// One conversion of the format: "%[flags][width][.precision][l]conv".
struct conversion {
    bool zero_pad = false;
    bool left = false;
    int width = 0;
    int precision = -1;
    bool is_long = false;
    char conv = 0;
};

// Reads a run of decimal digits; stays small so a silly width cannot overflow.
int read_count(const char*& p)
{
    int v = 0;
    while (*p >= '0' && *p <= '9') {
        if (v < 10000) v = v * 10 + (*p - '0');
        ++p;
    }
    return v;
}

conversion parse_conversion(const char*& p)
{
    conversion c;
    for (;; ++p) {
        if (*p == '0')
            c.zero_pad = true;
        else if (*p == '-')
            c.left = true;
        else
            break;
    }
    c.width = read_count(p);
    if (*p == '.') {
        ++p;
        c.precision = read_count(p);
    }
    if (*p == 'l') {
        c.is_long = true;
        ++p;
    }
    c.conv = *p;
    if (*p) ++p;
    return c;
}

// Pads text to the conversion's width; zeros go after a sign, as printf puts them.
template <typename Put>
void put_padded(Put& put, const conversion& c, std::string_view text, bool numeric)
{
    const std::size_t width = static_cast<std::size_t>(c.width);
    if (text.size() >= width) {
        put(text);
        return;
    }
    const std::size_t fill = width - text.size();
    if (c.left) {
        put(text);
        for (std::size_t i = 0; i < fill; ++i) put(" ");
    } else if (c.zero_pad && numeric) {
        const bool sign = !text.empty() && text[0] == '-';
        if (sign) put("-");
        for (std::size_t i = 0; i < fill; ++i) put("0");
        put(text.substr(sign ? 1 : 0));
    } else {
        for (std::size_t i = 0; i < fill; ++i) put(" ");
        put(text);
    }
}

std::string_view format_integer(char* room, long v)
{
    const auto r = std::to_chars(room, room + number_room, v);
    return {room, static_cast<std::size_t>(r.ptr - room)};
}

// Digits after the point that the exact short path handles, and the magnitudes it takes: the
// scaled value m * 5^p of a 53-bit mantissa m stays below 2^68, the rounded one below 2^64.
constexpr int short_precision = 6;
constexpr double short_magnitude = 1e12;
constexpr std::array<std::uint64_t, short_precision + 1> powers_of_ten = {
    1, 10, 100, 1000, 10000, 100000, 1000000};
constexpr std::array<std::uint64_t, short_precision + 1> powers_of_five = {
    1, 5, 25, 125, 625, 3125, 15625};

// |v| * 10^precision rounded to the nearest integer, ties to even, from the exact binary value:
// the rounding printf does. v is finite and below short_magnitude.
std::uint64_t scaled_rounded(double magnitude, int precision)
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
        static_cast<unsigned __int128>(mantissa) * powers_of_five[static_cast<std::size_t>(precision)];
    const int shift = -exponent - precision;  // value * 10^p = scaled / 2^shift
    if (shift <= 0) return static_cast<std::uint64_t>(scaled << -shift);
    if (shift >= 100) return 0;  // far below one half
    const unsigned __int128 one = 1;
    const unsigned __int128 quotient = scaled >> shift;
    const unsigned __int128 rest = scaled & ((one << shift) - 1);
    const unsigned __int128 half = one << (shift - 1);
    const bool up = rest > half || (rest == half && (quotient & 1) != 0);
    return static_cast<std::uint64_t>(quotient + (up ? 1 : 0));
}

// The short path of format_fixed: coordinates and colours, the numbers the output is made of.
std::string_view format_fixed_short(char* room, double v, int precision)
{
    const std::uint64_t scaled = scaled_rounded(std::fabs(v), precision);
    const std::uint64_t unit = powers_of_ten[static_cast<std::size_t>(precision)];
    char* p = room;
    if (std::signbit(v)) *p++ = '-';
    p = std::to_chars(p, room + number_room, scaled / unit).ptr;
    if (precision > 0) {
        *p++ = '.';
        std::uint64_t digits = scaled % unit;
        for (int i = precision - 1; i >= 0; --i) {
            p[i] = static_cast<char>('0' + digits % 10);
            digits /= 10;
        }
        p += precision;
    }
    return {room, static_cast<std::size_t>(p - room)};
}

// Fixed notation; a value that is not finite is written as 0, which any PDF reader accepts.
std::string_view format_fixed(char* room, double v, int precision)
{
    if (!std::isfinite(v)) v = 0.0;
    if (precision < 0) precision = default_precision;
    if (precision > max_precision) precision = max_precision;
    if (precision <= short_precision && std::fabs(v) < short_magnitude)
        return format_fixed_short(room, v, precision);
    const auto r = std::to_chars(room, room + number_room, v, std::chars_format::fixed, precision);
    if (r.ec != std::errc()) return {};
    return {room, static_cast<std::size_t>(r.ptr - room)};
}

// Writes the format through put. An unsupported conversion ends the text there: its argument's
// type is unknown, so reading on could misread every later argument.
template <typename Put>
void format_to(Put& put, const char* format, va_list args)
{
    char room[number_room];
    const char* p = format;
    while (*p) {
        const char* run = p;
        while (*p && *p != '%') ++p;
        if (p != run) put(std::string_view(run, static_cast<std::size_t>(p - run)));
        if (!*p) return;
        ++p;
        const conversion c = parse_conversion(p);
        switch (c.conv) {
            case '%': put("%"); break;
            case 's': {
                const char* s = va_arg(args, const char*);
                put_padded(put, c, s ? std::string_view(s) : std::string_view("(null)"), false);
                break;
            }
            case 'd': {
                const long v = c.is_long ? va_arg(args, long) : va_arg(args, int);
                put_padded(put, c, format_integer(room, v), true);
                break;
            }
            case 'f':
                put_padded(put, c, format_fixed(room, va_arg(args, double), c.precision), true);
                break;
            default: return;
        }
    }
}

// Copies into a fixed text, silently cutting what does not fit.
struct bounded_put {
    char* out;
    std::size_t room;  // bytes still free, the NUL not counted
    std::size_t len = 0;
    void operator()(std::string_view piece)
    {
        const std::size_t n = piece.size() < room ? piece.size() : room;
        std::memcpy(out + len, piece.data(), n);
        len += n;
        room -= n;
    }
};

struct buf_put {
    base::byte_buffer& b;
    void operator()(std::string_view piece) { b.append(piece); }
};

std::string_view vfmt_into(char* scratch, std::size_t size, const char* format, va_list args)
{
    if (!scratch || size == 0) return {};
    bounded_put put{scratch, size - 1};
    format_to(put, format, args);
    scratch[put.len] = 0;
    return {scratch, put.len};
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

void xref_line(char (&line)[xref_line_size], long offset, long gen)
{
    std::memcpy(line, "0000000000 00000 n \n", xref_line_size);
    for (int i = 9; i >= 0 && offset > 0; --i, offset /= 10)
        line[i] = static_cast<char>('0' + offset % 10);
    for (int i = 15; i >= 11 && gen > 0; --i, gen /= 10)
        line[i] = static_cast<char>('0' + gen % 10);
}

std::string_view fmt_into(char* scratch, std::size_t size, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const std::string_view text = vfmt_into(scratch, size, format, args);
    va_end(args);
    return text;
}

void em_sn(base::byte_buffer& b, const char* format, ...)
{
    char scratch[em_sn_scratch];
    va_list args;
    va_start(args, format);
    const std::string_view text = vfmt_into(scratch, sizeof scratch, format, args);
    va_end(args);
    b.append(text);
}

void em_all(base::byte_buffer& b, const char* format, ...)
{
    buf_put put{b};
    va_list args;
    va_start(args, format);
    format_to(put, format, args);
    va_end(args);
}

}  // namespace kestrin::base
