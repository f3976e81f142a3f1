// Blocks for large buffers: every size on either side of the mapped threshold holds its bytes,
// is aligned like the heap's blocks, and is freed through its pointer alone.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

#include "base/large_block.h"

namespace kestrin::test {
namespace {

constexpr std::size_t mib = std::size_t{1} << 20;

TEST(LargeBlock, EverySizeHoldsItsBytesAndIsFreedByItsPointer)
{
    // Around the mapped threshold (4 MiB with the block's header) and past a huge page.
    for (const std::size_t size : {std::size_t{0}, std::size_t{1}, 4096 + std::size_t{1}, 2 * mib + 1,
                                   4 * mib - 17, 4 * mib - 16, 4 * mib, 9 * mib + 3}) {
        base::large_block_owner block = base::allocate_large_block(size);
        ASSERT_NE(block, nullptr) << size;
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block.get()) % alignof(std::max_align_t), 0u) << size;
        for (std::size_t i = 0; i < size; ++i) block[i] = static_cast<char>(i * 31);
        bool intact = true;
        for (std::size_t i = 0; i < size; ++i) intact = intact && block[i] == static_cast<char>(i * 31);
        EXPECT_TRUE(intact) << size;
        base::release_large_block(block.release());
    }
}

TEST(LargeBlock, ImpossibleSizeIsRefused)
{
    EXPECT_EQ(base::allocate_large_block(SIZE_MAX), nullptr);
    EXPECT_EQ(base::allocate_large_block(SIZE_MAX - mib), nullptr);
}

TEST(LargeBlock, ContainersKeepTheirElementsAcrossGrowth)
{
    // Growth moves the elements from heap blocks to mapped ones and between mapped ones.
    std::vector<std::uint64_t, base::large_allocator<std::uint64_t>> values;
    for (std::uint64_t i = 0; i < 3 * mib; ++i) values.push_back(i * i);
    bool intact = true;
    for (std::uint64_t i = 0; i < values.size(); ++i) intact = intact && values[i] == i * i;
    EXPECT_TRUE(intact);
    EXPECT_THROW(values.reserve(values.max_size()), std::bad_alloc);
}

}  // namespace
}  // namespace kestrin::test
