#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "plan/plan.h"
#include "plan_fixture.h"

namespace {

using kestrin::plan::page_plan;
using kestrin::plan::plan_item;
using kestrin::plan::text_has_subtype;
using kestrin::test::kept_objects;
using kestrin::test::one_page_doc;
using kestrin::test::pdf_builder;
using kestrin::test::planned;
using kestrin::test::ref_run;

using objects = std::vector<std::pair<int, std::string>>;

constexpr kestrin::plan::flatten_mode forms = kestrin::plan::flatten_mode::forms;
constexpr kestrin::plan::flatten_mode annotations = kestrin::plan::flatten_mode::annotations;
constexpr kestrin::plan::flatten_mode both = kestrin::plan::flatten_mode::all;
constexpr kestrin::plan::flatten_mode all_modes[] = {forms, annotations, both};

// A one-page document whose page lists annots; the annotation objects start at 10.
std::string page_doc(const std::string& annots, const objects& extra,
                     const std::string& catalog_extra = "")
{
    pdf_builder b = one_page_doc("/Annots [" + annots + "]", catalog_extra);
    for (const auto& [num, body] : extra) b.object(num, body);
    return b.build();
}

enum class outcome { flatten, keep, drop };

// How the plan treated the page's only annotation, object 10, checked for consistency.
outcome planned_outcome(const planned& p)
{
    const page_plan& page = p.plan.pages.at(0);
    if (page.item_count == 1) {
        EXPECT_EQ(p.plan.items.at(0).obj, 10);
        EXPECT_TRUE(page.kept.empty());
        EXPECT_EQ(page.annots_changed, 1);
        EXPECT_EQ(page.needs_content, 1);
        EXPECT_TRUE(p.dropped(10));
        return outcome::flatten;
    }
    EXPECT_EQ(page.item_count, 0);
    EXPECT_EQ(page.annots_changed, 0);
    EXPECT_EQ(page.needs_content, 0);
    EXPECT_FALSE(p.dropped(10));
    if (kept_objects(page) == std::vector<std::int32_t>{10}) return outcome::keep;
    EXPECT_TRUE(page.kept.empty());
    return outcome::drop;
}

struct decision_case {
    const char* why;
    std::string body;  // object 10
    objects extra;
    outcome in_mode[3];
};

constexpr outcome F = outcome::flatten, K = outcome::keep, D = outcome::drop;

TEST(FlPlan, DecisionTableInEveryMode)
{
    const decision_case cases[] = {
        {"annotation-like field", "<< /Type /Annot /Subtype /Widget /FT /Tx >>", {}, {F, K, F}},
        {"annotation-like, no field", "<< /Type /Annot /Subtype /Square >>", {}, {K, F, F}},
        {"field, not annotation-like", "<< /FT /Btn >>", {}, {F, K, F}},
        {"neither", "<< /Foo 1 >>", {}, {D, D, D}},
        {"object without a dictionary", "[1 2 3]", {}, {D, D, D}},
        {"compact widget with Type is annotation-like, kind 0",
         "<< /Subtype/Widget /Type /Annot >>",
         {},
         {K, F, F}},
        {"widget without Type and FT", "<< /Subtype/Widget >>", {}, {D, D, D}},
        {"popup with Type", "<< /Type /Annot /Subtype /Popup >>", {}, {K, F, F}},
        {"link without Type has a kind", "<< /Subtype /Link >>", {}, {K, F, F}},
        {"Type /Annotation is another name", "<< /Type /Annotation >>", {}, {D, D, D}},
        {"compact Type", "<</Type/Annot>>", {}, {K, F, F}},
        {"Annot as the subtype", "<< /Subtype /Annot >>", {}, {K, F, F}},
        {"a later Type occurrence counts",
         "<< /X << /Type /Font >> /Type /Annot >>",
         {},
         {K, F, F}},
        {"widget whose parent has FT",
         "<< /Subtype /Widget /Parent 11 0 R >>",
         {{11, "<< /FT /Tx >>"}},
         {F, K, F}},
        {"FT in a nested dictionary is not the annotation's", "<< /MK << /FT /Tx >> >>", {}, {D, D, D}},
        {"Type in a nested dictionary is not the annotation's", "<< /A << /Type /Annot >> >>", {}, {D, D, D}},
        {"escaped Type", "<< /Type /Ann#6Ft >>", {}, {K, F, F}},
        {"a longer key is no FT", "<< /Type /Annot /FTX /Tx >>", {}, {K, F, F}},
    };
    for (const decision_case& c : cases) {
        for (int m = 0; m < 3; ++m) {
            planned p(page_doc("10 0 R",
                               [&] {
                                   objects all = c.extra;
                                   all.emplace_back(10, c.body);
                                   return all;
                               }()),
                      all_modes[m]);
            ASSERT_EQ(p.load_rc, 0) << c.why;
            ASSERT_EQ(p.plan_rc, 0) << c.why;
            EXPECT_EQ(planned_outcome(p), c.in_mode[m]) << c.why << ", mode " << m;
        }
    }
}

// The plan item of object 10 planned in mode 3; fails the test when it is not flattened.
plan_item flattened_item(const std::string& body, const objects& extra = {})
{
    objects all = extra;
    all.emplace_back(10, body);
    planned p(page_doc("10 0 R", all), both);
    EXPECT_EQ(p.plan_rc, 0);
    if (p.plan.items.size() != 1) {
        ADD_FAILURE() << "not flattened: " << body;
        return {};
    }
    return p.plan.items[0];
}

struct kind_case {
    std::string subtype;  // the value written after "/Subtype"
    std::int32_t kind;
};

TEST(FlPlan, SubtypeTable)
{
    const kind_case cases[] = {
        {"/Text", 1},       {"/Highlight", 2}, {"/Underline", 3}, {"/Squiggly", 4},
        {"/StrikeOut", 5},  {"/FreeText", 6},  {"/Link", 7},      {"/Stamp", 8},
        {"/Ink", 9},        {"/Line", 10},     {"/Square", 11},   {"/Circle", 12},
        {"/Polygon", 13},   {"/PolyLine", 14}, {"/Caret", 15},    {"/FileAttachment", 16},
        {"/Signature", 18},  // the last two rows carry 18 and 17 in this order
        {"/3D", 17},        {"/Widget", 0},    {"/Popup", 0},     {"/TextBox", 0},
        {"/Line2", 0},      {"/Square>>", 11},  // the name ends at a delimiter
    };
    for (const kind_case& c : cases)
        EXPECT_EQ(flattened_item("<< /Type /Annot /Subtype " + c.subtype + " >>").kind, c.kind)
            << c.subtype;
    // Written without a space.
    EXPECT_EQ(flattened_item("<< /Type /Annot /Subtype/Circle >>").kind, 12);
    // A nested dictionary's Subtype is not the annotation's.
    EXPECT_EQ(flattened_item("<< /Type /Annot /X << /Subtype /Text >> /Subtype /Ink >>").kind, 9);
    EXPECT_EQ(flattened_item("<< /Type /Annot /Subtype /#49nk >>").kind, 9);
}

struct subtype_case {
    const char* why;
    std::string text;
    std::int32_t start;
    int expected;
};

TEST(TextHasSubtype, Matches)
{
    const subtype_case cases[] = {
        {"spaced", "<< /Subtype /Text >>", 0, 1},
        {"compact", "<</Subtype/Text>>", 0, 1},
        {"value at the limit", "/Subtype /Text", 0, 1},
        {"longer value", "<< /Subtype /TextBox >>", 0, 0},
        {"slash at the limit", "/Subtype /", 0, 0},
        {"key at the limit", "/Subtype", 0, 0},
        {"value not a name", "<< /Subtype (Text) >>", 0, 0},
        {"a nested dictionary's Subtype", "<< /Subtype /Form /A << /Subtype /Text >> >>", 0, 0},
        {"a string's text", "<< /T (/Subtype /Text) >>", 0, 0},
        {"escaped value", "<< /Subtype /T#65xt >>", 0, 1},
        {"value followed by an underscore is another name", "/Subtype /Text_x", 0, 0},
    };
    for (const subtype_case& c : cases)
        EXPECT_EQ(text_has_subtype(c.text, c.start, "Text"), c.expected) << c.why;
}

// Object 10 with a chain of parents 11, 12, ..., the parent_with_ft-th of which has "FT".
objects parent_chain(int parent_with_ft)
{
    objects out = {{10, "<< /Type /Annot /Subtype /Widget /Parent 11 0 R >>"}};
    for (int j = 1; j <= parent_with_ft; ++j)
        out.emplace_back(10 + j, j == parent_with_ft
                                     ? std::string("<< /FT /Tx >>")
                                     : "<< /Parent " + std::to_string(11 + j) + " 0 R >>");
    return out;
}

struct parent_case {
    const char* why;
    objects objs;  // object 10 first
    std::int32_t is_field;
};

TEST(FlPlan, ParentChains)
{
    const parent_case cases[] = {
        {"FT on the parent", parent_chain(1), 1},
        {"FT on the grandparent", parent_chain(2), 1},
        {"FT on the 31st parent", parent_chain(31), 1},
        {"FT on the 32nd parent is out of reach", parent_chain(32), 0},
        {"a loop back to the annotation ends after 31 steps",
         {{10, "<< /Type /Annot /Parent 11 0 R >>"}, {11, "<< /Parent 10 0 R >>"}},
         0},
        {"own parent", {{10, "<< /Type /Annot /Parent 10 0 R >>"}}, 0},
        {"a Parent in a nested dictionary is not the widget's",
         {{10, "<< /Type /Annot /A << /Parent 11 0 R >> >>"}, {11, "<< /FT /Ch >>"}},
         0},
        {"FT in the parent's nested dictionary does not count",
         {{10, "<< /Type /Annot /Parent 11 0 R >>"}, {11, "<< /MK << /FT /Ch >> >>"}},
         0},
        {"missing parent", {{10, "<< /Type /Annot /Parent 99 0 R >>"}}, 0},
        {"parent without a dictionary",
         {{10, "<< /Type /Annot /Parent 11 0 R >>"}, {11, "[/FT]"}},
         0},
        {"a longer key is no Parent",
         {{10, "<< /Type /Annot /ParentX 11 0 R >>"}, {11, "<< /FT /Tx >>"}},
         0},
    };
    for (const parent_case& c : cases) {
        objects rest(c.objs.begin() + 1, c.objs.end());
        EXPECT_EQ(flattened_item(c.objs[0].second, rest).is_field, c.is_field) << c.why;
    }
}

struct rect_case {
    const char* why;
    std::string rect;
    std::int32_t ok;
    double x, y, w, h;
};

TEST(FlPlan, Rectangles)
{
    const rect_case cases[] = {
        {"plain", "/Rect [10 20 110 70]", 1, 10, 20, 100, 50},
        // Changed: corners in another order are normalised instead of refused.
        {"corners reversed", "/Rect [200 700 100 650]", 1, 100, 650, 100, 50},
        {"empty box", "/Rect [5 5 5 9]", 0, 0, 0, 0, 0},
        {"three numbers", "/Rect [0 0 612]", 0, 0, 0, 0, 0},
        {"no Rect", "", 0, 0, 0, 0, 0},
        {"fractions", "/Rect [0.5 1.25 2.5 3.75]", 1, 0.5, 1.25, 2, 2.5},
    };
    for (const rect_case& c : cases) {
        const plan_item item = flattened_item("<< /Type /Annot /Subtype /Square " + c.rect + " >>");
        EXPECT_EQ(item.w > 0, c.ok == 1) << c.why;  // an empty box is refused
        EXPECT_DOUBLE_EQ(item.x, c.x) << c.why;
        EXPECT_DOUBLE_EQ(item.y, c.y) << c.why;
        EXPECT_DOUBLE_EQ(item.w, c.w) << c.why;
        EXPECT_DOUBLE_EQ(item.h, c.h) << c.why;
    }
}

TEST(FlPlan, RectangleInAnObjectOfItsOwn)
{
    // Regression: a stamp whose "Rect" is a reference was planned with a zero rectangle and so
    // never drawn.
    const plan_item item = flattened_item("<< /Type /Annot /Subtype /Square /Rect 11 0 R >>",
                                          {{11, "[10 20 110 70]"}});
    EXPECT_GT(item.w, 0);
    EXPECT_DOUBLE_EQ(item.x, 10);
    EXPECT_DOUBLE_EQ(item.w, 100);
    EXPECT_DOUBLE_EQ(item.h, 50);
}

struct entry_case {
    const char* why;
    std::string entries;
    std::int32_t hidden;
    std::int32_t ap_obj;
};

TEST(FlPlan, FlagsAndAppearance)
{
    const entry_case cases[] = {
        {"hidden", "/F 2", 1, -1},
        {"hidden and printed", "/F 6", 1, -1},
        {"printed only", "/F 4", 0, -1},
        {"a nested F is not the flags", "/F 4 /A << /F 2 >>", 0, -1},
        {"additional actions before the flags", "/AA << /F 158 0 R >> /F 4", 0, -1},
        {"characteristics before the flags", "/MK << /F 2 >> /F 4", 0, -1},
        {"no flags of its own", "/MK << /F 2 >>", 0, -1},
        {"flags in an object of their own", "/F 13 0 R", 1, -1},
        {"a file name F is passed over", "/A << /F (x.pdf) >> /F 2", 1, -1},
        {"FT is not F", "/FT /Tx /Ff 2", 0, -1},
        {"normal appearance", "/AP << /N 12 0 R >>", 0, 12},
        {"state not among the normal states", "/AS /Off /AP << /N << /Yes 12 0 R >> >>", 0, -1},
        {"state from V", "/V /Yes /AP << /N << /Off 11 0 R /Yes 12 0 R >> >>", 0, 12},
        {"escaped state", "/AS /#4Fn /AP << /N << /Off 11 0 R /On 12 0 R >> >>", 0, 12},
        {"escaped state name", "/AS /On /AP << /N << /Off 11 0 R /O#6E 12 0 R >> >>", 0, 12},
        {"an AP in a nested dictionary is not the annotation's", "/MK << /AP << /N 12 0 R >> >>", 0, -1},
    };
    const objects streams = {
        {11, "<< /Length 0 >>\nstream\n\nendstream"},
        {12, "<< /Length 0 >>\nstream\n\nendstream"},
        {13, "2"},
    };
    for (const entry_case& c : cases) {
        const plan_item item =
            flattened_item("<< /Type /Annot /Subtype /Square " + c.entries + " >>", streams);
        EXPECT_EQ(item.hidden, c.hidden) << c.why;
        EXPECT_EQ(item.ap_obj, c.ap_obj) << c.why;
    }
}

objects squares(int first, int count)
{
    objects out;
    for (int i = 0; i < count; ++i)
        out.emplace_back(first + i, "<< /Type /Annot /Subtype /Square >>");
    return out;
}

TEST(FlPlan, SixHundredAnnotationsAreAllConsidered)
{
    planned flat(page_doc(ref_run(10, 600), squares(10, 600)), annotations);
    ASSERT_EQ(flat.plan_rc, 0);
    ASSERT_EQ(flat.plan.items.size(), 600u);
    EXPECT_EQ(flat.plan.pages[0].item_count, 600);
    EXPECT_EQ(flat.plan.items[599].obj, 609);
    for (int n = 10; n < 610; ++n) EXPECT_TRUE(flat.dropped(n)) << n;

    planned kept(page_doc(ref_run(10, 600), squares(10, 600)), forms);
    ASSERT_EQ(kept.plan_rc, 0);
    EXPECT_EQ(kept.plan.pages[0].kept.size(), 600u);
}

TEST(FlPlan, ThreeHundredKeptAndOneFlattenedKeepsAllThreeHundred)
{
    objects objs = squares(10, 300);
    objs.emplace_back(310, "<< /Subtype /Widget /FT /Tx >>");
    planned p(page_doc(ref_run(10, 301), objs), forms);
    ASSERT_EQ(p.plan_rc, 0);
    const page_plan& page = p.plan.pages[0];
    EXPECT_EQ(page.annots_changed, 1);
    EXPECT_EQ(page.item_count, 1);
    ASSERT_EQ(page.kept.size(), 300u);
    for (int i = 0; i < 300; ++i) EXPECT_EQ(page.kept[static_cast<std::size_t>(i)].obj, 10 + i);
}

TEST(FlPlan, DuplicatesAndMissingReferences)
{
    const objects objs = {
        {10, "<< /Type /Annot /Subtype /Square >>"},
        {11, "<< /Subtype /Widget /FT /Tx >>"},
    };
    planned p(page_doc("10 0 R 11 0 R 99 0 R 10 0 R 11 0 R", objs), forms);
    ASSERT_EQ(p.plan_rc, 0);
    const page_plan& page = p.plan.pages[0];
    EXPECT_EQ(kept_objects(page), (std::vector<std::int32_t>{10, 10}));  // 99 is passed over
    ASSERT_EQ(p.plan.items.size(), 2u);
    EXPECT_EQ(p.plan.items[0].obj, 11);
    EXPECT_EQ(p.plan.items[1].obj, 11);
}

TEST(FlPlan, PagesGetContiguousItems)
{
    pdf_builder b;
    b.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.object(2, "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R] /Count 3 >>");
    b.object(3, "<< /Type /Page /Parent 2 0 R /Annots [10 0 R] >>");
    b.object(4, "<< /Type /Page /Parent 2 0 R >>");
    b.object(5, "<< /Type /Page /Parent 2 0 R /Annots 6 0 R >>");
    b.object(6, "[10 0 R 11 0 R]");
    b.object(10, "<< /Type /Annot /Subtype /Square >>");
    b.object(11, "<< /Type /Annot /Subtype /Circle >>");
    b.trailer("/Root 1 0 R");
    planned p(b.build(), annotations);
    ASSERT_EQ(p.plan_rc, 0);
    ASSERT_EQ(p.plan.pages.size(), 3u);
    const int page_obj[] = {3, 4, 5}, first[] = {0, 1, 1}, count[] = {1, 0, 2};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(p.plan.pages[i].page_obj, page_obj[i]) << i;
        EXPECT_EQ(p.plan.pages[i].first_item, first[i]) << i;
        EXPECT_EQ(p.plan.pages[i].item_count, count[i]) << i;
        EXPECT_EQ(p.plan.pages[i].needs_content, count[i] > 0 ? 1 : 0) << i;
    }
    ASSERT_EQ(p.plan.items.size(), 3u);
    EXPECT_EQ(p.plan.items[1].obj, 10);  // shared by two pages: one item each
    EXPECT_EQ(p.plan.items[2].kind, 12);
}

