#include "interface/error.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace kestrin::interface {

namespace {
char g_err[error_size];
}

void set_error(const char* format, ...)
{
    // Formatted into a scratch first: an argument may be g_err itself.
    char scratch[error_size];
    va_list args;
    va_start(args, format);
    std::vsnprintf(scratch, sizeof scratch, format, args);
    va_end(args);
    std::memcpy(g_err, scratch, sizeof g_err);
}

void clear_error() { g_err[0] = '\0'; }

const char* error_text() { return g_err; }

}  // namespace kestrin::interface
