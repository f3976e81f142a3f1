// Decoding of streams whose decoded size is unknown: the room grows fourfold until it suffices.
#include <new>

#include "decode/inflate.h"

namespace kestrin::decode {

namespace {

constexpr std::uint64_t max_capacity = std::uint64_t{1} << 30;
constexpr std::uint64_t growth = 4;

std::uint64_t min_of(std::uint64_t a, std::uint64_t b)
{
    return a < b ? a : b;
}

// The room for the attempt after one of cap bytes; max_out is the last one tried.
std::uint64_t next_capacity(std::uint64_t cap, std::uint64_t max_out)
{
    if (cap == 0) return min_of(1, max_out);
    return cap > max_out / growth ? max_out : cap * growth;
}

const std::uint8_t* bytes_of(std::string_view src)
{
    return reinterpret_cast<const std::uint8_t*>(src.data());
}

}  // namespace

int inflate_growing(std::string_view src, std::uint64_t first_cap, std::uint64_t max_out,
                    inflated& out)
{
    out = inflated{};
    max_out = min_of(max_out, max_capacity);
    std::uint64_t cap = min_of(first_cap, max_out);
    for (;;) {
        // One byte more than the decoder may fill, for the NUL.
        base::large_block_owner block = base::allocate_large_block(static_cast<std::size_t>(cap) + 1);
        if (!block) return -1;
        std::uint64_t len = 0;
        const inflate_status st = inflate_run(
            bytes_of(src), src.size(), reinterpret_cast<std::uint8_t*>(block.get()), cap, &len);
        if (st == inflate_status::ok) {
            block[static_cast<std::size_t>(len)] = 0;
            out.data = std::move(block);
            out.len = len;
            return 0;
        }
        if (st != inflate_status::output_full || cap >= max_out) return -1;
        block.reset();  // before the larger attempt, so two never coexist
        cap = next_capacity(cap, max_out);
    }
}

int inflate_growing(std::string_view src, std::uint64_t first_cap, std::uint64_t max_out,
                    base::byte_buffer& b, std::uint64_t* out_len)
{
    *out_len = 0;
    // Keep every request within one reservation and within the buffer's maximum, so that the
    // buffer is never released for a stream that is merely too large.
    const std::uint64_t used = b.data ? b.len : 0;
    const std::uint64_t room_limit =
        min_of(base::buffer_max_reservation, base::buffer_max_size - 1 - used);
    max_out = min_of(min_of(max_out, max_capacity), room_limit);
    std::uint64_t cap = min_of(first_cap, max_out);
    for (;;) {
        b.reserve(cap);
        if (!b.data) return -1;
        auto* dst = reinterpret_cast<std::uint8_t*>(b.data.get() + b.len);
        const inflate_status st = inflate_run(bytes_of(src), src.size(), dst, cap, out_len);
        if (st == inflate_status::ok) return 0;
        if (st != inflate_status::output_full || cap >= max_out) return -1;
        cap = next_capacity(cap, max_out);
    }
}

}  // namespace kestrin::decode
