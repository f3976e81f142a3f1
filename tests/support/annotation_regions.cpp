#include "annotation_regions.h"

#include <algorithm>
#include <cmath>
#include <sstream>

namespace kestrin::test {

namespace {

// A reference may name an object that is itself a reference; a loop ends here.
constexpr int max_reference_steps = 16;

const json_value* body(const json_value* object)
{
    if (!object) return nullptr;
    if (const json_value* value = object->member("value")) return value;
    const json_value* stream = object->member("stream");
    return stream ? stream->member("dict") : nullptr;
}

}  // namespace

bool is_reference(const json_value& v)
{
    if (v.type != json_value::kind::string) return false;
    std::istringstream in(v.text);
    long num = -1, gen = -1;
    std::string r, rest;
    return bool(in >> num >> gen >> r) && r == "R" && !(in >> rest) && num > 0 && gen >= 0;
}

const json_value* qpdf_objects::resolve(const json_value* v) const
{
    for (int step = 0; v && is_reference(*v); ++step) {
        if (step == max_reference_steps) return nullptr;
        v = body(objects_.member("obj:" + v->text));
    }
    return v;
}

const json_value* qpdf_objects::entry(const json_value* dict, std::string_view key) const
{
    dict = resolve(dict);
    if (!dict || dict->type != json_value::kind::object) return nullptr;
    return resolve(dict->member(key));
}

bool qpdf_objects::leads_to_stream(const json_value* v) const
{
    for (int step = 0; v && is_reference(*v); ++step) {
        if (step == max_reference_steps) return false;
        const json_value* object = objects_.member("obj:" + v->text);
        if (object && object->member("stream")) return true;
        v = body(object);
    }
    return false;
}

std::optional<pdf_rect> rect_of(const qpdf_objects& objects, const json_value* annot)
{
    const json_value* rect = objects.entry(annot, "/Rect");
    if (!rect || rect->type != json_value::kind::array || rect->items.size() != 4) return std::nullopt;
    double c[4];
    for (size_t i = 0; i < 4; ++i) {
        const json_value* n = objects.resolve(&rect->items[i]);
        if (!n || n->type != json_value::kind::number || !std::isfinite(n->number)) return std::nullopt;
        c[i] = n->number;
    }
    return pdf_rect{std::min(c[0], c[2]), std::min(c[1], c[3]), std::max(c[0], c[2]),
                    std::max(c[1], c[3])};
}

namespace {

listed_annotation annotation_of(const qpdf_objects& objects, const json_value& entry, int page,
                                int index)
{
    listed_annotation a;
    a.page = page;
    a.object = is_reference(entry) ? entry.text : "direct " + std::to_string(index);
    const json_value* subtype = objects.entry(&entry, "/Subtype");
    if (subtype && subtype->type == json_value::kind::string && subtype->text.starts_with("/"))
        a.subtype = subtype->text.substr(1);
    a.rect = rect_of(objects, &entry);
    return a;
}

}  // namespace

std::optional<std::vector<listed_annotation>> annotations_from_qpdf_json(const json_value& json)
{
    const json_value* pages = json.member("pages");
    const json_value* qpdf = json.member("qpdf");
    if (!pages || pages->type != json_value::kind::array || !qpdf ||
        qpdf->type != json_value::kind::array || qpdf->items.size() != 2)
        return std::nullopt;
    qpdf_objects objects(qpdf->items[1]);
    std::vector<listed_annotation> out;
    for (size_t p = 0; p < pages->items.size(); ++p) {
        const json_value* page = pages->items[p].member("object");
        const json_value* annots = page ? objects.entry(page, "/Annots") : nullptr;
        if (!annots || annots->type != json_value::kind::array) continue;
        for (size_t i = 0; i < annots->items.size(); ++i)
            out.push_back(annotation_of(objects, annots->items[i], int(p) + 1, int(i) + 1));
    }
    return out;
}

namespace {

// "Page    3 CropBox:   0.00 0.00 612.00 792.00" or "Page    3 rot:   90": page number, label, rest.
bool split_page_line(const std::string& line, int& page, std::string& label, std::string& rest)
{
    std::istringstream in(line);
    std::string word;
    if (!(in >> word >> page >> label) || word != "Page" || page < 1) return false;
    std::getline(in, rest);
    return true;
}

}  // namespace

std::vector<page_geometry> pages_from_pdfinfo(std::string_view text)
{
    std::vector<page_geometry> pages;
    std::vector<int> seen;  // bit 1: crop box read, bit 2: rotation read
    std::istringstream in{std::string(text)};
    std::string line, label, rest;
    int page = 0;
    while (std::getline(in, line)) {
        // A page number beyond the text's length cannot be pdfinfo's: it would only grow the list.
        if (!split_page_line(line, page, label, rest) || page > int(text.size())) continue;
        if (size_t(page) > pages.size()) {
            pages.resize(page);
            seen.resize(page);
        }
        std::istringstream values(rest);
        page_geometry& g = pages[page - 1];
        if (label == "CropBox:" && values >> g.crop.x0 >> g.crop.y0 >> g.crop.x1 >> g.crop.y1)
            seen[page - 1] |= 1;
        else if (label == "rot:" && values >> g.rotate)
            seen[page - 1] |= 2;
    }
    auto incomplete = std::find_if(seen.begin(), seen.end(), [](int s) { return s != 3; });
    pages.resize(size_t(incomplete - seen.begin()));
    for (page_geometry& g : pages) g.rotate = ((g.rotate % 360) + 360) % 360;
    return pages;
}

pdf_rect shown_rect(const pdf_rect& r, const page_geometry& page)
{
    const pdf_rect& c = page.crop;
    switch (page.rotate) {
    case 90: return {r.y0 - c.y0, r.x0 - c.x0, r.y1 - c.y0, r.x1 - c.x0};   // left edge on top
    case 180: return {c.x1 - r.x1, r.y0 - c.y0, c.x1 - r.x0, r.y1 - c.y0};
    case 270: return {c.y1 - r.y1, c.x1 - r.x1, c.y1 - r.y0, c.x1 - r.x0};  // right edge on top
    default: return {r.x0 - c.x0, c.y1 - r.y1, r.x1 - c.x0, c.y1 - r.y0};
    }
}

namespace {

int pixel_edge(double points, double scale, bool upper, int limit)
{
    double v = upper ? std::ceil(points * scale) : std::floor(points * scale);
    return int(std::clamp(v, 0.0, double(limit)));
}

}  // namespace

pixel_box pixels_of(const pdf_rect& r, const page_geometry& page, int dpi, int width, int height)
{
    pdf_rect shown = shown_rect(r, page);
    double scale = dpi / 72.0;
    return {pixel_edge(shown.x0, scale, false, width), pixel_edge(shown.y0, scale, false, height),
            pixel_edge(shown.x1, scale, true, width), pixel_edge(shown.y1, scale, true, height)};
}

}  // namespace kestrin::test
