#include "plan/numbering.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "base/two_threads.h"
#include "scan/reference.h"

namespace kestrin::plan {

namespace {

// Below this many objects a second thread costs more than it saves.
constexpr std::size_t min_objects_for_two_threads = 8192;

bool has_usable_appearance(const load::doc& d, const plan_item& item)
{
    if (item.hidden || item.ap_obj <= 0 || !(item.w > 0) || !(item.h > 0)) return false;
    const load::obj_entry* ap = d.objs.find(item.ap_obj);
    return ap != nullptr && ap->is_stream;
}

// The non-stream text of an object: where its references stand.
std::string_view reference_text(const load::doc& d, const load::obj_entry& e)
{
    if (e.in_object_stream) return {e.text, static_cast<std::size_t>(e.text_len)};
    const std::int32_t end = e.stream_pos > 0 ? e.stream_pos : e.obj_end > 0 ? e.obj_end : d.len;
    if (e.hdr_pos < 0 || end <= e.hdr_pos) return {};
    return d.file().substr(static_cast<std::size_t>(e.hdr_pos), static_cast<std::size_t>(end - e.hdr_pos));
}

// The highest number any object refers to, at most the file length: a reference to a missing
// object means null, and must not come to name a new object of the output.
std::int32_t highest_referenced(const load::doc& d)
{
    const auto top_of = [&d](std::size_t from, std::size_t to) {
        std::int32_t top = 0;
        for (std::size_t i = from; i < to; ++i)
            top = std::max(top, scan::highest_reference(reference_text(d, d.objs.entries[i]), d.len));
        return top;
    };
    const std::size_t count = d.objs.entries.size();
    if (count < min_objects_for_two_threads) return top_of(0, count);
    std::int32_t upper = 0, lower = 0;
    base::run_on_two_threads([&] { upper = top_of(count / 2, count); },
                             [&] { lower = top_of(0, count / 2); });
    return std::max(lower, upper);
}

// Per annotation object: the last page it was seen on and the XObject it got there.
struct last_placement {
    std::int32_t page = -1;
    std::int32_t first = -1;
};

// One XObject per usable item; an annotation listed twice on a page is placed through the first.
void number_xobjects(const load::doc& d, flatten_plan& plan)
{
    const auto item_total = static_cast<std::int32_t>(plan.items.size());
    plan.xobject_of_item.assign(plan.items.size(), -1);
    plan.xobjects.reserve(plan.items.size());
    const auto numbers = static_cast<std::size_t>(std::max(d.max_obj, 0)) + 1;
    base::large_vector<last_placement> placed(numbers);
    for (std::size_t page = 0; page < plan.pages.size(); ++page) {
        const page_plan& p = plan.pages[page];
        for (std::int32_t k = 0; k < p.item_count; ++k) {
            const std::int32_t i = p.first_item + k;
            if (i < 0 || i >= item_total) break;
            const plan_item& item = plan.items[static_cast<std::size_t>(i)];
            if (!item.generate && !has_usable_appearance(d, item)) continue;
            auto first = static_cast<std::int32_t>(plan.xobjects.size());
            if (item.obj > 0 && static_cast<std::size_t>(item.obj) < numbers) {
                last_placement& last = placed[static_cast<std::size_t>(item.obj)];
                if (last.page == static_cast<std::int32_t>(page)) first = last.first;
                last = {static_cast<std::int32_t>(page), first};
            }
            plan.xobjects.push_back({plan.next_free_obj++, item.generate ? 0 : item.ap_obj, i, item.generate});
            plan.xobject_of_item[static_cast<std::size_t>(i)] = first;
        }
    }
}

}  // namespace

// New objects go above every number the input uses or refers to, also numbers of objects the
// table left out. The font and the graphics state are numbered only when some picture uses them.
void number_new_objects(const load::doc& d, flatten_plan& plan)
{
    plan.next_free_obj = std::max({d.max_obj, d.max_header_num, highest_referenced(d)}) + 1;
    for (page_plan& p : plan.pages)
        if (p.needs_content) p.content_obj = plan.next_free_obj++;
    number_xobjects(d, plan);
    const fallback_resources uses = plan.fallback_resources_of(0, static_cast<std::int32_t>(plan.items.size()));
    if (uses.font) plan.font_obj = plan.next_free_obj++;
    if (uses.translucent_state) plan.gs_obj = plan.next_free_obj++;
}

}  // namespace kestrin::plan
