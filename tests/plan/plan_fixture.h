// Loading test PDFs and planning them the way the flatten driver does.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

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
        base::result<load::doc> loaded = load::load_document(dir.write("in.pdf", pdf).c_str());
        rc = loaded ? 0 : -1;
        if (loaded) d = std::move(loaded.value());
    }
    loaded_doc(const loaded_doc&) = delete;
    loaded_doc& operator=(const loaded_doc&) = delete;
};

// A document loaded from bytes and planned in one mode.
struct planned {
    load::doc doc;
    plan::flatten_plan plan;
    plan::flatten_mode mode;
    int load_rc = -1;
    int plan_rc = -1;
    std::string plan_error;

    // With run_plan false only the load is done.
    planned(const std::string& pdf, plan::flatten_mode m, bool run_plan = true) : mode(m)
    {
        if (load(pdf) && run_plan) make();
    }

    bool load(const std::string& pdf)
    {
        temp_dir dir;
        base::result<load::doc> loaded = load::load_document(dir.write("in.pdf", pdf).c_str());
        load_rc = loaded ? 0 : -1;
        if (loaded) doc = std::move(loaded.value());
        return loaded.ok();
    }
    bool make()
    {
        base::result<plan::flatten_plan> made = plan::make_plan(doc, mode);
        plan_rc = made ? 0 : -1;
        plan_error = made.message();
        if (made) plan = std::move(made.value());
        return made.ok();
    }
    bool dropped(std::int32_t num) const { return plan.is_dropped(num); }
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

// The object numbers of the annotations a page keeps; 0 for a dictionary written in "Annots".
inline std::vector<std::int32_t> kept_objects(const plan::page_plan& page)
{
    std::vector<std::int32_t> out;
    for (const plan::annotation_ref& r : page.kept) out.push_back(r.obj);
    return out;
}

}  // namespace kestrin::test
