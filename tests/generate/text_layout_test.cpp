#include "generate/text_layout.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "generate/default_appearance.h"
#include "generate/standard_fonts.h"

namespace kestrin::generate {
namespace {

// One shown string of a content and the origin Td moved it to.
struct shown {
    double x = 0;
    double y = 0;
    std::string text;  // as written, escapes kept
};

// The strings a layout's content shows, with their origins (Td moves add up from 0 0 in BT).
std::vector<shown> shown_strings(const std::string& content)
{
    std::vector<shown> out;
    std::istringstream lines(content);
    std::string line;
    double x = 0, y = 0;
    while (std::getline(lines, line)) {
        if (line.size() > 3 && line.ends_with(" Td")) {
            std::istringstream in(line);
            double dx = 0, dy = 0;
            in >> dx >> dy;
            x += dx;
            y += dy;
        } else if (line.ends_with(" Tj")) {
            out.push_back({x, y, line.substr(1, line.size() - 5)});
        }
    }
    return out;
}

class TextLayout : public ::testing::Test {
protected:
    const font_metrics& helvetica = *find_standard_font("Helvetica");
    const encoding win_ansi{base_encoding::win_ansi};
    const layout_font font = standard_layout_font("Helv", helvetica, win_ansi);

    text_appearance lay_out(std::u32string_view value, text_request request) const
    {
        return layout_text_field(value, font, request);
    }

