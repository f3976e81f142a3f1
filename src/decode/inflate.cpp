// Decoding follows the canonical bit-by-bit algorithm exactly (which codes are invalid, when the
// input counts as exhausted), but looks the short codes up in a table and reads the input through
// a 64-bit bit buffer.
#include "decode/inflate.h"

#include <array>
#include <bit>
#include <cstring>
#include <new>

#include "decode/deflate_format.h"

namespace kestrin::decode {

namespace {

constexpr int max_bits = 15;       // longest code
constexpr int max_lcodes = 286;    // literal/length codes a dynamic block may declare
constexpr int max_dcodes = 30;     // distance codes a dynamic block may declare
constexpr int fixed_lcodes = 288;  // literal/length codes of the fixed code
constexpr int codelen_codes = 19;  // code length code symbols
constexpr int end_of_block = 256;
constexpr std::uint64_t max_capacity = std::uint64_t{1} << 30;

// Codes up to root_bits long are found with one table look-up; longer ones resume bit by bit.
constexpr int root_bits = 10;
constexpr std::uint32_t root_mask = (1u << root_bits) - 1;

// Order in which the code length code lengths arrive.
constexpr std::array<std::uint8_t, codelen_codes> order = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                           11, 4,  12, 3, 13, 2, 14, 1, 15};

using format::dext;
using format::dists;
using format::lens;
using format::lext;

// Bit reversal of root_bits-bit values: the first input bit is the code's most significant one.
constexpr std::array<std::uint16_t, 1u << root_bits> make_reversed()
{
    std::array<std::uint16_t, 1u << root_bits> t{};
    for (std::uint32_t v = 0; v < t.size(); ++v) {
        std::uint32_t r = 0;
        for (int b = 0; b < root_bits; ++b) r |= ((v >> b) & 1u) << (root_bits - 1 - b);
        t[v] = static_cast<std::uint16_t>(r);
    }
    return t;
}
constexpr auto reversed = make_reversed();

// A canonical Huffman code.
struct huff_table {
    std::int16_t count[max_bits + 1];   // codes per length; count[0]: symbols without a code
    std::int16_t symbol[fixed_lcodes];  // symbols in code order
    // By the next input bits, bit_buf & mask: symbol | length << 16 for a code of up to
    // root_bits bits, 0 when the code is longer or no code matches. Only the first mask + 1
    // entries are filled: as many as the longest code, up to root_bits bits, tells apart.
    std::uint32_t fast[1u << root_bits];
    std::uint32_t mask;
    // Canonical decoding state after root_bits bits without a match: first code, symbol index.
    std::int32_t root_first;
    std::int32_t root_index;
};

// near_limit: the fast loop stopped close to the end of the input.
enum class block_result { done, format_error, out_of_input, output_full, near_limit };

struct inflate_state {
    std::uint8_t* out;
    std::uint32_t out_cap;
    std::uint32_t out_count;
    const std::uint8_t* in;
    std::uint64_t in_len;
    std::uint64_t in_pos;
    // Bits not yet used, next bit in bit 0. Bits above bit_count are zero or the true next input
    // bits (a bulk refill loads whole words), never anything else.
    std::uint64_t bit_buf;
    int bit_count;
};

std::uint64_t load_le64(const std::uint8_t* p)
{
    std::uint64_t v;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(&v, p, sizeof v);
    } else {
        v = 0;
        for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
    }
    return v;
}

// Fills the bit buffer to at least 57 bits, or with all remaining input.
inline void refill(inflate_state& s)
{
    if (s.in_len - s.in_pos >= 8) {
        s.bit_buf |= load_le64(s.in + s.in_pos) << s.bit_count;
        s.in_pos += static_cast<unsigned>(63 - s.bit_count) >> 3;
        s.bit_count |= 56;
        return;
    }
    while (s.bit_count <= 56 && s.in_pos < s.in_len) {
        s.bit_buf |= std::uint64_t{s.in[s.in_pos++]} << s.bit_count;
        s.bit_count += 8;
    }
}

