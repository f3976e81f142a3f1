#include "scan/token.h"

#include <array>
#include <cstring>

#include "scan/search.h"
#include "scan/strings.h"

namespace kestrin::scan {

namespace {

// True when the n bytes of word stand at i (room already checked) as a whole word: no
// alphanumeric byte directly before or after them.
bool whole_word_at(std::string_view text, std::int32_t len, std::int32_t i, std::string_view word)
{
    const std::int32_t n = text_limit(word);
    if (!same_bytes(text.data() + i, word)) return false;
    if (i > 0 && is_alnum(byte_at(text, i - 1))) return false;
    return n == len - i || !is_alnum(byte_at(text, i + n));
}

// True when "/name" stands at p (room already checked) and no name-continuation byte follows it
// before lim. The top-level walks call this once per '/' of every dictionary they search.
bool key_at(std::string_view text, std::int32_t lim, std::int32_t p, std::string_view name)
{
    const std::int32_t n = text_limit(name);
    const char* at = text.data() + p;
    if (at[0] != '/') return false;
    if (!same_bytes(at + 1, name)) return false;
    return n + 1 == lim - p || !is_name_cont(byte_at(text, p + 1 + n));
}

// First index in [from, last] holding c, or -1; last is inclusive so that callers state the last
// position where a match could still start.
std::int32_t find_byte(std::string_view text, std::int32_t from, std::int32_t last, char c)
{
    if (from > last) return -1;
    const void* hit = std::memchr(text.data() + from, c, static_cast<std::size_t>(last - from + 1));
    if (hit == nullptr) return -1;
    return static_cast<std::int32_t>(static_cast<const char*>(hit) - text.data());
}

constexpr std::array<char, 2> eol_bytes = {'\r', '\n'};
constexpr std::array<char, 1> hex_close = {'>'};
constexpr std::array<char, 3> string_marks = {'\\', '(', ')'};
// Bytes at which a top-level key walk does more than step over the byte.
constexpr std::array<char, 5> top_marks = {'/', '%', '(', '<', '>'};

// Index of the first CR or LF at or after pos before lim, or -1.
std::int32_t find_eol(std::string_view text, std::int32_t pos, std::int32_t lim)
{
    const std::int32_t eol = find_any(text, pos, lim, eol_bytes);
    return eol < lim ? eol : -1;
}

// One step of a top-level key walk from walk.pos: the next position, or -1 when the
// construct at pos is cut off by lim.
std::int32_t step_top(std::string_view text, std::int32_t lim, top_level_walk& walk)
{
    const std::int32_t p = walk.pos;
    const char c = text[static_cast<std::size_t>(p)];
    if (c == '%') return find_eol(text, p + 1, lim);
    if (c == '(') return p + 1 < lim ? skip_literal_string(text.substr(0, lim), p + 1) : -1;
    if (c != '<' && c != '>') return p + 1;
    if (p + 1 >= lim) return -1;
    const char next = text[static_cast<std::size_t>(p + 1)];
    if (c == '<' && next == '<') {
        ++walk.depth;
        return p + 2;
    }
    if (c == '<') {
        const std::int32_t close = find_any(text, p + 1, lim, hex_close);
        return close < lim ? close + 1 : -1;
    }
    if (next != '>') return p + 1;
    if (walk.depth > 0) --walk.depth;
    return p + 2;
}

// Reads the digits at i (before len) into a 32-bit value that wraps like two's complement; i ends
// just past them. Unsigned arithmetic keeps the wrap defined.
std::uint32_t read_digits(std::string_view text, std::int32_t len, std::int32_t& i)
{
    std::uint32_t value = 0;
    while (i < len && is_digit(byte_at(text, i))) {
        value = value * 10u + static_cast<std::uint32_t>(byte_at(text, i) - '0');
        ++i;
    }
    return value;
}

std::int32_t signed_value(std::uint32_t value, bool negative)
{
    return static_cast<std::int32_t>(negative ? 0u - value : value);
}

// found[i] while names[i] occurs in the text but has not been met at the top level yet.
constexpr std::int32_t pending = -2;

// Marks pending the names that occur in [start, lim) at all and the others -1, and counts the
// former: the walk looks only for those, and ends as soon as it has met them all.
std::size_t mark_pending(std::string_view text, std::int32_t start, std::int32_t lim,
                         std::span<const std::string_view> names, std::span<std::int32_t> found)
{
    std::size_t count = 0;
    for (std::size_t i = 0; i < names.size(); ++i) {
        found[i] = find_key_anywhere(text, start, lim, names[i]) >= 0 ? pending : -1;
        count += found[i] == pending ? 1 : 0;
    }
    return count;
}

// Records the '/' at p for each pending name whose key stands there; the count recorded.
std::size_t take_keys_at(std::string_view text, std::int32_t lim, std::int32_t p,
                         std::span<const std::string_view> names, std::span<std::int32_t> found)
{
    std::size_t taken = 0;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (found[i] != pending || text_limit(names[i]) >= lim - p) continue;
        if (!key_at(text, lim, p, names[i])) continue;
        found[i] = p;
        ++taken;
    }
    return taken;
}

}  // namespace