    static text_request box(double w, double h, double size = 0, double border = 1)
    {
        text_request r;
        r.box = {w, h, border};
        r.font_size = size;
        return r;
    }
};

TEST_F(TextLayout, WritesTheMarkedClippedTextObject)
{
    // "Hi" is 722 + 222 units; the baseline centres Helvetica's 729 above and 218 below in 18.
    EXPECT_EQ(lay_out(U"Hi", box(100, 20, 10)).content,
              "/Tx BMC\nq\n1.000000 1.000000 98.000000 18.000000 re W n\n"
              "BT\n/Helv 10.000 Tf\n0.000 g\n3.000000 7.445000 Td\n(Hi) Tj\nET\nQ\nEMC\n");
}

struct align_case {
    quadding q;
    double x;
};

TEST_F(TextLayout, AlignsByQuadding)
{
    const std::vector<align_case> cases = {
        {quadding::left, 3.0},                      // border 1 and padding 2
        {quadding::centre, 1 + (98 - 9.44) / 2},    // "Hi" is 9.44 wide at 10
        {quadding::right, 1 + 98 - 2 - 9.44},
    };
    for (const auto& c : cases) {
        auto r = box(100, 20, 10);
        r.alignment = c.q;
        const auto strings = shown_strings(lay_out(U"Hi", r).content);
        ASSERT_EQ(strings.size(), 1u);
        EXPECT_NEAR(strings[0].x, c.x, 1e-6) << static_cast<int>(c.q);
    }
}

struct size_case {
    std::u32string value;
    double w, h, border;
    double size;
};

TEST_F(TextLayout, AutoSizesASingleLineByHeightAndWidth)
{
    const std::vector<size_case> cases = {
        {U"Hi", 200, 20, 1, (18 - 2) / 1.15},           // the height decides
        {U"Hi", 200, 20, 0, (20 - 2) / 1.15},           // no border
        {U"Hi", 200, 20, 3, (14 - 2) / 1.15},           // a wide border
        {U"HHHHHHHHHH", 60, 40, 1, (60 - 2 - 4) * 1000.0 / 7220},  // the width decides
        {U"", 100, 20, 1, (18 - 2) / 1.15},             // nothing to fit across
        {U"Hi", 100, 5, 1, 4.0},                         // never below 4
        {U"Hi", 1e12, 1e12, 1, 1000.0},                  // nor above 1000
    };
    for (const auto& c : cases) {
        const auto result = lay_out(c.value, box(c.w, c.h, 0, c.border));
        EXPECT_NEAR(result.font_size, c.size, 1e-9);
    }
    EXPECT_DOUBLE_EQ(lay_out(U"Hi", box(200, 20, 9)).font_size, 9.0);  // a given size is kept
}

TEST_F(TextLayout, ShowsOneLineWhenNotMultiline)
{
    const auto strings = shown_strings(lay_out(U"one\r\ntwo\nthree\rfour\tfive", box(400, 20, 10)).content);
    ASSERT_EQ(strings.size(), 1u);
    EXPECT_EQ(strings[0].text, "one two three four five");
}

TEST_F(TextLayout, WrapsMultilineTextAtSpacesAndInsideLongWords)
{
    auto r = box(60, 200, 10);
    r.flags.multiline = true;
    // Inside: 60 - 2 - 4 = 54 wide, 5400 units at size 10. "aaaa" is 2224 units.
    const auto strings = shown_strings(lay_out(U"aaaa aaaa aaaa\nbb\n\nWWWWWWWWWWWW", r).content);
    std::vector<std::string> texts;
    for (const auto& s : strings) texts.push_back(s.text);
    // W is 944 units: five fit (4720), the sixth does not.
    const std::vector<std::string> expected = {"aaaa aaaa", "aaaa", "bb", "", "WWWWW", "WWWWW", "WW"};
    EXPECT_EQ(texts, expected);
    for (std::size_t i = 0; i < strings.size(); ++i) {
        EXPECT_NEAR(strings[i].x, 3.0, 1e-9);
        // the first baseline under the top padding and Helvetica's ascent, then 1.15 sizes apart
        EXPECT_NEAR(strings[i].y, 200 - 1 - 1 - 7.29 - 11.5 * static_cast<double>(i), 1e-6);
    }
}

TEST_F(TextLayout, MultilineDropsSpacesAtBreaksAndAlignsEachLine)
{
    auto r = box(60, 200, 10);
    r.flags.multiline = true;
    r.alignment = quadding::right;
    const auto strings = shown_strings(lay_out(U"aaaa   aaaa   aaaa", r).content);
    ASSERT_EQ(strings.size(), 2u);
    EXPECT_EQ(strings[0].text, "aaaa   aaaa");
    EXPECT_EQ(strings[1].text, "aaaa");
    EXPECT_NEAR(strings[1].x, 1 + 58 - 2 - 22.24, 1e-6);
}

TEST_F(TextLayout, MultilineAutoSizeIsTheLargestUpTo12ThatFits)
{
    auto r = box(200, 100, 0);
    r.flags.multiline = true;
    EXPECT_DOUBLE_EQ(lay_out(U"short", r).font_size, 12.0);
    // Eight lines need 8 x 1.15 x size <= 100 - 2 - 2: size 10 (92) fits, 10.5 (96.6) does not.
    EXPECT_DOUBLE_EQ(lay_out(U"1\n2\n3\n4\n5\n6\n7\n8", r).font_size, 10.0);
    // Far too much text: the smallest size, the rest clipped.
    const std::u32string long_text(5000, U'a');
    const auto result = lay_out(long_text, r);
    EXPECT_DOUBLE_EQ(result.font_size, 4.0);
    for (const auto& s : shown_strings(result.content)) EXPECT_GE(s.y + 4 * 0.729, 1.0);  // none wholly below
}

TEST_F(TextLayout, CombCentresEachCharacterInItsCell)
{
    auto r = box(100, 20, 10, 0);
    r.flags.comb = true;
    r.flags.max_len = 5;  // cells of 20
    const auto strings = shown_strings(lay_out(U"Hi!xyz", r).content);
    ASSERT_EQ(strings.size(), 5u);  // at most MaxLen characters
    const std::vector<std::pair<std::string, double>> expected = {
        {"H", 0 + (20 - 7.22) / 2}, {"i", 20 + (20 - 2.22) / 2}, {"!", 40 + (20 - 2.78) / 2},
        {"x", 60 + (20 - 5.0) / 2}, {"y", 80 + (20 - 5.0) / 2}};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(strings[i].text, expected[i].first);
        EXPECT_NEAR(strings[i].x, expected[i].second, 1e-6) << i;
    }
}

TEST_F(TextLayout, CombQuaddingMovesWholeCells)
{
    auto r = box(100, 20, 10, 0);
    r.flags.comb = true;
    r.flags.max_len = 5;
    r.alignment = quadding::right;
    auto strings = shown_strings(lay_out(U"ab", r).content);
    ASSERT_EQ(strings.size(), 2u);
    EXPECT_NEAR(strings[0].x, 60 + (20 - 5.56) / 2, 1e-6);
    r.alignment = quadding::centre;
    strings = shown_strings(lay_out(U"ab", r).content);
    EXPECT_NEAR(strings[0].x, 20 + (20 - 5.56) / 2, 1e-6);  // (5 - 2) / 2 = 1 cell in
}

TEST_F(TextLayout, CombNeedsMaxLenAndASingleLine)
{
    auto r = box(100, 20, 10, 0);
    r.flags.comb = true;  // no MaxLen: a plain field
    EXPECT_EQ(shown_strings(lay_out(U"abc", r).content).size(), 1u);
    r.flags.max_len = 5;
    r.flags.multiline = true;  // comb with multiline is not a comb
    EXPECT_EQ(shown_strings(lay_out(U"abc", r).content).size(), 1u);
}

TEST_F(TextLayout, CombAutoSizeFitsTheWidestCharacterInACell)
{
    auto r = box(50, 100, 0, 0);
    r.flags.comb = true;
    r.flags.max_len = 5;  // cells of 10; W is 944 units
    EXPECT_NEAR(lay_out(U"W", r).font_size, 10 * 1000.0 / 944, 1e-9);
}

TEST_F(TextLayout, PasswordShowsNothingOfTheValue)
{
    auto r = box(100, 20, 10);
    r.flags.password = true;
    const auto result = lay_out(U"secret", r);
    EXPECT_EQ(result.content, "/Tx BMC\nq\n1.000000 1.000000 98.000000 18.000000 re W n\nQ\nEMC\n");
}

struct encode_case {
    std::u32string value;
    std::string written;  // the string operand as written
    std::int32_t substituted;
};

TEST_F(TextLayout, EncodesThroughTheFontsEncodingAndCountsSubstitutes)
{
    const std::vector<encode_case> cases = {
        {U"caf\u00E9 \u20AC5", "caf\\351 \\2005", 0},        // WinAnsi codes, written as octal
        {U"(a)\\", "\\(a\\)\\\\", 0},                        // delimiters escaped
        {U"\u0416x\U0001F600", "?x?", 2},                    // outside WinAnsi: "?" each
        {U"\u00A0", " ", 0},                                 // a no-break space as a space
        {U"\uFFFD", "?", 1},
    };
    for (const auto& c : cases) {
        const auto result = lay_out(c.value, box(400, 20, 10));
        const auto strings = shown_strings(result.content);
        ASSERT_EQ(strings.size(), 1u);
        EXPECT_EQ(strings[0].text, c.written);
        EXPECT_EQ(result.substituted, c.substituted);
    }
}

TEST_F(TextLayout, WritesTheColourAndAnEscapedFontName)
{
    const encoding symbol(base_encoding::symbol);
    const layout_font odd = standard_layout_font("F 1#", *find_standard_font("Symbol"), symbol);
    auto r = box(100, 20, 10);
    r.text_colour = {3, {1, 0.5, 0, 0}};
    const std::string content = layout_text_field(U"\u03B1", odd, r).content;
    EXPECT_NE(content.find("/F#201#23 10.000 Tf\n1.000 0.500 0.000 rg\n"), std::string::npos) << content;
    EXPECT_NE(content.find("(a) Tj"), std::string::npos) << content;
    r.text_colour = {4, {0, 0, 0, 1}};
    EXPECT_NE(layout_text_field(U"x", font, r).content.find("0.000 0.000 0.000 1.000 k\n"), std::string::npos);
}

TEST_F(TextLayout, SurvivesBoxesWithNoRoom)
{
    for (const double w : {0.0, 1.0, 4.0}) {
        for (const bool multiline : {false, true}) {
            auto r = box(w, w, 0, 2);
            r.flags.multiline = multiline;
            const auto result = lay_out(U"some text here", r);
            EXPECT_GE(result.font_size, 4.0);
            EXPECT_NE(result.content.find("0.000000 0.000000 re W n"), std::string::npos) << result.content;
        }
    }
}

}  // namespace
}  // namespace kestrin::generate
