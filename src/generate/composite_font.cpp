#include "generate/composite_font.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "base/byte_buffer.h"
#include "load/stream_data.h"
#include "load/values.h"
#include "scan/dictionary.h"
#include "scan/keys.h"
#include "scan/token.h"
#include "scan/value.h"

namespace kestrin::generate {

namespace {

constexpr std::uint32_t largest_code = 0xFFFF;
// Widths W gives at most: four for every two-byte code, so that the overlapping entries of real
// files are all read and a few bytes of hostile ranges cannot make more.
constexpr std::size_t max_width_codes = std::size_t{4} << 16;
// Bounds on what a damaged file may claim of a glyph, in thousandths of the font size.
constexpr double widest_glyph = 10000;

// Each code once, sorted: of the items given for a code, the last in the font's order (the sort
// is stable, so that order holds among equal codes).
template <typename T>
std::vector<T> last_per_code(std::vector<T> items)
{
    std::stable_sort(items.begin(), items.end(), [](const T& a, const T& b) { return a.code < b.code; });
    std::vector<T> out;
    out.reserve(items.size());
    for (std::size_t i = 0; i < items.size(); ++i)
        if (i + 1 == items.size() || items[i + 1].code != items[i].code) out.push_back(items[i]);
    return out;
}

// Each character once, with the lowest code that shows it.
std::vector<scan::code_character> inverse_of(std::span<const scan::code_character> mappings)
{
    std::vector<scan::code_character> drawable;
    for (const auto& m : mappings)
        if (m.code > 0 && m.code <= largest_code) drawable.push_back(m);
    std::vector<scan::code_character> out = last_per_code(std::move(drawable));
    std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) {
        return a.character != b.character ? a.character < b.character : a.code < b.code;
    });
    out.erase(std::unique(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.character == b.character; }),
              out.end());
    return out;
}

// The value of a dictionary's top-level key, following a reference; empty when absent.
std::string_view entry_of(const load::doc& d, std::string_view dict, std::string_view key)
{
    return load::resolved_value(d, load::value_text_at(dict, scan::entry_value_at(dict, 0, key)));
}

std::string_view dictionary_entry(const load::doc& d, std::string_view dict, std::string_view key)
{
    const std::string_view value = entry_of(d, dict, key);
    return scan::opens_dictionary(value, 0) ? value : std::string_view();
}

std::optional<double> number_of(std::string_view value)
{
    std::int32_t pos = 0;
    const auto n = scan::read_real(value, pos);
    return n && std::isfinite(*n) ? n : std::nullopt;
}

// Calls each_item with each item of the array text (a reference followed) until it returns false
// or the array ends.
template <typename F>
void for_each_item(const load::doc& d, std::string_view list, F each_item)
{
    if (list.empty() || list.front() != '[') return;
    const std::int32_t limit = scan::text_limit(list);
    for (std::int32_t pos = scan::skip_ws_and_comments(list, 1); pos < limit && list[static_cast<std::size_t>(pos)] != ']';
         pos = scan::skip_ws_and_comments(list, pos)) {
        const std::string_view item = load::value_text_at(list, pos);
        if (item.empty() || !each_item(load::resolved_value(d, item))) return;
        pos += static_cast<std::int32_t>(item.size());
    }
}

// Reads W (ISO 32000-1 9.7.4.3): "c [w1 w2 ...]" gives the codes from c on their widths, "c1 c2 w"
// gives the codes c1 to c2 one width. Codes past two bytes are left out.
class width_reader {
public:
    width_reader(const load::doc& d, std::vector<code_width>& out) : d_(d), out_(out) {}

    void read(std::string_view list)
    {
        std::vector<double> pending;
        for_each_item(d_, list, [&](std::string_view item) {
            if (!item.empty() && item.front() == '[') {
                if (pending.size() == 1) add_listed(pending[0], item);
                pending.clear();
            } else if (const auto n = number_of(item)) {
                pending.push_back(*n);
                if (pending.size() == 3) {
                    add_range(pending[0], pending[1], pending[2]);
                    pending.clear();
                }
            } else {
                pending.clear();
            }
            return !full();
        });
    }

private:
    bool full() const { return out_.size() >= max_width_codes; }

    static double glyph_width(double w) { return std::clamp(w, 0.0, widest_glyph); }

    void add_listed(double first, std::string_view widths)
    {
        if (first < 0 || first > largest_code) return;
        auto code = static_cast<std::uint32_t>(first);
        for_each_item(d_, widths, [&](std::string_view item) {
            const auto w = number_of(item);
            if (!w || code > largest_code || full()) return false;
            out_.push_back({static_cast<std::uint16_t>(code++), glyph_width(*w)});
            return true;
        });
    }

