#include "generate/text_string.h"

#include <cstdint>

#include "generate/encodings.h"

namespace kestrin::generate {

namespace {

constexpr char32_t replacement = 0xFFFD;
constexpr char32_t language_escape = 0x001B;

constexpr bool is_high_surrogate(char32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
constexpr bool is_low_surrogate(char32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

void add_character(std::u32string& out, char32_t c)
{
    if (c != 0) out += c;
}

std::u32string decode_utf16be(std::string_view bytes)
{
    auto unit_at = [&](std::size_t i) {
        return static_cast<char32_t>((static_cast<unsigned char>(bytes[i]) << 8) |
                                     static_cast<unsigned char>(bytes[i + 1]));
    };
    std::u32string out;
    bool in_language_code = false;
    std::size_t i = 0;
    for (; bytes.size() - i >= 2; i += 2) {
        const char32_t unit = unit_at(i);
        if (unit == language_escape) {
            in_language_code = !in_language_code;
        } else if (in_language_code) {
            continue;
        } else if (is_high_surrogate(unit) && bytes.size() - i >= 4 && is_low_surrogate(unit_at(i + 2))) {
            out += 0x10000 + ((unit - 0xD800) << 10) + (unit_at(i + 2) - 0xDC00);
            i += 2;
        } else if (is_high_surrogate(unit) || is_low_surrogate(unit)) {
            out += replacement;
        } else {
            add_character(out, unit);
        }
    }
    if (i < bytes.size()) out += replacement;  // an odd last byte
    return out;
}

// Length of the UTF-8 sequence that lead starts, or 0 when lead cannot start one.
constexpr std::size_t utf8_length(unsigned char lead)
{
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

// The character of the sequence of length n at bytes[i], or nullopt when it is malformed, overlong,
// a surrogate or past U+10FFFF.
std::optional<char32_t> utf8_character(std::string_view bytes, std::size_t i, std::size_t n)
{
    if (n == 0 || bytes.size() - i < n) return std::nullopt;
    constexpr unsigned char lead_bits[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    char32_t c = static_cast<unsigned char>(bytes[i]) & lead_bits[n];
    for (std::size_t k = 1; k < n; ++k) {
        const auto b = static_cast<unsigned char>(bytes[i + k]);
        if ((b & 0xC0) != 0x80) return std::nullopt;
        c = (c << 6) | (b & 0x3F);
    }
    constexpr char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < smallest[n] || c > 0x10FFFF || is_high_surrogate(c) || is_low_surrogate(c)) return std::nullopt;
    return c;
}

std::u32string decode_utf8(std::string_view bytes)
{
    std::u32string out;
    std::size_t i = 0;
    while (i < bytes.size()) {
        const std::size_t n = utf8_length(static_cast<unsigned char>(bytes[i]));
        if (const auto c = utf8_character(bytes, i, n)) {
            add_character(out, *c);
            i += n;
        } else {
            out += replacement;  // one for the byte, and the reading starts again after it
            ++i;
        }
    }
    return out;
}

std::u32string decode_pdf_doc(std::string_view bytes)
{
    const encoding pdf_doc(base_encoding::pdf_doc);
    std::u32string out;
    out.reserve(bytes.size());
    for (char byte : bytes) {
        const auto code = static_cast<std::uint8_t>(byte);
        if (code == '\t' || code == '\n' || code == '\r') out += code;
        else if (code != 0) out += pdf_doc.unicode(code).value_or(replacement);
    }
    return out;
}

}  // namespace

std::u32string decode_text_string(std::string_view bytes)
{
    if (bytes.starts_with("\xFE\xFF")) return decode_utf16be(bytes.substr(2));
    if (bytes.starts_with("\xEF\xBB\xBF")) return decode_utf8(bytes.substr(3));
    return decode_pdf_doc(bytes);
}

}  // namespace kestrin::generate
