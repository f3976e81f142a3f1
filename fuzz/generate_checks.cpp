// The generator's rules, checked on appearances built from fuzz input: see check_generate.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_checks.h"
#include "generate/button_appearance.h"
#include "generate/composite_font.h"
#include "generate/default_appearance.h"
#include "generate/list_box.h"
#include "generate/standard_fonts.h"
#include "generate/text_layout.h"
#include "generate/text_string.h"
#include "generate/widget_frame.h"
#include "scan/cmap.h"

namespace kestrin::fuzz {

namespace {

using namespace kestrin::generate;

// The fixed part at the start of an input: flags, geometry and colours (see generator_input).
constexpr std::size_t header_size = 40;
constexpr char segment_separator = '\x1F';
constexpr char item_separator = '\x1E';
// Every number written is clamped to this magnitude (base::clamp_coordinate).
constexpr double largest_number = 1e9;

constexpr std::string_view operators[] = {"q", "Q", "BT", "ET", "Tf", "Td", "Tj", "re", "W", "n", "f", "S",
                                          "g", "rg", "k", "G", "RG", "K", "w", "d", "m", "l", "c", "h", "BMC",
                                          "EMC"};

bool is_space(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == '\0'; }
bool is_delimiter(char c) { return std::string_view("()<>[]{}/%").find(c) != std::string_view::npos; }

// The end of the literal string that starts at pos, or npos when it does not close.
std::size_t string_end(std::string_view s, std::size_t pos)
{
    std::int32_t depth = 0;
    for (std::size_t i = pos; i < s.size(); ++i) {
        if (s[i] == '\\') ++i;
        else if (s[i] == '(') ++depth;
        else if (s[i] == ')' && --depth == 0) return i + 1;
    }
    return std::string_view::npos;
}

bool is_number(std::string_view t)
{
    if (t.empty()) return false;
    for (char c : t)
        if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+')) return false;
    return true;
}

std::string check_number(std::string_view t)
{
    double v = 0;
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
    if (ec != std::errc() || end != t.data() + t.size()) return "malformed number " + std::string(t);
    if (!std::isfinite(v) || std::fabs(v) > largest_number) return "number out of range " + std::string(t);
    return {};
}

// Operators nest: q/Q, BT/ET, BMC/EMC never close more than they opened and all close at the end.
struct nesting {
    std::int32_t saves = 0, texts = 0, marks = 0;
    std::string step(std::string_view op)
    {
        if (op == "q") ++saves;
        if (op == "BT") ++texts;
        if (op == "BMC") ++marks;
        if ((op == "Q" && --saves < 0) || (op == "ET" && --texts < 0) || (op == "EMC" && --marks < 0))
            return "unbalanced " + std::string(op);
        return {};
    }
    bool closed() const { return saves == 0 && texts == 0 && marks == 0; }
};

// A content stream as the generator writes it: numbers finite and in range (never "nan" or "inf"),
// names, strings that close, known operators only, balanced nesting.
std::string check_content(std::string_view s)
{
    nesting nest;
    std::size_t pos = 0;
    while (pos < s.size()) {
        const char c = s[pos];
        if (is_space(c) || c == '[' || c == ']') {
            ++pos;
        } else if (c == '(') {
            const std::size_t end = string_end(s, pos);
            if (end == std::string_view::npos) return "unterminated string";
            pos = end;
        } else if (c == '<') {
            const std::size_t end = s.find('>', pos);
            if (end == std::string_view::npos) return "unterminated hex string";
            const std::string_view digits = s.substr(pos + 1, end - pos - 1);
            if (digits.find_first_not_of("0123456789ABCDEF") != std::string_view::npos) return "not a hex string";
            pos = end + 1;
        } else if (c == '/') {
            ++pos;
            while (pos < s.size() && !is_space(s[pos]) && !is_delimiter(s[pos])) ++pos;
        } else {
            std::size_t end = pos;
            while (end < s.size() && !is_space(s[end]) && !is_delimiter(s[end])) ++end;
            if (end == pos) return "stray delimiter";
            const std::string_view token = s.substr(pos, end - pos);
            pos = end;
            if (is_number(token)) {
                if (auto broke = check_number(token); !broke.empty()) return broke;
            } else if (std::find(std::begin(operators), std::end(operators), token) == std::end(operators)) {
                return "unexpected token " + std::string(token);
            } else if (auto broke = nest.step(token); !broke.empty()) {
                return broke;
            }
        }
    }
    return nest.closed() ? std::string() : "unclosed q, BT or BMC";
}

std::vector<std::string_view> split(std::string_view s, char separator)
{
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= s.size(); ++i) {
        if (i == s.size() || s[i] == separator) {
            parts.push_back(s.substr(start, i - start));
            start = i + 1;
        }
    }
    return parts;
}

// The input: a header of header_size bytes (missing bytes read as 0), then segments separated by
// 0x1F: DA, the value, MK CA, the Opt rows (0x1E between them), I (one signed byte an index), the
// V values (0x1E between them) and the data of a composite font's ToUnicode CMap.
struct generator_input {
    std::uint8_t header[header_size]{};
    std::vector<std::string_view> segments;

