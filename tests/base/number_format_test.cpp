// Number formatting: equal to printf in the C locale, whatever the host's locale.
#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <algorithm>
#include <limits>
#include <random>
#include <string>

#include "base/number_format.h"

namespace kestrin::test {
namespace {

using base::fmt_into;

std::string ours_f(const char* format, double v)
{
    char out[512];
    return std::string(fmt_into(out, sizeof out, format, v));
}

std::string printf_f(const char* format, double v)
{
    char out[512];
    std::snprintf(out, sizeof out, format, v);
    return out;
}

const double tricky_doubles[] = {
    0.0,
    -0.0,
    0.5,
    -0.5,
    1.5,
    2.5,
    1e-7,
    -1e-7,
    0.0000005,
    0.0000015,
    0.0000025,
    0.0625,
    0.1875,
    0.0005,
    0.0015,
    2.675,
    123456789.123456789,
    -987654.3210987,
    1e15,
    1e20,
    1e300,
    -1e300,
    5e-324,
    DBL_MAX,
    -DBL_MAX,
    DBL_MIN,
    4503599627370497.5,
    0.9999995,
    0.9995,
    999.9995,
    612.0,
    792.0,
    11.0,
    0.95,
};

// Exact decimal ties and huge or tiny values, where a home-made formatter would round wrongly.
TEST(Format, FixedEqualsPrintf)
{
    for (const char* format : {"%f", "%.3f", "%.0f", "%.1f", "%.10f", "%12.3f", "%-9.2f|"}) {
        for (double v : tricky_doubles)
            EXPECT_EQ(ours_f(format, v), printf_f(format, v)) << format << " " << v;
    }
}

TEST(Format, RandomDoublesEqualPrintf)
{
    std::mt19937_64 rng(31337);
    std::uniform_real_distribution<double> mantissa(-10.0, 10.0);
    std::uniform_int_distribution<int> exponent(-12, 12);
    for (int i = 0; i < 20000; ++i) {
        const double v = mantissa(rng) * std::pow(10.0, exponent(rng));
        ASSERT_EQ(ours_f("%f", v), printf_f("%f", v)) << v;
        ASSERT_EQ(ours_f("%.3f", v), printf_f("%.3f", v)) << v;
    }
}

// Halves, quarters, ... of integers: exact decimal ties at every precision of the short path,
// where rounding must go to the even digit as printf's does.
TEST(Format, DyadicTiesEqualPrintf)
{
    std::mt19937_64 rng(4242);
    std::uniform_int_distribution<long> numerator(-2000000000L, 2000000000L);
    std::uniform_int_distribution<int> shift(1, 30);
    for (int i = 0; i < 20000; ++i) {
        const double v = std::ldexp(static_cast<double>(numerator(rng)), -shift(rng));
        for (const char* format : {"%f", "%.3f", "%.0f", "%.1f", "%.2f", "%.4f", "%.5f"})
            ASSERT_EQ(ours_f(format, v), printf_f(format, v)) << format << " " << v;
    }
}

// Around the border of the short path (1e12) and of the integers a double holds exactly.
TEST(Format, LargeMagnitudesEqualPrintf)
{
    for (double v : {999999999999.9999, 1e12, -1e12, 1e12 + 0.5, 9007199254740993.0, 1e9, -1e9,
                     999999999.9999995, 0.49999999999999994, -0.0000004})
        for (const char* format : {"%f", "%.3f", "%.0f"})
            EXPECT_EQ(ours_f(format, v), printf_f(format, v)) << format << " " << v;
}

// The object header and the cross-reference line, against printf at their edges.
TEST(Format, HeaderAndXrefLineEqualPrintf)
{
    const long numbers[][2] = {{0, 0}, {1, 0}, {7, 65535}, {2147483647, 99999}, {-5, 3},
                               {123456, 42}, {9999999999, 1}};
    for (const auto& [a, b] : numbers) {
        char expected[64];
        char room[base::obj_header_room];
        std::snprintf(expected, sizeof expected, "%ld %ld obj\n", a, b);
        EXPECT_EQ(base::obj_header(room, a, b), expected);
        if (a < 0) continue;
        char line[base::xref_line_size];
        std::snprintf(expected, sizeof expected, "%010ld %05ld n \n", a, b);
        base::xref_line(line, a, b);
        EXPECT_EQ(std::string(line, sizeof line), expected) << a << " " << b;
    }
}

// Infinite or undefined values must never reach a PDF as "inf" or "nan".
TEST(Format, NonFiniteIsZero)
{
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(ours_f("%f", inf), "0.000000");
    EXPECT_EQ(ours_f("%f", -inf), "0.000000");
    EXPECT_EQ(ours_f("%.3f", nan), "0.000");
}

TEST(Format, IntegersEqualPrintf)
{
    char ours[64];
    char theirs[64];
    for (int v : {0, 1, -1, 57, INT32_MAX, INT32_MIN}) {
        std::snprintf(theirs, sizeof theirs, "/Fl%d %d", v, v);
        EXPECT_EQ(fmt_into(ours, sizeof ours, "/Fl%d %d", v, v), theirs) << v;
    }
    for (long v : {0L, 123L, -5L, 2147483648L, 12345678901L, LONG_MAX, LONG_MIN}) {
        for (const char* format : {"%ld", "%010ld", "%5ld", "%-5ld|"}) {
            std::snprintf(theirs, sizeof theirs, format, v);
            EXPECT_EQ(fmt_into(ours, sizeof ours, format, v), theirs) << format << " " << v;
        }
    }
}

TEST(Format, TextAndPercent)
{
    char out[64];
    EXPECT_EQ(fmt_into(out, sizeof out, "%s %% %s", "a", ""), "a % ");
    EXPECT_EQ(fmt_into(out, sizeof out, "q %s %s Q", "/GS0 gs", "/Fl3 Do"), "q /GS0 gs /Fl3 Do Q");
    EXPECT_EQ(fmt_into(out, sizeof out, "%010ld 00000 n \n", 1234L), "0000001234 00000 n \n");
    // Conversions outside the supported set end the text there rather than misread arguments.
    EXPECT_EQ(fmt_into(out, sizeof out, "a%xb%d", 5u, 6), "a");
}

TEST(Format, CutToSizeLessOne)
{
    struct row {
        std::size_t size;
        std::string expect;
    };
    const row rows[] = {
        {1, ""},          // only the NUL fits
        {5, "abcd"},      // cut inside a %s
        {9, "abcdefg1"},  // cut inside a number
        {64, "abcdefg123"},
    };
    for (const row& r : rows) {
        char out[80];
        std::fill(std::begin(out), std::end(out), '#');
        const std::string_view got = fmt_into(out, r.size, "%s%d", "abcdefg", 123);
        EXPECT_EQ(got, r.expect) << r.size;
        EXPECT_EQ(out[got.size()], '\0') << r.size;
        EXPECT_EQ(out[r.size], '#') << r.size;  // nothing written past the size
    }
    char untouched = '#';
    EXPECT_TRUE(fmt_into(&untouched, 0, "%s", "x").empty());
    EXPECT_EQ(untouched, '#');
}

// A host that switches to a comma locale must not change the output.
TEST(Format, HostLocaleDoesNotMatter)
{
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = previous ? previous : "C";
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8"))
        GTEST_SKIP() << "de_DE.UTF-8 locale not installed";
    const std::string f = ours_f("%f", 1.5);
    const std::string f3 = ours_f("%.3f", -0.25);
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_EQ(f, "1.500000");
    EXPECT_EQ(f3, "-0.250");
}

}  // namespace
}  // namespace kestrin::test
