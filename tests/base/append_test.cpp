// The typed appender: pieces in order, into either output, whole whatever their length.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

#include "base/append.h"
#include "base/byte_buffer.h"

namespace kestrin::test {
namespace {

using base::fixed3;
using base::fixed6;
using base::to_text;

// Pieces of a kind the appender does not write are refused when the call is compiled.
template <typename T>
concept appendable = requires(std::string& out, const T& piece) { base::append(out, piece); };
static_assert(appendable<char> && appendable<long> && appendable<std::string> && appendable<const char*>);
static_assert(!appendable<double> && !appendable<float> && !appendable<bool>);
static_assert(!appendable<const int*> && !appendable<std::nullptr_t> && !appendable<wchar_t>);

// A bounded text has exactly the room of its pieces: the literal's bytes, a char, 11 for int32.
static_assert(std::is_same_v<decltype(base::bounded_text("ab", 'c', std::int32_t{1})), base::bounded_text<14>>);

struct append_case {
    const char* what;
    std::string text;
    std::string expected;
};

TEST(Append, WritesEachPieceInOrder)
{
    const std::string kept = "kept";
    const append_case cases[] = {
        {"a drawing operator", to_text("q ", fixed6(1.5), " 0 0 ", fixed6(-2), " cm /Fl", 7, " Do Q\n"),
         "q 1.500000 0 0 -2.000000 cm /Fl7 Do Q\n"},
        {"colours", to_text(fixed3(1), ' ', fixed3(0.25), ' ', fixed3(0.0), " rg"), "1.000 0.250 0.000 rg"},
        {"text of every kind", to_text(std::string_view("a"), kept, static_cast<const char*>("c"), '!'),
         "akeptc!"},
        {"an empty literal", to_text("", 1, ""), "1"},
        {"a literal with a NUL ends there", to_text("ab\0cd", 'x'), "abx"},
        {"the longest numbers", to_text(fixed6(-1e300), ' ', INT64_MIN),
         "-1000000000.000000 -9223372036854775808"},
    };
    for (const append_case& c : cases) EXPECT_EQ(c.text, c.expected) << c.what;
}

TEST(Append, BufferAndStringReceiveTheSameBytes)
{
    base::byte_buffer buffer;
    std::string text = "x";
    buffer.append("x");
    const std::string long_text(3000, 'w');
    base::append(buffer, " /Length ", std::uint64_t{42}, " >>", long_text, fixed6(0.5));
    base::append(text, " /Length ", std::uint64_t{42}, " >>", long_text, fixed6(0.5));
    EXPECT_EQ(buffer.view(), text);
    EXPECT_EQ(text, "x /Length 42 >>" + long_text + "0.500000");
    EXPECT_EQ(buffer.data[buffer.len], '\0');  // the buffer stays NUL-terminated
}

// Text is never cut, however long: a text object must reach its ") Tj ET".
TEST(Append, LongTextGoesInWhole)
{
    base::byte_buffer b;
    const std::string long_text(5000, 'w');
    base::append(b, "(", long_text, ") Tj ET\n");
    EXPECT_EQ(b.view(), "(" + long_text + ") Tj ET\n");
}

// Appending the buffer's own bytes: the growth that moves them must not lose them.
TEST(Append, OwnBytesSurviveAGrowth)
{
    base::byte_buffer b;
    const std::string first(700 * 1024, 'a');
    b.append(first);
    const std::uint64_t cap = b.cap;
    base::append(b, b.view(), '!');
    EXPECT_GT(b.cap, cap);
    EXPECT_EQ(b.view(), first + first + "!");
}

TEST(Append, BoundedTextHoldsItsPieces)
{
    const base::bounded_text length(" /Length ", INT32_MIN);
    EXPECT_EQ(length.view(), " /Length -2147483648");
    const base::bounded_text widest(fixed6(-1e9));
    EXPECT_EQ(widest.view().size(), base::fixed_room);
}

}  // namespace
}  // namespace kestrin::test
