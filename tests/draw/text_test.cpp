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
    for (const auto& c : cases) EXPECT_NEAR(text_width(c.text), c.width, 1e-9) << c.text;
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
    base::byte_buffer out;
    append_text_object(out, "FlF", 4, 23.2, "a(b", 1, 0, 0.5);
    EXPECT_EQ(out.view(),
              "BT /FlF 11.000 Tf 1.000 0.000 0.500 rg 1 0 0 1 4.000000 23.200000 Tm (a\\(b) Tj ET\n");
}

TEST(AppendTextObject, LongTextObjectIsNeverCut)
{
    // well over 1 KiB: the object must still close
    base::byte_buffer out;
    append_text_object(out, "FlF", 1e300, -1e300, std::string(900, '\xE9'), 0, 0, 0);
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

struct source_case {
    std::string text;
    std::optional<std::string> decoded;
};

TEST(FreetextSource, PrefersContents)
{
    const std::vector<source_case> cases = {
        {"<< /Contents (Hello) >>", "Hello"},
        {"<< /DA (/Helv 0 Tf) /Contents (Note) >>", "Note"},      // later "Contents" wins
        {"<< /Contents <FEFF00410042> >>", "AB"},                 // hex and UTF-16
        {"<< /Contents(\\376\\377\\000A) >>", "A"},               // UTF-16 written in escapes
        {"<< /T (Author) /Subj (x) >>", "Author"},                // no "Contents": first string
        {"<< /Contents 12 0 R /T (Bob) >>", "Bob"},               // "Contents" not a string
        {"<< /Contentsx (a) /T (b) >>", "a"},                     // another key: first string
        {"<< /Contents (open >>", std::nullopt},                  // "Contents" never closed
        {"<< /Subtype /FreeText >>", std::nullopt},               // no string at all
        {"<< /T (\xFE\xFF\0a\0b) >>"s, "ab"},                      // the first string decoded too
    };
    for (const auto& c : cases) EXPECT_EQ(freetext_source(c.text, 0), c.decoded) << c.text;
}

TEST(FreetextSource, SearchesFromStart)
{
    const std::string text = "(skip) << /T (x) >>";
    EXPECT_EQ(freetext_source(text, 7), "x");
    EXPECT_EQ(freetext_source(text, -1), std::nullopt);
    EXPECT_EQ(freetext_source(text, static_cast<std::int32_t>(text.size())), std::nullopt);
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
        const auto lines = layout_text(c.text, 10, 0, c.w, c.h);
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
    const auto lines = layout_text("a\nb\nc\nd", 0, 100, 100, 40);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NEAR(lines[1].y, 112.9, 1e-9);
}

}  // namespace
}  // namespace kestrin::draw
