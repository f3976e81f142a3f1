#include "scan/strings.h"

#include "scan/token.h"

namespace kestrin::scan {

namespace {

constexpr bool is_octal(char c) { return c >= '0' && c <= '7'; }

// The byte an escape "\c" stands for, for the single-letter escapes.
char escaped_byte(char c)
{
    switch (c) {
    case 'n': return '\n';
    case 'r': return '\r';
    case 't': return '\t';
    case 'b': return '\b';
    case 'f': return '\f';
    default: return c;
    }
}

// Decodes one escape whose backslash is at body[i]; returns the index after it.
std::size_t decode_escape(std::string_view body, std::size_t i, std::string& out)
{
    if (body.size() - i == 1) {  // a trailing backslash is kept
        out += '\\';
        return i + 1;
    }
    const char c = body[i + 1];
    if (c == '\n' || c == '\r') return i + 2;  // a line continuation gives nothing
    if (!is_octal(c)) {
        out += escaped_byte(c);
        return i + 2;
    }
    unsigned value = 0;
    std::size_t j = i + 1;
    for (int digits = 0; digits < 3 && j < body.size() && is_octal(body[j]); ++digits, ++j)
        value = value * 8 + static_cast<unsigned>(body[j] - '0');
    out += static_cast<char>(value & 0xFF);
    return j;
}

std::string decode_literal(std::string_view body)
{
    std::string out;
    out.reserve(body.size());
    for (std::size_t i = 0; i < body.size();) {
        if (body[i] == '\\') {
            i = decode_escape(body, i, out);
        } else {
            out += body[i++];
        }
    }
    return out;
}

int hex_value(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

std::optional<std::string> read_literal_string(std::string_view text, std::int32_t open)
{
    if (open < 0 || static_cast<std::size_t>(open) >= text.size() || text[open] != '(')
        return std::nullopt;
    const std::int32_t end = skip_literal_string(text, open + 1);
    if (end < 0) return std::nullopt;
    const std::int32_t close = end - 1;
    return decode_literal(text.substr(open + 1, close - open - 1));
}

std::optional<std::string> read_hex_string(std::string_view text, std::int32_t open)
{
    if (open < 0 || static_cast<std::size_t>(open) >= text.size() || text[open] != '<')
        return std::nullopt;
    const auto close = text.find('>', static_cast<std::size_t>(open) + 1);
    if (close == std::string_view::npos) return std::nullopt;
    std::string out;
    int high = -1;
    for (std::size_t i = open + 1; i < close; ++i) {
        const int v = hex_value(text[i]);
        if (v < 0) continue;  // white space between digits
        if (high < 0) {
            high = v;
        } else {
            out += static_cast<char>(high * 16 + v);
            high = -1;
        }
    }
    if (high >= 0) out += static_cast<char>(high * 16);  // an odd last digit is followed by 0
    return out;
}

std::string decoded_name(std::string_view raw)
{
    std::string out;
    out.reserve(raw.size());
    for (std::size_t i = 0; i < raw.size(); ++i) {
        const int high = raw[i] == '#' && raw.size() - i > 2 ? hex_value(raw[i + 1]) : -1;
        const int low = high >= 0 ? hex_value(raw[i + 2]) : -1;
        if (low < 0) {
            out += raw[i];
            continue;
        }
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return out;
}

}  // namespace kestrin::scan