// A form 20 with Fields [21], field 21 with widgets 22 and 23 that the page lists.
std::string form_doc(const std::string& form_entry = "/AcroForm 20 0 R")
{
    return page_doc("22 0 R 23 0 R",
                    {{20, "<< /Fields [21 0 R] >>"},
                     {21, "<< /FT /Btn /Kids [22 0 R 23 0 R] >>"},
                     {22, "<< /Type /Annot /Subtype /Widget /Parent 21 0 R >>"},
                     {23, "<< /Type /Annot /Subtype /Widget /Parent 21 0 R >>"}},
                    form_entry);
}

TEST(FlPlan, FieldPassByMode)
{
    struct mode_case {
        kestrin::plan::flatten_mode mode;
        bool fields_dropped;
        std::size_t items;
        std::size_t kept;
    };
    const mode_case cases[] = {
        {forms, true, 2, 0},
        {annotations, false, 0, 2},  // the field pass is skipped, widgets stay annotations
        {both, true, 2, 0},
    };
    for (const mode_case& c : cases) {
        planned p(form_doc(), c.mode);
        ASSERT_EQ(p.plan_rc, 0);
        EXPECT_EQ(p.dropped(20), c.fields_dropped) << static_cast<int>(c.mode);
        EXPECT_EQ(p.dropped(21), c.fields_dropped) << static_cast<int>(c.mode);
        EXPECT_EQ(p.plan.items.size(), c.items) << static_cast<int>(c.mode);
        EXPECT_EQ(p.plan.pages[0].kept.size(), c.kept) << static_cast<int>(c.mode);
        EXPECT_FALSE(p.dropped(1)) << static_cast<int>(c.mode);
    }
}

