// The output writer: writes the flattened file that the plan describes.
#pragma once

#include <span>

#include "base/byte_buffer.h"
#include "base/status.h"
#include "load/doc.h"
#include "generate/field_appearance.h"
#include "plan/plan.h"

namespace kestrin::emit {

// How the file is written; the defaults give the output of the original calls.
struct write_choices {
    // Appearances keep their stored data and the old page content stays in its own streams,
    // instead of both being decoded and written plain.
    bool compact = false;
};

// Writes the flattened file to out_path, or tells why it could not; an existing file at out_path
// is replaced only by a complete output. generated holds the appearances made for the XObjects
// the plan marks as generated.
base::status write_flattened(const load::doc& d, const plan::flatten_plan& plan, const char* out_path,
                             const generate::generated_appearances& generated = generate::no_appearances,
                             const write_choices& choices = {});

// Builds the flattened file in memory: the same bytes as write_flattened writes, in one buffer
// (its len is the file's size), or why it could not.
base::result<base::byte_buffer> write_flattened_to_memory(
    const load::doc& d, const plan::flatten_plan& plan,
    const generate::generated_appearances& generated = generate::no_appearances,
    const write_choices& choices = {});

}  // namespace kestrin::emit
