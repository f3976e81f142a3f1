#include "manifest.h"

#include <fstream>
#include <sstream>

namespace kestrin::test {

namespace {

std::vector<std::string> split_tabs(const std::string& line)
{
    std::vector<std::string> out;
    std::string cell;
    std::istringstream in(line);
    while (std::getline(in, cell, '\t')) out.push_back(cell);
    if (!line.empty() && line.back() == '\t') out.emplace_back();
    return out;
}

}  // namespace

const std::string& manifest_row::operator[](const std::string& key) const
{
    static const std::string empty;
    auto it = cols.find(key);
    return it == cols.end() ? empty : it->second;
}

std::string manifest_row::path() const { return (*this)["_dir"] + "/files/" + (*this)["file"]; }

std::vector<manifest_row> read_manifest(const std::string& corpus_dir)
{
    std::ifstream f(corpus_dir + "/MANIFEST.tsv");
    std::vector<manifest_row> rows;
    std::string line;
    if (!std::getline(f, line)) return rows;
    std::vector<std::string> header = split_tabs(line);
    while (std::getline(f, line)) {
        std::vector<std::string> cells = split_tabs(line);
        manifest_row row;
        for (size_t i = 0; i < header.size() && i < cells.size(); ++i) row.cols[header[i]] = cells[i];
        row.cols["_dir"] = corpus_dir;
        rows.push_back(std::move(row));
    }
    return rows;
}

}  // namespace kestrin::test
