#include "generate/button_appearance.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>

namespace kestrin::generate {
namespace {

// The numbers before an operator's first use in content, e.g. of "Td" or "Tf".
std::vector<double> operands_of(const std::string& content, const std::string& op)
{
    std::istringstream lines(content);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.ends_with(" " + op)) continue;
        std::istringstream in(line);
        std::vector<double> out;
        double v = 0;
        while (in >> v) out.push_back(v);
        return out;
    }
    return {};
}

button_request request(button_kind kind, bool on)
{
    button_request r;
    r.kind = kind;
    r.width = 20;
    r.height = 20;
    r.on = on;
    r.font_resource = "ZaDb";
    r.colours.background = colour{1, {1, 0, 0, 0}};
    r.colours.border = colour{};
    r.frame_border.width = 1;
    return r;
}

TEST(ButtonContent, OffDrawsTheFrameOnly)
{
    for (auto kind : {button_kind::check_box, button_kind::radio}) {
        for (const char* caption : {"", "8"}) {
            button_request r = request(kind, false);
            r.caption = caption;
            const button_appearance off = button_content(r);
            EXPECT_FALSE(off.uses_font);
            EXPECT_EQ(off.content.find("BT"), std::string::npos) << off.content;
            EXPECT_EQ(off.content.find(" W n"), std::string::npos) << off.content;  // nothing to clip
            EXPECT_NE(off.content.find(" f\n"), std::string::npos) << off.content;    // the background
        }
    }
    // Without colours an off button draws nothing at all.
    button_request bare = request(button_kind::check_box, false);
    bare.colours = {};
    EXPECT_EQ(button_content(bare).content, "");
}

TEST(ButtonContent, OnDrawsTheCaptionOverTheFrame)
{
    struct test_case {
        const char* what;
        button_kind kind;
        const char* caption;
        const char* shown;
    } cases[] = {
        {"check box, no caption: the check mark", button_kind::check_box, "", "(3) Tj"},
        {"check box with a cross", button_kind::check_box, "8", "(8) Tj"},
        {"radio with a caption", button_kind::radio, "l", "(l) Tj"},
        {"a caption that needs escaping", button_kind::check_box, "(", "(\\() Tj"},
    };
    for (const auto& c : cases) {
        button_request r = request(c.kind, true);
        r.caption = c.caption;
        const button_appearance on = button_content(r);
        r.on = false;
        EXPECT_TRUE(on.content.starts_with(button_content(r).content)) << c.what;
        EXPECT_TRUE(on.uses_font) << c.what;
        EXPECT_NE(on.content.find(c.shown), std::string::npos) << c.what << "\n" << on.content;
        EXPECT_NE(on.content.find("/ZaDb "), std::string::npos) << c.what;
        // Clipped inside the one-unit border.
        EXPECT_NE(on.content.find("1.000000 1.000000 18.000000 18.000000 re W n"), std::string::npos) << c.what;
    }
}

TEST(ButtonContent, AutoSizedCheckMarkIsCentred)
{
    const button_appearance on = button_content(request(button_kind::check_box, true));
    // 0.8 of the 18-unit inside; a19 is 755 thousandths wide, so the width allows more.
    EXPECT_NEAR(on.font_size, 14.4, 1e-9);
    const auto td = operands_of(on.content, "Td");
    ASSERT_EQ(td.size(), 2u);
    const double glyph = 0.755 * on.font_size;
    EXPECT_NEAR(td[0] + glyph / 2, 10, 1e-3);                 // centred across
    EXPECT_NEAR(td[1] + 0.345 * on.font_size, 10, 1e-3);      // the glyph's middle at the box's
    EXPECT_NE(on.content.find("/ZaDb 14.400 Tf"), std::string::npos);
}

TEST(ButtonContent, WideCaptionShrinksToTheWidth)
{
    button_request r = request(button_kind::check_box, true);
    r.width = 10;
    r.height = 40;
    r.caption = "44";
    const button_appearance on = button_content(r);
    EXPECT_NEAR(on.font_size, 0.8 * 8 * 1000 / (2 * 846), 1e-9);
}

TEST(ButtonContent, DefaultAppearanceSizeAndColourAreKept)
{
    button_request r = request(button_kind::check_box, true);
    r.font_size = 9;
    r.caption_colour = colour{3, {0, 0, 1, 0}};
    const button_appearance on = button_content(r);
    EXPECT_EQ(on.font_size, 9);
    EXPECT_NE(on.content.find("/ZaDb 9.000 Tf\n0.000 0.000 1.000 rg\n"), std::string::npos) << on.content;
}

TEST(ButtonContent, RadioWithoutCaptionFillsACircle)
{
    const button_appearance on = button_content(request(button_kind::radio, true));
    EXPECT_FALSE(on.uses_font);
    EXPECT_EQ(on.content.find("BT"), std::string::npos);
    // Radius a quarter of the 18-unit inside, around the middle: starts at (10 + 4.5, 10).
    EXPECT_NE(on.content.find("14.500000 10.000000 m\n"), std::string::npos) << on.content;
    EXPECT_TRUE(on.content.ends_with("h f\nQ\n")) << on.content;
    // A radio's frame is round.
    EXPECT_EQ(on.content.find(" re f"), std::string::npos);
}

TEST(ButtonContent, DegenerateBoxesStayFinite)
{
    for (double size : {0.0, -5.0, std::nan(""), 1e300}) {
        button_request r = request(button_kind::check_box, true);
        r.width = size;
        r.height = size;
        const button_appearance on = button_content(r);
        EXPECT_EQ(on.content.find("nan"), std::string::npos) << size;
        EXPECT_EQ(on.content.find("inf"), std::string::npos) << size;
    }
}

}  // namespace
}  // namespace kestrin::generate
