// One hand-made stream per outcome of the decoder: header rules, each format error, running out
// of input and running out of room.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "decode/inflate.h"
#include "deflate_writer.h"
#include "pdf_builder.h"
#include "reference_inflate.h"

namespace kestrin::test {
namespace {

struct decoded {
    int rc;
    std::uint64_t len;
    std::string bytes;
};

decoded inflate(const std::string& src, std::uint64_t cap)
{
    std::vector<std::uint8_t> out(cap + 1);
    std::uint64_t len = 99;
    const int rc = decode::inflate_decompress(reinterpret_cast<const std::uint8_t*>(src.data()),
                                              src.size(), out.data(), cap, &len);
    return {rc, len, std::string(reinterpret_cast<const char*>(out.data()), rc == 0 ? len : 0)};
}

// Literal/length lengths for 'a', 'b', end of block and length symbol 257, all two bits long.
std::vector<int> four_symbol_lengths()
{
    std::vector<int> lit(258, 0);
    lit['a'] = lit['b'] = lit[256] = lit[257] = 2;
    return lit;
}

// "ab" and a three-byte match one back: "abbbb".
std::string dynamic_abbbb(const std::vector<int>& dist_lengths, std::uint32_t dist_sym = 0)
{
    deflate_writer w;
    w.dynamic_header(true, four_symbol_lengths(), dist_lengths);
    w.dyn_symbol('a').dyn_symbol('b').dyn_symbol(257);
    if (dist_lengths[dist_sym] != 0) w.dyn_distance(static_cast<int>(dist_sym));
    return w.dyn_symbol(256).raw(std::string(4, '\0')).finish();
}

std::string fixed_text(const std::string& text, bool last = true)
{
    deflate_writer w;
    w.block_header(last, 1);
    for (unsigned char c : text) w.fixed_symbol(c);
    return w.fixed_symbol(256).finish();
}

// Code length code of four two-bit codes for 0, 16, 17, 18 (HCLEN 0), then the given symbols
// with their extra bits as (symbol, extra) pairs.
std::string codelen_stream(const std::vector<std::pair<int, std::uint32_t>>& symbols)
{
    deflate_writer w;
    w.block_header(true, 2).bits(0, 5).bits(0, 5).bits(0, 4);
    for (int i = 0; i < 4; ++i) w.bits(2, 3);
    for (auto [sym, extra] : symbols) {
        w.code(sym == 0 ? 0u : static_cast<std::uint32_t>(sym - 15), 2);
        if (sym == 16) w.bits(extra, 2);
        if (sym == 18) w.bits(extra, 7);
    }
    return w.raw(std::string(8, '\0')).finish();
}

struct edge_case {
    const char* what;
    std::function<std::string()> stream;
    std::uint64_t cap;
    int rc;
    std::string bytes;  // expected output when rc is 0
};

const std::string thousand(1000, 'k');

const std::vector<edge_case>& edge_cases()
{
    static const std::vector<edge_case> cases = {
        // The first block header cannot be read.
        {"header only", [] { return std::string("\x78\x9c"); }, 100, -1, ""},
        {"one byte", [] { return std::string("\x78"); }, 100, -1, ""},
        // Only the method nibble and the preset-dictionary bit of the header matter.
        {"header 78 01", [] { return "\x78\x01" + fixed_text("hi").substr(2); }, 100, 0, "hi"},
        {"header 78 DA", [] { return "\x78\xda" + fixed_text("hi").substr(2); }, 100, 0, "hi"},
        {"header check not a multiple of 31",
         [] { return std::string("\x78\x00", 2) + fixed_text("hi").substr(2); }, 100, 0, "hi"},
        {"method 9", [] { return "\x79\x9c" + fixed_text("hi").substr(2); }, 100, -1, ""},
        {"preset dictionary", [] { return "\x78\xbc" + fixed_text("hi").substr(2); }, 100, -1, ""},
        {"raw deflate without header", [] { return zlib_compress("hello hello", 6).substr(2); },
         100, -1, ""},
        // The Adler-32 trailer is never read.
        {"no trailer",
         [] {
             auto z = zlib_compress("trailer", 6);
             return z.substr(0, z.size() - 4);
         },
         100, 0, "trailer"},
        {"wrong trailer",
         [] {
             auto z = zlib_compress("trailer", 6);
             z.back() ^= 0x55;
             return z;
         },
         100, 0, "trailer"},
        // Room: exactly enough succeeds; one byte less fails with nothing reported.
        {"exact capacity", [] { return zlib_compress(thousand, 9); }, 1000, 0, thousand},
        {"one byte short", [] { return zlib_compress(thousand, 9); }, 999, -1, ""},
        {"literal into no room", [] { return fixed_text("x"); }, 0, -1, ""},
        {"match past the room",
         [] {
             return deflate_writer()
                 .block_header(true, 1)
                 .fixed_symbol('A')
                 .fixed_symbol(257)
                 .fixed_distance(0)
                 .fixed_symbol(256)
                 .finish();
         },
         3, -1, ""},
        {"stored past the room",
         [] { return deflate_writer().stored(true, "0123456789").finish(); }, 9, -1, ""},
        // A format error keeps the bytes before it.
        {"block type 3 after 1000 bytes",
         [] {
             return deflate_writer()
                 .stored(false, thousand)
                 .block_header(true, 3)
                 .raw("xxxx")
                 .finish();
         },
         2000, 0, thousand},
        {"block type 3 first",
         [] { return deflate_writer().block_header(true, 3).raw("xxxx").finish(); }, 100, 0, ""},
        {"NLEN not the complement",
         [] {
             auto s = deflate_writer().stored(false, "ok").stored(true, "no").finish();
             s[s.size() - 3] ^= 1;
             return s;
         },
         100, 0, "ok"},
        // Input ending anywhere fails, whatever was decoded before.
        {"cut mid-block",
         [] {
             auto s = deflate_writer().stored(false, thousand).finish() +
                      fixed_text("more text").substr(2);
             return s.substr(0, s.size() - 3);
         },
         2000, -1, ""},
        {"stored header cut",
         [] { return deflate_writer().block_header(true, 0).raw("\x05\x00\xfa").finish(); }, 100,
         -1, ""},
        {"stored data cut",
         [] {
             return deflate_writer()
                 .block_header(true, 0)
                 .raw(std::string("\x0a\x00\xf5\xff", 4) + "12345")
                 .finish();
         },
         100, -1, ""},
        {"final empty stored block", [] { return deflate_writer().stored(true, "").finish(); }, 100,
         0, ""},
        // Code descriptions.
        {"HLIT over 286",
         [] {
             return deflate_writer()
                 .block_header(true, 2)
                 .bits(30, 5)
                 .bits(0, 5)
                 .bits(0, 4)
                 .raw(std::string(2, '\0'))
                 .finish();
         },
         100, 0, ""},
        {"HDIST over 30",
         [] {
             return deflate_writer()
                 .block_header(true, 2)
                 .bits(0, 5)
                 .bits(30, 5)
                 .bits(0, 4)
                 .raw(std::string(2, '\0'))
                 .finish();
         },
         100, 0, ""},
        {"code length code incomplete",
         [] {
             return deflate_writer()
                 .block_header(true, 2)
                 .bits(0, 5)
                 .bits(0, 5)
                 .bits(0, 4)
                 .bits(1, 3)
                 .bits(0, 3)
                 .bits(0, 3)
                 .bits(0, 3)
                 .raw(std::string(4, '\0'))
                 .finish();
         },
         100, 0, ""},
        {"code length code over-subscribed",
         [] {
             return deflate_writer()
                 .block_header(true, 2)
                 .bits(0, 5)
                 .bits(0, 5)
                 .bits(0, 4)
                 .bits(1, 3)
                 .bits(1, 3)
                 .bits(1, 3)
                 .bits(0, 3)
                 .raw(std::string(4, '\0'))
                 .finish();
         },
         100, 0, ""},
        // An all-zero code length code counts as complete; its first symbol is then invalid
        // once 15 bits are held, and the input has run out when fewer are.
        {"empty code length code",
         [] {
             return deflate_writer()
                 .block_header(true, 2)
                 .bits(0, 5)
                 .bits(0, 5)
                 .bits(0, 4)
                 .bits(0, 12)
                 .raw(std::string(4, '\0'))
                 .finish();
         },
         100, 0, ""},
        {"empty code length code, input ends",
         [] {
             return deflate_writer()
                 .block_header(true, 2)
                 .bits(0, 5)
                 .bits(0, 5)
                 .bits(0, 4)
                 .bits(0, 12)
                 .finish();
         },
         100, -1, ""},
        {"repeat without a previous length",
         [] {
             return codelen_stream({{16, 0}});
         },
         100, 0, ""},
        {"repeat past the end",
         [] {
             return codelen_stream({{18, 127}, {18, 127}});
         },
         100, 0, ""},
        {"no code for end of block",
         [] {
             return codelen_stream({{18, 127}, {18, 109}});
         },
         100, 0, ""},
        {"literal code over-subscribed",
         [] {
             std::vector<int> lit(257, 0);
             lit[0] = lit[1] = lit[256] = 1;
             return deflate_writer()
                 .dynamic_header(true, lit, {1})
                 .raw(std::string(4, '\0'))
                 .finish();
         },
         100, 0, ""},
        {"literal code incomplete",
         [] {
             std::vector<int> lit(257, 0);
             lit['a'] = lit[256] = 2;
             return deflate_writer()
                 .dynamic_header(true, lit, {1})
                 .raw(std::string(4, '\0'))
                 .finish();
         },
         100, 0, ""},
        {"literal code of one 1-bit code",
         [] {
             std::vector<int> lit(257, 0);
             lit[256] = 1;
             return deflate_writer()
                 .stored(false, "ok")
                 .dynamic_header(true, lit, {1})
                 .dyn_symbol(256)
                 .finish();
         },
         100, 0, "ok"},
        {"distance code of one 1-bit code", [] { return dynamic_abbbb({1}); }, 100, 0, "abbbb"},
        {"distance code of two 2-bit codes",
         [] {
             return dynamic_abbbb({2, 2});
         },
         100, 0, ""},
        {"distance code empty, literals only",
         [] {
             deflate_writer w;
             w.dynamic_header(true, four_symbol_lengths(), {0});
             return w.dyn_symbol('a').dyn_symbol(256).finish();
         },
         100, 0, "a"},
        {"distance code empty, a match", [] { return dynamic_abbbb({0}); }, 100, 0, "ab"},
        // Symbols and distances.
        {"fixed symbol 286",
         [] {
             return deflate_writer()
                 .block_header(true, 1)
                 .fixed_symbol('A')
                 .fixed_symbol(286)
                 .raw(std::string(2, '\0'))
                 .finish();
         },
         100, 0, "A"},
        {"fixed distance 30",
         [] {
             return deflate_writer()
                 .block_header(true, 1)
                 .fixed_symbol('A')
                 .fixed_symbol(257)
                 .fixed_distance(30)
                 .raw(std::string(2, '\0'))
                 .finish();
         },
         100, 0, "A"},
        {"fixed distance 30, input ends",
         [] {
             return deflate_writer()
                 .block_header(true, 1)
                 .fixed_symbol('A')
                 .fixed_symbol(257)
                 .fixed_distance(30)
                 .finish();
         },
         100, -1, ""},
        {"distance too far back",
         [] {
             return deflate_writer()
                 .block_header(true, 1)
                 .fixed_symbol('A')
                 .fixed_symbol(257)
                 .fixed_distance(1)
                 .fixed_symbol(256)
                 .finish();
         },
         100, 0, "A"},
        {"distance to the first byte",
         [] {
             return deflate_writer()
                 .block_header(true, 1)
                 .fixed_symbol('A')
                 .fixed_symbol('B')
                 .fixed_symbol(257)
                 .fixed_distance(1)
                 .fixed_symbol(256)
                 .finish();
         },
         100, 0, "ABABA"},
        {"long overlapping match",
         [] {
             return deflate_writer()
                 .block_header(true, 1)
                 .fixed_symbol('x')
                 .fixed_symbol('y')
                 .fixed_symbol('z')
                 .fixed_symbol(285)
                 .fixed_distance(1)
                 .fixed_symbol(256)
                 .finish();
         },
         300, 0,
         "xyz" +
             [] {
                 std::string s;
                 for (int i = 0; i < 258; ++i) s.push_back("yz"[i % 2]);
                 return s;
             }()},
        // Bytes after the final block are ignored.
        {"junk after the final block", [] { return fixed_text("end") + "junk"; }, 100, 0, "end"},
    };
    return cases;
}

TEST(Inflate, EdgeCases)
{
    for (const edge_case& c : edge_cases()) {
        const std::string src = c.stream();
        const decoded got = inflate(src, c.cap);
        EXPECT_EQ(got.rc, c.rc) << c.what;
        EXPECT_EQ(got.bytes, c.bytes) << c.what;
        EXPECT_EQ(got.len, c.rc == 0 ? c.bytes.size() : 0u) << c.what;
        // The reference agrees, so the expectations above are those of the canonical algorithm.
        std::vector<std::uint8_t> out(c.cap + 1);
        std::uint64_t ref_len = 0;
        EXPECT_EQ(reference_inflate(reinterpret_cast<const std::uint8_t*>(src.data()), src.size(),
                                    out.data(), c.cap, &ref_len),
                  c.rc)
            << c.what;
    }
}

TEST(Inflate, CapacityLimit)
{
    const std::string src = zlib_compress("small", 6);
    std::vector<std::uint8_t> out(16);
    std::uint64_t len = 0;
    // The decoder writes only the 5 decoded bytes, so a small buffer can stand for a large room.
    EXPECT_EQ(decode::inflate_decompress(reinterpret_cast<const std::uint8_t*>(src.data()),
                                         src.size(), out.data(), std::uint64_t{1} << 30, &len),
              0);
    EXPECT_EQ(len, 5u);
    EXPECT_EQ(
        decode::inflate_decompress(reinterpret_cast<const std::uint8_t*>(src.data()), src.size(),
                                   out.data(), (std::uint64_t{1} << 30) + 1, &len),
        -1);
    EXPECT_EQ(len, 0u);
    EXPECT_EQ(decode::inflate_run(reinterpret_cast<const std::uint8_t*>(src.data()), src.size(),
                                  out.data(), (std::uint64_t{1} << 30) + 1, &len),
              decode::inflate_status::refused);
}

TEST(Inflate, StatusTellsFailuresApart)
{
    const std::string src = zlib_compress(thousand, 6);
    std::vector<std::uint8_t> out(2000);
    std::uint64_t len = 0;
    const auto* in = reinterpret_cast<const std::uint8_t*>(src.data());
    EXPECT_EQ(decode::inflate_run(in, src.size(), out.data(), 999, &len),
              decode::inflate_status::output_full);
    EXPECT_EQ(decode::inflate_run(in, src.size() - 6, out.data(), 2000, &len),
              decode::inflate_status::out_of_input);
    EXPECT_EQ(decode::inflate_run(in, 1, out.data(), 2000, &len), decode::inflate_status::refused);
    EXPECT_EQ(decode::inflate_run(in, src.size(), out.data(), 2000, &len),
              decode::inflate_status::ok);
    EXPECT_EQ(len, 1000u);
}

}  // namespace
}  // namespace kestrin::test
