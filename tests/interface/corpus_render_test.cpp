// Flattened files must look like their inputs rendered with annotations. Renders both with
// poppler's pdftoppm and compares the pages pixel by pixel.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "kestrin.h"
#include "manifest.h"
#include "pdf_builder.h"

namespace {

namespace fs = std::filesystem;
using kestrin::test::manifest_row;
using kestrin::test::run_command;
using kestrin::test::temp_dir;

constexpr int render_dpi = 36;
// A pixel differs when its grey levels are further apart than this (anti-aliasing noise stays below).
constexpr int pixel_tolerance = 64;
// A page departs from its input when more than this share of its pixels differ.
constexpr double page_tolerance = 0.005;

struct gray_image {
    int width = 0, height = 0;
    std::vector<unsigned char> pixels;
};

gray_image read_pgm(const fs::path& path)
{
    std::ifstream f(path, std::ios::binary);
    std::string magic;
    int maxval = 0;
    gray_image img;
    f >> magic >> img.width >> img.height >> maxval;
    f.get();
    if (magic != "P5" || maxval != 255 || img.width <= 0 || img.height <= 0) return {};
    img.pixels.resize(static_cast<size_t>(img.width) * img.height);
    f.read(reinterpret_cast<char*>(img.pixels.data()), static_cast<std::streamsize>(img.pixels.size()));
    return img;
}

std::vector<gray_image> render(const std::string& pdf, const fs::path& dir)
{
    fs::create_directories(dir);
    run_command("pdftoppm -q -gray -r " + std::to_string(render_dpi) + " '" + pdf + "' '" +
                (dir / "p").string() + "'");
    std::vector<fs::path> pages;
    for (const auto& e : fs::directory_iterator(dir)) pages.push_back(e.path());
    std::sort(pages.begin(), pages.end());
    std::vector<gray_image> images;
    for (const auto& p : pages) images.push_back(read_pgm(p));
    return images;
}

double differing_share(const gray_image& a, const gray_image& b)
{
    if (a.width != b.width || a.height != b.height || a.pixels.empty()) return 1.0;
    size_t differing = 0;
    for (size_t i = 0; i < a.pixels.size(); ++i)
        if (std::abs(int(a.pixels[i]) - int(b.pixels[i])) > pixel_tolerance) ++differing;
    return double(differing) / double(a.pixels.size());
}

// Reviewed files whose flattened rendering departs from the input's on purpose, with the cause.
std::map<std::string, std::string> reviewed_exceptions()
{
    std::map<std::string, std::string> out;
    std::ifstream f(fs::path(__FILE__).parent_path() / "render_exceptions.tsv");
    std::string line;
    while (std::getline(f, line)) {
        if (line.empty() || line[0] == '#') continue;
        auto tab = line.find('\t');
        out[line.substr(0, tab)] = tab == std::string::npos ? "" : line.substr(tab + 1);
    }
    return out;
}

TEST(CorpusRender, FlattenedPagesLookLikeTheInputWithAnnotations)
{
    auto rows = kestrin::test::read_manifest(KESTRIN_CORPUS_DIR);
    if (rows.empty()) GTEST_SKIP() << "corpus not found";
    if (run_command("pdftoppm -v") != 0) GTEST_SKIP() << "pdftoppm not installed";
    auto exceptions = reviewed_exceptions();
    temp_dir dir;
    int compared = 0;
    std::set<std::string> departed;
    for (const manifest_row& row : rows) {
        if (row["render_compare"] != "yes" || row["expected_error"] != "-") continue;
        std::string out = dir.file("flat.pdf");
        ASSERT_EQ(kestrin_all(row.path().c_str(), out.c_str()), 0)
            << row["file"] << ": " << kestrin_last_error();
        auto before = render(row.path(), dir.path() / "before");
        auto after = render(out, dir.path() / "after");
        ASSERT_EQ(before.size(), after.size()) << row["file"];
        for (size_t p = 0; p < before.size(); ++p) {
            double share = differing_share(before[p], after[p]);
            if (share > page_tolerance) {
                departed.insert(row["file"]);
                std::cout << row["file"] << " page " << p + 1 << ": " << share * 100
                          << "% of pixels differ\n";
            }
        }
        fs::remove_all(dir.path() / "before");
        fs::remove_all(dir.path() / "after");
        ++compared;
    }
    for (const auto& file : departed)
        EXPECT_TRUE(exceptions.count(file)) << file << " renders differently after flattening";
    std::cout << compared << " files compared, " << departed.size() << " departed\n";
    EXPECT_GT(compared, 0);
}

}  // namespace