TEST(FlPlan, InlineFormDropsItsFieldsButNotTheCatalog)
{
    planned p(form_doc("/AcroForm << /Fields [21 0 R] >>"), forms);
    ASSERT_EQ(p.plan_rc, 0);
    ASSERT_TRUE(p.plan.form.has_value());
    EXPECT_EQ(p.plan.form->form_obj, -1);
    EXPECT_FALSE(p.dropped(1));
    EXPECT_FALSE(p.dropped(20));
    EXPECT_TRUE(p.dropped(21));
    EXPECT_TRUE(p.dropped(22));
}

TEST(FlPlan, KeptWidgetReachedFromFieldsIsStillWritten)
{
    // Field 21 names no field type, so its widget 22 is no field and stays an annotation in
    // mode 1; the field pass reached it, but a kept annotation must not vanish from the output.
    const std::string pdf = page_doc("22 0 R",
                                     {{20, "<< /Fields [21 0 R] >>"},
                                      {21, "<< /T (x) /Kids [22 0 R] >>"},
                                      {22, "<< /Type /Annot /Subtype /Widget >>"}},
                                     "/AcroForm 20 0 R");
    planned p(pdf, forms);
    ASSERT_EQ(p.plan_rc, 0);
    EXPECT_EQ(kept_objects(p.plan.pages[0]), std::vector<std::int32_t>{22});
    EXPECT_FALSE(p.dropped(22));
    EXPECT_TRUE(p.dropped(21));
    EXPECT_TRUE(p.dropped(20));
}

