// Where a writer hands its finished output, piece by piece, once its buffer has grown past a few
// MiB of whole objects.
#pragma once

#include "base/byte_buffer.h"

namespace kestrin::base {

class output_sink {
public:
    // Takes the bytes of b (whose flushed count already includes them) and leaves b empty,
    // with or without a block.
    virtual void take(byte_buffer& b) = 0;

protected:
    ~output_sink() = default;
};

}  // namespace kestrin::base
