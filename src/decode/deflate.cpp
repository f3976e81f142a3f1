// The encoder writes what the decoder reads: codes of the fixed table (RFC 1951 3.2.6), the first
// bit of a code first, extra bits least significant first.
#include "decode/deflate.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#include "decode/deflate_format.h"

namespace kestrin::decode {

namespace {

constexpr std::uint32_t min_match = 3;
constexpr std::uint32_t max_match = 258;
constexpr std::uint32_t window = 32768;
constexpr int end_of_block = 256;
// The hash table has one entry per byte of input, within these bounds: small texts clear a small
// table, large ones keep candidates apart.
constexpr int min_hash_bits = 8;
constexpr int max_hash_bits = 15;
// The largest count of bytes whose Adler-32 sums fit 32 bits before the modulo (RFC 1950 9).
constexpr std::size_t adler_run = 5552;
constexpr std::uint32_t adler_base = 65521;

constexpr std::uint32_t reversed_bits(std::uint32_t code, int len)
{
    std::uint32_t r = 0;
    for (int i = 0; i < len; ++i) r |= ((code >> i) & 1u) << (len - 1 - i);
    return r;
}

// A code as the bit writer takes it: already reversed, so that its first bit goes out first.
struct code {
    std::uint16_t bits = 0;
    std::uint8_t len = 0;
};

// The fixed literal/length code: 0-143 eight bits from 00110000, 144-255 nine bits from
// 110010000, 256-279 seven bits from 0000000, 280-287 eight bits from 11000000.
constexpr std::array<code, 288> make_fixed_codes()
{
    std::array<code, 288> t{};
    for (std::uint32_t s = 0; s < t.size(); ++s) {
        std::uint32_t c = 0;
        int len = 0;
        if (s < 144) c = 0x30 + s, len = 8;
        else if (s < 256) c = 0x190 + s - 144, len = 9;
        else if (s < 280) c = s - 256, len = 7;
        else c = 0xc0 + s - 280, len = 8;
        t[s] = {static_cast<std::uint16_t>(reversed_bits(c, len)), static_cast<std::uint8_t>(len)};
    }
    return t;
}
constexpr auto fixed_codes = make_fixed_codes();

// Length symbol index (0..28) of each match length 3..258.
constexpr std::array<std::uint8_t, max_match + 1> make_length_index()
{
    std::array<std::uint8_t, max_match + 1> t{};
    std::uint8_t i = 0;
    for (std::uint32_t len = min_match; len <= max_match; ++len) {
        while (i + 1u < format::lens.size() && format::lens[i + 1u] <= len) ++i;
        t[len] = i;
    }
    return t;
}
constexpr auto length_index = make_length_index();

std::uint32_t distance_symbol(std::uint32_t dist)
{
    const auto* after = std::upper_bound(format::dists.begin(), format::dists.end(), dist);
    return static_cast<std::uint32_t>(after - format::dists.begin()) - 1;
}

// Bits least significant first, into out, which has room for all of them: whole bytes are
// stored four at a time.
class bit_writer {
public:
    explicit bit_writer(char* out) : out_(out) {}

    void put(std::uint32_t bits, int n)
    {
        pending_ |= static_cast<std::uint64_t>(bits) << count_;
        count_ += n;
        if (count_ >= 32) {
            for (int i = 0; i < 4; ++i) *out_++ = static_cast<char>((pending_ >> (8 * i)) & 0xff);
            pending_ >>= 32;
            count_ -= 32;
        }
    }

    void put(const code& c) { put(c.bits, c.len); }

