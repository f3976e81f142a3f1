// Decoding with growing room, and the per-document decoding budget.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "decode/inflate.h"
#include "pdf_builder.h"

namespace kestrin::test {
namespace {

constexpr std::uint64_t mib = std::uint64_t{1} << 20;

TEST(DecodeBudget, Bounds)
{
    struct row {
        std::int32_t file_len;
        std::uint64_t budget;
    };
    const row rows[] = {
        {-5, 64 * mib},                  // nonsense length: the floor
        {0, 64 * mib},                   // empty file: the floor
        {1024 * 1024, 64 * mib},         // 64 x 1 MiB equals the floor
        {2 * 1024 * 1024, 128 * mib},    // 64 x the file
        {16 * 1024 * 1024, 1024 * mib},  // exactly the ceiling
        {INT32_MAX, 1024 * mib},         // no overflow, the ceiling
    };
    for (const row& r : rows) EXPECT_EQ(decode::decode_budget(r.file_len), r.budget) << r.file_len;
}

struct growing_case {
    const char* what;
    std::string src;
    std::uint64_t first_cap;
    std::uint64_t max_out;
    int rc;
    std::uint64_t len;
};

const std::string tenk(10000, 'z');

const std::vector<growing_case>& growing_cases()
{
    static const std::vector<growing_case> cases = {
        {"fits at once", zlib_compress(tenk), 20000, 50000, 0, 10000},
        {"grows twice", zlib_compress(tenk), 1000, 50000, 0, 10000},
        {"grows from nothing", zlib_compress(tenk), 0, 50000, 0, 10000},
        {"exactly the maximum", zlib_compress(tenk), 100, 10000, 0, 10000},
        {"one byte over the maximum", zlib_compress(tenk), 100, 9999, -1, 0},
        {"truncated input is not retried into success", zlib_compress(tenk).substr(0, 8), 10, 50000,
         -1, 0},
        {"refused header", "\x11\x22" + zlib_compress(tenk).substr(2), 10, 50000, -1, 0},
        {"empty output", zlib_compress(""), 0, 0, 0, 0},
    };
    return cases;
}

TEST(InflateGrowing, OwnedBlock)
{
    for (const growing_case& c : growing_cases()) {
        decode::inflated out;
        EXPECT_EQ(decode::inflate_growing(c.src, c.first_cap, c.max_out, out), c.rc) << c.what;
        EXPECT_EQ(out.len, c.len) << c.what;
        if (c.rc == 0) {
            ASSERT_NE(out.data, nullptr) << c.what;
            EXPECT_EQ(std::string(out.data.get(), out.len), tenk.substr(0, c.len)) << c.what;
            EXPECT_EQ(out.data[out.len], '\0') << c.what;
        } else {
            EXPECT_EQ(out.data, nullptr) << c.what;
        }
    }
}

TEST(InflateGrowing, IntoBuffer)
{
    for (const growing_case& c : growing_cases()) {
        base::byte_buffer b;
        b.append("keep");
        std::uint64_t len = 7;
        EXPECT_EQ(decode::inflate_growing(c.src, c.first_cap, c.max_out, b, &len), c.rc) << c.what;
        EXPECT_EQ(len, c.len) << c.what;
        // The decoded bytes follow the old content, which stays; the length is the caller's.
        ASSERT_NE(b.data, nullptr) << c.what;
        EXPECT_EQ(b.len, 4u) << c.what;
        EXPECT_EQ(std::string(b.data.get(), 4), "keep") << c.what;
        if (c.rc == 0) {
            EXPECT_EQ(std::string(b.data.get() + 4, len), tenk.substr(0, c.len)) << c.what;
        }
        EXPECT_GE(b.cap, b.len + len + 1) << c.what;
    }
}

// A maximum beyond what one reservation may give is cut there, and the buffer survives.
TEST(InflateGrowing, BufferLimitDoesNotReleaseTheBuffer)
{
    const std::string big = zlib_compress(std::string(base::buffer_max_reservation + 10, '\0'), 9);
    base::byte_buffer b;
    b.append("keep");
    std::uint64_t len = 0;
    EXPECT_EQ(decode::inflate_growing(big, 1 * mib, std::uint64_t{1} << 30, b, &len), -1);
    EXPECT_FALSE(b.failed);
    ASSERT_NE(b.data, nullptr);
    EXPECT_EQ(std::string(b.view()), "keep");
}

}  // namespace
}  // namespace kestrin::test
