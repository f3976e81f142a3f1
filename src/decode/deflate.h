// A small DEFLATE encoder for the short texts the library writes (content streams, appearances).
#pragma once

#include <string>
#include <string_view>

namespace kestrin::decode {

// data as zlib-wrapped DEFLATE (RFC 1950 around RFC 1951): one block of the fixed code, with
// repeats found through a hash of their first three bytes, one candidate each. It gives up some
// size against a full encoder, but needs no code tables of its own and runs in one pass.
std::string deflate_fixed(std::string_view data);

}  // namespace kestrin::decode
