// Where each annotation sits on a rendered page, read by independent tools: the annotations from
// qpdf's JSON (version 2), the page boxes and turns from poppler's pdfinfo, which are the ones its
// renderer uses.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "json_reader.h"

namespace kestrin::test {

// A rectangle in default user space with its corners in order: x0 <= x1, y0 <= y1.
struct pdf_rect {
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};

struct listed_annotation {
    int page = 0;         // from 1
    std::string object;   // "12 0 R", or "direct 3" for the 3rd entry of /Annots written in place
    std::string subtype;  // without its slash; empty when absent
    std::optional<pdf_rect> rect;  // nullopt when /Rect is absent or not four numbers
};

// Every annotation of every page in the order of the pages and of their /Annots, following
// indirect references; nullopt when the JSON is not qpdf's version 2 with pages and objects.
std::optional<std::vector<listed_annotation>> annotations_from_qpdf_json(const json_value& json);

struct page_geometry {
    pdf_rect crop;  // the crop box as the renderer clips it
    int rotate = 0; // 0, 90, 180 or 270, clockwise
};

// The pages of `pdfinfo -box -f 1 -l N` output, from page 1; pages whose CropBox or rot lines are
// missing end the list.
std::vector<page_geometry> pages_from_pdfinfo(std::string_view text);

// Pixels [x0, x1) x [y0, y1) of an image, rows from the top.
struct pixel_box {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    bool empty() const { return x0 >= x1 || y0 >= y1; }
    long area() const { return empty() ? 0 : long(x1 - x0) * long(y1 - y0); }
};

// The pixels that r covers when the page is rendered at dpi (its crop box turned by its rotation),
// clipped to a width x height image: every pixel the rectangle touches.
pixel_box pixels_of(const pdf_rect& r, const page_geometry& page, int dpi, int width, int height);

}  // namespace kestrin::test
