// The XObject step: one form XObject per flattened appearance stream.
#pragma once

#include "emit/writer.h"

namespace kestrin::emit {

// The form's default resources, so that an appearance without resources of its own keeps its
// names once the form is gone; empty when the form has none.
std::string_view default_resources(const plan::flatten_plan& plan);

// The frame of the appearance stream whose dictionary is span, placed on a w by h rectangle.
appearance_frame read_appearance_frame(const load::doc& d, const load::dict_span& span, double w, double h);

// Writes the form XObject of every appearance the plan numbered, in plan order, and records the
// frame of each in w.frames.
void write_xobjects(writer& w);

}  // namespace kestrin::emit
