// The library's own decoder of zlib-wrapped DEFLATE data (RFC 1950 around RFC 1951).
#pragma once

#include <cstdint>

namespace kestrin::decode {

// Decodes src into dst (capacity dst_cap, at most 2^30). 0 on success with *out_len set; -1 on
// truncated input, a full output buffer or a refused header (then *out_len is 0). A format error
// in the data ends decoding there and counts as success with the bytes decoded before it.
int inflate_decompress(const std::uint8_t* src, std::uint64_t src_len, std::uint8_t* dst,
                       std::uint64_t dst_cap, std::uint64_t* out_len);

}  // namespace kestrin::decode
