#include "scan/frame.h"

#include <gtest/gtest.h>

#include <string_view>

using namespace std::literals;
using namespace kestrin::scan;

namespace {

std::string_view prefix(std::string_view whole, std::size_t n) { return whole.substr(0, n); }

// Index of the last ">>" of a literal, computed rather than counted by hand.
std::int32_t last_close(std::string_view text)
{
    return static_cast<std::int32_t>(text.rfind(">>"));
}

struct close_case {
    std::string_view text;
    std::int32_t start;
    std::int32_t stop;
    std::int32_t expected;
};

TEST(FindDictClose, MatchesTheOpeningDictionary)
{
    constexpr std::string_view nested = "<< /A << /B 1 >> /C (x>>y) >>";
    constexpr std::string_view hex = "<< /A <3E3E> >>";
    constexpr std::string_view escaped = "<< /A (x\\) >>) >>";
    const close_case cases[] = {
        {nested, 0, 100, last_close(nested)},          // nested dictionary and ">>" in a string
        {hex, 0, 100, last_close(hex)},                // hex string bytes are single
        {escaped, 0, 100, last_close(escaped)},        // escaped ")" keeps the string open
        {"<< /A 1", 0, 100, -1},                       // never closed
        {"xx << /A 1 >>", 0, 100, 11},                 // opened after start
        {">> << /A 1 >>", 0, 100, -1},                 // depth -1, 0, then -1: no step 1 to 0
        {"<< /A (open >>", 0, 100, -1},                // string open at the limit
        {"<< (x)", 0, 6, -1},                          // string closing right at stop
        {"<< /A 1 >", 0, 100, -1},                     // ">" as the last byte
        {"<< /A 1 <", 0, 100, -1},                     // "<" as the last byte
        {"<< /A 1 >>", 0, 9, -1},                      // stop between the two ">"
        {"<< /A 1 >>", 0, 10, 8},                      // stop right after them
        {"<< /A 1 >>", -4, 100, 8},                    // negative start counts as 0
        {"<< /A 1 >>", 10, 100, -1},                   // start at the limit
        {"<<\0(\0)>>"sv, 0, 100, 6},                   // NUL bytes are ordinary
        {prefix("<< /A 1 >>", 9), 0, 100, -1},         // the last ">" past the view is not seen
    };
    for (const auto& c : cases)
        EXPECT_EQ(find_dict_close(c.text, c.start, c.stop), c.expected)
            << '"' << c.text << "\" [" << c.start << ", " << c.stop << ")";
}

struct stream_case {
    std::string_view text;
    std::int32_t pos;
    std::int32_t expected;
};

TEST(DictStreamKw, FindsStreamKeywordAfterTheDictionary)
{
    const stream_case cases[] = {
        {"<< /Length 5 >>stream", 0, 15},         // directly after ">>"
        {"<< >>\nstream\n", 0, 6},                // after a line feed
        {"<< >> \r\nstream", 0, 8},               // after space, CR, LF
        {"<< >>\0stream"sv, 0, 6},                // NUL is white space
        {"<< >>endstream", 0, -1},                // "endstream" is not "stream"
        {"<< >>\nendobj", 0, -1},                 // no stream
        {"<< >> streamx", 0, -1},                 // not a whole word
        {"<< /A 1", 0, -1},                       // dictionary never closes
        {"1 0 obj << >> stream", 0, 14},          // dictionary opened after pos
        {"<< >>", 0, -1},                         // nothing after it
        {prefix("<< >> stream", 10), 0, -1},      // keyword cut by the view
    };
    for (const auto& c : cases)
        EXPECT_EQ(dict_stream_kw(c.text, c.pos), c.expected) << '"' << c.text << '"';
}

struct type_case {
    std::string_view span;
    std::int32_t start;
    int expected;
};

TEST(ObjType, ReadsTheTopLevelTypeName)
{
    const type_case cases[] = {
        {"<< /Type /Page /Parent 3 0 R >>", 0, 1},                // a page
        {"<< /Type/Pages /Kids [] >>", 0, 2},                     // a page-tree node
        {"<< /Type /PageLabel >>", 0, 0},                         // a longer name stops the search
        {"<< /Type /Pagesx >>", 0, 0},                            // so does this one
        {"<< /Kids << /Type /Pages >> /Type /Page >>", 0, 1},     // nested key at depth 2
        // After a miss the walk keeps its depth: the nested key stays unseen.
        {"<< /Type /Catalog /X << /Type /Page >> >>", 0, 0},
        {"<< /Type 5 0 R /Type /Pages >>", 0, 2},                 // not a name: next key
        {"<< /Type /Annot >>", 0, 0},                             // another type
        {"<< /S (/Type /Page) >>", 0, 0},                         // inside a string
        {"<< /Type /Page", 0, 1},                                 // "Page" ends the span
        {"<< /Type /Pages", 0, 2},                                // "Pages" ends the span
        {"<< /Type /Pag", 0, 0},                                  // cut short
        {"<< /Type\n/Page\0>>"sv, 0, 1},                          // NUL after the name
        {"<< /Type /Page#20 >>", 0, 1},                           // "#" is not alphanumeric
        {"1 0 obj\n<< /Type /Pages >>", 8, 2},                    // start at the dictionary
        {"<< /Type /Page >>", -1, 0},                             // no dictionary
        {prefix("<< /Type /PageLabel >>", 14), 0, 1},             // "Label" is past the view
        {"<< /Type /Page- >>", 0, 1},                             // "-" continues names only
        {"/Page << /Type /X >>", 6, 0},                           // "/Page" before the start
        {"<< /Type /Page >>", 9, 0},                              // start past the key
        {"<< /A (/Pages) /Type /Catalog >>", 0, 0},               // "/Page" bytes, no page type
    };
    for (const auto& c : cases)
        EXPECT_EQ(obj_type(c.span, c.start), c.expected) << '"' << c.span << '"';
}

struct length_case {
    std::string_view text;
    std::int32_t stop;
    std::int32_t direct;
    std::int32_t ref;
};

TEST(ParseLength, DirectOrIndirectLength)
{
    const length_case cases[] = {
        {"<< /Length 120 >>", 100, 120, -1},                // direct
        {"<< /Length 7 0 R >>", 100, -1, 7},                // indirect
        {"<< /Length [ 10 20 ] >>", 100, 20, -1},           // array: its last integer
        {"<< /Length[10 20] >>", 100, 20, -1},              // delimiter right after the key
        {"<< /Length [ -1 x ] /Length 4 >>", 100, 4, -1},   // array without a usable integer
        {"<< /Length -3 /Length 9 >>", 100, 9, -1},         // negative: next occurrence
        {"<< /Length /Foo >>", 100, -1, -1},                // a name is no length
        {"<< /Length 5 0 Rx >>", 100, 5, -1},               // "Rx" is no reference mark
        {"<< /Length 5 0 obj", 100, 5, -1},                 // neither is "obj"
        {"<< /Length 5", 100, 5, -1},                       // number ends the range
        {"<< /Length 7 0 R", 100, -1, 7},                   // "R" ends the range
        {"<< /Length", 100, -1, -1},                        // key ends the range
        {"<< /Length    ", 100, -1, -1},                    // only white space follows
        {"<< /Lengths 5 /Length 6 >>", 100, 6, -1},         // longer key passed over
        {"<< /Length 9 /Length 3 >>", 100, 9, -1},          // the first occurrence wins
        {"<< /Length (x) /Length 3 >>", 100, 3, -1},        // string value: next occurrence
        {"<< /Length 4294967297 >>", 100, 1, -1},           // wraps in 32 bits
        {"<< /Length 2147483648 >>", 100, -1, -1},          // wraps negative: no length
        {"<< /Length\0 8 >>"sv, 100, 8, -1},                // NUL is white space
        {"<< /Length 12 >>", 12, 1, -1},                    // stop inside the number
        {"<< /Length 7 0 R >>", 15, 7, -1},                 // stop hides the "R"
        {"<< /Length 5 >>", 0, -1, -1},                     // empty range
    };
    for (const auto& c : cases) {
        std::int32_t direct = 99;
        std::int32_t ref = 99;
        parse_length(c.text, 0, c.stop, direct, ref);
        EXPECT_EQ(direct, c.direct) << '"' << c.text << "\" stop " << c.stop;
        EXPECT_EQ(ref, c.ref) << '"' << c.text << "\" stop " << c.stop;
    }
}

TEST(ParseLength, StartsAtTheGivenPosition)
{
    constexpr std::string_view text = "<< /Length 3 >> << /Length 8 >>";
    std::int32_t direct = -1;
    std::int32_t ref = -1;
    parse_length(text, 16, 100, direct, ref);
    EXPECT_EQ(direct, 8);
    EXPECT_EQ(ref, -1);
}

}  // namespace
