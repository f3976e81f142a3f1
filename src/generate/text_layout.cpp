#include "generate/text_layout.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>
#include <vector>

#include "base/append.h"

namespace kestrin::generate {

namespace {

// Auto size for multiline fields never goes above 12, tried in steps of half a unit.
constexpr double largest_auto_size = 1000.0;  // the largest DA size taken as meant
constexpr double largest_multiline_size = 12.0;
constexpr double multiline_size_step = 0.5;
constexpr std::string_view hex_digits = "0123456789ABCDEF";

// The widths of a font's codes, never negative or NaN, whatever the font claims. The one-byte codes'
// widths are looked up once, as layouts measure the same codes many times.
class code_widths {
public:
    explicit code_widths(const layout_font& font) : font_(font)
    {
        for (std::size_t code = 0; code < low_.size(); ++code) low_[code] = looked_up(static_cast<std::uint16_t>(code));
    }
    double operator[](std::uint16_t code) const { return code < low_.size() ? low_[code] : looked_up(code); }

private:
    double looked_up(std::uint16_t code) const
    {
        const double w = font_.width ? font_.width(code) : 0.0;
        return std::isfinite(w) && w > 0 ? w : 0.0;
    }

    const layout_font& font_;
    std::array<double, 256> low_{};
};

// One paragraph of the value, encoded, with the codes that stand for a space (where it may wrap).
struct paragraph {
    code_string codes;
    std::vector<bool> spaces;
};

// A drawn line: [start, end) of a paragraph's codes, and its width in thousandths of the size.
struct line {
    code_view codes;
    double units = 0;
};

constexpr bool is_newline(char32_t c) { return c == U'\r' || c == U'\n'; }

// The value split at CR, LF and CRLF; a single-line field shows one line, newlines as spaces.
std::vector<std::u32string> split_paragraphs(std::u32string_view value, bool multiline)
{
    std::vector<std::u32string> paragraphs(1);
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char32_t c = value[i];
        if (!is_newline(c)) {
            paragraphs.back() += c == U'\t' ? U' ' : c;
            continue;
        }
        if (c == U'\r' && value.size() - i > 1 && value[i + 1] == U'\n') ++i;
        if (multiline) paragraphs.emplace_back();
        else paragraphs.back() += U' ';
    }
    return paragraphs;
}

std::vector<paragraph> encode_paragraphs(const std::vector<std::u32string>& texts, const layout_font& font,
                                         std::int32_t& substituted)
{
    std::vector<paragraph> out;
    out.reserve(texts.size());
    for (const auto& text : texts) {
        encoded_text encoded = encode_text(text, font);
        substituted += encoded.substituted;
        out.push_back({std::move(encoded.codes), std::move(encoded.spaces)});
    }
    return out;
}

double units_of(code_view codes, const code_widths& widths)
{
    double sum = 0;
    for (std::uint16_t code : codes) sum += widths[code];
    return sum;
}

// Where the line that starts at start ends (exclusive) and where the next one starts, breaking at
// spaces and inside a word that alone is wider than the line; every line takes at least one code.
std::pair<std::size_t, std::size_t> line_break(const paragraph& p, std::size_t start, const code_widths& widths,
                                               double max_units)
{
    const std::size_t n = p.codes.size();
    double units = 0;
    std::size_t last_space = std::string::npos;
    std::size_t j = start;
    for (; j < n; ++j) {
        const double w = widths[p.codes[j]];
        if (units + w > max_units && j > start) break;
        if (p.spaces[j]) last_space = j;
        units += w;
    }
    if (j == n || p.spaces[j]) return {j, j};
    if (last_space != std::string::npos && last_space > start) return {last_space, last_space + 1};
    return {j, j};
}

void wrap_paragraph(const paragraph& p, const code_widths& widths, double max_units, std::vector<line>& lines)
{
    const code_view codes = p.codes;
    std::size_t start = 0;
    do {
        auto [end, next] = line_break(p, start, widths, max_units);
        while (end > start && p.spaces[end - 1]) --end;  // spaces at a break are not drawn
        const code_view shown = codes.subspan(start, end - start);
        lines.push_back({shown, units_of(shown, widths)});
        start = next;
        while (start < p.codes.size() && p.spaces[start]) ++start;  // nor at the start of the next
    } while (start < p.codes.size());
}

std::vector<line> wrap(const std::vector<paragraph>& paragraphs, const code_widths& widths, double max_units)
{
    std::vector<line> lines;
    for (const auto& p : paragraphs) wrap_paragraph(p, widths, max_units, lines);
    return lines;
}

std::vector<line> unwrapped(const std::vector<paragraph>& paragraphs, const code_widths& widths)
{
    std::vector<line> lines;
    for (const auto& p : paragraphs) lines.push_back({p.codes, units_of(p.codes, widths)});
    return lines;
}

// The box inside the border, and inside the padding, in the appearance's space.
struct inner_box {
    double left, bottom, width, height;  // inside the border (the clip)
    double text_width;                   // inside the horizontal padding too
};

inner_box inner_of(const text_box& box)
{
    const double b = std::max(0.0, box.border_width);
    const double w = std::max(0.0, box.width - 2 * b);
    const double h = std::max(0.0, box.height - 2 * b);
    return {b, b, w, h, std::max(0.0, w - 2 * horizontal_padding)};
}

double clamp_auto(double size) { return std::clamp(size, smallest_auto_size, largest_auto_size); }

double single_line_auto_size(const inner_box& inner, double text_units)
{
    double size = (inner.height - 2 * vertical_padding) / line_height;
    if (text_units > 0) size = std::min(size, inner.text_width * 1000.0 / text_units);
    return clamp_auto(size);
}

double multiline_auto_size(const std::vector<paragraph>& paragraphs, const code_widths& widths,
                           const inner_box& inner)
{
    const double room = inner.height - 2 * vertical_padding;
    for (double size = largest_multiline_size; size > smallest_auto_size; size -= multiline_size_step) {
        const auto lines = wrap(paragraphs, widths, inner.text_width * 1000.0 / size);
        if (static_cast<double>(lines.size()) * size * line_height <= room) return size;
    }
    return smallest_auto_size;
}

double comb_auto_size(code_view codes, const code_widths& widths, const inner_box& inner, double cell)
{
    double size = (inner.height - 2 * vertical_padding) / line_height;
    double widest = 0;
    for (std::uint16_t code : codes) widest = std::max(widest, widths[code]);
    if (widest > 0) size = std::min(size, cell * 1000.0 / widest);
    return clamp_auto(size);
}

// The baseline that centres the font's ascent-to-descent height in the box inside the border.
double centred_baseline(const inner_box& inner, const layout_font& font, double size)
{
    const double ascent = font.ascent * size / 1000.0;
    const double descent = font.descent * size / 1000.0;
    return inner.bottom + (inner.height - (ascent - descent)) / 2 - descent;
}

double aligned_x(const inner_box& inner, double width, quadding q)
{
    return aligned_left(inner.left, inner.width, width, q);
}

}  // namespace

