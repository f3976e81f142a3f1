// Compact output: how each flattened appearance becomes a form XObject, settled before the page
// step names the XObjects in the pages' resources.
#pragma once

#include <string>

#include "emit/writer.h"

namespace kestrin::emit {

// Fills w.compact_forms, one per XObject of the plan: the appearance object itself where it can
// serve as the form XObject, else a new XObject with its stored data; the default's decoded and
// clipped form where the content restores a graphics state it did not save, which only our clip's
// "q" keeps from ending the drawing.
void settle_compact_forms(writer& w);

// "N G R" of the object that draws XObject x: the appearance object itself, or x's own.
std::string xobject_reference(const writer& w, const plan::xobject_entry& x);

}  // namespace kestrin::emit