// Fields the field pass must reach, and the numbers it must mark.
struct field_walk_case {
    const char* why;
    std::string fields;
    objects objs;
    int first, last;  // every object from first to last is marked
};

objects kids_chain(int first, int levels)
{
    objects out;
    for (int i = 0; i < levels; ++i)
        out.emplace_back(first + i, i + 1 < levels
                                        ? "<< /Kids [" + std::to_string(first + i + 1) + " 0 R] >>"
                                        : std::string("<< /FT /Tx >>"));
    return out;
}

TEST(FlPlan, FieldPassIsComplete)
{
    objects many_kids = {{30, "<< /Kids [" + ref_run(31, 5000) + "] >>"}};
    for (int i = 0; i < 5000; ++i) many_kids.emplace_back(31 + i, "<< /FT /Tx >>");
    objects many_fields;
    for (int i = 0; i < 1100; ++i) many_fields.emplace_back(30 + i, "<< /FT /Tx >>");
    const field_walk_case cases[] = {
        // Changed: all 1100 top-level fields are walked, not the first 1024.
        {"1100 top-level fields", ref_run(30, 1100), many_fields, 30, 1129},
        // Changed: all 5000 kids are walked, not the first 4096.
        {"5000 kids of one field", "30 0 R", many_kids, 30, 5030},
        // Changed: a tree deeper than the old 120-entry stack is walked whole.
        {"a chain 300 levels deep", "30 0 R", kids_chain(30, 300), 30, 329},
        {"a cycle of kids ends",
         "30 0 R",
         {{30, "<< /Kids [31 0 R] >>"}, {31, "<< /Kids [30 0 R 32 0 R] >>"}, {32, "<< >>"}},
         30,
         32},
    };
    for (const field_walk_case& c : cases) {
        objects objs = c.objs;
        objs.emplace_back(20, "<< /Fields [" + c.fields + "] >>");
        planned p(page_doc("", objs, "/AcroForm 20 0 R"), both);
        ASSERT_EQ(p.plan_rc, 0) << c.why;
        EXPECT_TRUE(p.dropped(20)) << c.why;
        int missing = 0;
        for (int n = c.first; n <= c.last; ++n) missing += p.dropped(n) ? 0 : 1;
        EXPECT_EQ(missing, 0) << c.why;
        EXPECT_FALSE(p.dropped(3)) << c.why;  // the page is no field
    }
}

