#include "base/digest.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace kestrin::base {

namespace {

constexpr std::uint64_t prime1 = 0x9E3779B185EBCA87ull;
constexpr std::uint64_t prime2 = 0xC2B2AE3D27D4EB4Full;
constexpr std::uint64_t prime3 = 0x165667B19E3779F9ull;
constexpr std::uint64_t prime4 = 0x85EBCA77C2B2AE63ull;
constexpr std::uint64_t prime5 = 0x27D4EB2F165667C5ull;
constexpr std::size_t stripe_size = 32;

std::uint64_t read64(const unsigned char* at)
{
    if constexpr (std::endian::native == std::endian::little) {
        std::uint64_t v = 0;
        std::memcpy(&v, at, sizeof v);
        return v;
    }
    std::uint64_t v = 0;
    for (int k = 7; k >= 0; --k) v = v << 8 | at[k];
    return v;
}

std::uint32_t read32(const unsigned char* at)
{
    return static_cast<std::uint32_t>(at[0]) | static_cast<std::uint32_t>(at[1]) << 8 |
           static_cast<std::uint32_t>(at[2]) << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}

std::uint64_t round(std::uint64_t acc, std::uint64_t input)
{
    acc += input * prime2;
    return std::rotl(acc, 31) * prime1;
}

std::uint64_t merge_round(std::uint64_t acc, std::uint64_t lane)
{
    acc ^= round(0, lane);
    return acc * prime1 + prime4;
}

std::uint64_t avalanche(std::uint64_t h)
{
    h ^= h >> 33;
    h *= prime2;
    h ^= h >> 29;
    h *= prime3;
    return h ^ (h >> 32);
}

}  // namespace

xxh64::xxh64(std::uint64_t seed)
    : lanes_{seed + prime1 + prime2, seed + prime2, seed, seed - prime1}, seed_(seed)
{
}

// The lanes stay in registers for the whole run of stripes.
void xxh64::consume(const unsigned char* stripes, std::size_t count)
{
    std::uint64_t a = lanes_[0], b = lanes_[1], c = lanes_[2], d = lanes_[3];
    for (const unsigned char* end = stripes + count * stripe_size; stripes < end; stripes += stripe_size) {
        a = round(a, read64(stripes));
        b = round(b, read64(stripes + 8));
        c = round(c, read64(stripes + 16));
        d = round(d, read64(stripes + 24));
    }
    lanes_ = {a, b, c, d};
}

void xxh64::update(std::string_view bytes)
{
    // An empty view may carry a null pointer, which memcpy must never see.
    if (bytes.empty()) return;
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t left = bytes.size();
    const auto held = static_cast<std::size_t>(length_ % stripe_size);
    length_ += left;
    if (held > 0) {
        const std::size_t take = std::min(left, stripe_size - held);
        std::memcpy(pending_.data() + held, in, take);
        in += take;
        left -= take;
        if (held + take < stripe_size) return;
        consume(pending_.data(), 1);
    }
    const std::size_t whole = left / stripe_size;
    consume(in, whole);
    in += whole * stripe_size;
    left -= whole * stripe_size;
    if (left > 0) std::memcpy(pending_.data(), in, left);
}

std::uint64_t xxh64::finish() const
{
    std::uint64_t h = 0;
    if (length_ >= stripe_size) {
        h = std::rotl(lanes_[0], 1) + std::rotl(lanes_[1], 7) + std::rotl(lanes_[2], 12) + std::rotl(lanes_[3], 18);
        for (std::uint64_t lane : lanes_) h = merge_round(h, lane);
    } else {
        h = seed_ + prime5;
    }
    h += length_;
    const unsigned char* p = pending_.data();
    const unsigned char* const end = p + length_ % stripe_size;
    for (; end - p >= 8; p += 8) h = std::rotl(h ^ round(0, read64(p)), 27) * prime1 + prime4;
    if (end - p >= 4) {
        h = std::rotl(h ^ (read32(p) * prime1), 23) * prime2 + prime3;
        p += 4;
    }
    for (; p < end; ++p) h = std::rotl(h ^ (*p * prime5), 11) * prime1;
    return avalanche(h);
}

std::array<std::uint8_t, 16> file_digest::finish() const
{
    std::array<std::uint8_t, 16> out{};
    const std::uint64_t first = bytes_.finish();
    for (std::size_t k = 0; k < 8; ++k) out[k] = static_cast<std::uint8_t>(first >> (8 * k));
    xxh64 spread(1);
    spread.update(std::string_view(reinterpret_cast<const char*>(out.data()), 8));
    const std::uint64_t second = spread.finish();
    for (std::size_t k = 8; k < out.size(); ++k) out[k] = static_cast<std::uint8_t>(second >> (8 * (k - 8)));
    return out;
}

}  // namespace kestrin::base
