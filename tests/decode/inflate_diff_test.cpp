// Our decoder against zlib and against the bit-by-bit reference: same bytes on every kind of
// compressed stream, and the same result, length and bytes on damaged ones.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "decode/inflate.h"
#include "reference_inflate.h"

namespace kestrin::test {
namespace {

using bytes = std::vector<std::uint8_t>;

std::string compress_with(const bytes& data, int level, int strategy)
{
    z_stream z{};
    if (deflateInit2(&z, level, Z_DEFLATED, 15, 8, strategy) != Z_OK) return {};
    std::string out(deflateBound(&z, data.size()) + 16, '\0');
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int rc = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return rc == Z_STREAM_END ? out : std::string();
}

bytes zlib_inflate(const std::string& comp, std::size_t expect)
{
    bytes out(expect + 1);
    uLongf len = static_cast<uLongf>(out.size());
    const int rc = uncompress(out.data(), &len, reinterpret_cast<const Bytef*>(comp.data()),
                              static_cast<uLong>(comp.size()));
    out.resize(rc == Z_OK ? len : 0);
    return out;
}

struct outcome {
    int rc = 0;
    std::uint64_t len = 0;
    bytes data;
};

outcome run_ours(const std::string& comp, std::uint64_t cap)
{
    outcome o;
    o.data.resize(cap + 1);
    o.rc = decode::inflate_decompress(reinterpret_cast<const std::uint8_t*>(comp.data()),
                                      comp.size(), o.data.data(), cap, &o.len);
    o.data.resize(o.rc == 0 ? o.len : 0);
    return o;
}

outcome run_reference(const std::string& comp, std::uint64_t cap)
{
    outcome o;
    o.data.resize(cap + 1);
    o.rc = reference_inflate(reinterpret_cast<const std::uint8_t*>(comp.data()), comp.size(),
                             o.data.data(), cap, &o.len);
    o.data.resize(o.rc == 0 ? o.len : 0);
    return o;
}

// Same result code, reported length and bytes from both decoders.
void expect_same(const std::string& comp, std::uint64_t cap, const std::string& what)
{
    const outcome ours = run_ours(comp, cap);
    const outcome ref = run_reference(comp, cap);
    ASSERT_EQ(ours.rc, ref.rc) << what;
    ASSERT_EQ(ours.len, ref.len) << what;
    ASSERT_TRUE(ours.data == ref.data) << what;
}

// Inputs of different character: each stresses other codes and match shapes.
enum class kind { random, text, runs, content, zeros };

bytes make_data(kind k, std::size_t n, std::mt19937& rng)
{
    static const char* words[] = {"BT", "ET", "Tf",   "Td",  "Tj",      "re", "f",  "q", "Q", "cm",
                                  "0",  "1",  "12.5", "/F1", "(Hello)", "rg", "RG", "m", "l", "S"};
    bytes out;
    out.reserve(n);
    while (out.size() < n) {
        switch (k) {
            case kind::random: out.push_back(static_cast<std::uint8_t>(rng())); break;
            case kind::text:
                out.push_back(static_cast<std::uint8_t>('a' + rng() % 26 * (rng() % 4 != 0)));
                break;
            case kind::runs:
                out.insert(out.end(), 1 + rng() % 300, static_cast<std::uint8_t>(rng() % 3));
                break;
            case kind::content: {
                const std::string w =
                    std::string(words[rng() % 20]) + (rng() % 6 == 0 ? "\n" : " ");
                out.insert(out.end(), w.begin(), w.end());
                break;
            }
            case kind::zeros: out.push_back(0); break;
        }
    }
    out.resize(n);
    return out;
}

const std::vector<std::pair<int, int>>& level_strategies()
{
    static const std::vector<std::pair<int, int>> all = [] {
        std::vector<std::pair<int, int>> v;
        for (int level = 0; level <= 9; ++level) v.emplace_back(level, Z_DEFAULT_STRATEGY);
        for (int s : {Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED}) v.emplace_back(6, s);
        return v;
    }();
    return all;
}

TEST(InflateDifferential, ZlibStreamsDecodeToTheOriginal)
{
    std::mt19937 rng(12345);
    const std::size_t sizes[] = {0, 1, 2, 7, 100, 1000, 4095, 33000, 65536, 100001, 300000};
    for (kind k : {kind::random, kind::text, kind::runs, kind::content, kind::zeros}) {
        for (std::size_t n : sizes) {
            const bytes data = make_data(k, n, rng);
            for (auto [level, strategy] : level_strategies()) {
                // The largest inputs only at a few settings, to keep the run short.
                if (n > 100000 && level != 1 && level != 9 && strategy == Z_DEFAULT_STRATEGY)
                    continue;
                const std::string comp = compress_with(data, level, strategy);
                ASSERT_FALSE(comp.empty());
                const std::string what = "kind " + std::to_string(static_cast<int>(k)) + " size " +
                                         std::to_string(n) + " level " + std::to_string(level) +
                                         " strategy " + std::to_string(strategy);
                const outcome ours = run_ours(comp, n);
                ASSERT_EQ(ours.rc, 0) << what;
                ASSERT_TRUE(ours.data == data) << what;
                ASSERT_TRUE(zlib_inflate(comp, n) == data) << what;
                const outcome ref = run_reference(comp, n);
                ASSERT_TRUE(ref.data == data) << what;
            }
        }
    }
}

// Small compressed samples of every block type, the bases of the damaged variants.
std::vector<std::string> damage_bases()
{
    std::mt19937 rng(777);
    std::vector<std::string> bases;
    for (kind k : {kind::random, kind::text, kind::runs, kind::content}) {
        for (std::size_t n : {40u, 700u, 5000u}) {
            const bytes data = make_data(k, n, rng);
            for (auto [level, strategy] : level_strategies())
                if (level == 0 || level == 1 || level == 9 || strategy != Z_DEFAULT_STRATEGY)
                    bases.push_back(compress_with(data, level, strategy));
        }
    }
    return bases;
}

TEST(InflateDifferential, BitFlipsGiveTheReferenceResult)
{
    std::mt19937 rng(4242);
    for (const std::string& base : damage_bases()) {
        for (int trial = 0; trial < 60; ++trial) {
            std::string bad = base;
            const int flips = 1 + static_cast<int>(rng() % 3);
            for (int f = 0; f < flips; ++f) {
                // Past the header, so the damage reaches the block data.
                const std::size_t at = 2 + rng() % (bad.size() - 2);
                bad[at] = static_cast<char>(bad[at] ^ (1 << (rng() % 8)));
            }
            expect_same(bad, 6000, "flip trial " + std::to_string(trial));
        }
    }
}

TEST(InflateDifferential, TruncationsGiveTheReferenceResult)
{
    for (const std::string& base : damage_bases()) {
        const std::size_t step = base.size() > 400 ? base.size() / 200 : 1;
        for (std::size_t cut = 0; cut <= base.size(); cut += step)
            expect_same(base.substr(0, cut), 6000, "cut at " + std::to_string(cut));
    }
}

TEST(InflateDifferential, SmallCapacitiesGiveTheReferenceResult)
{
    std::mt19937 rng(99);
    for (const std::string& base : damage_bases()) {
        const outcome full = run_reference(base, 6000);
        ASSERT_EQ(full.rc, 0);
        const std::uint64_t n = full.len;
        for (std::uint64_t cap : {std::uint64_t{0}, std::uint64_t{1}, n / 2, n - (n > 0), n, n + 1,
                                  std::uint64_t{rng() % (n + 1)}})
            expect_same(base, cap, "capacity " + std::to_string(cap));
    }
}

// Random bytes behind a valid header reach every error path of the code descriptions.
TEST(InflateDifferential, RandomBlocksGiveTheReferenceResult)
{
    std::mt19937 rng(2024);
    for (int trial = 0; trial < 20000; ++trial) {
        std::string junk = "\x78\x9c";
        const std::size_t n = rng() % 64;
        for (std::size_t i = 0; i < n; ++i) junk.push_back(static_cast<char>(rng()));
        // Steer the first block to each type.
        if (n > 0) junk[2] = static_cast<char>((junk[2] & ~6) | ((trial % 4) << 1));
        expect_same(junk, 1 + rng() % 300, "junk trial " + std::to_string(trial));
    }
}

}  // namespace
}  // namespace kestrin::test