struct page_failure_case {
    const char* why;
    std::int32_t bad_page;
    const char* message;
};

TEST(FlPlan, UnreadablePageFailsWithItsCause)
{
    const page_failure_case cases[] = {
        {"missing page object", 77, "page object 77 is missing"},
        {"page object without a dictionary", 6, "page object 6 has no dictionary"},
    };
    for (const page_failure_case& c : cases) {
        planned p(page_doc("10 0 R", {{6, "[1 2]"}, {10, "<< /Type /Annot /Subtype /Square >>"}}),
                  annotations, false);
        ASSERT_EQ(p.load_rc, 0) << c.why;
        p.doc.pages.push_back(c.bad_page);
        EXPECT_FALSE(p.make()) << c.why;
        EXPECT_EQ(p.plan_error, c.message) << c.why;
    }
}

}  // namespace

namespace {

TEST(FlPlan, FieldsNamingThePageTreeNeverDropIt)
{
    // Regression (found by fuzzing): a damaged "Fields" array and a field whose "Kids" name the
    // catalog, the page-tree root and the page used to leave the output without its pages.
    planned p(page_doc("", {{5, "<< /Fields [1 0 R 2 0 R 6 0 R] >>"}, {6, "<< /T (f) /Kids [3 0 R 7 0 R] >>"},
                            {7, "<< /FT /Tx /Parent 6 0 R >>"}},
                       "/AcroForm 5 0 R"),
              both);
    ASSERT_EQ(p.plan_rc, 0);
    for (int structural : {1, 2, 3}) EXPECT_FALSE(p.dropped(structural)) << structural;
    for (int field : {5, 6, 7}) EXPECT_TRUE(p.dropped(field)) << field;
}

}  // namespace

