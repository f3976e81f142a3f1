#include "draw/text.h"

#include <algorithm>
#include <array>
#include <span>
#include <utility>

#include "base/append.h"
#include "scan/content_tokens.h"
#include "scan/token.h"
#include "scan/value.h"

namespace kestrin::draw {

namespace {

// Escaped text stops growing here, whole escapes only, so the text object stays about 1 KiB.
constexpr std::size_t escaped_limit = 1020;
// A piece cut from a line too wide for the box shows at most this many bytes.
constexpr std::int32_t max_piece = 511;

constexpr double margin = 4.0;
// At the default size, scaled with the size: from the top margin to the first baseline, and from
// one baseline to the next.
constexpr double first_drop = 8.8;
constexpr double line_pitch = 14.3;

// Width of one byte in thousandths of the font size: a rough Helvetica.
constexpr std::int64_t byte_units(unsigned char c)
{
    if (c == ' ' || c == ',' || c == '.') return 278;
    if (c == '-' || c == '(' || c == ')') return 333;
    if (c >= 'A' && c <= 'Z') return 667;
    return 556;
}

std::int64_t width_units(std::string_view text)
{
    std::int64_t sum = 0;
    for (char c : text) sum += byte_units(static_cast<unsigned char>(c));
    return sum;
}

double units_to_width(std::int64_t units, double size) { return static_cast<double>(units) * size / 1000.0; }

// WinAnsi bytes 0x80-0x9F and the code points they show; the rest of WinAnsi is Latin-1.
constexpr std::array<std::pair<char32_t, unsigned char>, 27> winansi_extras{{
    {0x20AC, 0x80}, {0x201A, 0x82}, {0x0192, 0x83}, {0x201E, 0x84}, {0x2026, 0x85},
    {0x2020, 0x86}, {0x2021, 0x87}, {0x02C6, 0x88}, {0x2030, 0x89}, {0x0160, 0x8A},
    {0x2039, 0x8B}, {0x0152, 0x8C}, {0x017D, 0x8E}, {0x2018, 0x91}, {0x2019, 0x92},
    {0x201C, 0x93}, {0x201D, 0x94}, {0x2022, 0x95}, {0x2013, 0x96}, {0x2014, 0x97},
    {0x02DC, 0x98}, {0x2122, 0x99}, {0x0161, 0x9A}, {0x203A, 0x9B}, {0x0153, 0x9C},
    {0x017E, 0x9E}, {0x0178, 0x9F},
}};

char winansi_byte(char32_t cp)
{
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<char>(cp);
    for (const auto& [code, byte] : winansi_extras)
        if (code == cp) return static_cast<char>(byte);
    return '?';
}

constexpr bool is_high_surrogate(char32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
constexpr bool is_low_surrogate(char32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// UTF-16BE after its byte order mark; an odd last byte is dropped.
std::string decode_utf16(std::string_view raw)
{
    auto unit_at = [&](std::size_t i) {
        return static_cast<char32_t>((static_cast<unsigned char>(raw[i]) << 8) |
                                     static_cast<unsigned char>(raw[i + 1]));
    };
    std::string out;
    for (std::size_t i = 2; raw.size() - i >= 2; i += 2) {
        const char32_t unit = unit_at(i);
        if (is_high_surrogate(unit) && raw.size() - i >= 4 && is_low_surrogate(unit_at(i + 2))) {
            i += 2;  // a pair outside the basic plane: no WinAnsi byte shows it
            out += '?';
        } else if (is_high_surrogate(unit) || is_low_surrogate(unit)) {
            out += '?';
        } else {
            out += winansi_byte(unit);
        }
    }
    return out;
}

// Line state of the layout: the position, the end of the current line and what is known about
// it, kept up to date as bytes are consumed so that no line is measured twice.
struct line_cursor {
    std::string_view text;
    double font_size = text_font_size;
    std::int32_t pos = 0;
    std::int32_t line_end = 0;    // the line feed that ends the current line, or the text's size
    std::int64_t units = 0;       // width units of [pos, line_end)
    std::int32_t next_space = 0;  // the first space at pos + 1 or later, or the text's size

    std::int32_t size() const { return static_cast<std::int32_t>(text.size()); }

    void start_line()
    {
        const auto lf = text.find('\n', static_cast<std::size_t>(pos));
        line_end = lf == std::string_view::npos ? size() : static_cast<std::int32_t>(lf);
        units = width_units(text.substr(pos, line_end - pos));
    }

    // Advances within the current line.
    void consume(std::int32_t n)
    {
        units -= width_units(text.substr(pos, n));
        pos += n;
    }

    // Steps over spaces and line feeds; a line feed crossed starts the next line.
    void skip_gaps()
    {
        bool crossed = false;
        for (; pos < size() && (text[pos] == ' ' || text[pos] == '\n'); ++pos) {
            if (text[pos] == '\n') crossed = true;
            if (!crossed) units -= byte_units(' ');
        }
        if (crossed) start_line();
    }

    bool line_has_space_after_first()
    {
        if (next_space <= pos) next_space = pos + 1;
        while (next_space < size() && text[next_space] != ' ') ++next_space;
        return next_space < line_end;
    }
};

// Where a line too wide for avail is cut: after the last space before the width estimate
// (i + 1) * W / n passes avail at a byte other than a space; 1 when the line has no space beyond
// its first byte.
std::int32_t break_index(line_cursor& cur, double avail)
{
    const std::int32_t n = cur.line_end - cur.pos;
    if (!cur.line_has_space_after_first()) return n < 1 ? n : 1;
    const double width = units_to_width(cur.units, cur.font_size);
    std::int32_t last_space = 0;
    for (std::int32_t i = 0; i < n; ++i) {
        if (cur.text[cur.pos + i] == ' ') {
            last_space = i;
            continue;
        }
        if (last_space > 0 && static_cast<double>(i + 1) * width / n > avail) break;
    }
    return last_space;
}

// The next line to draw, consuming it from the cursor.
std::string_view next_piece(line_cursor& cur, double avail)
{
    const std::int32_t start = cur.pos;
    if (units_to_width(cur.units, cur.font_size) <= avail) {
        const std::int32_t end = cur.line_end;
        cur.pos = end < cur.size() ? end + 1 : end;
        cur.start_line();
        return cur.text.substr(start, end - start);
    }
    const std::int32_t cut = break_index(cur, avail);
    cur.consume(cut);
    cur.skip_gaps();
    return cur.text.substr(start, cut < max_piece ? cut : max_piece);
}

// The operands a default appearance string gives one operator: its last numbers, at most four.
struct operands {
    std::array<double, 4> last{};
    std::size_t count = 0;

    void push(double v)
    {
        if (count == last.size()) {
            std::move(last.begin() + 1, last.end(), last.begin());
            --count;
        }
        last[count++] = v;
    }
    std::span<const double> top(std::size_t n) const { return std::span(last).subspan(count - n, n); }
};

// The number a regular token spells, or nullopt when it is an operator.
std::optional<double> number_token(std::string_view token)
{
    std::int32_t pos = 0;
    const std::optional<double> v = scan::read_real(token, pos);
    return v && pos == scan::text_limit(token) ? v : std::nullopt;
}

// Applies the operator op of a default appearance string to style, when it sets the size or the
// fill colour and has the operands it needs.
void apply_operator(std::string_view op, const operands& args, text_style& style)
{
    if (op == "Tf" && args.count >= 1) {
        const double size = args.top(1)[0];
        if (size > 0) style.size = size;
        return;
    }
    const std::size_t needed = op == "g" ? 1 : op == "rg" ? 3 : op == "k" ? 4 : 0;
    if (needed == 0 || args.count < needed) return;
    if (const std::optional<colour> c = colour_of(args.top(needed))) style.fill = *c;
}

// "\r\n" and "\r" as "\n".
std::string unify_line_ends(std::string text)
{
    std::size_t out = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            text[out++] = '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            text[out++] = text[i];
        }
    }
    text.resize(out);
    return text;
}

}  // namespace

text_style default_appearance_style(std::string_view da)
{
    text_style style;
    operands args;
    const std::int32_t size = scan::text_limit(da);
    for (scan::token t = scan::next_token(da, 0); t.start < size; t = scan::next_token(da, t.end)) {
        const std::string_view word = da.substr(static_cast<std::size_t>(t.start),
                                                static_cast<std::size_t>(t.end - t.start));
        if (!t.regular) continue;  // a name or string operand: only the numbers matter here
        if (const std::optional<double> v = number_token(word)) {
            args.push(*v);
            continue;
        }
        apply_operator(word, args, style);
        args = {};
    }
    return style;
}

double text_width(std::string_view text, double size) { return units_to_width(width_units(text), size); }

std::string escape_text(std::string_view text)
{
    std::string out;
    for (char ch : text) {
        if (out.size() >= escaped_limit) break;
        const auto c = static_cast<unsigned char>(ch);
        if (c == '(' || c == ')' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c >= 0x80) {
            out += '\\';
            out += static_cast<char>('0' + (c >> 6));
            out += static_cast<char>('0' + ((c >> 3) & 7));
            out += static_cast<char>('0' + (c & 7));
        } else if (c < 0x20 || c == 0x7F) {
            out += '?';
        } else {
            out += ch;
        }
    }
    return out;
}

void append_text_object(base::byte_buffer& drawing, std::string_view font, double x, double y,
                        std::string_view text, const text_style& style)
{
    base::append(drawing, "BT /", font, ' ', base::fixed3(style.size), " Tf ");
    append_colour(drawing, style.fill, paint::fill);
    base::append(drawing, " 1 0 0 1 ", base::fixed6(x), ' ', base::fixed6(y), " Tm (", escape_text(text),
                 ") Tj ET\n");
}

std::string winansi_text(std::string_view raw)
{
    const bool utf16 = raw.size() >= 2 && static_cast<unsigned char>(raw[0]) == 0xFE &&
                       static_cast<unsigned char>(raw[1]) == 0xFF;
    std::string out = utf16 ? decode_utf16(raw) : std::string(raw);
    const auto nul = out.find('\0');
    if (nul != std::string::npos) out.resize(nul);
    return out;
}

std::string freetext_text(std::string_view contents) { return unify_line_ends(winansi_text(contents)); }

std::vector<text_line> layout_text(std::string_view text, double x, double y, double w, double h, double size)
{
    std::vector<text_line> lines;
    const double avail = w - 2 * margin;
    const double scale = size / text_font_size;
    const double pitch = line_pitch * scale;
    double baseline = y + h - margin - first_drop * scale;
    line_cursor cur{text, size};
    cur.start_line();
    while (cur.pos < cur.size()) {
        lines.push_back({x + margin, baseline, next_piece(cur, avail)});
        baseline -= pitch;
        if (baseline < y + margin) break;
    }
    return lines;
}

}  // namespace kestrin::draw
