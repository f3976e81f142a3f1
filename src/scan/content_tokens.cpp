#include "scan/content_tokens.h"

#include <algorithm>

#include "scan/chars.h"
#include "scan/keys.h"
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

namespace {

// Past the "EI" that ends image data following the "ID" that ends at id_end, or -1 when the text
// ends first. One white-space byte after "ID" belongs to the operator, not to the data.
std::int32_t image_data_end(std::string_view s, std::int32_t id_end)
{
    const std::int32_t n = text_limit(s);
    for (std::int32_t i = id_end + 1; i < n - 1; ++i) {
        const bool at_ei = s[static_cast<std::size_t>(i)] == 'E' && s[static_cast<std::size_t>(i) + 1] == 'I';
        if (!at_ei || !is_pdf_ws(byte_at(s, i - 1))) continue;
        if (i + 2 == n || !is_regular(byte_at(s, i + 2))) return i + 2;
    }
    return -1;
}

// One open array, dictionary or inline image dictionary, and whether a dictionary's last key
// still waits for its value: viewers would take the closing ">>" or "ID" for that value.
struct open_level {
    char kind = '[';  // '[' array, '<' dictionary, 'B' inline image dictionary
    bool key_pending = false;
};

using open_levels = std::vector<open_level>;

void count_item(open_levels& open)
{
    if (!open.empty() && open.back().kind != '[') open.back().key_pending = !open.back().key_pending;
}

void close_innermost(open_levels& open)
{
    open.pop_back();
    count_item(open);
}

// Follows the arrays and dictionaries that t opens or closes, and counts every other token as
// an item of the innermost one. A closing bracket of the other kind closes nothing, as in
// viewers, which take it for a stray token inside the open one.
void track_nesting(std::string_view s, const token& t, open_levels& open)
{
    const char c = s[static_cast<std::size_t>(t.start)];
    const bool doubled = t.end - t.start == 2 && s[static_cast<std::size_t>(t.start) + 1] == c;  // not "<>"
    if (!t.regular && c == '[') {
        open.push_back({'[', false});
    } else if (!t.regular && c == '<' && doubled) {
        open.push_back({'<', false});
    } else if (!t.regular && c == ']') {
        if (!open.empty() && open.back().kind == '[') close_innermost(open);
    } else if (!t.regular && c == '>' && doubled) {
        if (!open.empty() && open.back().kind == '<') close_innermost(open);
    } else {
        count_item(open);
    }
}

// Nesting depth of the parentheses still open at the end of a literal string whose body starts
// at pos; 0 when the string closes. A backslash steps over the byte after it.
std::int32_t open_parentheses(std::string_view s, std::int32_t pos)
{
    const std::int32_t n = text_limit(s);
    std::int32_t depth = 1;
    for (; pos < n; ++pos) {
        const char c = s[static_cast<std::size_t>(pos)];
        if (c == '\\')
            ++pos;
        else if (c == '(')
            ++depth;
        else if (c == ')' && --depth == 0)
            return 0;
    }
    return depth;
}

// What closes the literal or hex string t when the text ends inside it; empty otherwise. A hex
// string is open when its last byte is not ">" (a lone "<" at the end included).
std::string string_closing(std::string_view s, const token& t)
{
    const std::int32_t n = text_limit(s);
    if (t.regular || t.end != n || t.end - t.start < 1) return {};
    const char c = s[static_cast<std::size_t>(t.start)];
    if (c == '(') {
        const std::int32_t depth = open_parentheses(s, t.start + 1);
        return depth > 0 ? std::string(static_cast<std::size_t>(depth), ')').append("\n") : std::string();
    }
    const bool hex = c == '<' && (t.end - t.start == 1 || s[static_cast<std::size_t>(t.start) + 1] != '<');
    return hex && s[static_cast<std::size_t>(n) - 1] != '>' ? std::string(">\n") : std::string();
}

void append_line(std::string& text, std::string_view line) { text.append(line).append("\n"); }

// Closes every open level, innermost first, into closing. A key without its value gets a null.
void close_levels(open_levels& open, std::string& closing)
{
    while (!open.empty()) {
        const open_level level = open.back();
        if (level.key_pending) append_line(closing, keyword::null);
        if (level.kind == '[') append_line(closing, "]");
        if (level.kind == '<') append_line(closing, ">>");
        if (level.kind == 'B') {  // with no image data
            append_line(closing, op::image_data);
            append_line(closing, op::end_image);
        }
        close_innermost(open);
    }
}

struct image_walk {
    std::int32_t end = 0;
    std::string closing;  // empty when the image is complete
};

// Walks the inline image whose dictionary starts at pos to past its "EI", or to the text's end
// with what closes it.
image_walk walk_inline_image(std::string_view s, std::int32_t pos)
{
    const std::int32_t n = text_limit(s);
    open_levels open{{'B', false}};
    token last;
    for (token t = next_token(s, pos); t.start < n; t = next_token(s, t.end)) {
        if (open.size() == 1 && token_is(s, t, op::image_data)) {
            const std::int32_t end = image_data_end(s, t.end);
            if (end >= 0) return {end, {}};
            image_walk unfinished{n, {}};
            append_line(unfinished.closing, op::end_image);
            return unfinished;
        }
        track_nesting(s, t, open);
        last = t;
    }
    image_walk walk{n, string_closing(s, last)};
    close_levels(open, walk.closing);
    return walk;
}

// The operators that open and close at the page level: graphics states, the text object and
// marked-content sequences.
struct page_level {
    content_ending ending;
    std::int32_t marked = 0;              // open marked-content sequences
    std::int32_t marked_before_text = -1;  // those open when the open text object began; -1: none
};

void on_operator(std::string_view s, const token& t, page_level& page)
{
    if (token_is(s, t, op::save)) {
        ++page.ending.open_q;
    } else if (token_is(s, t, op::restore)) {
        if (page.ending.open_q > 0)
            --page.ending.open_q;
        else
            page.ending.stray_q.push_back(t.start);
    } else if (token_is(s, t, op::begin_text)) {
        if (page.marked_before_text < 0) page.marked_before_text = page.marked;
    } else if (token_is(s, t, op::end_text)) {
        page.marked_before_text = -1;
    } else if (token_is(s, t, op::begin_marked) || token_is(s, t, op::begin_marked_with_properties)) {
        ++page.marked;
    } else if (token_is(s, t, op::end_marked)) {
        if (page.marked > 0) --page.marked;
        page.marked_before_text = std::min(page.marked_before_text, page.marked);
    }
}

// Ends the sequences begun inside the open text object, the text object, then the others.
void close_text_and_marked(page_level& page)
{
    std::string& closing = page.ending.closing;
    if (page.marked_before_text >= 0) {
        for (; page.marked > page.marked_before_text; --page.marked) append_line(closing, op::end_marked);
        append_line(closing, op::end_text);
    }
    for (; page.marked > 0; --page.marked) append_line(closing, op::end_marked);
}

}  // namespace

