// The library's own decoder of zlib-wrapped DEFLATE data (RFC 1950 around RFC 1951).
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "base/byte_buffer.h"

namespace kestrin::decode {

// Decodes src into dst (capacity dst_cap, at most 2^30). 0 on success with *out_len set; -1 on
// truncated input, a full output buffer or a refused header (then *out_len is 0). A format error
// in the data ends decoding there and counts as success with the bytes decoded before it.
int inflate_decompress(const std::uint8_t* src, std::uint64_t src_len, std::uint8_t* dst,
                       std::uint64_t dst_cap, std::uint64_t* out_len);

// Why a decoding ended; inflate_decompress folds everything but ok into -1.
enum class inflate_status {
    ok,            // final block decoded, or a format error after good output
    out_of_input,  // the data ends before the final block does
    output_full,   // the capacity is too small
    refused,       // bad header, or a capacity over 2^30
};

// As inflate_decompress, telling the failures apart. *out_len is 0 unless the result is ok.
inflate_status inflate_run(const std::uint8_t* src, std::uint64_t src_len, std::uint8_t* dst,
                           std::uint64_t dst_cap, std::uint64_t* out_len);

// Most decoded bytes one document may hold in total: min(2^30, max(64 MiB, 64 x file length)).
std::uint64_t decode_budget(std::int32_t file_len);

// Decoded bytes owned by the caller; data holds at least len + 1 bytes, the last one a NUL.
struct inflated {
    base::large_block_owner data;
    std::uint64_t len = 0;
};

// Decodes src completely: starts with first_cap bytes of room and, while the room is too small,
// frees that attempt and tries again with four times as much, never beyond max_out (nor 2^30).
// Results as inflate_decompress; on -1, out is left empty.
int inflate_growing(std::string_view src, std::uint64_t first_cap, std::uint64_t max_out,
                    inflated& out);

// The same, decoding at the end of b without changing b.len; *out_len receives the decoded length.
// The room asked of b stays within what one reservation of b may give, so a stream too large for
// b fails (-1) instead of releasing b. Bytes of failed attempts past b.len are left as garbage.
int inflate_growing(std::string_view src, std::uint64_t first_cap, std::uint64_t max_out,
                    base::byte_buffer& b, std::uint64_t* out_len);

}  // namespace kestrin::decode
