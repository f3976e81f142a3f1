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
#include "scan/dictionary.h"
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
constexpr std::int32_t no_view_flag = 32;
constexpr std::int32_t push_button_flag = 1 << 16;  // Ff bit 17 of a button field

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

// The annotation's own entries the plan reads, found in one walk over the dictionary: never a key
// of a nested dictionary such as "AA" or "MK", which may carry the same names. -1: absent.
struct own_entries {
    std::int32_t type = -1, subtype = -1, field_type = -1, parent = -1, flags = -1, rect = -1;
    std::int32_t state = -1, value = -1, appearance = -1, field_flags = -1;
};

// The keys of own_entries, in the order of its members.
constexpr std::array<std::string_view, 10> own_keys{
    scan::key::type,  scan::key::subtype, scan::key::field_type,       scan::key::parent,
    scan::key::flags, scan::key::rect,    scan::key::appearance_state, scan::key::value,
    scan::key::appearance, scan::key::field_flags,
};

own_entries read_own_entries(std::string_view text, std::int32_t start)
{
    std::array<std::int32_t, own_keys.size()> at{};
    scan::entry_values_at(text, start, own_keys, at);
    return {at[0], at[1], at[2], at[3], at[4], at[5], at[6], at[7], at[8], at[9]};
}

}  // namespace

bool text_has_subtype(std::string_view text, std::int32_t start, std::string_view name)
{
    return scan::name_value_is(text, scan::entry_value_at(text, start, scan::key::subtype), name);
}

