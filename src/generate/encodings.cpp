#include "generate/encodings.h"

#include <algorithm>
#include <utility>

namespace kestrin::generate {

namespace {

struct base_tables {
    std::span<const char* const, 256> names;
    std::span<const table::unicode_code> index;
};

base_tables tables_of(base_encoding base)
{
    switch (base) {
    case base_encoding::win_ansi: return {table::win_ansi_names, table::win_ansi_index};
    case base_encoding::mac_roman: return {table::mac_roman_names, table::mac_roman_index};
    case base_encoding::pdf_doc: return {table::pdf_doc_names, table::pdf_doc_index};
    case base_encoding::symbol: return {table::symbol_names, table::symbol_index};
    case base_encoding::zapf_dingbats: return {table::zapf_dingbats_names, table::zapf_dingbats_index};
    case base_encoding::standard: break;
    }
    return {table::standard_names, table::standard_index};
}

constexpr int hex_digit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;  // the Glyph List's rules allow upper-case digits only
}

// The value of digits, all upper-case hex, as a character outside the surrogates.
std::optional<char32_t> hex_character(std::string_view digits)
{
    char32_t value = 0;
    for (char c : digits) {
        const int d = hex_digit(c);
        if (d < 0) return std::nullopt;
        value = value * 16 + static_cast<char32_t>(d);
    }
    if ((value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF) return std::nullopt;
    return value;
}

// "uniXXXX" (a sequence of such groups stands for its first character) or "uXXXX" to "uXXXXXX".
std::optional<char32_t> unicode_from_name_form(std::string_view glyph)
{
    if (glyph.starts_with("uni") && glyph.size() >= 7 && (glyph.size() - 3) % 4 == 0)
        return hex_character(glyph.substr(3, 4));
    if (glyph.starts_with("u") && glyph.size() >= 5 && glyph.size() <= 7) return hex_character(glyph.substr(1));
    return std::nullopt;
}

// Characters shown by the glyph of another: Annex D gives WinAnsi's no-break space the glyph
// "space" and its soft hyphen "hyphen".
constexpr std::array<std::pair<char32_t, char32_t>, 2> look_alikes{{{0x00A0, 0x0020}, {0x00AD, 0x002D}}};

std::vector<difference> sorted_unique(std::vector<difference> differences)
{
    // A later entry for the same code wins, as when the array is applied in order.
    std::ranges::stable_sort(differences, {}, &difference::code);
    std::vector<difference> unique;
    for (auto& d : differences) {
        if (!unique.empty() && unique.back().code == d.code) unique.back() = std::move(d);
        else unique.push_back(std::move(d));
    }
    return unique;
}

bool by_unicode_then_code(const table::unicode_code& a, const table::unicode_code& b)
{
    return a.unicode != b.unicode ? a.unicode < b.unicode : a.code < b.code;
}

}  // namespace

std::optional<base_encoding> encoding_named(std::string_view name)
{
    if (name == "WinAnsiEncoding") return base_encoding::win_ansi;
    if (name == "MacRomanEncoding") return base_encoding::mac_roman;
    if (name == "StandardEncoding") return base_encoding::standard;
    return std::nullopt;
}

std::optional<char32_t> glyph_unicode(std::string_view glyph)
{
    const auto index = table::glyph_unicode_index;
    const auto found = std::lower_bound(index.begin(), index.end(), glyph,
                                        [](const table::glyph_unicode& g, std::string_view name) { return g.name < name; });
    if (found != index.end() && found->name == glyph) return found->unicode;
    return unicode_from_name_form(glyph);
}

encoding::encoding(base_encoding base, std::vector<difference> differences)
    : base_names_(tables_of(base).names),
      base_index_(tables_of(base).index),
      differences_(sorted_unique(std::move(differences)))
{
    for (const auto& d : differences_) {
        changed_.set(d.code);
        if (const auto u = glyph_unicode(d.glyph)) added_index_.push_back({*u, d.code});
    }
    std::ranges::sort(added_index_, by_unicode_then_code);
}

std::string_view encoding::glyph_name(std::uint8_t code) const
{
    if (!changed_.test(code)) return base_names_[code];
    const auto found = std::ranges::lower_bound(differences_, code, {}, &difference::code);
    return found->glyph;
}

std::optional<char32_t> encoding::unicode(std::uint8_t code) const
{
    const std::string_view name = glyph_name(code);
    if (name.empty()) return std::nullopt;
    return glyph_unicode(name);
}

std::optional<std::uint8_t> encoding::exact_code_of(char32_t character) const
{
    std::optional<std::uint8_t> lowest;
    const auto added = std::ranges::lower_bound(added_index_, character, {}, &table::unicode_code::unicode);
    if (added != added_index_.end() && added->unicode == character) lowest = added->code;
    // Both lists hold a character's codes in ascending order: the first usable one is the lowest.
    const auto [first, last] = std::equal_range(base_index_.begin(), base_index_.end(), table::unicode_code{character, 0},
                                                [](const table::unicode_code& x, const table::unicode_code& y) {
                                                    return x.unicode < y.unicode;
                                                });
    const auto kept = std::find_if(first, last, [&](const table::unicode_code& e) { return !changed_.test(e.code); });
    if (kept != last && (!lowest || kept->code < *lowest)) lowest = kept->code;
    return lowest;
}

std::optional<std::uint8_t> encoding::code_of(char32_t character) const
{
    if (const auto code = exact_code_of(character)) return code;
    for (const auto& [shown, by] : look_alikes)
        if (shown == character) return exact_code_of(by);
    return std::nullopt;
}

}  // namespace kestrin::generate
