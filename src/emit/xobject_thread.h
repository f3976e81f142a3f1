// The XObject step on a second thread, while the main thread writes the pages and input objects
// (of the default and the compact output alike).
#pragma once

#include <functional>

#include "emit/writer.h"

namespace kestrin::emit {

// Runs main_part on this thread while the XObjects are built on a second one, then writes them
// after what main_part wrote, byte for byte as write_xobjects would. With few XObjects, or when
// no thread can be started, they are built here after main_part.
void write_xobjects_alongside(writer& w, const std::function<void()>& main_part);

}  // namespace kestrin::emit
