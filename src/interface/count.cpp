#include "interface/count.h"

#include <optional>
#include <vector>

#include "load/doc.h"
#include "plan/form.h"
#include "plan/refs.h"

namespace kestrin::interface {

namespace {

// The counting query keeps its own per-page limit, unlike the flatten plan.
constexpr std::int32_t annots_per_page_counted = 512;

std::int32_t page_annotation_refs(const load::doc& d, const load::obj_entry& page,
                                  std::vector<std::int32_t>& refs)
{
    load::dict_span span = d.span_of(page);
    if (!span) return 0;
    refs.clear();
    if (plan::collect_ref_list(d, span.text, span.start, "Annots", refs,
                               annots_per_page_counted) <= 0)
        return 0;
    std::int32_t n = 0;
    for (std::int32_t r : refs)
        if (d.objs.find(r) != nullptr) ++n;
    return n;
}

}  // namespace

base::result<std::int32_t> field_count(const input_source& in)
{
    const base::result<load::doc> loaded = load_source(in);
    if (!loaded) return base::status::failure(loaded.message());
    const load::doc& d = loaded.value();
    const std::optional<plan::form_location> form = plan::find_form(d, d.root);
    return form ? plan::count_field_leaves(d, *form) : 0;
}

base::result<std::int32_t> annotation_count(const input_source& in)
{
    const base::result<load::doc> loaded = load_source(in);
    if (!loaded) return base::status::failure(loaded.message());
    const load::doc& d = loaded.value();
    std::int32_t count = 0;
    std::vector<std::int32_t> refs;
    for (const std::int32_t num : d.pages) {
        const load::obj_entry* page = d.objs.find(num);
        if (page != nullptr) count += page_annotation_refs(d, *page, refs);
    }
    return count;
}

}  // namespace kestrin::interface
