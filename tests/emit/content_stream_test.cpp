// Placement geometry and number clamping.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "base/number_format.h"
#include "emit/content_stream.h"

namespace kestrin::emit {
namespace {

struct placement_case {
    const char* what;
    scan::box bbox;
    std::array<double, 6> matrix;
    scan::box rect;
    placement expected;
};

constexpr std::array<double, 6> identity{1, 0, 0, 1, 0, 0};

const placement_case placement_cases[] = {
    // Box and rectangle of one size: a plain move to the rectangle's corner.
    {"identity", {0, 0, 50, 20}, identity, {100, 200, 50, 20}, {1, 1, 100, 200}},
    // Box twice the rectangle: scale one half.
    {"scaled", {0, 0, 100, 50}, identity, {200, 300, 50, 25}, {0.5, 0.5, 200, 300}},
    // Box away from the origin: the translation takes its corner to the rectangle's corner.
    {"bbox offset", {10, 10, 100, 50}, identity, {0, 0, 100, 50}, {1, 1, -10, -10}},
    // Rotated by 90 degrees: the transformed box is 50 wide and 100 high, at x -50.
    {"rotated 90", {0, 0, 100, 50}, {0, 1, -1, 0, 0, 0}, {10, 20, 50, 100}, {1, 1, 60, 20}},
    // A matrix that scales by 2 and moves: the transformed box [10 20 210 120] fills the rectangle.
    {"scale matrix", {0, 0, 100, 50}, {2, 0, 0, 2, 10, 20}, {0, 0, 100, 50}, {0.5, 0.5, -5, -10}},
    // A singular matrix is ignored rather than dividing by zero.
    {"singular matrix", {0, 0, 100, 50}, {0, 0, 0, 0, 0, 0}, {0, 0, 50, 25}, {0.5, 0.5, 0, 0}},
};

TEST(WriterPlacement, BoxTransformedByMatrixFillsTheRectangle)
{
    for (const placement_case& tc : placement_cases) {
        SCOPED_TRACE(tc.what);
        appearance_frame f;
        f.bbox = tc.bbox;
        f.matrix = tc.matrix;
        const placement p = place_frame(f, tc.rect);
        EXPECT_DOUBLE_EQ(p.sx, tc.expected.sx);
        EXPECT_DOUBLE_EQ(p.sy, tc.expected.sy);
        EXPECT_DOUBLE_EQ(p.tx, tc.expected.tx);
        EXPECT_DOUBLE_EQ(p.ty, tc.expected.ty);
    }
}

TEST(WriterPlacement, ClampKeepsNumbersShortAndFinite)
{
    struct {
        double in, out;
    } const cases[] = {
        {12.5, 12.5},                                         // ordinary value unchanged
        {-3e12, -1e9},                                        // huge negative cut
        {4e20, 1e9},                                          // huge positive cut
        {std::numeric_limits<double>::infinity(), 0},         // infinity
        {-std::numeric_limits<double>::infinity(), 0},        // negative infinity
        {std::numeric_limits<double>::quiet_NaN(), 0},        // not a number
    };
    for (const auto& c : cases) EXPECT_EQ(base::clamp_coordinate(c.in), c.out) << c.in;
}

}  // namespace
}  // namespace kestrin::emit
