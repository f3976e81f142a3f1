#include "emit/format.h"

#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstring>

namespace kestrin::emit {

namespace {

constexpr std::size_t em_sn_scratch = 512;
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

// Fixed notation; a value that is not finite is written as 0, which any PDF reader accepts.
std::string_view format_fixed(char* room, double v, int precision)
{
    if (!std::isfinite(v)) v = 0.0;
    if (precision < 0) precision = default_precision;
    if (precision > max_precision) precision = max_precision;
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
    buf& b;
    void operator()(std::string_view piece) { buf_append(b, piece); }
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

std::string_view fmt_into(char* scratch, std::size_t size, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const std::string_view text = vfmt_into(scratch, size, format, args);
    va_end(args);
    return text;
}

void em_sn(buf& b, const char* format, ...)
{
    char scratch[em_sn_scratch];
    va_list args;
    va_start(args, format);
    const std::string_view text = vfmt_into(scratch, sizeof scratch, format, args);
    va_end(args);
    buf_append(b, text);
}

void em_all(buf& b, const char* format, ...)
{
    buf_put put{b};
    va_list args;
    va_start(args, format);
    format_to(put, format, args);
    va_end(args);
}

}  // namespace kestrin::emit
