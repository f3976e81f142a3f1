#include "interface/last_error.h"

#include <cstring>

namespace kestrin::interface {

namespace {
thread_local char last_error[error_size];
}

void set_error(std::string_view message)
{
    const std::size_t n = message.size() < error_size - 1 ? message.size() : error_size - 1;
    std::memmove(last_error, message.data(), n);
    last_error[n] = '\0';
}

void clear_error() { last_error[0] = '\0'; }

const char* error_text() { return last_error; }

}  // namespace kestrin::interface
