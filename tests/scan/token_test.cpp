#include "scan/token.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <string>
#include <string_view>
#include <vector>

using namespace std::literals;
using namespace kestrin::scan;

namespace {

// A view of the first n bytes of whole: the bytes after it would change the answer if read.
std::string_view prefix(std::string_view whole, std::size_t n) { return whole.substr(0, n); }

struct pos_case {
    std::string_view text;
    std::int32_t pos;
    std::int32_t expected;
};

TEST(SkipWs, StopsAtFirstNonWhiteByte)
{
    const pos_case cases[] = {
        {" \t\r\n\fx", 0, 5},      // every PDF white space byte but NUL
        {"\0\0x"sv, 0, 2},          // NUL is white space
        {"\vx", 0, 0},             // vertical tab is not
        {"   ", 0, 3},             // only white space: the limit
        {"abc", 3, 3},             // at the limit
        {"abc", 5, 5},             // past the end: unchanged
        {" a", -1, -1},            // negative: unchanged, nothing read
        {"a  b", 1, 3},            // from the middle
        {prefix("  x", 2), 0, 2},  // the x after the view is not seen
    };
    for (const auto& c : cases)
        EXPECT_EQ(skip_ws(c.text, c.pos), c.expected) << '"' << c.text << "\" at " << c.pos;
}

TEST(SkipWsAndComments, StopsAtTheFirstByteOfAToken)
{
    const pos_case cases[] = {
        {" % note\n x", 0, 9},          // a comment runs to its line end
        {"%a\r%b\r\n/K", 0, 7},         // comments one after another, CR and CR LF
        {"% to the limit", 0, 14},       // a comment without a line end
        {"x % y", 0, 0},                 // a token first: unchanged
        {"x % y", 1, 5},
        {"(%) x", 0, 0},                 // "%" inside a string is not looked at from outside it
        {" x", -1, -1},                  // negative: unchanged
        {prefix(" %ab\ncd", 3), 0, 3},  // the line end past the view is not seen
    };
    for (const auto& c : cases)
        EXPECT_EQ(skip_ws_and_comments(c.text, c.pos), c.expected) << '"' << c.text << "\" at " << c.pos;
}

struct kw_case {
    std::string_view text;
    std::int32_t start;
    std::string_view kw;
    std::int32_t expected;
};

TEST(FindKw, FindsWholeWordsOnly)
{
    const kw_case cases[] = {
        {"%startxref", 0, "startxref", 1},              // after a comment sign
        {"_startxref 5", 0, "startxref", 1},            // "_" is not alphanumeric
        {"xstartxref", 0, "startxref", -1},             // letter before
        {"startxref1", 0, "startxref", -1},             // digit after
        {"xstartxref startxref", 0, "startxref", 11},   // rejected candidate, then a match
        {"ssssstream s stream", 0, "stream", 13},       // many first-byte candidates
        {"endobj obj", 0, "obj", 7},                    // "obj" inside "endobj" is passed over
        {"1 0 obj", 0, "obj", 4},                       // last bytes of the text
        {"obj", -5, "obj", 0},                          // negative start counts as 0
        {"obj obj", 1, "obj", 4},                       // start after the first one
        {"obj", 3, "obj", -1},                          // start at the limit
        {"obj", 9, "obj", -1},                          // start past the end
        {"ob", 0, "obj", -1},                           // keyword longer than the text
        {"\0obj\0"sv, 0, "obj", 1},                     // NUL bounds a word
        {"\xE9obj\xFF", 0, "obj", 1},                   // high bytes are not alphanumeric
        {"obj", 0, "", -1},                             // an empty keyword never counts
        {prefix("streamx", 6), 0, "stream", 0},         // the x past the limit is not seen
        {prefix("endstream", 6), 0, "stream", -1},      // keyword cut by the limit
        {prefix("a stream", 7), 0, "stream", -1},       // cut one byte short
    };
    for (const auto& c : cases)
        EXPECT_EQ(find_kw(c.text, c.start, c.kw), c.expected)
            << '"' << c.text << "\" kw " << c.kw << " from " << c.start;
}

TEST(KwAt, TestsExactlyOnePosition)
{
    const kw_case cases[] = {
        {"endobj", 3, "obj", 0},                // letter before
        {"1 0 obj", 4, "obj", 1},               // last three bytes
        {"objx", 0, "obj", 0},                  // letter after
        {"obj1", 0, "obj", 0},                  // digit after
        {"obj]", 0, "obj", 1},                  // delimiter after
        {"obj", -1, "obj", 0},                  // negative position
        {"obj", 1, "obj", 0},                   // no room for the keyword
        {"obj", 7, "obj", 0},                   // past the end
        {prefix("obj", 2), 0, "obj", 0},        // cut by the limit
        {prefix("objx", 3), 0, "obj", 1},       // the x past the limit is not seen
        {"\0obj"sv, 1, "obj", 1},               // NUL before
        {" obj", 0, "obj", 0},                  // not at that position
    };
    for (const auto& c : cases)
        EXPECT_EQ(kw_at(c.text, c.start, c.kw), c.expected != 0)
            << '"' << c.text << "\" at " << c.start;
}

struct name_case {
    std::string_view text;
    std::int32_t start;
    std::int32_t stop;
    std::string_view name;
    std::int32_t expected;
};

TEST(FindName, MatchesKeyNotFollowedByNameContinuation)
{
    const name_case cases[] = {
        {"/Root 5 0 R", 0, 100, "Root", 0},            // the slash index
        {"/RootX", 0, 100, "Root", -1},                // letter continues the name
        {"/Root_a", 0, 100, "Root", -1},               // "_" continues it
        {"/Root+1", 0, 100, "Root", -1},               // "+" continues it
        {"/Root-1", 0, 100, "Root", -1},               // "-" continues it
        {"/RootX", 0, 5, "Root", 0},                   // range ends right after the name
        {"/Root", 0, 4, "Root", -1},                   // range cuts the name
        {"/Page/Foo", 0, 100, "Page", 0},              // "/" ends a name
        {"/Page>>", 0, 100, "Page", 0},                // ">" ends a name
        {"/Page.x", 0, 100, "Page", 0},                // "." is not a continuation byte
        {"/Page#20", 0, 100, "Page", 0},               // nor is "#"
        {"/Pages /Page", 0, 100, "Page", 7},           // the longer name is passed over
        {"/Page_2", 0, 100, "Page", -1},               // "_2" continues it
        {"/Root /Root", 1, 100, "Root", 6},            // start past the first key
        {"/Root", -3, 100, "Root", 0},                 // negative start counts as 0
        {"/Root", 0, -1, "Root", -1},                  // negative stop: empty range
        {"/Root", 5, 100, "Root", -1},                 // start at the limit
        {"<< /A << /Root 1 >> >>", 0, 100, "Root", 9}, // nesting is not respected
        {"(/Root)", 0, 100, "Root", 1},                // nor are strings
        {"\0/Root\0"sv, 0, 100, "Root", 1},            // NUL around the key
        {"//Root", 0, 100, "Root", 1},                 // doubled slash
        {"Root /Root", 0, 100, "Root", 5},             // a bare word is no key
        {prefix("/RootX", 5), 0, 100, "Root", 0},      // the X past the view is not seen
    };
    for (const auto& c : cases)
        EXPECT_EQ(find_key_anywhere(c.text, c.start, c.stop, c.name), c.expected)
            << '"' << c.text << "\" [" << c.start << ", " << c.stop << ")";
}

TEST(FindNameTop, OnlyTopLevelKeysOutsideStringsAndComments)
{
    constexpr std::string_view nested = "<< /A << /Type /X >> /Type /Page >>";
    constexpr std::string_view in_string = "<< /S (/Type) /Type /Page >>";
    constexpr std::string_view escaped = "<< /S (a\\) /Type) /Type /P >>";
    constexpr std::string_view comment = "<< % /Type\n /Type /Page >>";
    constexpr std::string_view hex = "<< /A </Type> /Type /X >>";
    const name_case cases[] = {
        {nested, 0, 100, "Type", 21},                  // nested key at depth 2 passed over
        {in_string, 0, 100, "Type", 14},               // key inside a string passed over
        {escaped, 0, 100, "Type", 18},                 // escaped ")" does not end the string
        {comment, 0, 100, "Type", 12},                 // key inside a comment passed over
        {hex, 0, 100, "Type", 14},                     // hex strings are skipped whole
        {"<< /Types /Type >>", 0, 100, "Type", 10},    // longer name passed over
        {"/Type", 0, 100, "Type", 0},                  // depth 0 counts
        {"<< /K [/Type] >>", 0, 100, "Type", 7},       // brackets are not tracked
        {">> >> << << /Type", 0, 100, "Type", -1},     // depth never drops below 0
        {"<< % /Type", 0, 100, "Type", -1},            // comment runs to the limit
        {"<< (abc /Type", 0, 100, "Type", -1},         // string open at the limit
        {"<< /A (", 0, 100, "Type", -1},               // "(" as the last byte
        {"<< /A (\\", 0, 100, "Type", -1},             // backslash without a next byte
        {"<< /A <", 0, 100, "Type", -1},               // "<" as the last byte
        {"<< /A <12 /Type", 0, 100, "Type", -1},       // hex string without ">"
        {"<< /A > /Type", 0, 100, "Type", 8},          // single ">" is skipped
        {"<< /A >", 0, 100, "Type", -1},               // ">" as the last byte
        {"<< /Type /Page >>", 0, 7, "Type", -1},       // stop cuts the key
        {"<< /Type /Page >>", 0, 8, "Type", 3},        // stop right after the key
        {"<< /Type /Page >>", 3, 100, "Type", 3},      // start on the key
        {"<< /Type\0/Page"sv, 0, 100, "Type", 3},      // NUL after the key
        {prefix("<< /Typex", 8), 0, 100, "Type", 3},   // the x past the view is not seen
    };
    for (const auto& c : cases)
        EXPECT_EQ(find_top_level_key(c.text, c.start, c.stop, c.name), c.expected)
            << '"' << c.text << "\" [" << c.start << ", " << c.stop << ")";
}

// One walk for several keys gives, for each key, what a walk for that key alone gives.
TEST(FindNamesTop, AgreesWithOneWalkPerKey)
{
    constexpr std::array<std::string_view, 4> names{"Type", "A", "S", "Types"};
    const std::string_view texts[] = {
        "<< /A << /Type /X >> /Type /Page >>",        // nested keys at depth 2
        "<< /S (/Type) /Type /Page /A 1 >>",          // key inside a string
        "<< % /Type\n /Type /Page /S /A >>",          // key inside a comment; /A as a value
        "<< /A </Type> /Type /X /Types 2 >>",         // hex string skipped whole
        ">> >> << << /Type /A",                       // depth never drops below 0
        "<< /S (abc /Type",                           // string open at the limit
        "<< /A <12 /Type",                            // hex string without ">"
        "<< /Type\0/Page"sv,                          // NUL after the key
        "/Type /A /S /Types",                         // every key at depth 0
        "",                                           // nothing to walk
    };
    for (std::string_view text : texts) {
        for (std::int32_t start : {0, 3, 7}) {
            for (std::int32_t stop : {4, 12, 100}) {
                std::array<std::int32_t, names.size()> found{};
                find_top_level_keys(text, start, stop, names, found);
                for (std::size_t i = 0; i < names.size(); ++i)
                    EXPECT_EQ(found[i], find_top_level_key(text, start, stop, names[i]))
                        << '"' << text << "\" " << names[i] << " [" << start << ", " << stop << ")";
            }
        }
    }
}

TEST(FindChar, FirstByteFromTheStart)
{
    const pos_case cases[] = {
        {"ab/c/", 0, 2},     // the first one
        {"ab/c/", 3, 4},     // from the start on
        {"ab/c/", -5, 2},    // negative start counts as 0
        {"abc", 0, -1},      // none
        {"ab/", 3, -1},      // start at the limit
        {"ab/", 9, -1},      // start past the limit
        {"", 0, -1},         // empty text
    };
    for (const auto& c : cases)
        EXPECT_EQ(find_char(c.text, c.pos, '/'), c.expected) << '"' << c.text << "\" " << c.pos;
    EXPECT_EQ(find_char(prefix("ab/", 2), 0, '/'), -1);  // the byte past the view is not seen
}

struct int_case {
    std::string_view text;
    std::int32_t pos;
    std::int32_t value;
    std::int32_t new_pos;
};

// 10^5000 is a multiple of 2^32, so it wraps to 0 after five thousand digits.
const std::string huge_power_of_ten = "1" + std::string(5000, '0');

TEST(ParseIntAt, ReadsDecimalAndAdvancesOnlyOnSuccess)
{
    const int_case cases[] = {
        {"  -12 0 R", 0, -12, 5},            // white space, sign, stop after the digits
        {"+5", 0, -1, 0},                    // "+" is refused
        {"4294967297", 0, 1, 10},            // 2^32 + 1 wraps to 1
        {"2147483648", 0, INT_MIN, 10},      // 2^31 wraps to the lowest value
        {"-2147483648", 0, INT_MIN, 11},     // lowest value, negated without overflow
        {"-4294967297", 0, -1, 11},          // wraps, then negated: -1 yet pos moves
        {huge_power_of_ten, 0, 0, 5001},     // thousands of digits
        {"007x", 0, 7, 3},                   // leading zeros
        {"1.5", 0, 1, 1},                    // stops at "."
        {"-", 0, -1, 0},                     // sign at the limit
        {"- 5", 0, -1, 0},                   // sign not followed by a digit
        {"   ", 0, -1, 0},                   // only white space
        {"", 0, -1, 0},                      // empty text
        {"12", 2, -1, 2},                    // at the limit
        {"12", 5, -1, 5},                    // past the end
        {"12", -1, -1, -1},                  // negative position
        {"\0\0 7"sv, 0, 7, 4},               // NUL is white space
        {"\v7", 0, -1, 0},                   // vertical tab is not
        {"x 12 34", 4, 34, 7},               // from the middle
        {prefix("123", 2), 0, 12, 2},        // the 3 past the view is not read
    };
    for (const auto& c : cases) {
        std::int32_t pos = c.pos;
        EXPECT_EQ(parse_int_at(c.text, pos), c.value) << '"' << c.text.substr(0, 20) << '"';
        EXPECT_EQ(pos, c.new_pos) << '"' << c.text.substr(0, 20) << '"';
    }
}

TEST(ReadIntAdv, AlwaysMovesBelowTheLimit)
{
    const int_case cases[] = {
        {"x5", 0, -1, 1},                    // non-digit: one past it
        {"R", 0, -1, 0},                     // stays on an R
        {" +R", 0, -1, 2},                   // after a sign as well
        {"+7", 0, 7, 2},                     // "+" accepted
        {"-7 ", 0, -7, 2},                   // "-" negates
        {"   ", 0, -1, 3},                   // only white space: to the limit
        {"  +", 0, -1, 3},                   // sign as the last byte: after it
        {" -x", 0, -1, 3},                   // sign then non-digit: past that byte
        {"12 34", 2, 34, 5},                 // second number of a pair
        {"4294967297", 0, 1, 10},            // wraps like parse_int_at
        {huge_power_of_ten, 0, 0, 5001},     // thousands of digits
        {"5", 1, -1, 1},                     // at the limit: unchanged
        {"5", 9, -1, 9},                     // past the end: unchanged
        {"5", -2, -1, -2},                   // negative: unchanged
        {"\0 9"sv, 0, 9, 3},                 // NUL is white space
        {prefix("12", 1), 0, 1, 1},          // the 2 past the view is not read
    };
    for (const auto& c : cases) {
        std::int32_t pos = c.pos;
        EXPECT_EQ(read_int_adv(c.text, pos), c.value) << '"' << c.text.substr(0, 20) << '"';
        EXPECT_EQ(pos, c.new_pos) << '"' << c.text.substr(0, 20) << '"';
    }
}

TEST(SkipLiteralString, EndsAfterTheBalancingParen)
{
    const pos_case cases[] = {
        {"a)b", 0, 2},               // plain
        {"a(b)c)", 0, 6},            // nested pair
        {"a\\)b)", 0, 5},            // escaped ")"
        {"a\\\\)", 0, 4},            // escaped backslash, then the end
        {"abc", 0, -1},              // open at the limit
        {"a\\", 0, -1},              // backslash as the last byte
        {"\0)"sv, 0, 2},             // NUL is an ordinary byte
        {prefix("ab)", 2), 0, -1},   // the ")" past the view is not seen
        {")", 1, -1},                // at the limit
    };
    for (const auto& c : cases)
        EXPECT_EQ(skip_literal_string(c.text, c.pos), c.expected) << '"' << c.text << '"';
}

}  // namespace

