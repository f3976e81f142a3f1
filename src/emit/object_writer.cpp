#include "emit/object_writer.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>

#include "base/append.h"
#include "base/number_format.h"
#include "decode/deflate.h"
#include "emit/object_check.h"

namespace kestrin::emit {

namespace {

constexpr std::string_view stream_opening = "\nstream\n";
constexpr std::string_view stream_ending = "\nendstream\nendobj\n";
constexpr std::string_view plain_ending = "\nendobj\n";
constexpr std::string_view flate_filter = " /Filter /FlateDecode";
constexpr std::int32_t max_xref_gen = 65535;
constexpr std::string_view free_line = "0000000000 65535 f \n";

// Generation of the in-use entry num: 0 for new objects.
std::int32_t entry_gen(const load::doc& d, std::int32_t num)
{
    const load::obj_entry* e = num <= d.max_obj ? d.objs.find(num) : nullptr;
    return e != nullptr ? out_gen(*e) : 0;
}

void write_xref(writer& w)
{
    const auto count = static_cast<long>(w.offsets.size());
    base::append(w.out, "xref\n0 ", count, "\n", free_line);
    if (count < 2) return;
    // All lines are made in place: there is one per object, and the table is the largest text.
    char* at = w.out.extend(static_cast<std::uint64_t>(count - 1) * base::xref_line_size);
    if (at == nullptr) return;
    for (long num = 1; num < count; ++num, at += base::xref_line_size) {
        const std::int32_t off = w.offsets[static_cast<std::size_t>(num)];
        if (off < 0)
            std::memcpy(at, free_line.data(), base::xref_line_size);
        else
            base::xref_line(std::span<char, base::xref_line_size>(at, base::xref_line_size), off,
                            entry_gen(w.doc, static_cast<std::int32_t>(num)));
    }
}

// The digest of every byte of the output so far.
std::array<std::uint8_t, 16> output_digest(const writer& w)
{
    base::file_digest all = w.handed_on;
    all.update(w.out.view());
    return all.finish();
}

void append_hex_string(base::byte_buffer& out, std::string_view bytes)
{
    constexpr std::string_view digits = "0123456789ABCDEF";
    out.append("<");
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        const char pair[2] = {digits[b >> 4], digits[b & 15]};
        out.append(std::string_view(pair, 2));
    }
    out.append(">");
}

// " /ID [<permanent> <this output's>]", in hexadecimal strings, which no keyword can hide in.
void append_id(base::byte_buffer& out, std::string_view permanent, const std::array<std::uint8_t, 16>& digest)
{
    const std::string_view own(reinterpret_cast<const char*>(digest.data()), digest.size());
    out.append(" /ID [");
    append_hex_string(out, permanent.empty() ? own : permanent);
    out.append(" ");
    append_hex_string(out, own);
    out.append("]");
}

void write_trailer(writer& w, std::int64_t xref_offset, const std::array<std::uint8_t, 16>& digest)
{
    const load::doc& d = w.doc;
    const std::int32_t root = d.root > 0 ? d.root : 1;
    base::append(w.out, "trailer\n<< /Size ", w.offsets.size(), " /Root ");
    w.out.append(ref_text(d, root));
    const bool info_written = d.info > 0 && static_cast<std::size_t>(d.info) < w.offsets.size() &&
                              w.offsets[static_cast<std::size_t>(d.info)] >= 0;
    if (info_written) {
        w.out.append(" /Info ");
        w.out.append(ref_text(d, d.info));
    }
    append_id(w.out, d.permanent_id, digest);
    base::append(w.out, " >>\nstartxref ", xref_offset);
    w.out.append("\n%%EOF\n");
}

}  // namespace

std::int32_t out_gen(const load::obj_entry& e) { return std::clamp(e.gen, 0, max_xref_gen); }

std::string ref_text(const load::doc& d, std::int32_t num)
{
    const load::obj_entry* e = d.objs.find(num);
    return base::to_text(num, ' ', e != nullptr ? out_gen(*e) : 0, " R");
}

void begin_object(writer& w, std::int32_t num, std::int32_t gen)
{
    char room[base::obj_header_room];
    check_open_object(w);
    flush_output(w);
    if (num > 0 && static_cast<std::size_t>(num) < w.offsets.size())
        w.offsets[static_cast<std::size_t>(num)] = static_cast<std::int32_t>(output_position(w));
    w.current = {true, w.out.len, 0, -1, num, gen};
    w.out.append(base::obj_header(room, num, gen));
    w.current.body = w.out.len;
}

void begin_stream_data(writer& w)
{
    w.current.stream_kw = static_cast<std::int64_t>(w.out.len) + 1;
    w.out.append(stream_opening);
}

void end_stream(writer& w, std::string_view data)
{
    w.out.append(data);
    w.out.append(stream_ending);
}

void end_new_stream(writer& w, std::string_view data)
{
    if (w.compact) {
        const std::string deflated = decode::deflate_fixed(data);
        if (deflated.size() + flate_filter.size() < data.size()) {
            base::append(w.out, flate_filter, " /Length ", deflated.size(), " >>");
            begin_stream_data(w);
            end_stream(w, deflated);
            return;
        }
    }
    base::append(w.out, " /Length ", data.size(), " >>");
    begin_stream_data(w);
    end_stream(w, data);
}

void end_plain_object(writer& w, std::string_view text)
{
    w.out.append(text);
    w.out.append(plain_ending);
}

void note_failure(writer& w, const base::byte_buffer& scratch)
{
    if (scratch.failed) w.out.failed = true;
}

std::uint64_t output_position(const writer& w) { return w.out.flushed + w.out.len; }

// Called between objects only, so that the bytes held back start with a whole object.
void flush_output(writer& w)
{
    if (w.sink == nullptr || w.out.failed || w.out.len < w.piece_size) return;
    w.out.flushed += w.out.len;
    hand_on(w, w.out);
}

void hand_on(writer& w, base::byte_buffer& b)
{
    w.handed_on.update(b.view());
    w.sink->take(b);
}

void write_xref_and_trailer(writer& w)
{
    const auto xref_offset = static_cast<std::int64_t>(output_position(w));
    const std::array<std::uint8_t, 16> digest = output_digest(w);
    write_xref(w);
    write_trailer(w, xref_offset, digest);
}

}  // namespace kestrin::emit
