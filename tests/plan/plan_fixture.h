// Loading test PDFs and planning them the way the flatten driver does.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "interface/fl_ctx.h"
#include "load/doc.h"
#include "pdf_builder.h"
#include "plan/form.h"
#include "plan/plan.h"

namespace kestrin::test {

// A document loaded from bytes, released at scope exit.
struct loaded_doc {
    load::doc d;
    int rc = -1;
    explicit loaded_doc(const std::string& pdf)
    {
        temp_dir dir;
        rc = load::doc_load(dir.write("in.pdf", pdf).c_str(), d);
    }
    ~loaded_doc() { load::doc_free(d); }
    loaded_doc(const loaded_doc&) = delete;
    loaded_doc& operator=(const loaded_doc&) = delete;
};

// A flatten context prepared as the driver prepares it, then planned.
struct planned {
    interface::fl_ctx ctx;
    int load_rc = -1;
    int plan_rc = -1;

    // With run_plan false only the load and the driver's preparation are done.
    planned(const std::string& pdf, std::int32_t mode, bool run_plan = true)
    {
        if (load(pdf, mode) && run_plan) plan();
    }
    ~planned() { interface::fl_free(ctx); }
    planned(const planned&) = delete;
    planned& operator=(const planned&) = delete;

    bool load(const std::string& pdf, std::int32_t mode)
    {
        temp_dir dir;
        load_rc = load::doc_load(dir.write("in.pdf", pdf).c_str(), ctx.doc);
        if (load_rc != 0) return false;
        ctx.mode = mode;
        ctx.has_form = plan::find_acroform(ctx.doc, ctx.doc.root, ctx.form);
        ctx.drop.assign(static_cast<std::size_t>(ctx.doc.max_obj) + 1, 0);
        ctx.plans.resize(ctx.doc.pages.items.empty() ? 1 : ctx.doc.pages.items.size());
        return true;
    }
    bool plan()
    {
        plan_rc = plan::fl_plan(ctx);
        return plan_rc == 0;
    }
    bool dropped(std::int32_t num) const
    {
        return num >= 0 && static_cast<std::size_t>(num) < ctx.drop.size() &&
               ctx.drop[static_cast<std::size_t>(num)] != 0;
    }
};

// "n 0 R n 0 R ..." for the numbers first .. first + count - 1.
inline std::string ref_run(int first, int count)
{
    std::string out;
    for (int i = 0; i < count; ++i) out += std::to_string(first + i) + " 0 R ";
    return out;
}

// "n 0 R" repeated count times.
inline std::string ref_repeat(int num, int count)
{
    std::string out;
    for (int i = 0; i < count; ++i) out += std::to_string(num) + " 0 R ";
    return out;
}

}  // namespace kestrin::test
