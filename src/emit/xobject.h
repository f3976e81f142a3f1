// The XObject step: one form XObject per flattened appearance stream.
#pragma once

#include "emit/writer.h"

namespace kestrin::emit {

// The form's default resources, so that an appearance without resources of its own keeps its
// names once the form is gone; empty when the form has none.
std::string_view default_resources(const plan::flatten_plan& plan);

// Writes the form XObject of every appearance the plan numbered, in plan order, and records the
// frame of each in w.frames.
void write_xobjects(writer& w);

}  // namespace kestrin::emit
