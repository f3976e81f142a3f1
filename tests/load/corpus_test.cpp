// Every file of the real-world corpus loads, or fails with one of the loader's own messages; files
// the manifest calls encrypted or broken in their page tree fail with exactly those messages, and
// the others have the manifest's page count.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "load/doc.h"
#include "load_fixture.h"

namespace kestrin::test {
namespace {

const std::filesystem::path corpus_root = KESTRIN_CORPUS_DIR;
const std::filesystem::path corpus_dir = corpus_root / "files";

struct manifest_row {
    std::string file;
    std::string pages;
    std::string expected_fields;  // "-" where the manifest asserts no counts
    std::string expected_error;
};

std::vector<std::string> split_tabs(const std::string& line)
{
    std::vector<std::string> cells;
    std::stringstream s(line);
    std::string cell;
    while (std::getline(s, cell, '\t')) cells.push_back(cell);
    return cells;
}

std::vector<manifest_row> read_manifest()
{
    std::ifstream in(corpus_root / "MANIFEST.tsv");
    std::string line;
    std::getline(in, line);
    std::vector<std::string> header = split_tabs(line);
    std::map<std::string, std::size_t> column;
    for (std::size_t i = 0; i < header.size(); ++i) column[header[i]] = i;
    std::vector<manifest_row> rows;
    while (std::getline(in, line)) {
        std::vector<std::string> cells = split_tabs(line);
        cells.resize(header.size());
        rows.push_back({cells[column["file"]], cells[column["pages"]], cells[column["expected_fields"]],
                        cells[column["expected_error"]]});
    }
    return rows;
}

bool is_page_tree_message(const std::string& error)
{
    return error == inline_kids_message() ||
           (error.starts_with("could not resolve the page tree (obj ") &&
            error.ends_with(" is not a /Pages or /Page object, or tree is broken)"));
}

bool is_loader_message(const std::string& error, const std::string& path)
{
    for (const std::string& whole :
         {"cannot open " + path, "empty input file: " + path, "read error on " + path,
          "input file too large: " + path, no_objects_message(path),
          "encrypted PDFs are not supported: " + path})
        if (error == whole) return true;
    return is_page_tree_message(error) ||
           (error.starts_with("object number ") && error.find(" out of range for a ") != std::string::npos);
}

// Files whose page count by the loader's rules differs from the manifest, with the reason.
const std::map<std::string, std::string> reviewed_page_counts = {
    {"pdfium__testing_resources_document_aactions.pdf",
     "Kids [4 0 R] lists one page; only /Count claims 3: 1 page"},
    {"pdfium__testing_resources_javascript_xfa_specific_bug_1238_2.pdf",
     "no startxref, so the trailer is not read; no object names /Catalog, root falls back to "
     "object 1, which does not exist: 0 pages"},
    {"pdfjs__test_pdfs_poppler-742-0-fuzzed.pdf",
     "the Pages node's Kids lost its '[' (\"/Kids  8 0 R ]\"), an indirect value: 0 pages"},
    {"qpdf__qpdf_qtest_qpdf_inspect.pdf",
     "damaged head: no startxref and no key /Catalog (only \"/Catalogier\"), so root falls "
     "back to object 1, which does not exist: 0 pages"},
};

TEST(Corpus, EveryFileLoadsOrFailsWithALoaderMessage)
{
    std::vector<manifest_row> rows = read_manifest();
    ASSERT_GT(rows.size(), 400u) << "corpus manifest not found under " << corpus_dir;
    int loaded = 0;
    for (const manifest_row& row : rows) {
        std::string path = (corpus_dir / row.file).string();
        const base::result<load::doc> d = load::load_document(path.c_str());
        const int rc = d ? 0 : -1;
        const std::string error = d.message();
        const auto count = d ? static_cast<std::int32_t>(d->pages.size()) : 0;
        if (row.expected_error == "encrypted") {
            EXPECT_EQ(error, "encrypted PDFs are not supported: " + path) << row.file;
            continue;
        }
        if (row.expected_error == "page-tree" || row.expected_error == "inline-kids") {
            EXPECT_TRUE(is_page_tree_message(error)) << row.file << ": " << error;
            continue;
        }
        if (rc != 0) {
            EXPECT_TRUE(is_loader_message(error, path)) << row.file << ": " << error;
            if (row.expected_fields != "-") ADD_FAILURE() << row.file << " should load: " << error;
            continue;
        }
        ++loaded;
        if (row.pages.empty() || reviewed_page_counts.contains(row.file)) continue;
        EXPECT_EQ(std::to_string(count), row.pages) << row.file;
    }
    EXPECT_GT(loaded, 400);
}

}  // namespace
}  // namespace kestrin::test
