// The independent readers the corpus render test relies on: the JSON reader, the annotations read
// from qpdf's JSON, the page boxes read from pdfinfo, and where a rectangle lands in a rendering.
#include <gtest/gtest.h>

#include <string>

#include "annotation_regions.h"
#include "json_reader.h"

namespace {

using kestrin::test::json_value;
using kestrin::test::page_geometry;
using kestrin::test::parse_json;
using kestrin::test::pdf_rect;
using kestrin::test::pixel_box;

TEST(JsonReader, ReadsEveryKindOfValue)
{
    auto v = parse_json(R"( {"b": [1, -2.5e1, true, false, null], "a": "x\"\\\/\n\u00e9\ud83d\ude00"} )");
    ASSERT_TRUE(v);
    ASSERT_EQ(v->type, json_value::kind::object);
    const json_value* a = v->member("a");
    ASSERT_TRUE(a);
    EXPECT_EQ(a->text, "x\"\\/\n\xc3\xa9\xf0\x9f\x98\x80");
    const json_value* b = v->member("b");
    ASSERT_TRUE(b);
    ASSERT_EQ(b->items.size(), 5u);
    EXPECT_EQ(b->items[0].number, 1);
    EXPECT_EQ(b->items[1].number, -25);
    EXPECT_TRUE(b->items[2].flag);
    EXPECT_EQ(b->items[3].type, json_value::kind::boolean);
    EXPECT_FALSE(b->items[3].flag);
    EXPECT_EQ(b->items[4].type, json_value::kind::null);
    EXPECT_EQ(v->member("c"), nullptr);
    EXPECT_EQ(b->member("a"), nullptr);
}

TEST(JsonReader, RefusesWhatIsNotOneValue)
{
    const char* cases[] = {
        "",                  // nothing
        "{",                 // object left open
        "[1, 2",             // array left open
        "[1,]",              // trailing comma
        "{\"a\" 1}",         // no colon
        "{1: 2}",            // key not a string
        "\"abc",             // string left open
        "\"\\q\"",           // unknown escape
        "\"\\u12\"",         // short \u escape
        "tru",               // cut literal
        "1 2",               // two values
        "--1",               // not a number
    };
    for (const char* text : cases) EXPECT_FALSE(parse_json(text)) << text;
}

TEST(JsonReader, BoundsItsNesting)
{
    std::string deep(kestrin::test::max_json_depth, '[');
    deep += std::string(kestrin::test::max_json_depth, ']');
    EXPECT_TRUE(parse_json(deep));
    EXPECT_FALSE(parse_json("[" + deep + "]"));
    EXPECT_FALSE(parse_json(std::string(100000, '[')));
}

// Two pages as qpdf 11 prints them: page 1 lists its annotations through an indirect array, one
// of them written in place, with rectangles given indirectly and corners reversed; page 2 has none.
constexpr const char* qpdf_json = R"({
  "version": 2,
  "pages": [{"object": "3 0 R", "pageposfrom1": 1}, {"object": "4 0 R", "pageposfrom1": 2}],
  "qpdf": [{"jsonversion": 2},
    {"obj:3 0 R": {"value": {"/Type": "/Page", "/Annots": "5 0 R"}},
     "obj:4 0 R": {"value": {"/Type": "/Page"}},
     "obj:5 0 R": {"value": ["6 0 R", {"/Subtype": "/Square", "/Rect": [1, 2, 3, 4]}, "7 0 R", "8 0 R"]},
     "obj:6 0 R": {"value": {"/Subtype": "/Highlight", "/Rect": "9 0 R"}},
     "obj:7 0 R": {"stream": {"dict": {"/Subtype": "/Link", "/Rect": [50, 60, 10, "10 0 R"]}}},
     "obj:8 0 R": {"value": {"/Subtype": "/Text", "/Rect": [1, 2, 3]}},
     "obj:9 0 R": {"value": [100, 700, 170, 718]},
     "obj:10 0 R": {"value": 20}}]
})";

