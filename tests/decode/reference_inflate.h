// A plain bit-by-bit decoder of zlib-wrapped DEFLATE data, written straight from the canonical
// algorithm, against which the library's table-driven decoder is compared.
#pragma once

#include <cstdint>

namespace kestrin::test {

// Same contract as decode::inflate_decompress.
int reference_inflate(const std::uint8_t* src, std::uint64_t src_len, std::uint8_t* dst,
                      std::uint64_t dst_cap, std::uint64_t* out_len);

}  // namespace kestrin::test