namespace {

// Enough annotation objects for them to be read in two halves at once: the plan must be the one
// a reading in listing order gives. Object 100 + i is a square (flattened), a field widget (kept)
// or an object of no annotation kind (dropped from the list) as i % 3 says; the second page lists
// ten of the first page's annotations again.
TEST(FlPlan, ManyAnnotationsArePlannedInListingOrder)
{
    constexpr int per_page = 1200;
    pdf_builder b;
    b.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.object(2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>");
    std::vector<std::vector<int>> lists(2);
    for (int i = 0; i < 2 * per_page; ++i) {
        lists[static_cast<std::size_t>(i / per_page)].push_back(100 + i);
        const char* bodies[] = {"<< /Type /Annot /Subtype /Square /Rect [0 0 5 5] >>",
                                "<< /Type /Annot /Subtype /Widget /FT /Tx /Rect [0 0 5 5] >>", "<< /Foo 1 >>"};
        b.object(100 + i, bodies[i % 3]);
    }
    for (int i = 0; i < 10; ++i) lists[1].push_back(100 + i);
    for (int page = 0; page < 2; ++page) {
        std::string annots;
        for (int r : lists[static_cast<std::size_t>(page)]) annots += std::to_string(r) + " 0 R ";
        b.object(3 + page, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 9 9] /Annots [" + annots + "] >>");
    }
    b.trailer("/Root 1 0 R");
    planned p(b.build(), annotations);
    ASSERT_EQ(p.plan_rc, 0);
    std::size_t item = 0;
    for (int page = 0; page < 2; ++page) {
        const page_plan& plan = p.plan.pages.at(static_cast<std::size_t>(page));
        std::vector<std::int32_t> kept;
        std::vector<std::int32_t> flattened;
        for (int r : lists[static_cast<std::size_t>(page)]) {
            if ((r - 100) % 3 == 0) flattened.push_back(r);
            if ((r - 100) % 3 == 1) kept.push_back(r);
        }
        EXPECT_EQ(plan.first_item, static_cast<std::int32_t>(item)) << page;
        ASSERT_EQ(plan.item_count, static_cast<std::int32_t>(flattened.size())) << page;
        for (std::int32_t r : flattened) EXPECT_EQ(p.plan.items.at(item++).obj, r) << page;
        EXPECT_EQ(kept_objects(plan), kept) << page;
    }
    for (int i = 0; i < 2 * per_page; ++i) EXPECT_EQ(p.dropped(100 + i), i % 3 == 0) << i;
}

}  // namespace