inline void drop_bits(inflate_state& s, int n)
{
    s.bit_buf >>= n;
    s.bit_count -= n;
}

// The next n bits (n <= 16), first bit in bit 0; false when the input ends before them.
inline bool take_bits(inflate_state& s, int n, std::uint32_t& value)
{
    if (s.bit_count < n) {
        refill(s);
        if (s.bit_count < n) return false;
    }
    value = static_cast<std::uint32_t>(s.bit_buf & ((std::uint64_t{1} << n) - 1));
    drop_bits(s, n);
    return true;
}

constexpr int sym_invalid = -1;  // no code of up to 15 bits matches
constexpr int sym_short = -2;    // the input ends before the code is complete

// Bit-by-bit canonical decoding of the first avail bits of bits, resumed after the table's
// root_bits when more bits than that are held. Returns the symbol and sets length, or a sym_ value.
// Rare (long codes, bad data), so kept out of line, away from the registers of the hot loops.
[[gnu::noinline]] int decode_slow(const huff_table& h, std::uint64_t bits, int avail, int& length)
{
    int len = 1;
    int code = 0;
    int first = 0;
    int index = 0;
    if (avail > root_bits) {
        code = reversed[bits & root_mask] << 1;
        bits >>= root_bits;
        first = h.root_first;
        index = h.root_index;
        len = root_bits + 1;
    }
    const int limit = avail < max_bits ? avail : max_bits;
    for (; len <= limit; ++len) {
        code |= static_cast<int>(bits & 1);
        bits >>= 1;
        const int count = h.count[len];
        if (code - first < count) {
            length = len;
            return h.symbol[index + code - first];
        }
        index += count;
        first = (first + count) << 1;
        code <<= 1;
    }
    // The bit-by-bit decoder gives up after 15 bits; with fewer bits held it would need another
    // byte, and there is none.
    return limit == max_bits ? sym_invalid : sym_short;
}

// The next symbol, or sym_invalid / sym_short.
inline int decode_symbol(inflate_state& s, const huff_table& h)
{
    // With fewer than 15 bits held after a refill the input is exhausted, which decode_slow needs.
    if (s.bit_count < max_bits) refill(s);
    const std::uint32_t entry = h.fast[s.bit_buf & h.mask];
    const int len = static_cast<int>(entry >> 16);
    if (len != 0 && len <= s.bit_count) {
        drop_bits(s, len);
        return static_cast<int>(entry & 0xffff);
    }
    int slow_len = 0;
    const int symbol = decode_slow(h, s.bit_buf, s.bit_count, slow_len);
    if (symbol >= 0) drop_bits(s, slow_len);
    return symbol;
}

// Bits of the look-up table that tell its entries apart: the longest code, at most root_bits.
// Entries differing only above these bits would be equal, since no code reaches them.
int distinct_bits(const huff_table& h)
{
    for (int len = max_bits; len > root_bits; --len)
        if (h.count[len] != 0) return root_bits;
    int bits = root_bits;
    while (bits > 1 && h.count[bits] == 0) --bits;
    return bits;
}

// Fills the look-up table and the resume state from count and symbol. Only the first 2^bits
// entries exist for a code of at most bits bits, which keeps the set-up of a small code (the
// code length code, most distance codes, any code of a tiny stream) cheap. A complete code
// without longer codes fills every entry, so only the others are cleared first.
void build_fast(huff_table& h, bool complete)
{
    const int bits = distinct_bits(h);
    const std::uint32_t used = 1u << bits;
    h.mask = used - 1;
    if (!complete || bits == root_bits) std::memset(h.fast, 0, used * sizeof h.fast[0]);
    int code = 0;
    int index = 0;
    for (int len = 1; len <= bits; ++len) {
        for (int k = 0; k < h.count[len]; ++k) {
            const std::uint32_t entry = static_cast<std::uint32_t>(h.symbol[index + k]) |
                                        static_cast<std::uint32_t>(len) << 16;
            const std::uint32_t start =
                reversed[static_cast<std::uint32_t>(code + k) << (root_bits - len)];
            for (std::uint32_t i = start; i < used; i += 1u << len) h.fast[i] = entry;
        }
        index += h.count[len];
        code = (code + h.count[len]) << 1;
    }
    for (int len = bits + 1; len <= root_bits; ++len) code <<= 1;
    h.root_first = code;
    h.root_index = index;
}

