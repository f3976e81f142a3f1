// The page step: the replacement dictionary of every changed page.
#include <unordered_set>
#include <vector>

#include "emit/format.h"
#include "emit/resources.h"
#include "emit/writer.h"
#include "interface/fl_ctx.h"
#include "scan/frame.h"
#include "scan/value.h"

namespace kestrin::emit {

namespace {

constexpr std::string_view key_contents = "Contents";
constexpr std::string_view key_annots = "Annots";

std::string new_ref(std::int32_t num)
{
    char scratch[32];
    return std::string(fmt_into(scratch, sizeof scratch, "%ld 0 R", static_cast<long>(num)));
}

// The new content stream; undecodable old pieces stay referenced between "q" and the new stream,
// which begins with the matching "Q".
std::string contents_entry(const writer& w, const plan::page_plan& p, const old_content& old)
{
    std::string entry = " /Contents ";
    if (!old.by_reference) return entry.append(new_ref(p.content_obj));
    entry.append("[").append(new_ref(w.q_obj));
    for (std::int32_t piece : old.pieces) entry.append(" ").append(ref_text(w.ctx.doc, piece));
    return entry.append(" ").append(new_ref(p.content_obj)).append("]");
}

// " /Annots [ a 0 R  b 0 R]": one space after the bracket, two between references.
std::string annots_entry(const load::doc& d, const std::vector<std::int32_t>& kept)
{
    std::string entry = " /Annots [";
    for (std::size_t i = 0; i < kept.size(); ++i) entry.append(i == 0 ? " " : "  ").append(ref_text(d, kept[i]));
    return entry.append("]");
}

std::vector<res_pair> resource_pairs(const writer& w, const plan::page_plan& p)
{
    char scratch[64];
    const interface::fl_ctx& ctx = w.ctx;
    std::vector<res_pair> pairs;
    std::unordered_set<std::int32_t> named;
    const auto item_total = static_cast<std::int32_t>(ctx.items.size());
    for (std::int32_t k = 0; k < p.item_count; ++k) {
        const std::int32_t i = p.first_item + k;
        if (i < 0 || i >= item_total) break;
        const xobj_entry* x = xobj_of(w, i);
        // An annotation listed twice is placed twice through one XObject, named once.
        if (x == nullptr || !named.insert(x->obj).second) continue;
        pairs.push_back({key_xobject, std::string(fmt_into(scratch, sizeof scratch, "/Fl%ld %ld 0 R",
                                                           static_cast<long>(x->obj),
                                                           static_cast<long>(x->obj)))});
    }
    if (p.needs_content && ctx.gs_obj > 0)
        pairs.push_back({key_extgstate, std::string(fmt_into(scratch, sizeof scratch, "/GSa %ld 0 R",
                                                             static_cast<long>(ctx.gs_obj)))});
    if (p.needs_content && ctx.font_obj > 0)
        pairs.push_back({key_font, std::string(fmt_into(scratch, sizeof scratch, "/FlF %ld 0 R",
                                                        static_cast<long>(ctx.font_obj)))});
    return pairs;
}

void build_page_text(writer& w, std::int32_t page)
{
    interface::fl_ctx& ctx = w.ctx;
    plan::page_plan& p = ctx.plans[static_cast<std::size_t>(page)];
    const load::obj_entry* e = ctx.doc.objs.find(p.page_obj);
    if (e == nullptr) return;
    const load::dict_span span = ctx.doc.span_of(*e);
    if (!span) return;
    std::optional<std::string> text = scan::dict_text_at(span.text, span.start);
    if (!text) return;
    if (p.needs_content) {
        old_content& old = w.contents[static_cast<std::size_t>(page)];
        old = collect_old_content(w, *e);
        if (old.by_reference && w.q_obj == 0) w.q_obj = ctx.next_obj++;
        scan::strip_dict_entry(*text, key_contents);
        scan::dict_append_before_close(*text, contents_entry(w, p, old));
    }
    if (p.annots_changed) {
        scan::strip_dict_entry(*text, key_annots);
        if (!p.kept.empty()) scan::dict_append_before_close(*text, annots_entry(ctx.doc, p.kept));
    }
    const std::vector<res_pair> pairs = resource_pairs(w, p);
    p.page_text = page_add_resources(ctx, w.merges, std::move(*text), *e, pairs);
    // A damaged page may name its type where the rebuilt dictionary loses it (after the first
    // ">>", or inside what a reader takes for an unterminated string).
    keep_type(p.page_text, scan::type_page);
    p.has_page_text = true;
}

}  // namespace

void build_page_texts(writer& w)
{
    w.contents.assign(w.ctx.plans.size(), old_content{});
    for (std::size_t page = 0; page < w.ctx.plans.size(); ++page) {
        const plan::page_plan& p = w.ctx.plans[page];
        if (p.annots_changed || p.needs_content) build_page_text(w, static_cast<std::int32_t>(page));
    }
    flush_merges(w.ctx, w.merges);
}

}  // namespace kestrin::emit
