// The two counting queries.
#pragma once

#include <cstdint>

namespace kestrin::interface {

// Terminal form fields, or -1 with the loader's message when the file cannot be loaded.
std::int32_t field_count(const char* path);

// Annotation references of all pages whose objects exist, or -1 when the file cannot be loaded.
std::int32_t annotation_count(const char* path);

}  // namespace kestrin::interface