std::int32_t skip_literal_string(std::string_view text, std::int32_t pos)
{
    const std::int32_t len = text_limit(text);
    std::int32_t depth = 1;
    if (pos < 0) return -1;
    for (pos = find_any(text, pos, len, string_marks); pos < len;
         pos = find_any(text, pos, len, string_marks)) {
        const char c = text[static_cast<std::size_t>(pos)];
        if (c == '\\') {
            if (pos + 1 >= len) return -1;
            pos += 2;
            continue;
        }
        ++pos;
        if (c == '(') ++depth;
        if (c == ')' && --depth == 0) return pos;
    }
    return -1;
}

std::int32_t skip_ws(std::string_view text, std::int32_t pos)
{
    const std::int32_t len = text_limit(text);
    if (pos < 0) return pos;
    while (pos < len && is_pdf_ws(byte_at(text, pos))) ++pos;
    return pos;
}

std::int32_t skip_ws_and_comments(std::string_view text, std::int32_t pos)
{
    const std::int32_t len = text_limit(text);
    for (pos = skip_ws(text, pos); pos >= 0 && pos < len && byte_at(text, pos) == '%'; pos = skip_ws(text, pos))
        while (pos < len && byte_at(text, pos) != '\n' && byte_at(text, pos) != '\r') ++pos;
    return pos;
}

std::int32_t find_kw(std::string_view text, std::int32_t start, std::string_view kw)
{
    const std::int32_t len = text_limit(text);
    const std::int32_t n = text_limit(kw);
    if (n == 0 || n > len) return -1;
    const std::int32_t last = len - n;
    const probes pr = word_probes(kw);
    std::int32_t i = start < 0 ? 0 : start;
    while (i <= last) {
        i = find_probes(text, i, last, pr);
        if (i < 0) return -1;
        if (whole_word_at(text, len, i, kw)) return i;
        ++i;
    }
    return -1;
}

std::int32_t find_char(std::string_view text, std::int32_t start, char c)
{
    return find_byte(text, start < 0 ? 0 : start, text_limit(text) - 1, c);
}

bool kw_at(std::string_view text, std::int32_t pos, std::string_view kw)
{
    const std::int32_t len = text_limit(text);
    const std::int32_t n = text_limit(kw);
    if (n == 0 || !has_room(pos, n, len)) return false;
    return whole_word_at(text, len, pos, kw);
}

std::int32_t find_key_anywhere(std::string_view text, std::int32_t start, std::int32_t stop,
                       std::string_view name)
{
    const std::int32_t lim = text_limit(cut_at(text, stop));
    const std::int32_t n = text_limit(name);
    if (n >= lim) return -1;
    const std::int32_t last = lim - 1 - n;
    const probes pr = key_probes(name);
    std::int32_t p = start < 0 ? 0 : start;
    while (p <= last) {
        p = find_probes(text, p, last, pr);
        if (p < 0) return -1;
        if (key_at(text, lim, p, name)) return p;
        ++p;
    }
    return -1;
}

std::int32_t next_top_level_key(std::string_view text, std::int32_t stop, std::string_view name,
                           top_level_walk& walk)
{
    const std::int32_t lim = text_limit(cut_at(text, stop));
    const std::int32_t n = text_limit(name);
    if (walk.pos < 0) walk.pos = 0;
    // Without a textual occurrence there is nothing for the walk to find.
    if (find_key_anywhere(text, walk.pos, lim, name) < 0) {
        walk.pos = lim;
        return -1;
    }
    for (walk.pos = find_any(text, walk.pos, lim, top_marks); walk.pos < lim;
         walk.pos = find_any(text, walk.pos, lim, top_marks)) {
        const char c = text[static_cast<std::size_t>(walk.pos)];
        if (c == '/' && walk.depth <= 1 && n < lim - walk.pos && key_at(text, lim, walk.pos, name))
            return walk.pos;
        const std::int32_t next = step_top(text, lim, walk);
        if (next < 0) break;
        walk.pos = next;
    }
    walk.pos = lim;
    return -1;
}

std::int32_t find_top_level_key(std::string_view text, std::int32_t start, std::int32_t stop,
                           std::string_view name)
{
    top_level_walk walk{start, 0};
    return next_top_level_key(text, stop, name, walk);
}

