// The flatten context: all state of one flatten run.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "emit/records.h"
#include "load/doc.h"
#include "plan/form.h"
#include "plan/plan.h"

namespace kestrin::interface {

enum flatten_mode : std::int32_t { mode_forms = 1, mode_annotations = 2, mode_all = 3 };

struct fl_ctx {
    load::doc doc;
    std::int32_t mode = 0;
    plan::form_location form;  // form_obj preset to -1
    std::int32_t has_form = 0;
    std::vector<plan::page_plan> plans;
    std::vector<plan::plan_item> items;
    std::vector<std::uint8_t> drop;  // one byte per object number 0..max_obj; 1 = left out
    emit::ov_list ov;
    std::vector<emit::xobj_entry> xobjs;
    std::int32_t font_obj = 0;
    std::int32_t gs_obj = 0;
    std::int32_t next_obj = 0;
};

// Releases everything the context owns, the doc included.
void fl_free(fl_ctx& ctx);

}  // namespace kestrin::interface
