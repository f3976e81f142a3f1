// Pruning of what the scan found inside stream data, the choice of one definition per object
// number, and the catalog and information dictionary.
#include <algorithm>
#include <cstdint>
#include <queue>
#include <string_view>
#include <utility>
#include <vector>

#include "load/stages.h"
#include "scan/chars.h"
#include "scan/keys.h"
#include "scan/token.h"

namespace kestrin::load {

namespace {

// Marks the entries whose header lies inside the stream data of an object. Such a header is no
// object, so the stream data it seems to have hides nothing: otherwise bytes inside one stream
// (an embedded file, say) could hide real objects that follow it.
std::vector<char> inside_stream_data(const object_table& v)
{
    std::vector<std::int32_t> order(v.entries.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<std::int32_t>(i);
    const auto header = [&](std::int32_t i) { return v.entries[static_cast<std::size_t>(i)].hdr_pos; };
    std::stable_sort(order.begin(), order.end(), [&](std::int32_t a, std::int32_t b) { return header(a) < header(b); });
    std::vector<char> inside(v.entries.size(), 0);
    // Data ranges of objects met so far that have not begun yet, the earliest start on top.
    using range = std::pair<std::int32_t, std::int32_t>;
    std::priority_queue<range, std::vector<range>, std::greater<>> pending;
    std::int32_t covered_until = 0;  // the largest end of the ranges that have begun
    for (std::int32_t i : order) {
        const obj_entry& e = v.entries[static_cast<std::size_t>(i)];
        if (e.in_object_stream) continue;
        for (; !pending.empty() && pending.top().first <= e.hdr_pos; pending.pop())
            covered_until = std::max(covered_until, pending.top().second);
        if (covered_until > e.hdr_pos) {
            inside[static_cast<std::size_t>(i)] = 1;
            continue;
        }
        if (e.is_stream && e.data_start >= 0 && e.data_start < e.data_end) pending.emplace(e.data_start, e.data_end);
    }
    return inside;
}

// Last position of every number among direct entries and among object-stream entries.
struct last_positions {
    std::vector<std::int32_t> direct;
    std::vector<std::int32_t> packed;
};

last_positions record_last(const doc& d, const std::vector<char>& objstm, std::int32_t top)
{
    last_positions last{std::vector<std::int32_t>(static_cast<std::size_t>(top) + 1, -1),
                        std::vector<std::int32_t>(static_cast<std::size_t>(top) + 1, -1)};
    for (std::int32_t i = 0; i < d.objs.count(); ++i) {
        const obj_entry& e = d.objs.entries[static_cast<std::size_t>(i)];
        if (e.num > max_object_number) continue;
        std::size_t slot = static_cast<std::size_t>(e.num);
        if (e.in_object_stream)
            last.packed[slot] = i;
        else if (!objstm[static_cast<std::size_t>(i)])
            last.direct[slot] = i;
    }
    return last;
}

std::vector<char> object_stream_marks(const doc& d)
{
    std::vector<char> marks(d.objs.entries.size(), 0);
    for (std::size_t i = 0; i < marks.size(); ++i)
        marks[i] = is_object_stream(d, d.objs.entries[i]) ? 1 : 0;
    return marks;
}

std::int32_t largest_number(const object_table& v)
{
    std::int32_t top = 0;
    for (const obj_entry& e : v.entries)
        if (e.num <= max_object_number) top = std::max(top, e.num);
    return top;
}

// Every "/Catalog" of the file, so that objects whose texts overlap (nested headers of a damaged
// file) are not searched again and again. A key counts inside a range when it ends before the
// range does and the byte after it is no name continuation, or when it ends exactly at the range.
class catalog_keys {
public:
    explicit catalog_keys(std::string_view file)
    {
        const std::int32_t n = static_cast<std::int32_t>(file.size());
        const std::int32_t key_len = static_cast<std::int32_t>(scan::name::catalog.size()) + 1;
        for (std::int32_t p = 0; p <= n - key_len; ++p) {
            if (file[static_cast<std::size_t>(p)] != '/' ||
                file.substr(static_cast<std::size_t>(p) + 1, scan::name::catalog.size()) != scan::name::catalog)
                continue;
            bool ends_name = p + key_len == n ||
                             !scan::is_name_cont(static_cast<unsigned char>(
                                 file[static_cast<std::size_t>(p + key_len)]));
            (ends_name ? whole_ : cut_only_).push_back(p);
        }
    }

    bool in_range(std::int32_t start, std::int32_t stop) const
    {
        const std::int32_t key_len = static_cast<std::int32_t>(scan::name::catalog.size()) + 1;
        auto it = std::lower_bound(whole_.begin(), whole_.end(), start);
        if (it != whole_.end() && *it <= stop - key_len) return true;
        std::int32_t at_end = stop - key_len;
        return at_end >= start && std::binary_search(cut_only_.begin(), cut_only_.end(), at_end);
    }

private:
    std::vector<std::int32_t> whole_;     // followed by a byte that ends the name, or by the end
    std::vector<std::int32_t> cut_only_;  // a name goes on after it: counts only when cut there
};

bool names_catalog(const doc& d, const catalog_keys& keys, const obj_entry& e)
{
    if (e.in_object_stream) {
        if (e.text_len < 8) return false;
        std::string_view text(e.text, static_cast<std::size_t>(e.text_len));
        return scan::find_key_anywhere(text, 0, e.text_len, scan::name::catalog) >= 0;
    }
    if (e.dict_pos < 0) return false;
    return keys.in_range(e.dict_pos, e.endobj_pos > 0 ? e.endobj_pos : d.len);
}

// For every number whose intact cross-reference entry names one of the definitions found, the
// position of that definition; -1 elsewhere. Empty when the data is not intact.
std::vector<std::int32_t> named_by_xref(const doc& d, const std::vector<char>& objstm, const xref_table& x,
                                        std::int32_t top)
{
    if (!x.intact) return {};
    std::vector<std::int32_t> named(static_cast<std::size_t>(top) + 1, -1);
    for (std::int32_t i = 0; i < d.objs.count(); ++i) {
        const obj_entry& e = d.objs.entries[static_cast<std::size_t>(i)];
        if (e.num > top || objstm[static_cast<std::size_t>(i)]) continue;
        const xref_entry* xe = x.find(e.num);
        if (xe == nullptr) continue;
        bool match = false;
        if (xe->type == xref_entry::in_use) {
            match = !e.in_object_stream && e.hdr_pos == xe->a;
        } else if (xe->type == xref_entry::packed && e.in_object_stream) {
            // The object stream itself is named by its own in-use entry.
            const xref_entry* stream = x.find(xe->a);
            match = stream != nullptr && stream->type == xref_entry::in_use && e.container_pos == stream->a;
        }
        if (match) named[static_cast<std::size_t>(e.num)] = i;
    }
    return named;
}

}  // namespace

void prune_objects(doc& d)
{
    const std::vector<char> inside = inside_stream_data(d.objs);
    // Removal keeps the table order: selection lets the later of two definitions win.
    std::size_t kept = 0;
    for (std::size_t i = 0; i < d.objs.entries.size(); ++i) {
        const obj_entry& e = d.objs.entries[i];
        if ((e.is_stream && e.endobj_pos < 0) || inside[i]) continue;
        d.objs.entries[kept++] = e;
    }
    d.objs.entries.resize(kept);
}

void select_objects(doc& d, const xref_table& x)
{
    std::int32_t top = largest_number(d.objs);
    std::vector<char> objstm = object_stream_marks(d);
    // The range check refuses such a table anyway; index arrays are never sized beyond the file.
    if (top > std::min(d.len, max_object_number + 1)) {
        d.max_obj = top;
        d.max_header_num = std::max(d.max_header_num, top);
        return;
    }
    last_positions last = record_last(d, objstm, top);
    const std::vector<std::int32_t> named = named_by_xref(d, objstm, x, top);
    // Kept entries move down in place, in table order.
    std::size_t kept = 0;
    for (std::int32_t i = 0; i < d.objs.count(); ++i) {
        const obj_entry& e = d.objs.entries[static_cast<std::size_t>(i)];
        if (e.num > max_object_number) continue;
        std::size_t slot = static_cast<std::size_t>(e.num);
        bool keep = e.in_object_stream ? last.direct[slot] < 0 && last.packed[slot] == i
                                : !objstm[static_cast<std::size_t>(i)] && last.direct[slot] == i;
        if (!named.empty() && named[slot] >= 0) keep = named[slot] == i;
        if (keep) d.objs.entries[kept++] = e;
    }
    d.objs.entries.resize(kept);
    d.max_obj = largest_number(d.objs);
    d.max_header_num = std::max(d.max_header_num, d.max_obj);
    d.objs.reindex();
}

void find_catalog(doc& d)
{
    d.root = -1;
    if (d.trailer_root >= 0 && d.objs.find(d.trailer_root) != nullptr) {
        d.root = d.trailer_root;
    } else {
        catalog_keys keys(d.file());
        for (const obj_entry& e : d.objs.entries)
            if (names_catalog(d, keys, e)) {
                d.root = e.num;
                break;
            }
        if (d.root < 0) d.root = 1;
    }
    d.info = d.trailer_info >= 0 && d.objs.find(d.trailer_info) != nullptr ? d.trailer_info : -1;
}

}  // namespace kestrin::load
