// The encoder's output is zlib data that zlib and our own decoder read back to the input, at the
// limits of its matches (length 258, distance 32768) and with every byte value.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "decode/deflate.h"
#include "decode/inflate.h"

namespace kestrin::test {
namespace {

std::string random_bytes(std::size_t n, unsigned seed, int alphabet)
{
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (char& c : s) c = static_cast<char>(rng() % static_cast<unsigned>(alphabet));
    return s;
}

std::string all_byte_values()
{
    std::string s;
    for (int i = 0; i < 256; ++i) s.push_back(static_cast<char>(i));
    return s;
}

// The same 300 random bytes twice, 32768 bytes apart: the farthest a match may reach.
std::string repeat_at_window_edge()
{
    const std::string part = random_bytes(300, 7, 256);
    return part + random_bytes(32768 - 300, 8, 256) + part;
}

std::string placements(int n)
{
    std::string s;
    for (int i = 0; i < n; ++i)
        s += "q 1.000000 0 0 1.000000 " + std::to_string(36 + i % 4 * 140) + ".000000 " +
             std::to_string(560 - i / 4 * 36) + ".000000 cm /Fl" + std::to_string(8606 + i) + " Do Q\n";
    return s;
}

std::string zlib_inflate(const std::string& z, std::size_t size)
{
    std::string out(size + 1, '\0');
    uLongf len = out.size();
    const int rc = uncompress(reinterpret_cast<Bytef*>(out.data()), &len, reinterpret_cast<const Bytef*>(z.data()), z.size());
    if (rc != Z_OK) return "zlib error " + std::to_string(rc);
    out.resize(len);
    return out;
}

std::string own_inflate(const std::string& z, std::size_t size)
{
    std::vector<std::uint8_t> out(size + 1);
    std::uint64_t len = 0;
    if (decode::inflate_decompress(reinterpret_cast<const std::uint8_t*>(z.data()), z.size(), out.data(), out.size(), &len) != 0)
        return "inflate failed";
    return std::string(reinterpret_cast<const char*>(out.data()), len);
}

struct deflate_case {
    const char* what;
    std::string data;
    double most;  // largest size of the output against the input's, 0 for no bound
};

TEST(DeflateFixed, ZlibAndOurDecoderReadTheInputBack)
{
    const deflate_case cases[] = {
        {"empty", "", 0},
        {"one byte", "q", 0},
        {"two bytes: too short for a match", "qq", 0},
        {"every byte value, 144-255 take nine bits", all_byte_values() + all_byte_values(), 0},
        {"a run longer than the longest match", std::string(1000, 'x'), 0.05},
        {"a match exactly as long as the longest", "abc" + std::string(258, 'z') + "abc" + std::string(258, 'z'), 0},
        {"a repeat at the farthest distance", repeat_at_window_edge(), 0},
        {"random bytes cost at most nine bits each", random_bytes(100000, 1, 256), 9.0 / 8 + 0.01},
        {"text of few letters", random_bytes(50000, 2, 4), 0.7},
        {"placements of a page", placements(20), 0.3},
        {"more than one window of placements", placements(2000), 0.2},
    };
    for (const deflate_case& tc : cases) {
        SCOPED_TRACE(tc.what);
        const std::string z = decode::deflate_fixed(tc.data);
        ASSERT_GE(z.size(), 2u);
        EXPECT_EQ(z.substr(0, 2), "\x78\x01");
        EXPECT_TRUE(zlib_inflate(z, tc.data.size()) == tc.data);
        EXPECT_TRUE(own_inflate(z, tc.data.size()) == tc.data);
        if (tc.most > 0) {
            EXPECT_LE(static_cast<double>(z.size()), tc.most * static_cast<double>(tc.data.size()));
        }
    }
}

// A repeat 32768 bytes back is matched; the same bytes one further back are not, which the round
// trip above would catch as a distance the format cannot hold.
TEST(DeflateFixed, MatchesReachBackOneWindow)
{
    const std::string part = random_bytes(300, 7, 256);
    const std::string gap = random_bytes(32768 - 300, 8, 256);
    const std::string unrelated = random_bytes(300, 9, 256);
    const std::size_t repeated = decode::deflate_fixed(part + gap + part).size();
    const std::size_t fresh = decode::deflate_fixed(part + gap + unrelated).size();
    EXPECT_LT(repeated + 200, fresh);
    const std::string beyond = part + gap + "x" + part;
    EXPECT_TRUE(zlib_inflate(decode::deflate_fixed(beyond), beyond.size()) == beyond);
}

}  // namespace
}  // namespace kestrin::test