void append_string(std::string& out, std::string_view codes)
{
    out += '(';
    for (char c : codes) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '(' || c == ')' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20 || u >= 0x7F) {
            const char octal[] = {'\\', static_cast<char>('0' + (u >> 6)), static_cast<char>('0' + ((u >> 3) & 7)),
                                  static_cast<char>('0' + (u & 7))};
            out.append(octal, sizeof octal);
        } else {
            out += c;
        }
    }
    out += ')';
}

void append_codes(std::string& out, code_view codes, std::int32_t code_bytes)
{
    if (code_bytes == 1) {
        std::string bytes;
        bytes.reserve(codes.size());
        for (std::uint16_t code : codes) bytes += static_cast<char>(code);
        append_string(out, bytes);
        return;
    }
    out += '<';
    for (std::uint16_t code : codes)
        for (int shift = 12; shift >= 0; shift -= 4) out += hex_digits[(code >> shift) & 15];
    out += '>';
}

double aligned_left(double left, double width, double text_width, quadding q)
{
    switch (q) {
    case quadding::centre: return left + (width - text_width) / 2;
    case quadding::right: return left + width - horizontal_padding - text_width;
    case quadding::left: break;
    }
    return left + horizontal_padding;
}

void open_marked_clip(std::string& out, double left, double bottom, double width, double height)
{
    base::append(out, "/Tx BMC\nq\n", base::fixed6(left), ' ', base::fixed6(bottom), ' ', base::fixed6(width), ' ',
                 base::fixed6(height), " re W n\n");
}