    void add_range(double first, double last, double width)
    {
        if (first < 0 || first > last || first > largest_code) return;
        const auto end = static_cast<std::uint32_t>(std::min(last, static_cast<double>(largest_code)));
        for (auto code = static_cast<std::uint32_t>(first); code <= end && !full(); ++code)
            out_.push_back({static_cast<std::uint16_t>(code), glyph_width(width)});
    }

    const load::doc& d_;
    std::vector<code_width>& out_;
};

std::optional<scan::to_unicode_cmap> to_unicode_of(const load::doc& d, std::string_view font_dict)
{
    const std::string_view value = load::value_text_at(font_dict, scan::entry_value_at(font_dict, 0, scan::key::to_unicode));
    const load::obj_entry* e = load::referenced_object(d, value);
    if (e == nullptr || !e->is_stream) return std::nullopt;
    base::byte_buffer scratch;
    const load::stream_content c = load::decoded_stream(d, *e, scratch);
    if (c.form != load::content_form::stored && c.form != load::content_form::decoded) return std::nullopt;
    return scan::read_to_unicode_cmap(c.bytes);
}

// The first font of DescendantFonts.
std::string_view descendant_of(const load::doc& d, std::string_view font_dict)
{
    const std::string_view list = entry_of(d, font_dict, scan::key::descendant_fonts);
    if (list.empty() || list.front() != '[') return {};
    const std::string_view first = load::resolved_value(d, load::value_text_at(list, scan::skip_ws_and_comments(list, 1)));
    return scan::opens_dictionary(first, 0) ? first : std::string_view();
}

bool has_identity_encoding(const load::doc& d, std::string_view font_dict)
{
    const std::string_view encoding = entry_of(d, font_dict, scan::key::encoding);
    return scan::name_value_is(encoding, 0, scan::name::identity_horizontal);
}

void read_heights(const load::doc& d, std::string_view descendant, composite_font& font)
{
    const std::string_view descriptor = dictionary_entry(d, descendant, scan::key::font_descriptor);
    if (descriptor.empty()) return;
    const auto ascent = number_of(entry_of(d, descriptor, scan::key::ascent));
    const auto descent = number_of(entry_of(d, descriptor, scan::key::descent));
    if (ascent && *ascent > 0 && *ascent <= widest_glyph) font.ascent = ascent;
    if (descent && *descent <= 0 && *descent >= -widest_glyph) font.descent = descent;
}

}  // namespace

composite_font::composite_font(std::span<const scan::code_character> mappings, std::vector<code_width> widths,
                               double default_width)
    : by_character_(inverse_of(mappings)), widths_(last_per_code(std::move(widths))),
      default_width_(std::isfinite(default_width) ? std::clamp(default_width, 0.0, widest_glyph) : 0.0)
{
}

std::optional<std::uint16_t> composite_font::code_of(char32_t character) const
{
    const auto at = std::lower_bound(by_character_.begin(), by_character_.end(), character,
                                     [](const scan::code_character& m, char32_t c) { return m.character < c; });
    if (at == by_character_.end() || at->character != character) return std::nullopt;
    return static_cast<std::uint16_t>(at->code);
}

double composite_font::width(std::uint16_t code) const
{
    const auto at = std::lower_bound(widths_.begin(), widths_.end(), code,
                                     [](const code_width& w, std::uint16_t c) { return w.code < c; });
    return at != widths_.end() && at->code == code ? at->width : default_width_;
}

std::optional<composite_font> read_composite_font(const load::doc& d, std::string_view font_dict)
{
    if (!scan::opens_dictionary(font_dict, 0) || !has_identity_encoding(d, font_dict)) return std::nullopt;
    const std::string_view descendant = descendant_of(d, font_dict);
    if (descendant.empty()) return std::nullopt;
    const auto cmap = to_unicode_of(d, font_dict);
    if (!cmap) return std::nullopt;
    std::vector<code_width> widths;
    width_reader(d, widths).read(entry_of(d, descendant, scan::key::width));
    composite_font font(cmap->mappings, std::move(widths),
                        number_of(entry_of(d, descendant, scan::key::default_width)).value_or(1000));
    if (font.maps_nothing()) return std::nullopt;
    read_heights(d, descendant, font);
    return font;
}

const composite_font* composite_font_cache::find(const load::doc& d, std::string_view font_dict)
{
    auto at = fonts_.find(font_dict.data());
    if (at == fonts_.end()) at = fonts_.emplace(font_dict.data(), read_composite_font(d, font_dict)).first;
    return at->second ? &*at->second : nullptr;
}

layout_font composite_layout_font(std::string resource_name, const composite_font& font)
{
    layout_font out;
    out.resource_name = std::move(resource_name);
    out.code_of = [&font](char32_t c) { return font.code_of(c); };
    out.substitute = font.code_of(substitute_character);
    out.code_bytes = 2;
    out.width = [&font](std::uint16_t code) { return font.width(code); };
    if (font.ascent) out.ascent = *font.ascent;
    if (font.descent) out.descent = *font.descent;
    return out;
}

}  // namespace kestrin::generate
