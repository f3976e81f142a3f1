#include "base/md5.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace kestrin::base {

namespace {

// RFC 1321 3.4: the integer part of 2^32 * |sin(i + 1)|.
constexpr std::array<std::uint32_t, 64> sines{
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};

// Left rotations of the four rounds, each used in turn by the round's steps.
constexpr std::array<std::array<int, 4>, 4> rotations{{{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}}};

constexpr std::size_t block_size = 64;

std::uint32_t little_endian_word(const std::uint8_t* at)
{
    return static_cast<std::uint32_t>(at[0]) | static_cast<std::uint32_t>(at[1]) << 8 |
           static_cast<std::uint32_t>(at[2]) << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}

// Step i's mixing function of b, c, d and the index of the message word it adds.
std::uint32_t mix(int i, std::uint32_t b, std::uint32_t c, std::uint32_t d, int& word)
{
    switch (i / 16) {
    case 0: word = i; return (b & c) | (~b & d);
    case 1: word = (5 * i + 1) % 16; return (d & b) | (~d & c);
    case 2: word = (3 * i + 5) % 16; return b ^ c ^ d;
    default: word = (7 * i) % 16; return c ^ (b | ~d);
    }
}

}  // namespace

void md5::compress(const std::uint8_t* block)
{
    std::array<std::uint32_t, 16> m{};
    for (std::size_t k = 0; k < m.size(); ++k) m[k] = little_endian_word(block + 4 * k);
    std::uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
    for (int i = 0; i < 64; ++i) {
        int word = 0;
        const std::uint32_t f = mix(i, b, c, d, word);
        const std::uint32_t sum = a + f + sines[static_cast<std::size_t>(i)] + m[static_cast<std::size_t>(word)];
        a = d;
        d = c;
        c = b;
        b += std::rotl(sum, rotations[static_cast<std::size_t>(i / 16)][static_cast<std::size_t>(i % 4)]);
    }
    state_[0] += a;
    state_[1] += b;
    state_[2] += c;
    state_[3] += d;
}

void md5::update(std::string_view bytes)
{
    const auto* in = reinterpret_cast<const std::uint8_t*>(bytes.data());
    std::size_t left = bytes.size();
    std::size_t held = static_cast<std::size_t>(length_ % block_size);
    length_ += left;
    if (held > 0) {
        const std::size_t take = std::min(left, block_size - held);
        std::memcpy(pending_.data() + held, in, take);
        in += take;
        left -= take;
        if (held + take < block_size) return;
        compress(pending_.data());
    }
    for (; left >= block_size; in += block_size, left -= block_size) compress(in);
    if (left > 0) std::memcpy(pending_.data(), in, left);
}

std::array<std::uint8_t, 16> md5::finish()
{
    // RFC 1321 3.1-3.2: a 1 bit, zeros up to 56 bytes of the last block, the length in bits.
    const std::uint64_t bits = length_ * 8;
    std::array<std::uint8_t, block_size + 8> padding{0x80};
    const std::size_t held = static_cast<std::size_t>(length_ % block_size);
    const std::size_t pad = held < 56 ? 56 - held : block_size + 56 - held;
    update(std::string_view(reinterpret_cast<const char*>(padding.data()), pad));
    std::array<std::uint8_t, 8> length_bytes{};
    for (std::size_t k = 0; k < 8; ++k) length_bytes[k] = static_cast<std::uint8_t>(bits >> (8 * k));
    update(std::string_view(reinterpret_cast<const char*>(length_bytes.data()), length_bytes.size()));
    std::array<std::uint8_t, 16> digest{};
    for (std::size_t k = 0; k < 16; ++k) digest[k] = static_cast<std::uint8_t>(state_[k / 4] >> (8 * (k % 4)));
    return digest;
}

}  // namespace kestrin::base
