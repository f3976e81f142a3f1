#include "plan/refs.h"

#include "scan/chars.h"
#include "scan/keys.h"
#include "scan/token.h"

namespace kestrin::plan {

namespace {

bool room_left(const std::vector<std::int32_t>& out, std::int32_t capacity)
{
    return capacity > 0 && out.size() < static_cast<std::size_t>(capacity);
}

// The integer at a digit; pos always moves past the digits, also when the value wraps to -1.
std::int32_t read_digits(std::string_view text, std::int32_t& pos)
{
    const std::int32_t value = scan::parse_int_at(text, pos);
    const auto limit = scan::text_limit(text);
    while (pos < limit && scan::is_digit(static_cast<unsigned char>(text[pos]))) ++pos;
    return value;
}

// Reads the elements after the "[" at open until "]" or the end of the text. Anything that does not
// start an integer is passed over byte by byte, so integers inside a stray inline dictionary are
// taken as references too.
std::int32_t parse_ref_array(std::string_view text, std::int32_t open,
                             std::vector<std::int32_t>& out, std::int32_t capacity)
{
    const auto limit = scan::text_limit(text);
    std::int32_t stored = 0;
    std::int32_t pos = scan::skip_ws(text, open + 1);
    while (pos < limit && text[pos] != ']') {
        if (!scan::is_digit(static_cast<unsigned char>(text[pos]))) {
            pos = scan::skip_ws(text, pos + 1);
            continue;
        }
        const std::int32_t num = read_digits(text, pos);
        pos = scan::skip_ws(text, pos);
        if (pos < limit && scan::is_digit(static_cast<unsigned char>(text[pos]))) {
            read_digits(text, pos);
            pos = scan::skip_ws(text, pos);
        }
        if (pos < limit && text[pos] == 'R') ++pos;
        if (num > 0 && room_left(out, capacity)) {
            out.push_back(num);
            ++stored;
        }
    }
    return stored;
}

// The body of an array object: its own text inside an object stream, or the file bytes between
// the header keyword "obj" and "endobj". Empty when the object is a dictionary or unreadable.
std::string_view array_object_body(const load::doc& d, const load::obj_entry& e)
{
    if (e.in_object_stream) {
        if (e.text == nullptr || e.text_len <= 0) return {};
        return {e.text, static_cast<std::size_t>(e.text_len)};
    }
    if (e.dict_pos >= 0 || e.hdr_pos < 0) return {};
    const std::string_view file = d.file();
    const auto file_len = static_cast<std::int32_t>(file.size());
    const std::int32_t end = e.endobj_pos > 0 && e.endobj_pos <= file_len ? e.endobj_pos : file_len;
    const std::int32_t kw =
        scan::find_kw(file.substr(0, static_cast<std::size_t>(end)), e.hdr_pos, scan::keyword::obj);
    if (kw < 0) return {};
    const std::int32_t body = kw + static_cast<std::int32_t>(scan::keyword::obj.size());
    return file.substr(static_cast<std::size_t>(body), static_cast<std::size_t>(end - body));
}

// The array that a reference "N G R" at pos names. -1 when it is missing or not an array.
std::int32_t collect_indirect(const load::doc& d, std::string_view text, std::int32_t pos,
                              std::vector<std::int32_t>& out, std::int32_t capacity)
{
    const std::int32_t num = scan::parse_int_at(text, pos);
    if (num <= 0) return -1;
    const load::obj_entry* e = d.objs.find(num);
    if (e == nullptr) return -1;
    if (!e->in_object_stream && e->dict_pos >= 0) return -1;
    const std::string_view body = array_object_body(d, *e);
    const std::int32_t open = scan::skip_ws(body, 0);
    if (open >= static_cast<std::int32_t>(body.size())) return 0;
    if (body[open] != '[') return -1;
    return parse_ref_array(body, open, out, capacity);
}

}  // namespace

std::int32_t collect_ref_list(const load::doc& d, std::string_view text, std::int32_t start,
                              std::string_view name, std::vector<std::int32_t>& out,
                              std::int32_t capacity)
{
    const auto limit = scan::text_limit(text);
    const std::int32_t key = scan::find_key_anywhere(text, start, limit, name);
    if (key < 0) return -1;
    const std::int32_t pos = scan::value_start(text, key, name);
    if (pos >= limit) return -1;
    if (text[pos] == '[') return parse_ref_array(text, pos, out, capacity);
    if (scan::is_digit(static_cast<unsigned char>(text[pos])))
        return collect_indirect(d, text, pos, out, capacity);
    return -1;
}

}  // namespace kestrin::plan
