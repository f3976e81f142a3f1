// Copying the input's objects into the output: as they stand where they can, repaired where a
// damaged input would frame differently in their new place, or with the text the page step built.
#include "emit/input_copy.h"

#include <algorithm>
#include <optional>
#include <string>

#include "base/append.h"
#include "emit/object_check.h"
#include "emit/object_writer.h"
#include "load/values.h"
#include "scan/frame.h"
#include "scan/keys.h"
#include "scan/token.h"
#include "scan/value.h"

namespace kestrin::emit {

namespace {

void write_text_object(writer& w, const load::obj_entry& e, std::string_view text)
{
    begin_object(w, e.num, out_gen(e));
    end_plain_object(w, text);
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
    write_text_object(w, e, own_text(e, load::object_body(w.doc, e), scratch));
}

// The catalog loses its form once the form's fields are flattened.
bool write_catalog(writer& w, const load::obj_entry& e)
{
    if (e.num != w.doc.root || !w.plan.form || w.plan.mode == plan::flatten_mode::annotations)
        return false;
    const load::dict_span span = w.doc.span_of(e);
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
    scan::strip_dict_entry(*text, scan::key::acroform);
    std::string written(with_framing_keywords_blanked(*text, scratch));
    keep_type(written, scan::obj_type(span.text, span.start));
    write_text_object(w, e, written);
    return true;
}

// A changed page whose replacement could not be built falls through to the plain copy.
bool write_page(writer& w, const load::obj_entry& e)
{
    auto it = w.plan_of_page.find(e.num);
    if (it == w.plan_of_page.end()) return false;
    std::optional<std::string>& text = w.page_texts[static_cast<std::size_t>(it->second)];
    if (!text) return false;
    std::string scratch;
    write_text_object(w, e, with_framing_keywords_blanked(*text, scratch));
    text.reset();
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
    const base::bounded_text length(" /Length ", data_len);
    scan::dict_append_before_close(text, length.view());
    if (direct_length(text) != data_len && text.starts_with("<<")) text.insert(2, length.view());
    return text;
}

void write_stream_copy(writer& w, const load::obj_entry& e)
{
    const load::doc& d = w.doc;
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
        w.out.append(with_framing_keywords_blanked(dict, scratch));
    } else {
        w.out.append("<< >>");
    }
    begin_stream_data(w);
    end_stream(w, has_data ? d.file().substr(static_cast<std::size_t>(e.data_start),
                                             static_cast<std::size_t>(data_len))
                           : std::string_view());
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
    std::string closed;
    if (scan::opens_dictionary(text, first)) return write_text_object(w, e, closed_text(text, closed));
    const int type = scan::obj_type(text, 0);
    if (type == 0) return write_text_object(w, e, text);
    write_text_object(w, e, typed_member_text(text, type));
}

// A cross-reference stream describes where the input's objects lie. The output has a table of
// its own, and nothing refers to the input's: it is not copied.
bool is_cross_reference_stream(const load::doc& d, const load::obj_entry& e)
{
    if (!e.is_stream || e.in_object_stream) return false;
    const load::dict_span span = d.span_of(e);
    if (!span) return false;
    const std::int32_t key = scan::find_top_level_key(span.text, span.start, scan::text_limit(span.text), scan::key::type);
    if (key < 0) return false;
    const std::int32_t slash = scan::value_start(span.text, key, scan::key::type);
    if (slash >= scan::text_limit(span.text) || span.text[static_cast<std::size_t>(slash)] != '/') return false;
    std::int32_t end = slash;
    return scan::read_name(span.text, slash, end) == scan::name::xref;
}

}  // namespace

void write_input_object(writer& w, const load::obj_entry& e)
{
    if (e.num < 1 || static_cast<std::size_t>(e.num) >= w.offsets.size()) return;
    if (w.plan.is_dropped(e.num) || is_cross_reference_stream(w.doc, e)) return;
    // The compact output leaves out what nothing it writes refers to.
    const auto index = static_cast<std::size_t>(e.num);
    if (index < w.referenced.size() && w.referenced[index] == 0) return;
    if (const std::string* text = w.replaced.find(e.num)) {
        std::string scratch;
        return write_text_object(w, e, with_framing_keywords_blanked(*text, scratch));
    }
    if (write_catalog(w, e) || write_page(w, e)) return;
    if (e.in_object_stream)
        write_member_object(w, e);
    else if (e.is_stream)
        write_stream_copy(w, e);
    else
        write_plain_object(w, e);
}

}  // namespace kestrin::emit
