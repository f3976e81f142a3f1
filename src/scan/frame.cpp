#include "scan/frame.h"

#include <array>

#include "scan/keys.h"
#include "scan/search.h"
#include "scan/token.h"

namespace kestrin::scan {

namespace {

constexpr std::array<char, 3> nesting_marks = {'(', '<', '>'};

// Page type of the name value after a "/Type" key ending at pos: type_page, type_page_tree_node,
// type_other for another name starting with "Page" (which ends the search), -1 for any other value
// (the search goes on).
int page_type_value(std::string_view span, std::int32_t pos)
{
    const std::int32_t lim = text_limit(span);
    const std::int32_t q = skip_ws(span, pos);
    if (q >= lim || span[static_cast<std::size_t>(q)] != '/') return -1;
    const std::int32_t n = text_limit(name::page);
    if (!has_room(q + 1, n, lim) || bytes_at(span, q + 1, n) != name::page) return -1;
    const std::int32_t end = q + 1 + n;
    if (end == lim || !is_alnum(byte_at(span, end))) return type_page;
    if (span[static_cast<std::size_t>(end)] != 's') return type_other;
    return end + 1 == lim || !is_alnum(byte_at(span, end + 1)) ? type_page_tree_node : type_other;
}

// True when an "R" that ends the text or is followed by a non-alphanumeric byte stands at pos.
bool ref_mark_at(std::string_view text, std::int32_t pos)
{
    const std::int32_t lim = text_limit(text);
    if (pos >= lim || text[static_cast<std::size_t>(pos)] != 'R') return false;
    return pos + 1 == lim || !is_alnum(byte_at(text, pos + 1));
}

// A "[ ... ]" length: the last non-negative integer before "]" or the limit, or -1.
std::int32_t array_length(std::string_view text, std::int32_t pos)
{
    const std::int32_t lim = text_limit(text);
    std::int32_t last = -1;
    while (pos < lim && text[static_cast<std::size_t>(pos)] != ']') {
        const std::int32_t before = pos;
        const std::int32_t value = parse_int_at(text, pos);
        if (pos == before) {
            pos = skip_ws(text, pos);
            if (pos < lim && text[static_cast<std::size_t>(pos)] != ']') ++pos;
            continue;
        }
        if (value >= 0) last = value;
    }
    return last;
}

// Reads "n" or "n g R" at pos; true when a length was found (direct or by reference).
bool number_length(std::string_view text, std::int32_t pos, std::int32_t& direct_len,
                   std::int32_t& ref_num)
{
    const std::int32_t lim = text_limit(text);
    const std::int32_t first = parse_int_at(text, pos);
    if (first < 0) return false;
    pos = skip_ws(text, pos);
    if (pos < lim && is_digit(byte_at(text, pos))) {
        // The generation number: a digit stands at pos, so the read succeeds and moves pos.
        static_cast<void>(parse_int_at(text, pos));
        if (ref_mark_at(text, skip_ws(text, pos))) {
            ref_num = first;
            return true;
        }
    }
    direct_len = first;
    return true;
}

// True when the bytes "/Page" stand somewhere in [start, text.size()).
bool has_page_name(std::string_view text, std::int32_t start)
{
    const std::int32_t n = text_limit(name::page);
    const std::int32_t last = text_limit(text) - 1 - n;
    const probes pr = key_probes(name::page);
    for (std::int32_t p = find_probes(text, start, last, pr); p >= 0;
         p = find_probes(text, p + 1, last, pr))
        if (bytes_at(text, p + 1, n) == name::page) return true;
    return false;
}

}  // namespace

std::int32_t find_dict_close(std::string_view text, std::int32_t start, std::int32_t stop)
{
    const std::string_view t = cut_at(text, stop);
    const std::int32_t lim = text_limit(t);
    std::int32_t depth = 0;
    for (std::int32_t p = find_any(t, start, lim, nesting_marks); p < lim;
         p = find_any(t, p, lim, nesting_marks)) {
        const char c = t[static_cast<std::size_t>(p)];
        if (c == '(') {
            p = skip_literal_string(t, p + 1);
            if (p < 0) return -1;
            continue;
        }
        if (p + 1 >= lim) return -1;
        if (t[static_cast<std::size_t>(p + 1)] != c) {
            ++p;
            continue;
        }
        if (c == '>' && depth == 1) return p;
        depth += c == '<' ? 1 : -1;
        p += 2;
    }
    return -1;
}

std::int32_t dict_stream_kw(std::string_view text, std::int32_t pos)
{
    const std::int32_t close = find_dict_close(text, pos, text_limit(text));
    if (close < 0) return -1;
    const std::int32_t kw = skip_ws(text, close + 2);
    return kw_at(text, kw, keyword::stream) ? kw : -1;
}

int obj_type(std::string_view span, std::int32_t start)
{
    if (start < 0) return type_other;
    const std::int32_t lim = text_limit(span);
    // Most dictionaries asked about are no page objects: without the bytes of a "/Page" value the
    // walk below could only answer type_other, and this search is much cheaper than the walk.
    if (!has_page_name(span, start)) return type_other;
    top_level_walk walk{start, 0};
    for (;;) {
        const std::int32_t key = next_top_level_key(span, lim, key::type, walk);
        if (key < 0) return type_other;
        const int type = page_type_value(span, key + 1 + text_limit(key::type));
        if (type >= 0) return type;
        // Resume inside the same dictionary level: a nested "/Type /Page" must stay unseen.
        walk.pos = key + 1;
    }
}

void parse_length(std::string_view text, std::int32_t start, std::int32_t stop,
                  std::int32_t& direct_len, std::int32_t& ref_num)
{
    direct_len = -1;
    ref_num = -1;
    const std::string_view range = cut_at(text, stop);
    const std::int32_t lim = text_limit(range);
    for (std::int32_t key = find_key_anywhere(range, start, lim, key::length); key >= 0;
         key = find_key_anywhere(range, key + 1, lim, key::length)) {
        const std::int32_t pos = value_start(range, key, key::length);
        if (pos >= lim) return;
        const char c = range[static_cast<std::size_t>(pos)];
        if (c == '[') {
            direct_len = array_length(range, pos + 1);
            if (direct_len >= 0) return;
        } else if ((c == '-' || is_digit(byte_at(range, pos))) &&
                   number_length(range, pos, direct_len, ref_num)) {
            return;
        }
    }
}

std::int32_t last_startxref_offset(std::string_view file)
{
    const auto kw_len = text_limit(keyword::startxref);
    std::int32_t last = -1;
    for (std::int32_t hit = find_kw(file, 0, keyword::startxref); hit >= 0;
         hit = find_kw(file, hit + kw_len, keyword::startxref))
        last = hit;
    if (last < 0) return -1;
    std::int32_t pos = skip_ws(file, last + kw_len), offset = -1;
    if (!read_unsigned(file, pos, offset) || offset >= text_limit(file)) return -1;
    return offset;
}

}  // namespace kestrin::scan
