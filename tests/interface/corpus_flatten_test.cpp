// Flattens every loadable file of the real-world corpus in all three modes and checks the outputs
// with our own loader and with qpdf.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>

#include "kestrin.h"
#include "load/doc.h"
#include "manifest.h"
#include "pdf_builder.h"

namespace {

using kestrin::test::manifest_row;
using kestrin::test::run_command;
using kestrin::test::temp_dir;

struct mode {
    const char* name;
    int32_t (*run)(const char*, const char*);
};

constexpr mode modes[] = {
    {"all", kestrin_all},
    {"forms", kestrin_forms},
    {"annotations", kestrin_annotations},
};

int32_t page_count(const std::string& path)
{
    const kestrin::base::result<kestrin::load::doc> d = kestrin::load::load_document(path.c_str());
    return d ? static_cast<int32_t>(d->pages.size()) : -1;
}

// qpdf --check exit status: 0 clean, 3 warnings only, 2 errors.
int qpdf_check(const std::string& path, std::string* out)
{
    return run_command("qpdf --check '" + path + "'", out);
}

bool qpdf_accepts_input(const manifest_row& row)
{
    return row["qpdf_check"] == "ok" || row["qpdf_check"] == "warnings";
}

// Outputs whose field count departs from the rule below, reviewed, with the cause: file, mode.
const std::set<std::pair<std::string, std::string>> reviewed_field_count_differences = {
    // "Fields" lists an annotation that names no field type (a FreeText, or a widget without FT
    // and parent). The annotations mode flattens it as the annotation it is, and the count, which
    // counts what "Fields" lists, loses it.
    {"pdfium__testing_resources_pixel_freetext_annotation_with_ap.in-gen.pdf", "annotations"},
    {"pdfium__testing_resources_pixel_freetext_annotation_with_da.in-gen.pdf", "annotations"},
    {"qpdf__qpdf_qtest_qpdf_button-set-broken.pdf", "annotations"},
    {"qpdf__qpdf_qtest_qpdf_form-mod1.pdf", "annotations"},
    // A fuzzed catalog whose form dictionary is never closed ("/Q 0 > >>"): its value cannot be
    // told from the rest of the catalog, so the entry stays; the fields it names are gone.
    {"pdfjs__test_pdfs_poppler-742-0-fuzzed.pdf", "all"},
    {"pdfjs__test_pdfs_poppler-742-0-fuzzed.pdf", "forms"},
};

TEST(CorpusFlatten, EveryModeWritesAFileThatReloadsAndPassesQpdf)
{
    auto rows = kestrin::test::read_manifest(KESTRIN_CORPUS_DIR);
    if (rows.empty()) GTEST_SKIP() << "corpus not found at " << KESTRIN_CORPUS_DIR;
    temp_dir dir;
    int flattened = 0, warnings = 0, refused = 0;
    for (const manifest_row& row : rows) {
        std::string in = row.path();
        int32_t in_pages = page_count(in);
        if (in_pages < 0) continue;  // not loadable: the load tests cover its message
        const int32_t in_fields = kestrin_field_count(in.c_str());
        for (const mode& m : modes) {
            std::string out = dir.file(std::string(m.name) + ".pdf");
            if (m.run(in.c_str(), out.c_str()) != 0) {
                // Damaged files whose catalog cannot be found are refused, not written broken.
                EXPECT_EQ(std::string(kestrin_last_error()).rfind("input: no document catalog", 0), 0u)
                    << row["file"] << " mode " << m.name << ": " << kestrin_last_error();
                ++refused;
                continue;
            }
            EXPECT_EQ(page_count(out), in_pages) << row["file"] << " mode " << m.name;
            // Forms and all remove the form; annotations mode keeps every field.
            const int32_t out_fields = kestrin_field_count(out.c_str());
            const int32_t want_fields = std::string(m.name) == "annotations" ? in_fields : 0;
            if (!reviewed_field_count_differences.contains({row["file"], m.name})) {
                EXPECT_EQ(out_fields, want_fields) << row["file"] << " mode " << m.name;
            }
            if (qpdf_accepts_input(row)) {
                std::string report;
                int status = qpdf_check(out, &report);
                EXPECT_NE(status, 2) << row["file"] << " mode " << m.name << "\n" << report;
                if (status == 3) {
                    ++warnings;
                    std::cout << "qpdf warnings: " << row["file"] << " mode " << m.name << "\n";
                }
            }
            ++flattened;
        }
    }
    std::cout << flattened << " outputs checked, " << warnings << " with qpdf warnings, " << refused
              << " refused\n";
    EXPECT_GT(flattened, 0);
    EXPECT_LE(refused, 3 * 2) << "only the two files without a findable catalog are refused";
}

}  // namespace
