#include "scan/reference.h"

#include <array>

#include "scan/chars.h"
#include "scan/search.h"
#include "scan/token.h"
#include "scan/value.h"

namespace kestrin::scan {

namespace {

constexpr std::array<char, 1> ref_mark = {'R'};

// Index of the first byte of the digit run that ends just before end (exclusive), or end when
// there is none.
std::int32_t digits_before(std::string_view text, std::int32_t end)
{
    std::int32_t p = end;
    while (p > 0 && is_digit(static_cast<unsigned char>(text[static_cast<std::size_t>(p - 1)]))) --p;
    return p;
}

std::int32_t ws_before(std::string_view text, std::int32_t end)
{
    std::int32_t p = end;
    while (p > 0 && is_pdf_ws(static_cast<unsigned char>(text[static_cast<std::size_t>(p - 1)]))) --p;
    return p;
}

// N of the reference whose "R" stands at r, or -1. Walks back over "N ws G ws" as the value
// readers accept them: white space between N and G, optional white space before "R".
std::int64_t reference_ending_at(std::string_view text, std::int32_t r)
{
    const std::int32_t gen_end = ws_before(text, r);
    const std::int32_t gen_start = digits_before(text, gen_end);
    if (gen_start == gen_end) return -1;
    const std::int32_t num_end = ws_before(text, gen_start);
    if (num_end == gen_start) return -1;
    const std::int32_t num_start = digits_before(text, num_end);
    if (num_start == num_end || num_end - num_start > 9) return -1;
    if (num_start > 0 && is_alnum(static_cast<unsigned char>(text[static_cast<std::size_t>(num_start - 1)])))
        return -1;
    std::int64_t n = 0;
    for (std::int32_t i = num_start; i < num_end; ++i) n = n * 10 + (text[static_cast<std::size_t>(i)] - '0');
    return n;
}

// Past one "N G R" reference whose number ends at pos: generation, "R" and white space.
std::int32_t skip_reference_tail(std::string_view text, std::int32_t pos)
{
    const std::int32_t limit = text_limit(text);
    pos = skip_ws(text, pos);
    if (pos < limit && is_digit(byte_at(text, pos))) parse_int_at(text, pos);
    pos = skip_ws(text, pos);
    if (pos < limit && text[static_cast<std::size_t>(pos)] == 'R') ++pos;
    return skip_ws(text, pos);
}

}  // namespace

reference_array read_reference_array(std::string_view text, std::int32_t open, std::int32_t capacity,
                                     std::vector<std::int32_t>& out, on_inline_dictionary at_dictionary)
{
    const std::int32_t limit = text_limit(text);
    reference_array read;
    std::int32_t pos = skip_ws(text, open + 1);
    while (pos < limit && text[static_cast<std::size_t>(pos)] != ']') {
        if (!is_digit(byte_at(text, pos))) {
            if (opens_dictionary(text, pos)) {
                read.holds_dictionary = true;
                if (at_dictionary == on_inline_dictionary::stop) return read;
            }
            pos = skip_ws(text, pos + 1);
            continue;
        }
        const std::int32_t num = parse_int_at(text, pos);
        pos = skip_reference_tail(text, pos);
        if (num > 0 && read.stored < capacity) {
            out.push_back(num);
            ++read.stored;
        }
    }
    return read;
}

void read_listed_objects(std::string_view text, std::int32_t open, std::vector<listed_object>& out)
{
    const std::int32_t limit = text_limit(text);
    std::int32_t pos = skip_ws(text, open + 1);
    while (pos < limit && text[static_cast<std::size_t>(pos)] != ']') {
        if (is_digit(byte_at(text, pos))) {
            const std::int32_t num = parse_int_at(text, pos);
            pos = skip_reference_tail(text, pos);
            if (num > 0) out.push_back({num, -1, -1});
            continue;
        }
        const std::int32_t end = skip_value_or_byte(text, pos);
        if (opens_dictionary(text, pos) && skip_pdf_value(text, pos) == end) out.push_back({0, pos, end});
        pos = skip_ws(text, end);
    }
}

std::int32_t highest_reference(std::string_view text, std::int32_t cap)
{
    std::int64_t best = 0;
    const std::int32_t len = text_limit(text);
    for (std::int32_t r = find_any(text, 0, len, ref_mark); r < len;
         r = find_any(text, r + 1, len, ref_mark)) {
        if (r + 1 < len && is_alnum(byte_at(text, r + 1))) continue;
        const std::int64_t n = reference_ending_at(text, r);
        if (n > best && n <= cap) best = n;
    }
    return static_cast<std::int32_t>(best);
}

void append_digit_runs(std::string_view text, std::int32_t cap, std::vector<std::int32_t>& out)
{
    const std::int32_t len = text_limit(text);
    for (std::int32_t i = 0; i < len;) {
        if (!is_digit(byte_at(text, i))) {
            ++i;
            continue;
        }
        std::int64_t n = 0;
        for (; i < len && is_digit(byte_at(text, i)); ++i)
            if (n <= cap) n = n * 10 + (byte_at(text, i) - '0');
        if (n >= 1 && n <= cap) out.push_back(static_cast<std::int32_t>(n));
    }
}

}  // namespace kestrin::scan
