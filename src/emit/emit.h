// The output writer: builds the whole output file in memory and writes it.
#pragma once

#include <cstdint>

namespace kestrin::interface {
struct fl_ctx;
}

namespace kestrin::emit {

// Writes the flattened file; 0 on success (error text cleared), -1 with the error text set.
int fl_emit(interface::fl_ctx& ctx, const char* out_path);

}  // namespace kestrin::emit
