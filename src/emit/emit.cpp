#include "emit/emit.h"

#include "emit/compact_forms.h"
#include "emit/content_stream.h"
#include "emit/input_copy.h"
#include "emit/object_check.h"
#include "emit/object_writer.h"
#include "base/output_file.h"
#include "emit/page_dictionary.h"
#include "emit/referenced.h"
#include "emit/writer.h"
#include "emit/xobject_thread.h"

namespace kestrin::emit {

namespace {

constexpr std::string_view header = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";

void index_plans(writer& w)
{
    w.plan_of_page.reserve(w.plan.pages.size());
    for (std::size_t i = 0; i < w.plan.pages.size(); ++i)
        w.plan_of_page.emplace(w.plan.pages[i].page_obj, static_cast<std::int32_t>(i));
}

void write_fixed_objects(writer& w)
{
    if (w.plan.font_obj > 0) {
        begin_object(w, w.plan.font_obj, 0);
        end_plain_object(w, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>");
    }
    if (w.plan.gs_obj > 0) {
        begin_object(w, w.plan.gs_obj, 0);
        end_plain_object(w, "<< /Type /ExtGState /ca 0.4 /CA 0.4 >>");
    }
    if (w.q_obj > 0) {
        begin_object(w, w.q_obj, 0);
        w.out.append("<< /Length 2 >>");
        begin_stream_data(w);
        end_stream(w, "q\n");
    }
}

void write_pages_and_input_objects(writer& w)
{
    build_page_texts(w);
    // The page step may number one more object.
    w.offsets.assign(static_cast<std::size_t>(w.q_obj > 0 ? w.q_obj + 1 : w.plan.next_free_obj), -1);
    if (w.compact) w.referenced = referenced_objects(w);
    for (const load::obj_entry& e : w.doc.objs.entries) write_input_object(w, e);
}

void build_output(writer& w)
{
    w.out.append(header);
    // The pages name the appearance objects that serve as XObjects in the compact output:
    // settled first.
    if (w.compact) settle_compact_forms(w);
    write_xobjects_alongside(w, [&w] { write_pages_and_input_objects(w); });
    write_fixed_objects(w);
    write_contents(w);
    check_open_object(w);
    flush_output(w);
    write_xref_and_trailer(w);
}

}  // namespace

base::status write_flattened(const load::doc& d, const plan::flatten_plan& plan, const char* out_path,
                             const generate::generated_appearances& generated,
                             const write_choices& choices)
{
    writer w(d, plan, generated, choices.compact);
    index_plans(w);
    w.out.reserve(base::buffer_first_capacity - 1);
    if (!w.out.data) return base::status::failure("out of memory");
    base::output_stream stream;
    if (stream.open(out_path)) w.sink = &stream;
    build_output(w);
    if (w.out.failed || !w.out.data || output_position(w) == 0)
        return base::status::failure("failed to build output");
    return w.sink != nullptr ? stream.finish(out_path, w.out.view())
                             : base::write_output_file(out_path, w.out.view());
}

base::result<base::byte_buffer> write_flattened_to_memory(
    const load::doc& d, const plan::flatten_plan& plan,
    const generate::generated_appearances& generated, const write_choices& choices)
{
    // Without a sink the writer keeps every byte in its buffer: the memory output.
    writer w(d, plan, generated, choices.compact);
    index_plans(w);
    w.out.reserve(base::buffer_first_capacity - 1);
    if (!w.out.data) return base::status::failure("out of memory");
    build_output(w);
    if (w.out.failed || !w.out.data || w.out.flushed != 0 || w.out.len == 0)
        return base::status::failure("failed to build output");
    return std::move(w.out);
}

}  // namespace kestrin::emit
