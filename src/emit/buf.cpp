#include "emit/buf.h"

#include <cstring>
#include <functional>
#include <new>

namespace kestrin::emit {

namespace {

// Releases the storage and marks the buffer, so no later append can start over and leave a
// shortened output that looks complete.
void buf_fail(buf& b)
{
    b.data.reset();
    b.len = 0;
    b.cap = 0;
    b.failed = true;
}

// Moves the content into a new block of new_cap bytes; false when the allocation fails.
bool buf_resize(buf& b, std::uint64_t new_cap)
{
    std::unique_ptr<char[]> block(new (std::nothrow) char[static_cast<std::size_t>(new_cap)]);
    if (!block) return false;
    std::memcpy(block.get(), b.data.get(), static_cast<std::size_t>(b.len) + 1);
    b.data = std::move(block);
    b.cap = new_cap;
    return true;
}

// First block: 1 MiB, empty and NUL-terminated.
bool buf_first_block(buf& b)
{
    b.data.reset(new (std::nothrow) char[buf_first_cap]);
    if (!b.data) return false;
    b.data[0] = 0;
    b.len = 0;
    b.cap = buf_first_cap;
    return true;
}

}  // namespace

void buf_reserve(buf& b, std::uint64_t n)
{
    if (b.failed) return;
    if (!b.data && !buf_first_block(b)) {
        buf_fail(b);
        return;
    }
    if (n > buf_max_reservation) {
        buf_fail(b);
        return;
    }
    // Cannot overflow: flushed + len < 1 GiB and n <= 256 MiB.
    if (b.flushed + b.len + n + 1 > buf_max_cap) {
        buf_fail(b);
        return;
    }
    const std::uint64_t need = b.len + n + 1;
    if (need <= b.cap) return;
    std::uint64_t new_cap = b.cap;
    while (new_cap < need && new_cap < buf_max_cap) new_cap *= 2;
    if (new_cap < need || !buf_resize(b, new_cap)) buf_fail(b);
}

void buf_append(buf& b, std::string_view bytes)
{
    // Bytes taken from b itself would move with a growth; keep their offset instead.
    const char* base = b.data.get();
    const bool inside = base && std::greater_equal<const char*>()(bytes.data(), base) &&
                        std::less<const char*>()(bytes.data(), base + b.cap);
    const std::size_t offset = inside ? static_cast<std::size_t>(bytes.data() - base) : 0;
    buf_reserve(b, bytes.size());
    if (!b.data) return;
    const char* from = inside ? b.data.get() + offset : bytes.data();
    if (!bytes.empty()) std::memmove(b.data.get() + b.len, from, bytes.size());
    b.len += bytes.size();
    b.data[static_cast<std::size_t>(b.len)] = 0;
}

void buf_clear(buf& b)
{
    b.len = 0;
    if (b.data) b.data[0] = '\0';
}

void buf_str(buf& b, const char* text)
{
    buf_append(b, text ? std::string_view(text) : std::string_view());
}

}  // namespace kestrin::emit
