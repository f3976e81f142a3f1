// The stages of doc_load after the file is read, in the order doc_load runs them. Internal to
// src/load.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "load/doc.h"

namespace kestrin::load {

// Highest object number a finished table may hold (2^23 - 1).
inline constexpr std::int32_t max_object_number = 8388607;

// Sorted offsets of every whole-word "obj", "endobj" and "endstream" of the file, so that "the
// first one at or after p" costs a binary search instead of a scan to the end of the file.
struct keyword_marks {
    std::vector<std::int32_t> obj;
    std::vector<std::int32_t> endobj;
    std::vector<std::int32_t> endstream;
};

// First mark at or after pos, or -1.
std::int32_t first_mark_from(const std::vector<std::int32_t>& marks, std::int32_t pos);

// Root, Info, the permanent identifier and the encryption flag from the trailers and
// cross-reference streams.
void read_trailers(doc& d);

// The newest cross-reference entry of one object number.
struct xref_entry {
    enum : std::uint8_t { none = 0, in_use = 1, packed = 2, free = 3 };
    std::uint8_t type = none;
    std::int32_t a = 0;  // in_use: header offset; packed: object stream number
    std::int32_t b = 0;  // in_use and free: generation; packed: index in the stream
};

// The cross-reference data merged newest section first (classic tables, streams, /Prev, hybrid
// /XRefStm). ok when every section of the chain was read whole; intact once, moreover, every
// in-use entry holds the header it claims (check_xref_headers). Where it is not intact, the scan
// alone decides.
struct xref_table {
    base::large_vector<xref_entry> entries;  // by object number
    bool ok = false;
    bool intact = false;

    const xref_entry* find(std::int32_t num) const
    {
        if (num <= 0 || static_cast<std::size_t>(num) >= entries.size()) return nullptr;
        const xref_entry& e = entries[static_cast<std::size_t>(num)];
        return e.type == xref_entry::none ? nullptr : &e;
    }
};

// The cross-reference data reached from the last "startxref"; empty and not ok when damaged.
xref_table read_xref(const doc& d);

// True when "num gen obj" begins exactly at pos (digits at pos, whatever byte precedes them);
// obj_end, when given, receives the position just past "obj".
bool header_at(std::string_view file, std::int32_t pos, std::int32_t num, std::int32_t gen,
               std::int32_t* obj_end);

// Adds the headers the scan rejected that the cross-reference data vouches for (in-use entries
// holding a valid header for their number, whatever byte precedes it), and sets x.intact.
void check_xref_headers(doc& d, const keyword_marks& marks, xref_table& x);

// Object headers of the whole file into d.objs (streams still unmeasured), and the keyword marks.
void scan_objects(doc& d, keyword_marks& marks);

// Data end and "endobj" of every stream entry. The header positions of streams whose /Length is a
// reference to no plain object (it may lie in an object stream) go to unresolved, in file order.
void measure_streams(doc& d, const keyword_marks& marks, std::vector<std::int32_t>& unresolved);

// Measures again, once object streams are unpacked, the streams whose /Length could not be
// resolved before; true when any measure changed.
bool remeasure_streams(doc& d, const keyword_marks& marks, const std::vector<std::int32_t>& unresolved);

// Removes streams without "endobj" and headers found inside stream data, keeping table order.
// Entries of object streams are kept.
void prune_objects(doc& d);

// True when e is a stream whose dictionary names "/ObjStm".
bool is_object_stream(const doc& d, const obj_entry& e);

// Appends the objects of every decodable object stream.
void unpack_object_streams(doc& d);

// One entry per object number; sets max_obj and rebuilds the index. Where x is intact and its
// entry for a number names one of the definitions found, that one is kept.
void select_objects(doc& d, const xref_table& x);

// The catalog (root) and information dictionary (info) object numbers.
void find_catalog(doc& d);

}  // namespace kestrin::load
