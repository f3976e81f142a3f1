// The object scan (every "N G obj" header of the file) and the measuring of stream data.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <string_view>
#include <utility>
#include <vector>

#include "base/two_threads.h"
#include "load/stages.h"
#include "load/values.h"
#include "scan/frame.h"
#include "scan/keys.h"
#include "scan/token.h"

namespace kestrin::load {

namespace {

using scan::is_ascii_ws;
using scan::is_digit;
using scan::kw_at;
using scan::skip_ws;

// Next index at or after from holding c, or n; memchr, since these walks cover the whole file,
// stream data included.
std::int32_t next_byte(std::string_view file, std::int32_t from, char c)
{
    const auto n = static_cast<std::int32_t>(file.size());
    if (from >= n) return n;
    const void* hit = std::memchr(file.data() + from, c, static_cast<std::size_t>(n - from));
    return hit == nullptr ? n : static_cast<std::int32_t>(static_cast<const char*>(hit) - file.data());
}

void collect_obj_marks(std::string_view file, keyword_marks& marks)
{
    std::int32_t n = static_cast<std::int32_t>(file.size());
    for (std::int32_t p = next_byte(file, 0, 'o'); p < n; p = next_byte(file, p + 1, 'o'))
        if (p <= n - 4 && kw_at(file, p, scan::keyword::obj)) marks.obj.push_back(p);
}

void collect_end_marks(std::string_view file, keyword_marks& marks)
{
    std::int32_t n = static_cast<std::int32_t>(file.size());
    for (std::int32_t p = next_byte(file, 0, 'e'); p < n; p = next_byte(file, p + 1, 'e')) {
        if (n - p < 3 || scan::byte_at(file, p + 1) != 'n' || scan::byte_at(file, p + 2) != 'd') continue;
        if (kw_at(file, p, scan::keyword::endobj))
            marks.endobj.push_back(p);
        else if (kw_at(file, p, scan::keyword::endstream))
            marks.endstream.push_back(p);
    }
}

// One walk per first letter, each list in file order; on a large file the two walks run at once.
void collect_marks(std::string_view file, keyword_marks& marks)
{
    if (file.size() < base::min_bytes_for_two_threads) {
        collect_obj_marks(file, marks);
        collect_end_marks(file, marks);
        return;
    }
    base::run_on_two_threads([&] { collect_end_marks(file, marks); }, [&] { collect_obj_marks(file, marks); });
}

// Finds the "stream" keyword after an object's dictionary. Each walk runs to the end of the
// file if it must, so a file of unclosed "<<" would cost its length once per header; once the
// walks of a document have covered this many times its length, a walk stops at the next "obj"
// keyword instead, which no dictionary of a sound file reaches.
constexpr std::int64_t framing_walk_factor = 16;

class dict_framer {
public:
    dict_framer(std::string_view file, const keyword_marks& marks)
        : file_(file), marks_(marks),
          budget_(framing_walk_factor * static_cast<std::int64_t>(file.size()))
    {
    }

