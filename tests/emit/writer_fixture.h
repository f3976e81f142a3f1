// Shared fixture of the writer tests: a document loaded from a PDF the test builds.
#pragma once

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "load/doc.h"
#include "pdf_builder.h"

namespace kestrin::test {

struct loaded_document {
    temp_dir dir;
    load::doc doc;
    bool loaded = false;

    explicit loaded_document(const std::string& pdf)
    {
        base::result<load::doc> r = load::load_document(dir.write("in.pdf", pdf).c_str());
        loaded = r.ok();
        if (r) doc = std::move(r.value());
    }

    const load::obj_entry& obj(std::int32_t num) const
    {
        const load::obj_entry* e = doc.objs.find(num);
        if (e == nullptr) throw std::runtime_error("object missing: " + std::to_string(num));
        return *e;
    }
};

}  // namespace kestrin::test
