#include "scan/content_tokens.h"

#include "scan/chars.h"
#include "scan/token.h"

namespace kestrin::scan {

namespace {

std::int32_t skip_space_and_comments(std::string_view s, std::int32_t i)
{
    const std::int32_t n = text_limit(s);
    while (i < n) {
        const unsigned char c = byte_at(s, i);
        if (is_pdf_ws(c)) {
            ++i;
        } else if (c == '%') {
            while (i < n && s[static_cast<std::size_t>(i)] != '\n' && s[static_cast<std::size_t>(i)] != '\r') ++i;
        } else {
            break;
        }
    }
    return i;
}

std::int32_t delimited_end(std::string_view s, std::int32_t i)
{
    const std::int32_t n = text_limit(s);
    const char c = s[static_cast<std::size_t>(i)];
    const bool doubled = i + 1 < n && s[static_cast<std::size_t>(i) + 1] == c;
    if (c == '(') {
        const std::int32_t end = skip_literal_string(s, i + 1);
        return end < 0 ? n : end;
    }
    if (c == '<' && !doubled) {
        const std::size_t close = s.find('>', static_cast<std::size_t>(i));
        return close == std::string_view::npos ? n : static_cast<std::int32_t>(close) + 1;
    }
    if (c == '/') {
        std::int32_t j = i + 1;
        while (j < n && is_regular(byte_at(s, j))) ++j;
        return j;
    }
    return (c == '<' || c == '>') && doubled ? i + 2 : i + 1;
}

}  // namespace

token next_token(std::string_view s, std::int32_t pos)
{
    const std::int32_t n = text_limit(s);
    token t;
    t.start = skip_space_and_comments(s, pos);
    if (t.start >= n) {
        t.start = t.end = n;
        return t;
    }
    if (!is_regular(byte_at(s, t.start))) {
        t.end = delimited_end(s, t.start);
        return t;
    }
    t.end = t.start;
    while (t.end < n && is_regular(byte_at(s, t.end))) ++t.end;
    t.regular = true;
    return t;
}

bool token_is(std::string_view s, const token& t, std::string_view word)
{
    return t.regular && s.substr(static_cast<std::size_t>(t.start),
                                 static_cast<std::size_t>(t.end - t.start)) == word;
}

std::int32_t skip_inline_image(std::string_view s, std::int32_t pos)
{
    const std::int32_t n = text_limit(s);
    token t = next_token(s, pos);
    while (t.start < n && !token_is(s, t, "ID")) t = next_token(s, t.end);
    for (std::int32_t i = t.end + 1; i < n - 1; ++i) {
        const bool at_ei = s[static_cast<std::size_t>(i)] == 'E' && s[static_cast<std::size_t>(i) + 1] == 'I';
        if (!at_ei || !is_pdf_ws(byte_at(s, i - 1))) continue;
        if (i + 2 == n || !is_regular(byte_at(s, i + 2))) return i + 2;
    }
    return n;
}

std::int32_t open_q_count(std::string_view content)
{
    const std::int32_t n = text_limit(content);
    std::int32_t depth = 0;
    token t = next_token(content, 0);
    while (t.start < n) {
        if (token_is(content, t, "q")) {
            ++depth;
        } else if (token_is(content, t, "Q")) {
            if (depth > 0) --depth;
        } else if (token_is(content, t, "BI")) {
            t = next_token(content, skip_inline_image(content, t.end));
            continue;
        }
        t = next_token(content, t.end);
    }
    return depth;
}

}  // namespace kestrin::scan
