// The growable, always NUL-terminated byte buffer in which all output is built.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "base/large_block.h"

namespace kestrin::base {

// Small: most buffers hold one object or one page's content, and a new buffer is made for each.
inline constexpr std::uint64_t buffer_first_capacity = 1u << 12;  // 4 KiB
inline constexpr std::uint64_t buffer_max_size = 1u << 30;        // 1 GiB, flushed bytes included
inline constexpr std::uint64_t buffer_max_reservation = 1u << 28;  // 256 MiB per request

struct byte_buffer {
    large_block_owner data;  // absent before the first reservation and after a failed one
    std::uint64_t len = 0;
    std::uint64_t cap = 0;
    // Set by the first failed reservation and never cleared: a later append must not start a new
    // block and pass off a shortened output as complete.
    bool failed = false;
    // Bytes already handed on to the output file, before data[0]: they count towards the size
    // limit, and an output position is flushed + an index into data.
    std::uint64_t flushed = 0;
    // The capacity of the first block: more than the default where the buffer is known to grow
    // that far.
    std::uint64_t first_capacity = buffer_first_capacity;

    std::string_view view() const { return {data.get(), static_cast<std::size_t>(len)}; }

    // Ensures room for n more bytes plus the NUL; on failure the storage is released and the
    // buffer marked failed.
    void reserve(std::uint64_t n);

    // Appends bytes (may contain NULs, may lie inside this buffer); nothing when the reservation
    // fails.
    void append(std::string_view bytes);

    // Appends n bytes for the caller to fill and returns where they start; null when the
    // reservation fails.
    char* extend(std::uint64_t n);

    // Empties the buffer for reuse, keeping its storage.
    void clear();

private:
    void fail();
    bool resize(std::uint64_t new_cap);
    bool first_block();
};

}  // namespace kestrin::base
