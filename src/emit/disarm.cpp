// Texts made safe to stand in an output object: framing keywords disarmed, dictionaries closed,
// page-tree types kept.
#include <algorithm>
#include <string>
#include <string_view>

#include "emit/writer.h"
#include "scan/frame.h"
#include "scan/search.h"
#include "scan/token.h"
#include "scan/value.h"

namespace kestrin::emit {

namespace {

// What the dictionary framing leaves open at the end of text: dictionaries, and the parentheses
// of an unterminated literal string. Counted as the framing counts them, which stops at the first
// close of the outermost dictionary (then nothing is open).
struct open_parts {
    std::int32_t dictionaries = 0;
    std::int32_t parentheses = 0;
    bool escape = false;  // the text ends inside a string on a lone backslash
};

open_parts open_in(std::string_view text)
{
    open_parts open;
    const auto n = static_cast<std::int32_t>(text.size());
    for (std::int32_t i = 0; i < n;) {
        const char c = text[static_cast<std::size_t>(i)];
        if (c == '(') {
            open.parentheses = 1;
            for (++i; i < n && open.parentheses > 0; ++i) {
                const char s = text[static_cast<std::size_t>(i)];
                if (s == '\\') {
                    open.escape = i + 1 == n;
                    ++i;
                } else if (s == '(') {
                    ++open.parentheses;
                } else if (s == ')') {
                    --open.parentheses;
                }
            }
            if (open.parentheses > 0) return open;
            continue;
        }
        const bool pair = (c == '<' || c == '>') && i + 1 < n && text[static_cast<std::size_t>(i + 1)] == c;
        if (!pair) {
            ++i;
            continue;
        }
        if (c == '>' && open.dictionaries == 1) return {};
        open.dictionaries += c == '<' ? 1 : -1;
        i += 2;
    }
    return open;
}

// Whether the bytes of word stand somewhere in text.
bool holds_bytes(std::string_view text, std::string_view word)
{
    const auto last = static_cast<std::int32_t>(text.size()) - static_cast<std::int32_t>(word.size());
    const scan::probes probes = scan::word_probes(word);
    for (std::int32_t p = scan::find_probes(text, 0, last, probes); p >= 0;
         p = scan::find_probes(text, p + 1, last, probes))
        if (scan::same_bytes(text.data() + p, word)) return true;
    return false;
}

constexpr std::string_view framing_keywords[] = {"endstream", "endobj", "stream", "obj"};

// Length of the framing keyword at pos, or 0.
std::int32_t framing_keyword_at(std::string_view text, std::int32_t pos)
{
    for (std::string_view kw : framing_keywords)
        if (scan::kw_at(text, pos, kw)) return static_cast<std::int32_t>(kw.size());
    return 0;
}

// The three octal digits of a byte, as a string escape writes them.
void append_octal(std::string& out, char c)
{
    const auto b = static_cast<unsigned char>(c);
    out += static_cast<char>('0' + (b >> 6));
    out += static_cast<char>('0' + ((b >> 3) & 7));
    out += static_cast<char>('0' + (b & 7));
}

// Copies the literal string [open, close] to out with every framing keyword in it broken by an
// octal escape of its first byte, which leaves the string's value unchanged.
void append_disarmed_string(std::string& out, std::string_view text, std::int32_t open, std::int32_t close)
{
    for (std::int32_t i = open; i <= close;) {
        const bool escaped = text[static_cast<std::size_t>(i)] == '\\' && i + 1 < close;
        const std::int32_t at = escaped ? i + 1 : i;
        if (escaped) out += '\\';
        const std::int32_t kw = at < close ? framing_keyword_at(text, at) : 0;
        if (kw > 0) {
            if (!escaped) out += '\\';
            append_octal(out, text[static_cast<std::size_t>(at)]);
            out.append(text.substr(static_cast<std::size_t>(at) + 1, static_cast<std::size_t>(kw) - 1));
            i = at + kw;
        } else {
            out += text[static_cast<std::size_t>(at)];
            i = at + 1;
        }
    }
}

}  // namespace

// The longer two keywords contain the shorter.
bool may_hold_framing_keyword(std::string_view text)
{
    return holds_bytes(text, "obj") || holds_bytes(text, "stream");
}

bool holds_framing_keyword(std::string_view text)
{
    if (!may_hold_framing_keyword(text)) return false;
    for (std::string_view kw : framing_keywords)
        if (scan::find_kw(text, 0, kw) >= 0) return true;
    return false;
}

// An unterminated string is no string to a reader of the file: its keywords are blanked too.
std::string blank_framing_keywords(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + 16);
    const auto n = static_cast<std::int32_t>(text.size());
    for (std::int32_t i = 0; i < n;) {
        if (text[static_cast<std::size_t>(i)] == '(') {
            const std::int32_t end = scan::skip_pdf_value(text, i);
            if (end > i) {
                append_disarmed_string(out, text, i, end - 1);
                i = end;
                continue;
            }
        }
        if (const std::int32_t kw = framing_keyword_at(text, i); kw > 0) {
            out.append(static_cast<std::size_t>(kw), ' ');
            i += kw;
            continue;
        }
        out += text[static_cast<std::size_t>(i++)];
    }
    return out;
}

void close_dictionaries(std::string& text)
{
    const open_parts open = open_in(text);
    if (open.dictionaries <= 0) return;
    // A space first: a lone "<" or ">" at the end must not pair with the closers.
    text += open.escape ? "  " : " ";
    text.append(static_cast<std::size_t>(open.parentheses), ')');
    for (std::int32_t k = 0; k < open.dictionaries; ++k) text += ">>";
}

// An object whose dictionary is not closed in its own text would, copied as it is, run on into the
// objects written after it and could take a later object's stream for its own.
std::string_view closed_text(std::string_view body, std::string& scratch)
{
    const std::int32_t first = scan::skip_ws(body, 0);
    if (!body.substr(static_cast<std::size_t>(first)).starts_with("<<")) return body;
    if (scan::find_dict_close(body, first, static_cast<std::int32_t>(body.size())) >= 0) return body;
    scratch.assign(body);
    close_dictionaries(scratch);
    return scratch;
}

void keep_type(std::string& text, int type)
{
    if (type == scan::type_other || scan::obj_type(text, 0) == type) return;
    const std::size_t open = text.find("<<");
    if (open != std::string::npos)
        text.insert(open + 2, type == scan::type_page_tree_node ? " /Type /Pages" : " /Type /Page");
}

std::string_view disarmed(std::string_view text, std::string& scratch)
{
    if (!may_hold_framing_keyword(text)) return text;
    scratch = blank_framing_keywords(text);
    return scratch;
}

}  // namespace kestrin::emit
