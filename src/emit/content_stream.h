// The content step: each changed page's new content stream, its old content followed by one
// placement or fallback drawing per flattened annotation.
#pragma once

#include <cstdint>
#include <string_view>

#include "emit/writer.h"
#include "load/doc.h"
#include "scan/value.h"

namespace kestrin::emit {

// Scale and translation mapping the frame's box, transformed by its matrix, onto the rectangle.
struct placement {
    double sx = 1, sy = 1, tx = 0, ty = 0;
};
placement place_frame(const appearance_frame& f, const scan::box& rect);

// Old content of page for its page step.
old_content collect_old_content(writer& w, const load::obj_entry& page);

// Writes the new content stream of every page that needs one.
void write_contents(writer& w);

}  // namespace kestrin::emit
