#include "interface/options.h"

#include <cstddef>
#include <cstring>
#include <string>

namespace kestrin::interface {

namespace {

using base::status;

// The field at offset, when the caller's record of size bytes holds all of it; else its default 0.
std::uint32_t field(const kestrin_options* o, std::uint32_t size, std::size_t offset)
{
    if (offset + sizeof(std::uint32_t) > size) return 0;
    std::uint32_t v = 0;
    std::memcpy(&v, reinterpret_cast<const unsigned char*>(o) + offset, sizeof v);
    return v;
}

status out_of_range(const char* name, std::uint32_t value, const char* allowed)
{
    return status::failure(std::string("options: ") + name + " is " + std::to_string(value) +
                           ", not " + allowed);
}

}  // namespace

base::result<flatten_choices> read_options(const kestrin_options* options)
{
    flatten_choices all;
    plan::plan_choices& choices = all.plan;
    if (options == nullptr) return all;
    const std::uint32_t size = options->size;
    if (size < sizeof(std::uint32_t))
        return status::failure("options: size is " + std::to_string(size) +
                               ", not a kestrin_options record (set it to sizeof(kestrin_options))");
    if (size > max_options_size)
        return status::failure("options: size is " + std::to_string(size) + ", more than " +
                               std::to_string(max_options_size));
    if (size > sizeof(kestrin_options)) {
        const auto* tail = reinterpret_cast<const unsigned char*>(options) + sizeof(kestrin_options);
        for (std::uint32_t i = 0; i < size - sizeof(kestrin_options); ++i)
            if (tail[i] != 0)
                return status::failure(
                    "options: the record is " + std::to_string(size) + " bytes and byte " +
                    std::to_string(sizeof(kestrin_options) + i) +
                    " is set, but this library (" + std::string(kestrin_version()) + ") knows only " +
                    std::to_string(sizeof(kestrin_options)) + " bytes of options");
    }

    const std::uint32_t what = field(options, size, offsetof(kestrin_options, flatten));
    switch (what) {
    case KESTRIN_FLATTEN_ALL: choices.mode = plan::flatten_mode::all; break;
    case KESTRIN_FLATTEN_FORMS: choices.mode = plan::flatten_mode::forms; break;
    case KESTRIN_FLATTEN_ANNOTATIONS: choices.mode = plan::flatten_mode::annotations; break;
    default: return out_of_range("flatten", what, "0 (all), 1 (forms) or 2 (annotations)");
    }
    const struct {
        const char* name;
        std::size_t offset;
        bool* to;
    } flags[] = {
        {"keep_links", offsetof(kestrin_options, keep_links), &choices.keep_links},
        {"print_only", offsetof(kestrin_options, print_only), &choices.print_only},
        {"non_printing", offsetof(kestrin_options, non_printing), &choices.keep_non_printing},
    };
    for (const auto& f : flags) {
        const std::uint32_t v = field(options, size, f.offset);
        if (v > 1) return out_of_range(f.name, v, "0 or 1");
        *f.to = v == 1;
    }
    const std::uint32_t no_gen = field(options, size, offsetof(kestrin_options, no_generate_appearances));
    if (no_gen > 1) return out_of_range("no_generate_appearances", no_gen, "0 or 1");
    choices.generate_appearances = no_gen == 0;
    const std::uint32_t compact = field(options, size, offsetof(kestrin_options, compact));
    if (compact > 1) return out_of_range("compact", compact, "0 or 1");
    all.write.compact = compact == 1;
    return all;
}

}  // namespace kestrin::interface