// Counts the codes of each length (lengths are 0..15). Four interleaved tallies, because the
// increments of one tally wait on each other and equal lengths come in long runs.
void count_lengths(huff_table& h, const std::int16_t* length, int n)
{
    constexpr int ways = 4;
    std::int16_t tally[ways][max_bits + 1] = {};
    int sym = 0;
    for (; n - sym >= ways; sym += ways)
        for (int k = 0; k < ways; ++k) ++tally[k][length[sym + k]];
    for (; sym < n; ++sym) ++tally[0][length[sym]];
    for (int len = 0; len <= max_bits; ++len)
        h.count[len] = static_cast<std::int16_t>(tally[0][len] + tally[1][len] + tally[2][len] +
                                                 tally[3][len]);
}

// Builds h from n code lengths. 0 when the code is complete (also when every length is 0),
// negative when over-subscribed (h is then unusable), positive when incomplete.
int construct(huff_table& h, const std::int16_t* length, int n)
{
    count_lengths(h, length, n);
    int left = 1;
    if (h.count[0] != n) {
        for (int len = 1; len <= max_bits; ++len) {
            left = (left << 1) - h.count[len];
            if (left < 0) return left;
        }
        std::int16_t offs[max_bits + 1];
        offs[1] = 0;
        for (int len = 1; len < max_bits; ++len)
            offs[len + 1] = static_cast<std::int16_t>(offs[len] + h.count[len]);
        for (int sym = 0; sym < n; ++sym)
            if (length[sym] != 0) h.symbol[offs[length[sym]]++] = static_cast<std::int16_t>(sym);
    } else {
        left = 0;
    }
    build_fast(h, left == 0 && h.count[0] != n);
    return left;
}

struct fixed_tables {
    huff_table lencode;
    huff_table distcode;
};

// Built once, on first use; a function-local static is initialised safely even by overlapping
// calls.
const fixed_tables& fixed()
{
    static const fixed_tables tables = [] {
        fixed_tables t{};
        std::int16_t length[fixed_lcodes];
        int sym = 0;
        for (; sym < 144; ++sym) length[sym] = 8;
        for (; sym < 256; ++sym) length[sym] = 9;
        for (; sym < 280; ++sym) length[sym] = 7;
        for (; sym < fixed_lcodes; ++sym) length[sym] = 8;
        construct(t.lencode, length, fixed_lcodes);
        // 30 five-bit codes: incomplete, the two unused codes never decode.
        for (sym = 0; sym < max_dcodes; ++sym) length[sym] = 5;
        construct(t.distcode, length, max_dcodes);
        return t;
    }();
    return tables;
}

block_result symbol_failure(int symbol)
{
    return symbol == sym_short ? block_result::out_of_input : block_result::format_error;
}

// Copies a match from dist bytes back; overlapping matches repeat what they have just written.
// Nothing is written past the match: the room after it may belong to the caller.
inline void copy_match(std::uint8_t* to, std::uint32_t dist, std::uint32_t len)
{
    const std::uint8_t* from = to - dist;
    if (dist >= 8 && len >= 8) {
        std::uint8_t* const end = to + len;
        // Each 8-byte piece reads only bytes written before it; the last piece ends with the
        // match and rewrites up to 7 bytes with the values they already hold.
        for (; len >= 8; len -= 8, to += 8, from += 8) std::memcpy(to, from, 8);
        if (len != 0) std::memcpy(end - 8, end - 8 - dist, 8);
        return;
    }
    if (dist >= 8 && len >= 4) {
        // Source and destination apart, 4 to 7 bytes: two 4-byte pieces from both ends.
        std::memcpy(to, from, 4);
        std::memcpy(to + len - 4, from + len - 4, 4);
        return;
    }
    if (dist == 1) {
        std::memset(to, *from, len);
        return;
    }
    while (len-- > 0) *to++ = *from++;
}

