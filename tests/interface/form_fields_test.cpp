// The independent readers the corpus field value test relies on: the fields read from qpdf's JSON,
// PDF text strings, and the text placed on pages by pdftotext and MuPDF.
#include <gtest/gtest.h>

#include <string>

#include "form_fields.h"
#include "json_reader.h"
#include "page_text.h"

namespace {

using kestrin::test::field_kind;
using kestrin::test::field_widget;
using kestrin::test::parse_json;
using kestrin::test::pdf_rect;

TEST(TextStrings, DecodeByByteOrderMarkOrPdfDocEncoding)
{
    struct row {
        const char* why;
        std::string bytes, utf8;
    };
    const row rows[] = {
        {"UTF-16BE", std::string("\xFE\xFF\x00\x63\x00\xE9", 6), "c\xC3\xA9"},
        {"surrogate pair", std::string("\xFE\xFF\xD8\x3C\xDF\xA8", 6), "\xF0\x9F\x8E\xA8"},
        {"odd last byte dropped", std::string("\xFE\xFF\x00\x41\x00", 5), "A"},
        {"UTF-8", "\xEF\xBB\xBF" "caf\xC3\xA9", "caf\xC3\xA9"},
        {"PDFDocEncoding like Latin-1", "caf\xE9", "caf\xC3\xA9"},
        {"PDFDocEncoding bullet and euro", "\x80\xA0", "\xE2\x80\xA2\xE2\x82\xAC"},
        {"PDFDocEncoding breve", "\x18", "\xCB\x98"},
    };
    for (const row& r : rows) EXPECT_EQ(kestrin::test::text_string_to_utf8(r.bytes), r.utf8) << r.why;
}

// One page of widgets as qpdf 11 prints them, with what each case needs in the objects.
constexpr const char* form_json = R"({
  "version": 2,
  "pages": [{"object": "3 0 R", "pageposfrom1": 1}],
  "acroform": {"hasacroform": true, "needappearances": true, "fields": [
    {"fullname": "name", "fieldtype": "/Tx", "fieldflags": 0, "value": "u:Jo Doe", "pageposfrom1": 1,
     "object": "10 0 R", "annotation": {"object": "10 0 R", "appearancestate": ""}},
    {"fullname": "pin", "fieldtype": "/Tx", "fieldflags": 8192, "value": "b:feff0031", "pageposfrom1": 1,
     "object": "11 0 R", "annotation": {"object": "11 0 R", "appearancestate": ""}},
    {"fullname": "fruit", "fieldtype": "/Ch", "fieldflags": 131072, "value": "u:x2", "pageposfrom1": 1,
     "object": "12 0 R", "annotation": {"object": "12 0 R", "appearancestate": ""}},
    {"fullname": "list", "fieldtype": "/Ch", "fieldflags": 2097152, "value": ["u:a", "u:c"], "pageposfrom1": 1,
     "object": "13 0 R", "annotation": {"object": "13 0 R", "appearancestate": ""}},
    {"fullname": "agree", "fieldtype": "/Btn", "fieldflags": 0, "value": "/Yes", "pageposfrom1": 1,
     "object": "14 0 R", "annotation": {"object": "14 0 R", "appearancestate": "/Yes"}},
    {"fullname": "pick", "fieldtype": "/Btn", "fieldflags": 49152, "value": "/2", "pageposfrom1": 1,
     "object": "15 0 R", "annotation": {"object": "16 0 R", "appearancestate": ""}},
    {"fullname": "go", "fieldtype": "/Btn", "fieldflags": 65536, "value": null, "pageposfrom1": null,
     "object": "17 0 R", "annotation": {"object": "17 0 R", "appearancestate": ""}},
    {"fullname": "notes", "fieldtype": "/Tx", "fieldflags": 4096, "value": "18 0 R", "pageposfrom1": 1,
     "object": "19 0 R", "annotation": {"object": "19 0 R", "appearancestate": ""}}
  ]},
  "qpdf": [{"jsonversion": 2}, {
    "obj:10 0 R": {"value": {"/Rect": "20 0 R", "/MK": {"/R": 90}}},
    "obj:11 0 R": {"value": {"/Rect": [0, 0, 10, 10]}},
    "obj:12 0 R": {"value": {"/Rect": [0, 0, 10, 10], "/Parent": "21 0 R"}},
    "obj:13 0 R": {"value": {"/Rect": [0, 0, 10, 10], "/Opt": ["u:a", "b:feff0062", "u:c"]}},
    "obj:14 0 R": {"value": {"/Rect": [0, 0, 10, 10], "/AP": {"/N": {"/Yes": "22 0 R", "/Off": "23 0 R"}},
                             "/MK": {"/BG": [0, 0, 0, 0.5]}}},
    "obj:15 0 R": {"value": {"/Kids": ["16 0 R"]}},
    "obj:16 0 R": {"value": {"/Rect": [0, 0, 10, 10], "/Parent": "15 0 R", "/AP": {"/N": {"/1": "22 0 R", "/Off": "23 0 R"}}}},
    "obj:17 0 R": {"value": {"/Rect": [0, 0, 10, 10], "/AP": {"/N": "22 0 R"}}},
    "obj:18 0 R": {"stream": {"dict": {"/Length": 5}}},
    "obj:19 0 R": {"value": {"/Rect": [0, 0, 10, 10]}},
    "obj:20 0 R": {"value": [30, 40, 10, 20]},
    "obj:21 0 R": {"value": {"/Opt": [["u:x1", "u:Apple"], ["u:x2", "u:Banana"]]}},
    "obj:22 0 R": {"stream": {"dict": {"/BBox": [0, 0, 10, 10]}}},
    "obj:23 0 R": {"stream": {"dict": {"/BBox": [0, 0, 10, 10]}}}
  }]
})";

