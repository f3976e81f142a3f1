#include "plan/plan.h"

#include <array>
#include <string>
#include <limits>

#include "base/two_threads.h"
#include "load/pages.h"
#include "load/values.h"
#include "plan/appearance.h"
#include "plan/numbering.h"
#include "plan/refs.h"
#include "scan/chars.h"
#include "scan/frame.h"
#include "scan/keys.h"
#include "scan/token.h"
#include "scan/value.h"

namespace kestrin::plan {

namespace {

// Parents followed per annotation: real field trees are shallow, and this ends parent loops.
constexpr std::int32_t max_parent_steps = 31;
// Lists read by the plan are complete: their size is bounded by the text they are read from.
constexpr std::int32_t unlimited = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t hidden_flag = 2;
constexpr std::int32_t print_flag = 4;

struct subtype_row {
    std::string_view name;
    annot_kind kind;
};

// Tried in this order; the first match gives the kind.
constexpr std::array<subtype_row, 18> subtype_table{{
    {"Text", kind_text},
    {"Highlight", kind_highlight},
    {"Underline", kind_underline},
    {"Squiggly", kind_squiggly},
    {"StrikeOut", kind_strikeout},
    {"FreeText", kind_freetext},
    {"Link", kind_link},
    {"Stamp", kind_stamp},
    {"Ink", kind_ink},
    {"Line", kind_line},
    {"Square", kind_square},
    {"Circle", kind_circle},
    {"Polygon", kind_polygon},
    {"PolyLine", kind_polyline},
    {"Caret", kind_caret},
    {"FileAttachment", kind_fileattachment},
    {"Signature", kind_signature},
    {"3D", kind_3d},
}};

// True when "/name" stands at pos, ending at the limit or before a byte that is no letter or digit.
bool name_value_at(std::string_view text, std::int32_t pos, std::string_view name)
{
    const auto limit = scan::text_limit(text);
    const auto n = static_cast<std::int32_t>(name.size());
    if (pos >= limit || text[pos] != '/' || limit - pos < 2) return false;
    const std::int32_t first = pos + 1;
    if (n > limit - first || text.substr(static_cast<std::size_t>(first), name.size()) != name)
        return false;
    return n == limit - first || !scan::is_alnum(static_cast<unsigned char>(text[first + n]));
}

// Every occurrence of key is tried: a value of /name at any of them counts.
bool key_has_name_value(std::string_view text, std::int32_t start, std::string_view key,
                        std::string_view name)
{
    const auto limit = scan::text_limit(text);
    for (std::int32_t at = scan::find_key_anywhere(text, start, limit, key); at >= 0;
         at = scan::find_key_anywhere(text, at + 1, limit, key)) {
        const std::int32_t pos =
            scan::value_start(text, at, key);
        if (name_value_at(text, pos, name)) return true;
    }
    return false;
}

}  // namespace

bool text_has_subtype(std::string_view text, std::int32_t start, std::string_view name)
{
    return key_has_name_value(text, start, scan::key::subtype, name);
}

namespace {

// The kind of the earliest table row whose name is the value of some "Subtype": the same answer as
// trying the rows one by one, from one walk over the occurrences instead of one per row.
std::int32_t subtype_kind(std::string_view text, std::int32_t start)
{
    const auto limit = scan::text_limit(text);
    std::size_t best = subtype_table.size();
    for (std::int32_t at = scan::find_key_anywhere(text, start, limit, scan::key::subtype); at >= 0 && best > 0;
         at = scan::find_key_anywhere(text, at + 1, limit, scan::key::subtype)) {
        const std::int32_t pos =
            scan::value_start(text, at, scan::key::subtype);
        for (std::size_t row = 0; row < best; ++row)
            if (name_value_at(text, pos, subtype_table[row].name)) best = row;
    }
    return best < subtype_table.size() ? subtype_table[best].kind : kind_none;
}

bool has_key(std::string_view text, std::int32_t start, std::string_view key)
{
    return scan::find_key_anywhere(text, start, scan::text_limit(text), key) >= 0;
}

// The first integer above 0 after any occurrence of key, or 0.
std::int32_t positive_int_after(std::string_view text, std::int32_t start, std::string_view key)
{
    const auto limit = scan::text_limit(text);
    for (std::int32_t at = scan::find_key_anywhere(text, start, limit, key); at >= 0;
         at = scan::find_key_anywhere(text, at + 1, limit, key)) {
        std::int32_t pos = scan::value_start(text, at, key);
        if (pos >= limit || !scan::is_digit(static_cast<unsigned char>(text[pos]))) continue;
        const std::int32_t value = scan::parse_int_at(text, pos);
        if (value > 0) return value;
    }
    return 0;
}

// A widget is a field when it or one of its parents carries "FT".
bool is_field_widget(const load::doc& d, std::int32_t num)
{
    for (std::int32_t steps = 0;; ++steps) {
        const load::obj_entry* e = d.objs.find(num);
        if (e == nullptr) return false;
        const load::dict_span span = d.span_of(*e);
        if (!span) return false;
        if (has_key(span.text, span.start, scan::key::field_type)) return true;
        num = positive_int_after(span.text, span.start, scan::key::parent);
        if (num <= 0 || steps == max_parent_steps) return false;
    }
}

// The annotation flags: the first "F" whose value is an integer, or 0.
std::int32_t annotation_flags(std::string_view text, std::int32_t start)
{
    const auto limit = scan::text_limit(text);
    for (std::int32_t at = scan::find_key_anywhere(text, start, limit, scan::key::flags); at >= 0;
         at = scan::find_key_anywhere(text, at + 1, limit, scan::key::flags)) {
        std::int32_t pos =
            scan::value_start(text, at, scan::key::flags);
        if (pos < limit && scan::is_digit(static_cast<unsigned char>(text[pos])))
            return scan::parse_int_at(text, pos);
    }
    return 0;
}

enum class decision { flatten, keep, drop };

// What the plan needs to know of one annotation object; the same for every page that lists it.
struct analysis {
    plan_item item;
    decision what = decision::drop;
    bool structural = false;  // the catalog or a page-tree object, never left out
};

decision decide(flatten_mode mode, const plan_item& item)
{
    if (item.is_field)
        return mode == flatten_mode::annotations ? decision::keep : decision::flatten;
    if (item.is_annot || item.kind != kind_none)
        return mode == flatten_mode::forms ? decision::keep : decision::flatten;
    return decision::drop;
}

// The mode's decision, changed by the other choices only for what the mode would flatten. An
// item removed without a picture is flattened as a hidden one: it leaves "Annots", draws nothing.
decision decide(const plan_choices& choices, plan_item& item, bool prints)
{
    const decision by_mode = decide(choices.mode, item);
    if (by_mode != decision::flatten) return by_mode;
    if (choices.keep_links && !item.is_field && item.kind == kind_link) return decision::keep;
    if (choices.print_only && !prints) {
        if (choices.keep_non_printing && !item.is_field) return decision::keep;
        item.hidden = true;
    }
    return decision::flatten;
}

// The rectangle, also when "Rect" refers to an array object of its own.
std::optional<scan::box> rect_of(const load::doc& d, std::string_view text, std::int32_t start)
{
    if (auto box = scan::box_xywh_named(text, start, scan::key::rect)) return box;
    const std::optional<std::string> indirect = load::array_entry(d, text, start, scan::key::rect);
    return indirect ? scan::box_xywh_named(*indirect, 0, scan::key::rect) : std::nullopt;
}

// Reads the item; returns whether its flags have the Print bit.
bool read_annotation(const load::doc& d, std::string_view text, std::int32_t start, plan_item& item)
{
    item.is_annot = key_has_name_value(text, start, scan::key::type, scan::name::annot) ||
                    text_has_subtype(text, start, scan::name::annot);
    item.kind = subtype_kind(text, start);
    item.is_field = has_key(text, start, scan::key::field_type) || is_field_widget(d, item.obj);
    if (const auto box = rect_of(d, text, start)) {
        item.x = box->x;
        item.y = box->y;
        item.w = box->w;
        item.h = box->h;
    }
    const std::int32_t flags = annotation_flags(text, start);
    item.hidden = (flags & hidden_flag) != 0;
    item.ap_obj = select_appearance(d, text, start, appearance_state(text, start));
    return (flags & print_flag) != 0;
}

// The catalog and the page tree are never left out, whatever a damaged "Fields", "Kids" or
// "Annots" array names: dropping them would cost the output its pages.
bool is_structural(const load::doc& d, std::int32_t num)
{
    if (num == d.root) return true;
    const load::obj_entry* e = d.objs.find(num);
    if (e == nullptr) return false;
    const load::dict_span span = d.span_of(*e);
    return span && scan::obj_type(span.text, span.start) != scan::type_other;
}

analysis analyse(const load::doc& d, const plan_choices& choices, const load::obj_entry& e)
{
    analysis a;
    a.item.obj = e.num;
    const load::dict_span span = d.span_of(e);
    const bool prints = span && read_annotation(d, span.text, span.start, a.item);
    a.what = decide(choices, a.item, prints);
    a.structural = is_structural(d, e.num);
    return a;
}

// Below this many annotation objects a second thread costs more than it saves.
constexpr std::size_t min_analyses_for_two_threads = 2048;

// Each annotation object is read once, however many pages or entries list it, so that planning
// stays linear in the size of the file. The reading only looks at the document, so the objects
// of a large file are read in two halves at once.
class analysis_cache {
public:
    analysis_cache(const load::doc& d, const plan_choices& choices)
        : d_(d), choices_(choices), slot_(static_cast<std::size_t>(d.max_obj) + 1, -1)
    {
    }

