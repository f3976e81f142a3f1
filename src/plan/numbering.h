// Numbers of the objects the output adds: above every number the input uses or refers to.
#pragma once

#include "load/doc.h"
#include "plan/plan.h"

namespace kestrin::plan {

// Numbers each page's new content stream, one form XObject per usable appearance, the font and
// the graphics state, in that order, and records the first number left free.
void number_new_objects(const load::doc& d, flatten_plan& plan);

}  // namespace kestrin::plan
