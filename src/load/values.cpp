#include "load/values.h"

#include "scan/chars.h"
#include "scan/token.h"
#include "scan/value.h"

namespace kestrin::load {

std::string_view object_body(const doc& d, const obj_entry& e)
{
    if (e.in_object_stream) return {e.text, static_cast<std::size_t>(e.text_len)};
    const std::string_view file = d.file();
    std::int32_t start = e.dict_pos;
    if (start < 0) {
        const std::int32_t kw = scan::find_kw(file, e.hdr_pos, "obj");
        if (kw < 0) return {};
        start = scan::skip_ws(file, kw + 3);
    }
    const std::int32_t end = e.endobj_pos > 0 ? e.endobj_pos : d.len;
    if (start < 0 || end <= start || end > d.len) return {};
    return file.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start));
}

std::string_view value_after_key(std::string_view text, std::int32_t key_pos, std::string_view key)
{
    if (key_pos < 0) return {};
    const std::int32_t value = scan::value_start(text, key_pos, key);
    const std::int32_t end = scan::skip_pdf_value(text, value);
    if (end <= value) return {};
    return text.substr(static_cast<std::size_t>(value), static_cast<std::size_t>(end - value));
}

namespace {

// Index just past a reference "N G R" that starts at pos, or -1 when none stands there.
std::int32_t reference_end(std::string_view text, std::int32_t pos)
{
    const std::int32_t limit = scan::text_limit(text);
    std::int32_t at = pos;
    if (scan::parse_int_at(text, at) < 0 || at >= limit || !scan::is_pdf_ws(static_cast<unsigned char>(text[at])))
        return -1;
    if (scan::parse_int_at(text, at) < 0) return -1;
    at = scan::skip_ws(text, at);
    if (at >= limit || text[static_cast<std::size_t>(at)] != 'R') return -1;
    if (at + 1 < limit && scan::is_regular(static_cast<unsigned char>(text[static_cast<std::size_t>(at) + 1])))
        return -1;
    return at + 1;
}

}  // namespace

std::string_view value_text_at(std::string_view text, std::int32_t pos)
{
    if (pos < 0 || pos >= scan::text_limit(text)) return {};
    std::int32_t end = scan::is_digit(static_cast<unsigned char>(text[static_cast<std::size_t>(pos)]))
                           ? reference_end(text, pos)
                           : -1;
    if (end < 0) end = scan::skip_pdf_value(text, pos);
    if (end <= pos) return {};
    return text.substr(static_cast<std::size_t>(pos), static_cast<std::size_t>(end - pos));
}

std::string_view resolved_value(const doc& d, std::string_view value)
{
    if (value.empty() || reference_end(value, 0) < 0) return value;
    std::int32_t pos = 0;
    const obj_entry* e = d.objs.find(scan::parse_int_at(value, pos));
    if (e == nullptr || e->is_stream) return {};
    const std::string_view body = object_body(d, *e);
    const std::int32_t start = scan::skip_ws(body, 0);
    return body.substr(static_cast<std::size_t>(start));
}

const obj_entry* referenced_object(const doc& d, std::string_view value)
{
    if (value.empty() || reference_end(value, 0) < 0) return nullptr;
    std::int32_t pos = 0;
    return d.objs.find(scan::parse_int_at(value, pos));
}

std::string_view entry_value(std::string_view text, std::int32_t start, std::string_view key)
{
    return value_after_key(text, scan::find_top_level_key(text, start, scan::text_limit(text), key), key);
}

std::string_view array_value(const doc& d, std::string_view value)
{
    if (!value.empty() && scan::is_digit(static_cast<unsigned char>(value.front()))) {
        std::int32_t pos = 0;
        const obj_entry* e = d.objs.find(scan::parse_int_at(value, pos));
        value = e != nullptr && !e->is_stream ? object_body(d, *e) : std::string_view();
    }
    return value.empty() || value.front() != '[' ? std::string_view() : value;
}

std::string_view array_entry(const doc& d, std::string_view text, std::int32_t start, std::string_view key)
{
    return array_value(d, entry_value(text, start, key));
}

}  // namespace kestrin::load
