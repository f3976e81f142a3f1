// The error text of the last failed call, one per thread, so that calls on different threads never
// see each other's message. Only the exported functions write it.
#pragma once

#include <string_view>

namespace kestrin::interface {

inline constexpr int error_size = 1024;

// Makes message the calling thread's error text, cut to 1023 bytes.
void set_error(std::string_view message);

void clear_error();

const char* error_text();

}  // namespace kestrin::interface
