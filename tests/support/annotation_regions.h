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

// The objects of qpdf's JSON (version 2): "obj:N G R" holds {"value": ...} or
// {"stream": {"dict": ...}}. Every lookup follows references, within a budget of steps.
class qpdf_objects {
public:
    explicit qpdf_objects(const json_value& objects) : objects_(objects) {}

    // v with every reference followed: a stream stands for its dictionary; nullptr for a missing
    // object or a loop.
    const json_value* resolve(const json_value* v) const;
    // The value under key in dict (itself resolved first); nullptr when absent or not a dictionary.
    const json_value* entry(const json_value* dict, std::string_view key) const;
    // Whether v is a reference that leads to a stream.
    bool leads_to_stream(const json_value* v) const;

private:
    const json_value& objects_;
};

// "12 0 R"
bool is_reference(const json_value& v);

// The /Rect of an annotation with its corners ordered; nullopt when it is not four numbers.
std::optional<pdf_rect> rect_of(const qpdf_objects& objects, const json_value* annot);

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

// r's edges as distances in points from the left and top edges of the page as it is shown (its crop
// box turned by its rotation): x0, y0, x1, y1.
pdf_rect shown_rect(const pdf_rect& r, const page_geometry& page);

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
