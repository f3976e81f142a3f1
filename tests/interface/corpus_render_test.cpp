// Flattened files must look like their inputs rendered with annotations. Renders both with
// poppler's pdftoppm and compares whole pages, then each annotation's own rectangle.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "annotation_regions.h"
#include "json_reader.h"
#include "kestrin.h"
#include "manifest.h"
#include "pdf_builder.h"

namespace {

namespace fs = std::filesystem;
using kestrin::test::image;
using kestrin::test::listed_annotation;
using kestrin::test::manifest_row;
using kestrin::test::page_geometry;
using kestrin::test::pixel_box;
using kestrin::test::read_pnm;
using kestrin::test::run_command;
using kestrin::test::temp_dir;

constexpr int render_dpi = 36;
// A pixel differs when its grey levels are further apart than this (anti-aliasing noise stays below).
constexpr int pixel_tolerance = 64;
// A page departs from its input when more than this share of its pixels differ.
constexpr double page_tolerance = 0.005;

std::vector<image> render(const std::string& pdf, const fs::path& dir)
{
    fs::create_directories(dir);
    run_command("pdftoppm -q -gray -r " + std::to_string(render_dpi) + " '" + pdf + "' '" +
                (dir / "p").string() + "'");
    std::vector<fs::path> pages;
    for (const auto& e : fs::directory_iterator(dir)) pages.push_back(e.path());
    std::sort(pages.begin(), pages.end());
    std::vector<image> images;
    for (const auto& p : pages) images.push_back(read_pnm(p));
    return images;
}

double differing_share(const image& a, const image& b)
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

// Whole pages: the files with a page whose pixels differ beyond page_tolerance.
void compare_pages(const manifest_row& row, const std::string& flat, const fs::path& dir,
                   std::set<std::string>& departed)
{
    auto before = render(row.path(), dir / "before");
    auto after = render(flat, dir / "after");
    ASSERT_EQ(before.size(), after.size()) << row["file"];
    for (size_t p = 0; p < before.size(); ++p) {
        double share = differing_share(before[p], after[p]);
        if (share > page_tolerance) {
            departed.insert(row["file"]);
            std::cout << row["file"] << " page " << p + 1 << ": " << share * 100
                      << "% of pixels differ\n";
        }
    }
    fs::remove_all(dir / "before");
    fs::remove_all(dir / "after");
}

// Each annotation is compared in its own rectangle, at a resolution where a point is a pixel.
constexpr int annotation_dpi = 72;
// A pixel differs when one of its colour channels moves further than this. Lower than the page
// test's grey tolerance: a yellow highlight on white is only about 30 grey levels darker, while its
// blue channel drops by 255.
constexpr int channel_tolerance = 40;
// A flattened annotation departs when more than this share of its rectangle's pixels differ.
constexpr double annotation_tolerance = 0.10;

// The page's crop box, as a viewer shows it, rendered at annotation_dpi with or without its
// annotations.
image render_page(const std::string& pdf, int page, bool annotations, const fs::path& prefix)
{
    std::string command = "pdftoppm -q -cropbox -r " + std::to_string(annotation_dpi) + " -f " +
                          std::to_string(page) + " -l " + std::to_string(page) + " -singlefile " +
                          (annotations ? "" : "-hide-annotations ") + "'" + pdf + "' '" +
                          prefix.string() + "'";
    if (run_command(command) != 0) return {};
    image img = read_pnm(prefix.string() + ".ppm");
    fs::remove(prefix.string() + ".ppm");
    return img;
}

bool pixel_differs(const image& a, const image& b, size_t pixel)
{
    for (int c = 0; c < a.channels; ++c) {
        size_t i = pixel * a.channels + c;
        if (std::abs(int(a.pixels[i]) - int(b.pixels[i])) > channel_tolerance) return true;
    }
    return false;
}

// One page of a file: the input with and without its annotations, and the flattened output.
struct page_renders {
    image before, bare, after;
    bool usable() const
    {
        return !before.pixels.empty() && before.width == bare.width && before.width == after.width &&
               before.height == bare.height && before.height == after.height &&
               before.channels == bare.channels && before.channels == after.channels;
    }
};

struct region_comparison {
    long pixels = 0;
    long differing = 0;   // output against input with annotations
    long ink_before = 0;  // input with annotations against input without
    long ink_after = 0;   // output against input without annotations
    double share() const { return pixels ? double(differing) / double(pixels) : 0.0; }
    bool departs() const
    {
        return share() > annotation_tolerance || (ink_before > 0 && ink_after == 0);
    }
};

region_comparison compare_region(const page_renders& r, const pixel_box& box)
{
    region_comparison c;
    for (int y = box.y0; y < box.y1; ++y) {
        for (int x = box.x0; x < box.x1; ++x) {
            size_t pixel = size_t(y) * size_t(r.before.width) + size_t(x);
            ++c.pixels;
            c.differing += pixel_differs(r.before, r.after, pixel);
            c.ink_before += pixel_differs(r.before, r.bare, pixel);
            c.ink_after += pixel_differs(r.after, r.bare, pixel);
        }
    }
    return c;
}

// The input's annotations as qpdf reads them; nullopt when qpdf cannot say.
std::optional<std::vector<listed_annotation>> qpdf_annotations(const std::string& pdf)
{
    std::string json;
    // In parentheses: the runner joins stderr to stdout after the whole command, warnings included.
    int status = run_command(
        "(qpdf --json=2 --json-key=pages --json-key=qpdf '" + pdf + "' 2>/dev/null)", &json);
    if (status != 0 && status != 3) return std::nullopt;  // 3: warnings only
    std::optional<kestrin::test::json_value> parsed = kestrin::test::parse_json(json);
    if (!parsed) return std::nullopt;
    return kestrin::test::annotations_from_qpdf_json(*parsed);
}

std::vector<page_geometry> poppler_pages(const std::string& pdf, int page_count)
{
    std::string info;
    run_command("(pdfinfo -box -f 1 -l " + std::to_string(page_count) + " '" + pdf + "' 2>/dev/null)",
                &info);
    return kestrin::test::pages_from_pdfinfo(info);
}

// An annotation of the corpus: file name and object ("12 0 R", "direct 3").
using annotation_key = std::pair<std::string, std::string>;
using annotation_exceptions = std::map<annotation_key, std::string>;

// Reviewed annotations whose flattened rendering departs from the input's, with the cause.
annotation_exceptions reviewed_annotation_exceptions()
{
    annotation_exceptions out;
    std::ifstream f(fs::path(__FILE__).parent_path() / "annotation_render_exceptions.tsv");
    std::string line;
    while (std::getline(f, line)) {
        if (line.empty() || line[0] == '#') continue;
        size_t first = line.find('\t');
        size_t second = first == std::string::npos ? first : line.find('\t', first + 1);
        if (second == std::string::npos) continue;
        annotation_key key{line.substr(0, first), line.substr(first + 1, second - first - 1)};
        out[key] = line.substr(second + 1);
    }
    return out;
}

struct annotation_tally {
    int compared = 0, links = 0, unplaced = 0, excepted = 0;
    std::vector<std::string> departures;
    std::set<annotation_key> exceptions_seen;
};

std::string describe(const manifest_row& row, const listed_annotation& a,
                     const region_comparison& c)
{
    std::ostringstream line;
    line << row["file"] << "\tpage " << a.page << "\t" << a.object << "\t" << a.subtype << "\t"
         << std::fixed << std::setprecision(1) << c.share() * 100 << "% differ, ink pixels "
         << c.ink_before << " -> " << c.ink_after;
    return line.str();
}

void compare_page(const manifest_row& row, const std::vector<const listed_annotation*>& annots,
                  const page_renders& renders, const page_geometry& geometry,
                  const annotation_exceptions& exceptions, annotation_tally& tally)
{
    for (const listed_annotation* a : annots) {
        pixel_box box;
        if (a->rect)
            box = kestrin::test::pixels_of(*a->rect, geometry, annotation_dpi, renders.before.width,
                                           renders.before.height);
        if (box.empty()) {  // no rectangle, or none of it on the shown page: nothing to see
            ++tally.unplaced;
            continue;
        }
        ++tally.compared;
        region_comparison c = compare_region(renders, box);
        if (!c.departs()) continue;
        if (exceptions.count({row["file"], a->object})) {
            ++tally.excepted;
            tally.exceptions_seen.insert({row["file"], a->object});
            continue;
        }
        tally.departures.push_back(describe(row, *a, c));
    }
}

// Compares every annotation but the links of one corpus file with its flattened output.
void compare_annotations(const manifest_row& row, const std::string& flat, const fs::path& dir,
                         const annotation_exceptions& exceptions, annotation_tally& tally)
{
    std::optional<std::vector<listed_annotation>> annots = qpdf_annotations(row.path());
    ASSERT_TRUE(annots) << row["file"] << ": qpdf cannot list the annotations";
    std::map<int, std::vector<const listed_annotation*>> by_page;
    for (const listed_annotation& a : *annots) {
        if (a.subtype == "Link") ++tally.links;
        else by_page[a.page].push_back(&a);
    }
    if (by_page.empty()) return;
    std::vector<page_geometry> pages = poppler_pages(row.path(), by_page.rbegin()->first);
    ASSERT_GE(pages.size(), size_t(by_page.rbegin()->first))
        << row["file"] << ": pdfinfo lists fewer pages than qpdf";
    for (const auto& [page, list] : by_page) {
        page_renders r{render_page(row.path(), page, true, dir / "before"),
                       render_page(row.path(), page, false, dir / "bare"),
                       render_page(flat, page, true, dir / "after")};
        ASSERT_TRUE(r.usable()) << row["file"] << " page " << page << ": renderings differ in size";
        compare_page(row, list, r, pages[page - 1], exceptions, tally);
    }
}

// A page turned by rotate, its crop box away from the origin, with one Square annotation whose
// appearance fills its rectangle with light yellow (faint in grey, plain in colour).
std::string turned_page_with_square(int rotate)
{
    std::string page = "/MediaBox [0 0 300 200] /CropBox [20 10 280 190] /Rotate " +
                       std::to_string(rotate) + " /Annots [5 0 R]";
    return kestrin::test::one_page_doc(page, "", "0 0 1 rg 30 20 20 20 re f\n")
        .object(5, "<< /Type /Annot /Subtype /Square /Rect [200 50 260 70] /AP << /N 6 0 R >> >>")
        .stream(6, "/Type /XObject /Subtype /Form /BBox [0 0 60 20]", "1 1 0.6 rg 0 0 60 20 re f\n")
        .trailer("/Root 1 0 R")
        .build();
}

TEST(CorpusRender, AnnotationRegionsMatchWhereTheRendererDraws)
{
    if (run_command("pdftoppm -v") != 0 || run_command("pdfinfo -v") != 0)
        GTEST_SKIP() << "pdftoppm or pdfinfo not installed";
    temp_dir dir;
    for (int rotate : {0, 90, 180, 270}) {
        std::string in = dir.write("in.pdf", turned_page_with_square(rotate));
        std::string out = dir.file("out.pdf");
        ASSERT_EQ(kestrin_all(in.c_str(), out.c_str()), 0) << kestrin_last_error();
        page_renders r{render_page(in, 1, true, dir.path() / "before"),
                       render_page(in, 1, false, dir.path() / "bare"),
                       render_page(out, 1, true, dir.path() / "after")};
        ASSERT_TRUE(r.usable()) << rotate;
        std::vector<page_geometry> pages = poppler_pages(in, 1);
        ASSERT_EQ(pages.size(), 1u) << rotate;
        pixel_box box = kestrin::test::pixels_of({200, 50, 260, 70}, pages[0], annotation_dpi,
                                                 r.before.width, r.before.height);
        ASSERT_EQ(box.area(), 60 * 20) << rotate;
        // All of the annotation's ink lies in its box, and fills it.
        region_comparison whole = compare_region(r, {0, 0, r.before.width, r.before.height});
        region_comparison inside = compare_region(r, box);
        EXPECT_EQ(inside.ink_before, whole.ink_before) << rotate;
        EXPECT_GE(inside.ink_before, box.area() * 9 / 10) << rotate;
        EXPECT_FALSE(inside.departs()) << rotate << ": " << inside.share();
        // Had the flattening lost it, the output would look like the bare input.
        page_renders lost{r.before, r.bare, r.bare};
        EXPECT_TRUE(compare_region(lost, box).departs()) << rotate;
    }
}

// One flattening per file serves both comparisons: the suite also runs under valgrind.
TEST(CorpusRender, FlattenedPagesAndAnnotationsLookLikeTheInputWithAnnotations)
{
    auto rows = kestrin::test::read_manifest(KESTRIN_CORPUS_DIR);
    if (rows.empty()) GTEST_SKIP() << "corpus not found";
    if (run_command("pdftoppm -v") != 0 || run_command("qpdf --version") != 0 ||
        run_command("pdfinfo -v") != 0)
        GTEST_SKIP() << "pdftoppm, pdfinfo or qpdf not installed";
    auto page_exceptions = reviewed_exceptions();
    auto annotation_exceptions = reviewed_annotation_exceptions();
    temp_dir dir;
    int files = 0;
    std::set<std::string> departed;
    annotation_tally tally;
    for (const manifest_row& row : rows) {
        if (row["render_compare"] != "yes" || row["expected_error"] != "-") continue;
        std::string out = dir.file("flat.pdf");
        ASSERT_EQ(kestrin_all(row.path().c_str(), out.c_str()), 0)
            << row["file"] << ": " << kestrin_last_error();
        compare_pages(row, out, dir.path(), departed);
        compare_annotations(row, out, dir.path(), annotation_exceptions, tally);
        ++files;
    }
    for (const auto& file : departed)
        EXPECT_TRUE(page_exceptions.count(file)) << file << " renders differently after flattening";
    for (const std::string& d : tally.departures) ADD_FAILURE() << d;
    for (const auto& [key, cause] : annotation_exceptions)
        if (!tally.exceptions_seen.count(key))
            std::cout << "listed exception no longer departs: " << key.first << " " << key.second
                      << "\n";
    std::cout << files << " files compared, " << departed.size() << " departed\n"
              << tally.compared << " annotations compared, " << tally.departures.size()
              << " depart, " << tally.excepted << " reviewed exceptions; " << tally.links
              << " links counted apart, " << tally.unplaced << " without a rectangle on the page\n";
    EXPECT_GT(files, 0);
    EXPECT_GT(tally.compared, 0);
}

}  // namespace
