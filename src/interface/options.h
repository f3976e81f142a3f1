// The caller's options record, read whatever its version: the plan's and the writer's choices,
// or why it is refused.
#pragma once

#include "base/status.h"
#include "kestrin.h"
#include "interface/flatten.h"

namespace kestrin::interface {

// The largest record size accepted; a size past it is taken for garbage rather than a record.
inline constexpr std::uint32_t max_options_size = 4096;

// NULL gives the defaults. A smaller (older) record gets the defaults for the fields it lacks; a
// larger (newer) one is refused unless the bytes past the fields known here are all zero.
base::result<flatten_choices> read_options(const kestrin_options* options);

}  // namespace kestrin::interface
