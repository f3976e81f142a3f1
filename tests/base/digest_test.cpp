// XXH64 against published values, whole and given in pieces that cross stripe edges.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "base/digest.h"

namespace kestrin::test {
namespace {

std::uint64_t in_pieces(std::string_view text, std::size_t piece, std::uint64_t seed = 0)
{
    base::xxh64 h(seed);
    for (std::size_t at = 0; at < text.size(); at += piece) h.update(text.substr(at, piece));
    return h.finish();
}

TEST(Xxh64, PublishedValues)
{
    const struct {
        std::string_view text;
        std::uint64_t value;
    } cases[] = {
        {"", 0xEF46DB3751D8E999ull},
        {"a", 0xD24EC4F1A98C6E5Bull},
        {"abc", 0x44BC2CF5AD770999ull},
    };
    for (const auto& c : cases) EXPECT_EQ(in_pieces(c.text, 1), c.value) << c.text;
}

// Every split of texts around the 32-byte stripe gives the value of the whole.
TEST(Xxh64, PiecesGiveTheWholeValue)
{
    std::string text;
    for (int i = 0; i < 200; ++i) text += static_cast<char>(i * 37 + 11);
    for (std::size_t length : {std::size_t{3}, std::size_t{31}, std::size_t{32}, std::size_t{33}, std::size_t{64},
                               std::size_t{71}, std::size_t{200}}) {
        const std::string_view t = std::string_view(text).substr(0, length);
        const std::uint64_t whole = in_pieces(t, t.size() + 1, 7);
        for (std::size_t piece : {std::size_t{1}, std::size_t{5}, std::size_t{32}, std::size_t{45}})
            EXPECT_EQ(in_pieces(t, piece, 7), whole) << length << " in pieces of " << piece;
    }
}

// An empty piece, as an emptied buffer hands out (no storage at all), changes nothing, at a stripe
// edge and between two.
TEST(Xxh64, EmptyPiecesWithoutStorageChangeNothing)
{
    const std::string text(45, 'q');
    for (std::size_t cut : {std::size_t{0}, std::size_t{13}, std::size_t{32}}) {
        base::xxh64 h(3);
        h.update(std::string_view(text).substr(0, cut));
        h.update(std::string_view());
        h.update(std::string_view(text).substr(cut));
        EXPECT_EQ(h.finish(), in_pieces(text, text.size(), 3)) << cut;
    }
}

TEST(FileDigest, EveryByteAndTheLengthCount)
{
    const auto digest = [](std::string_view text) {
        base::file_digest d;
        d.update(text);
        return d.finish();
    };
    const std::string base(100, 'x');
    std::string changed = base;
    changed[50] = 'y';
    EXPECT_EQ(digest(base), digest(base));
    EXPECT_NE(digest(base), digest(changed));
    EXPECT_NE(digest(base), digest(base + std::string(1, '\0')));
    // The second half spreads the first under another seed.
    const auto d = digest(base);
    EXPECT_NE(std::string(d.begin(), d.begin() + 8), std::string(d.begin() + 8, d.end()));
}

}  // namespace
}  // namespace kestrin::test