std::int32_t skip_inline_image(std::string_view s, std::int32_t pos)
{
    return walk_inline_image(s, pos).end;
}

content_ending read_content_ending(std::string_view content)
{
    const std::int32_t n = text_limit(content);
    page_level page;
    open_levels open;
    token last;
    for (token t = next_token(content, 0); t.start < n; t = next_token(content, t.end)) {
        last = t;
        if (!t.regular || !open.empty()) {
            track_nesting(content, t, open);
        } else if (token_is(content, t, op::begin_image)) {
            image_walk image = walk_inline_image(content, t.end);
            if (!image.closing.empty()) {
                page.ending.closing = std::move(image.closing);
                close_text_and_marked(page);
                return std::move(page.ending);
            }
            t.end = image.end;
        } else {
            on_operator(content, t, page);
        }
    }
    page.ending.closing = string_closing(content, last);
    close_levels(open, page.ending.closing);
    close_text_and_marked(page);
    return std::move(page.ending);
}

bool only_restores_from(std::string_view content, std::int32_t pos)
{
    const std::int32_t n = text_limit(content);
    for (token t = next_token(content, pos); t.start < n; t = next_token(content, t.end))
        if (!token_is(content, t, op::restore)) return false;
    return true;
}

}  // namespace kestrin::scan