void find_top_level_keys(std::string_view text, std::int32_t start, std::int32_t stop,
                    std::span<const std::string_view> names, std::span<std::int32_t> found)
{
    const std::int32_t lim = text_limit(cut_at(text, stop));
    const std::size_t count = names.size() < found.size() ? names.size() : found.size();
    names = names.first(count);
    found = found.first(count);
    std::size_t missing = mark_pending(text, start, lim, names, found);
    top_level_walk walk{start < 0 ? 0 : start, 0};
    while (missing > 0) {
        walk.pos = find_any(text, walk.pos, lim, top_marks);
        if (walk.pos >= lim) break;
        if (text[static_cast<std::size_t>(walk.pos)] == '/' && walk.depth <= 1)
            missing -= take_keys_at(text, lim, walk.pos, names, found);
        const std::int32_t next = step_top(text, lim, walk);
        if (next < 0) break;
        walk.pos = next;
    }
    for (std::int32_t& at : found)
        if (at == pending) at = -1;
}

std::string read_name(std::string_view text, std::int32_t slash, std::int32_t& end)
{
    const std::int32_t lim = text_limit(text);
    std::int32_t i = slash + 1;
    while (i < lim && is_regular(byte_at(text, i))) ++i;
    end = i;
    return decode_name(bytes_at(text, slash + 1, i - slash - 1));
}

std::vector<std::string> top_level_names(std::string_view text, std::int32_t start, std::int32_t stop)
{
    const std::int32_t lim = text_limit(cut_at(text, stop));
    std::vector<std::string> names;
    bool opened = false;
    top_level_walk walk{start < 0 ? 0 : start, 0};
    for (walk.pos = find_any(text, walk.pos, lim, top_marks); walk.pos < lim;
         walk.pos = find_any(text, walk.pos, lim, top_marks)) {
        if (text[static_cast<std::size_t>(walk.pos)] == '/' && walk.depth == 1) {
            std::int32_t end = walk.pos;
            names.push_back(read_name(cut_at(text, lim), walk.pos, end));
            walk.pos = end;
            continue;
        }
        const std::int32_t next = step_top(text, lim, walk);
        if (next < 0) break;
        opened = opened || walk.depth > 0;
        // The dictionary's own ">>": what follows it belongs to something else.
        if (opened && walk.depth == 0) break;
        walk.pos = next;
    }
    return names;
}

bool opens_dictionary(std::string_view text, std::int32_t pos)
{
    return has_room(pos, 2, text_limit(text)) && text[static_cast<std::size_t>(pos)] == '<' &&
           text[static_cast<std::size_t>(pos) + 1] == '<';
}

std::int32_t value_start(std::string_view text, std::int32_t key_pos, std::string_view name)
{
    return skip_ws(text, key_pos + 1 + text_limit(name));
}

std::int32_t parse_int_at(std::string_view text, std::int32_t& pos)
{
    const std::int32_t len = text_limit(text);
    if (pos < 0 || pos >= len) return -1;
    std::int32_t i = skip_ws(text, pos);
    if (i >= len) return -1;
    const bool negative = text[static_cast<std::size_t>(i)] == '-';
    if (negative && ++i >= len) return -1;
    const std::int32_t first = i;
    const std::uint32_t value = read_digits(text, len, i);
    if (i == first) return -1;
    pos = i;
    return signed_value(value, negative);
}

bool read_unsigned(std::string_view text, std::int32_t& pos, std::int32_t& value)
{
    const std::int32_t len = text_limit(text);
    std::int32_t i = pos < 0 ? len : pos;
    std::int64_t v = 0;
    while (i < len && is_digit(byte_at(text, i))) {
        v = v * 10 + (byte_at(text, i) - '0');
        if (v > 0x7fffffff) return false;
        ++i;
    }
    if (i == pos || pos < 0) return false;
    pos = i;
    value = static_cast<std::int32_t>(v);
    return true;
}

// Object-stream headers are read pair by pair with a position that must always move, so that a
// damaged header cannot stall its reader; an "R" is left for the caller to see.
std::int32_t read_int_adv(std::string_view text, std::int32_t& pos)
{
    const std::int32_t len = text_limit(text);
    if (pos < 0 || pos >= len) return -1;
    std::int32_t i = skip_ws(text, pos);
    if (i >= len) {
        pos = len;
        return -1;
    }
    const char sign = text[static_cast<std::size_t>(i)];
    if ((sign == '-' || sign == '+') && ++i >= len) {
        pos = i;
        return -1;
    }
    if (!is_digit(byte_at(text, i))) {
        pos = text[static_cast<std::size_t>(i)] == 'R' ? i : i + 1;
        return -1;
    }
    const std::uint32_t value = read_digits(text, len, i);
    pos = i;
    return signed_value(value, sign == '-');
}

}  // namespace kestrin::scan
