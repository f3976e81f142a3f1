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

// Root, Info and the encryption flag from the trailers and cross-reference streams.
void read_trailers(doc& d);

// Object headers of the whole file into d.objs (streams still unmeasured), and the keyword marks.
void scan_objects(doc& d, keyword_marks& marks);

// Data end and "endobj" of every stream entry.
void measure_streams(doc& d, const keyword_marks& marks);

// Removes streams without "endobj" and headers found inside stream data, keeping table order.
void prune_objects(doc& d);

// True when e is a stream whose dictionary names "/ObjStm".
bool is_object_stream(const doc& d, const obj_entry& e);

// Appends the objects of every decodable object stream.
void unpack_object_streams(doc& d);

// One entry per object number; sets max_obj and rebuilds the index.
void select_objects(doc& d);

// The catalog (root) and information dictionary (info) object numbers.
void find_catalog(doc& d);

}  // namespace kestrin::load