// A length symbol's match: extra bits, distance, checks, copy.
inline block_result match(inflate_state& s, int len_sym, const huff_table& distcode)
{
    std::uint32_t extra = 0;
    if (!take_bits(s, lext[len_sym], extra)) return block_result::out_of_input;
    const std::uint32_t len = lens[len_sym] + extra;
    const int dist_sym = decode_symbol(s, distcode);
    if (dist_sym < 0) return symbol_failure(dist_sym);
    if (!take_bits(s, dext[dist_sym], extra)) return block_result::out_of_input;
    const std::uint32_t dist = dists[dist_sym] + extra;
    if (dist > s.out_count) return block_result::format_error;  // too far back
    if (s.out_cap - s.out_count < len) return block_result::output_full;
    copy_match(s.out + s.out_count, dist, len);
    s.out_count += len;
    return block_result::done;
}

// Bits a literal/length symbol with its whole match may take: 15 + 5 + 15 + 13.
constexpr int whole_match_bits = 48;

// The symbol of a table entry looked up with at least max_bits bits held: never sym_short.
inline int decode_entry(inflate_state& f, const huff_table& h, std::uint32_t entry)
{
    if (entry != 0) {
        drop_bits(f, static_cast<int>(entry >> 16));
        return static_cast<int>(entry & 0xffff);
    }
    int length = 0;
    const int symbol = decode_slow(h, f.bit_buf, f.bit_count, length);
    if (symbol >= 0) drop_bits(f, length);
    return symbol;
}

inline int decode_held(inflate_state& f, const huff_table& h)
{
    return decode_entry(f, h, h.fast[f.bit_buf & h.mask]);
}

// The next n bits (n <= 13) when they are held.
inline std::uint32_t held_bits(inflate_state& f, int n)
{
    const auto value = static_cast<std::uint32_t>(f.bit_buf & ((std::uint64_t{1} << n) - 1));
    drop_bits(f, n);
    return value;
}

// Decodes as codes does while whole_match_bits are held at the start of each symbol, so that no
// symbol runs out of input and the input needs no check within one. The state lives in a local
// copy to stay in registers. After a literal the next entry is looked up before the refill,
// which only adds bits above those held. near_limit when it stops near the end of the input.
block_result codes_fast(inflate_state& s, const huff_table& lencode, const huff_table& distcode)
{
    inflate_state f = s;
    std::uint8_t* const out_begin = f.out;
    std::uint8_t* const out_end = f.out + f.out_cap;
    std::uint8_t* out = f.out + f.out_count;
    block_result r = block_result::near_limit;
    refill(f);
    std::uint32_t entry = lencode.fast[f.bit_buf & lencode.mask];
    while (f.bit_count >= whole_match_bits) {
        const int symbol = decode_entry(f, lencode, entry);
        if (symbol < end_of_block) {
            if (symbol < 0 || out == out_end) {
                r = symbol < 0 ? block_result::format_error : block_result::output_full;
                break;
            }
            *out++ = static_cast<std::uint8_t>(symbol);
            entry = lencode.fast[f.bit_buf & lencode.mask];
            refill(f);
            continue;
        }
        const int len_sym = symbol - 257;
        if (symbol == end_of_block || len_sym >= static_cast<int>(lens.size())) {
            r = symbol == end_of_block ? block_result::done : block_result::format_error;
            break;
        }
        const std::uint32_t len = lens[len_sym] + held_bits(f, lext[len_sym]);
        const int dist_sym = decode_held(f, distcode);
        if (dist_sym < 0) {
            r = block_result::format_error;
            break;
        }
        const std::uint32_t dist = dists[dist_sym] + held_bits(f, dext[dist_sym]);
        if (dist > static_cast<std::uint32_t>(out - out_begin)) {
            r = block_result::format_error;  // too far back
            break;
        }
        if (static_cast<std::uint32_t>(out_end - out) < len) {
            r = block_result::output_full;
            break;
        }
        copy_match(out, dist, len);
        out += len;
        refill(f);
        entry = lencode.fast[f.bit_buf & lencode.mask];
    }
    f.out_count = static_cast<std::uint32_t>(out - out_begin);
    s = f;
    return r;
}

