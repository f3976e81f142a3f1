// Objects packed in object streams: each stream is decoded once into the doc's arena and its
// objects become table entries pointing into the decoded block.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <new>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "decode/inflate.h"
#include "base/two_threads.h"
#include "load/stages.h"
#include "scan/keys.h"
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

// The most a stream may decode to now: what the budget leaves, within the capacity limit.
std::uint64_t decode_limit(const doc& d) { return std::min(budget_left(d), max_objstm_capacity); }

// A decoding done early, out of order; ok when the stream decoded within the limit it was given.
// Its bytes are in a block of the early pool, or in own for a stream too large for one.
struct early_block {
    decode::inflated own;
    const char* data = nullptr;
    std::uint64_t len = 0;
    bool ok = false;
    // In the pool: which half's pool and which of its blocks, and whether the table keeps it.
    std::uint8_t pool = 0;
    std::uint32_t pool_block = 0;
    bool kept = false;
};

// Blocks of this size hold the streams decoded early, one after another: a few large blocks that
// the system fills in huge pages, instead of one small block per stream.
constexpr std::size_t early_pool_block = std::size_t{8} << 20;

// Where one half of the early decodings puts its streams.
struct early_pool {
    std::vector<base::large_block_owner> blocks;
    std::size_t used = 0;  // bytes taken of the last block

    // Decodes raw at the end of the last block, within max_out bytes.
    decode::inflate_status decode_into_last(std::string_view raw, std::uint64_t max_out, early_block& b)
    {
        if (blocks.empty() || early_pool_block - used < 2) return decode::inflate_status::output_full;
        const std::uint64_t cap = std::min<std::uint64_t>(early_pool_block - used - 1, max_out);
        char* at = blocks.back().get() + used;
        std::uint64_t len = 0;
        const decode::inflate_status st = decode::inflate_run(reinterpret_cast<const std::uint8_t*>(raw.data()),
                                                              raw.size(), reinterpret_cast<std::uint8_t*>(at), cap, &len);
        if (st != decode::inflate_status::ok) return st;
        at[len] = 0;
        b.data = at;
        b.len = len;
        b.pool_block = static_cast<std::uint32_t>(blocks.size() - 1);
        used += static_cast<std::size_t>(len) + 1;
        return st;
    }

    // Decodes raw into the pool, starting a block when the last one has no room; output_full
    // when it fits no block.
    decode::inflate_status decode(std::string_view raw, std::uint64_t max_out, early_block& b)
    {
        const decode::inflate_status st = decode_into_last(raw, max_out, b);
        if (st != decode::inflate_status::output_full || (!blocks.empty() && used == 0)) return st;
        base::large_block_owner block = base::allocate_large_block(early_pool_block);
        if (!block) return decode::inflate_status::refused;
        blocks.push_back(std::move(block));
        used = 0;
        return decode_into_last(raw, max_out, b);
    }
};

bool inflate_within(std::string_view raw, std::uint64_t max_out, decode::inflated& out)
{
    const std::uint64_t first_cap = std::min<std::uint64_t>(8 * raw.size() + 64, max_out);
    if (first_cap == 0) return false;
    return decode::inflate_growing(raw, first_cap, max_out, out) == 0 && out.data && out.len <= max_out;
}

// Decodes raw early into the pool, or into a block of its own when no pool block holds it.
bool decode_early_one(std::string_view raw, std::uint64_t max_out, early_pool& pool, early_block& b)
{
    const decode::inflate_status st = pool.decode(raw, max_out, b);
    if (st == decode::inflate_status::ok) return true;
    if (st != decode::inflate_status::output_full || !inflate_within(raw, max_out, b.own)) {
        b.own = decode::inflated{};
        return false;
    }
    b.data = b.own.data.get();
    b.len = b.own.len;
    return true;
}

// A block decoded early into the pool: its bytes stay where they are, counted against the budget.
decoded_block keep_pooled(doc& d, early_block& early)
{
    early.kept = true;
    d.arena.total += early.len;
    return {early.data, static_cast<std::int32_t>(early.len)};
}