    generator_input(const std::uint8_t* data, std::size_t size)
    {
        const std::size_t n = std::min(size, header_size);
        if (n > 0) std::memcpy(header, data, n);
        const std::string_view rest(reinterpret_cast<const char*>(data) + n, size - n);
        segments = split(rest, segment_separator);
        segments.resize(std::max<std::size_t>(segments.size(), 7));
    }
    bool bit(std::size_t byte, int b) const { return (header[byte] >> b) & 1; }
    float real(std::size_t at) const
    {
        float v = 0;
        std::memcpy(&v, header + at, sizeof v);
        return v;
    }
    std::int16_t int16(std::size_t at) const
    {
        std::int16_t v = 0;
        std::memcpy(&v, header + at, sizeof v);
        return v;
    }
    // Colour components in about [-0.5, 1.5], so that clamping is exercised too.
    std::vector<double> components(std::size_t count_byte, std::size_t first) const
    {
        std::vector<double> out;
        for (std::size_t i = 0; i < header[count_byte] % 6u; ++i) out.push_back((header[first + i] - 64) / 128.0);
        return out;
    }
};

const font_metrics& font_for(const default_appearance& da)
{
    const font_metrics* font = find_standard_font(da.font_name);
    return font ? *font : *find_standard_font("Helvetica");
}

base_encoding encoding_for(const font_metrics& font)
{
    const std::string_view name = font.name;
    if (name == "Symbol") return base_encoding::symbol;
    if (name == "ZapfDingbats") return base_encoding::zapf_dingbats;
    return base_encoding::win_ansi;
}

std::string with_context(const std::string& broke, const char* what)
{
    return broke.empty() ? broke : std::string(what) + ": " + broke;
}

std::string check_rotation(const generator_input& in)
{
    const double w = in.real(4), h = in.real(8);
    const rotated_box box = rotated_form_box(w, h, in.int16(2));
    for (double m : box.matrix)
        if (!std::isfinite(m)) return "rotation: matrix not finite";
    // The BBox's corners must land on [0 0 w h] (after non-finite and negative sizes read as 0).
    const double rw = std::isfinite(w) && w > 0 ? w : 0, rh = std::isfinite(h) && h > 0 ? h : 0;
    double lo_x = 1e300, hi_x = -1e300, lo_y = 1e300, hi_y = -1e300;
    for (double x : {0.0, box.width})
        for (double y : {0.0, box.height}) {
            const auto& m = box.matrix;
            const double tx = m[0] * x + m[2] * y + m[4], ty = m[1] * x + m[3] * y + m[5];
            lo_x = std::min(lo_x, tx), hi_x = std::max(hi_x, tx), lo_y = std::min(lo_y, ty), hi_y = std::max(hi_y, ty);
        }
    if (lo_x != 0 || lo_y != 0 || hi_x != rw || hi_y != rh) return "rotation: box does not map onto the rectangle";
    return {};
}

text_request text_request_of(const generator_input& in, const default_appearance& da)
{
    text_request r;
    r.box = {in.real(4), in.real(8), in.real(12)};
    r.font_size = da.font_size;
    r.text_colour = da.text_colour;
    r.alignment = static_cast<quadding>((in.header[0] >> 5) % 3);
    r.flags = {in.bit(0, 0), in.bit(0, 1), in.bit(0, 2), static_cast<std::int8_t>(in.header[1])};
    return r;
}

widget_colours colours_of(const generator_input& in)
{
    const auto bg = in.components(20, 24);
    const auto bc = in.components(21, 28);
    return {colour_from_components(bg), colour_from_components(bc)};
}

border border_of(const generator_input& in)
{
    border b;
    b.width = in.real(12);
    b.style = static_cast<border_style>(in.header[22] % 5);
    b.dash = {in.real(32), in.real(36)};
    return b;
}

std::string check_buttons(const generator_input& in, const default_appearance& da)
{
    button_request r;
    r.kind = in.bit(0, 4) ? button_kind::radio : button_kind::check_box;
    r.width = in.real(4);
    r.height = in.real(8);
    r.caption = std::string(in.segments[2]);
    r.font_resource = da.font_name;
    r.font_size = in.real(16);
    r.caption_colour = da.text_colour;
    r.colours = colours_of(in);
    r.frame_border = border_of(in);
    r.on = false;
    const button_appearance off = button_content(r);
    r.on = true;
    const button_appearance on = button_content(r);
    if (off.content.find("BT") != std::string::npos || off.uses_font) return "buttons: off shows a caption";
    if (!on.content.starts_with(off.content)) return "buttons: on does not draw the off frame first";
    if (auto broke = check_content(off.content); !broke.empty()) return "buttons, off: " + broke;
    return with_context(check_content(on.content), "buttons, on");
}

std::string check_list(const generator_input& in, const default_appearance& da, const layout_font& font)
{
    std::vector<list_option> options;
    for (auto item : split(in.segments[3], item_separator)) {
        const auto display = decode_text_string(item);
        options.push_back({display, display});
    }
    std::vector<std::int64_t> indices;
    for (char c : in.segments[4]) indices.push_back(static_cast<std::int8_t>(c));
    std::vector<std::u32string> values;
    for (auto v : split(in.segments[5], item_separator)) values.push_back(decode_text_string(v));
    list_request r;
    r.box = {in.real(4), in.real(8), in.real(12)};
    r.font_size = da.font_size;
    r.text_colour = da.text_colour;
    r.alignment = static_cast<quadding>((in.header[0] >> 5) % 3);
    r.top_index = static_cast<std::int8_t>(in.header[23]);
    r.selected = selected_rows(options, indices, values);
    for (std::size_t i = 1; i < r.selected.size(); ++i)
        if (r.selected[i - 1] >= r.selected[i]) return "list: selected rows not ascending and unique";
    for (auto s : r.selected)
        if (s < 0 || static_cast<std::size_t>(s) >= options.size()) return "list: selected row out of range";
    return with_context(check_content(list_box_content(options, font, r).content), "list");
}

constexpr bool is_character(char32_t c) { return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF); }

