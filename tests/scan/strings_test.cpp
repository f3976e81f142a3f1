// Decoding literal and hexadecimal strings, and names.
#include "scan/strings.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kestrin::scan {
namespace {

using namespace std::string_literals;

struct literal_case {
    std::string text;
    std::optional<std::string> decoded;
};

TEST(ReadLiteralString, DecodesEscapes)
{
    const std::vector<literal_case> cases = {
        {"(abc)", "abc"},
        {"()", ""},                              // empty string: empty text
        {"(a\\nb\\r\\t\\b\\f)", "a\nb\r\t\b\f"},  // the letter escapes
        {"(\\(\\)\\\\)", "()\\"},                 // escaped delimiters
        {"(\\101\\7x)", "A\x07x"},                // one to three octal digits
        {"(\\0053)", "\x05"s "3"},                // at most three digits
        {"(\\777)", "\xFF"},                      // low eight bits
        {"(a(b)c)", "a(b)c"},                     // balanced parentheses need no escape
        {"(x\\\ny)", "xy"},                       // line continuation
        {"(x\\\r\ny)", "x\ny"},                   // after CR, the LF stays
        {"(\\q)", "q"},                           // unknown escape: the byte
        {"(abc", std::nullopt},                   // never closed
        {"(a\\)", std::nullopt},                  // the only ")" is escaped
        {"(a(b)", std::nullopt},                  // depth never returns to 0
    };
    for (const auto& c : cases) EXPECT_EQ(read_literal_string(c.text, 0), c.decoded) << c.text;
    EXPECT_EQ(read_literal_string("x(ab)", 1), "ab");
    EXPECT_EQ(read_literal_string("x(ab)", 0), std::nullopt);  // no "(" there
    EXPECT_EQ(read_literal_string("(ab)", 4), std::nullopt);   // past the end
}

TEST(ReadHexString, DecodesDigits)
{
    const std::vector<literal_case> cases = {
        {"<48656C6c6F>", "Hello"},
        {"<48 65\n6c>", "Hel"},     // white space between digits
        {"<414>", "A@"},            // an odd last digit is followed by 0
        {"<>", ""},
        {"<4142", std::nullopt},    // never closed
    };
    for (const auto& c : cases) EXPECT_EQ(read_hex_string(c.text, 0), c.decoded) << c.text;
}

TEST(DecodeName, TurnsHexEscapesIntoBytes)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"Helv", "Helv"},
        {"A#20B", "A B"},                    // an escaped space
        {"#2f#2F", "//"},                    // either case of hex digit
        {"Lucida#23Sans", "Lucida#Sans"},    // an escaped '#'
        {"#41#4", "A#4"},                    // one digit at the end: kept as written
        {"a#zz", "a#zz"},                    // not hex digits
        {"ab#", "ab#"},                      // a '#' at the end
        {"#00", "\0"s},                     // a NUL byte
        {"a##41", "a#A"},                    // the first '#' stays, the second escapes
        {"", ""},
    };
    for (const auto& [written, decoded] : cases) EXPECT_EQ(decode_name(written), decoded) << written;
}

}  // namespace
}  // namespace kestrin::scan
