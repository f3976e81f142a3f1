#include "generate/text_string.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrin::generate {
namespace {

using namespace std::string_literals;

struct text_case {
    std::string bytes;
    std::u32string characters;
};

TEST(DecodeTextString, ReadsTheThreeEncodings)
{
    const std::vector<text_case> cases = {
        {"Hello", U"Hello"},
        {"", U""},
        {"caf\xE9", U"caf\u00E9"},                          // PDFDocEncoding is Latin-1 here
        {"\x80\x8A\xA0\x18", U"\u2022\u2212\u20AC\u02D8"},  // and differs from it here
        {"a\tb\nc\rd", U"a\tb\nc\rd"},                      // the three control characters it has
        {"\x01\x7F\x9F\xAD", U"\uFFFD\uFFFD\uFFFD\uFFFD"},  // undefined codes
        {"ab\0"s, U"ab"},                                   // a trailing NUL is dropped
        {"\xFE\xFF\x00H\x00i"s, U"Hi"},                      // UTF-16BE
        {"\xFE\xFF"s, U""},                                 // the mark alone
        {"\xFE\xFF\x04\x11\x20\xAC", U"\u0411\u20AC"},
        {"\xFE\xFF\xD8\x3D\xDE\x00"s, U"\U0001F600"},        // a surrogate pair
        {"\xFE\xFF\xD8\x3D\x00x"s, U"\uFFFDx"},              // a high surrogate alone
        {"\xFE\xFF\xDE\x00"s, U"\uFFFD"},                    // a low surrogate alone
        {"\xFE\xFF\xD8\x3D", U"\uFFFD"},                    // a high surrogate at the end
        {"\xFE\xFF\x00H\x00"s, U"H\uFFFD"},                  // an odd last byte
        {"\xFE\xFF\x00\x1B" "en\x00\x1B\x00H"s, U"H"},      // a language escape
        {"\xFE\xFF\x00\x00\x00H"s, U"H"},                   // NUL
        {"\xEF\xBB\xBFna\xC3\xAFve", U"na\u00EFve"},        // UTF-8
        {"\xEF\xBB\xBF\xE2\x82\xAC\xF0\x9F\x98\x80", U"\u20AC\U0001F600"},
        {"\xEF\xBB\xBF\xC3", U"\uFFFD"},                    // cut short
        {"\xEF\xBB\xBF\xC0\xAFx", U"\uFFFD\uFFFDx"},        // overlong
        {"\xEF\xBB\xBF\xED\xA0\x80", U"\uFFFD\uFFFD\uFFFD"},  // an encoded surrogate
        {"\xEF\xBB\xBF\xF4\x90\x80\x80", U"\uFFFD\uFFFD\uFFFD\uFFFD"},  // past U+10FFFF
        {"\xEF\xBB\xBF\xE2\x28\xA1", U"\uFFFD(\uFFFD"},     // a bad continuation byte
        {"\xFE", U"\u00FE"},                                // half a mark: PDFDocEncoding
        {"\xEF\xBB", U"\u00EF\u00BB"},
    };
    for (const auto& c : cases) EXPECT_EQ(decode_text_string(c.bytes), c.characters) << c.bytes;
}

}  // namespace
}  // namespace kestrin::generate