void close_marked_clip(std::string& out) { out += "Q\nEMC\n"; }

void append_colour(std::string& out, const colour& c, colour_use use)
{
    const bool stroke = use == colour_use::stroke;
    if (c.components == 4) {
        base::append(out, base::fixed3(c.values[0]), ' ', base::fixed3(c.values[1]), ' ',
                     base::fixed3(c.values[2]), ' ', base::fixed3(c.values[3]), stroke ? " K\n" : " k\n");
    } else if (c.components == 3) {
        base::append(out, base::fixed3(c.values[0]), ' ', base::fixed3(c.values[1]), ' ',
                     base::fixed3(c.values[2]), stroke ? " RG\n" : " rg\n");
    } else {
        base::append(out, base::fixed3(c.values[0]), stroke ? " G\n" : " g\n");
    }
}

namespace {

void open_text(std::string& out, const layout_font& font, const text_request& request, double size)
{
    out += "BT\n";
    append_name(out, font.resource_name);
    base::append(out, ' ', base::fixed3(size), " Tf\n");
    append_colour(out, request.text_colour);
}

// Shows each piece at its origin; Td moves from the previous origin.
struct placed {
    code_view codes;
    double x = 0;
    double y = 0;
};

void append_placed(std::string& out, const std::vector<placed>& pieces, std::int32_t code_bytes)
{
    double x = 0;
    double y = 0;
    for (const auto& p : pieces) {
        base::append(out, base::fixed6(p.x - x), ' ', base::fixed6(p.y - y), " Td\n");
        append_codes(out, p.codes, code_bytes);
        out += " Tj\n";
        x = p.x;
        y = p.y;
    }
}

std::vector<placed> place_single_line(const line& l, const inner_box& inner, const layout_font& font,
                                      const text_request& request, double size)
{
    return {{l.codes, aligned_x(inner, l.units * size / 1000.0, request.alignment),
             centred_baseline(inner, font, size)}};
}

// Lines from the top down; those wholly below the box are left out, as the clip would hide them.
std::vector<placed> place_lines(const std::vector<line>& lines, const inner_box& inner, const layout_font& font,
                                const text_request& request, double size)
{
    std::vector<placed> out;
    const double ascent = font.ascent * size / 1000.0;
    double y = inner.bottom + inner.height - vertical_padding - ascent;
    for (const auto& l : lines) {
        if (y + ascent < inner.bottom) break;
        out.push_back({l.codes, aligned_x(inner, l.units * size / 1000.0, request.alignment), y});
        y -= size * line_height;
    }
    return out;
}

// Each code centred in its cell; Q moves the whole text by cells.
std::vector<placed> place_comb(code_view codes, const code_widths& widths, const inner_box& inner,
                               const layout_font& font, const text_request& request, double size)
{
    const std::int32_t cells = request.flags.max_len;
    const double cell = inner.width / cells;
    const auto count = static_cast<std::int32_t>(codes.size());
    std::int32_t first_cell = 0;
    if (request.alignment == quadding::centre) first_cell = (cells - count) / 2;
    if (request.alignment == quadding::right) first_cell = cells - count;
    std::vector<placed> out;
    const double y = centred_baseline(inner, font, size);
    for (std::int32_t i = 0; i < count; ++i) {
        const double w = widths[codes[static_cast<std::size_t>(i)]] * size / 1000.0;
        out.push_back({codes.subspan(static_cast<std::size_t>(i), 1),
                       inner.left + (first_cell + i) * cell + (cell - w) / 2, y});
    }
    return out;
}

bool is_comb(const text_field_flags& flags)
{
    return flags.comb && flags.max_len > 0 && !flags.multiline && !flags.password;
}

// The comb's codes: at most MaxLen of them.
code_view comb_codes(const std::vector<paragraph>& paragraphs, std::int32_t max_len)
{
    const code_view codes = paragraphs.front().codes;
    return codes.first(std::min(codes.size(), static_cast<std::size_t>(max_len)));
}

}  // namespace

