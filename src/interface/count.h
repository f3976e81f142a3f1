// The two counting queries.
#pragma once

#include <cstdint>

#include "base/status.h"
#include "interface/flatten.h"

namespace kestrin::interface {

// Terminal form fields, or the loader's failure when the file cannot be loaded.
base::result<std::int32_t> field_count(const input_source& in);

// Annotation references of all pages whose objects exist, or the loader's failure.
base::result<std::int32_t> annotation_count(const input_source& in);

}  // namespace kestrin::interface
