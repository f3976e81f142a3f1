// Writes DEFLATE bit streams by hand, for tests that need one precise fault in a stream.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrin::test {

class deflate_writer {
public:
    // Starts with the zlib header 78 9C.
    deflate_writer() : bytes_("\x78\x9c") {}

    // n bits of value, least significant first (header fields, extra bits).
    deflate_writer& bits(std::uint32_t value, int n)
    {
        for (int i = 0; i < n; ++i) put((value >> i) & 1u);
        return *this;
    }

    // A Huffman code of len bits, most significant first.
    deflate_writer& code(std::uint32_t value, int len)
    {
        for (int i = len - 1; i >= 0; --i) put((value >> i) & 1u);
        return *this;
    }

    deflate_writer& block_header(bool last, int type)
    {
        return bits(last ? 1 : 0, 1).bits(static_cast<std::uint32_t>(type), 2);
    }

    // Fixed-code literal/length symbol and distance symbol.
    deflate_writer& fixed_symbol(int sym)
    {
        if (sym < 144) return code(0x30 + static_cast<std::uint32_t>(sym), 8);
        if (sym < 256) return code(0x190 + static_cast<std::uint32_t>(sym - 144), 9);
        if (sym < 280) return code(static_cast<std::uint32_t>(sym - 256), 7);
        return code(0xc0 + static_cast<std::uint32_t>(sym - 280), 8);
    }
    deflate_writer& fixed_distance(int sym) { return code(static_cast<std::uint32_t>(sym), 5); }

    // Pads to a byte boundary and appends raw bytes (stored block bodies, trailers).
    deflate_writer& raw(const std::string& more)
    {
        flush();
        bytes_ += more;
        return *this;
    }

    // Stored block: header bits, padding, LEN, NLEN, data.
    deflate_writer& stored(bool last, const std::string& data)
    {
        block_header(last, 0);
        const std::uint32_t len = static_cast<std::uint32_t>(data.size());
        std::string head;
        head.push_back(static_cast<char>(len & 0xff));
        head.push_back(static_cast<char>(len >> 8));
        head.push_back(static_cast<char>(~len & 0xff));
        head.push_back(static_cast<char>((~len >> 8) & 0xff));
        return raw(head + data);
    }

    // Dynamic block header describing the given code lengths with a code length code in which
    // the symbols 0..15 all have 4-bit codes (code k for length k). Symbols then go through
    // dyn_symbol/dyn_distance with the canonical codes of these lengths.
    deflate_writer& dynamic_header(bool last, const std::vector<int>& lit_lengths,
                                   const std::vector<int>& dist_lengths)
    {
        block_header(last, 2);
        bits(static_cast<std::uint32_t>(lit_lengths.size() - 257), 5);
        bits(static_cast<std::uint32_t>(dist_lengths.size() - 1), 5);
        bits(15, 4);  // all 19 code length code lengths follow
        static const int order[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                      11, 4,  12, 3, 13, 2, 14, 1, 15};
        for (int sym : order) bits(sym < 16 ? 4 : 0, 3);
        for (int len : lit_lengths) code(static_cast<std::uint32_t>(len), 4);
        for (int len : dist_lengths) code(static_cast<std::uint32_t>(len), 4);
        lit_codes_ = canonical(lit_lengths);
        lit_lengths_ = lit_lengths;
        dist_codes_ = canonical(dist_lengths);
        dist_lengths_ = dist_lengths;
        return *this;
    }
    deflate_writer& dyn_symbol(int sym) { return code(lit_codes_[sym], lit_lengths_[sym]); }
    deflate_writer& dyn_distance(int sym) { return code(dist_codes_[sym], dist_lengths_[sym]); }

    std::string finish()
    {
        flush();
        return bytes_;
    }

    static std::vector<std::uint32_t> canonical(const std::vector<int>& lengths)
    {
        int count[16] = {};
        for (int len : lengths) ++count[len];
        count[0] = 0;
        std::uint32_t next[16] = {};
        std::uint32_t c = 0;
        for (int len = 1; len < 16; ++len) {
            c = (c + static_cast<std::uint32_t>(count[len - 1])) << 1;
            next[len] = c;
        }
        std::vector<std::uint32_t> codes(lengths.size());
        for (std::size_t sym = 0; sym < lengths.size(); ++sym)
            if (lengths[sym] != 0) codes[sym] = next[lengths[sym]]++;
        return codes;
    }

private:
    void put(std::uint32_t bit)
    {
        if (used_ == 0) bytes_.push_back('\0');
        bytes_.back() = static_cast<char>(bytes_.back() | static_cast<char>(bit << used_));
        used_ = (used_ + 1) % 8;
    }
    void flush() { used_ = 0; }

    std::string bytes_;
    int used_ = 0;
    std::vector<std::uint32_t> lit_codes_, dist_codes_;
    std::vector<int> lit_lengths_, dist_lengths_;
};

}  // namespace kestrin::test
