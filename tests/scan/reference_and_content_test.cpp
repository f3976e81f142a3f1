// Reading arrays of references, and the tokens of content streams and their q/Q balance.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "scan/chars.h"
#include "scan/content_tokens.h"
#include "scan/reference.h"
#include "scan/token.h"

using namespace std::string_literals;

namespace kestrin::scan {
namespace {

constexpr std::int32_t no_limit = std::numeric_limits<std::int32_t>::max();

struct array_case {
    const char* what;
    std::string text;  // the array starts at its first byte
    std::int32_t capacity;
    on_inline_dictionary at_dictionary;
    std::vector<std::int32_t> numbers;
    bool holds_dictionary;
};

const array_case array_cases[] = {
    {"references", "[1 0 R 22 0 R  333 5 R]", no_limit, on_inline_dictionary::read_on, {1, 22, 333}, false},
    {"no white space before R", "[4 0R 5 0 R]", no_limit, on_inline_dictionary::read_on, {4, 5}, false},
    // An integer after a number is read as the reference's generation.
    {"bare integers", "[7 8 9]", no_limit, on_inline_dictionary::read_on, {7, 9}, false},
    {"zero is passed over", "[0 0 R 6 0 R]", no_limit, on_inline_dictionary::read_on, {6}, false},
    {"a minus sign is passed over", "[-3 0 R]", no_limit, on_inline_dictionary::read_on, {3}, false},
    {"junk between", "[/Name 3 0 R (str) 4 0 R]", no_limit, on_inline_dictionary::read_on, {3, 4}, false},
    {"capacity", "[1 0 R 2 0 R 3 0 R]", 2, on_inline_dictionary::read_on, {1, 2}, false},
    {"zero capacity", "[1 0 R]", 0, on_inline_dictionary::read_on, {}, false},
    {"unclosed runs to the end", "[1 0 R 2 0 R", no_limit, on_inline_dictionary::read_on, {1, 2}, false},
    {"empty", "[ ]", no_limit, on_inline_dictionary::read_on, {}, false},
    {"inline dictionary read through", "[1 0 R << /P 9 0 R >> 2 0 R]", no_limit, on_inline_dictionary::read_on,
     {1, 9, 2}, true},
    {"inline dictionary stops the reading", "[1 0 R << /P 9 0 R >> 2 0 R]", no_limit, on_inline_dictionary::stop,
     {1}, true},
    {"a lone < is no dictionary", "[1 0 R <ab> 2 0 R]", no_limit, on_inline_dictionary::stop, {1, 2}, false},
};

TEST(ReferenceArray, ReadsTheNumbersOfItsReferences)
{
    for (const array_case& c : array_cases) {
        std::vector<std::int32_t> out;
        const reference_array read = read_reference_array(c.text, 0, c.capacity, out, c.at_dictionary);
        EXPECT_EQ(out, c.numbers) << c.what;
        EXPECT_EQ(read.stored, static_cast<std::int32_t>(c.numbers.size())) << c.what;
        EXPECT_EQ(read.holds_dictionary, c.holds_dictionary) << c.what;
    }
}

TEST(ReferenceArray, AppendsToWhatIsThere)
{
    std::vector<std::int32_t> out{99};
    EXPECT_EQ(read_reference_array("[1 0 R]", 0, 1, out, on_inline_dictionary::read_on).stored, 1);
    EXPECT_EQ(out, (std::vector<std::int32_t>{99, 1}));
}

TEST(ValueStart, SkipsTheNameAndTheWhiteSpaceAfterIt)
{
    const std::string text = "<< /Kids \r\n [1 0 R] /Type/Pages >>";
    const auto at = [&](const char* part) { return static_cast<std::int32_t>(text.find(part)); };
    EXPECT_EQ(value_start(text, at("/Kids"), "Kids"), at("[1"));
    EXPECT_EQ(value_start(text, at("/Type"), "Type"), at("/Pages"));
    EXPECT_EQ(value_start("/Kids", 0, "Kids"), 5);  // the end of the text
}

TEST(ContentTokens, SplitsOperatorsFromStringsNamesAndComments)
{
    const std::string content = "q/Name(a (b) c)<4142>[1 2]% Q\n<< /K 1 >>BT Q";
    std::vector<std::string> regular;
    std::vector<std::string> other;
    for (token t = next_token(content, 0); t.start < static_cast<std::int32_t>(content.size());
         t = next_token(content, t.end))
        (t.regular ? regular : other).push_back(content.substr(t.start, t.end - t.start));
    EXPECT_EQ(regular, (std::vector<std::string>{"q", "1", "2", "1", "BT", "Q"}));
    EXPECT_EQ(other, (std::vector<std::string>{"/Name", "(a (b) c)", "<4142>", "[", "]", "<<", "/K", ">>"}));
}

TEST(ContentTokens, InlineImageDataEndsAtAFreeStandingEI)
{
    const std::string content = "BI /W 1 ID xxEI EI\x01 EI Q";
    const std::int32_t after = skip_inline_image(content, 2);
    EXPECT_EQ(content.substr(static_cast<std::size_t>(after)), " Q");
}

TEST(ContentTokens, InlineImageDataStartsAtAnIDOutsideItsArrays)
{
    const std::string content = "BI /X [ID 1] /W 1 ID x EI Q";
    EXPECT_EQ(content.substr(static_cast<std::size_t>(skip_inline_image(content, 2))), " Q");
}

struct ending_case {
    const char* what;
    std::string content;
    std::int32_t open_q;
    std::vector<std::int32_t> stray_q;
    std::string closing;
};

const ending_case ending_cases[] = {
    // The balance of q and Q.
    {"balanced", "q 1 0 0 1 5 5 cm Q q Q", 0, {}, ""},
    {"two left open", "q q 2 0 0 2 0 0 cm q Q", 2, {}, ""},
    {"stray Q restores nothing", "Q Q q", 1, {0, 2}, ""},
    {"stray Q after a balanced pair", "Q q Q Q", 0, {0, 6}, ""},
    {"operators in a string", "q (q q \\) q) Tj", 1, {}, ""},
    {"nested parentheses", "q ((Q) Q) Tj", 1, {}, ""},
    {"comment", "q % Q Q\nq", 2, {}, ""},
    {"comment left open is ended by the line feed", "q % Q", 1, {}, ""},
    {"hex string", "q <5151> Tj", 1, {}, ""},
    {"names and delimiters", "q /q gs [/Q] TJ <</Q 1>> BDC EMC", 1, {}, ""},
    {"glued operators are one token", "qQ q", 1, {}, ""},
    {"operators inside an array are its items", "q [ Q ] TJ Q", 0, {}, ""},
    {"inline image data", "q BI /W 2 /H 1 ID \x00Q q\x01 EI Q q"s, 1, {}, ""},
    {"inline image with EI inside its data", "q BI /W 4 /H 1 ID QEI q EI q", 2, {}, ""},
    {"empty", "", 0, {}, ""},
    // Strings left open.
    {"unterminated string", "q (Q Q", 1, {}, ")\n"},
    {"string open two deep", "(a (b", 0, {}, "))\n"},
    {"escaped parenthesis keeps it open", "(a \\)", 0, {}, ")\n"},
    {"escape pending at the end", "(a \\", 0, {}, ")\n"},
    {"string closed at the very end", "(a)", 0, {}, ""},
    {"hex string left open", "<41 4", 0, {}, ">\n"},
    {"lone < at the end", "<", 0, {}, ">\n"},
    {"empty hex string closed", "<>", 0, {}, ""},
    // Arrays and dictionaries left open, innermost first.
    {"array", "[(a) 1 -2", 0, {}, "]\n"},
    {"dictionary", "/P << /MCID 0", 0, {}, ">>\n"},
    {"dictionary key waiting for its value", "/P << /MCID", 0, {}, "null\n>>\n"},
    {"string in an array in a dictionary", "/P << /A [1 (x", 0, {}, ")\n]\n>>\n"},
    {"a closing bracket of the other kind closes nothing", "q [ >> Q", 1, {}, "]\n"},
    // Inline images left open.
    {"inside image data", "q BI /W 1 /H 1 /CS /G /BPC 8 ID \x80"s, 1, {}, "EI\n"},
    {"ID as the last token", "BI /W 1 ID", 0, {}, "EI\n"},
    {"inside the image dictionary", "BI /W 1 /H 1", 0, {}, "ID\nEI\n"},
    {"image dictionary key waiting", "BI /W 1 /H", 0, {}, "null\nID\nEI\n"},
    {"array in the image dictionary", "BI /D [0 1", 0, {}, "]\nID\nEI\n"},
    // Text objects and marked-content sequences left open.
    {"text object", "BT /F1 12 Tf (a) Tj", 0, {}, "ET\n"},
    {"text object closed", "BT ET", 0, {}, ""},
    {"marked content", "/OC /oc1 BDC 1 0 0 rg", 0, {}, "EMC\n"},
    {"marked content begun inside the text object", "BT /Span BMC", 0, {}, "EMC\nET\n"},
    {"text object begun inside marked content", "/P BMC BT", 0, {}, "ET\nEMC\n"},
    {"stray EMC closes nothing", "EMC BT", 0, {}, "ET\n"},
    {"string inside an open text object", "q BT (abc", 1, {}, ")\nET\n"},
    {"image inside an open text object", "BT BI /W 1 ID x", 0, {}, "EI\nET\n"},
};

TEST(ContentTokens, ContentEndingSaysWhatTheContentLeavesOpen)
{
    for (const ending_case& tc : ending_cases) {
        SCOPED_TRACE(tc.what);
        const content_ending ending = read_content_ending(tc.content);
        EXPECT_EQ(ending.open_q, tc.open_q);
        EXPECT_EQ(ending.stray_q, tc.stray_q);
        EXPECT_EQ(ending.closing, tc.closing);
    }
}

// Whatever the content leaves open, its closing lets the next operator stand on its own.
TEST(ContentTokens, ClosedContentLeavesNothingOpen)
{
    for (const ending_case& tc : ending_cases) {
        SCOPED_TRACE(tc.what);
        const content_ending ending = read_content_ending(tc.content + "\n" + tc.closing + "q");
        EXPECT_EQ(ending.closing, "");
        EXPECT_EQ(ending.open_q, tc.open_q + 1);
    }
}

// Every digit run counts, wherever it stands; numbers above the cap and 0 do not.
TEST(DigitRuns, OverCountTheNumbersAReaderCouldTake)
{
    const struct {
        const char* text;
        std::int32_t cap;
        std::vector<std::int32_t> numbers;
    } cases[] = {
        {"<< /Kids [3 0 R 4 0 R] /Count 2 >>", 100, {3, 4, 2}},
        {"[5 6 7]", 100, {5, 6, 7}},                     // bare integers, as some Kids arrays hold
        {"/F12 (a7b) 0.25 <3F>", 100, {12, 7, 25, 3}},   // names, strings, reals
        {"99999999999999999999 8", 100, {8}},           // too large: passed over without overflow
        {"101 100 0 00", 100, {100}},
        {"", 100, {}},
        {"12", 12, {12}},                               // at the end of the text
    };
    for (const auto& tc : cases) {
        std::vector<std::int32_t> out{-1};
        append_digit_runs(tc.text, tc.cap, out);
        std::vector<std::int32_t> expected{-1};
        expected.insert(expected.end(), tc.numbers.begin(), tc.numbers.end());
        EXPECT_EQ(out, expected) << tc.text;
    }
}

// Whether nothing but "Q" follows a position: after a stray Q of the content, a "q" more before
// the content absorbs it without changing what is drawn.
TEST(ContentTokens, OnlyRestoresFromAPosition)
{
    const struct {
        const char* content;
        std::int32_t pos;
        bool only_restores;
    } cases[] = {
        {"1 0 0 rg Q Q\n", 9, true},
        {"1 0 0 rg Q % a comment\nQ", 9, true},
        {"Q", 0, true},
        {"Q", 1, true},              // nothing at all follows
        {"Q 0 0 m", 0, false},       // an operator follows
        {"Q (Q)", 0, false},         // a string is not the operator
        {"Q Qx", 0, false},          // nor a longer token
        {"Q [", 0, false},           // an open array swallows what comes next
    };
    for (const auto& tc : cases) EXPECT_EQ(only_restores_from(tc.content, tc.pos), tc.only_restores) << tc.content;
}

// Deep nesting is walked, not recursed into: one closing line per level, innermost first.
TEST(ContentTokens, DeeplyNestedContentIsClosedLevelByLevel)
{
    constexpr int depth = 100000;
    std::string content;
    for (int i = 0; i < depth; ++i) content.append(i % 2 == 0 ? "[" : "<< /K ");
    std::string expected = "null\n";  // the innermost key has no value
    for (int i = depth - 1; i >= 0; --i) expected.append(i % 2 == 0 ? "]\n" : ">>\n");
    // Compared whole: a diff of texts this long would take the test runner ages.
    EXPECT_TRUE(read_content_ending(content).closing == expected);
    EXPECT_TRUE(read_content_ending(std::string(depth, '(')).closing == std::string(depth, ')') + "\n");
}

TEST(CharClasses, DelimitersAndRegularBytes)
{
    for (char c : std::string("()<>[]{}/%")) EXPECT_TRUE(is_delimiter(static_cast<unsigned char>(c))) << c;
    for (char c : std::string("aZ09.-+*'\"")) {
        EXPECT_FALSE(is_delimiter(static_cast<unsigned char>(c))) << c;
        EXPECT_TRUE(is_regular(static_cast<unsigned char>(c))) << c;
    }
    for (unsigned char c : {0x00, 0x09, 0x0A, 0x0C, 0x0D, 0x20}) EXPECT_FALSE(is_regular(c)) << int(c);
}

}  // namespace
}  // namespace kestrin::scan
