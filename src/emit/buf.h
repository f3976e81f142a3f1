// The growable, always NUL-terminated byte buffer in which all output is built.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

namespace kestrin::emit {

struct buf {
    std::unique_ptr<char[]> data;  // absent before the first reservation and after a failed one
    std::uint64_t len = 0;
    std::uint64_t cap = 0;
    // Set by the first failed reservation and never cleared: a later append must not start a new
    // block and pass off a shortened output as complete.
    bool failed = false;
    // Bytes already handed on to the output file, before data[0]: they count towards the size
    // limit, and an output position is flushed + an index into data.
    std::uint64_t flushed = 0;

    std::string_view view() const { return {data.get(), static_cast<std::size_t>(len)}; }
};

inline constexpr std::uint64_t buf_first_cap = 1u << 20;        // 1 MiB
inline constexpr std::uint64_t buf_max_cap = 1u << 30;          // 1 GiB, flushed bytes included
inline constexpr std::uint64_t buf_max_reservation = 1u << 28;  // 256 MiB per request

// Where a writer hands its buffer once it has grown past a few MiB of whole objects.
class piece_sink {
public:
    // Takes the bytes of b (whose flushed count already includes them) and leaves b empty,
    // with or without a block.
    virtual void take(buf& b) = 0;

protected:
    ~piece_sink() = default;
};

// Ensures room for n more bytes plus the NUL; on failure the buffer is released and marked failed.
void buf_reserve(buf& b, std::uint64_t n);

// Appends bytes (may contain NULs); nothing when the reservation fails.
void buf_append(buf& b, std::string_view bytes);

// Empties the buffer for reuse, keeping its storage.
void buf_clear(buf& b);

// Appends a NUL-terminated text.
void buf_str(buf& b, const char* text);

}  // namespace kestrin::emit
