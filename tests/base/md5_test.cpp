// MD5 against the test suite of RFC 1321 A.5, whole and given in pieces that cross block edges.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <string_view>

#include "base/md5.h"

namespace kestrin::test {
namespace {

std::string hex(const std::array<std::uint8_t, 16>& digest)
{
    std::string out;
    char pair[3];
    for (std::uint8_t b : digest) {
        std::snprintf(pair, sizeof pair, "%02x", b);
        out += pair;
    }
    return out;
}

std::string digest_in_pieces(std::string_view text, std::size_t piece)
{
    base::md5 m;
    for (std::size_t at = 0; at < text.size(); at += piece) m.update(text.substr(at, piece));
    return hex(m.finish());
}

struct md5_case {
    std::string input;
    const char* digest;
};

TEST(Md5, RfcSuiteWholeAndInPieces)
{
    const std::string digits = "1234567890";
    std::string eighty;
    for (int i = 0; i < 8; ++i) eighty += digits;
    const md5_case cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
        {eighty, "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const md5_case& c : cases) {
        for (std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{63}, std::size_t{64}, std::size_t{1000}})
            EXPECT_EQ(digest_in_pieces(c.input, piece), c.digest) << c.input << " in pieces of " << piece;
    }
}

// Lengths around the padding boundary: 55 bytes fit one block with the length, 56 need two.
TEST(Md5, LengthsAroundThePaddingEdge)
{
    const struct {
        std::size_t length;
        const char* digest;
    } cases[] = {
        {55, "ef1772b6dff9a122358552954ad0df65"},
        {56, "3b0c8ac703f828b04c6c197006d17218"},
        {64, "014842d480b571495a4a0363793f7367"},
    };
    for (const auto& c : cases) EXPECT_EQ(digest_in_pieces(std::string(c.length, 'a'), 5), c.digest) << c.length;
}

}  // namespace
}  // namespace kestrin::test