TEST(QpdfAnnotations, FollowsReferencesAndOrdersCorners)
{
    auto json = parse_json(qpdf_json);
    ASSERT_TRUE(json);
    auto annots = kestrin::test::annotations_from_qpdf_json(*json);
    ASSERT_TRUE(annots);
    ASSERT_EQ(annots->size(), 4u);
    struct expected {
        const char* object;
        const char* subtype;
        bool has_rect;
        pdf_rect rect;
    };
    const expected want[] = {
        {"6 0 R", "Highlight", true, {100, 700, 170, 718}},  // Rect indirect
        {"direct 2", "Square", true, {1, 2, 3, 4}},          // dictionary written in /Annots
        {"7 0 R", "Link", true, {10, 20, 50, 60}},           // corners reversed, one indirect
        {"8 0 R", "Text", false, {}},                        // three numbers: no rectangle
    };
    for (size_t i = 0; i < 4; ++i) {
        const auto& a = (*annots)[i];
        EXPECT_EQ(a.page, 1);
        EXPECT_EQ(a.object, want[i].object);
        EXPECT_EQ(a.subtype, want[i].subtype);
        ASSERT_EQ(a.rect.has_value(), want[i].has_rect) << a.object;
        if (!a.rect) continue;
        EXPECT_EQ(a.rect->x0, want[i].rect.x0) << a.object;
        EXPECT_EQ(a.rect->y0, want[i].rect.y0) << a.object;
        EXPECT_EQ(a.rect->x1, want[i].rect.x1) << a.object;
        EXPECT_EQ(a.rect->y1, want[i].rect.y1) << a.object;
    }
}

TEST(QpdfAnnotations, ReferenceLoopsEndAndOtherJsonIsRefused)
{
    auto looping = parse_json(R"({"pages": [{"object": "3 0 R"}], "qpdf": [{}, {
        "obj:3 0 R": {"value": {"/Annots": "5 0 R"}}, "obj:5 0 R": {"value": "5 0 R"}}]})");
    ASSERT_TRUE(looping);
    auto annots = kestrin::test::annotations_from_qpdf_json(*looping);
    ASSERT_TRUE(annots);
    EXPECT_TRUE(annots->empty());
    auto other = parse_json(R"({"pages": []})");
    ASSERT_TRUE(other);
    EXPECT_FALSE(kestrin::test::annotations_from_qpdf_json(*other));
}

TEST(PdfinfoPages, ReadsCropBoxAndRotationOfEachPage)
{
    auto pages = kestrin::test::pages_from_pdfinfo(
        "Pages:           3\n"
        "Page    1 size:  612 x 792 pts\n"
        "Page    1 rot:   0\n"
        "Page    1 MediaBox:      0.00     0.00   612.00   792.00\n"
        "Page    1 CropBox:      10.00    20.00   600.50   780.00\n"
        "Page    2 rot:   270\n"
        "Page    2 CropBox:     -5.00    -6.00   100.00   200.00\n"
        "Page    3 rot:   90\n");  // no crop box: the list ends before page 3
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_EQ(pages[0].crop.x0, 10);
    EXPECT_EQ(pages[0].crop.y1, 780);
    EXPECT_EQ(pages[0].crop.x1, 600.5);
    EXPECT_EQ(pages[0].rotate, 0);
    EXPECT_EQ(pages[1].crop.x0, -5);
    EXPECT_EQ(pages[1].crop.y0, -6);
    EXPECT_EQ(pages[1].rotate, 270);
}

TEST(PixelsOf, PlacesARectangleOnTheShownPage)
{
    // A 200 x 100 crop box with its origin at (50, 30); the rectangle spans x 60..80, y 40..45.
    const pdf_rect crop{50, 30, 250, 130};
    const pdf_rect r{60, 40, 80, 45};
    struct row {
        int rotate, dpi, width, height;
        pixel_box want;
    };
    const row rows[] = {
        {0, 72, 200, 100, {10, 85, 30, 90}},    // measured from the left and the top
        {90, 72, 100, 200, {10, 10, 15, 30}},   // the page's left edge shown on top
        {180, 72, 200, 100, {170, 10, 190, 15}},
        {270, 72, 100, 200, {85, 170, 90, 190}},  // the page's right edge shown on top
        {0, 144, 400, 200, {20, 170, 60, 180}},   // twice the resolution
        {0, 72, 25, 88, {10, 85, 25, 88}},        // clipped to the image
    };
    for (const row& t : rows) {
        pixel_box b = kestrin::test::pixels_of(r, page_geometry{crop, t.rotate}, t.dpi, t.width, t.height);
        EXPECT_EQ(b.x0, t.want.x0) << t.rotate << " " << t.dpi;
        EXPECT_EQ(b.y0, t.want.y0) << t.rotate << " " << t.dpi;
        EXPECT_EQ(b.x1, t.want.x1) << t.rotate << " " << t.dpi;
        EXPECT_EQ(b.y1, t.want.y1) << t.rotate << " " << t.dpi;
    }
    // Partial points widen the box to every pixel touched; a rectangle off the page is empty.
    pixel_box partial = kestrin::test::pixels_of({60.5, 40, 80.2, 45}, {crop, 0}, 72, 200, 100);
    EXPECT_EQ(partial.x0, 10);
    EXPECT_EQ(partial.x1, 31);
    EXPECT_TRUE(kestrin::test::pixels_of({300, 40, 320, 45}, {crop, 0}, 72, 200, 100).empty());
}

}  // namespace
