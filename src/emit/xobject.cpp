// The XObject step: one form XObject per flattened appearance stream.
#include "emit/xobject.h"

#include <span>

#include "base/append.h"
#include "emit/object_check.h"
#include "emit/object_writer.h"
#include "generate/text_layout.h"
#include "load/stream_data.h"
#include "load/values.h"
#include "scan/dictionary.h"
#include "scan/keys.h"
#include "scan/token.h"
#include "scan/value.h"

namespace kestrin::emit {

std::string_view default_resources(const plan::flatten_plan& plan)
{
    if (!plan.form) return {};
    const std::string_view text = plan.form->form_text;
    const std::int32_t start = plan.form->form_start;
    const std::int32_t end = scan::skip_pdf_value(text, start);
    if (end <= start) return {};
    return load::entry_value(scan::cut_at(text, end), start, scan::key::default_resources);
}

namespace {

void append_entry(base::byte_buffer& out, std::string_view key, std::string_view value)
{
    if (value.empty()) return;
    out.append(" /");
    out.append(key);
    out.append(" ");
    std::string scratch;
    out.append(with_framing_keywords_blanked(value, scratch));
}

// The entries of an appearance stream's dictionary that this step reads, found in one walk.
struct appearance_entries {
    std::string_view bbox, matrix, resources, filter, decode_parms;
};

appearance_entries read_entries(const load::dict_span& span)
{
    static constexpr std::array<std::string_view, 5> keys{scan::key::bbox, scan::key::matrix, scan::key::resources,
                                                          scan::key::filter, scan::key::decode_parms};
    if (!span) return {};
    std::array<std::int32_t, keys.size()> at{};
    scan::entry_values_at(span.text, span.start, keys, at);
    auto value = [&](std::size_t i) { return load::value_text_at(span.text, at[i]); };
    return {value(0), value(1), value(2), value(3), value(4)};
}

appearance_frame frame_from(const load::doc& d, const appearance_entries& entries, double w,
                            double h)
{
    appearance_frame f;
    f.bbox = {0, 0, w, h};
    if (std::optional<scan::box> b = scan::box_of_array(load::array_value(d, entries.bbox), 0)) f.bbox = *b;
    std::array<double, 6> m{};
    if (scan::array_numbers(load::array_value(d, entries.matrix), 0, m) == 6) f.matrix = m;
    return f;
}

void append_dictionary(writer& w, const load::dict_span& span, const appearance_entries& entries,
                       const appearance_frame& f, bool stored)
{
    const scan::box& b = f.bbox;
    base::append(w.out, "<< /Type /XObject /Subtype /Form /BBox [", base::fixed6(b.x), ' ', base::fixed6(b.y), ' ',
                 base::fixed6(b.x + b.w), ' ', base::fixed6(b.y + b.h), ']');
    if (!span) return;
    append_entry(w.out, scan::key::matrix, entries.matrix);
    std::string_view resources = entries.resources;
    if (resources.empty()) resources = default_resources(w.plan);
    append_entry(w.out, scan::key::resources, resources);
    if (!stored) return;
    append_entry(w.out, scan::key::filter, entries.filter);
    append_entry(w.out, scan::key::decode_parms, entries.decode_parms);
}

// The resources of a generated appearance: its one font, the form's or the output's Helvetica, if
// it shows text at all.
std::string generated_resources(const writer& w, const generate::generated_appearance& g)
{
    if (g.font_name.empty()) return "<< >>";
    std::string font_value = g.font_value;
    if (font_value.empty()) font_value = base::to_text(w.plan.font_obj, " 0 R");
    std::string out = "<< /Font << ";
    generate::append_name(out, g.font_name);
    out += ' ';
    std::string scratch;
    out += with_framing_keywords_blanked(font_value, scratch);
    out += " >> >>";
    return out;
}

bool is_identity(const std::array<double, 6>& m)
{
    return m == std::array<double, 6>{1, 0, 0, 1, 0, 0};
}

// An appearance made from a field's value, placed like one read from the input.
void write_generated_xobject(writer& w, std::size_t index)
{
    const plan::xobject_entry& x = w.plan.xobjects[index];
    const generate::generated_appearance* found = w.generated.find(index);
    if (found == nullptr) return;
    const generate::generated_appearance& g = *found;
    appearance_frame f;
    f.bbox = {0, 0, g.width, g.height};
    f.matrix = g.matrix;
    w.frames[index] = f;
    begin_object(w, x.obj, 0);
    base::append(w.out, "<< /Type /XObject /Subtype /Form /BBox [0 0 ", base::fixed6(g.width), ' ',
                 base::fixed6(g.height), ']');
    if (!is_identity(g.matrix)) {
        w.out.append(" /Matrix [");
        for (std::size_t k = 0; k < g.matrix.size(); ++k) base::append(w.out, k == 0 ? "" : " ", base::fixed6(g.matrix[k]));
        w.out.append("]");
    }
    w.out.append(" /Resources ");
    w.out.append(generated_resources(w, g));
    end_new_stream(w, g.content);
}

void write_xobject(writer& w, std::size_t index, base::byte_buffer& scratch)
{
    const plan::xobject_entry& x = w.plan.xobjects[index];
    if (x.generated) {
        write_generated_xobject(w, index);
        return;
    }
    const load::obj_entry* ap = w.doc.objs.find(x.ap_obj);
    if (ap == nullptr) return;
    const plan::plan_item& item = w.plan.items[static_cast<std::size_t>(x.item)];
    const load::dict_span span = w.doc.span_of(*ap);
    const appearance_entries entries = read_entries(span);
    const appearance_frame f = frame_from(w.doc, entries, item.w, item.h);
    w.frames[index] = f;
    scratch.clear();
    const load::stream_content c = load::decoded_stream(w.doc, *ap, scratch);
    note_failure(w, scratch);
    const bool stored = c.form == load::content_form::undecodable;
    const std::string_view content = c.form == load::content_form::none ? std::string_view() : c.bytes;

    begin_object(w, x.obj, 0);
    append_dictionary(w, span, entries, f, stored);
    if (stored) {
        base::append(w.out, " /Length ", content.size(), " >>");
        begin_stream_data(w);
        end_stream(w, content);
        return;
    }
    const scan::box& b = f.bbox;
    const base::bounded_text clip("q ", base::fixed6(b.x), ' ', base::fixed6(b.y), ' ', base::fixed6(b.w), ' ',
                                  base::fixed6(b.h), " re W n\n");
    base::append(w.out, " /Length ", clip.view().size() + content.size() + 2, " >>");
    begin_stream_data(w);
    w.out.append(clip.view());
    w.out.append(content);
    end_stream(w, "\nQ");
}

// Compact output: the appearance's stored data and filter, in a new XObject or in the appearance
// object itself, as settled for it; the default form where its content needs our clip.
void write_compact_xobject(writer& w, std::size_t index, base::byte_buffer& scratch)
{
    const plan::xobject_entry& x = w.plan.xobjects[index];
    const compact_form form = index < w.compact_forms.size() ? w.compact_forms[index] : compact_form::as_default;
    if (form == compact_form::as_default) {
        write_xobject(w, index, scratch);
        return;
    }
    const load::obj_entry* ap = w.doc.objs.find(x.ap_obj);
    if (form == compact_form::appearance || ap == nullptr || !w.frames[index]) return;
    const load::dict_span span = w.doc.span_of(*ap);
    const std::string_view stored = load::stored_stream(w.doc, *ap);
    begin_object(w, x.obj, 0);
    append_dictionary(w, span, read_entries(span), *w.frames[index], true);
    base::append(w.out, " /Length ", stored.size(), " >>");
    begin_stream_data(w);
    end_stream(w, stored);
}

}  // namespace

appearance_frame read_appearance_frame(const load::doc& d, const load::dict_span& span, double w, double h)
{
    return frame_from(d, read_entries(span), w, h);
}

void write_xobjects(writer& w)
{
    base::byte_buffer scratch;
    // The compact output read the frames of the appearances it keeps when it settled them.
    if (!w.compact || w.frames.size() != w.plan.xobjects.size()) w.frames.assign(w.plan.xobjects.size(), std::nullopt);
    for (std::size_t i = 0; i < w.plan.xobjects.size(); ++i) {
        if (w.compact)
            write_compact_xobject(w, i, scratch);
        else
            write_xobject(w, i, scratch);
    }
}

}  // namespace kestrin::emit
