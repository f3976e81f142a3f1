// Compact output: how each flattened appearance becomes a form XObject.
#include "emit/compact_forms.h"

#include <algorithm>
#include <array>

#include "base/append.h"
#include "base/two_threads.h"
#include "emit/object_writer.h"
#include "emit/xobject.h"
#include "load/stream_data.h"
#include "load/values.h"
#include "scan/content_tokens.h"
#include "scan/dictionary.h"
#include "scan/keys.h"
#include "scan/value.h"

namespace kestrin::emit {

namespace {

// Below this many XObjects a second thread costs more than it saves.
constexpr std::size_t min_forms_for_two_threads = 256;

// The entries an appearance may have and still draw exactly as the XObject the default output
// makes of it: what that XObject keeps (BBox, Matrix, Resources), how the data is stored, and
// entries no viewer draws with. Others (Group, OC, Ref, an external file's F) would change the
// drawing, since the default's XObject leaves them out.
constexpr std::array<std::string_view, 16> inert_keys{
    scan::key::type,          scan::key::subtype,       scan::key::form_type,     scan::key::bbox,
    scan::key::matrix,        scan::key::resources,     scan::key::length,        scan::key::filter,
    scan::key::decode_parms,  scan::key::decoded_length, scan::key::xobject_name, scan::key::last_modified,
    scan::key::metadata,      scan::key::piece_info,    scan::key::struct_parent, scan::key::struct_parents,
};

struct form_entries {
    bool inert = true;  // every entry is inert, and none is given twice
    bool is_form = false;
    bool has_resources = false;
    std::string_view bbox;
};

form_entries read_form_entries(const load::dict_span& span)
{
    form_entries f;
    std::array<bool, inert_keys.size()> seen{};
    scan::dict_walk walk(span.text, span.start);
    while (walk.next()) {
        const auto* key = std::find_if(inert_keys.begin(), inert_keys.end(),
                                       [&](std::string_view k) { return scan::name_equals(walk.raw_key(), k); });
        const auto i = static_cast<std::size_t>(key - inert_keys.begin());
        if (key == inert_keys.end() || seen[i]) {
            f.inert = false;
            break;
        }
        seen[i] = true;
        if (*key == scan::key::subtype) f.is_form = scan::name_value_is(span.text, walk.value(), scan::name::form);
        if (*key == scan::key::resources) f.has_resources = true;
        if (*key == scan::key::bbox) f.bbox = load::value_text_at(span.text, walk.value());
    }
    return f;
}

// The appearance object can be named by the page as it stands: a stream the output copies, of
// subtype Form, with a box the viewer reads as we do, and resources of its own where the default
// XObject would take the form's.
bool serves_as_form(const writer& w, const load::obj_entry& ap)
{
    if (!ap.is_stream || ap.in_object_stream || w.plan.is_dropped(ap.num)) return false;
    const load::dict_span span = w.doc.span_of(ap);
    if (!span) return false;
    const form_entries f = read_form_entries(span);
    if (!f.inert || !f.is_form) return false;
    if (!f.has_resources && !default_resources(w.plan).empty()) return false;
    return scan::box_of_array(load::array_value(w.doc, f.bbox), 0).has_value();
}

// A Q without its q ends the drawing of a form in some viewers; inside the default's clip it only
// undoes the clip, which the viewer's own clip to the box repeats.
bool restores_unsaved_state(const load::stream_content& c)
{
    if (c.form != load::content_form::decoded && c.form != load::content_form::stored) return false;
    // Without a byte "Q" there is no "Q" operator: the content need not be read.
    if (c.bytes.find('Q') == std::string_view::npos) return false;
    return !scan::read_content_ending(c.bytes).stray_q.empty();
}

struct settled {
    compact_form form = compact_form::as_default;
    std::optional<appearance_frame> frame;  // of a form kept compressed
};

settled settle_form(const writer& w, const plan::xobject_entry& x, base::byte_buffer& scratch)
{
    if (x.generated) return {};
    const load::obj_entry* ap = w.doc.objs.find(x.ap_obj);
    if (ap == nullptr) return {};
    scratch.clear();
    if (restores_unsaved_state(load::decoded_stream(w.doc, *ap, scratch))) return {};
    const plan::plan_item& item = w.plan.items[static_cast<std::size_t>(x.item)];
    return {serves_as_form(w, *ap) ? compact_form::appearance : compact_form::stored_copy,
            read_appearance_frame(w.doc, w.doc.span_of(*ap), item.w, item.h)};
}

}  // namespace

void settle_compact_forms(writer& w)
{
    const std::size_t count = w.plan.xobjects.size();
    w.compact_forms.assign(count, compact_form::as_default);
    w.frames.assign(count, std::nullopt);
    std::array<bool, 2> failed{};
    // Each half writes its own elements of compact_forms and frames, and reads only the document
    // and the plan.
    auto settle = [&w, &failed](std::size_t begin, std::size_t end) {
        base::byte_buffer scratch;
        for (std::size_t i = begin; i < end; ++i) {
            settled s = settle_form(w, w.plan.xobjects[i], scratch);
            w.compact_forms[i] = s.form;
            w.frames[i] = s.frame;
        }
        failed[begin == 0 ? 0 : 1] = scratch.failed;
    };
    if (count < min_forms_for_two_threads)
        settle(0, count);
    else
        base::run_in_halves(count, settle);
    if (failed[0] || failed[1]) w.out.failed = true;
}

std::string xobject_reference(const writer& w, const plan::xobject_entry& x)
{
    const auto index = static_cast<std::size_t>(&x - w.plan.xobjects.data());
    if (index < w.compact_forms.size() && w.compact_forms[index] == compact_form::appearance)
        return ref_text(w.doc, x.ap_obj);
    return base::to_text(x.obj, " 0 R");
}

}  // namespace kestrin::emit
