// The flatten run: load, plan, write.
#pragma once

#include "base/status.h"
#include "plan/plan.h"

namespace kestrin::interface {

// Flattens in_path into out_path, or tells why it could not.
base::status flatten_file(const char* in_path, const char* out_path, plan::flatten_mode mode);

}  // namespace kestrin::interface
