// The page step: the new dictionary of every changed page.
#pragma once

#include "emit/writer.h"

namespace kestrin::emit {

// Builds the dictionary of every changed page (new content, remaining annotations, resources)
// into w.page_texts, collects each page's old content and writes the merged resources into
// w.replaced.
void build_page_texts(writer& w);

}  // namespace kestrin::emit
