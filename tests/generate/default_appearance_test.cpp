#include "generate/default_appearance.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrin::generate {
namespace {

struct da_case {
    std::string da;
    std::string font;
    double size;
    std::int32_t components;
    std::array<double, 4> values;
};

TEST(ParseDefaultAppearance, TakesTheLastFontAndColour)
{
    const std::vector<da_case> cases = {
        {"/Helv 12 Tf 0 g", "Helv", 12, 1, {0, 0, 0, 0}},
        {"/TiRo 0 Tf 1 0 0 rg", "TiRo", 0, 3, {1, 0, 0, 0}},       // auto size
        {"0.5 0.25 0 0.1 k /Cour 9.5 Tf", "Cour", 9.5, 4, {0.5, 0.25, 0, 0.1}},
        {"/A 10 Tf /B 11 Tf 0.2 g 0 0 1 rg", "B", 11, 3, {0, 0, 1, 0}},  // the last of each
        {"/F#20One 8 Tf", "F One", 8, 1, {0, 0, 0, 0}},             // a name escape
        {"", "", 0, 1, {0, 0, 0, 0}},                                // nothing: Helvetica, auto, black
        {"0 g", "", 0, 1, {0, 0, 0, 0}},
        {"12 Tf", "", 0, 1, {0, 0, 0, 0}},                           // Tf without its name
        {"/Helv Tf", "", 0, 1, {0, 0, 0, 0}},                        // Tf without its size
        {"/Helv 12 Tf /Helv x Tf", "Helv", 12, 1, {0, 0, 0, 0}},     // a broken later Tf is passed over
        {"/Helv -3 Tf", "Helv", 0, 1, {0, 0, 0, 0}},                 // sizes that are mistakes: auto
        {"/Helv 5000 Tf", "Helv", 0, 1, {0, 0, 0, 0}},
        {"/Helv 12 Tf 2 -1 0.5 rg", "Helv", 12, 3, {1, 0, 0.5, 0}},   // components clamped
        {"/Helv 12 Tf 1 rg", "Helv", 12, 1, {0, 0, 0, 0}},           // too few operands: black kept
        {"/Helv 12 Tf 0 0 1 rg 1 0 0 rg", "Helv", 12, 3, {1, 0, 0, 0}},
        {"% comment /X 3 Tf\n/Helv 7 Tf", "Helv", 7, 1, {0, 0, 0, 0}},
        {"(str) /Helv 7 Tf", "Helv", 7, 1, {0, 0, 0, 0}},           // other operands are skipped
        {"/Helv 7 Tf BT 0.5 g ET", "Helv", 7, 1, {0.5, 0, 0, 0}},
        {"/Helv 7", "", 0, 1, {0, 0, 0, 0}},                          // no operator
        {"/Helv 7 Tf 0.1 0.2 0.3 0.4 0.5 k", "Helv", 7, 4, {0.2, 0.3, 0.4, 0.5}},  // the last four
    };
    for (const auto& c : cases) {
        const auto da = parse_default_appearance(c.da);
        EXPECT_EQ(da.font_name, c.font) << c.da;
        EXPECT_DOUBLE_EQ(da.font_size, c.size) << c.da;
        EXPECT_EQ(da.text_colour.components, c.components) << c.da;
        for (std::size_t i = 0; i < 4; ++i) EXPECT_DOUBLE_EQ(da.text_colour.values[i], c.values[i]) << c.da;
    }
}

}  // namespace
}  // namespace kestrin::generate
