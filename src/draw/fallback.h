// Fallback drawings: pictures of flattened annotations that carry no usable appearance stream.
#pragma once

#include <cstdint>
#include <string_view>

#include "base/byte_buffer.h"
#include "load/doc.h"
#include "plan/plan.h"

namespace kestrin::draw {

// The names (without "/") under which the page's resources hold what the pictures draw with.
struct resource_names {
    std::string_view translucent_state;  // graphics state of alpha 0.4
    std::string_view font;               // Helvetica
};

// Appends the fallback picture of item to the page's drawing buffer, reading colours, border,
// text and coordinates from the entries of the annotation's dictionary span [start, text.size()),
// following references into doc. Each picture runs inside its own "q" ... "Q".
void draw_fallback(base::byte_buffer& drawing, const plan::plan_item& item, const load::doc& doc,
                   std::string_view text, std::int32_t start, const resource_names& names);

}  // namespace kestrin::draw
