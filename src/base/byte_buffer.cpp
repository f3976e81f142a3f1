#include "base/byte_buffer.h"

#include <cstring>
#include <functional>
#include <new>

namespace kestrin::base {

// Releases the storage and marks the buffer, so no later append can start over and leave a
// shortened output that looks complete.
void byte_buffer::fail()
{
    data.reset();
    len = 0;
    cap = 0;
    failed = true;
}

// Moves the content into a new block of new_cap bytes; false when the allocation fails.
bool byte_buffer::resize(std::uint64_t new_cap)
{
    large_block_owner block = allocate_large_block(static_cast<std::size_t>(new_cap));
    if (!block) return false;
    std::memcpy(block.get(), data.get(), static_cast<std::size_t>(len) + 1);
    data = std::move(block);
    cap = new_cap;
    return true;
}

// First block: first_capacity bytes, empty and NUL-terminated.
bool byte_buffer::first_block()
{
    data = allocate_large_block(first_capacity);
    if (!data) return false;
    data[0] = 0;
    len = 0;
    cap = first_capacity;
    return true;
}

void byte_buffer::reserve(std::uint64_t n)
{
    if (failed) return;
    if (!data && !first_block()) {
        fail();
        return;
    }
    if (n > buffer_max_reservation) {
        fail();
        return;
    }
    // Cannot overflow: flushed + len < 1 GiB and n <= 256 MiB.
    if (flushed + len + n + 1 > buffer_max_size) {
        fail();
        return;
    }
    const std::uint64_t need = len + n + 1;
    if (need <= cap) return;
    std::uint64_t new_cap = cap;
    while (new_cap < need && new_cap < buffer_max_size) new_cap *= 2;
    if (new_cap < need || !resize(new_cap)) fail();
}

void byte_buffer::append(std::string_view bytes)
{
    // Bytes taken from this buffer would move with a growth; keep their offset instead.
    const char* old = data.get();
    const bool inside = old && std::greater_equal<const char*>()(bytes.data(), old) &&
                        std::less<const char*>()(bytes.data(), old + cap);
    const std::size_t offset = inside ? static_cast<std::size_t>(bytes.data() - old) : 0;
    char* to = extend(bytes.size());
    if (to == nullptr) return;
    const char* from = inside ? data.get() + offset : bytes.data();
    if (!bytes.empty()) std::memmove(to, from, bytes.size());
}

char* byte_buffer::extend(std::uint64_t n)
{
    reserve(n);
    if (!data) return nullptr;
    char* start = data.get() + len;
    len += n;
    data[static_cast<std::size_t>(len)] = 0;
    return start;
}

void byte_buffer::clear()
{
    len = 0;
    if (data) data[0] = '\0';
}

}  // namespace kestrin::base
