#include "interface/count.h"

#include <vector>

#include "interface/error.h"
#include "load/doc.h"
#include "plan/form.h"
#include "plan/refs.h"

namespace kestrin::interface {

namespace {

// The counting query keeps its own per-page limit, unlike the flatten plan.
constexpr std::int32_t annots_per_page_counted = 512;

struct loaded {
    load::doc d;
    ~loaded() { load::doc_free(d); }
};

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

std::int32_t field_count(const char* path)
{
    loaded doc;
    if (load::doc_load(path, doc.d) != 0) return -1;
    plan::form_location loc;
    std::int32_t count = 0;
    if (plan::find_acroform(doc.d, doc.d.root, loc) == 1)
        count = plan::count_field_leaves(doc.d, loc);
    clear_error();
    return count;
}

std::int32_t annotation_count(const char* path)
{
    loaded doc;
    if (load::doc_load(path, doc.d) != 0) return -1;
    std::int32_t count = 0;
    std::vector<std::int32_t> refs;
    for (const load::pageinfo& p : doc.d.pages.items) {
        const load::obj_entry* page = doc.d.objs.find(p.obj_num);
        if (page != nullptr) count += page_annotation_refs(doc.d, *page, refs);
    }
    clear_error();
    return count;
}

}  // namespace kestrin::interface
