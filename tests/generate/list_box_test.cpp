#include "generate/list_box.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "generate/standard_fonts.h"

namespace kestrin::generate {
namespace {

std::vector<list_option> options_of(std::initializer_list<std::pair<const char32_t*, const char32_t*>> pairs)
{
    std::vector<list_option> out;
    for (auto [e, d] : pairs) out.push_back({e, d});
    return out;
}

// The rows a list's content shows, top first, with their baselines (Td moves add up).
struct shown_row {
    std::string text;
    double x = 0, y = 0;
};
std::vector<shown_row> shown_rows(const std::string& content)
{
    std::vector<shown_row> out;
    std::istringstream lines(content);
    std::string line;
    double x = 0, y = 0;
    while (std::getline(lines, line)) {
        if (line.ends_with(" Td")) {
            std::istringstream in(line);
            double dx = 0, dy = 0;
            in >> dx >> dy;
            x += dx;
            y += dy;
        } else if (line.ends_with(" Tj")) {
            out.push_back({line.substr(1, line.size() - 5), x, y});
        }
    }
    return out;
}

// The highlight rectangles' bottoms.
std::vector<double> highlight_bottoms(const std::string& content)
{
    std::vector<double> out;
    std::istringstream lines(content);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.ends_with(" re f")) continue;
        std::istringstream in(line);
        double x = 0, y = 0;
        in >> x >> y;
        out.push_back(y);
    }
    return out;
}

TEST(SelectedRows, IndicesFirstThenValues)
{
    const auto options = options_of({{U"a", U"Apple"}, {U"b", U"Banana"}, {U"c", U"Cherry"}, {U"b", U"Bis"}});
    struct test_case {
        const char* what;
        std::vector<std::int64_t> indices;
        std::vector<std::u32string> values;
        std::vector<std::int32_t> rows;
    } cases[] = {
        {"I names the rows", {2, 0}, {U"b"}, {0, 2}},
        {"I repeated", {1, 1}, {}, {1}},
        {"I out of range falls back to V", {-1, 9}, {U"c"}, {2}},
        {"V matches export values, every row that has it", {}, {U"b"}, {1, 3}},
        {"V matches a display text when no export value does", {}, {U"Cherry"}, {2}},
        {"several values", {}, {U"a", U"c"}, {0, 2}},
        {"nothing matches", {}, {U"z"}, {}},
        {"no selection at all", {}, {}, {}},
    };
    for (const auto& c : cases) EXPECT_EQ(selected_rows(options, c.indices, c.values), c.rows) << c.what;
}

class ListBoxContent : public ::testing::Test {
protected:
    const encoding win_ansi{base_encoding::win_ansi};
    const layout_font font = standard_layout_font("Helv", *find_standard_font("Helvetica"), win_ansi);
    const std::vector<list_option> options =
        options_of({{U"1", U"One"}, {U"2", U"Two"}, {U"3", U"Three"}, {U"4", U"Four"}, {U"5", U"Five"}});

    list_request request() const
    {
        list_request r;
        r.box = {100, 40, 1};  // room for two rows and a part of a third at size 12
        r.font_size = 12;
        return r;
    }
};

TEST_F(ListBoxContent, RowsFromTheTopIndexDown)
{
    struct test_case {
        std::int64_t top;
        std::vector<std::string> rows;
    } cases[] = {
        {0, {"One", "Two", "Three"}},
        {3, {"Four", "Five"}},
        {4, {"Five"}},
        {5, {"One", "Two", "Three"}},   // past the end: from the first row
        {-1, {"One", "Two", "Three"}},
    };
    for (const auto& c : cases) {
        list_request r = request();
        r.top_index = c.top;
        const auto rows = shown_rows(list_box_content(options, font, r).content);
        std::vector<std::string> texts;
        for (const auto& row : rows) texts.push_back(row.text);
        EXPECT_EQ(texts, c.rows) << c.top;
        for (std::size_t i = 1; i < rows.size(); ++i) EXPECT_NEAR(rows[i - 1].y - rows[i].y, 12 * line_height, 1e-5);
        ASSERT_FALSE(rows.empty());
        EXPECT_NEAR(rows[0].x, 1 + horizontal_padding, 1e-6);
        // The first row's text lies inside the top of the box, under the padding.
        EXPECT_LT(rows[0].y + 0.718 * 12, 40 - 1 - vertical_padding + 1e-6);
        EXPECT_GT(rows[0].y, 40 - 1 - vertical_padding - 12 * line_height);
    }
}

TEST_F(ListBoxContent, SelectedVisibleRowsAreHighlighted)
{
    list_request r = request();
    r.top_index = 1;
    r.selected = {4, 0, 2};  // 0 is above the top, 4 below the bottom: only 2 shows
    const std::string content = list_box_content(options, font, r).content;
    EXPECT_NE(content.find("0.600 0.757 0.855 rg\n"), std::string::npos) << content;
    const auto bottoms = highlight_bottoms(content);
    ASSERT_EQ(bottoms.size(), 1u) << content;
    // Row 2 is the second row shown: its bar spans one row height below the first's.
    EXPECT_NEAR(bottoms[0], 40 - 1 - vertical_padding - 2 * 12 * line_height, 1e-5);
    // The highlight is drawn before the text, inside the clip and the marked content.
    EXPECT_LT(content.find(" re W n"), content.find(" re f"));
    EXPECT_LT(content.find(" re f"), content.find("BT"));
    EXPECT_TRUE(content.starts_with("/Tx BMC\nq\n1.000000 1.000000 98.000000 38.000000 re W n\n")) << content;
    EXPECT_TRUE(content.ends_with("ET\nQ\nEMC\n"));
}

TEST_F(ListBoxContent, NoSelectionNoHighlight)
{
    const std::string content = list_box_content(options, font, request()).content;
    EXPECT_TRUE(highlight_bottoms(content).empty());
    EXPECT_EQ(content.find(" rg\n"), std::string::npos);
}

TEST_F(ListBoxContent, AutoSizeFitsTheWidestRowUpToTwelve)
{
    list_request r = request();
    r.font_size = 0;
    EXPECT_EQ(list_box_content(options, font, r).font_size, 12);
    r.top_index = 3;  // the size does not change as the list scrolls past "Three"
    r.box.width = 30;  // 24 units for text; "Three" is 2.612 ems wide in Helvetica (T 611, h 556, r 333, e 556)
    const double size = list_box_content(options, font, r).font_size;
    EXPECT_NEAR(size, 24.0 * 1000 / 2612, 1e-6);
}

TEST_F(ListBoxContent, AlignmentAndSubstitutes)
{
    list_request r = request();
    r.alignment = quadding::right;
    const auto opts = options_of({{U"x", U"\u4E00"}});  // not in WinAnsi
    const text_appearance result = list_box_content(opts, font, r);
    EXPECT_EQ(result.substituted, 1);
    const auto rows = shown_rows(result.content);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].text, "?");
    EXPECT_NEAR(rows[0].x + 0.556 * 12, 99 - horizontal_padding, 1e-6);  // "?" is 556 units wide
}

TEST_F(ListBoxContent, EmptyAndDegenerate)
{
    const std::string empty = list_box_content({}, font, request()).content;
    EXPECT_TRUE(shown_rows(empty).empty());
    list_request r = request();
    r.box = {std::nan(""), -3, 1e300};
    r.font_size = 0;
    const std::string odd = list_box_content(options, font, r).content;
    EXPECT_EQ(odd.find("nan"), std::string::npos);
    EXPECT_EQ(odd.find("inf"), std::string::npos);
}

}  // namespace
}  // namespace kestrin::generate
