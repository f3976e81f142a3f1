// The page step: the replacement dictionary of every changed page.
#include "emit/page_dictionary.h"

#include <string>
#include <unordered_set>
#include <vector>

#include "base/append.h"
#include "emit/compact_forms.h"
#include "emit/content_stream.h"
#include "emit/object_check.h"
#include "emit/object_writer.h"
#include "emit/resources.h"
#include "scan/frame.h"
#include "scan/keys.h"
#include "scan/value.h"

namespace kestrin::emit {

namespace {

std::string new_ref(std::int32_t num) { return base::to_text(num, " 0 R"); }

// Compact output: the old pieces as they stand, after the "q"s that wrap them, then the new stream,
// which closes them.
std::string contents_in_place(const writer& w, const plan::page_plan& p, const old_content& old)
{
    std::string entry = " /Contents ";
    if (old.leading_q == 0) return entry.append(new_ref(p.content_obj));
    entry.append("[");
    for (std::int32_t i = 0; i < old.leading_q; ++i) entry.append(i == 0 ? "" : " ").append(new_ref(w.q_obj));
    for (std::int32_t piece : old.pieces) entry.append(" ").append(ref_text(w.doc, piece));
    return entry.append(" ").append(new_ref(p.content_obj)).append("]");
}

// The new content stream; undecodable old pieces stay referenced between "q" and the new stream,
// which begins with the matching "Q".
std::string contents_entry(const writer& w, const plan::page_plan& p, const old_content& old)
{
    if (old.in_place) return contents_in_place(w, p, old);
    std::string entry = " /Contents ";
    if (!old.by_reference) return entry.append(new_ref(p.content_obj));
    entry.append("[").append(new_ref(w.q_obj));
    for (std::int32_t piece : old.pieces) entry.append(" ").append(ref_text(w.doc, piece));
    return entry.append(" ").append(new_ref(p.content_obj)).append("]");
}

// " /Annots [ a 0 R  b 0 R]": one space after the bracket, two between references.
std::string annots_entry(const load::doc& d, const std::vector<plan::annotation_ref>& kept)
{
    std::string entry = " /Annots [";
    for (std::size_t i = 0; i < kept.size(); ++i) {
        entry.append(i == 0 ? " " : "  ");
        if (kept[i].obj > 0)
            entry.append(ref_text(d, kept[i].obj));
        else
            entry.append(kept[i].direct);
    }
    return entry.append("]");
}

// The XObjects placing the page's items, each once: an annotation listed twice is placed twice
// through one XObject.
std::vector<const plan::xobject_entry*> page_xobjects(const plan::flatten_plan& plan, const plan::page_plan& p)
{
    std::vector<const plan::xobject_entry*> xobjects;
    std::unordered_set<std::int32_t> named;
    const auto item_total = static_cast<std::int32_t>(plan.items.size());
    for (std::int32_t k = 0; k < p.item_count; ++k) {
        const std::int32_t i = p.first_item + k;
        if (i < 0 || i >= item_total) break;
        const plan::xobject_entry* x = plan.xobject_of(i);
        if (x != nullptr && named.insert(x->obj).second) xobjects.push_back(x);
    }
    return xobjects;
}

// What the page's fallback pictures use of the objects the output has.
plan::fallback_resources used_fallback_resources(const plan::flatten_plan& plan, const plan::page_plan& p)
{
    plan::fallback_resources uses = plan.fallback_resources_of(p.first_item, p.item_count);
    uses.translucent_state = uses.translucent_state && plan.gs_obj > 0;
    uses.font = uses.font && plan.font_obj > 0;
    return uses;
}

// Names the page's resources do not use yet, so that its old content keeps reaching its own
// objects; the usual names wherever they are free, which leaves such pages as they always were.
page_names choose_names(const load::doc& d, const load::obj_entry& page,
                        const std::vector<const plan::xobject_entry*>& xobjects, const plan::fallback_resources& uses)
{
    page_names names;
    if (xobjects.empty() && !uses.translucent_state && !uses.font) return names;
    const names_in_use in_use(d, page);
    if (!xobjects.empty()) {
        std::unordered_set<std::string> taken = in_use.of(scan::key::xobject);
        for (const plan::xobject_entry* x : xobjects) {
            const std::int32_t num = x->obj;
            const std::string usual = names.xobject(num);
            if (!taken.contains(usual)) continue;
            std::string name = free_name(taken, usual);
            taken.insert(name);
            names.renamed_xobjects.emplace(num, std::move(name));
        }
    }
    if (uses.translucent_state) names.translucent_state = free_name(in_use.of(scan::key::ext_g_state), names.translucent_state);
    if (uses.font) names.font = free_name(in_use.of(scan::key::font), names.font);
    return names;
}

std::vector<resource_entry> resource_entries(const writer& w, const std::vector<const plan::xobject_entry*>& xobjects,
                                             const plan::fallback_resources& uses, const page_names& names)
{
    const plan::flatten_plan& plan = w.plan;
    std::vector<resource_entry> pairs;
    for (const plan::xobject_entry* x : xobjects)
        pairs.push_back({scan::key::xobject, base::to_text('/', names.xobject(x->obj), ' ', xobject_reference(w, *x))});
    if (uses.translucent_state)
        pairs.push_back({scan::key::ext_g_state, base::to_text('/', names.translucent_state, ' ', plan.gs_obj, " 0 R")});
    if (uses.font) pairs.push_back({scan::key::font, base::to_text('/', names.font, ' ', plan.font_obj, " 0 R")});
    return pairs;
}

void build_page_text(writer& w, std::int32_t page)
{
    const plan::page_plan& p = w.plan.pages[static_cast<std::size_t>(page)];
    const load::obj_entry* e = w.doc.objs.find(p.page_obj);
    if (e == nullptr) return;
    const load::dict_span span = w.doc.span_of(*e);
    if (!span) return;
    std::optional<std::string> text = scan::dict_text_at(span.text, span.start);
    if (!text) return;
    if (p.needs_content) {
        old_content& old = w.contents[static_cast<std::size_t>(page)];
        old = collect_old_content(w, *e);
        if ((old.by_reference || old.leading_q > 0) && w.q_obj == 0) w.q_obj = w.plan.next_free_obj;
        scan::strip_dict_entry(*text, scan::key::contents);
        scan::dict_append_before_close(*text, contents_entry(w, p, old));
    }
    if (p.annots_changed) {
        scan::strip_dict_entry(*text, scan::key::annots);
        if (!p.kept.empty()) scan::dict_append_before_close(*text, annots_entry(w.doc, p.kept));
    }
    std::vector<resource_entry> entries;
    if (p.needs_content) {
        const std::vector<const plan::xobject_entry*> xobjects = page_xobjects(w.plan, p);
        const plan::fallback_resources uses = used_fallback_resources(w.plan, p);
        page_names& names = w.names[static_cast<std::size_t>(page)];
        names = choose_names(w.doc, *e, xobjects, uses);
        entries = resource_entries(w, xobjects, uses, names);
    }
    std::string page_text = page_add_resources(w.doc, w.replaced, w.merges, std::move(*text), *e, entries);
    // A damaged page may name its type where the rebuilt dictionary loses it (after the first
    // ">>", or inside what a reader takes for an unterminated string).
    keep_type(page_text, scan::type_page);
    w.page_texts[static_cast<std::size_t>(page)] = std::move(page_text);
}

}  // namespace

void build_page_texts(writer& w)
{
    w.contents.assign(w.plan.pages.size(), old_content{});
    w.page_texts.assign(w.plan.pages.size(), std::nullopt);
    w.names.assign(w.plan.pages.size(), page_names{});
    for (std::size_t page = 0; page < w.plan.pages.size(); ++page) {
        const plan::page_plan& p = w.plan.pages[page];
        if (p.annots_changed || p.needs_content) build_page_text(w, static_cast<std::int32_t>(page));
    }
    flush_merges(w.doc, w.replaced, w.merges);
}

}  // namespace kestrin::emit
