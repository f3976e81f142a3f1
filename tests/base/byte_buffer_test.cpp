// The output buffer: growth steps, the NUL after the content, and the sticky failure.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "base/byte_buffer.h"
#include "base/append.h"

namespace kestrin::test {
namespace {

using base::byte_buffer;

constexpr std::uint64_t kib = std::uint64_t{1} << 10;
constexpr std::uint64_t mib = std::uint64_t{1} << 20;

void expect_released(const base::byte_buffer& b, const char* what)
{
    EXPECT_TRUE(b.failed) << what;
    EXPECT_EQ(b.data, nullptr) << what;
    EXPECT_EQ(b.len, 0u) << what;
    EXPECT_EQ(b.cap, 0u) << what;
}

TEST(Buf, EmptyTextAllocatesTheFirstBlock)
{
    base::byte_buffer b;
    b.append("");
    ASSERT_NE(b.data, nullptr);
    EXPECT_EQ(b.len, 0u);
    EXPECT_EQ(b.cap, 4 * kib);
    EXPECT_EQ(b.data[0], '\0');
    EXPECT_FALSE(b.failed);
}

TEST(Buf, GrowthSteps)
{
    struct row {
        const char* what;
        std::uint64_t first;   // bytes appended first
        std::uint64_t second;  // then these
        std::uint64_t cap;     // capacity afterwards
    };
    const row rows[] = {
        {"4 KiB less one fits the first block with its NUL", 4 * kib - 1, 0, 4 * kib},
        {"4 KiB needs the second step", 4 * kib, 0, 8 * kib},
        {"growth doubles, never fits the need exactly", 1'000'000, 100'000, 2 * mib},
        {"one large append doubles until it fits", 10, 5 * mib, 8 * mib},
        {"the largest single reservation", 0, base::buffer_max_reservation, 512 * mib},
    };
    for (const row& r : rows) {
        base::byte_buffer b;
        b.append(std::string(r.first, 'a'));
        if (r.second) b.reserve(r.second);
        EXPECT_EQ(b.cap, r.cap) << r.what;
        EXPECT_EQ(b.len, r.first) << r.what;
        EXPECT_FALSE(b.failed) << r.what;
    }
}

TEST(Buf, ContentSurvivesGrowthAndEndsWithNul)
{
    base::byte_buffer b;
    const std::string with_nuls("a\0b\0c", 5);
    b.append(with_nuls);
    EXPECT_EQ(b.len, 5u);
    EXPECT_EQ(b.data[5], '\0');
    const std::string bulk(3 * mib, 'x');
    b.append(bulk);
    ASSERT_EQ(b.len, 5 + bulk.size());
    EXPECT_EQ(std::string(b.view().substr(0, 5)), with_nuls);
    EXPECT_EQ(b.data[b.len], '\0');
    EXPECT_EQ(b.cap, 4 * mib);
}

// Bytes taken from the buffer itself stay right when the append makes it grow.
TEST(Buf, AppendOfItsOwnBytesAcrossGrowth)
{
    base::byte_buffer b;
    b.append(std::string(mib - 10, 'q'));
    b.append("tail");
    b.append(b.view());
    ASSERT_EQ(b.len, 2 * (mib - 6));
    EXPECT_EQ(b.view().substr(b.len - 4), "tail");
    EXPECT_EQ(b.view().substr(mib - 6, 4), "qqqq");
}

TEST(Buf, FailedReservationIsSticky)
{
    struct row {
        const char* what;
        bool fill_first;
        std::uint64_t n;
    };
    const row rows[] = {
        {"over 256 MiB on an empty record", false, base::buffer_max_reservation + 1},
        {"over 256 MiB on a used buffer", true, base::buffer_max_reservation + 1},
        {"the largest 64-bit request", true, UINT64_MAX},
    };
    for (const row& r : rows) {
        base::byte_buffer b;
        if (r.fill_first) b.append("earlier output");
        b.reserve(r.n);
        expect_released(b, r.what);
        // No later append may start over: the output would look complete but be shortened.
        b.append("later");
        b.append("more");
        base::append(b, 5);
        b.reserve(1);
        expect_released(b, r.what);
    }
}

// Room handed out for the caller to fill sits after the content, across a growth, and the NUL
// follows it; a refused request hands out nothing and fails the buffer like an append.
TEST(Buf, ExtendHandsOutRoomAfterTheContent)
{
    byte_buffer b;
    b.append("head ");
    char* room = b.extend(8 * kib);
    ASSERT_NE(room, nullptr);
    EXPECT_EQ(room, b.data.get() + 5);
    std::string filled(8 * kib, 'x');
    std::memcpy(room, filled.data(), filled.size());
    EXPECT_EQ(b.len, 5 + 8 * kib);
    EXPECT_EQ(b.view(), "head " + filled);
    EXPECT_EQ(b.data[static_cast<std::size_t>(b.len)], '\0');

    EXPECT_EQ(b.extend(base::buffer_max_reservation + 1), nullptr);
    expect_released(b, "room over 256 MiB");
    EXPECT_EQ(b.extend(1), nullptr);
}

// A buffer at the 1 GiB ceiling cannot grow further; the record is shaped to stand at the
// ceiling without owning that much memory (the failing reservation never touches the bytes).
TEST(Buf, NeedOverTheMaximumFails)
{
    base::byte_buffer b;
    b.append("x");
    b.cap = base::buffer_max_size;
    b.len = base::buffer_max_size - 10;
    b.reserve(9);  // fits: len + 9 + 1 == cap
    EXPECT_FALSE(b.failed);
    EXPECT_EQ(b.cap, base::buffer_max_size);
    b.reserve(10);
    expect_released(b, "one byte over 1 GiB");
}

}  // namespace
}  // namespace kestrin::test
