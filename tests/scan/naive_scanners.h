// Plain byte-by-byte versions of the skipping searches, written from their contracts, for the
// differential tests. Slow on purpose: one byte per step, no searching ahead.
#pragma once

#include <cstdint>
#include <string_view>

#include "scan/chars.h"

namespace naive {

using kestrin::scan::is_alnum;
using kestrin::scan::is_digit;
using kestrin::scan::is_name_cont;
using kestrin::scan::is_pdf_ws;

inline std::int32_t size_of(std::string_view t) { return static_cast<std::int32_t>(t.size()); }

inline unsigned char at(std::string_view t, std::int32_t i)
{
    return static_cast<unsigned char>(t[i]);
}

inline std::int32_t find_kw(std::string_view t, std::int32_t start, std::string_view kw)
{
    const std::int32_t len = size_of(t);
    const auto n = static_cast<std::int32_t>(kw.size());
    for (std::int32_t i = start < 0 ? 0 : start; i + n <= len; ++i) {
        if (t.substr(i, n) != kw) continue;
        if (i > 0 && is_alnum(at(t, i - 1))) continue;
        if (i + n < len && is_alnum(at(t, i + n))) continue;
        return i;
    }
    return -1;
}

inline bool key_at(std::string_view t, std::int32_t p, std::string_view name)
{
    const std::int32_t len = size_of(t);
    const auto n = static_cast<std::int32_t>(name.size());
    if (p + 1 + n > len || t[p] != '/' || t.substr(p + 1, n) != name) return false;
    return p + 1 + n == len || !is_name_cont(at(t, p + 1 + n));
}

inline std::int32_t find_key_anywhere(std::string_view t, std::int32_t start, std::string_view name)
{
    for (std::int32_t p = start < 0 ? 0 : start; p < size_of(t); ++p)
        if (key_at(t, p, name)) return p;
    return -1;
}

inline std::int32_t skip_literal_string(std::string_view t, std::int32_t pos)
{
    std::int32_t depth = 1;
    for (std::int32_t i = pos; i >= 0 && i < size_of(t);) {
        const char c = t[i];
        if (c == '\\') {
            if (i + 1 >= size_of(t)) return -1;
            i += 2;
            continue;
        }
        ++i;
        if (c == '(') ++depth;
        if (c == ')' && --depth == 0) return i;
    }
    return -1;
}

inline std::int32_t find_dict_close(std::string_view t, std::int32_t start)
{
    const std::int32_t lim = size_of(t);
    std::int32_t depth = 0;
    for (std::int32_t p = start < 0 ? 0 : start; p < lim;) {
        const char c = t[p];
        if (c == '(') {
            p = skip_literal_string(t, p + 1);
            if (p < 0) return -1;
        } else if (c == '<' || c == '>') {
            if (p + 1 >= lim) return -1;
            if (t[p + 1] != c) {
                ++p;
                continue;
            }
            if (c == '>' && depth == 1) return p;
            depth += c == '<' ? 1 : -1;
            p += 2;
        } else {
            ++p;
        }
    }
    return -1;
}

// The value scan of a dictionary from its "<<": the index after its closing ">>", or -1.
inline std::int32_t dict_end(std::string_view t, std::int32_t pos)
{
    std::int32_t depth = 0;
    for (std::int32_t i = pos; i >= 0 && i + 1 < size_of(t);) {
        if (t[i] == '<' && t[i + 1] == '<') {
            ++depth;
            i += 2;
        } else if (t[i] == '>' && t[i + 1] == '>') {
            i += 2;
            if (--depth == 0) return i;
        } else if (t[i] == '(') {
            i = skip_literal_string(t, i + 1);
        } else {
            ++i;
        }
    }
    return -1;
}

// One step of a top-level walk over the byte at p that is not a wanted key: the next position, or
// -1 when the construct there is cut off by the end of the text.
inline std::int32_t top_step(std::string_view t, std::int32_t p, std::int32_t& depth)
{
    const std::int32_t lim = size_of(t);
    const char c = t[p];
    if (c == '%') {
        std::int32_t q = p + 1;
        while (q < lim && t[q] != '\r' && t[q] != '\n') ++q;
        return q < lim ? q : -1;
    }
    if (c == '(') return p + 1 < lim ? skip_literal_string(t, p + 1) : -1;
    if (c != '<' && c != '>') return p + 1;
    if (p + 1 >= lim) return -1;
    if (c == '<' && t[p + 1] == '<') {
        ++depth;
        return p + 2;
    }
    if (c == '<') {
        std::int32_t q = p + 1;
        while (q < lim && t[q] != '>') ++q;
        return q < lim ? q + 1 : -1;
    }
    if (t[p + 1] != '>') return p + 1;
    if (depth > 0) --depth;
    return p + 2;
}

inline std::int32_t find_top_level_key(std::string_view t, std::int32_t start, std::string_view name)
{
    std::int32_t depth = 0;
    for (std::int32_t p = start < 0 ? 0 : start; p >= 0 && p < size_of(t);
         p = top_step(t, p, depth))
        if (depth <= 1 && key_at(t, p, name)) return p;
    return -1;
}

// 1 Page, 2 Pages, 0 another name starting with "Page", -1 any other value.
inline int page_value(std::string_view t, std::int32_t pos)
{
    const std::int32_t lim = size_of(t);
    std::int32_t q = pos;
    while (q < lim && is_pdf_ws(at(t, q))) ++q;
    if (q + 5 > lim || t.substr(q, 5) != "/Page") return -1;
    const std::int32_t end = q + 5;
    if (end == lim || !is_alnum(at(t, end))) return 1;
    if (t[end] != 's') return 0;
    return end + 1 == lim || !is_alnum(at(t, end + 1)) ? 2 : 0;
}

inline int obj_type(std::string_view t, std::int32_t start)
{
    if (start < 0) return 0;
    std::int32_t depth = 0;
    for (std::int32_t p = start; p >= 0 && p < size_of(t); p = top_step(t, p, depth)) {
        if (depth > 1 || !key_at(t, p, "Type")) continue;
        const int type = page_value(t, p + 5);
        if (type >= 0) return type;
    }
    return 0;
}

// N of a reference "N ws G ws? R" whose "R" is at r, or -1.
inline std::int64_t reference_at(std::string_view t, std::int32_t r)
{
    std::int32_t p = r;
    while (p > 0 && is_pdf_ws(at(t, p - 1))) --p;
    const std::int32_t gen_end = p;
    while (p > 0 && is_digit(at(t, p - 1))) --p;
    if (p == gen_end) return -1;
    const std::int32_t gen_start = p;
    while (p > 0 && is_pdf_ws(at(t, p - 1))) --p;
    if (p == gen_start) return -1;
    const std::int32_t num_end = p;
    while (p > 0 && is_digit(at(t, p - 1))) --p;
    if (p == num_end || num_end - p > 9 || (p > 0 && is_alnum(at(t, p - 1)))) return -1;
    std::int64_t n = 0;
    for (std::int32_t i = p; i < num_end; ++i) n = n * 10 + (t[i] - '0');
    return n;
}

inline std::int32_t highest_reference(std::string_view t, std::int32_t cap)
{
    std::int64_t best = 0;
    for (std::int32_t r = 0; r < size_of(t); ++r) {
        if (t[r] != 'R' || (r + 1 < size_of(t) && is_alnum(at(t, r + 1)))) continue;
        const std::int64_t n = reference_at(t, r);
        if (n > best && n <= cap) best = n;
    }
    return static_cast<std::int32_t>(best);
}

}  // namespace naive
