#include "scan/value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

using namespace std::literals;
using namespace kestrin::scan;

namespace {

std::string_view prefix(std::string_view whole, std::size_t n) { return whole.substr(0, n); }

std::int32_t size_of(std::string_view text) { return static_cast<std::int32_t>(text.size()); }

const std::string many_nines(5000, '9');

struct skip_case {
    std::string_view text;
    std::int32_t pos;
    std::int32_t expected;
};

TEST(SkipPdfValue, EndsJustPastTheValue)
{
    constexpr std::string_view dict = "<< /A (x >> y) /B << /C 1 >> >>";
    constexpr std::string_view array = "[1 [2] (]) <</A 1>>] x";
    const std::string long_number = many_nines + " ";
    const skip_case cases[] = {
        {dict, 0, size_of(dict)},              // ">>" in a string and a nested dictionary
        {"12 0 R /Next", 0, 6},                // reference
        {"12 0 Rx", 0, 2},                     // "Rx" is no reference
        {"12 0 obj", 0, 2},                    // neither is an object header
        {"12 0R]", 0, 5},                      // no space needed before "R"
        {"12 0 R", 0, 6},                      // "R" as the last byte
        {"12\f0 R", 0, 2},                     // form feed does not join a reference
        {"12\0 0 R"sv, 0, 7},                  // NUL does
        {"12 0 \x01R", 0, 2},                  // a control byte ends the look-ahead
        {"(a\\)b)", 0, 6},                     // escaped ")"
        {"(a(b)c", 0, -1},                     // unbalanced
        {"()", 0, 2},                          // empty string
        {"(", 0, -1},                          // "(" as the last byte
        {"<48656C6C6F>", 0, 12},               // hex string
        {"<4", 0, -1},                         // hex string without ">"
        {"<", 0, -1},                          // "<" as the last byte
        {"<<>>", 0, 4},                        // empty dictionary
        {"<< /A >", 0, -1},                    // dictionary cut short
        {array, 0, size_of(array) - 2},        // nested array, "]" in a string, dictionary
        {"[1 2", 0, -1},                       // open array
        {"[(", 0, -1},                         // "(" as the last byte of an array
        {"[<", 0, -1},                         // "<" as the last byte of an array
        {"/Name#20x", 0, 5},                   // "#" ends a name
        {"/", 0, 1},                           // empty name
        {"true", 0, 4},                        // keyword to the limit
        {"null]", 0, 4},                       // keyword before a delimiter
        {".5 ", 0, 2},                         // number starting with "."
        {"+", 0, 1},                           // sign as the last byte
        {"-5", 0, 2},                          // signed number
        {"1.5.6", 0, 3},                       // one "." only
        {long_number, 0, 5000},                // thousands of digits
        {"{", 0, -1},                          // no value starts with "{"
        {"", 0, -1},                           // empty text
        {"x", 1, -1},                          // at the limit
        {"x", -1, -1},                         // negative position
        {"a /B", 2, 4},                        // from the middle
        {prefix("12 0 Rx", 6), 0, 6},          // the x past the view is not seen
        {prefix("<</A 1>>", 7), 0, -1},        // the last ">" past the view is not seen
    };
    for (const auto& c : cases)
        EXPECT_EQ(skip_pdf_value(c.text, c.pos), c.expected) << '"' << c.text.substr(0, 40) << '"';
}

struct copy_case {
    std::string_view text;
    std::int32_t pos;
    std::optional<std::string> expected;
};

TEST(DictTextAt, CopiesTheWholeDictionary)
{
    const copy_case cases[] = {
        {"<</A 1>> trailing", 0, "<</A 1>>"},                // exactly the dictionary
        {"x<</A<</B 2>>>>y", 1, "<</A<</B 2>>>>"},           // nested, from the middle
        {"<</S (>>)>>", 0, "<</S (>>)>>"},                   // ">>" inside a string
        {"<</A (\0)>>"sv, 0, "<</A (\0)>>"s},                 // NUL copied as it is
        {"<</A 1", 0, std::nullopt},                         // not closed
        {"<x", 0, std::nullopt},                             // not a dictionary
        {"<", 0, std::nullopt},                              // "<" as the last byte
        {"<<>>", -1, std::nullopt},                          // negative position
        {"<<>>", 4, std::nullopt},                           // at the limit
        {prefix("<</A 1>>", 7), 0, std::nullopt},            // the last ">" past the view
    };
    for (const auto& c : cases)
        EXPECT_EQ(dict_text_at(c.text, c.pos), c.expected) << '"' << c.text << '"';
}

struct name_value_case {
    std::string_view text;
    std::int32_t start;
    std::optional<std::string> expected;
};

TEST(DictNameValue, ReadsTheFirstNameValueOfTheKey)
{
    const name_value_case cases[] = {
        {"/AS /Off", 0, "Off"},                    // white space before the value
        {"/AS/Yes>>", 0, "Yes"},                   // no white space, ">" ends the name
        {"/AS (x) /AS /On", 0, "On"},              // first occurrence has no name value
        {"/ASX /On", 0, std::nullopt},             // longer key only
        {"/AS /", 0, ""},                          // "/" as the last byte
        {"/AS", 0, std::nullopt},                  // key at the limit
        {"/AS \x01/On", 0, std::nullopt},          // control byte before the value
        {"/AS /On#20x]", 0, "On x"},               // escapes are decoded
        {"/AS /#4Fn", 0, "On"},                    // an escaped first byte
        {"/AS /A\0B"sv, 0, "A"},                   // NUL ends the name
        {"/AS /A(B", 0, "A"},                      // "(" ends the name
        {"/AS\n/N", 0, "N"},                       // line feed before the value
        {"<< /MK << /AS /No >> /AS /On >>", 0, "On"},  // a nested dictionary's key is not read
        {"<< /T (/AS /No) /AS /On >>", 0, "On"},   // nor a string's text
        {"<< /Opt [/AS /No] /AS /On >>", 0, "On"}, // nor an array's names
        {"<< /X /AS /AS /On >>", 0, "On"},         // a name value is no key
        {"<< /A << >> >> /AS /On", 0, std::nullopt},  // past the dictionary's end
        {"/AS /\xE9t\xE9", 0, "\xE9t\xE9"},        // high bytes belong to the name
        {prefix("/AS /Off", 7), 0, "Of"},          // the f past the view is not read
    };
    for (const auto& c : cases)
        EXPECT_EQ(dict_name_value(c.text, c.start, "AS"), c.expected) << '"' << c.text << '"';
}

struct array_case {
    std::string_view text;
    std::size_t max;
    std::int32_t count;
    std::vector<double> values;
};

TEST(ArrayNumbers, ReadsUpToMaxNumbers)
{
    const std::string long_digits = "[" + many_nines + " 2]";
    const std::string long_fraction = "[0." + many_nines + "]";
    const array_case cases[] = {
        {"[1 0 0 1 .5 -2]", 6, 6, {1, 0, 0, 1, 0.5, -2}},              // full matrix
        {"[1 2 3 4 5 6 7]", 6, 6, {1, 2, 3, 4, 5, 6}},                 // longer than max
        {"[5 6]", 1, 1, {5}},                                          // max 1
        {"[5 6]", 0, 0, {}},                                           // no room at all
        {"[", 6, 0, {}},                                               // "[" at the limit
        {"[1 2", 6, 2, {1, 2}},                                        // limit inside the array
        {"[/N12 3]", 6, 2, {12, 3}},                                   // digits of a name read
        {"[1e5]", 6, 2, {1, 5}},                                       // no exponent
        {"[+1.25 -.5 007]", 6, 3, {1.25, -0.5, 7}},                    // signs, "." and zeros
        {long_digits, 6, 2, {std::numeric_limits<double>::max(), 2}},  // saturates, stays finite
        {long_fraction, 6, 1, {1}},                                    // 0.999... rounds to 1
        {prefix("[1 2 3]", 4), 6, 2, {1, 2}},                          // the 3 past the view
    };
    for (const auto& c : cases) {
        std::vector<double> out(c.max, -7);
        const std::int32_t count = array_numbers(c.text, 0, out);
        ASSERT_EQ(count, c.count) << '"' << c.text.substr(0, 40) << '"';
        for (std::size_t i = 0; i < c.values.size(); ++i)
            EXPECT_DOUBLE_EQ(out[i], c.values[i]) << '"' << c.text.substr(0, 40) << "\" #" << i;
    }
}

TEST(ArrayNumbers, LoneMinusGivesNegativeZero)
{
    // "-0" and a "-" at the limit both keep the sign bit.
    for (const std::string_view text : {"[-0]"sv, "[-"sv}) {
        double out[3] = {1, 1, 1};
        ASSERT_EQ(array_numbers(text, 0, out), 1) << text;
        EXPECT_EQ(out[0], 0.0) << text;
        EXPECT_TRUE(std::signbit(out[0])) << text;
    }
}

TEST(ArrayNumbers, ReadsTheArrayAtOpen)
{
    const array_case cases[] = {
        {"[1 -2 .5]", 6, 3, {1, -2, 0.5}},
        {"[]", 6, 0, {}},
        {"[1 2 3]", 2, 2, {1, 2}},       // at most out.size()
        {"[2 2 1[3 1]]", 6, 5, {2, 2, 1, 3, 1}},  // up to the first "]"
        {" [1]", 6, -1, {}},             // no "[" at open
        {"7 0 R", 6, -1, {}},
        {"", 6, -1, {}},
    };
    for (const auto& c : cases) {
        std::vector<double> out(c.max, -7);
        ASSERT_EQ(array_numbers(c.text, 0, out), c.count) << c.text;
        for (std::size_t i = 0; i < c.values.size(); ++i) EXPECT_DOUBLE_EQ(out[i], c.values[i]) << c.text;
    }
    double one[1] = {};
    EXPECT_EQ(array_numbers("[1]", 3, one), -1);  // open at the limit
    EXPECT_EQ(array_numbers("[1]", -1, one), -1);
}

struct entry_case {
    const char* name;
    std::string_view text;
    std::int32_t start;
    std::string_view key;
    std::int32_t expected;
};

TEST(FindEntryKey, FindsOnlyTheDictionarysOwnKeys)
{
    const entry_case cases[] = {
        {"first_key", "<< /C [1 0 0] >>", 0, "C", 3},
        {"later_key", "<</Subtype/Square/C[1 0 0]>>", 0, "C", 17},
        {"white_space_before", " \n<< /C 1 >>", 0, "C", 5},
        {"comment_before", "% c\n<< /C 1 >>", 0, "C", 7},
        {"from_start", "<< /C 1 >> << /C 2 >>", 10, "C", 14},
        {"not_a_dictionary", "[/C 1]", 0, "C", -1},
        {"missing", "<< /CA 1 /Cx 2 >>", 0, "C", -1},
        // a name that is a value, or stands in an array, a nested dictionary, a string or a comment
        {"name_value", "<< /S /C /C 1 >>", 0, "C", 9},
        {"name_value_only", "<< /S /C [1 0 0] >>", 0, "C", -1},
        {"in_array", "<< /A [/C 1] /C 2 >>", 0, "C", 13},
        {"in_nested_dictionary", "<< /AA << /F 158 0 R >> /F 4 >>", 0, "F", 24},
        {"in_string", "<< /T (/C 1) /C 2 >>", 0, "C", 13},
        {"in_hex_string", "<< /T </C> /C 2 >>", 0, "C", 11},
        {"in_comment", "<< % /C 1\n/C 2 >>", 0, "C", 10},
        {"reference_value", "<< /BS 12 0 R /C 2 >>", 0, "C", 14},
        {"keyword_values", "<< /A true /B null /C 2 >>", 0, "C", 19},
        // past the dictionary's end, and where the text breaks
        {"after_close", "<< /A 1 >> /C 2", 0, "C", -1},
        {"unreadable_value", "<< /A (open /C 2 >>", 0, "C", -1},
        {"junk_between", "<< /A 1 junk /C 2 >>", 0, "C", 13},
        {"cut_by_view", prefix("<< /A 1 /C 2 >>", 9), 0, "C", -1},
        {"key_at_limit", "<< /A 1 /C", 0, "C", 8},
    };
    for (const auto& c : cases)
        EXPECT_EQ(find_entry_key(c.text, c.start, c.key), c.expected) << c.name;
}

struct box_case {
    std::string_view text;
    std::int32_t start;
    std::optional<box> expected;
};

TEST(BoxOfArray, NormalisesCornersAndRefusesEmptyBoxes)
{
    const std::string huge = "[0 0 " + many_nines + " 5]";
    const std::string big(308, '9');
    const std::string wide = "[-" + big + " 0 " + big + " 1]";
    const box_case cases[] = {
        {"[10 20 110 70]", 0, box{10, 20, 100, 50}},           // lower-left, upper-right
        {"[110 70 10 20]", 0, box{10, 20, 100, 50}},           // reversed corners
        {"[10 70 110 20]", 0, box{10, 20, 100, 50}},           // upper-left, lower-right
        {"[ 1 2 3 4 ]", 0, box{1, 2, 2, 2}},                   // spaces inside
        {"[0 0 612 792 9]", 0, box{0, 0, 612, 792}},           // first four numbers
        {"[0 0 612]", 0, std::nullopt},                        // three numbers
        {"[5 5 5 9]", 0, std::nullopt},                        // zero width
        {"[5 5 9 5]", 0, std::nullopt},                        // zero height
        {"[-10.5 -2 +3 4]", 0, box{-10.5, -2, 13.5, 6}},       // signs and fractions
        {"[0 0 1 -]", 0, std::nullopt},                        // lone sign reads 0
        {"[0 0 3 -", 0, std::nullopt},                         // sign as the last byte
        {"[", 0, std::nullopt},                                // "[" at the limit
        {"[1 2 3 4", 0, box{1, 2, 2, 2}},                      // "]" is not required
        {"5 0 R", 0, std::nullopt},                            // no array at open
        {"/R [0 0 1 1]", 3, box{0, 0, 1, 1}},                  // open inside the text
        {"[0 0 1 1]", -1, std::nullopt},                       // open before the text
        {"[0 0 1 1]", 9, std::nullopt},                        // open past the text
        {huge, 0, std::nullopt},                               // infinite corner refused
        {wide, 0, std::nullopt},                               // finite corners, infinite width
        {prefix("[0 0 10 20]", 9), 0, box{0, 0, 10, 2}},       // the 0 past the view
        {prefix("[0 0 10 20]", 8), 0, std::nullopt},           // view ends before y2
    };
    for (const auto& c : cases) {
        const std::optional<box> got = box_of_array(c.text, c.start);
        ASSERT_EQ(got.has_value(), c.expected.has_value()) << '"' << c.text.substr(0, 40) << '"';
        if (!got) continue;
        EXPECT_DOUBLE_EQ(got->x, c.expected->x) << c.text;
        EXPECT_DOUBLE_EQ(got->y, c.expected->y) << c.text;
        EXPECT_DOUBLE_EQ(got->w, c.expected->w) << c.text;
        EXPECT_DOUBLE_EQ(got->h, c.expected->h) << c.text;
    }
}

struct edit_case {
    std::string text;
    std::string key;
    std::string expected;
};

TEST(StripDictEntry, RemovesTheFirstEntryWithAValue)
{
    const edit_case cases[] = {
        {"<< /Type /Page /Annots [1 0 R 2 0 R] /Contents 5 0 R >>", "Annots",
         "<< /Type /Page /Contents 5 0 R >>"},                           // with the space before
        {"<< /Type /Page /Annots [1 0 R] >>", "Annot",
         "<< /Type /Page /Annots [1 0 R] >>"},                           // key prefix: unchanged
        {"<</Annots 7 0 R>>", "Annots", "<<>>"},                         // reference up to ">>"
        {"<< /A (x) /B 2 >>", "A", "<< /B 2 >>"},                        // string value
        {"<< /A\t/B /C 1 >>", "A", "<< /C 1 >>"},                        // TAB before the value
        {"<< /A <</B 1>> >>", "A", "<< >>"},                             // dictionary value
        {"<< /AB 1 /A 2 >>", "A", "<< /AB 1 >>"},                        // longer key passed over
        {"<< /A {x} /A 3 >>", "A", "<< /A {x} >>"},                      // bad value: next one
        {"<</A>>", "A", "<</A>>"},                                       // no value
        {"<< /A\f1 >>", "A", "<< /A\f1 >>"},                             // form feed is no gap
        {"<< /A <</B 1>>", "A", "<< /A <</B 1>>"},                       // the close is kept
        {"<< /X (a\0b) /A 1 >>"s, "A", "<< /X (a\0b) >>"s},              // NUL inside the text
        {"/A 1", "A", ""},                                               // text without ">>"
        {"", "A", ""},                                                   // empty text
        // A key named twice goes in both places (a catalog naming /AcroForm twice).
        {"<< /AcroForm 5 0 R /Type /Catalog /AcroForm 6 0 R >>", "AcroForm", "<< /Type /Catalog >>"},
        {"<< /A 1 /A 2 /A 3 >>", "A", "<< >>"},
        // A nested key found first still lets the dictionary's own one go too.
        {"<< /Annots [<< /Contents (x) >>] /Contents 5 0 R >>", "Contents", "<< /Annots [<< >>] >>"},
    };
    for (const auto& c : cases) {
        std::string text = c.text;
        strip_dict_entry(text, c.key);
        EXPECT_EQ(text, c.expected) << '"' << c.text << "\" key " << c.key;
    }
}

TEST(DictAppendBeforeClose, InsertsBeforeTheFinalClose)
{
    const edit_case cases[] = {
        {"<< /A 1 >>", "/B 2", "<< /A 1 /B 2>>"},       // no space added
        {">>", "x", "x>>"},                             // shortest dictionary text
        {"<< >>", "/N (\0)"s, "<< /N (\0)>>"s},         // NUL in the insert
        {"<< /A 1 >> ", "/B 2", "<< /A 1 >> "},         // trailing space: unchanged
        {">", "x", ">"},                                // one byte: unchanged
        {"", "x", ""},                                  // empty: unchanged
    };
    for (const auto& c : cases) {
        std::string text = c.text;
        dict_append_before_close(text, c.key);
        EXPECT_EQ(text, c.expected) << '"' << c.text << '"';
    }
}

}  // namespace
