// Writing the finished output to its path without ever costing the caller an existing file.
#pragma once

#include <string_view>

namespace kestrin::emit {

// Writes bytes to path through a temporary file in the same directory, renamed over path only
// after a complete write and close. 0 on success; -1 with the error text set, the temporary file
// removed and any existing file at path untouched.
int write_output_file(const char* path, std::string_view bytes);

}  // namespace kestrin::emit
