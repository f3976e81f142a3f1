// The counting rules against the real-world corpus: the field count through the form discovery and
// leaf counting, the annotation count through the export, and the files that must not load.
#include <gtest/gtest.h>

#include <string>

#include "kestrin.h"
#include "load/doc.h"
#include "manifest.h"
#include "plan/form.h"

namespace {

using kestrin::test::manifest_row;

bool is_count(const std::string& cell)
{
    if (cell.empty()) return false;
    for (char c : cell)
        if (c < '0' || c > '9') return false;
    return true;
}

// Field count by the same steps as the export: load, find the form, count its leaves.
std::int32_t field_count(const std::string& path)
{
    const kestrin::base::result<kestrin::load::doc> d = kestrin::load::load_document(path.c_str());
    if (!d) return -1;
    const auto form = kestrin::plan::find_form(d.value(), d->root);
    return form ? kestrin::plan::count_field_leaves(d.value(), *form) : 0;
}

TEST(CorpusCounts, FieldAndAnnotationCountsMatchTheManifest)
{
    const auto rows = kestrin::test::read_manifest(KESTRIN_CORPUS_DIR);
    if (rows.empty()) GTEST_SKIP() << "corpus not found at " << KESTRIN_CORPUS_DIR;
    int fields_checked = 0, annots_checked = 0;
    for (const manifest_row& row : rows) {
        const std::string path = row.path();
        if (is_count(row["expected_fields"])) {
            EXPECT_EQ(field_count(path), std::stoi(row["expected_fields"])) << row["file"];
            EXPECT_EQ(kestrin_field_count(path.c_str()), std::stoi(row["expected_fields"]))
                << row["file"];
            ++fields_checked;
        }
        if (is_count(row["expected_annots"])) {
            EXPECT_EQ(kestrin_annotation_count(path.c_str()), std::stoi(row["expected_annots"]))
                << row["file"] << ": " << kestrin_last_error();
            ++annots_checked;
        }
    }
    std::cout << fields_checked << " field counts and " << annots_checked
              << " annotation counts checked\n";
    EXPECT_GT(fields_checked, 0);
    EXPECT_GT(annots_checked, 0);
}

TEST(CorpusCounts, FilesWithAnExpectedErrorDoNotLoad)
{
    const auto rows = kestrin::test::read_manifest(KESTRIN_CORPUS_DIR);
    if (rows.empty()) GTEST_SKIP() << "corpus not found at " << KESTRIN_CORPUS_DIR;
    int checked = 0;
    for (const manifest_row& row : rows) {
        const std::string& expected = row["expected_error"];
        if (expected.empty() || expected == "-") continue;
        EXPECT_FALSE(kestrin::load::load_document(row.path().c_str()).ok())
            << row["file"] << " " << expected;
        EXPECT_EQ(kestrin_field_count(row.path().c_str()), -1) << row["file"];
        EXPECT_EQ(kestrin_annotation_count(row.path().c_str()), -1) << row["file"];
        ++checked;
    }
    EXPECT_GT(checked, 0);
}

}  // namespace