// The CMap reader keeps its limits and gives characters only; the composite font finds for each
// character a code that shows it, and its layout obeys the content rules.
std::string check_composite(const generator_input& in, const default_appearance& da, std::u32string_view value)
{
    const scan::to_unicode_cmap cmap = scan::read_to_unicode_cmap(in.segments[6]);
    if (cmap.mappings.size() > scan::max_cmap_mappings) return "cmap: too many mappings";
    for (const auto& r : cmap.codespace)
        if (r.bytes < 1 || r.bytes > 4 || r.low > r.high) return "cmap: codespace range out of order";
    std::vector<std::uint32_t> shows(0x10000, 0x110000);  // two-byte code -> its last character
    for (const auto& m : cmap.mappings) {
        if (!is_character(m.character)) return "cmap: a mapping to no character";
        if (m.code <= 0xFFFF) shows[m.code] = m.character;
    }
    const composite_font font(cmap.mappings, {}, static_cast<double>(in.real(16)));
    for (char32_t c : value) {
        const auto code = font.code_of(c);
        if (code && (*code == 0 || shows[*code] != c)) return "composite: a code that does not show its character";
    }
    const layout_font lf = composite_layout_font(da.font_name.empty() ? "F0" : da.font_name, font);
    return with_context(check_content(layout_text_field(value, lf, text_request_of(in, da)).content), "composite");
}

}  // namespace

std::string check_generator_content(std::string_view content) { return check_content(content); }

std::string check_generate(const std::uint8_t* data, std::size_t size)
{
    const generator_input in(data, size);
    const default_appearance da = parse_default_appearance(in.segments[0]);
    if (!std::isfinite(da.font_size) || da.font_size < 0 || da.font_size > 1000) return "DA: size out of range";
    for (double v : da.text_colour.values)
        if (!(v >= 0 && v <= 1)) return "DA: colour component out of range";
    const font_metrics& metrics = font_for(da);
    const encoding enc(encoding_for(metrics));
    const layout_font font = standard_layout_font(da.font_name.empty() ? "Helv" : da.font_name, metrics, enc);
    const std::u32string value = decode_text_string(in.segments[1]);
    const text_request request = text_request_of(in, da);
    const text_appearance text = layout_text_field(value, font, request);
    if (auto broke = check_content(text.content); !broke.empty()) return "text field: " + broke;
    if (request.flags.password && text.content.find("Tj") != std::string::npos) return "text field: password shown";
    if (auto broke = check_rotation(in); !broke.empty()) return broke;
    if (auto broke = check_buttons(in, da); !broke.empty()) return broke;
    if (auto broke = check_composite(in, da, value); !broke.empty()) return broke;
    return check_list(in, da, font);
}

}  // namespace kestrin::fuzz
