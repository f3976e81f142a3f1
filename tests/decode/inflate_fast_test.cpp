// The decoder's fast loop (whole symbols while enough input is held) against the bit-by-bit
// reference: same result and the same bytes in the whole room, also past the output, where the
// caller's bytes must survive.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "decode/inflate.h"
#include "deflate_writer.h"
#include "reference_inflate.h"

namespace kestrin::test {
namespace {

using bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t untouched = 0xa5;  // fills the room before decoding
constexpr std::uint64_t slack = 40;       // room past the capacity, which nothing may write

struct room_outcome {
    int rc = 0;
    std::uint64_t len = 0;
    bytes room;  // the whole buffer after decoding: capacity plus slack
};

using decoder = int (*)(const std::uint8_t*, std::uint64_t, std::uint8_t*, std::uint64_t,
                        std::uint64_t*);

room_outcome run_in_room(decoder run, const std::string& comp, std::uint64_t cap)
{
    room_outcome o;
    o.room.assign(cap + slack, untouched);
    o.rc = run(reinterpret_cast<const std::uint8_t*>(comp.data()), comp.size(), o.room.data(), cap,
               &o.len);
    return o;
}

void expect_same_room(const std::string& comp, std::uint64_t cap, const std::string& what)
{
    const room_outcome ours = run_in_room(decode::inflate_decompress, comp, cap);
    const room_outcome ref = run_in_room(reference_inflate, comp, cap);
    ASSERT_EQ(ours.rc, ref.rc) << what;
    ASSERT_EQ(ours.len, ref.len) << what;
    ASSERT_TRUE(ours.room == ref.room) << what;
}

std::string compress_level(const std::string& data, int level)
{
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::string out(size, '\0');
    compress2(reinterpret_cast<Bytef*>(out.data()), &size,
              reinterpret_cast<const Bytef*>(data.data()), static_cast<uLong>(data.size()), level);
    out.resize(size);
    return out;
}

// Text repeating with the given period: matches of that distance, ending at every length.
std::string periodic(std::size_t period, std::size_t n)
{
    std::string out;
    for (std::size_t i = 0; i < n; ++i)
        out.push_back(static_cast<char>('A' + (i % period) * 7 % 26 + (i / 97) % 3));
    return out;
}

// Every period up to 20 (short and long overlapping copies) and every size up to 90, so that
// the last match of a stream ends at every offset of an 8-byte piece.
TEST(InflateFastLoop, MatchesWriteNothingPastTheirEnd)
{
    for (std::size_t period = 1; period <= 20; ++period) {
        for (std::size_t n = 1; n <= 90; ++n) {
            const std::string plain = periodic(period, n);
            for (int level : {1, 9}) {
                const std::string comp = compress_level(plain, level);
                const std::string what = "period " + std::to_string(period) + " size " +
                                         std::to_string(n) + " level " + std::to_string(level);
                const room_outcome ours = run_in_room(decode::inflate_decompress, comp, n + 300);
                ASSERT_EQ(ours.rc, 0) << what;
                ASSERT_EQ(std::string(ours.room.begin(), ours.room.begin() + ours.len), plain)
                    << what;
                for (std::uint64_t cap : {n + 300, n, n - 1, n / 2})
                    expect_same_room(comp, cap, what + " capacity " + std::to_string(cap));
            }
        }
    }
}

// Cuts near the end move the switch from the fast loop to the careful one across every symbol
// of the last few bytes.
TEST(InflateFastLoop, CutsNearTheEndGiveTheReferenceResult)
{
    for (std::size_t period : {3u, 11u, 40u}) {
        const std::string comp = compress_level(periodic(period, 3000), 6);
        for (std::size_t keep = 1; keep <= 24 && keep < comp.size(); ++keep)
            expect_same_room(comp.substr(0, comp.size() - keep), 4000,
                             "period " + std::to_string(period) + " cut " + std::to_string(keep));
    }
}

// Literal/length code lengths for the hand-written blocks: 'a'..'d', end of block and length
// symbol 257 (a 3-byte match) with the given lengths, all others unused.
std::vector<int> lit_lengths(int a, int b, int c, int d, int end, int match)
{
    std::vector<int> lit(258, 0);
    lit['a'] = a;
    lit['b'] = b;
    lit['c'] = c;
    lit['d'] = d;
    lit[256] = end;
    lit[257] = match;
    return lit;
}

// A chain of lengths 1, 2, ..., 14, 15, 15 over 16 symbols: a complete code reaching 15 bits.
std::vector<int> deep_lengths()
{
    std::vector<int> lit(258, 0);
    const int symbols[16] = {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h',
                             'i', 'j', 'k', 'l', 'm', 'n', 256, 257};
    for (int i = 0; i < 16; ++i) lit[static_cast<std::size_t>(symbols[i])] = i < 15 ? i + 1 : 15;
    return lit;
}

struct shaped_block {
    const char* name;
    std::function<std::string()> stream;
    const char* expect;  // bytes both decoders give
};

// Trailing bytes after the final block keep enough input held for the fast loop to decode every
// symbol of these blocks; the tables have unusual shapes.
TEST(InflateFastLoop, TableShapesGiveTheReferenceResult)
{
    const std::string tail(16, '\x5a');
    const std::vector<shaped_block> cases = {
        // Short literal code (table of 8 entries), complete 2-bit distance code.
        {"short complete codes",
         [] {
             deflate_writer w;
             w.dynamic_header(true, lit_lengths(2, 2, 3, 3, 3, 3), {2, 2, 2, 2});
             w.dyn_symbol('a').dyn_symbol('b').dyn_symbol('c').dyn_symbol(257).dyn_distance(2);
             return w.dyn_symbol('d').dyn_symbol(256).finish();
         },
         "abcabcd"},
        // Distance code without codes: a match is a format error, the bytes before it count.
        {"empty distance code, a match",
         [] {
             deflate_writer w;
             w.dynamic_header(true, lit_lengths(2, 2, 3, 0, 3, 2), {0});
             return w.dyn_symbol('a').dyn_symbol('b').dyn_symbol(257).dyn_symbol(256).finish();
         },
         "ab"},
        // One 1-bit distance code; the unused code (bit 1) is a format error.
        {"single distance code, the unused code",
         [] {
             deflate_writer w;
             w.dynamic_header(true, lit_lengths(2, 2, 3, 0, 3, 2), {1});
             w.dyn_symbol('a').dyn_symbol('b').dyn_symbol(257).dyn_distance(0);
             w.dyn_symbol(257).bits(1, 1);
             return w.dyn_symbol(256).finish();
         },
         "abbbb"},
        // Codes of 11 to 15 bits resume after the table's bits.
        {"codes longer than the table",
         [] {
             deflate_writer w;
             w.dynamic_header(true, deep_lengths(), {1, 1});
             for (int sym : {'a', 'n', 'm', 'l', 'k', 'j', 'i'}) w.dyn_symbol(sym);
             w.dyn_symbol(257).dyn_distance(1);
             return w.dyn_symbol(256).finish();
         },
         "anmlkjijij"},
        // Fixed code symbol 286 is invalid: a format error after the literals.
        {"fixed code, length symbol 286",
         [] {
             deflate_writer w;
             w.block_header(true, 1).fixed_symbol('x').fixed_symbol('y').fixed_symbol(286);
             return w.fixed_symbol(256).finish();
         },
         "xy"},
        // Fixed distance symbol 30 has no code: a format error after the match's literals.
        {"fixed code, distance symbol 30",
         [] {
             deflate_writer w;
             w.block_header(true, 1).fixed_symbol('x').fixed_symbol(257).fixed_distance(30);
             return w.fixed_symbol(256).finish();
         },
         "x"},
        // A match reaching before the output: a format error.
        {"match too far back",
         [] {
             deflate_writer w;
             w.block_header(true, 1).fixed_symbol('x').fixed_symbol(257).fixed_distance(0);
             w.fixed_symbol(257).fixed_distance(4).bits(0, 1);
             return w.fixed_symbol(256).finish();
         },
         "xxxx"},
    };
    for (const shaped_block& c : cases) {
        const std::string comp = c.stream() + tail;
        const room_outcome ours = run_in_room(decode::inflate_decompress, comp, 64);
        ASSERT_EQ(ours.rc, 0) << c.name;
        EXPECT_EQ(std::string(ours.room.begin(), ours.room.begin() + ours.len), c.expect)
            << c.name;
        for (std::uint64_t cap : {std::uint64_t{64}, std::uint64_t{3}, std::uint64_t{0}})
            expect_same_room(comp, cap, std::string(c.name) + " capacity " + std::to_string(cap));
    }
}

}  // namespace
}  // namespace kestrin::test
