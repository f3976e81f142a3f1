#include "generate/encodings.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace kestrin::generate {
namespace {

struct code_case {
    base_encoding base;
    int code;
    std::string glyph;                 // empty: the code is not encoded
    std::optional<char32_t> unicode;
};

TEST(Encoding, MapsCodesToGlyphsAndCharacters)
{
    using enum base_encoding;
    const std::vector<code_case> cases = {
        {win_ansi, 'A', "A", U'A'},
        {win_ansi, 0x80, "Euro", U'\u20AC'},
        {win_ansi, 0xE9, "eacute", U'\u00E9'},
        {win_ansi, 0x27, "quotesingle", U'\''},
        {win_ansi, 0xA0, "space", U' '},         // Annex D: the no-break space shows "space"
        {win_ansi, 0xAD, "hyphen", U'-'},
        {win_ansi, 0x81, "", std::nullopt},      // not in cp1252
        {win_ansi, 0x7F, "", std::nullopt},
        {win_ansi, 0x0A, "", std::nullopt},
        {standard, 0x27, "quoteright", U'\u2019'},
        {standard, 0x60, "quoteleft", U'\u2018'},
        {standard, 0xA9, "quotesingle", U'\''},
        {standard, 0xE9, "Oslash", U'\u00D8'},
        {standard, 0x80, "", std::nullopt},
        {mac_roman, 0x8E, "eacute", U'\u00E9'},
        {mac_roman, 0xDB, "currency", U'\u00A4'},  // the codec's later euro is not PDF's
        {mac_roman, 0xCA, "space", U' '},
        {mac_roman, 0xAD, "", std::nullopt},       // notequal: not in the Latin set
        {mac_roman, 0xF0, "", std::nullopt},       // the Apple logo
        {pdf_doc, 0x18, "breve", U'\u02D8'},
        {pdf_doc, 0x80, "bullet", U'\u2022'},
        {pdf_doc, 0x8A, "minus", U'\u2212'},
        {pdf_doc, 0xA0, "Euro", U'\u20AC'},
        {pdf_doc, 0xAD, "", std::nullopt},
        {pdf_doc, 0x9F, "", std::nullopt},
        {symbol, 'a', "alpha", U'\u03B1'},
        {symbol, 0xA5, "infinity", U'\u221E'},
        {zapf_dingbats, '4', "a20", std::nullopt},  // no public list gives its character
        {zapf_dingbats, 'l', "a71", std::nullopt},
        {zapf_dingbats, ' ', "space", U' '},
    };
    for (const auto& c : cases) {
        const encoding enc(c.base);
        const auto code = static_cast<std::uint8_t>(c.code);
        EXPECT_EQ(enc.glyph_name(code), c.glyph) << static_cast<int>(c.base) << " " << c.code;
        EXPECT_EQ(enc.unicode(code), c.unicode) << static_cast<int>(c.base) << " " << c.code;
    }
}

struct inverse_case {
    base_encoding base;
    char32_t character;
    std::optional<int> code;
};

TEST(Encoding, FindsTheCodeOfACharacter)
{
    using enum base_encoding;
    const std::vector<inverse_case> cases = {
        {win_ansi, U'\u20AC', 0x80},
        {win_ansi, U'\u00E9', 0xE9},
        {win_ansi, U' ', 0x20},        // the lowest of 0x20 and 0xA0
        {win_ansi, U'\u00A0', 0x20},   // the no-break space drawn as a space
        {win_ansi, U'\u00AD', 0x2D},   // the soft hyphen as a hyphen
        {win_ansi, U'\u0411', std::nullopt},  // Cyrillic
        {win_ansi, U'\U0001F600', std::nullopt},
        {mac_roman, U'\u00E9', 0x8E},
        {standard, U'\'', 0xA9},
        {standard, U'\u00E9', std::nullopt},
        {pdf_doc, U'\u20AC', 0xA0},
        {symbol, U'\u03B1', 'a'},
        {zapf_dingbats, U'\u2714', std::nullopt},
    };
    for (const auto& c : cases) {
        const auto code = encoding(c.base).code_of(c.character);
        EXPECT_EQ(code ? std::optional<int>(*code) : std::nullopt, c.code)
            << static_cast<int>(c.base) << " U+" << std::hex << static_cast<std::uint32_t>(c.character);
    }
}

// Every code whose character is known is found again from its character: the index and the
// table agree.
TEST(Encoding, IndexIsTheInverseOfEveryTable)
{
    using enum base_encoding;
    for (const auto base : {standard, win_ansi, mac_roman, pdf_doc, symbol, zapf_dingbats}) {
        const encoding enc(base);
        for (int code = 0; code < 256; ++code) {
            const auto u = enc.unicode(static_cast<std::uint8_t>(code));
            if (!u) continue;
            const auto back = enc.code_of(*u);
            ASSERT_TRUE(back) << static_cast<int>(base) << " " << code;
            EXPECT_LE(*back, code);
            EXPECT_EQ(enc.unicode(*back), u);
        }
    }
}

TEST(Encoding, AppliesDifferencesOnTopOfTheBase)
{
    const encoding enc(base_encoding::win_ansi,
                       {{'A', "Euro"}, {0x81, "afii10017"}, {0x82, "uni0416"}, {'B', "x"}, {'B', "bullet"},
                        {'C', "nosuchglyph"}});
    EXPECT_EQ(enc.glyph_name('A'), "Euro");
    EXPECT_EQ(enc.code_of(U'\u20AC'), 'A');          // lower than the base's 0x80
    EXPECT_EQ(enc.code_of(U'A'), std::nullopt);      // its only code now shows another glyph
    EXPECT_EQ(enc.code_of(U'\u0410'), 0x81);         // an AGL name
    EXPECT_EQ(enc.code_of(U'\u0416'), 0x82);         // a "uniXXXX" name
    EXPECT_EQ(enc.glyph_name('B'), "bullet");        // the later entry for a code wins
    EXPECT_EQ(enc.code_of(U'\u2022'), 'B');
    EXPECT_EQ(enc.unicode('C'), std::nullopt);       // a name that gives no character
    EXPECT_EQ(enc.code_of(U'C'), std::nullopt);
    EXPECT_EQ(enc.code_of(U'D'), 'D');               // untouched codes keep the base's glyphs
}

TEST(GlyphUnicode, ReadsTheListAndTheNameForms)
{
    const std::vector<std::pair<std::string, std::optional<char32_t>>> cases = {
        {"A", U'A'},
        {"eacute", U'\u00E9'},
        {"Euro", U'\u20AC'},
        {"afii10017", U'\u0410'},
        {"uni20AC", U'\u20AC'},
        {"uni20AC0041", U'\u20AC'},     // a sequence stands for its first character
        {"uni20ac", std::nullopt},      // lower-case digits are not the form
        {"uniD800", std::nullopt},      // a surrogate
        {"uni20A", std::nullopt},       // too short
        {"u1F600", U'\U0001F600'},
        {"u110000", std::nullopt},      // past the last character
        {"u12", std::nullopt},
        {"a20", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [name, unicode] : cases) EXPECT_EQ(glyph_unicode(name), unicode) << name;
}

TEST(EncodingNamed, KnowsThePdfNames)
{
    EXPECT_EQ(encoding_named("WinAnsiEncoding"), base_encoding::win_ansi);
    EXPECT_EQ(encoding_named("MacRomanEncoding"), base_encoding::mac_roman);
    EXPECT_EQ(encoding_named("StandardEncoding"), base_encoding::standard);
    EXPECT_EQ(encoding_named("MacExpertEncoding"), std::nullopt);
    EXPECT_EQ(encoding_named("PDFDocEncoding"), std::nullopt);  // not a font encoding
}

}  // namespace
}  // namespace kestrin::generate
