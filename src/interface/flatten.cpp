#include "interface/flatten.h"

#include <memory>

#include "emit/emit.h"
#include "interface/error.h"
#include "plan/form.h"
#include "plan/plan.h"

namespace kestrin::interface {

void fl_free(fl_ctx& ctx)
{
    ctx.drop = {};
    ctx.ov = {};
    ctx.xobjs = {};
    ctx.plans = {};
    ctx.items = {};
    load::doc_free(ctx.doc);
}

namespace {

void prepare_plan(fl_ctx& ctx)
{
    ctx.has_form = plan::find_acroform(ctx.doc, ctx.doc.root, ctx.form);
    ctx.drop.assign(static_cast<std::size_t>(ctx.doc.max_obj) + 1, 0);
    ctx.plans.resize(ctx.doc.pages.items.empty() ? 1 : ctx.doc.pages.items.size());
}

}  // namespace

std::int32_t flatten_run(const char* in_path, const char* out_path, flatten_mode mode)
{
    if (in_path == nullptr) {
        set_error("NULL input path");
        return -1;
    }
    if (out_path == nullptr) {
        set_error("NULL output path");
        return -1;
    }
    auto ctx = std::make_unique<fl_ctx>();
    ctx->mode = mode;
    struct release {
        fl_ctx& c;
        ~release() { fl_free(c); }
    } guard{*ctx};

    if (load::doc_load(in_path, ctx->doc) != 0) {
        set_error("input: %s", error_text());
        return -1;
    }
    // Without its catalog the output's trailer would name an object it does not hold: an
    // unusable file. Refuse it instead of reporting success.
    if (ctx->doc.objs.find(ctx->doc.root) == nullptr) {
        set_error("input: no document catalog (object %ld is missing)", static_cast<long>(ctx->doc.root));
        return -1;
    }
    prepare_plan(*ctx);
    if (plan::fl_plan(*ctx) != 0) {
        set_error("flatten plan failed: %s", error_text());
        return -1;
    }
    return emit::fl_emit(*ctx, out_path);
}

}  // namespace kestrin::interface
