// The flatten run: load, locate the form, plan, write.
#pragma once

#include <cstdint>

#include "interface/fl_ctx.h"

namespace kestrin::interface {

// 0 on success, -1 with the error text set.
std::int32_t flatten_run(const char* in_path, const char* out_path, flatten_mode mode);

}  // namespace kestrin::interface
