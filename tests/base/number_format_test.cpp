// Numbers as the output writes them: printf's digits in the C locale after the clamp, whatever the
// host's locale.
#include <gtest/gtest.h>

#include <cfloat>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>
#include <string>

#include "base/append.h"
#include "base/number_format.h"

namespace kestrin::test {
namespace {

using base::fixed3;
using base::fixed6;
using base::to_text;

std::string printf_text(const char* format, double v)
{
    char out[512];
    std::snprintf(out, sizeof out, format, v);
    return out;
}

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

struct fixed_case {
    double in;
    const char* six;    // fixed6, as "%f"
    const char* three;  // fixed3, as "%.3f"
};

TEST(Format, FixedWritesPrintfDigits)
{
    const fixed_case cases[] = {
        {0.0, "0.000000", "0.000"},
        {-0.0, "-0.000000", "-0.000"},                  // the sign of zero is kept
        {-1e-7, "-0.000000", "-0.000"},                 // and of what rounds to zero
        {0.5, "0.500000", "0.500"},
        {-0.5, "-0.500000", "-0.500"},
        {0.0078125, "0.007812", "0.008"},               // exact tie at six digits: to even, down
        {0.0234375, "0.023438", "0.023"},               // exact tie at six digits: to even, up
        {0.0625, "0.062500", "0.062"},                  // exact tie at three digits: down
        {0.1875, "0.187500", "0.188"},                  // exact tie at three digits: up
        {0.0000005, "0.000000", "0.000"},               // just below a half: the binary value rules
        {0.0000025, "0.000003", "0.000"},               // just above a half
        {0.0005, "0.000500", "0.001"},
        {2.675, "2.675000", "2.675"},                   // 2.67499999... in binary
        {0.9999995, "1.000000", "1.000"},               // carries into the integer part
        {999.9995, "999.999500", "1000.000"},
        {0.95, "0.950000", "0.950"},
        {11.0, "11.000000", "11.000"},                  // the font size
        {612.0, "612.000000", "612.000"},
        {123456789.123456789, "123456789.123457", "123456789.123"},
        {-987654.3210987, "-987654.321099", "-987654.321"},
        {999999999.99999, "999999999.999990", "1000000000.000"},
        {999999999.9999995, "1000000000.000000", "1000000000.000"},  // rounds up to the clamp
        {5e-324, "0.000000", "0.000"},                  // the smallest subnormal
        {DBL_MIN, "0.000000", "0.000"},
        {1e9, "1000000000.000000", "1000000000.000"},
        {-1e9, "-1000000000.000000", "-1000000000.000"},
        {1e12, "1000000000.000000", "1000000000.000"},  // past the clamp: cut to 1e9
        {-1e300, "-1000000000.000000", "-1000000000.000"},
        {DBL_MAX, "1000000000.000000", "1000000000.000"},
        {inf, "0.000000", "0.000"},                     // never "inf" or "nan" in a PDF
        {-inf, "0.000000", "0.000"},
        {nan, "0.000000", "0.000"},
    };
    for (const fixed_case& c : cases) {
        EXPECT_EQ(to_text(fixed6(c.in)), c.six) << c.in;
        EXPECT_EQ(to_text(fixed3(c.in)), c.three) << c.in;
    }
}

// Inside the clamp the digits are printf's own.
TEST(Format, RandomDoublesEqualPrintf)
{
    std::mt19937_64 rng(31337);
    std::uniform_real_distribution<double> mantissa(-10.0, 10.0);
    std::uniform_int_distribution<int> exponent(-12, 8);
    for (int i = 0; i < 20000; ++i) {
        const double v = mantissa(rng) * std::pow(10.0, exponent(rng));
        ASSERT_EQ(to_text(fixed6(v)), printf_text("%f", v)) << v;
        ASSERT_EQ(to_text(fixed3(v)), printf_text("%.3f", v)) << v;
    }
}

// Halves, quarters, ... of integers: exact decimal ties at every digit count write_fixed takes,
// where rounding must go to the even digit as printf's does.
TEST(Format, DyadicTiesEqualPrintf)
{
    std::mt19937_64 rng(4242);
    std::uniform_int_distribution<long> numerator(-2000000000L, 2000000000L);
    std::uniform_int_distribution<int> shift(1, 30);
    for (int i = 0; i < 20000; ++i) {
        const double v = std::ldexp(static_cast<double>(numerator(rng)), -shift(rng));
        for (int digits = 0; digits <= base::max_fixed_digits; ++digits) {
            char room[base::fixed_room];
            char* const end = base::write_fixed(room, v, digits);
            const std::string ours(room, end);
            char format[8];
            std::snprintf(format, sizeof format, "%%.%df", digits);
            ASSERT_EQ(ours, printf_text(format, v)) << digits << " " << v;
        }
    }
}

struct integer_case {
    std::string text;
    const char* expected;
};

TEST(Format, IntegersAsPrintfWritesThem)
{
    const integer_case cases[] = {
        {to_text(0), "0"},
        {to_text(-1), "-1"},
        {to_text(INT32_MAX), "2147483647"},
        {to_text(INT32_MIN), "-2147483648"},
        {to_text(INT64_MIN), "-9223372036854775808"},
        {to_text(UINT64_MAX), "18446744073709551615"},
        {to_text(std::int8_t{-128}), "-128"},      // a small integer is a number, not a byte
        {to_text(std::uint8_t{255}), "255"},
        {to_text(12345678901L), "12345678901"},
    };
    for (const integer_case& c : cases) EXPECT_EQ(c.text, c.expected);
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

// A host that switches to a comma locale must not change the output.
TEST(Format, HostLocaleDoesNotMatter)
{
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = previous ? previous : "C";
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8"))
        GTEST_SKIP() << "de_DE.UTF-8 locale not installed";
    const std::string f = to_text(fixed6(1.5));
    const std::string f3 = to_text(fixed3(-0.25));
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_EQ(f, "1.500000");
    EXPECT_EQ(f3, "-0.250");
}

}  // namespace
}  // namespace kestrin::test
