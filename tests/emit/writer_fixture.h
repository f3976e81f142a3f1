// Shared fixtures of the writer tests: a flatten context loaded from a PDF the test builds.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "interface/fl_ctx.h"
#include "pdf_builder.h"

namespace kestrin::test {

// A flatten context whose doc is loaded from the given file bytes.
struct loaded_ctx {
    temp_dir dir;
    std::unique_ptr<interface::fl_ctx> ctx = std::make_unique<interface::fl_ctx>();

    explicit loaded_ctx(const std::string& pdf)
    {
        const std::string path = dir.write("in.pdf", pdf);
        loaded = load::doc_load(path.c_str(), ctx->doc) == 0;
    }
    ~loaded_ctx() { interface::fl_free(*ctx); }

    const load::obj_entry& obj(std::int32_t num) const
    {
        const load::obj_entry* e = ctx->doc.objs.find(num);
        if (e == nullptr) throw std::runtime_error("object missing: " + std::to_string(num));
        return *e;
    }

    bool loaded = false;
};

}  // namespace kestrin::test
