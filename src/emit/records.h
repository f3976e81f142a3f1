// Records of the output writer that live in the flatten context.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace kestrin::emit {

// One form XObject made from an appearance stream; identified by (page, annot_obj).
struct xobj_entry {
    std::int32_t obj = 0;
    std::int32_t kind = 2;
    std::int32_t page = 0;
    std::int32_t ap_obj = 0;
    std::int32_t annot_obj = 0;
};

// Object number -> replacement dictionary text, written in place of the input object.
// Merges aimed at one object accumulate on its one override.
struct ov_list {
    std::vector<std::int32_t> keys;
    std::vector<std::string> texts;
    std::unordered_map<std::int32_t, std::int32_t> index;  // number -> position in keys/texts

    std::string* find(std::int32_t num);
    const std::string* find(std::int32_t num) const;
};

}  // namespace kestrin::emit
