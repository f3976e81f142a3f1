// The flatten plan: per page, which annotations are flattened, kept or dropped.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestrin::interface {
struct fl_ctx;
}

namespace kestrin::plan {

enum annot_kind : std::int32_t {
    kind_none = 0,
    kind_text = 1,
    kind_highlight = 2,
    kind_underline = 3,
    kind_squiggly = 4,
    kind_strikeout = 5,
    kind_freetext = 6,
    kind_link = 7,
    kind_stamp = 8,
    kind_ink = 9,
    kind_line = 10,
    kind_square = 11,
    kind_circle = 12,
    kind_polygon = 13,
    kind_polyline = 14,
    kind_caret = 15,
    kind_fileattachment = 16,
    kind_3d = 17,
    kind_signature = 18,
};

struct page_plan {
    std::int32_t page_obj = 0;
    std::int32_t item_count = 0;
    std::int32_t first_item = 0;
    std::int32_t annots_changed = 0;
    std::vector<std::int32_t> kept;  // every annotation that stays, in "Annots" order
    std::int32_t needs_content = 0;
    std::int32_t content_obj = 0;
    std::string page_text;  // replacement page dictionary; empty when none was built
    bool has_page_text = false;
};

struct plan_item {
    std::int32_t obj = 0;
    std::int32_t is_field = 0;
    std::int32_t is_annot = 0;
    std::int32_t kind = 0;
    double x = 0, y = 0, w = 0, h = 0;
    std::int32_t rect_ok = 0;
    std::int32_t ap_obj = -1;
    std::int32_t has_value = 0;
    std::int32_t hidden = 0;  // "F" has the Hidden bit: removed, but nothing is drawn
};

// Builds the plan into ctx (plans, items, drop). 0 on success, -1 when a page cannot be read.
int fl_plan(interface::fl_ctx& ctx);

// 1 when an occurrence of the key "Subtype" at or after start has the value /name.
int text_has_subtype(std::string_view text, std::int32_t start, std::string_view name);

}  // namespace kestrin::plan
