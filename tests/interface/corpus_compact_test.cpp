// The compact output of every render-comparable corpus file renders pixel for pixel as the default
// output does (72 dpi, poppler), passes qpdf --check wherever the default output does, and loads
// again with the same counts. Only the pages with annotations are rendered: flattening changes no
// other page.
#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "annotation_regions.h"
#include "json_reader.h"
#include "kestrin.h"
#include "manifest.h"
#include "pdf_builder.h"

namespace {

using kestrin::test::manifest_row;
using kestrin::test::read_file;
using kestrin::test::run_command;
using kestrin::test::temp_dir;

// The pages, from 1, that qpdf lists annotations on.
std::vector<int> annotated_pages(const std::string& pdf)
{
    std::string json;
    // In parentheses: the runner joins stderr to stdout after the whole command, warnings included.
    const int status = run_command("(qpdf --json=2 --json-key=pages --json-key=qpdf '" + pdf + "' 2>/dev/null)", &json);
    std::vector<int> pages;
    if (status != 0 && status != 3) return pages;  // 3: warnings only
    const std::optional<kestrin::test::json_value> parsed = kestrin::test::parse_json(json);
    if (!parsed) return pages;
    if (auto annots = kestrin::test::annotations_from_qpdf_json(*parsed)) {
        for (const auto& a : *annots) pages.push_back(a.page);
    }
    std::sort(pages.begin(), pages.end());
    pages.erase(std::unique(pages.begin(), pages.end()), pages.end());
    return pages;
}

// qpdf --check's status: 0 clean, 3 warnings, 2 errors.
int qpdf_check(const std::string& pdf) { return run_command("qpdf --check '" + pdf + "' >/dev/null 2>&1"); }

// Page page of pdf at 72 dpi; empty when pdftoppm fails.
std::string rendered_page(const std::string& pdf, int page, const temp_dir& dir)
{
    const std::string prefix = dir.file("render");
    const std::string p = std::to_string(page);
    if (run_command("pdftoppm -q -r 72 -f " + p + " -l " + p + " -singlefile '" + pdf + "' '" + prefix + "'") != 0)
        return "";
    return read_file(prefix + ".ppm");
}

int32_t flatten_to(const std::string& in, const std::string& out, bool compact)
{
    kestrin_options o = KESTRIN_OPTIONS_INIT;
    o.compact = compact ? 1 : 0;
    return kestrin_flatten(in.c_str(), out.c_str(), &o);
}

TEST(CorpusCompact, RendersAsTheDefaultOutputAndPassesQpdfWhereItDoes)
{
    const std::vector<manifest_row> rows = kestrin::test::read_manifest(KESTRIN_CORPUS_DIR);
    if (rows.empty()) GTEST_SKIP() << "corpus not found";
    if (run_command("pdftoppm -v") != 0 || run_command("qpdf --version") != 0)
        GTEST_SKIP() << "pdftoppm or qpdf not installed";
    temp_dir dir;
    const std::string def = dir.file("default.pdf"), cmp = dir.file("compact.pdf");
    int files = 0, pages = 0;
    for (const manifest_row& row : rows) {
        if (row["render_compare"] != "yes" || row["expected_error"] != "-") continue;
        SCOPED_TRACE(row["file"]);
        ASSERT_EQ(flatten_to(row.path(), def, false), 0) << kestrin_last_error();
        ASSERT_EQ(flatten_to(row.path(), cmp, true), 0) << kestrin_last_error();
        ++files;
        // Our loader reads the same pages, fields and annotations from both.
        EXPECT_EQ(kestrin_field_count(cmp.c_str()), kestrin_field_count(def.c_str()));
        EXPECT_EQ(kestrin_annotation_count(cmp.c_str()), kestrin_annotation_count(def.c_str()));
        const int def_check = qpdf_check(def);
        if (def_check == 0 || def_check == 3) {
            const int cmp_check = qpdf_check(cmp);
            EXPECT_TRUE(cmp_check == 0 || cmp_check == def_check) << "qpdf --check " << def_check << " -> " << cmp_check;
        }
        std::vector<int> annotated = annotated_pages(row.path());
        // Annotations our loader finds where qpdf lists none: every page may have changed.
        if (annotated.empty() && kestrin_annotation_count(row.path().c_str()) > 0)
            for (int p = 1; p <= std::stoi(row["pages"]); ++p) annotated.push_back(p);
        for (int page : annotated) {
            const std::string expected = rendered_page(def, page, dir);
            ASSERT_FALSE(expected.empty()) << "page " << page;
            EXPECT_TRUE(rendered_page(cmp, page, dir) == expected) << "page " << page << " renders differently";
            ++pages;
        }
    }
    std::cout << files << " files, " << pages << " pages with annotations compared\n";
    EXPECT_GT(files, 0);
    EXPECT_GT(pages, 0);
}

}  // namespace