// A stream decoded early gives the result that decoding it now would: its bytes when they fit the
// limit, else nothing. One that was not, or failed within its smaller early limit, is decoded now.
decoded_block inflate_into_arena(doc& d, std::string_view raw, early_block& early)
{
    const std::uint64_t max_out = decode_limit(d);
    if (early.ok) {
        if (max_out == 0 || early.len > max_out) return {};
        return early.own.data ? keep_block(d, early.own) : keep_pooled(d, early);
    }
    decode::inflated out;
    if (!inflate_within(raw, max_out, out)) return {};
    return keep_block(d, out);
}

decoded_block copy_into_arena(doc& d, std::string_view raw)
{
    if (raw.empty() || raw.size() > budget_left(d)) return {};
    char* block = d.arena.allocate(raw.size());
    if (block == nullptr) return {};
    std::memcpy(block, raw.data(), raw.size());
    return {block, static_cast<std::int32_t>(raw.size())};
}

// Value of the first occurrence of /key whose value reads as at least min_value, or -1.
std::int32_t header_value(const doc& d, std::int32_t start, std::int32_t stop, std::string_view key,
                          std::int32_t min_value)
{
    std::string_view file = d.file();
    for (std::int32_t p = scan::find_key_anywhere(file, start, stop, key); p >= 0;
         p = scan::find_key_anywhere(file, p + 1, stop, key)) {
        std::int32_t pos = scan::value_start(file, p, key);
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
                        const std::vector<std::pair<std::int32_t, std::int32_t>>& pairs,
                        std::int32_t container_pos)
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
        e.in_object_stream = true;
        e.text = b.data + first + offset;
        e.text_len = static_cast<std::int32_t>(length);
        e.container_pos = container_pos;
        d.objs.push(e);
    }
}

// The stored data of an object stream, or nothing when it is out of bounds or too large.
std::optional<std::string_view> raw_data(const doc& d, const obj_entry& e)
{
    if (e.data_start < 0 || e.data_end < e.data_start) return std::nullopt;
    std::int64_t raw_len = static_cast<std::int64_t>(e.data_end) - e.data_start;
    if (raw_len > max_raw_objstm) return std::nullopt;
    return d.file().substr(static_cast<std::size_t>(e.data_start), static_cast<std::size_t>(raw_len));
}

bool is_flate(const doc& d, const obj_entry& e)
{
    return scan::find_key_anywhere(d.file(), e.dict_pos, dict_stop(d, e), "FlateDecode") >= 0;
}

decoded_block decode_object_stream(doc& d, const obj_entry& e, early_block& early)
{
    const std::optional<std::string_view> raw = raw_data(d, e);
    if (!raw) return {};
    if (is_flate(d, e)) return inflate_into_arena(d, *raw, early);
    return copy_into_arena(d, *raw);
}

// The object count and offset of the first object from the stream's dictionary; false when the
// stream is given up.
bool read_header(const doc& d, const obj_entry& e, std::int32_t& n, std::int32_t& first)
{
    std::int32_t stop = dict_stop(d, e);
    n = header_value(d, e.dict_pos, stop, "N", 1);
    first = header_value(d, e.dict_pos, stop, "First", 0);
    return first >= 0 && n >= 1 && n <= max_objstm_count;
}

// An object stream whose header reads: a copy of its entry (appending entries may move the
// table), its object count and the offset of its first object. Streams whose header does not read
// are given up before decoding, so they spend none of the budget.
struct packed_stream {
    obj_entry entry;
    std::int32_t n = 0;
    std::int32_t first = 0;
};

void unpack_one(doc& d, const packed_stream& s, early_block& early)
{
    decoded_block b = decode_object_stream(d, s.entry, early);
    if (b.data == nullptr || s.first > b.len) return;
    auto pairs = read_pairs(b, s.n);
    if (!pairs.empty()) add_packed_objects(d, b, s.first, pairs, s.entry.hdr_pos);
}

// Below this many object streams a second thread costs more than it saves.
constexpr std::size_t min_streams_for_two_threads = 16;

