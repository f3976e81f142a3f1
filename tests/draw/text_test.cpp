#include "draw/text.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace kestrin::draw {
namespace {

using namespace std::string_literals;

struct width_case {
    std::string text;
    double width;
};

TEST(TextWidth, SumsTheTableAtSize11)
{
    const std::vector<width_case> cases = {
        {"", 0.0},                 // empty text
        {"Hello", 31.801},         // one capital, four small letters: (667 + 4 x 556) x 11 / 1000
        {" ,.", 9.174},            // the narrow punctuation, 278 each
        {"-()", 10.989},           // 333 each
        {"AZ", 14.674},            // capitals, 667 each
        {"09~", 18.348},           // digits and other printable bytes, 556
        {"\xE9\x01", 12.232},      // bytes outside 0x20-0x7E, 556
        {"abcd efgh ijkl mnop qrst uvwx", 162.074},  // six four-letter words
    };
    for (const auto& c : cases) EXPECT_NEAR(text_width(c.text, text_font_size), c.width, 1e-9) << c.text;
}

TEST(TextWidth, ScalesWithTheSize)
{
    EXPECT_NEAR(text_width("Hello", 22.0), 63.602, 1e-9);
    EXPECT_NEAR(text_width("Hello", 1000.0), 2891.0, 1e-9);
}

struct escape_case {
    std::string text;
    std::string escaped;
};

TEST(EscapeText, WritesAWinAnsiLiteral)
{
    const std::vector<escape_case> cases = {
        {"plain text", "plain text"},
        {"a(b)c\\d", "a\\(b\\)c\\\\d"},       // delimiters and the backslash get a backslash
        {"caf\xE9", "caf\\351"},               // WinAnsi bytes as octal, not "?"
        {"\x80\xFF", "\\200\\377"},            // the euro sign and the last byte
        {"a\nb\t\x01\x7F", "a?b???"},          // control bytes and DEL become "?"
        {""s, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(escape_text(c.text), c.escaped) << c.text;
}

TEST(EscapeText, StopsAfterWholeEscapesNear1020Bytes)
{
    EXPECT_EQ(escape_text(std::string(2000, 'a')).size(), 1020u);
    // 510 escaped parentheses make 1020 bytes; nothing follows
    std::string parens;
    for (int i = 0; i < 510; ++i) parens += "\\(";
    EXPECT_EQ(escape_text(std::string(600, '(')), parens);
    // an escape begun below the limit is finished, never cut
    EXPECT_EQ(escape_text(std::string(1019, 'a') + "\xE9xyz"), std::string(1019, 'a') + "\\351");
}

TEST(AppendTextObject, WritesOneTextObject)
{
    struct object_case {
        text_style style;
        std::string_view expected;
    };
    const std::vector<object_case> cases = {
        {{11.0, {{1, 0, 0.5, 0}, 3}},
         "BT /FlF 11.000 Tf 1.000 0.000 0.500 rg 1 0 0 1 4.000000 23.200000 Tm (a\\(b) Tj ET\n"},
        {{9.5, {{0.25, 0, 0, 0}, 1}},
         "BT /FlF 9.500 Tf 0.250 g 1 0 0 1 4.000000 23.200000 Tm (a\\(b) Tj ET\n"},
        {{12.0, {{0, 1, 0, 0.5}, 4}},
         "BT /FlF 12.000 Tf 0.000 1.000 0.000 0.500 k 1 0 0 1 4.000000 23.200000 Tm (a\\(b) Tj ET\n"},
    };
    for (const auto& c : cases) {
        base::byte_buffer out;
        append_text_object(out, "FlF", 4, 23.2, "a(b", c.style);
        EXPECT_EQ(out.view(), c.expected);
    }
}

TEST(AppendTextObject, LongTextObjectIsNeverCut)
{
    // well over 1 KiB: the object must still close
    base::byte_buffer out;
    append_text_object(out, "FlF", 1e300, -1e300, std::string(900, '\xE9'), text_style{});
    const std::string_view ops = out.view();
    const std::string_view head =
        "BT /FlF 11.000 Tf 0.000 0.000 0.000 rg 1 0 0 1 1000000000.000000 -1000000000.000000 Tm (";
    ASSERT_EQ(ops.size(), head.size() + 1020 + 8);
    EXPECT_EQ(ops.substr(0, head.size()), head);
    EXPECT_EQ(ops.substr(head.size(), 4), "\\351");
    EXPECT_EQ(ops.substr(ops.size() - 8), ") Tj ET\n");
}

TEST(WinAnsiText, DecodesUtf16AndPassesBytes)
{
    const std::vector<escape_case> cases = {
        {"\xFE\xFF\0H\0i"s, "Hi"},                  // UTF-16BE with its mark
        {"\xFE\xFF\0\xE9"s, "\xE9"},                 // Latin-1 keeps its byte
        {"\xFE\xFF\x20\xAC\x20\x14\x20\x1C"s, "\x80\x97\x93"},  // euro, em dash, left quote
        {"\xFE\xFF\x01\x52\x01\x78"s, "\x8C\x9F"},   // OE ligature, Y diaeresis
        {"\xFE\xFF\x04\x10"s, "?"},                  // Cyrillic: not in WinAnsi
        {"\xFE\xFF\0\x85"s, "?"},                    // a C1 control is no WinAnsi character
        {"\xFE\xFF\xD8\x3D\xDE\x00\0A"s, "?A"},      // a surrogate pair: one "?"
        {"\xFE\xFF\xDC\x00\0A"s, "?A"},              // a lone low surrogate
        {"\xFE\xFF\0A\0"s, "A"},                     // an odd last byte is dropped
        {"\xFE\xFF\0A\0\0\0B"s, "A"},                // ends at U+0000
        {"\xFE\xFF"s, ""},
        {"caf\xE9"s, "caf\xE9"},                     // other strings byte for byte
        {"a\0b"s, "a"},                              // ends at the first NUL
    };
    for (const auto& c : cases) EXPECT_EQ(winansi_text(c.text), c.escaped) << c.text;
}

struct style_case {
    const char* name;
    std::string da;
    double size;
    colour fill;
};

TEST(DefaultAppearanceStyle, TakesTheLastSizeAndFillColour)
{
    const colour black = black_rgb;
    const std::vector<style_case> cases = {
        {"empty", "", 11.0, black},
        {"size_and_rgb", "/Helv 12 Tf 1 0 0 rg", 12.0, {{1, 0, 0, 0}, 3}},
        {"gray", "0.5 g /Helv 8.5 Tf", 8.5, {{0.5, 0, 0, 0}, 1}},
        {"cmyk", "0 0 0 1 k", 11.0, {{0, 0, 0, 1}, 4}},
        // the last of each wins
        {"last_wins", "/F1 9 Tf 0 0 1 rg /F2 14 Tf 0.2 g", 14.0, {{0.2, 0, 0, 0}, 1}},
        // size 0 (automatic) and negative sizes keep the default
        {"auto_size", "/Helv 0 Tf", 11.0, black},
        {"negative_size", "/Helv -3 Tf", 11.0, black},
        // stroke colours are not the text's
        {"stroke_only", "1 0 0 RG 0.5 G 0 0 0 1 K", 11.0, black},
        // too few operands: nothing set; numbers before an earlier operator do not count
        {"short_rg", "1 0 rg", 11.0, black},
        {"operands_reset", "1 0 Td 0 rg", 11.0, black},
        {"no_size", "/Helv Tf", 11.0, black},
        // more operands than needed: the last ones
        {"extra_operands", "9 9 0 1 0 rg", 11.0, {{0, 1, 0, 0}, 3}},
        // components bounded to [0, 1]
        {"out_of_range", "2 -1 0 rg", 11.0, {{1, 0, 0, 0}, 3}},
        // strings, comments and names are not operands
        {"string_and_comment", "(12) 7 Tf % 1 g\n/1 Tf", 7.0, black},
        {"no_spaces", "/Helv 10 Tf 1 g", 10.0, {{1, 0, 0, 0}, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const text_style style = default_appearance_style(c.da);
        EXPECT_DOUBLE_EQ(style.size, c.size);
        EXPECT_EQ(style.fill.components, c.fill.components);
        EXPECT_EQ(style.fill.value, c.fill.value);
    }
}

TEST(FreetextText, EndsLinesAtCrAndCrLf)
{
    const std::vector<escape_case> cases = {
        {"one\rtwo", "one\ntwo"},
        {"one\r\ntwo", "one\ntwo"},              // CR LF is one line end
        {"one\n\rtwo", "one\n\ntwo"},            // LF CR is two
        {"a\r\r\nb\r", "a\n\nb\n"},
        {"\xFE\xFF\0a\0\r\0\n\0b"s, "a\nb"},      // in UTF-16 as well
        {"caf\xE9"s, "caf\xE9"},                    // otherwise WinAnsi bytes as they are
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(freetext_text(c.text), c.escaped) << c.text;
}

struct layout_case {
    const char* name;
    std::string text;
    double w, h;
    std::vector<std::string> lines;  // in order, baselines from 12.8 below the top, 14.3 apart
};

TEST(LayoutText, BreaksLines)
{
    const std::vector<layout_case> cases = {
        // six four-letter words in 92: the estimate passes 92 at the fourth word's second letter
        {"six_words", "abcd efgh ijkl mnop qrst uvwx", 100, 100, {"abcd efgh ijkl", "mnop qrst uvwx"}},
        // each line of a line-fed text once, one below the other
        {"two_lines", "first\nsecond", 100, 100, {"first", "second"}},
        // 20 high: the first line at 7.2, and no second one
        {"low_box", "first\nsecond", 100, 20, {"first"}},
        // 5 high: the first line even below the box
        {"very_low_box", "first\nsecond", 100, 5, {"first"}},
        // a word longer than the width with no space before it: one byte per line
        {"long_word", "abcdefgh", 20, 1000, {"a", "b", "c", "d", "e", "f", "g", "h"}},
        // available width below 0 still makes progress
        {"negative_width", "ab", 5, 1000, {"a", "b"}},
        // empty lines stay; a final line feed adds none
        {"empty_line", "a\n\nb\n", 100, 1000, {"a", "", "b"}},
        // after a break, spaces and line feeds that follow are consumed
        {"gap_after_break", "abcd efgh ijkl mnop   \n\nqrst", 60, 1000,
         {"abcd efgh", "ijkl mnop  ", "qrst"}},
        // a long word after a space is drawn with at most 511 bytes
        {"long_piece", std::string(600, 'x') + " y", 20, 1000, {std::string(511, 'x'), "y"}},
        {"empty", "", 100, 100, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto lines = layout_text(c.text, 10, 0, c.w, c.h, text_font_size);
        ASSERT_EQ(lines.size(), c.lines.size());
        for (std::size_t i = 0; i < lines.size(); ++i) {
            EXPECT_EQ(lines[i].bytes, c.lines[i]);
            EXPECT_DOUBLE_EQ(lines[i].x, 14.0);
            EXPECT_NEAR(lines[i].y, c.h - 12.8 - 14.3 * static_cast<double>(i), 1e-9);
        }
    }
}

TEST(LayoutText, StopsBelowTheBottomMargin)
{
    // 40 high at y 100: baselines 127.2, 112.9; the next, 98.6, is below 104
    const auto lines = layout_text("a\nb\nc\nd", 0, 100, 100, 40, text_font_size);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NEAR(lines[1].y, 112.9, 1e-9);
}

TEST(LayoutText, ScalesWithTheSize)
{
    // size 22: first baseline 17.6 below the top margin, lines 28.6 apart, each byte twice as wide
    // (the first line is 159 wide, for 112)
    const auto lines = layout_text("abcd efgh ijkl\nx", 0, 0, 120, 100, 22.0);
    const std::vector<std::string> expected = {"abcd efgh", "ijkl", "x"};
    ASSERT_EQ(lines.size(), expected.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].bytes, expected[i]);
        EXPECT_NEAR(lines[i].y, 78.4 - 28.6 * static_cast<double>(i), 1e-9);
    }
}

}  // namespace
}  // namespace kestrin::draw
