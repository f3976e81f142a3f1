#include "plan/refs.h"

#include "load/values.h"
#include "scan/chars.h"
#include "scan/dictionary.h"
#include "scan/keys.h"
#include "scan/reference.h"
#include "scan/token.h"

namespace kestrin::plan {

namespace {

// The capacity counts what out holds already.
std::int32_t read_array(std::string_view text, std::int32_t open, std::vector<std::int32_t>& out,
                        std::int32_t capacity)
{
    const auto held = static_cast<std::int64_t>(out.size());
    const auto room = static_cast<std::int32_t>(capacity > held ? capacity - held : 0);
    // Integers inside a stray inline dictionary are taken as references too.
    return scan::read_reference_array(text, open, room, out, scan::on_inline_dictionary::read_on).stored;
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
    const std::string_view body = load::object_body(d, *e);
    const std::int32_t open = scan::skip_ws(body, 0);
    if (open >= static_cast<std::int32_t>(body.size())) return 0;
    if (body[open] != '[') return -1;
    return read_array(body, open, out, capacity);
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
    if (text[pos] == '[') return read_array(text, pos, out, capacity);
    if (scan::is_digit(static_cast<unsigned char>(text[pos])))
        return collect_indirect(d, text, pos, out, capacity);
    return -1;
}

namespace {

void append_listed(std::string_view text, std::int32_t open, std::vector<annotation_ref>& out)
{
    std::vector<scan::listed_object> listed;
    scan::read_listed_objects(text, open, listed);
    for (const scan::listed_object& l : listed) {
        if (l.obj > 0)
            out.push_back({l.obj, {}});
        else
            out.push_back({0, text.substr(static_cast<std::size_t>(l.dict_open),
                                          static_cast<std::size_t>(l.dict_end - l.dict_open))});
    }
}

}  // namespace

void read_annotation_list(const load::doc& d, std::string_view text, std::int32_t start,
                          std::vector<annotation_ref>& out)
{
    std::int32_t pos = scan::entry_value_at(text, start, scan::key::annots);
    if (pos < 0 || pos >= scan::text_limit(text)) return;
    if (text[static_cast<std::size_t>(pos)] == '[') return append_listed(text, pos, out);
    const load::obj_entry* e = d.objs.find(scan::parse_int_at(text, pos));
    if (e == nullptr || e->is_stream) return;
    const std::string_view body = load::object_body(d, *e);
    const std::int32_t open = scan::skip_ws(body, 0);
    if (open < scan::text_limit(body) && body[static_cast<std::size_t>(open)] == '[') append_listed(body, open, out);
}

}  // namespace kestrin::plan
