// Writing objects into the output: headers, stream data, the cross-reference table and the
// trailer. Every object passes the object check once it is complete.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/byte_buffer.h"
#include "emit/writer.h"
#include "load/doc.h"

namespace kestrin::emit {

// Generation written for an input object: its own, within the range a cross-reference entry holds.
std::int32_t out_gen(const load::obj_entry& e);

// "N G R" for input object num (generation 0 when num is not in the table).
std::string ref_text(const load::doc& d, std::int32_t num);

// Finishes the object before (see check_open_object), records the offset of object num and
// appends its line "N G obj\n".
void begin_object(writer& w, std::int32_t num, std::int32_t gen);

// Appends "\nstream\n" after the dictionary of the open object: its data follows, then end_stream.
void begin_stream_data(writer& w);

// Appends data, then "\nendstream\nendobj\n", which ends the open stream object.
void end_stream(writer& w, std::string_view data);

// Ends the open dictionary of a stream the library makes with its " /Length n >>", then writes
// data and ends the object. The compact output deflates data when that makes it smaller, and
// says so with a Filter entry.
void end_new_stream(writer& w, std::string_view data);

// Appends text, then "\nendobj\n", which ends the open plain object.
void end_plain_object(writer& w, std::string_view text);

// A failed scratch buffer means lost content: the whole output is then failed.
void note_failure(writer& w, const base::byte_buffer& scratch);

// Bytes written so far, those handed to the sink included.
std::uint64_t output_position(const writer& w);

// Gives the bytes of b to w's sink (which leaves b empty), adding them to its digest.
void hand_on(writer& w, base::byte_buffer& b);

// Hands out's whole objects to the sink once out has grown past a few MiB.
void flush_output(writer& w);

// The cross-reference table, then the trailer that points at it. The trailer's "ID" keeps the
// input's permanent identifier (or, without one, starts with the new one) and identifies this
// output by a digest of its bytes before the table: the same input and choices give the same file.
void write_xref_and_trailer(writer& w);

}  // namespace kestrin::emit
