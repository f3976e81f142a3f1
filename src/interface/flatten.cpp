#include "interface/flatten.h"

#include <string>

#include "emit/emit.h"
#include "generate/field_appearance.h"

namespace kestrin::interface {

base::result<load::doc> load_source(const input_source& in)
{
    return in.in_memory ? load::load_document_bytes(in.bytes, in.length)
                        : load::load_document(in.path);
}

base::status flatten(const input_source& in, const flatten_choices& choices,
                     const output_target& out)
{
    using base::status;
    if (!in.in_memory && in.path == nullptr) return status::failure("NULL input path");
    if (out.memory == nullptr && out.path == nullptr) return status::failure("NULL output path");
    const base::result<load::doc> loaded = load_source(in);
    if (!loaded) return status::failure("input: " + loaded.message());
    const load::doc& d = loaded.value();
    // Without its catalog the output's trailer would name an object it does not hold: an
    // unusable file. Refuse it instead of reporting success.
    if (d.objs.find(d.root) == nullptr)
        return status::failure("input: no document catalog (object " + std::to_string(d.root) +
                               " is missing)");
    base::result<plan::flatten_plan> plan = plan::make_plan(d, choices.plan);
    if (!plan) return status::failure("flatten plan failed: " + plan.message());
    const generate::generated_appearances generated = generate::generate_appearances(d, plan.value());
    if (out.memory == nullptr) return emit::write_flattened(d, plan.value(), out.path, generated, choices.write);
    base::result<base::byte_buffer> built =
        emit::write_flattened_to_memory(d, plan.value(), generated, choices.write);
    if (!built) return status::failure(built.message());
    *out.memory = std::move(built.value());
    return status::success();
}

base::status flatten_file(const char* in_path, const char* out_path, plan::flatten_mode mode)
{
    flatten_choices choices;
    choices.plan.mode = mode;
    return flatten(input_source::file(in_path), choices, output_target::file(out_path));
}

}  // namespace kestrin::interface