void append_name(std::string& out, std::string_view name)
{
    constexpr std::string_view needs_escape = "()<>[]{}/%#";
    out += '/';
    for (char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u >= 0x7F || needs_escape.find(c) != std::string_view::npos) {
            out += '#';
            out += hex_digits[u >> 4];
            out += hex_digits[u & 15];
        } else {
            out += c;
        }
    }
}

layout_font simple_layout_font(std::string resource_name, const encoding& enc)
{
    layout_font font;
    font.resource_name = std::move(resource_name);
    font.code_of = [&enc](char32_t c) -> std::optional<std::uint16_t> {
        if (const auto code = enc.code_of(c)) return *code;
        return std::nullopt;
    };
    font.substitute = enc.code_of(substitute_character).value_or(static_cast<std::uint8_t>('?'));
    return font;
}

layout_font standard_layout_font(std::string resource_name, const font_metrics& metrics, const encoding& enc)
{
    layout_font font = simple_layout_font(std::move(resource_name), enc);
    font.width = [&metrics, &enc](std::uint16_t code) {
        if (code > 0xFF) return 0.0;
        return static_cast<double>(glyph_width(metrics, enc.glyph_name(static_cast<std::uint8_t>(code))).value_or(0));
    };
    font.ascent = metrics.ascent;
    font.descent = metrics.descent;
    return font;
}

encoded_text encode_text(std::u32string_view text, const layout_font& font)
{
    encoded_text out;
    out.codes.reserve(text.size());
    out.spaces.reserve(text.size());
    for (char32_t c : text) {
        std::optional<std::uint16_t> code = font.code_of ? font.code_of(c) : std::nullopt;
        if (!code) {
            ++out.substituted;
            code = font.substitute;
        }
        if (!code) continue;
        out.codes.push_back(*code);
        out.spaces.push_back(c == U' ');
    }
    return out;
}

text_appearance layout_text_field(std::u32string_view value, const layout_font& font,
                                  const text_request& request)
{
    text_appearance result;
    const inner_box inner = inner_of(request.box);
    open_marked_clip(result.content, inner.left, inner.bottom, inner.width, inner.height);
    if (request.flags.password) {
        result.font_size = request.font_size;
        close_marked_clip(result.content);
        return result;
    }
    const auto paragraphs = encode_paragraphs(split_paragraphs(value, request.flags.multiline), font,
                                              result.substituted);
    const code_widths widths(font);
    double size = request.font_size;
    std::vector<placed> pieces;
    if (is_comb(request.flags)) {
        const code_view codes = comb_codes(paragraphs, request.flags.max_len);
        const double cell = inner.width / request.flags.max_len;
        if (size <= 0) size = comb_auto_size(codes, widths, inner, cell);
        pieces = place_comb(codes, widths, inner, font, request, size);
    } else if (request.flags.multiline) {
        if (size <= 0) size = multiline_auto_size(paragraphs, widths, inner);
        const auto lines = wrap(paragraphs, widths, inner.text_width * 1000.0 / size);
        pieces = place_lines(lines, inner, font, request, size);
    } else {
        const auto lines = unwrapped(paragraphs, widths);
        if (size <= 0) size = single_line_auto_size(inner, lines.front().units);
        pieces = place_single_line(lines.front(), inner, font, request, size);
    }
    result.font_size = size;
    open_text(result.content, font, request, size);
    append_placed(result.content, pieces, font.code_bytes);
    result.content += "ET\n";
    close_marked_clip(result.content);
    return result;
}

}  // namespace kestrin::generate
