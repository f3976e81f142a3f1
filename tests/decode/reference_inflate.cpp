#include "reference_inflate.h"

namespace kestrin::test {

namespace {

constexpr int max_bits = 15;

struct out_of_input {};

struct state {
    std::uint8_t* out;
    std::uint64_t out_cap;
    std::uint64_t out_count;
    const std::uint8_t* in;
    std::uint64_t in_len;
    std::uint64_t in_pos;
    std::uint32_t bit_buf;
    int bit_count;
};

struct huffman {
    short count[max_bits + 1];
    short symbol[288];
};

const short order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
const short lens[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                        31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
const short lext[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                        2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
const short dists[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                         33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                         1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
const short dext[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                        6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

std::uint8_t next_byte(state& s)
{
    if (s.in_pos == s.in_len) throw out_of_input{};
    return s.in[s.in_pos++];
}

int bits(state& s, int need)
{
    std::uint32_t val = s.bit_buf;
    while (s.bit_count < need) {
        val |= static_cast<std::uint32_t>(next_byte(s)) << s.bit_count;
        s.bit_count += 8;
    }
    s.bit_buf = val >> need;
    s.bit_count -= need;
    return static_cast<int>(val & ((1u << need) - 1));
}

// One bit at a time: take held bits first, fetch a byte only when none is held.
int decode(state& s, const huffman& h)
{
    int code = 0, first = 0, index = 0;
    for (int len = 1; len <= max_bits; ++len) {
        if (s.bit_count == 0) {
            s.bit_buf = next_byte(s);
            s.bit_count = 8;
        }
        code |= static_cast<int>(s.bit_buf & 1);
        s.bit_buf >>= 1;
        --s.bit_count;
        const int count = h.count[len];
        if (code - count < first) return h.symbol[index + (code - first)];
        index += count;
        first += count;
        first <<= 1;
        code <<= 1;
    }
    return -10;
}

int construct(huffman& h, const short* length, int n)
{
    for (int len = 0; len <= max_bits; ++len) h.count[len] = 0;
    for (int sym = 0; sym < n; ++sym) h.count[length[sym]]++;
    if (h.count[0] == n) return 0;
    int left = 1;
    for (int len = 1; len <= max_bits; ++len) {
        left <<= 1;
        left -= h.count[len];
        if (left < 0) return left;
    }
    short offs[max_bits + 1];
    offs[1] = 0;
    for (int len = 1; len < max_bits; ++len)
        offs[len + 1] = static_cast<short>(offs[len] + h.count[len]);
    for (int sym = 0; sym < n; ++sym)
        if (length[sym] != 0) h.symbol[offs[length[sym]]++] = static_cast<short>(sym);
    return left;
}

int stored(state& s)
{
    s.bit_buf = 0;
    s.bit_count = 0;
    if (s.in_len - s.in_pos < 4) return 2;
    unsigned len = s.in[s.in_pos++];
    len |= static_cast<unsigned>(s.in[s.in_pos++]) << 8;
    if (s.in[s.in_pos++] != (~len & 0xff) || s.in[s.in_pos++] != ((~len >> 8) & 0xff)) return -2;
    if (s.in_len - s.in_pos < len) return 2;
    if (s.out_count + len > s.out_cap) return 1;
    while (len--) s.out[s.out_count++] = s.in[s.in_pos++];
    return 0;
}

int codes(state& s, const huffman& lencode, const huffman& distcode)
{
    int symbol;
    do {
        symbol = decode(s, lencode);
        if (symbol < 0) return symbol;
        if (symbol < 256) {
            if (s.out_count == s.out_cap) return 1;
            s.out[s.out_count++] = static_cast<std::uint8_t>(symbol);
        } else if (symbol > 256) {
            symbol -= 257;
            if (symbol >= 29) return -10;
            const std::uint64_t len = lens[symbol] + bits(s, lext[symbol]);
            symbol = decode(s, distcode);
            if (symbol < 0) return symbol;
            const std::uint64_t dist = dists[symbol] + bits(s, dext[symbol]);
            if (dist > s.out_count) return -11;
            if (s.out_count + len > s.out_cap) return 1;
            for (std::uint64_t i = 0; i < len; ++i) {
                s.out[s.out_count] = s.out[s.out_count - dist];
                s.out_count++;
            }
        }
    } while (symbol != 256);
    return 0;
}

int fixed(state& s)
{
    static huffman lencode, distcode;
    static bool built = false;
    if (!built) {
        short lengths[288];
        int sym = 0;
        for (; sym < 144; sym++) lengths[sym] = 8;
        for (; sym < 256; sym++) lengths[sym] = 9;
        for (; sym < 280; sym++) lengths[sym] = 7;
        for (; sym < 288; sym++) lengths[sym] = 8;
        construct(lencode, lengths, 288);
        for (sym = 0; sym < 30; sym++) lengths[sym] = 5;
        construct(distcode, lengths, 30);
        built = true;
    }
    return codes(s, lencode, distcode);
}

int dynamic(state& s)
{
    short lengths[316];
    huffman lencode, distcode;
    const int nlen = bits(s, 5) + 257;
    const int ndist = bits(s, 5) + 1;
    const int ncode = bits(s, 4) + 4;
    if (nlen > 286 || ndist > 30) return -3;
    int index = 0;
    for (; index < ncode; index++) lengths[order[index]] = static_cast<short>(bits(s, 3));
    for (; index < 19; index++) lengths[order[index]] = 0;
    if (construct(lencode, lengths, 19) != 0) return -4;
    index = 0;
    while (index < nlen + ndist) {
        int symbol = decode(s, lencode);
        if (symbol < 0) return symbol;
        if (symbol < 16) {
            lengths[index++] = static_cast<short>(symbol);
            continue;
        }
        short len = 0;
        if (symbol == 16) {
            if (index == 0) return -5;
            len = lengths[index - 1];
            symbol = 3 + bits(s, 2);
        } else if (symbol == 17) {
            symbol = 3 + bits(s, 3);
        } else {
            symbol = 11 + bits(s, 7);
        }
        if (index + symbol > nlen + ndist) return -6;
        while (symbol--) lengths[index++] = len;
    }
    if (lengths[256] == 0) return -9;
    int err = construct(lencode, lengths, nlen);
    if (err && (err < 0 || nlen != lencode.count[0] + lencode.count[1])) return -7;
    err = construct(distcode, lengths + nlen, ndist);
    if (err && (err < 0 || ndist != distcode.count[0] + distcode.count[1])) return -8;
    return codes(s, lencode, distcode);
}

}  // namespace

int reference_inflate(const std::uint8_t* src, std::uint64_t src_len, std::uint8_t* dst,
                      std::uint64_t dst_cap, std::uint64_t* out_len)
{
    *out_len = 0;
    if (src_len < 2 || dst_cap > (std::uint64_t{1} << 30) || (src[0] & 0x0f) != 8 ||
        (src[1] & 0x20))
        return -1;
    state s{dst, dst_cap, 0, src + 2, src_len - 2, 0, 0, 0};
    try {
        int last;
        do {
            last = bits(s, 1);
            const int type = bits(s, 2);
            const int err = type == 0   ? stored(s)
                            : type == 1 ? fixed(s)
                            : type == 2 ? dynamic(s)
                                        : -1;
            if (err > 0) return -1;  // out of input (2) or output full (1)
            if (err < 0) break;      // format error: the bytes so far
        } while (!last);
    } catch (const out_of_input&) {
        return -1;
    }
    *out_len = s.out_count;
    return 0;
}

}  // namespace kestrin::test
