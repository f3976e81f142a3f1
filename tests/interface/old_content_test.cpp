// Pages whose old content is unbalanced or unfinished: the flattened drawings after it still land
// where the annotation was shown, and the old content still shows what it showed. Rendered with
// pdftoppm, through the C ABI.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "kestrin.h"
#include "pdf_builder.h"

namespace {

using kestrin::test::one_page_doc;
using kestrin::test::read_file;
using kestrin::test::run_command;
using kestrin::test::temp_dir;

constexpr const char* blue = "0,0,255";
constexpr const char* red = "255,0,0";
constexpr const char* white = "255,255,255";

// A 200 pt page at 72 dpi, read from pdftoppm's output.
class rendering {
public:
    explicit rendering(const std::string& pdf)
    {
        temp_dir dir;
        const std::string in = dir.write("page.pdf", pdf);
        if (run_command("pdftoppm -q -r 72 -singlefile '" + in + "' '" + dir.file("page") + "'") != 0) return;
        ppm_ = read_file(dir.file("page.ppm"));
        if (std::sscanf(ppm_.c_str(), "P6 %d %d %d%n", &w_, &h_, &max_, &header_) != 3) ppm_.clear();
    }

    // The colour at page coordinates (x, y), y counted from the bottom, as "r,g,b".
    std::string at(int x, int y) const
    {
        const std::size_t i = static_cast<std::size_t>(header_ + 1) + 3 * static_cast<std::size_t>((h_ - 1 - y) * w_ + x);
        if (ppm_.empty() || x < 0 || y < 0 || x >= w_ || y >= h_ || i + 3 > ppm_.size()) return "no pixel";
        return std::to_string(static_cast<unsigned char>(ppm_[i])) + "," +
               std::to_string(static_cast<unsigned char>(ppm_[i + 1])) + "," +
               std::to_string(static_cast<unsigned char>(ppm_[i + 2]));
    }

private:
    std::string ppm_;
    int w_ = 0, h_ = 0, max_ = 0, header_ = 0;
};

// The page's content, then a blue square annotation with an appearance at [20 20 60 60], and a
// hidden optional-content group the content may open.
std::string page_with_square(const std::string& content)
{
    return one_page_doc("/Annots [10 0 R] /Resources << /Properties << /oc1 12 0 R >> >>",
                        "/OCProperties << /OCGs [12 0 R] /D << /OFF [12 0 R] >> >>", content)
        .object(10, "<< /Type /Annot /Subtype /Square /Rect [20 20 60 60] /F 4 /AP << /N 11 0 R >> >>")
        .stream(11, "/Type /XObject /Subtype /Form /BBox [0 0 40 40]", "0 0 1 rg 0 0 40 40 re f\n")
        .object(12, "<< /Type /OCG /Name (hidden) >>")
        .trailer("/Root 1 0 R")
        .build();
}

std::string flattened(const std::string& in)
{
    void* out = nullptr;
    size_t len = 0;
    if (kestrin_flatten_memory(in.data(), in.size(), &out, &len, nullptr) != 0) return "";
    std::string bytes(static_cast<const char*>(out), len);
    kestrin_free(out);
    return bytes;
}

struct point {
    int x, y;
    const char* colour;
};

struct content_case {
    const char* what;
    std::string content;
    std::vector<point> old_ink;  // what the old content shows after flattening
    // poppler carries a sequence the page leaves open over to the annotations, and hides them.
    bool input_shows_square = true;
};

const content_case content_cases[] = {
    // Unmatched Q: without a care it would pop the wrapper, and the square would be drawn scaled by 2.
    {"Q then a scale", "Q 2 0 0 2 0 0 cm", {}},
    {"balanced pair then two Q", "q Q Q Q 2 0 0 2 0 0 cm", {}},
    // The Q restores nothing and is ignored, as MuPDF shows the input: the red square stays
    // scaled (0..8 becomes 0..16). poppler draws nothing after such a Q.
    {"scale, Q, then drawing", "2 0 0 2 0 0 cm Q 1 0 0 rg 0 0 8 8 re f", {{12, 12, red}}},
    // Content that ends inside something would swallow the drawings after it.
    {"literal string", "BT 10 150 Td (abc", {}},
    {"nested string with an escape pending", "BT 10 150 Td (a (b \\", {}},
    {"hex string", "BT 10 150 Td <4142", {}},
    {"dictionary", "/P << /MCID", {}},
    {"array", "[ (a) 1 2", {}},
    {"inline image data", std::string("BI /W 1 /H 1 /CS /G /BPC 8 ID \x80", 32), {}},
    // Content that leaves a text object or a hidden optional-content sequence open.
    {"text object", "BT 10 150 Td", {}},
    {"hidden marked content", "/OC /oc1 BDC 1 0 0 rg 100 100 50 50 re f", {{120, 120, white}}, false},
    {"scale inside a text object inside marked content", "/P BMC BT 2 0 0 2 0 0 cm", {}},
};

TEST(OldContent, DrawingsLandInTheAnnotationsRectangle)
{
    if (run_command("pdftoppm -v >/dev/null 2>&1") != 0) GTEST_SKIP() << "pdftoppm not installed";
    for (const content_case& tc : content_cases) {
        SCOPED_TRACE(tc.what);
        const std::string in = page_with_square(tc.content);
        const std::string out = flattened(in);
        ASSERT_FALSE(out.empty()) << kestrin_last_error();
        EXPECT_EQ(kestrin_annotation_count_memory(out.data(), out.size()), 0);
        const rendering before(in), after(out);
        if (tc.input_shows_square) {
            EXPECT_EQ(before.at(40, 40), blue);
        }
        EXPECT_EQ(after.at(40, 40), blue);
        EXPECT_EQ(after.at(22, 22), blue);
        EXPECT_EQ(after.at(58, 58), blue);
        EXPECT_EQ(after.at(65, 40), white);    // just right of the rectangle
        EXPECT_EQ(after.at(100, 100), white);  // inside a square drawn twice as large
        for (const point& p : tc.old_ink) EXPECT_EQ(after.at(p.x, p.y), p.colour) << p.x << "," << p.y;
    }
}

}  // namespace