// Decodes the Flate object streams early, half of them on a second thread. Each half holds at most
// half the budget, so the early blocks never exceed what decoding in order may hold; a stream
// that does not fit its half is decoded again in order.
std::vector<early_block> decode_early(const doc& d, const std::vector<packed_stream>& streams,
                                      std::array<early_pool, 2>& pools)
{
    std::vector<early_block> early(streams.size());
    if (streams.size() < min_streams_for_two_threads) return early;
    const std::uint64_t half_budget = decode::decode_budget(d.len) / 2;
    const auto decode_range = [&](std::size_t from, std::size_t to) {
        const std::uint8_t half = from == 0 ? 0 : 1;
        early_pool& pool = pools[half];
        std::uint64_t held = 0;
        for (std::size_t k = from; k < to; ++k) {
            const obj_entry& e = streams[k].entry;
            const std::optional<std::string_view> raw = raw_data(d, e);
            if (!raw || !is_flate(d, e)) continue;
            const std::uint64_t max_out = std::min(half_budget - held, max_objstm_capacity);
            early_block& b = early[k];
            b.pool = half;
            b.ok = decode_early_one(*raw, max_out, pool, b);
            if (b.ok) held += b.len;
        }
    };
    base::run_in_halves(streams.size(), decode_range);
    return early;
}

// Room in the arena for a block of each stream decoded in order and for every block of the
// pools, so that adopting them after the unpacking cannot fail. Without it, the streams decoded
// into the pools are decoded again in order.
void make_room_for_pools(doc& d, const std::array<early_pool, 2>& pools, std::vector<early_block>& early)
{
    try {
        d.arena.blocks.reserve(d.arena.blocks.size() + early.size() + pools[0].blocks.size() +
                               pools[1].blocks.size());
    } catch (const std::bad_alloc&) {
        for (early_block& b : early)
            if (!b.own.data) b.ok = false;
    }
}

// The pool blocks that hold a stream the table keeps become the arena's; the others, whose
// streams the budget turned away in order, are freed.
void adopt_pool_blocks(doc& d, std::array<early_pool, 2>& pools, const std::vector<early_block>& early)
{
    std::array<std::vector<bool>, 2> used{std::vector<bool>(pools[0].blocks.size()),
                                          std::vector<bool>(pools[1].blocks.size())};
    for (const early_block& b : early)
        if (b.kept) used[b.pool][b.pool_block] = true;
    for (std::size_t half = 0; half < pools.size(); ++half)
        for (std::size_t k = 0; k < pools[half].blocks.size(); ++k)
            if (used[half][k]) d.arena.blocks.push_back(std::move(pools[half].blocks[k]));
}

// One reservation for the objects the streams' headers announce, instead of growing the table
// step by step from the loose objects to all of them. Headers are not trusted beyond one entry
// per byte of the file.
void reserve_packed_entries(doc& d, const std::vector<packed_stream>& streams)
{
    std::uint64_t announced = 0;
    for (const packed_stream& s : streams) announced += static_cast<std::uint64_t>(s.n);
    announced = std::min<std::uint64_t>(announced, static_cast<std::uint64_t>(d.len));
    try {
        d.objs.entries.reserve(d.objs.entries.size() + static_cast<std::size_t>(announced));
    } catch (const std::bad_alloc&) {
    }
}

}  // namespace

bool is_object_stream(const doc& d, const obj_entry& e)
{
    if (e.in_object_stream || !e.is_stream || e.dict_pos < 0) return false;
    return scan::find_key_anywhere(d.file(), e.dict_pos, dict_stop(d, e), scan::name::object_stream) >= 0;
}

void unpack_object_streams(doc& d)
{
    std::vector<packed_stream> streams;
    for (const obj_entry& e : d.objs.entries) {
        if (!is_object_stream(d, e)) continue;
        packed_stream s{e};
        if (read_header(d, e, s.n, s.first)) streams.push_back(s);
    }
    reserve_packed_entries(d, streams);
    std::array<early_pool, 2> pools;
    std::vector<early_block> early = decode_early(d, streams, pools);
    make_room_for_pools(d, pools, early);
    for (std::size_t k = 0; k < streams.size(); ++k) unpack_one(d, streams[k], early[k]);
    adopt_pool_blocks(d, pools, early);
}

}  // namespace kestrin::load
