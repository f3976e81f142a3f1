// Fast digests of bytes given piece by piece, to identify files (not to protect them).
#pragma once

#include <array>
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
    void consume(const unsigned char* stripe);

    std::array<std::uint64_t, 4> lanes_;
    std::array<unsigned char, 32> pending_{};  // the start of a stripe not yet consumed
    std::uint64_t length_ = 0;
    std::uint64_t seed_;
};

// 128 bits naming a file's bytes: XXH64 with seeds 0 and 1, little-endian, one after the other.
class file_digest {
public:
    void update(std::string_view bytes)
    {
        first_.update(bytes);
        second_.update(bytes);
    }
    std::array<std::uint8_t, 16> finish() const;

private:
    xxh64 first_{0};
    xxh64 second_{1};
};

}  // namespace kestrin::base