TEST(QpdfForm, ReadsKindsValuesAndWidgets)
{
    auto json = parse_json(form_json);
    ASSERT_TRUE(json);
    auto form = kestrin::test::form_from_qpdf_json(*json);
    ASSERT_TRUE(form);
    EXPECT_TRUE(form->need_appearances);
    ASSERT_EQ(form->widgets.size(), 8u);
    struct expected {
        field_kind kind;
        std::vector<std::string> values;
        const char* why;
    };
    const expected want[] = {
        {field_kind::text, {"Jo Doe"}, "text"},
        {field_kind::password, {"1"}, "a string qpdf gives as bytes"},
        {field_kind::combo_box, {"Banana"}, "the display string of options inherited from the parent"},
        {field_kind::list_box, {"a", "c"}, "each selected value"},
        {field_kind::check_box, {}, "buttons have states, not values"},
        {field_kind::radio, {}, "radio and no-toggle-to-off flags"},
        {field_kind::push_button, {}, "push button"},
        {field_kind::text, {}, "a text stream is named, not read"},
    };
    for (size_t i = 0; i < 8; ++i) {
        const field_widget& w = form->widgets[i];
        EXPECT_EQ(w.kind, want[i].kind) << want[i].why;
        EXPECT_EQ(w.values, want[i].values) << want[i].why;
        EXPECT_TRUE(w.rect) << want[i].why;
    }
    const auto& widgets = form->widgets;
    EXPECT_EQ(widgets[0].rect->x0, 10);  // indirect, corners reversed
    EXPECT_EQ(widgets[0].rect->y1, 40);
    EXPECT_EQ(widgets[0].rotation, 90);
    EXPECT_FALSE(widgets[0].appearance_states);
    EXPECT_EQ(widgets[4].state, "Yes");
    ASSERT_TRUE(widgets[4].background);
    EXPECT_DOUBLE_EQ((*widgets[4].background)[0], 0.5);  // CMYK 0 0 0 0.5
    EXPECT_EQ(widgets[4].appearance_states, (std::vector<std::string>{"Off", "Yes"}));
    EXPECT_EQ(widgets[5].widget, "16 0 R");  // the widget, not the field
    EXPECT_EQ(widgets[5].value_state, "2");
    EXPECT_EQ(widgets[6].page, 0);
    EXPECT_EQ(widgets[6].appearance_states, std::vector<std::string>{});  // one stream
    EXPECT_EQ(widgets[7].value_stream, "18 0 R");
    EXPECT_FALSE(kestrin::test::form_from_qpdf_json(*parse_json(R"({"pages": []})")));
}