// Decodes literals and matches until the end-of-block symbol.
block_result codes(inflate_state& s, const huff_table& lencode, const huff_table& distcode)
{
    const block_result fast = codes_fast(s, lencode, distcode);
    if (fast != block_result::near_limit) return fast;
    for (;;) {
        // One refill covers a whole symbol with its match: 15 + 5 + 15 + 13 bits.
        refill(s);
        const int symbol = decode_symbol(s, lencode);
        if (symbol < end_of_block) {
            if (symbol < 0) return symbol_failure(symbol);
            if (s.out_count == s.out_cap) return block_result::output_full;
            s.out[s.out_count++] = static_cast<std::uint8_t>(symbol);
            continue;
        }
        if (symbol == end_of_block) return block_result::done;
        const int len_sym = symbol - 257;
        if (len_sym >= static_cast<int>(lens.size()))
            return block_result::format_error;  // 286, 287
        const block_result r = match(s, len_sym, distcode);
        if (r != block_result::done) return r;
    }
}

// Stored block: LEN, its complement NLEN, then LEN bytes, starting at a byte boundary.
block_result stored(inflate_state& s)
{
    // Return whole unused bytes to the input and drop the rest of the current byte.
    s.in_pos -= static_cast<unsigned>(s.bit_count) >> 3;
    s.bit_buf = 0;
    s.bit_count = 0;
    if (s.in_len - s.in_pos < 4) return block_result::out_of_input;
    const std::uint8_t* h = s.in + s.in_pos;
    const std::uint32_t len = h[0] | static_cast<std::uint32_t>(h[1]) << 8;
    if (h[2] != (~len & 0xff) || h[3] != ((~len >> 8) & 0xff)) return block_result::format_error;
    s.in_pos += 4;
    if (s.in_len - s.in_pos < len) return block_result::out_of_input;
    if (s.out_cap - s.out_count < len) return block_result::output_full;
    if (len != 0) std::memcpy(s.out + s.out_count, s.in + s.in_pos, len);
    s.in_pos += len;
    s.out_count += len;
    return block_result::done;
}

// Reads n code lengths of the code length code into their places; the others are 0.
bool read_codelen_lengths(inflate_state& s, int n, std::int16_t* lengths)
{
    int index = 0;
    for (; index < n; ++index) {
        std::uint32_t v = 0;
        if (!take_bits(s, 3, v)) return false;
        lengths[order[index]] = static_cast<std::int16_t>(v);
    }
    for (; index < codelen_codes; ++index) lengths[order[index]] = 0;
    return true;
}

// Decodes the literal/length and distance code lengths as one run of `total` lengths.
block_result read_code_lengths(inflate_state& s, const huff_table& lencode, int total,
                               std::int16_t* lengths)
{
    int index = 0;
    while (index < total) {
        const int symbol = decode_symbol(s, lencode);
        if (symbol < 0) return symbol_failure(symbol);
        if (symbol < 16) {
            lengths[index++] = static_cast<std::int16_t>(symbol);
            continue;
        }
        std::int16_t len = 0;
        std::uint32_t repeat = 0;
        if (symbol == 16) {
            if (index == 0) return block_result::format_error;  // nothing to repeat
            len = lengths[index - 1];
            if (!take_bits(s, 2, repeat)) return block_result::out_of_input;
            repeat += 3;
        } else if (symbol == 17) {
            if (!take_bits(s, 3, repeat)) return block_result::out_of_input;
            repeat += 3;
        } else {
            if (!take_bits(s, 7, repeat)) return block_result::out_of_input;
            repeat += 11;
        }
        if (repeat > static_cast<std::uint32_t>(total - index)) return block_result::format_error;
        while (repeat-- > 0) lengths[index++] = len;
    }
    return block_result::done;
}

