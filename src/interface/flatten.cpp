#include "interface/flatten.h"

#include <string>

#include "emit/emit.h"
#include "load/doc.h"

namespace kestrin::interface {

base::status flatten_file(const char* in_path, const char* out_path, plan::flatten_mode mode)
{
    using base::status;
    if (in_path == nullptr) return status::failure("NULL input path");
    if (out_path == nullptr) return status::failure("NULL output path");
    const base::result<load::doc> loaded = load::load_document(in_path);
    if (!loaded) return status::failure("input: " + loaded.message());
    const load::doc& d = loaded.value();
    // Without its catalog the output's trailer would name an object it does not hold: an
    // unusable file. Refuse it instead of reporting success.
    if (d.objs.find(d.root) == nullptr)
        return status::failure("input: no document catalog (object " + std::to_string(d.root) +
                               " is missing)");
    const base::result<plan::flatten_plan> plan = plan::make_plan(d, mode);
    if (!plan) return status::failure("flatten plan failed: " + plan.message());
    return emit::write_flattened(d, plan.value(), out_path);
}

}  // namespace kestrin::interface
