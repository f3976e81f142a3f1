// The library-wide error text.
#pragma once

namespace kestrin::interface {

inline constexpr int error_size = 1024;

// Formats a message (printf style) and makes it the error text, cut to 1023 bytes. The message is
// formed before the text is replaced, so an argument may be the error text itself.
void set_error(const char* format, ...) __attribute__((format(printf, 1, 2)));

void clear_error();

const char* error_text();

}  // namespace kestrin::interface