namespace {

TEST(ReadName, DecodesAndEndsAtTheFirstNonRegularByte)
{
    const struct {
        std::string_view text;
        std::int32_t slash;
        std::string name;
        std::int32_t end;
    } cases[] = {
        {"/GSa 5 0 R", 0, "GSa", 4},
        {"/G#53a/x", 0, "GSa", 6},       // a delimiter ends it
        {"<</Fl1>>", 2, "Fl1", 6},       // so does ">"
        {"/a.b-c_d", 0, "a.b-c_d", 8},   // at the end of the text
        {"/", 0, "", 1},                 // the empty name
        {"x /y", 2, "y", 4},
    };
    for (const auto& c : cases) {
        std::int32_t end = -1;
        EXPECT_EQ(read_name(c.text, c.slash, end), c.name) << c.text;
        EXPECT_EQ(end, c.end) << c.text;
    }
}

TEST(TopLevelNames, KeysOfTheDictionaryOnly)
{
    using names = std::vector<std::string>;
    const struct {
        std::string_view text;
        std::int32_t start;
        names expected;
    } cases[] = {
        {"<< /GSa 5 0 R /GS1 6 0 R >>", 0, {"GSa", "GS1"}},
        {"<</G#53a 5 0 R>>", 0, {"GSa"}},                                   // escapes decoded
        {"<< /A << /Inner 1 >> /B (/InString) >>", 0, {"A", "B"}},          // nested values do not count
        {"<< /B [/InArray] >>", 0, {"B", "InArray"}},                        // names in arrays do
        {"<< /A <2F49> /B %/InComment\n 1 >>", 0, {"A", "B"}},               // hex strings, comments
        {"<< /Type /Font >>", 0, {"Type", "Font"}},                          // a name value counts too
        {"<< /A 1 >> /After 2", 0, {"A"}},                                   // nothing past its ">>"
        {"x << /A 1 >>", 1, {"A"}},                                          // starting before "<<"
        {"<< /A 1 /B", 0, {"A", "B"}},                                       // never closed
        {"<< >>", 0, {}},
        {"", 0, {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(top_level_names(c.text, c.start, static_cast<std::int32_t>(c.text.size())), c.expected) << c.text;
    // stop cuts the text
    EXPECT_EQ(top_level_names("<< /A 1 /B 2 >>", 0, 8), names{"A"});
}

}  // namespace
