// The first page of a PDF rendered at 72 dpi in grey by poppler or MuPDF, for tests that compare
// what a person would see in one rectangle.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrin::test {

enum class renderer { poppler, mupdf };

struct grey_page {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;  // rows from the top, 0 black, 255 white

    bool empty() const { return pixels.empty(); }
    // The pixel at page-space (x, y) counted from the bottom left; white outside the page.
    std::uint8_t at(int x, int y) const;
};

// Empty when the renderer is missing or fails.
grey_page render_grey(const std::string& pdf, renderer r);

bool have_renderer(renderer r);

// A rectangle of the page in page space at 72 dpi: [x0, x1) x [y0, y1).
struct pixel_box {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};

// Pixels darker than the middle grey inside the box.
int dark_pixels(const grey_page& page, const pixel_box& box);

// Of the pixels dark in either page inside the box, the share that have a dark pixel of the other
// page within reach (in both directions): near 1 when the same marks are drawn in about the same
// places, as two renderers draw the same text; low when marks are missing or elsewhere.
double dark_match(const grey_page& a, const grey_page& b, const pixel_box& box, int reach = 2);

}  // namespace kestrin::test
