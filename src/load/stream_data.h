// Access to the content of a stream object: decoded when it is Flate data, stored bytes otherwise.
#pragma once

#include <cstdint>
#include <string_view>

#include "base/byte_buffer.h"
#include "load/doc.h"

namespace kestrin::load {

enum class content_form {
    none,         // not a stream, or no data
    stored,       // no filter: bytes point into the file
    decoded,      // FlateDecode alone: bytes point into the scratch buffer
    undecodable,  // another filter, a predictor, or data that fails to decode: bytes are the
                  // stored data, which must not be used as operators
};

struct stream_content {
    std::string_view bytes;
    content_form form = content_form::none;
};

// Content of stream e. Decoded bytes are appended to scratch (NUL after them) and stay valid until
// scratch next grows. Flate data is decoded in full, within the library's decoding limit.
stream_content decoded_stream(const doc& d, const obj_entry& e, base::byte_buffer& scratch);

// The stored data of stream e as it lies in the file, filters and all; empty when it has none.
std::string_view stored_stream(const doc& d, const obj_entry& e);

}  // namespace kestrin::load
