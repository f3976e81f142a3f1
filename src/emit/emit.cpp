#include "emit/emit.h"

#include <algorithm>
#include <cmath>

#include "emit/format.h"
#include "emit/output_file.h"
#include "emit/writer.h"
#include "interface/error.h"
#include "interface/fl_ctx.h"
#include "load/beside.h"
#include "scan/frame.h"
#include "scan/reference.h"
#include "scan/search.h"
#include "scan/token.h"
#include "scan/value.h"

namespace kestrin::emit {

namespace {

constexpr std::string_view header = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
constexpr std::string_view end_object = "\nendobj\n";
constexpr std::string_view key_acroform = "AcroForm";
constexpr std::string_view key_length = "Length";
constexpr std::int32_t max_xref_gen = 65535;
constexpr double max_coordinate = 1e9;
// The output is handed to its file in pieces of about this size, so that it is never held whole.
constexpr std::uint64_t flush_size = std::uint64_t{2} << 20;
// Below this many objects a second thread costs more than it saves.
constexpr std::size_t min_objects_beside = 8192;

void append(writer& w, std::string_view bytes) { buf_append(w.out, bytes); }

bool has_usable_appearance(const load::doc& d, const plan::plan_item& item)
{
    if (item.hidden || item.ap_obj <= 0 || !(item.w > 0) || !(item.h > 0)) return false;
    const load::obj_entry* ap = d.objs.find(item.ap_obj);
    return ap != nullptr && ap->is_stream;
}

// The non-stream text of an object: where its references stand.
std::string_view reference_text(const load::doc& d, const load::obj_entry& e)
{
    if (e.in_objstm) return {e.text, static_cast<std::size_t>(e.text_len)};
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
    if (count < min_objects_beside) return top_of(0, count);
    std::int32_t upper = 0, lower = 0;
    load::run_beside([&] { upper = top_of(count / 2, count); }, [&] { lower = top_of(0, count / 2); });
    return std::max(lower, upper);
}

void add_xobj(writer& w, const xobj_entry& x, std::int32_t item)
{
    w.ctx.xobjs.push_back(x);
    w.xobj_item.push_back(item);
}

// One XObject per usable item; an annotation listed twice on a page is placed through the first.
// (page_of, first_of) remember, per annotation object, the last page it was seen on and the
// XObject it got there.
void number_xobjects(writer& w)
{
    interface::fl_ctx& ctx = w.ctx;
    const auto item_total = static_cast<std::int32_t>(ctx.items.size());
    w.xobj_of_item.assign(ctx.items.size(), -1);
    const auto numbers = static_cast<std::size_t>(std::max(ctx.doc.max_obj, 0)) + 1;
    std::vector<std::int32_t> page_of(numbers, -1), first_of(numbers, -1);
    for (std::size_t page = 0; page < ctx.plans.size(); ++page) {
        const plan::page_plan& p = ctx.plans[page];
        for (std::int32_t k = 0; k < p.item_count; ++k) {
            const std::int32_t i = p.first_item + k;
            if (i < 0 || i >= item_total) break;
            const plan::plan_item& item = ctx.items[static_cast<std::size_t>(i)];
            if (!has_usable_appearance(ctx.doc, item)) continue;
            auto first = static_cast<std::int32_t>(ctx.xobjs.size());
            if (item.obj >= 0 && static_cast<std::size_t>(item.obj) < numbers) {
                const auto slot = static_cast<std::size_t>(item.obj);
                if (page_of[slot] == static_cast<std::int32_t>(page)) first = first_of[slot];
                page_of[slot] = static_cast<std::int32_t>(page);
                first_of[slot] = first;
            }
            add_xobj(w, {ctx.next_obj++, xobj_kind_appearance, static_cast<std::int32_t>(page),
                         item.ap_obj, item.obj},
                     i);
            w.xobj_of_item[static_cast<std::size_t>(i)] = first;
        }
    }
}

// New objects go above every number the input uses or refers to, also numbers of objects the
// table left out.
void number_objects(writer& w)
{
    interface::fl_ctx& ctx = w.ctx;
    ctx.next_obj =
        std::max({ctx.doc.max_obj, ctx.doc.max_header_num, highest_referenced(ctx.doc)}) + 1;
    for (plan::page_plan& p : ctx.plans)
        if (p.needs_content) p.content_obj = ctx.next_obj++;
    number_xobjects(w);
    ctx.font_obj = ctx.next_obj++;
    ctx.gs_obj = ctx.next_obj++;
}

void index_plans(writer& w)
{
    w.plan_of_page.reserve(w.ctx.plans.size());
    for (std::size_t i = 0; i < w.ctx.plans.size(); ++i)
        w.plan_of_page.emplace(w.ctx.plans[i].page_obj, static_cast<std::int32_t>(i));
}

// Entries with distinct numbers placed by number in one pass, or false when numbers repeat.
bool place_by_number(load::doc& d)
{
    std::vector<load::obj_entry>& entries = d.objs.entries;
    std::vector<std::int32_t> at(static_cast<std::size_t>(std::max(d.max_obj, 0)) + 1, -1);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::int32_t num = entries[i].num;
        if (num < 0 || num > d.max_obj || at[static_cast<std::size_t>(num)] >= 0) return false;
        at[static_cast<std::size_t>(num)] = static_cast<std::int32_t>(i);
    }
    std::vector<load::obj_entry> placed;
    placed.reserve(entries.size());
    for (std::int32_t i : at)
        if (i >= 0) placed.push_back(entries[static_cast<std::size_t>(i)]);
    entries = std::move(placed);
    return true;
}

void sort_objects(load::doc& d)
{
    const auto by_number = [](const load::obj_entry& a, const load::obj_entry& b) { return a.num < b.num; };
    if (std::is_sorted(d.objs.entries.begin(), d.objs.entries.end(), by_number)) return;
    if (!place_by_number(d)) std::stable_sort(d.objs.entries.begin(), d.objs.entries.end(), by_number);
    d.objs.reindex();
}

void write_text_object(writer& w, const load::obj_entry& e, std::string_view text)
{
    begin_object(w, e.num, out_gen(e));
    append(w, text);
    append(w, end_object);
}

// Index just past the literal string that opens at pos, or the end of text.
std::int32_t string_end(std::string_view text, std::int32_t pos)
{
    const std::int32_t end = scan::skip_pdf_value(text, pos);
    return end < 0 ? static_cast<std::int32_t>(text.size()) : end;
}

// A copy of body with the nested headers outside strings blanked out, from the first at nested.
std::string blank_headers(std::string_view body, load::header_span nested)
{
    std::string text(body);
    const auto n = static_cast<std::int32_t>(text.size());
    for (std::int32_t i = 0; i < n && nested.start >= 0;) {
        if (i == nested.start) {
            std::fill(text.begin() + i, text.begin() + nested.end, ' ');
            i = nested.end;
        } else if (text[static_cast<std::size_t>(i)] == '(') {
            i = string_end(text, i);
        } else {
            ++i;
        }
        if (i > nested.start) nested = load::first_header_in(body, i);
    }
    return text;
}

// The text of a plain object as copied. A damaged file may hold another object's header inside
// this one's text (an object without its "endobj"): the copy ends before that header and closes
// the dictionaries it leaves open, so that the output frames every object the way the loader
// framed the input. When the text after the header gave the object its page type, the header is
// blanked out instead, keeping that text.
std::string_view own_text(const load::obj_entry& e, std::string_view body, std::string& scratch)
{
    const load::header_span nested = load::first_header_in(body, 0);
    if (nested.start < 0) return e.dict_pos < 0 ? body : closed_text(body, scratch);
    // Without a dictionary the object ends at the header: blanking it could bring a later "<<"
    // to the front and turn the copy into a dictionary or a stream.
    if (e.dict_pos < 0) return body.substr(0, static_cast<std::size_t>(nested.start));
    scratch.assign(body.substr(0, static_cast<std::size_t>(nested.start)));
    close_dictionaries(scratch);
    if (scan::obj_type(scratch, 0) != scan::obj_type(body, 0)) {
        scratch = blank_headers(body, nested);
        close_dictionaries(scratch);
    }
    return scratch;
}

void write_plain_object(writer& w, const load::obj_entry& e)
{
    std::string scratch;
    write_text_object(w, e, own_text(e, object_body(w.ctx.doc, e), scratch));
}

// The catalog loses its form once the form's fields are flattened.
bool write_catalog(writer& w, const load::obj_entry& e)
{
    const interface::fl_ctx& ctx = w.ctx;
    if (e.num != ctx.doc.root || ctx.has_form != 1 || ctx.mode == interface::mode_annotations)
        return false;
    const load::dict_span span = ctx.doc.span_of(e);
    if (!span) return false;
    std::optional<std::string> text = scan::dict_text_at(span.text, span.start);
    if (!text) return false;
    // Entries a damaged catalog holds after its closing ">>" (its page type, say) still count
    // when it is read, so they stay in the copy.
    std::string scratch;
    const std::string_view body =
        own_text(e, span.text.substr(static_cast<std::size_t>(span.start)), scratch);
    if (scan::skip_ws(body, static_cast<std::int32_t>(text->size())) < static_cast<std::int32_t>(body.size()))
        text = std::string(body);
    scan::strip_dict_entry(*text, key_acroform);
    std::string written(disarmed(*text, scratch));
    keep_type(written, scan::obj_type(span.text, span.start));
    write_text_object(w, e, written);
    return true;
}

// A changed page whose replacement could not be built falls through to the plain copy.
bool write_page(writer& w, const load::obj_entry& e)
{
    auto it = w.plan_of_page.find(e.num);
    if (it == w.plan_of_page.end()) return false;
    plan::page_plan& p = w.ctx.plans[static_cast<std::size_t>(it->second)];
    if (!p.has_page_text) return false;
    std::string scratch;
    write_text_object(w, e, disarmed(p.page_text, scratch));
    p.page_text = std::string();
    p.has_page_text = false;
    return true;
}

// The first "Length" of a stream dictionary when it is written directly, else -1.
std::int32_t direct_length(std::string_view dict)
{
    std::int32_t direct = -1, ref = -1;
    scan::parse_length(dict, 0, static_cast<std::int32_t>(dict.size()), direct, ref);
    return direct;
}

// The stream's dictionary as written: unchanged when its first "Length" is the measured length,
// written directly. Otherwise every "Length" gives way to the measured one, first in the
// dictionary: a reader takes the first it can read. A length by reference is replaced too, since
// a reader resolves it against the first object bearing that number, which in a damaged file may
// lie inside another stream's data.
std::string stream_dictionary(std::string_view dict, std::int32_t data_len)
{
    if (direct_length(dict) == data_len) return std::string(dict);
    std::string text(dict);
    strip_every_length(text);
    char scratch[32];
    const std::string_view length = fmt_into(scratch, sizeof scratch, " /Length %ld", static_cast<long>(data_len));
    scan::dict_append_before_close(text, length);
    if (direct_length(text) != data_len && text.starts_with("<<")) text.insert(2, length);
    return text;
}

void write_stream_copy(writer& w, const load::obj_entry& e)
{
    const load::doc& d = w.ctx.doc;
    begin_object(w, e.num, out_gen(e));
    const bool has_data = e.data_start >= 0 && e.data_end > e.data_start && e.data_end <= d.len;
    const std::int32_t data_len = has_data ? e.data_end - e.data_start : 0;
    const load::dict_span span = d.span_of(e);
    const std::int32_t dict_end = span ? scan::skip_pdf_value(span.text, span.start) : -1;
    if (dict_end > span.start) {
        const std::string dict = stream_dictionary(
            span.text.substr(static_cast<std::size_t>(span.start), static_cast<std::size_t>(dict_end - span.start)),
            data_len);
        std::string scratch;
        append(w, disarmed(dict, scratch));
    } else
        append(w, "<< >>");
    begin_stream_data(w);
    if (has_data)
        append(w, d.file().substr(static_cast<std::size_t>(e.data_start),
                                  static_cast<std::size_t>(data_len)));
    append(w, "\nendstream\nendobj\n");
}

// A typed member that does not start with "<<", as a plain object of the same type: inside a
// dictionary of its own when its type comes from keys outside any dictionary, else from its
// first "<<" on, else inside a dictionary that states the type first.
std::string typed_member_text(std::string_view text, int type)
{
    std::string wrapped = "<< ";
    wrapped.append(text).append(" >>");
    if (scan::obj_type(wrapped, 0) == type) return wrapped;
    if (const std::size_t dict = text.find("<<"); dict != std::string_view::npos) {
        std::string from_dict(text.substr(dict));
        close_dictionaries(from_dict);
        if (scan::obj_type(from_dict, 0) == type) return from_dict;
    }
    keep_type(wrapped, type);
    return wrapped;
}

// A member of an object stream as written out as a plain object. A member may hold framing
// keywords, inert inside the object stream but not in a file: they are disarmed. A member is
// typed on its whole text, a plain object only from its "<<" on, so a typed member that does not
// start with "<<" is reshaped to keep its type.
void write_member_object(writer& w, const load::obj_entry& e)
{
    std::string_view text(e.text, static_cast<std::size_t>(e.text_len));
    std::string cleaned;
    if (may_hold_framing_keyword(text)) {
        cleaned = blank_framing_keywords(text);
        text = cleaned;
    }
    const std::int32_t first = scan::skip_ws(text, 0);
    const bool opens_dict = text.substr(static_cast<std::size_t>(first)).starts_with("<<");
    std::string closed;
    if (opens_dict) return write_text_object(w, e, closed_text(text, closed));
    const int type = scan::obj_type(text, 0);
    if (type == 0) return write_text_object(w, e, text);
    write_text_object(w, e, typed_member_text(text, type));
}

void write_input_object(writer& w, const load::obj_entry& e)
{
    const interface::fl_ctx& ctx = w.ctx;
    if (e.num < 1 || static_cast<std::size_t>(e.num) >= w.offsets.size()) return;
    if (static_cast<std::size_t>(e.num) < ctx.drop.size() && ctx.drop[static_cast<std::size_t>(e.num)])
        return;
    if (const std::string* ov = ctx.ov.find(e.num)) {
        std::string scratch;
        return write_text_object(w, e, disarmed(*ov, scratch));
    }
    if (write_catalog(w, e) || write_page(w, e)) return;
    if (e.in_objstm)
        write_member_object(w, e);
    else if (e.is_stream)
        write_stream_copy(w, e);
    else
        write_plain_object(w, e);
}

void write_fixed_objects(writer& w)
{
    const interface::fl_ctx& ctx = w.ctx;
    begin_object(w, ctx.font_obj, 0);
    append(w, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>");
    append(w, end_object);
    begin_object(w, ctx.gs_obj, 0);
    append(w, "<< /Type /ExtGState /ca 0.4 /CA 0.4 >>");
    append(w, end_object);
    if (w.q_obj > 0) {
        begin_object(w, w.q_obj, 0);
        append(w, "<< /Length 2 >>");
        begin_stream_data(w);
        append(w, "q\n\nendstream");
        append(w, end_object);
    }
}

// Generation of the in-use entry num: 0 for new objects.
std::int32_t entry_gen(const load::doc& d, std::int32_t num)
{
    const load::obj_entry* e = num <= d.max_obj ? d.objs.find(num) : nullptr;
    return e != nullptr ? out_gen(*e) : 0;
}

void write_xref(writer& w)
{
    char scratch[64];
    const auto count = static_cast<long>(w.offsets.size());
    append(w, fmt_into(scratch, sizeof scratch, "xref\n0 %ld\n0000000000 65535 f \n", count));
    for (long num = 1; num < count; ++num) {
        const std::int32_t off = w.offsets[static_cast<std::size_t>(num)];
        if (off < 0) {
            append(w, "0000000000 65535 f \n");
            continue;
        }
        char line[xref_line_size];
        xref_line(line, off, entry_gen(w.ctx.doc, static_cast<std::int32_t>(num)));
        append(w, std::string_view(line, sizeof line));
    }
}

void write_trailer(writer& w, std::int64_t xref_offset)
{
    char scratch[128];
    const load::doc& d = w.ctx.doc;
    const std::int32_t root = d.root > 0 ? d.root : 1;
    append(w, fmt_into(scratch, sizeof scratch, "trailer\n<< /Size %ld /Root ",
                       static_cast<long>(w.offsets.size())));
    append(w, ref_text(d, root));
    const bool info_written = d.info > 0 && static_cast<std::size_t>(d.info) < w.offsets.size() &&
                              w.offsets[static_cast<std::size_t>(d.info)] >= 0;
    if (info_written) {
        append(w, " /Info ");
        append(w, ref_text(d, d.info));
    }
    append(w, fmt_into(scratch, sizeof scratch, " >>\nstartxref %ld", static_cast<long>(xref_offset)));
    append(w, "\n%%EOF\n");
}

std::uint64_t output_position(const writer& w) { return w.out.flushed + w.out.len; }

void build_output(writer& w)
{
    append(w, header);
    write_xobjects_beside(w, [&w] {
        build_page_texts(w);
        // The page step may number one more object.
        w.offsets.assign(static_cast<std::size_t>(w.ctx.next_obj), -1);
        for (const load::obj_entry& e : w.ctx.doc.objs.entries) write_input_object(w, e);
    });
    write_fixed_objects(w);
    write_contents(w);
    seal_object(w);
    flush_output(w);
    const auto xref_offset = static_cast<std::int64_t>(output_position(w));
    write_xref(w);
    write_trailer(w, xref_offset);
}

}  // namespace

// Called between objects only, so that the bytes held back start with a whole object.
void flush_output(writer& w)
{
    if (w.sink == nullptr || w.out.failed || w.out.len < flush_size) return;
    w.out.flushed += w.out.len;
    w.sink->take(w.out);
}

void strip_every_length(std::string& dict)
{
    for (std::size_t before = 0; before != dict.size();) {
        before = dict.size();
        scan::strip_dict_entry(dict, key_length);
    }
}

const xobj_entry* xobj_of(const writer& w, std::int32_t item)
{
    if (item < 0 || static_cast<std::size_t>(item) >= w.xobj_of_item.size()) return nullptr;
    const std::int32_t x = w.xobj_of_item[static_cast<std::size_t>(item)];
    return x < 0 ? nullptr : &w.ctx.xobjs[static_cast<std::size_t>(x)];
}

std::int32_t out_gen(const load::obj_entry& e) { return std::clamp(e.gen, 0, max_xref_gen); }

std::string ref_text(const load::doc& d, std::int32_t num)
{
    char scratch[64];
    const load::obj_entry* e = d.objs.find(num);
    return std::string(fmt_into(scratch, sizeof scratch, "%ld %ld R", static_cast<long>(num),
                                static_cast<long>(e != nullptr ? out_gen(*e) : 0)));
}

void begin_object(writer& w, std::int32_t num, std::int32_t gen)
{
    char room[obj_header_room];
    seal_object(w);
    flush_output(w);
    if (num > 0 && static_cast<std::size_t>(num) < w.offsets.size())
        w.offsets[static_cast<std::size_t>(num)] = static_cast<std::int32_t>(output_position(w));
    w.current = {true, w.out.len, 0, -1, num, gen};
    append(w, obj_header(room, num, gen));
    w.current.body = w.out.len;
}

void note_failure(writer& w, const buf& scratch)
{
    if (scratch.failed) w.out.failed = true;
}

double clamp_num(double v)
{
    if (!std::isfinite(v)) return 0;
    return std::clamp(v, -max_coordinate, max_coordinate);
}

int fl_emit(interface::fl_ctx& ctx, const char* out_path)
{
    writer w(ctx);
    sort_objects(ctx.doc);
    number_objects(w);
    index_plans(w);
    buf_reserve(w.out, buf_first_cap - 1);
    if (!w.out.data) {
        interface::set_error("out of memory");
        return -1;
    }
    output_stream stream;
    if (stream.open(out_path)) w.sink = &stream;
    build_output(w);
    if (w.out.failed || !w.out.data || output_position(w) == 0) {
        interface::set_error("failed to build output");
        return -1;
    }
    const int written = w.sink != nullptr ? stream.finish(out_path, w.out.view())
                                          : write_output_file(out_path, w.out.view());
    if (written != 0) return -1;
    interface::clear_error();
    return 0;
}

}  // namespace kestrin::emit
