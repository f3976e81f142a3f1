// Locale-independent formatting of the printf conversions the output uses: %s %d %ld %f %.3f
// %010ld and %%. Numbers go through std::to_chars, so a host's setlocale cannot turn a decimal
// point into a comma; the results equal printf's in the C locale.
#pragma once

#include <cstddef>
#include <string_view>

#include "emit/buf.h"

namespace kestrin::emit {

// Formats into scratch (size bytes), cut to size - 1 bytes and NUL-terminated; returns the text.
std::string_view fmt_into(char* scratch, std::size_t size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// Formats into a 512-byte scratch text and appends it to b.
void em_sn(buf& b, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Formats without any cut and appends it to b (for pieces whose length the caller cannot bound).
void em_all(buf& b, const char* format, ...) __attribute__((format(printf, 2, 3)));

}  // namespace kestrin::emit
