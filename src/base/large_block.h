// Memory for buffers of many MiB (the input file, the output, decoded object streams). Such memory
// is mapped directly and marked for huge pages: filling it then costs one page fault per 2 MiB
// instead of one per 4 KiB, which on a large file is most of the system time. Smaller blocks come
// from the ordinary heap. A block records how it was taken, so its pointer alone frees it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

namespace kestrin::base {

// Frees a block of allocate_large_block; nothing for null.
void release_large_block(char* block);

// The owner of one block of allocate_large_block. It takes no other pointer, so that no block of
// new[] or malloc can reach release_large_block.
class large_block_owner {
public:
    large_block_owner() = default;

    char* get() const { return block_.get(); }
    char& operator[](std::size_t i) const { return block_[i]; }
    explicit operator bool() const { return static_cast<bool>(block_); }
    bool operator==(std::nullptr_t) const { return !block_; }

    void reset() { block_.reset(); }
    // Gives the block up, to be freed by release_large_block.
    char* release() { return block_.release(); }

private:
    struct free_block {
        void operator()(char* block) const { release_large_block(block); }
    };
    friend large_block_owner allocate_large_block(std::size_t size);
    explicit large_block_owner(char* block) : block_(block) {}

    std::unique_ptr<char[], free_block> block_;
};

// A block of size bytes (contents unspecified), or null when it cannot be had.
large_block_owner allocate_large_block(std::size_t size);

}  // namespace kestrin::base

namespace kestrin::base {

// The allocator of containers that grow to many MiB (the object table, the plan's items): their
// storage comes from allocate_large_block.
template <class T>
struct large_allocator {
    using value_type = T;

    large_allocator() = default;
    template <class U>
    large_allocator(const large_allocator<U>&) noexcept
    {
    }

    T* allocate(std::size_t n)
    {
        if (n > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
        char* block = allocate_large_block(n * sizeof(T)).release();
        if (block == nullptr) throw std::bad_alloc();
        return reinterpret_cast<T*>(block);
    }

    void deallocate(T* p, std::size_t) noexcept { release_large_block(reinterpret_cast<char*>(p)); }

    template <class U>
    bool operator==(const large_allocator<U>&) const noexcept
    {
        return true;
    }
};

// A vector whose storage may grow to many MiB: a table indexed by object number, say.
template <class T>
using large_vector = std::vector<T, large_allocator<T>>;

}  // namespace kestrin::base