TEST(QpdfForm, ButtonsAreOnByStateElseByAValueTheirAppearanceHas)
{
    struct row {
        const char* state;
        const char* value;
        std::optional<std::vector<std::string>> states;
        bool on;
    };
    const std::vector<std::string> yes_off{"Off", "Yes"};
    const row rows[] = {
        {"Yes", "", yes_off, true},
        {"Off", "Yes", yes_off, false},   // AS wins over V
        {"Other", "", yes_off, true},     // a state the appearance lacks is still asked for
        {"", "Yes", yes_off, true},
        {"", "No", yes_off, false},       // V names a state the widget does not have
        {"", "Yes", std::nullopt, true},  // no appearance to choose from
        {"", "Off", std::nullopt, false},
        {"", "", std::nullopt, false},
    };
    for (const row& r : rows) {
        field_widget w;
        w.kind = field_kind::check_box;
        w.state = r.state;
        w.value_state = r.value;
        w.appearance_states = r.states;
        EXPECT_EQ(kestrin::test::button_is_on(w), r.on) << r.state << " / " << r.value;
    }
}

TEST(PageText, ReadsWordsAndCharactersPerPage)
{
    const auto words = kestrin::test::words_from_pdftotext(
        "<doc>\n<page width=\"200\" height=\"100\">\n"
        "<word xMin=\"10\" yMin=\"20\" xMax=\"30\" yMax=\"32\">Tom&amp;Jerry</word>\n"
        "<word xMin=\"40\" yMin=\"20\" xMax=\"50\" yMax=\"32\">&lt;&#233;&#x20AC;&gt;</word>\n"
        "<word xMin=\"bad\" yMin=\"20\" xMax=\"50\" yMax=\"32\">skipped</word>\n"
        "</page>\n<page width=\"200\" height=\"100\">\n</page>\n</doc>");
    ASSERT_EQ(words.size(), 2u);
    ASSERT_EQ(words[0].size(), 2u);
    EXPECT_EQ(words[0][0].text, "Tom&Jerry");
    EXPECT_EQ(words[0][0].box.x1, 30);
    EXPECT_EQ(words[0][1].text, "<\xC3\xA9\xE2\x82\xAC>");
    EXPECT_TRUE(words[1].empty());

    const auto chars = kestrin::test::characters_from_mutool(
        "<document>\n<page id=\"page1\" width=\"200\" height=\"100\">\n<line>\n"
        "<char quad=\"12 20 10 20 12 30 10 30\" x=\"10\" y=\"28\" color=\"#000000\" c=\"&quot;\"/>\n"
        "<char quad=\"12 20 14 20\" x=\"12\" y=\"28\" c=\"x\"/>\n"  // a quad of two corners
        "</line>\n</page>\n</document>");
    ASSERT_EQ(chars.size(), 1u);
    ASSERT_EQ(chars[0].size(), 1u);
    EXPECT_EQ(chars[0][0].text, "\"");
    EXPECT_EQ(chars[0][0].box.x0, 10);  // corners in any order
    EXPECT_EQ(chars[0][0].box.y1, 30);
}

TEST(PageText, TextWithinTakesWhatIsCentredInTheBoxAndItsMargin)
{
    const std::vector<kestrin::test::placed_text> items = {
        {{10, 10, 20, 20}, "in"},          // centre 15, 15
        {{0, 10, 6, 20}, "edge"},          // centre 3, 15: inside a margin of 2
        {{22, 10, 40, 20}, "outside"},     // centre 31, 15
        {{10, 10, 20, 20}, " spaced out "},
    };
    const pdf_rect box{5, 5, 25, 25};
    EXPECT_EQ(kestrin::test::text_within(items, box, 0), "inspacedout");
    EXPECT_EQ(kestrin::test::text_within(items, box, 2), "inedgespacedout");
    EXPECT_EQ(kestrin::test::text_within(items, box, 7), "inedgeoutsidespacedout");
}

}  // namespace
