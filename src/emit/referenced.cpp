// Compact output: the input objects that something the output writes refers to.
#include "emit/referenced.h"

#include <string_view>

#include "emit/xobject.h"
#include "load/values.h"
#include "scan/reference.h"

namespace kestrin::emit {

namespace {

// The objects still to visit, each number once.
class reference_walk {
public:
    explicit reference_walk(std::int32_t max_obj) : reached_(static_cast<std::size_t>(max_obj) + 1, 0), cap_(max_obj) {}

    void reach(std::int32_t num)
    {
        if (num < 1 || num > cap_ || reached_[static_cast<std::size_t>(num)] != 0) return;
        reached_[static_cast<std::size_t>(num)] = 1;
        pending_.push_back(num);
    }

    void reach_from(std::string_view text)
    {
        numbers_.clear();
        scan::append_digit_runs(text, cap_, numbers_);
        for (std::int32_t num : numbers_) reach(num);
    }

    // The next number to visit, or 0.
    std::int32_t next()
    {
        if (pending_.empty()) return 0;
        const std::int32_t num = pending_.back();
        pending_.pop_back();
        return num;
    }

    base::large_vector<std::uint8_t> reached() && { return std::move(reached_); }

private:
    base::large_vector<std::uint8_t> reached_;
    std::vector<std::int32_t> pending_;
    std::vector<std::int32_t> numbers_;
    std::int32_t cap_;
};

// The text the output writes for input object e, stream data left out: an override or a page
// step's dictionary in its place, else its own text (a stream's dictionary only).
std::string_view written_text(const writer& w, const load::obj_entry& e)
{
    if (const std::string* text = w.replaced.find(e.num)) return *text;
    if (auto it = w.plan_of_page.find(e.num); it != w.plan_of_page.end()) {
        const std::optional<std::string>& text = w.page_texts[static_cast<std::size_t>(it->second)];
        if (text) return *text;
    }
    if (!e.is_stream) return load::object_body(w.doc, e);
    const load::dict_span span = w.doc.span_of(e);
    return span ? span.text.substr(static_cast<std::size_t>(span.start)) : std::string_view();
}

// What the XObjects the output writes refer to: the entries they copy from their appearances and
// the form's default resources, or a generated appearance's font.
void reach_from_new_xobjects(const writer& w, reference_walk& walk)
{
    bool copies = false;
    for (std::size_t i = 0; i < w.plan.xobjects.size(); ++i) {
        const plan::xobject_entry& x = w.plan.xobjects[i];
        if (i < w.compact_forms.size() && w.compact_forms[i] == compact_form::appearance) continue;
        if (x.generated) {
            if (const generate::generated_appearance* g = w.generated.find(i)) walk.reach_from(g->font_value);
            continue;
        }
        const load::obj_entry* ap = w.doc.objs.find(x.ap_obj);
        if (ap == nullptr) continue;
        const load::dict_span span = w.doc.span_of(*ap);
        if (span) walk.reach_from(span.text.substr(static_cast<std::size_t>(span.start)));
        copies = true;
    }
    if (copies) walk.reach_from(default_resources(w.plan));
}

}  // namespace

base::large_vector<std::uint8_t> referenced_objects(const writer& w)
{
    reference_walk walk(w.doc.max_obj);
    walk.reach(w.doc.root);
    walk.reach(w.doc.info);
    for (std::int32_t page : w.doc.pages) walk.reach(page);
    reach_from_new_xobjects(w, walk);
    for (std::int32_t num = walk.next(); num != 0; num = walk.next()) {
        const load::obj_entry* e = w.doc.objs.find(num);
        if (e != nullptr && !w.plan.is_dropped(num)) walk.reach_from(written_text(w, *e));
    }
    return std::move(walk).reached();
}

}  // namespace kestrin::emit
