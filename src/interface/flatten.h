// The flatten run: load, plan, write; from a path or bytes, to a path or memory.
#pragma once

#include <cstddef>

#include "base/byte_buffer.h"
#include "base/status.h"
#include "emit/emit.h"
#include "load/doc.h"
#include "plan/plan.h"

namespace kestrin::interface {

// Where a call's PDF comes from: a file, or bytes the caller keeps.
struct input_source {
    const char* path = nullptr;   // a file, when bytes is not used
    bool in_memory = false;
    const char* bytes = nullptr;  // with in_memory: length bytes
    std::size_t length = 0;

    static input_source file(const char* p) { return {p, false, nullptr, 0}; }
    static input_source memory(const void* b, std::size_t n)
    {
        return {nullptr, true, static_cast<const char*>(b), n};
    }
};

// Where a flatten call's output goes: a file, or a buffer handed to the caller.
struct output_target {
    const char* path = nullptr;           // a file, when memory is null
    base::byte_buffer* memory = nullptr;  // receives the whole output

    static output_target file(const char* p) { return {p, nullptr}; }
};

// Everything a caller chooses: what is flattened, and how the output is written.
struct flatten_choices {
    plan::plan_choices plan;
    emit::write_choices write;
};

// The document of the source, or why it cannot be loaded.
base::result<load::doc> load_source(const input_source& in);

// The one flatten core: flattens in with the choices into out, or tells why it could not.
base::status flatten(const input_source& in, const flatten_choices& choices,
                     const output_target& out);

// Flattens in_path into out_path with only a mode: the original calls.
base::status flatten_file(const char* in_path, const char* out_path, plan::flatten_mode mode);

}  // namespace kestrin::interface
