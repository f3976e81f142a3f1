// Fast digests of bytes given piece by piece, to identify files (not to protect them).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kestrin::base {

// XXH64, the 64-bit hash of xxHash (its published algorithm), over the bytes given so far.
class xxh64 {
public:
    explicit xxh64(std::uint64_t seed);
    void update(std::string_view bytes);
    std::uint64_t finish() const;

private:
    void consume(const unsigned char* stripes, std::size_t count);

    std::array<std::uint64_t, 4> lanes_;
    std::array<unsigned char, 32> pending_{};  // the start of a stripe not yet consumed
    std::uint64_t length_ = 0;
    std::uint64_t seed_;
};

// 128 bits naming a file's bytes: the XXH64 (seed 0) of the bytes (which counts their length),
// then the XXH64 (seed 1) of that hash, little-endian. The bytes are hashed once: the second half
// only spreads the first, which is enough for an identifier.
class file_digest {
public:
    void update(std::string_view bytes) { bytes_.update(bytes); }
    std::array<std::uint8_t, 16> finish() const;

private:
    xxh64 bytes_{0};
};

}  // namespace kestrin::base
