// MD5 (RFC 1321) over bytes given piece by piece. It names files, not secrets: ISO 32000-1 14.4
// recommends it for the file identifiers of a trailer's "ID".
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace kestrin::base {

class md5 {
public:
    void update(std::string_view bytes);
    // The digest of every byte given so far; update must not follow.
    std::array<std::uint8_t, 16> finish();

private:
    void compress(const std::uint8_t* block);

    std::array<std::uint32_t, 4> state_{0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
    std::array<std::uint8_t, 64> pending_{};  // the start of a block not yet compressed
    std::uint64_t length_ = 0;                // bytes given so far
};

}  // namespace kestrin::base
