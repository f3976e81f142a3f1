// Root, Info, the permanent identifier and the encryption flag, read from the trailers and
// cross-reference stream dictionaries reached from the last "startxref". The cross-reference entries themselves are never
// read: objects are found by scanning the file.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "load/stages.h"
#include "scan/frame.h"
#include "scan/keys.h"
#include "scan/strings.h"
#include "scan/token.h"

namespace kestrin::load {

namespace {

using scan::find_kw;
using scan::find_key_anywhere;
using scan::kw_at;
using scan::skip_ws;

// Each cross-reference stream visit counts, so a /Prev loop ends after this many sections.
constexpr int max_xref_stream_sections = 32;

// A dictionary range [start, end) of the file.
struct range {
    std::int32_t start;
    std::int32_t end;
};

// Integer value of the key whose slash is at key_pos, read from value_from: white space is skipped
// within the range, the number itself is bounded only by the file.
std::int32_t value_at(std::string_view file, range r, std::int32_t value_from)
{
    std::int32_t pos = skip_ws(file.substr(0, static_cast<std::size_t>(r.end)), value_from);
    return scan::parse_int_at(file, pos);
}

// Value of the first occurrence of /key in the range; -1 when absent or unreadable. Root and Info
// values are read from the second byte after the key.
std::int32_t first_value(std::string_view file, range r, std::string_view key)
{
    std::int32_t p = find_key_anywhere(file, r.start, r.end, key);
    if (p < 0) return -1;
    return value_at(file, r, p + 1 + static_cast<std::int32_t>(key.size()) + 1);
}

// As first_value, but trying later occurrences while the value is unreadable or negative.
std::int32_t first_readable_value(std::string_view file, range r, std::string_view key)
{
    for (std::int32_t p = find_key_anywhere(file, r.start, r.end, key); p >= 0;
         p = find_key_anywhere(file, p + 1, r.end, key)) {
        std::int32_t v = value_at(file, r, p + 1 + static_cast<std::int32_t>(key.size()) + 1);
        if (v >= 0) return v;
    }
    return -1;
}

// The first string of the "ID" array at the top level of the dictionary at r.start, as bytes;
// nullopt when there is none or it is empty.
std::optional<std::string> first_id_string(std::string_view file, range r)
{
    const std::string_view dict = file.substr(0, static_cast<std::size_t>(r.end));
    const std::int32_t key = scan::find_top_level_key(dict, r.start, r.end, scan::key::id);
    if (key < 0) return std::nullopt;
    std::int32_t pos = scan::value_start(dict, key, scan::key::id);
    if (pos >= r.end || dict[static_cast<std::size_t>(pos)] != '[') return std::nullopt;
    pos = skip_ws(dict, pos + 1);
    std::optional<std::string> id;
    if (pos < r.end && dict[static_cast<std::size_t>(pos)] == '(')
        id = scan::read_literal_string(dict, pos);
    else if (pos < r.end && dict[static_cast<std::size_t>(pos)] == '<' && !scan::opens_dictionary(dict, pos))
        id = scan::read_hex_string(dict, pos);
    if (!id || id->empty()) return std::nullopt;
    return id;
}

void note_encrypt(doc& d, range r)
{
    if (find_key_anywhere(d.file(), r.start, r.end, scan::key::encrypt) >= 0) d.encrypted = true;
}

// Every "trailer" after the table, in file order; each one read overwrites Root and Info.
void read_table_trailers(doc& d, std::int32_t xref_pos)
{
    std::string_view file = d.file();
    constexpr std::int32_t trailer_len = static_cast<std::int32_t>(scan::keyword::trailer.size());
    // The next "startxref" is remembered while it still lies ahead: many trailers, one search.
    bool startxref_known = false;
    std::int32_t next_startxref = -1;
    std::int32_t t = find_kw(file, xref_pos + 4, scan::keyword::trailer);
    while (t >= 0) {
        std::int32_t start = skip_ws(file, t + trailer_len);
        std::int32_t next_trailer = find_kw(file, t + trailer_len, scan::keyword::trailer);
        if (!startxref_known || (next_startxref >= 0 && next_startxref < start)) {
            next_startxref = find_kw(file, start, scan::keyword::startxref);
            startxref_known = true;
        }
        std::int32_t end = next_startxref >= 0 ? next_startxref : d.len;
        // A later trailer is read on its own and overwrites what its text would give here, so
        // cutting the range there changes no result and keeps many trailers linear.
        if (next_trailer >= 0 && next_trailer < end) end = next_trailer;
        if (start < end && file[static_cast<std::size_t>(start)] == '<') {
            range r{start, end};
            if (std::int32_t v = first_readable_value(file, r, scan::key::root); v >= 0)
                d.trailer_root = v;
            if (std::int32_t v = first_readable_value(file, r, scan::key::info); v >= 0)
                d.trailer_info = v;
            if (std::optional<std::string> id = first_id_string(file, r)) d.permanent_id = std::move(*id);
            note_encrypt(d, r);
        }
        t = next_trailer;
    }
}

// Position just past the "obj" of the object header at pos, or -1.
std::int32_t past_header(std::string_view file, std::int32_t pos)
{
    std::int32_t n = static_cast<std::int32_t>(file.size());
    while (pos < n && scan::is_digit(static_cast<unsigned char>(file[static_cast<std::size_t>(pos)])))
        ++pos;
    pos = skip_ws(file, pos);
    if (pos < n && scan::is_digit(static_cast<unsigned char>(file[static_cast<std::size_t>(pos)]))) {
        while (pos < n &&
               scan::is_digit(static_cast<unsigned char>(file[static_cast<std::size_t>(pos)])))
            ++pos;
        pos = skip_ws(file, pos);
    }
    if (!kw_at(file, pos, "obj")) return -1;
    return pos + 3;
}

// Reads one cross-reference stream dictionary; returns the /Prev offset to visit next, or -1.
std::int32_t read_xref_stream(doc& d, std::int32_t pos)
{
    std::string_view file = d.file();
    std::int32_t body = past_header(file, pos);
    if (body < 0) return -1;
    body = skip_ws(file, body);
    range r{body, d.len};
    if (body < d.len && file[static_cast<std::size_t>(body)] == '<') {
        std::int32_t s = scan::dict_stream_kw(file, body);
        if (s >= 0) r.end = s;
    }
    if (d.trailer_root < 0) {
        std::int32_t v = first_value(file, r, scan::key::root);
        if (v >= 0) d.trailer_root = v;
    }
    // Files whose newest section is a stream keep their Info only if it is read here too.
    if (d.trailer_info < 0) {
        std::int32_t v = first_value(file, r, scan::key::info);
        if (v >= 0) d.trailer_info = v;
    }
    if (d.permanent_id.empty()) {
        if (std::optional<std::string> id = first_id_string(file, r)) d.permanent_id = std::move(*id);
    }
    note_encrypt(d, r);
    std::int32_t p = find_key_anywhere(file, r.start, r.end, scan::key::prev);
    if (p < 0) return -1;
    // Unlike Root and Info, Prev is read from the byte directly after the key.
    std::int32_t prev = value_at(file, r, p + 1 + static_cast<std::int32_t>(scan::key::prev.size()));
    return prev >= 0 && prev < d.len ? prev : -1;
}

}  // namespace

void read_trailers(doc& d)
{
    std::string_view file = d.file();
    std::int32_t offset = scan::last_startxref_offset(file);
    for (int visits = 0; offset >= 0;) {
        std::int32_t pos = skip_ws(file, offset);
        if (pos >= d.len) return;
        if (kw_at(file, pos, "xref")) {
            read_table_trailers(d, pos);
            return;
        }
        if (!scan::is_digit(static_cast<unsigned char>(file[static_cast<std::size_t>(pos)])))
            return;
        if (++visits > max_xref_stream_sections) return;
        offset = read_xref_stream(d, pos);
    }
}

}  // namespace kestrin::load
