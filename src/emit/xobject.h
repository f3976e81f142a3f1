// The XObject step: one form XObject per flattened appearance stream.
#pragma once

#include "emit/writer.h"

namespace kestrin::emit {

// Writes the form XObject of every appearance the plan numbered, in plan order, and records the
// frame of each in w.frames.
void write_xobjects(writer& w);

}  // namespace kestrin::emit
