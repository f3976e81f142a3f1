#include "load/stream_data.h"

#include "decode/inflate.h"
#include "scan/chars.h"
#include "scan/keys.h"
#include "scan/token.h"
#include "scan/value.h"

namespace kestrin::load {

namespace {

// Room of the first decoding attempt: 20 x the stored length + 4096.
constexpr std::uint64_t first_room_factor = 20;
constexpr std::uint64_t first_room_extra = 4096;

enum class filter_kind { none, flate, other };

// The name whose "/" is at pos, without the "/"; pos moves past it.
std::string_view read_name(std::string_view text, std::int32_t& pos)
{
    const std::int32_t limit = scan::text_limit(text);
    const std::int32_t start = pos + 1;
    std::int32_t i = start;
    while (i < limit && !scan::is_pdf_ws(scan::byte_at(text, i)) &&
           !scan::is_delimiter(scan::byte_at(text, i)))
        ++i;
    pos = i;
    return text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(i - start));
}

filter_kind kind_of_name(std::string_view name)
{
    return name == scan::name::flate_decode ? filter_kind::flate : filter_kind::other;
}

// A filter array: no names means no filter, FlateDecode alone decodes, anything else does not.
filter_kind kind_of_array(std::string_view text, std::int32_t pos)
{
    const std::int32_t limit = scan::text_limit(text);
    std::int32_t names = 0;
    filter_kind kind = filter_kind::none;
    for (++pos;;) {
        pos = scan::skip_ws(text, pos);
        if (pos >= limit) return filter_kind::other;  // unclosed
        const unsigned char c = scan::byte_at(text, pos);
        if (c == ']')
            return names == 1 ? kind : (names == 0 ? filter_kind::none : filter_kind::other);
        if (c != '/') return filter_kind::other;  // a reference or junk: unknown filters
        kind = kind_of_name(read_name(text, pos));
        ++names;
    }
}

// What the "Filter" entry of the dictionary span asks for.
filter_kind filter_of(const dict_span& span)
{
    const std::int32_t limit = scan::text_limit(span.text);
    const std::int32_t key = scan::find_key_anywhere(span.text, span.start, limit, scan::key::filter);
    if (key < 0) return filter_kind::none;
    std::int32_t pos =
        scan::value_start(span.text, key, scan::key::filter);
    if (pos >= limit) return filter_kind::other;
    const unsigned char c = scan::byte_at(span.text, pos);
    if (c == '/') return kind_of_name(read_name(span.text, pos));
    if (c == '[') return kind_of_array(span.text, pos);
    if (scan::kw_at(span.text, pos, scan::keyword::null)) return filter_kind::none;
    return filter_kind::other;  // an indirect filter is not followed
}

// "Predictor" above 1 in [start, stop) of text.
bool predictor_in(std::string_view text, std::int32_t start, std::int32_t stop)
{
    const std::int32_t key = scan::find_key_anywhere(text, start, stop, scan::key::predictor);
    if (key < 0) return false;
    std::int32_t pos = key + 1 + static_cast<std::int32_t>(scan::key::predictor.size());
    return scan::parse_int_at(text, pos) > 1;
}

// The parameters given as "N G R": read from that object's dictionary. A missing object counts
// as null; one without a dictionary cannot be read and counts as using a predictor.
bool referenced_predictor(const doc& d, std::string_view text, std::int32_t pos)
{
    const std::int32_t num = scan::parse_int_at(text, pos);
    const obj_entry* target = num > 0 ? d.objs.find(num) : nullptr;
    if (!target) return false;
    const dict_span span = d.span_of(*target);
    if (!span) return true;
    return predictor_in(span.text, span.start, scan::text_limit(span.text));
}

// True when the stream's DecodeParms ask for a predictor, or cannot be read well enough to tell.
bool uses_predictor(const doc& d, const dict_span& span)
{
    const std::int32_t limit = scan::text_limit(span.text);
    const std::int32_t key = scan::find_key_anywhere(span.text, span.start, limit, scan::key::decode_parms);
    if (key < 0) return false;
    const std::int32_t value =
        scan::value_start(span.text, key, scan::key::decode_parms);
    if (value >= limit) return false;
    if (scan::is_digit(scan::byte_at(span.text, value)))
        return referenced_predictor(d, span.text, value);
    std::int32_t end = scan::skip_pdf_value(span.text, value);
    if (end < 0) end = limit;
    // References inside an array of parameters are not followed.
    if (scan::find_kw(scan::cut_at(span.text, end), value, scan::keyword::reference) >= 0) return true;
    return predictor_in(span.text, value, end);
}

// Decodes the stored bytes at the end of scratch; undecodable when that fails.
stream_content decode_flate(const doc& d, std::string_view stored, base::byte_buffer& scratch)
{
    const std::uint64_t first_room = first_room_factor * stored.size() + first_room_extra;
    std::uint64_t len = 0;
    if (decode::inflate_growing(stored, first_room, decode::decode_budget(d.len), scratch, &len) != 0)
        return {stored, content_form::undecodable};
    char* start = scratch.data.get() + scratch.len;
    start[len] = 0;  // inside the room reserved for the attempt, which included the NUL
    scratch.len += len;
    return {std::string_view(start, static_cast<std::size_t>(len)), content_form::decoded};
}

}  // namespace

std::string_view stored_stream(const doc& d, const obj_entry& e)
{
    if (!e.is_stream || e.data_start < 0 || e.data_end <= e.data_start || e.data_end > d.len) return {};
    return d.file().substr(static_cast<std::size_t>(e.data_start), static_cast<std::size_t>(e.data_end - e.data_start));
}

stream_content decoded_stream(const doc& d, const obj_entry& e, base::byte_buffer& scratch)
{
    const std::string_view stored = stored_stream(d, e);
    if (stored.empty()) return {};
    if (e.dict_pos < 0) return {stored, content_form::stored};
    const dict_span span = d.span_of(e);
    if (!span) return {stored, content_form::stored};
    switch (filter_of(span)) {
        case filter_kind::none: return {stored, content_form::stored};
        case filter_kind::other: return {stored, content_form::undecodable};
        case filter_kind::flate: break;
    }
    if (uses_predictor(d, span)) return {stored, content_form::undecodable};
    return decode_flate(d, stored, scratch);
}

}  // namespace kestrin::load
