// Objects packed in object streams: each stream is decoded once into the doc's arena and its
// objects become table entries pointing into the decoded block.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <string_view>
#include <utility>
#include <vector>

#include "decode/inflate.h"
#include "load/stages.h"
#include "scan/token.h"

namespace kestrin::load {

namespace {

// Raw stream data above this size is not unpacked.
constexpr std::int64_t max_raw_objstm = 268435456;
// Decoding attempts stop growing past this capacity.
constexpr std::uint64_t max_objstm_capacity = 268435455;
// Headers claiming more objects than this are not believed.
constexpr std::int32_t max_objstm_count = 100000;
// An object of an object stream longer than this is passed over.
constexpr std::int64_t max_packed_object = 1048576;

constexpr std::string_view key_objstm = "ObjStm";

struct decoded_block {
    const char* data = nullptr;
    std::int32_t len = 0;
};

std::int32_t dict_stop(const doc& d, const obj_entry& e)
{
    return e.stream_pos > 0 ? e.stream_pos : d.len;
}

std::uint64_t budget_left(const doc& d)
{
    std::uint64_t budget = decode::decode_budget(d.len);
    return d.arena.total < budget ? budget - d.arena.total : 0;
}

decoded_block keep_block(doc& d, decode::inflated& out)
{
    decoded_block b{out.data.get(), static_cast<std::int32_t>(out.len)};
    try {
        d.arena.blocks.push_back(std::move(out.data));
    } catch (const std::bad_alloc&) {
        return {};
    }
    d.arena.total += out.len;
    return b;
}

decoded_block inflate_into_arena(doc& d, std::string_view raw)
{
    std::uint64_t max_out = std::min(budget_left(d), max_objstm_capacity);
    std::uint64_t first_cap = std::min<std::uint64_t>(8 * raw.size() + 64, max_out);
    if (first_cap == 0) return {};
    decode::inflated out;
    if (decode::inflate_growing(raw, first_cap, max_out, out) != 0 || !out.data) return {};
    if (out.len > max_out) return {};
    return keep_block(d, out);
}

decoded_block copy_into_arena(doc& d, std::string_view raw)
{
    if (raw.empty() || raw.size() > budget_left(d)) return {};
    char* block = arena_alloc(d.arena, raw.size());
    if (block == nullptr) return {};
    std::memcpy(block, raw.data(), raw.size());
    return {block, static_cast<std::int32_t>(raw.size())};
}

// Value of the first occurrence of /key whose value reads as at least min_value, or -1.
std::int32_t header_value(const doc& d, std::int32_t start, std::int32_t stop, std::string_view key,
                          std::int32_t min_value)
{
    std::string_view file = d.file();
    for (std::int32_t p = scan::find_name(file, start, stop, key); p >= 0;
         p = scan::find_name(file, p + 1, stop, key)) {
        std::int32_t pos = scan::skip_ws(file, p + 1 + static_cast<std::int32_t>(key.size()));
        std::int32_t v = scan::parse_int_at(file, pos);
        if (v >= min_value) return v;
    }
    return -1;
}

// The (object number, offset) pairs of the header; empty when any value is unreadable.
std::vector<std::pair<std::int32_t, std::int32_t>> read_pairs(decoded_block b, std::int32_t n)
{
    std::string_view text(b.data, static_cast<std::size_t>(b.len));
    std::vector<std::pair<std::int32_t, std::int32_t>> pairs;
    pairs.reserve(static_cast<std::size_t>(n));
    std::int32_t pos = 0;
    for (std::int32_t i = 0; i < n; ++i) {
        std::int32_t num = scan::read_int_adv(text, pos);
        std::int32_t offset = scan::read_int_adv(text, pos);
        if (num < 0 || offset < 0) return {};
        pairs.emplace_back(num, offset);
    }
    return pairs;
}

// Entries for the pairs. An object whose length runs past the decoded data is cut at its end.
void add_packed_objects(doc& d, decoded_block b, std::int32_t first,
                        const std::vector<std::pair<std::int32_t, std::int32_t>>& pairs)
{
    std::int64_t room = static_cast<std::int64_t>(b.len) - first;
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        auto [num, offset] = pairs[i];
        std::int64_t end = i + 1 < pairs.size() ? pairs[i + 1].second : room;
        std::int64_t length = end - offset;
        if (num <= 0 || length < 1 || length > max_packed_object) continue;
        length = std::min(length, room - offset);
        if (length < 1) continue;
        obj_entry e;
        e.num = num;
        e.in_objstm = 1;
        e.text = b.data + first + offset;
        e.text_len = static_cast<std::int32_t>(length);
        objvec_push(d.objs, e);
    }
}

decoded_block decode_object_stream(doc& d, const obj_entry& e)
{
    if (e.data_start < 0 || e.data_end < e.data_start) return {};
    std::int64_t raw_len = static_cast<std::int64_t>(e.data_end) - e.data_start;
    if (raw_len > max_raw_objstm) return {};
    std::string_view raw = d.file().substr(static_cast<std::size_t>(e.data_start),
                                           static_cast<std::size_t>(raw_len));
    if (scan::find_name(d.file(), e.dict_pos, dict_stop(d, e), "FlateDecode") >= 0)
        return inflate_into_arena(d, raw);
    return copy_into_arena(d, raw);
}

void unpack_one(doc& d, const obj_entry& e)
{
    std::int32_t stop = dict_stop(d, e);
    std::int32_t n = header_value(d, e.dict_pos, stop, "N", 1);
    std::int32_t first = header_value(d, e.dict_pos, stop, "First", 0);
    // Checked before decoding, so a stream that is given up anyway spends none of the budget.
    if (first < 0 || n < 1 || n > max_objstm_count) return;
    decoded_block b = decode_object_stream(d, e);
    if (b.data == nullptr || first > b.len) return;
    auto pairs = read_pairs(b, n);
    if (!pairs.empty()) add_packed_objects(d, b, first, pairs);
}

}  // namespace

bool is_object_stream(const doc& d, const obj_entry& e)
{
    if (e.in_objstm || !e.is_stream || e.dict_pos < 0) return false;
    return scan::find_name(d.file(), e.dict_pos, dict_stop(d, e), key_objstm) >= 0;
}

void unpack_object_streams(doc& d)
{
    std::int32_t scanned = d.objs.count();
    for (std::int32_t i = 0; i < scanned; ++i) {
        // A copy: appending entries may move the table.
        obj_entry e = d.objs.entries[static_cast<std::size_t>(i)];
        if (is_object_stream(d, e)) unpack_one(d, e);
    }
}

}  // namespace kestrin::load
