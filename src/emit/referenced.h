// Compact output: the input objects that something the output writes refers to.
#pragma once

#include <cstdint>
#include <vector>

#include "emit/writer.h"

namespace kestrin::emit {

// One byte per object number up to the input's highest, 1 when the object is reached from the
// catalog, the document information or a page: through the texts the output writes (the page
// step's page dictionaries and overrides in place of the input's), the dictionaries of the new
// XObjects and the fonts of generated appearances. References are over-counted on purpose: every
// run of digits in a text counts, so that nothing any reader could follow is left out. The other
// objects (appearances of states no longer shown, say) only the removed annotations needed.
base::large_vector<std::uint8_t> referenced_objects(const writer& w);

}  // namespace kestrin::emit
