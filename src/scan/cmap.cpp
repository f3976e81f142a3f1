#include "scan/cmap.h"

#include <optional>
#include <string>

#include "scan/content_tokens.h"
#include "scan/keys.h"
#include "scan/strings.h"
#include "scan/token.h"

namespace kestrin::scan {

namespace {

// CMap codes are at most four bytes long (ISO 32000-1 9.7.6.2).
constexpr std::size_t max_code_bytes = 4;
constexpr char32_t last_character = 0x10FFFF;

// One operand of a section: a string's bytes, an array's strings (nullopt for an item that is not
// one), or something else, which no entry can use.
struct operand {
    std::optional<std::string> bytes;
    std::optional<std::vector<std::optional<std::string>>> items;
};

// The bytes of the hex or literal string token t, or nullopt for another token.
std::optional<std::string> string_of(std::string_view s, const token& t)
{
    const std::string_view text = s.substr(0, static_cast<std::size_t>(t.end));
    const char first = s[static_cast<std::size_t>(t.start)];
    const bool doubled = t.end - t.start >= 2 && s[static_cast<std::size_t>(t.start) + 1] == '<';
    if (first == '<' && !doubled) return read_hex_string(text, t.start);
    if (first == '(') return read_literal_string(text, t.start);
    return std::nullopt;
}

// The items of the array whose "[" ends at pos, up to its "]"; a keyword ends an unclosed one.
std::vector<std::optional<std::string>> array_items(std::string_view s, std::int32_t& pos)
{
    std::vector<std::optional<std::string>> items;
    for (;;) {
        const token t = next_token(s, pos);
        if (t.start >= text_limit(s) || t.regular) return items;
        pos = t.end;
        if (s[static_cast<std::size_t>(t.start)] == ']') return items;
        items.push_back(string_of(s, t));
    }
}

// The operand at pos, moving past it; nullopt at a keyword or number (left for the caller) or at
// the end of the data.
std::optional<operand> next_operand(std::string_view s, std::int32_t& pos)
{
    const token t = next_token(s, pos);
    if (t.start >= text_limit(s) || t.regular) return std::nullopt;
    pos = t.end;
    operand op;
    if (s[static_cast<std::size_t>(t.start)] == '[') op.items = array_items(s, pos);
    else op.bytes = string_of(s, t);
    return op;
}

// A code: 1 to 4 bytes, big-endian.
std::optional<std::uint32_t> code_of(const std::optional<std::string>& bytes)
{
    if (!bytes || bytes->empty() || bytes->size() > max_code_bytes) return std::nullopt;
    std::uint32_t code = 0;
    for (char c : *bytes) code = code << 8 | static_cast<unsigned char>(c);
    return code;
}

constexpr bool is_surrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }
constexpr bool is_high_surrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
constexpr bool is_low_surrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

char32_t unit_at(const std::string& bytes, std::size_t i)
{
    return static_cast<char32_t>(static_cast<unsigned char>(bytes[i]) << 8 | static_cast<unsigned char>(bytes[i + 1]));
}

// The one character of a UTF-16BE destination, or nullopt for several characters or broken UTF-16.
std::optional<char32_t> single_character(const std::optional<std::string>& bytes)
{
    if (!bytes) return std::nullopt;
    if (bytes->size() == 1) return static_cast<unsigned char>(bytes->front());
    if (bytes->size() == 2) {
        const char32_t unit = unit_at(*bytes, 0);
        return is_surrogate(unit) ? std::nullopt : std::optional<char32_t>(unit);
    }
    if (bytes->size() == 4) {
        const char32_t high = unit_at(*bytes, 0);
        const char32_t low = unit_at(*bytes, 2);
        if (!is_high_surrogate(high) || !is_low_surrogate(low)) return std::nullopt;
        return 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00);
    }
    return std::nullopt;
}

class cmap_reader {
public:
    explicit cmap_reader(std::string_view data) : s_(data) {}

    to_unicode_cmap read()
    {
        std::int32_t pos = 0;
        for (;;) {
            const token t = next_token(s_, pos);
            if (t.start >= text_limit(s_)) return std::move(out_);
            pos = t.end;
            if (token_is(s_, t, cmap_op::begin_codespace)) read_codespace(pos);
            else if (token_is(s_, t, cmap_op::begin_char)) read_chars(pos);
            else if (token_is(s_, t, cmap_op::begin_range)) read_ranges(pos);
        }
    }

private:
    bool full() const { return out_.mappings.size() >= max_cmap_mappings; }

    void add(std::uint32_t code, char32_t character)
    {
        if (!full() && !is_surrogate(character) && character <= last_character)
            out_.mappings.push_back({code, character});
    }

    // Pairs "<low> <high>" of codes of one length.
    void read_codespace(std::int32_t& pos)
    {
        while (const auto low = next_operand(s_, pos)) {
            const auto high = next_operand(s_, pos);
            if (!high) return;
            const auto lo = code_of(low->bytes);
            const auto hi = code_of(high->bytes);
            if (lo && hi && *lo <= *hi && low->bytes->size() == high->bytes->size())
                out_.codespace.push_back({*lo, *hi, static_cast<std::int32_t>(low->bytes->size())});
        }
    }

    // Pairs "<code> <destination>".
    void read_chars(std::int32_t& pos)
    {
        while (const auto source = next_operand(s_, pos)) {
            const auto destination = next_operand(s_, pos);
            if (!destination) return;
            const auto code = code_of(source->bytes);
            const auto character = single_character(destination->bytes);
            if (code && character) add(*code, *character);
        }
    }

    // Triples "<low> <high> <first destination>" or "<low> <high> [<destination> ...]".
    void read_ranges(std::int32_t& pos)
    {
        while (const auto low = next_operand(s_, pos)) {
            const auto high = next_operand(s_, pos);
            if (!high) return;
            const auto destination = next_operand(s_, pos);
            if (!destination) return;
            const auto lo = code_of(low->bytes);
            const auto hi = code_of(high->bytes);
            if (!lo || !hi || *lo > *hi || *hi - *lo >= max_cmap_range_codes) continue;
            if (destination->items) add_listed(*lo, *hi, *destination->items);
            else if (const auto first = single_character(destination->bytes)) add_counted(*lo, *hi, *first);
        }
    }

    void add_counted(std::uint32_t lo, std::uint32_t hi, char32_t first)
    {
        for (std::uint32_t k = 0; k <= hi - lo && !full(); ++k) add(lo + k, first + k);
    }

    void add_listed(std::uint32_t lo, std::uint32_t hi, const std::vector<std::optional<std::string>>& items)
    {
        for (std::size_t k = 0; k < items.size() && k <= hi - lo && !full(); ++k)
            if (const auto character = single_character(items[k])) add(lo + static_cast<std::uint32_t>(k), *character);
    }

    std::string_view s_;
    to_unicode_cmap out_;
};

}  // namespace

to_unicode_cmap read_to_unicode_cmap(std::string_view data) { return cmap_reader(data).read(); }

}  // namespace kestrin::scan
