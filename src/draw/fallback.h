// Fallback drawings: pictures of flattened annotations that carry no usable appearance stream.
#pragma once

#include <cstdint>
#include <string_view>

#include "base/byte_buffer.h"
#include "load/doc.h"
#include "plan/plan.h"

namespace kestrin::draw {

// Appends the fallback picture of item to the page's drawing buffer, reading colours, border,
// text and coordinates from the entries of the annotation's dictionary span [start, text.size()),
// following references into doc. Each picture runs inside its own "q" ... "Q". Resource names
// used: /GSa (alpha 0.4 graphics state) and /FlF (Helvetica).
void draw_fallback(base::byte_buffer& drawing, const plan::plan_item& item, const load::doc& doc,
                   std::string_view text, std::int32_t start);

}  // namespace kestrin::draw
