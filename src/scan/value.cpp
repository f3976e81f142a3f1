#include "scan/value.h"

#include <array>
#include <cmath>
#include <limits>

#include "scan/dictionary.h"
#include "scan/search.h"
#include "scan/token.h"

namespace kestrin::scan {

namespace {

constexpr std::string_view dict_open = "<<";
constexpr std::string_view dict_close = ">>";
constexpr std::array<char, 3> nesting_marks = {'(', '<', '>'};
constexpr std::array<char, 1> hex_close = {'>'};

char char_at(std::string_view text, std::int32_t i) { return text[static_cast<std::size_t>(i)]; }

bool is_ascii_letter(unsigned char c) { return is_alnum(c) && !is_digit(c); }

// The white space allowed between the parts of an indirect reference "n g R": no form feed.
bool is_ref_ws(unsigned char c)
{
    return c == 0x00 || c == '\t' || c == '\n' || c == '\r' || c == ' ';
}

// The white space between a key and the value that strip_dict_entry removes with it.
bool is_removal_ws(unsigned char c) { return c == '\t' || c == '\n' || c == '\r' || c == ' '; }

bool starts_number(unsigned char c) { return c == '+' || c == '-' || c == '.' || is_digit(c); }

// Index just past the ">>" that closes the dictionary whose "<<" is at pos, or -1. Literal strings
// are skipped; hexadecimal strings are plain bytes here.
std::int32_t dict_end(std::string_view text, std::int32_t pos)
{
    const std::int32_t len = text_limit(text);
    std::int32_t depth = 0;
    std::int32_t i = pos;
    // Only a mark with a byte after it is examined, so marks are searched before len - 1.
    while (i >= 0) {
        i = find_any(text, i, len - 1, nesting_marks);
        if (i >= len - 1) return -1;
        const char c = char_at(text, i);
        const char next = char_at(text, i + 1);
        if (c == '<' && next == '<') {
            ++depth;
            i += 2;
        } else if (c == '>' && next == '>') {
            i += 2;
            if (--depth == 0) return i;
        } else if (c == '(') {
            i = skip_literal_string(text, i + 1);
        } else {
            ++i;
        }
    }
    return -1;
}

std::int32_t hex_string_end(std::string_view text, std::int32_t pos)
{
    const std::int32_t len = text_limit(text);
    const std::int32_t close = find_any(text, pos + 1, len, hex_close);
    return close < len ? close + 1 : -1;
}

std::int32_t array_end(std::string_view text, std::int32_t pos)
{
    const std::int32_t len = text_limit(text);
    std::int32_t depth = 0;
    std::int32_t i = pos;
    while (i < len) {
        const char c = char_at(text, i);
        if (c == '[') ++depth;
        if (c == ']' && --depth == 0) return i + 1;
        if ((c == '(' || c == '<') && i + 1 >= len) return -1;
        if (c == '(') {
            i = skip_literal_string(text, i + 1);
            if (i < 0) return -1;
        } else {
            i += c == '<' && char_at(text, i + 1) == '<' ? 2 : 1;
        }
    }
    return -1;
}

// Index just past "g R" when the bytes from e read as the rest of an indirect reference
// "<ws> digits <ws> R", else e.
std::int32_t ref_tail_end(std::string_view text, std::int32_t e)
{
    const std::int32_t len = text_limit(text);
    std::int32_t i = e;
    while (i < len && is_ref_ws(byte_at(text, i))) ++i;
    if (i == e || i >= len || !is_digit(byte_at(text, i))) return e;
    while (i < len && is_digit(byte_at(text, i))) ++i;
    while (i < len && is_ref_ws(byte_at(text, i))) ++i;
    if (i >= len || char_at(text, i) != 'R') return e;
    return i + 1 == len || !is_alnum(byte_at(text, i + 1)) ? i + 1 : e;
}

std::int32_t number_value_end(std::string_view text, std::int32_t pos)
{
    const std::int32_t len = text_limit(text);
    std::int32_t i = pos;
    if (char_at(text, i) == '+' || char_at(text, i) == '-') ++i;
    while (i < len && is_digit(byte_at(text, i))) ++i;
    if (i < len && char_at(text, i) == '.') {
        ++i;
        while (i < len && is_digit(byte_at(text, i))) ++i;
    }
    return i >= len ? len : ref_tail_end(text, i);
}

std::int32_t run_end(std::string_view text, std::int32_t pos, bool (*member)(unsigned char))
{
    const std::int32_t len = text_limit(text);
    std::int32_t i = pos;
    while (i < len && member(byte_at(text, i))) ++i;
    return i;
}

bool is_name_cont_byte(unsigned char c) { return is_name_cont(c); }

// Reads digits, then "." and fraction digits, at i into a double; i ends just past them. A run of
// hundreds of digits gives infinity, which the callers deal with.
double read_unsigned(std::string_view text, std::int32_t& i)
{
    const std::int32_t len = text_limit(text);
    double value = 0;
    while (i < len && is_digit(byte_at(text, i))) value = value * 10 + (char_at(text, i++) - '0');
    if (i >= len || char_at(text, i) != '.') return value;
    double weight = 0.1;
    for (++i; i < len && is_digit(byte_at(text, i)); ++i) {
        value += (char_at(text, i) - '0') * weight;
        weight *= 0.1;
    }
    return value;
}

// Up to out.size() array numbers from pos (just after "["); the count read.
std::int32_t read_array_numbers(std::string_view text, std::int32_t pos, std::span<double> out)
{
    const std::int32_t len = text_limit(text);
    const std::size_t max = out.size();
    std::size_t count = 0;
    std::int32_t i = skip_ws(text, pos);
    while (i < len && count < max && char_at(text, i) != ']') {
        if (starts_number(byte_at(text, i))) {
            const bool negative = char_at(text, i) == '-';
            if (!is_digit(byte_at(text, i)) && char_at(text, i) != '.') ++i;
            double value = read_unsigned(text, i);
            // Out-of-range numbers saturate, so that no caller sees infinity.
            if (!std::isfinite(value)) value = std::numeric_limits<double>::max();
            out[count++] = negative ? -value : value;
        } else {
            ++i;
        }
        i = skip_ws(text, i);
    }
    return static_cast<std::int32_t>(count);
}

// Reads the four corners of a box value from pos (just after "["); false when fewer than four
// elements stand before the limit or a "]".
bool read_corners(std::string_view text, std::int32_t pos, double (&corner)[4])
{
    const std::int32_t len = text_limit(text);
    std::int32_t i = skip_ws(text, pos);
    for (int k = 0; k < 4; ++k) {
        if (i >= len || char_at(text, i) == ']') return false;
        const bool negative = char_at(text, i) == '-';
        if (negative || char_at(text, i) == '+') ++i;
        const double value = read_unsigned(text, i);
        corner[k] = negative ? -value : value;
        i = skip_ws(text, i);
    }
    return true;
}

// The box spanned by two opposite corners, or nullopt when it is empty or not finite.
std::optional<box> normalised_box(const double (&c)[4])
{
    const box b{std::fmin(c[0], c[2]), std::fmin(c[1], c[3]), std::fabs(c[2] - c[0]),
                std::fabs(c[3] - c[1])};
    const bool finite = std::isfinite(b.x) && std::isfinite(b.y) && std::isfinite(b.w) &&
                        std::isfinite(b.h);
    if (!finite || b.w == 0 || b.h == 0) return std::nullopt;
    return b;
}

}  // namespace

std::optional<double> read_real(std::string_view text, std::int32_t& pos)
{
    const std::int32_t len = text_limit(text);
    if (pos < 0) return std::nullopt;
    std::int32_t i = pos;
    const bool negative = i < len && char_at(text, i) == '-';
    if (i < len && (char_at(text, i) == '-' || char_at(text, i) == '+')) ++i;
    const std::int32_t first = i;
    const double value = read_unsigned(text, i);
    const bool point_alone = i - first == 1 && char_at(text, first) == '.';
    if (i == first || point_alone) return std::nullopt;
    pos = i;
    return negative ? -value : value;
}

std::int32_t skip_pdf_value(std::string_view text, std::int32_t pos)
{
    const std::int32_t len = text_limit(text);
    if (pos < 0 || pos >= len) return -1;
    const unsigned char c = byte_at(text, pos);
    if (c == '<') {
        if (pos + 1 >= len) return -1;
        return char_at(text, pos + 1) == '<' ? dict_end(text, pos) : hex_string_end(text, pos);
    }
    if (c == '[') return array_end(text, pos);
    if (c == '(') return pos + 1 < len ? skip_literal_string(text, pos + 1) : -1;
    if (c == '/') return run_end(text, pos + 1, is_name_cont_byte);
    if (starts_number(c)) return number_value_end(text, pos);
    if (is_ascii_letter(c)) return run_end(text, pos, is_ascii_letter);
    return -1;
}

std::int32_t skip_value_or_byte(std::string_view text, std::int32_t pos)
{
    const std::int32_t len = text_limit(text);
    const std::int32_t end = skip_pdf_value(text, pos);
    if (end > pos) return end;
    const char c = pos >= 0 && pos < len ? char_at(text, pos) : ' ';
    return c == '<' || c == '[' || c == '(' ? len : pos + 1;
}

std::optional<std::string> dict_text_at(std::string_view text, std::int32_t pos)
{
    const std::int32_t len = text_limit(text);
    const std::int32_t open_len = text_limit(dict_open);
    if (!has_room(pos, open_len, len) || bytes_at(text, pos, open_len) != dict_open)
        return std::nullopt;
    const std::int32_t end = dict_end(text, pos);
    if (end < 0) return std::nullopt;
    return std::string(bytes_at(text, pos, end - pos));
}

std::optional<std::string> dict_name_value(std::string_view text, std::int32_t start,
                                           std::string_view key)
{
    dict_walk walk(text, start);
    while (walk.next())
        if (name_equals(walk.raw_key(), key))
            if (std::optional<std::string> name = name_at(text, walk.value())) return name;
    return std::nullopt;
}

std::int32_t array_numbers(std::string_view text, std::int32_t open, std::span<double> out)
{
    if (open < 0 || open >= text_limit(text) || char_at(text, open) != '[') return -1;
    return read_array_numbers(text, open + 1, out);
}

std::int32_t find_entry_key(std::string_view text, std::int32_t start, std::string_view key)
{
    if (!opens_dictionary(text, skip_ws_and_comments(text, start < 0 ? 0 : start))) return -1;
    dict_walk walk(text, start);
    while (walk.next())
        if (name_equals(walk.raw_key(), key)) return walk.key_pos();
    return -1;
}

std::optional<box> box_of_array(std::string_view text, std::int32_t open)
{
    if (open < 0 || open >= text_limit(text) || char_at(text, open) != '[') return std::nullopt;
    double corner[4] = {};
    if (!read_corners(text, open + 1, corner)) return std::nullopt;
    return normalised_box(corner);
}

namespace {

// The dictionary text without its closing ">>", which is kept out of reach so that a broken value
// cannot swallow it.
std::string_view strip_body(const std::string& text)
{
    const std::string_view whole(text);
    return whole.ends_with(dict_close) ? whole.substr(0, whole.size() - dict_close.size()) : whole;
}

// Erases the entry whose key's '/' is at i (and one space or TAB before it); false when its value
// cannot be read.
bool erase_entry(std::string& text, std::int32_t i, std::string_view key)
{
    const std::string_view body = strip_body(text);
    const std::int32_t len = text_limit(body);
    std::int32_t v = i + 1 + text_limit(key);
    while (v < len && is_removal_ws(byte_at(body, v))) ++v;
    const std::int32_t end = skip_pdf_value(body, v);
    if (end < 0) return false;
    const char before = i > 0 ? char_at(body, i - 1) : '/';
    const std::int32_t from = before == ' ' || before == '\t' ? i - 1 : i;
    text.erase(static_cast<std::size_t>(from), static_cast<std::size_t>(end - from));
    return true;
}

}  // namespace

void strip_dict_entry(std::string& text, std::string_view key)
{
    bool removed = false;
    {
        const std::string_view body = strip_body(text);
        const std::int32_t len = text_limit(body);
        for (std::int32_t i = find_key_anywhere(body, 0, len, key); i >= 0;
             i = find_key_anywhere(body, i + 1, len, key))
            if (erase_entry(text, i, key)) {
                removed = true;
                break;
            }
    }
    if (!removed) return;
    // A key the dictionary names more than once goes in every occurrence.
    for (;;) {
        const std::string_view body = strip_body(text);
        const std::int32_t i = find_top_level_key(body, 0, text_limit(body), key);
        if (i < 0 || !erase_entry(text, i, key)) return;
    }
}

void dict_append_before_close(std::string& text, std::string_view insert)
{
    if (!std::string_view(text).ends_with(dict_close)) return;
    text.insert(text.size() - dict_close.size(), insert);
}

}  // namespace kestrin::scan