    // Pads the last byte with zero bits; returns the end of the bytes written.
    char* flush()
    {
        for (; count_ > 0; count_ -= 8, pending_ >>= 8) *out_++ = static_cast<char>(pending_ & 0xff);
        return out_;
    }

private:
    char* out_;
    std::uint64_t pending_ = 0;
    int count_ = 0;
};

void put_match(bit_writer& bits, std::uint32_t len, std::uint32_t dist)
{
    const std::uint32_t li = length_index[len];
    bits.put(fixed_codes[257 + li]);
    if (format::lext[li] != 0) bits.put(len - format::lens[li], format::lext[li]);
    const std::uint32_t di = distance_symbol(dist);
    bits.put(reversed_bits(di, 5), 5);
    if (format::dext[di] != 0) bits.put(dist - format::dists[di], format::dext[di]);
}

std::uint32_t three_bytes(const unsigned char* p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16;
}

// Greedy matching: at each position the last earlier one with the same hash is the only candidate.
void put_data(bit_writer& bits, std::string_view data)
{
    const auto* p = reinterpret_cast<const unsigned char*>(data.data());
    const std::size_t n = data.size();
    int hash_bits = min_hash_bits;
    while (hash_bits < max_hash_bits && (std::size_t{1} << hash_bits) < n) ++hash_bits;
    // Positions fit 32 bits: the writer's texts stay far below 2 GiB.
    std::vector<std::int32_t> head(std::size_t{1} << hash_bits, -1);
    auto hash = [&](std::size_t i) { return (three_bytes(p + i) * 2654435761u) >> (32 - hash_bits); };
    std::size_t i = 0;
    while (n >= min_match && i <= n - min_match) {
        const std::uint32_t h = hash(i);
        const std::int32_t candidate = head[h];
        head[h] = static_cast<std::int32_t>(i);
        const auto from = static_cast<std::size_t>(candidate);
        if (candidate < 0 || i - from > window || three_bytes(p + from) != three_bytes(p + i)) {
            bits.put(fixed_codes[p[i++]]);
            continue;
        }
        const std::size_t longest = std::min<std::size_t>(max_match, n - i);
        std::size_t len = min_match;
        while (len < longest && p[from + len] == p[i + len]) ++len;
        put_match(bits, static_cast<std::uint32_t>(len), static_cast<std::uint32_t>(i - from));
        const std::size_t insert_end = std::min(i + len, n - min_match + 1);
        for (std::size_t k = i + 1; k < insert_end; ++k) head[hash(k)] = static_cast<std::int32_t>(k);
        i += len;
    }
    while (i < n) bits.put(fixed_codes[p[i++]]);
}

std::uint32_t adler32(std::string_view data)
{
    std::uint32_t a = 1, b = 0;
    for (std::size_t at = 0; at < data.size(); at += adler_run) {
        const std::size_t end = std::min(data.size(), at + adler_run);
        for (std::size_t i = at; i < end; ++i) {
            a += static_cast<unsigned char>(data[i]);
            b += a;
        }
        a %= adler_base;
        b %= adler_base;
    }
    return b << 16 | a;
}

}  // namespace

std::string deflate_fixed(std::string_view data)
{
    // At most nine bits a byte, the block's three bits and its end code, and the bit writer's
    // last four-byte store; then the four bytes of the check.
    std::string out(2 + data.size() / 8 * 9 + 9 + 16, '\0');
    // CMF 0x78: DEFLATE with a 32 KiB window; FLG 0x01: no dictionary, the fastest level, and
    // the check bits that make CMF * 256 + FLG a multiple of 31.
    out[0] = '\x78';
    out[1] = '\x01';
    bit_writer bits(out.data() + 2);
    bits.put(1, 1);  // BFINAL: the only block
    bits.put(1, 2);  // BTYPE 01: the fixed code
    put_data(bits, data);
    bits.put(fixed_codes[end_of_block]);
    char* end = bits.flush();
    const std::uint32_t check = adler32(data);
    for (int shift = 24; shift >= 0; shift -= 8) *end++ = static_cast<char>((check >> shift) & 0xff);
    out.resize(static_cast<std::size_t>(end - out.data()));
    return out;
}

}  // namespace kestrin::decode
