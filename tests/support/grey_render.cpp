#include "grey_render.h"

#include <cstdio>

#include "pdf_builder.h"

namespace kestrin::test {

namespace {

constexpr std::uint8_t middle_grey = 128;

// A binary PGM ("P5"), or an empty page.
grey_page read_pgm(const std::string& data)
{
    grey_page page;
    int max = 0, header = 0;
    if (std::sscanf(data.c_str(), "P5 %d %d %d%n", &page.width, &page.height, &max, &header) != 3) return {};
    if (page.width <= 0 || page.height <= 0 || max != 255) return {};
    const std::size_t start = static_cast<std::size_t>(header) + 1;
    const std::size_t size = static_cast<std::size_t>(page.width) * static_cast<std::size_t>(page.height);
    if (data.size() < start + size) return {};
    page.pixels.assign(data.begin() + static_cast<std::ptrdiff_t>(start),
                       data.begin() + static_cast<std::ptrdiff_t>(start + size));
    return page;
}

std::string command_for(renderer r, const std::string& in, const std::string& out_base)
{
    if (r == renderer::poppler)
        return "pdftoppm -q -r 72 -gray -f 1 -l 1 -singlefile '" + in + "' '" + out_base + "'";
    return "mutool draw -q -r 72 -c gray -o '" + out_base + ".pgm' '" + in + "' 1 2>/dev/null";
}

}  // namespace

std::uint8_t grey_page::at(int x, int y) const
{
    const int row = height - 1 - y;
    if (x < 0 || x >= width || row < 0 || row >= height) return 255;
    return pixels[static_cast<std::size_t>(row) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)];
}

bool have_renderer(renderer r)
{
    return run_command(r == renderer::poppler ? "pdftoppm -v >/dev/null 2>&1" : "mutool -v >/dev/null 2>&1") == 0;
}

grey_page render_grey(const std::string& pdf, renderer r)
{
    temp_dir dir;
    const std::string in = dir.write("page.pdf", pdf);
    if (run_command(command_for(r, in, dir.file("page"))) != 0) return {};
    return read_pgm(read_file(dir.file("page.pgm")));
}

int dark_pixels(const grey_page& page, const pixel_box& box)
{
    int n = 0;
    for (int y = box.y0; y < box.y1; ++y)
        for (int x = box.x0; x < box.x1; ++x) n += page.at(x, y) < middle_grey ? 1 : 0;
    return n;
}

namespace {

bool dark_near(const grey_page& page, int x, int y, int reach)
{
    for (int dy = -reach; dy <= reach; ++dy)
        for (int dx = -reach; dx <= reach; ++dx)
            if (page.at(x + dx, y + dy) < middle_grey) return true;
    return false;
}

}  // namespace

double dark_match(const grey_page& a, const grey_page& b, const pixel_box& box, int reach)
{
    int dark = 0, matched = 0;
    for (int y = box.y0; y < box.y1; ++y)
        for (int x = box.x0; x < box.x1; ++x) {
            if (a.at(x, y) < middle_grey) {
                ++dark;
                matched += dark_near(b, x, y, reach) ? 1 : 0;
            }
            if (b.at(x, y) < middle_grey) {
                ++dark;
                matched += dark_near(a, x, y, reach) ? 1 : 0;
            }
        }
    return dark == 0 ? 1.0 : static_cast<double>(matched) / dark;
}

}  // namespace kestrin::test
