// Copying the input's objects into the output.
#pragma once

#include "emit/writer.h"
#include "load/doc.h"

namespace kestrin::emit {

// Writes input object e as the output keeps it: left out when the plan drops it, else its
// replacement text, the catalog without its form, the page's new dictionary, or a copy.
void write_input_object(writer& w, const load::obj_entry& e);

}  // namespace kestrin::emit
