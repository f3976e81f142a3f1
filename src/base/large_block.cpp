#include "base/large_block.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace kestrin::base {

namespace {

constexpr std::size_t huge_page = std::size_t{2} << 20;
constexpr std::size_t small_page = 4096;

// Below this a block stays on the heap, where it is reused between allocations: a huge page
// partly used is wholly resident, which would cost a small file's buffers more memory than
// their faults cost time.
constexpr std::size_t min_mapped_size = 2 * huge_page;

// Before each block: the bytes mapped for it, or 0 when it came from the heap. Its size keeps
// the block as aligned as the heap's own.
constexpr std::size_t header_size = alignof(std::max_align_t);

std::size_t round_up(std::size_t n, std::size_t unit) { return (n + unit - 1) / unit * unit; }

char* with_header(char* start, std::size_t mapped)
{
    std::memcpy(start, &mapped, sizeof mapped);
    return start + header_size;
}

// A mapping of size bytes (whole small pages) starting on a huge-page boundary: one huge page
// more is mapped and the unaligned ends are returned at once. The whole huge pages it spans take
// huge pages; a tail of less than one takes small pages, so that no block holds more than a small
// page it does not use.
char* map_aligned(std::size_t size)
{
    const std::size_t span = size + huge_page;
    void* raw = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) return nullptr;
    char* start = static_cast<char*>(raw);
    char* aligned = reinterpret_cast<char*>(round_up(reinterpret_cast<std::uintptr_t>(start), huge_page));
    if (aligned > start) munmap(start, static_cast<std::size_t>(aligned - start));
    char* end = aligned + size;
    if (start + span > end) munmap(end, static_cast<std::size_t>(start + span - end));
    // Advice only: without huge pages the block works as well, with more faults.
    madvise(aligned, size, MADV_HUGEPAGE);
    return aligned;
}

}  // namespace

void release_large_block(char* block)
{
    if (block == nullptr) return;
    char* start = block - header_size;
    std::size_t mapped = 0;
    std::memcpy(&mapped, start, sizeof mapped);
    if (mapped > 0)
        munmap(start, mapped);
    else
        std::free(start);
}

large_block_owner allocate_large_block(std::size_t size)
{
    if (size > SIZE_MAX - 2 * huge_page) return large_block_owner(nullptr);
    const std::size_t whole = size + header_size;
    if (whole < min_mapped_size) {
        char* start = static_cast<char*>(std::malloc(whole));
        return large_block_owner(start ? with_header(start, 0) : nullptr);
    }
    const std::size_t mapped = round_up(whole, small_page);
    char* start = map_aligned(mapped);
    return large_block_owner(start ? with_header(start, mapped) : nullptr);
}

}  // namespace kestrin::base