    // Reads every annotation object the pages list, in the order they are first listed.
    void read_all(const std::vector<std::vector<std::int32_t>>& page_refs)
    {
        std::vector<const load::obj_entry*> order;
        for (const std::vector<std::int32_t>& refs : page_refs)
            for (std::int32_t r : refs) {
                const load::obj_entry* e = d_.objs.find(r);
                if (e == nullptr || e->num < 0 || static_cast<std::size_t>(e->num) >= slot_.size()) continue;
                std::int32_t& slot = slot_[static_cast<std::size_t>(e->num)];
                if (slot >= 0) continue;
                slot = static_cast<std::int32_t>(order.size());
                order.push_back(e);
            }
        done_.resize(order.size());
        const auto read_range = [&](std::size_t from, std::size_t to) {
            for (std::size_t k = from; k < to; ++k) done_[k] = analyse(d_, choices_, *order[k]);
        };
        if (order.size() < min_analyses_for_two_threads)
            read_range(0, order.size());
        else
            base::run_in_halves(order.size(), read_range);
    }

    const analysis& get(const load::obj_entry& e)
    {
        if (e.num < 0 || static_cast<std::size_t>(e.num) >= slot_.size()) {
            scratch_ = analyse(d_, choices_, e);
            return scratch_;
        }
        std::int32_t& slot = slot_[static_cast<std::size_t>(e.num)];
        if (slot < 0) {
            done_.push_back(analyse(d_, choices_, e));
            slot = static_cast<std::int32_t>(done_.size() - 1);
        }
        return done_[static_cast<std::size_t>(slot)];
    }

private:
    const load::doc& d_;
    const plan_choices& choices_;
    std::vector<std::int32_t> slot_;
    std::vector<analysis> done_;
    analysis scratch_;
};

void mark_drop(const load::doc& d, flatten_plan& plan, std::int32_t num)
{
    if (num >= 0 && static_cast<std::size_t>(num) < plan.dropped.size() && !is_structural(d, num))
        plan.dropped[static_cast<std::size_t>(num)] = 1;
}

void unmark_drop(flatten_plan& plan, std::int32_t num)
{
    if (num >= 0 && static_cast<std::size_t>(num) < plan.dropped.size())
        plan.dropped[static_cast<std::size_t>(num)] = 0;
}

// Stacks num once; the visited marks keep the walk linear in the number of objects.
void push_unvisited(std::vector<std::uint8_t>& visited, std::vector<std::int32_t>& stack,
                    std::int32_t num)
{
    if (num < 1 || static_cast<std::size_t>(num) >= visited.size()) return;
    std::uint8_t& mark = visited[static_cast<std::size_t>(num)];
    if (mark != 0) return;
    mark = 1;
    stack.push_back(num);
}

// Marks the form's fields and everything below them for leaving out. The walk is complete; it
// neither marks nor descends into the catalog or the page tree.
void drop_field_tree(const load::doc& d, const form_location& form, flatten_plan& plan)
{
    if (form.form_obj > 0) mark_drop(d, plan, form.form_obj);
    std::vector<std::int32_t> fields;
    if (collect_ref_list(d, form_dict_text(form), form.form_start, scan::key::fields, fields,
                         unlimited) <= 0)
        return;
    std::vector<std::uint8_t> visited(plan.dropped.size(), 0);
    std::vector<std::int32_t> stack;
    for (std::int32_t field : fields) push_unvisited(visited, stack, field);
    std::vector<std::int32_t> kids;
    while (!stack.empty()) {
        const std::int32_t n = stack.back();
        stack.pop_back();
        if (is_structural(d, n)) continue;
        plan.dropped[static_cast<std::size_t>(n)] = 1;  // within range: push_unvisited checked it
        const load::obj_entry* e = d.objs.find(n);
        if (e == nullptr) continue;
        kids.clear();
        if (load::parse_kids(d, *e, kids, unlimited) <= 0) continue;
        for (std::int32_t kid : kids) push_unvisited(visited, stack, kid);
    }
}

// The annotation references of one page, or why the page cannot be read.
base::status read_page_refs(const load::doc& d, std::int32_t page_num, std::vector<std::int32_t>& refs)
{
    const load::obj_entry* page = d.objs.find(page_num);
    if (page == nullptr)
        return base::status::failure("page object " + std::to_string(page_num) + " is missing");
    const load::dict_span span = d.span_of(*page);
    if (!span)
        return base::status::failure("page object " + std::to_string(page_num) + " has no dictionary");
    collect_ref_list(d, span.text, span.start, scan::key::annots, refs, unlimited);
    return base::status::success();
}

// Plans one page from its annotation references.
void plan_page(analysis_cache& cache, const load::doc& d, const std::vector<std::int32_t>& refs,
               flatten_plan& plan, page_plan& page)
{
    page.first_item = static_cast<std::int32_t>(plan.items.size());
    for (std::int32_t r : refs) {
        const load::obj_entry* e = d.objs.find(r);
        if (e == nullptr) continue;
        const analysis& a = cache.get(*e);
        if (a.what == decision::keep) {
            // A widget that the field pass reached but that names no field type stays an
            // annotation, so its object must be written.
            unmark_drop(plan, r);
            page.kept.push_back(r);
        } else if (a.what == decision::flatten) {
            page.annots_changed = true;
            page.needs_content = true;
            if (!a.structural && r >= 0 && static_cast<std::size_t>(r) < plan.dropped.size())
                plan.dropped[static_cast<std::size_t>(r)] = 1;
            plan.items.push_back(a.item);
        }
    }
    page.item_count = static_cast<std::int32_t>(plan.items.size()) - page.first_item;
}

}  // namespace

const xobject_entry* flatten_plan::xobject_of(std::int32_t item) const
{
    if (item < 0 || static_cast<std::size_t>(item) >= xobject_of_item.size()) return nullptr;
    const std::int32_t x = xobject_of_item[static_cast<std::size_t>(item)];
    return x < 0 ? nullptr : &xobjects[static_cast<std::size_t>(x)];
}

fallback_resources flatten_plan::fallback_resources_of(std::int32_t first, std::int32_t count) const
{
    fallback_resources uses;
    const auto item_total = static_cast<std::int32_t>(items.size());
    for (std::int32_t k = 0; k < count; ++k) {
        const std::int32_t i = first + k;
        if (i < 0 || i >= item_total) break;
        const plan_item& item = items[static_cast<std::size_t>(i)];
        if (item.hidden || xobject_of(i) != nullptr) continue;
        uses.translucent_state = uses.translucent_state || item.kind == kind_highlight;
        uses.font = uses.font || item.kind == kind_freetext;
    }
    return uses;
}

base::result<flatten_plan> make_plan(const load::doc& d, flatten_mode mode)
{
    plan_choices choices;
    choices.mode = mode;
    return make_plan(d, choices);
}

base::result<flatten_plan> make_plan(const load::doc& d, const plan_choices& choices)
{
    const flatten_mode mode = choices.mode;
    flatten_plan plan;
    plan.mode = mode;
    plan.form = find_form(d, d.root);
    plan.dropped.assign(static_cast<std::size_t>(d.max_obj) + 1, 0);
    if (mode != flatten_mode::annotations && plan.form) drop_field_tree(d, *plan.form, plan);
    plan.pages.resize(d.pages.size());
    std::vector<std::vector<std::int32_t>> page_refs(d.pages.size());
    for (std::size_t i = 0; i < d.pages.size(); ++i) {
        plan.pages[i].page_obj = d.pages[i];
        if (base::status read = read_page_refs(d, d.pages[i], page_refs[i]); !read) return read;
    }
    analysis_cache cache(d, choices);
    cache.read_all(page_refs);
    for (std::size_t i = 0; i < d.pages.size(); ++i) plan_page(cache, d, page_refs[i], plan, plan.pages[i]);
    number_new_objects(d, plan);
    return plan;
}

}  // namespace kestrin::plan