    std::int32_t stream_after_dict(std::int32_t dict_pos)
    {
        std::int32_t stop = static_cast<std::int32_t>(file_.size());
        if (budget_ <= 0) {
            std::int32_t next = first_mark_from(marks_.obj, dict_pos);
            if (next >= 0) stop = next;
        }
        std::int32_t close = scan::find_dict_close(file_, dict_pos, stop);
        budget_ -= (close >= 0 ? close : stop) - dict_pos;
        if (close < 0) return -1;
        std::int32_t s = skip_ws(file_, close + 2);
        return kw_at(file_, s, scan::keyword::stream) ? s : -1;
    }

private:
    std::string_view file_;
    const keyword_marks& marks_;
    std::int64_t budget_;
};

// Decimal digits [from, to) as a 32-bit number that wraps like the unsigned arithmetic it uses.
std::int32_t digits_value(std::string_view text, std::int32_t from, std::int32_t to)
{
    std::uint32_t v = 0;
    for (std::int32_t i = from; i < to; ++i) v = v * 10u + (scan::byte_at(text, i) - '0');
    return static_cast<std::int32_t>(v);
}

// Start of the digit run ending just before end (end itself when there is none).
std::int32_t digits_back(std::string_view text, std::int32_t end)
{
    while (end > 0 && is_digit(scan::byte_at(text, end - 1))) --end;
    return end;
}

std::int32_t ascii_ws_back(std::string_view text, std::int32_t end)
{
    while (end > 0 && is_ascii_ws(scan::byte_at(text, end - 1))) --end;
    return end;
}

// Reads "N G" backwards from the "obj" at obj_pos; false when they do not form a header.
bool read_header(std::string_view file, std::int32_t obj_pos, obj_entry& e)
{
    std::int32_t g_end = ascii_ws_back(file, obj_pos);
    std::int32_t g_start = digits_back(file, g_end);
    if (g_start == g_end || g_start == 0) return false;
    if (!is_ascii_ws(scan::byte_at(file, g_start - 1))) return false;
    std::int32_t n_end = ascii_ws_back(file, g_start);
    std::int32_t n_start = digits_back(file, n_end);
    if (n_start == n_end) return false;
    if (n_start > 0 && scan::is_alnum(scan::byte_at(file, n_start - 1))) return false;
    std::int32_t num = digits_value(file, n_start, n_end);
    if (num <= 0) return false;
    e = obj_entry{};
    e.num = num;
    e.gen = digits_value(file, g_start, g_end);
    e.hdr_pos = n_start;
    return true;
}

// First byte of stream data after the keyword "stream" at stream_pos.
std::int32_t stream_data_start(std::string_view file, std::int32_t stream_pos)
{
    std::int32_t n = static_cast<std::int32_t>(file.size());
    std::int32_t after = stream_pos + static_cast<std::int32_t>(scan::keyword::stream.size());
    if (after >= n) return n;
    std::int32_t i = after;
    while (i < n && (scan::byte_at(file, i) == ' ' || scan::byte_at(file, i) == '\t')) ++i;
    if (i < n && scan::byte_at(file, i) == '\n') return i + 1;
    if (i < n && scan::byte_at(file, i) == '\r') return (i + 1 < n && scan::byte_at(file, i + 1) == '\n') ? i + 2 : i + 1;
    // Anything else: the byte after the keyword is taken for the end-of-line marker.
    return after + 1;
}

// Fills the body offsets of a header whose "obj" ends at body_from; false when it has no end.
bool frame_body(std::string_view file, const keyword_marks& marks, dict_framer& framer,
                std::int32_t body_from, obj_entry& e)
{
    std::int32_t q = skip_ws(file, body_from);
    // Only "<<" opens a dictionary: a hexadecimal string body must not take a later stream.
    bool dict = q + 1 < static_cast<std::int32_t>(file.size()) && scan::byte_at(file, q) == '<' &&
                scan::byte_at(file, q + 1) == '<';
    if (dict) {
        e.dict_pos = q;
        std::int32_t s = framer.stream_after_dict(q);
        if (s >= 0) {
            e.stream_pos = s;
            e.is_stream = true;
            e.data_start = stream_data_start(file, s);
            return true;
        }
    }
    e.endobj_pos = first_mark_from(marks.endobj, dict ? q : body_from);
    if (e.endobj_pos < 0) return false;
    e.obj_end = e.endobj_pos + static_cast<std::int32_t>(scan::keyword::endobj.size());
    return true;
}

// Numbers above this cannot be kept or are refused by the range check anyway.
std::int32_t header_number_cap(const doc& d) { return std::min(d.len, max_object_number); }

}  // namespace

header_span first_header_in(std::string_view text, std::int32_t from)
{
    obj_entry e;
    for (std::int32_t p = scan::find_kw(text, from, scan::keyword::obj); p >= 0; p = scan::find_kw(text, p + 3, scan::keyword::obj))
        if (read_header(text, p, e) && e.hdr_pos >= from) return {e.hdr_pos, p + 3};
    return {};
}

std::int32_t first_mark_from(const std::vector<std::int32_t>& marks, std::int32_t pos)
{
    auto it = std::lower_bound(marks.begin(), marks.end(), pos);
    return it == marks.end() ? -1 : *it;
}

void scan_objects(doc& d, keyword_marks& marks)
{
    std::string_view file = d.file();
    collect_marks(file, marks);
    std::int32_t cap = header_number_cap(d);
    dict_framer framer(file, marks);
    // Nearly every object ends with "endobj": one reservation instead of repeated growth, never
    // larger than the keywords found.
    try {
        d.objs.entries.reserve(std::min(marks.obj.size(), marks.endobj.size()));
    } catch (const std::bad_alloc&) {
    }
    for (std::int32_t p : marks.obj) {
        obj_entry e;
        if (!read_header(file, p, e)) continue;
        if (e.num <= cap) d.max_header_num = std::max(d.max_header_num, e.num);
        if (frame_body(file, marks, framer, p + static_cast<std::int32_t>(scan::keyword::obj.size()), e))
            d.objs.push(e);
    }
}

namespace {

// Positions of the first entry of every number, for resolving indirect lengths while the table
// still holds duplicates and numbers of any size.
class first_entries {
public:
    explicit first_entries(const object_table& v)
    {
        order_.reserve(v.entries.size());
        for (std::int32_t i = 0; i < v.count(); ++i)
            order_.emplace_back(v.entries[static_cast<std::size_t>(i)].num, i);
        std::sort(order_.begin(), order_.end());
    }
    std::int32_t find(std::int32_t num) const
    {
        auto it = std::lower_bound(order_.begin(), order_.end(), std::make_pair(num, 0));
        return it != order_.end() && it->first == num ? it->second : -1;
    }

private:
    std::vector<std::pair<std::int32_t, std::int32_t>> order_;
};

// The integer value of the plain object whose header is at hdr_pos, or -1.
std::int32_t object_integer(std::string_view file, std::int32_t hdr_pos)
{
    std::int32_t pos = hdr_pos;
    if (scan::parse_int_at(file, pos) < 0) return -1;
    pos = skip_ws(file, pos);
    if (pos < static_cast<std::int32_t>(file.size()) && is_digit(scan::byte_at(file, pos)))
        scan::parse_int_at(file, pos);
    pos = skip_ws(file, pos);
    if (kw_at(file, pos, scan::keyword::obj)) pos = skip_ws(file, pos + static_cast<std::int32_t>(scan::keyword::obj.size()));
    return scan::parse_int_at(file, pos);
}

std::int32_t indirect_length(const doc& d, const first_entries& firsts, std::int32_t ref)
{
    std::int32_t i = firsts.find(ref);
    if (i < 0) return -1;
    const obj_entry& target = d.objs.entries[static_cast<std::size_t>(i)];
    if (target.is_stream) return -1;
    return object_integer(d.file(), target.hdr_pos);
}

bool endstream_at(std::string_view file, std::int32_t pos)
{
    std::int32_t n = static_cast<std::int32_t>(file.size());
    if (pos > n) return false;
    if (file.substr(static_cast<std::size_t>(pos)).starts_with(scan::keyword::endstream)) return true;
    while (pos < n && is_ascii_ws(scan::byte_at(file, pos))) ++pos;
    return file.substr(static_cast<std::size_t>(pos)).starts_with(scan::keyword::endstream);
}

// Data end found through the first "endstream" from the data start (one standing right there
// leaves the data empty), less the end-of-line marker before it.
std::int32_t data_end_by_keyword(std::string_view file, const keyword_marks& marks,
                                 std::int32_t data_start)
{
    std::int32_t e = first_mark_from(marks.endstream, data_start);
    if (e < 0) return static_cast<std::int32_t>(file.size());
    if (scan::byte_at(file, e - 1) == '\n') {
        if (e - 2 >= data_start && scan::byte_at(file, e - 2) == '\r') return e - 2;
        return e - 1;
    }
    if (scan::byte_at(file, e - 1) == '\r') return e - 1;
    return e;
}

void measure_stream(const doc& d, const keyword_marks& marks, const first_entries& firsts,
                    obj_entry& e, char& unresolved)
{
    std::string_view file = d.file();
    std::int32_t direct = -1, ref = -1;
    scan::parse_length(file, e.dict_pos, e.stream_pos, direct, ref);
    // A missing, negative or unreadable length is measured like a wrong one, through the keyword;
    // so is, for now, a reference to no plain object (it may live in an object stream): such a
    // stream is measured again once object streams are unpacked.
    if (direct < 0 && ref >= 0 && firsts.find(ref) < 0) unresolved = true;
    std::int32_t length = direct >= 0 ? direct : ref >= 0 ? indirect_length(d, firsts, ref) : -1;
    std::int64_t end = static_cast<std::int64_t>(e.data_start) + length;
    if (length >= 0 && end <= d.len && endstream_at(file, static_cast<std::int32_t>(end)))
        e.data_end = static_cast<std::int32_t>(end);
    else
        e.data_end = data_end_by_keyword(file, marks, e.data_start);
    e.data_end = std::max(e.data_end, e.data_start);
    e.endobj_pos = first_mark_from(marks.endobj, e.data_end + 1);
    if (e.endobj_pos >= 0) e.obj_end = e.endobj_pos + static_cast<std::int32_t>(scan::keyword::endobj.size());
}

}  // namespace

void measure_streams(doc& d, const keyword_marks& marks, std::vector<std::int32_t>& unresolved)
{
    first_entries firsts(d.objs);
    std::vector<char> later(d.objs.entries.size(), 0);
    // Each entry is measured on its own, from the file and the table's other entries' headers.
    const auto measure_range = [&](std::size_t from, std::size_t to) {
        for (std::size_t i = from; i < to; ++i) {
            obj_entry& e = d.objs.entries[i];
            if (e.is_stream) measure_stream(d, marks, firsts, e, later[i]);
        }
    };
    const std::size_t count = d.objs.entries.size();
    if (d.file().size() < base::min_bytes_for_two_threads)
        measure_range(0, count);
    else
        base::run_in_halves(count, measure_range);
    for (std::size_t i = 0; i < count; ++i)
        if (later[i]) unresolved.push_back(d.objs.entries[i].hdr_pos);
}

bool remeasure_streams(doc& d, const keyword_marks& marks, const std::vector<std::int32_t>& unresolved)
{
    if (unresolved.empty()) return false;
    std::string_view file = d.file();
    // The last packed definition of every number, as selection keeps it when no plain one exists.
    std::vector<std::pair<std::int32_t, std::int32_t>> packed;
    for (std::int32_t i = 0; i < d.objs.count(); ++i)
        if (d.objs.entries[static_cast<std::size_t>(i)].in_object_stream)
            packed.emplace_back(d.objs.entries[static_cast<std::size_t>(i)].num, i);
    std::stable_sort(packed.begin(), packed.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    bool changed = false;
    for (obj_entry& e : d.objs.entries) {
        if (!e.is_stream || e.in_object_stream ||
            !std::binary_search(unresolved.begin(), unresolved.end(), e.hdr_pos))
            continue;
        std::int32_t direct = -1, ref = -1;
        scan::parse_length(file, e.dict_pos, e.stream_pos, direct, ref);
        auto it = std::upper_bound(packed.begin(), packed.end(), std::make_pair(ref, INT32_MAX));
        if (ref < 0 || it == packed.begin() || (it - 1)->first != ref) continue;
        const obj_entry& target = d.objs.entries[static_cast<std::size_t>((it - 1)->second)];
        std::string_view text(target.text, static_cast<std::size_t>(target.text_len));
        std::int32_t pos = 0;
        const std::int32_t length = scan::parse_int_at(text, pos);
        const std::int64_t end = static_cast<std::int64_t>(e.data_start) + length;
        if (length < 0 || end > d.len || end == e.data_end || !endstream_at(file, static_cast<std::int32_t>(end)))
            continue;
        e.data_end = static_cast<std::int32_t>(end);
        e.endobj_pos = first_mark_from(marks.endobj, e.data_end + 1);
        e.obj_end = e.endobj_pos >= 0 ? e.endobj_pos + static_cast<std::int32_t>(scan::keyword::endobj.size()) : -1;
        changed = true;
    }
    return changed;
}

void check_xref_headers(doc& d, const keyword_marks& marks, xref_table& x)
{
    if (!x.ok) return;
    std::string_view file = d.file();
    const entry_list& found = d.objs.entries;
    const auto by_header = [](const obj_entry& e, std::int32_t pos) { return e.hdr_pos < pos; };
    dict_framer framer(file, marks);
    entry_list vouched;
    bool intact = true;
    for (std::size_t num = 1; num < x.entries.size(); ++num) {
        const xref_entry& xe = x.entries[num];
        if (xe.type != xref_entry::in_use) continue;
        std::int32_t obj_end = -1;
        const auto n = static_cast<std::int32_t>(num);
        if (!header_at(file, xe.a, n, xe.b, &obj_end)) {
            intact = false;
            continue;
        }
        auto it = std::lower_bound(found.begin(), found.end(), xe.a, by_header);
        if (it != found.end() && it->hdr_pos == xe.a && it->num == n) continue;
        obj_entry e;
        e.num = n;
        e.gen = xe.b;
        e.hdr_pos = xe.a;
        if (frame_body(file, marks, framer, obj_end, e)) vouched.push_back(e);
    }
    x.intact = intact;
    if (vouched.empty()) return;
    for (const obj_entry& e : vouched) {
        d.max_header_num = std::max(d.max_header_num, e.num);
        d.objs.push(e);
    }
    std::stable_sort(d.objs.entries.begin(), d.objs.entries.end(),
                     [](const obj_entry& a, const obj_entry& b) { return a.hdr_pos < b.hdr_pos; });
}

}  // namespace kestrin::load