// An incomplete code is allowed only as a single one-bit code (all lengths 0 or 1).
bool code_acceptable(int err, const huff_table& h, int n)
{
    return err == 0 || (err > 0 && n == h.count[0] + h.count[1]);
}

// Dynamic block: the code descriptions, then the data.
block_result dynamic(inflate_state& s)
{
    std::uint32_t nlen = 0, ndist = 0, ncode = 0;
    if (!take_bits(s, 5, nlen) || !take_bits(s, 5, ndist) || !take_bits(s, 4, ncode))
        return block_result::out_of_input;
    nlen += 257;
    ndist += 1;
    ncode += 4;
    if (nlen > max_lcodes || ndist > max_dcodes) return block_result::format_error;

    std::int16_t lengths[max_lcodes + max_dcodes];
    huff_table lencode;
    huff_table distcode;
    if (!read_codelen_lengths(s, static_cast<int>(ncode), lengths))
        return block_result::out_of_input;
    if (construct(lencode, lengths, codelen_codes) != 0) return block_result::format_error;
    const int total = static_cast<int>(nlen + ndist);
    const block_result r = read_code_lengths(s, lencode, total, lengths);
    if (r != block_result::done) return r;
    if (lengths[end_of_block] == 0) return block_result::format_error;

    const int nl = static_cast<int>(nlen);
    const int nd = static_cast<int>(ndist);
    if (!code_acceptable(construct(lencode, lengths, nl), lencode, nl))
        return block_result::format_error;
    if (!code_acceptable(construct(distcode, lengths + nl, nd), distcode, nd))
        return block_result::format_error;
    return codes(s, lencode, distcode);
}

block_result block(inflate_state& s, std::uint32_t type)
{
    switch (type) {
        case 0: return stored(s);
        case 1: return codes(s, fixed().lencode, fixed().distcode);
        case 2: return dynamic(s);
        default: return block_result::format_error;
    }
}

bool header_refused(const std::uint8_t* src, std::uint64_t src_len, const std::uint8_t* dst,
                    std::uint64_t dst_cap)
{
    return !src || src_len < 2 || dst_cap > max_capacity || (!dst && dst_cap != 0) ||
           (src[0] & 0x0f) != 8 || (src[1] & 0x20) != 0;
}

}  // namespace

inflate_status inflate_run(const std::uint8_t* src, std::uint64_t src_len, std::uint8_t* dst,
                           std::uint64_t dst_cap, std::uint64_t* out_len)
{
    if (out_len) *out_len = 0;
    if (header_refused(src, src_len, dst, dst_cap)) return inflate_status::refused;
    inflate_state s{dst, static_cast<std::uint32_t>(dst_cap), 0, src + 2, src_len - 2, 0, 0, 0};
    std::uint32_t last = 0;
    do {
        std::uint32_t type = 0;
        if (!take_bits(s, 1, last) || !take_bits(s, 2, type)) return inflate_status::out_of_input;
        const block_result r = block(s, type);
        if (r == block_result::out_of_input) return inflate_status::out_of_input;
        if (r == block_result::output_full) return inflate_status::output_full;
        if (r == block_result::format_error) break;  // the bytes so far count as the stream
    } while (!last);
    if (out_len) *out_len = s.out_count;
    return inflate_status::ok;
}

int inflate_decompress(const std::uint8_t* src, std::uint64_t src_len, std::uint8_t* dst,
                       std::uint64_t dst_cap, std::uint64_t* out_len)
{
    return inflate_run(src, src_len, dst, dst_cap, out_len) == inflate_status::ok ? 0 : -1;
}

std::uint64_t decode_budget(std::int32_t file_len)
{
    constexpr std::uint64_t floor = std::uint64_t{64} << 20;  // small files may hold big streams
    const std::uint64_t scaled =
        file_len > 0 ? std::uint64_t{64} * static_cast<std::uint64_t>(file_len) : 0;
    const std::uint64_t budget = scaled > floor ? scaled : floor;
    return budget < max_capacity ? budget : max_capacity;
}

}  // namespace kestrin::decode
