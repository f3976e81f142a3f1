// The corpus manifest: one row per real-world file, with its expected counts and features.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace kestrin::test {

struct manifest_row {
    std::map<std::string, std::string> cols;
    const std::string& operator[](const std::string& key) const;
    std::string path() const;  // full path of the file under the corpus
};

// Rows of MANIFEST.tsv in the corpus at KESTRIN_CORPUS_DIR; empty when the corpus is absent.
std::vector<manifest_row> read_manifest(const std::string& corpus_dir);

}  // namespace kestrin::test