namespace {

std::int32_t subtype_kind(std::string_view text, std::int32_t subtype_value)
{
    const std::optional<std::string> subtype = scan::name_at(text, subtype_value);
    if (!subtype) return kind_none;
    for (const subtype_row& row : subtype_table)
        if (*subtype == row.name) return row.kind;
    return kind_none;
}

// The integer at pos, or the integer object a reference at pos names; nullopt for anything else.
std::optional<std::int32_t> integer_value(const load::doc& d, std::string_view text, std::int32_t pos)
{
    const std::string_view value = load::resolved_value(d, load::value_text_at(text, pos));
    std::int32_t at = 0;
    if (value.empty() || !(scan::is_digit(static_cast<unsigned char>(value.front())) || value.front() == '-'))
        return std::nullopt;
    const std::int32_t n = scan::parse_int_at(value, at);
    return at > 0 ? std::optional<std::int32_t>(n) : std::nullopt;
}

// The object number of a reference at pos, or 0.
std::int32_t reference_at(std::string_view text, std::int32_t pos)
{
    if (pos < 0 || pos >= scan::text_limit(text) || !scan::is_digit(static_cast<unsigned char>(text[pos]))) return 0;
    const std::int32_t num = scan::parse_int_at(text, pos);
    return num > 0 ? num : 0;
}

// A widget is a field when one of its parents, from num up, carries "FT".
bool has_field_parent(const load::doc& d, std::int32_t num)
{
    for (std::int32_t steps = 1;; ++steps) {
        const load::obj_entry* e = d.objs.find(num);
        if (e == nullptr) return false;
        const load::dict_span span = d.span_of(*e);
        if (!span) return false;
        const own_entries own = read_own_entries(span.text, span.start);
        if (own.field_type >= 0) return true;
        num = reference_at(span.text, own.parent);
        if (num <= 0 || steps == max_parent_steps) return false;
    }
}

// The fields whose widgets can get an appearance made from their value: text and choice fields
// (drawn from their value) and check boxes and radio buttons (drawn from their state). Push
// buttons show no value.
enum class generated_kind { none, value, state };

// The field's type and flags, each inherited from the nearest dictionary up the "Parent" chain
// that has it, decide its kind.
generated_kind read_generated_kind(const load::doc& d, std::string_view text, std::int32_t start)
{
    std::int32_t type_at = -1, flags_at = -1;
    std::string_view type_text, flags_text;
    for (std::int32_t steps = 0; steps <= max_parent_steps; ++steps) {
        const own_entries own = read_own_entries(text, start);
        if (type_at < 0 && own.field_type >= 0) {
            type_at = own.field_type;
            type_text = text;
        }
        if (flags_at < 0 && own.field_flags >= 0) {
            flags_at = own.field_flags;
            flags_text = text;
        }
        if (type_at >= 0 && flags_at >= 0) break;
        const load::obj_entry* e = d.objs.find(reference_at(text, own.parent));
        const load::dict_span span = e == nullptr ? load::dict_span{} : d.span_of(*e);
        if (!span) break;
        text = span.text;
        start = span.start;
    }
    const std::int32_t ff = flags_at < 0 ? 0 : integer_value(d, flags_text, flags_at).value_or(0);
    if (scan::name_value_is(type_text, type_at, scan::name::text_field) ||
        scan::name_value_is(type_text, type_at, scan::name::choice_field))
        return generated_kind::value;
    if (scan::name_value_is(type_text, type_at, scan::name::button_field) && (ff & push_button_flag) == 0)
        return generated_kind::state;
    return generated_kind::none;
}

// What decides generation besides the widget: the caller's choice and the form's NeedAppearances.
struct generation_rule {
    bool on = false;
    bool need_appearances = false;
};

bool has_appearance_stream(const load::doc& d, std::int32_t ap_obj)
{
    const load::obj_entry* ap = ap_obj > 0 ? d.objs.find(ap_obj) : nullptr;
    return ap != nullptr && ap->is_stream;
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

// The rectangle of the "Rect" value at pos, also when it refers to an array object of its own.
std::optional<scan::box> rect_at(const load::doc& d, std::string_view text, std::int32_t pos)
{
    return scan::box_of_array(load::array_value(d, load::value_text_at(text, pos)), 0);
}

// The appearance state: the name in "AS", else in "V".
std::optional<std::string> state_of(std::string_view text, const own_entries& own)
{
    if (std::optional<std::string> state = scan::name_at(text, own.state)) return state;
    return scan::name_at(text, own.value);
}

// Reads the item from the annotation's own entries; returns whether its flags have the Print bit.
bool read_annotation(const load::doc& d, std::string_view text, const own_entries& own, plan_item& item)
{
    item.is_annot = scan::name_value_is(text, own.type, scan::name::annot) ||
                    scan::name_value_is(text, own.subtype, scan::name::annot);
    item.kind = subtype_kind(text, own.subtype);
    item.is_field = own.field_type >= 0 || has_field_parent(d, reference_at(text, own.parent));
    if (const auto box = rect_at(d, text, own.rect)) {
        item.x = box->x;
        item.y = box->y;
        item.w = box->w;
        item.h = box->h;
    }
    const std::int32_t flags = integer_value(d, text, own.flags).value_or(0);
    item.hidden = (flags & hidden_flag) != 0;
    item.ap_obj = select_appearance_at(d, text, own.appearance, state_of(text, own));
    return (flags & print_flag) != 0;
}

// Whether the flattened item draws an appearance made from its field's value: a visible text or
// choice widget without an appearance stream, or any such widget when the form's appearances are
// stale; a check box or radio button whose appearance lacks the state to show. Such a button draws
// its Off appearance when it has one, never another on state; without one its off picture is made.
void choose_generation(const load::doc& d, const generation_rule& rule, std::string_view text, std::int32_t start,
                       const own_entries& own, plan_item& item)
{
    if (!rule.on || !item.is_field || item.hidden || !(item.w > 0) || !(item.h > 0)) return;
    if (!scan::name_value_is(text, own.subtype, scan::name::widget)) return;
    if ((integer_value(d, text, own.flags).value_or(0) & no_view_flag) != 0) return;
    // Most widgets have their appearance: they need no walk up their field's parents.
    const bool has_stream = has_appearance_stream(d, item.ap_obj);
    if (has_stream && !rule.need_appearances) return;
    switch (read_generated_kind(d, text, start)) {
    case generated_kind::value:
        item.generate = true;
        return;
    case generated_kind::state:
        if (has_stream) return;
        item.ap_obj = select_appearance_at(d, text, own.appearance, std::string(scan::name::off_state));
        item.generate = !has_appearance_stream(d, item.ap_obj);
        return;
    case generated_kind::none:
        return;
    }
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

analysis analyse(const load::doc& d, const plan_choices& choices, const generation_rule& rule,
                 const load::obj_entry& e)
{
    analysis a;
    a.item.obj = e.num;
    const load::dict_span span = d.span_of(e);
    const own_entries own = span ? read_own_entries(span.text, span.start) : own_entries{};
    const bool prints = span && read_annotation(d, span.text, own, a.item);
    a.what = decide(choices, a.item, prints);
    if (span && a.what == decision::flatten) choose_generation(d, rule, span.text, span.start, own, a.item);
    a.structural = is_structural(d, e.num);
    return a;
}

// A dictionary written in "Annots" itself: read like an object, but it has none to leave out.
analysis analyse_direct(const load::doc& d, const plan_choices& choices, const generation_rule& rule,
                        std::string_view direct)
{
    analysis a;
    a.item.direct = direct;
    const own_entries own = read_own_entries(direct, 0);
    const bool prints = read_annotation(d, direct, own, a.item);
    a.what = decide(choices, a.item, prints);
    if (a.what == decision::flatten) choose_generation(d, rule, direct, 0, own, a.item);
    return a;
}

// Below this many annotation objects a second thread costs more than it saves.
constexpr std::size_t min_analyses_for_two_threads = 2048;

// Each annotation object is read once, however many pages or entries list it, so that planning
// stays linear in the size of the file. The reading only looks at the document, so the objects
// of a large file are read in two halves at once.
class analysis_cache {
public:
    analysis_cache(const load::doc& d, const plan_choices& choices, const generation_rule& rule)
        : d_(d), choices_(choices), rule_(rule), slot_(static_cast<std::size_t>(d.max_obj) + 1, -1)
    {
    }

    // Reads every annotation object the pages list, in the order they are first listed.
    void read_all(const std::vector<std::vector<annotation_ref>>& page_refs)
    {
        std::vector<const load::obj_entry*> order;
        for (const std::vector<annotation_ref>& refs : page_refs)
            for (const annotation_ref& r : refs) {
                const load::obj_entry* e = r.obj > 0 ? d_.objs.find(r.obj) : nullptr;
                if (e == nullptr || e->num < 0 || static_cast<std::size_t>(e->num) >= slot_.size()) continue;
                std::int32_t& slot = slot_[static_cast<std::size_t>(e->num)];
                if (slot >= 0) continue;
                slot = static_cast<std::int32_t>(order.size());
                order.push_back(e);
            }
        done_.resize(order.size());
        const auto read_range = [&](std::size_t from, std::size_t to) {
            for (std::size_t k = from; k < to; ++k) done_[k] = analyse(d_, choices_, rule_, *order[k]);
        };
        if (order.size() < min_analyses_for_two_threads)
            read_range(0, order.size());
        else
            base::run_in_halves(order.size(), read_range);
    }

    const analysis& get(const load::obj_entry& e)
    {
        if (e.num < 0 || static_cast<std::size_t>(e.num) >= slot_.size()) {
            scratch_ = analyse(d_, choices_, rule_, e);
            return scratch_;
        }
        std::int32_t& slot = slot_[static_cast<std::size_t>(e.num)];
        if (slot < 0) {
            done_.push_back(analyse(d_, choices_, rule_, e));
            slot = static_cast<std::int32_t>(done_.size() - 1);
        }
        return done_[static_cast<std::size_t>(slot)];
    }

private:
    const load::doc& d_;
    const plan_choices& choices_;
    const generation_rule& rule_;
    base::large_vector<std::int32_t> slot_;
    base::large_vector<analysis> done_;
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
base::status read_page_refs(const load::doc& d, std::int32_t page_num, std::vector<annotation_ref>& refs)
{
    const load::obj_entry* page = d.objs.find(page_num);
    if (page == nullptr)
        return base::status::failure("page object " + std::to_string(page_num) + " is missing");
    const load::dict_span span = d.span_of(*page);
    if (!span)
        return base::status::failure("page object " + std::to_string(page_num) + " has no dictionary");
    read_annotation_list(d, span.text, span.start, refs);
    return base::status::success();
}

// Plans one page from its annotation references.
void plan_page(analysis_cache& cache, const load::doc& d, const plan_choices& choices,
               const generation_rule& rule, const std::vector<annotation_ref>& refs, flatten_plan& plan, page_plan& page)
{
    page.first_item = static_cast<std::int32_t>(plan.items.size());
    for (const annotation_ref& ref : refs) {
        const std::int32_t r = ref.obj;
        const load::obj_entry* e = r > 0 ? d.objs.find(r) : nullptr;
        if (r > 0 && e == nullptr) continue;
        const analysis direct = e == nullptr ? analyse_direct(d, choices, rule, ref.direct) : analysis{};
        const analysis& a = e == nullptr ? direct : cache.get(*e);
        if (a.what == decision::keep) {
            // A widget that the field pass reached but that names no field type stays an
            // annotation, so its object must be written.
            unmark_drop(plan, r);
            page.kept.push_back(ref);
        } else if (a.what == decision::flatten) {
            page.annots_changed = true;
            page.needs_content = true;
            if (!a.structural && r > 0 && static_cast<std::size_t>(r) < plan.dropped.size())
                plan.dropped[static_cast<std::size_t>(r)] = 1;
            plan.items.push_back(a.item);
        }
    }
    page.item_count = static_cast<std::int32_t>(plan.items.size()) - page.first_item;
}

}  // namespace

load::dict_span annotation_dictionary(const load::doc& d, const plan_item& item)
{
    if (item.obj == 0) return {item.direct, item.direct.empty() ? -1 : 0};
    const load::obj_entry* e = d.objs.find(item.obj);
    return e == nullptr ? load::dict_span{} : d.span_of(*e);
}

void number_font(flatten_plan& plan)
{
    if (plan.font_obj == 0) plan.font_obj = plan.next_free_obj++;
}

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
    std::vector<std::vector<annotation_ref>> page_refs(d.pages.size());
    for (std::size_t i = 0; i < d.pages.size(); ++i) {
        plan.pages[i].page_obj = d.pages[i];
        if (base::status read = read_page_refs(d, d.pages[i], page_refs[i]); !read) return read;
    }
    generation_rule rule;
    rule.on = choices.generate_appearances && mode != flatten_mode::annotations;
    rule.need_appearances = plan.form && form_needs_appearances(d, *plan.form);
    analysis_cache cache(d, choices, rule);
    cache.read_all(page_refs);
    // Each item comes from one reference: one allocation instead of a copy at every doubling.
    std::size_t ref_count = 0;
    for (const std::vector<annotation_ref>& refs : page_refs) ref_count += refs.size();
    plan.items.reserve(ref_count);
    for (std::size_t i = 0; i < d.pages.size(); ++i)
        plan_page(cache, d, choices, rule, page_refs[i], plan, plan.pages[i]);
    number_new_objects(d, plan);
    return plan;
}

}  // namespace kestrin::plan
