// The caller's choices beyond the mode: Links kept, only printing annotations flattened.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plan/plan.h"
#include "plan_fixture.h"

namespace {

using kestrin::plan::flatten_mode;
using kestrin::plan::flatten_plan;
using kestrin::plan::plan_choices;
using kestrin::test::loaded_doc;
using kestrin::test::one_page_doc;

// Page 3 lists: 10 a Link (prints), 11 a printing Square, 12 a non-printing Square, 13 a text field
// widget that prints, 14 a text field widget that does not.
std::string mixed_doc()
{
    return one_page_doc("/Annots [10 0 R 11 0 R 12 0 R 13 0 R 14 0 R]",
                        "/AcroForm << /Fields [13 0 R 14 0 R] >>")
        .object(10, "<< /Type /Annot /Subtype /Link /Rect [0 0 10 10] /F 4 /A << /S /URI /URI (https://example.invalid/) >> >>")
        .object(11, "<< /Type /Annot /Subtype /Square /Rect [10 10 60 60] /F 4 /AP << /N 20 0 R >> >>")
        .object(12, "<< /Type /Annot /Subtype /Square /Rect [110 110 160 160] /F 0 /AP << /N 21 0 R >> >>")
        .object(13, "<< /Type /Annot /Subtype /Widget /FT /Tx /T (a) /Rect [0 100 50 120] /F 4 /AP << /N 20 0 R >> >>")
        .object(14, "<< /Type /Annot /Subtype /Widget /FT /Tx /T (b) /Rect [0 130 50 150] /AP << /N 21 0 R >> >>")
        .stream(20, "/Type /XObject /Subtype /Form /BBox [0 0 50 50]", "1 0 0 rg 0 0 50 50 re f\n")
        .stream(21, "/Type /XObject /Subtype /Form /BBox [0 0 50 50]", "0 0 1 rg 0 0 50 50 re f\n")
        .trailer("/Root 1 0 R")
        .build();
}

struct summary {
    std::vector<std::int32_t> drawn;   // flattened items that draw
    std::vector<std::int32_t> hidden;  // flattened items removed without a picture
    std::vector<std::int32_t> kept;
};

summary plan_with(const plan_choices& c)
{
    loaded_doc l(mixed_doc());
    EXPECT_EQ(l.rc, 0);
    auto made = kestrin::plan::make_plan(l.d, c);
    EXPECT_TRUE(made.ok()) << made.message();
    summary s;
    if (!made) return s;
    const flatten_plan& p = made.value();
    for (const auto& item : p.items) (item.hidden ? s.hidden : s.drawn).push_back(item.obj);
    s.kept = kestrin::test::kept_objects(p.pages.at(0));
    return s;
}

using nums = std::vector<std::int32_t>;

TEST(PlanChoices, DefaultChoicesAreTheModesPlan)
{
    loaded_doc l(mixed_doc());
    ASSERT_EQ(l.rc, 0);
    for (flatten_mode m : {flatten_mode::all, flatten_mode::forms, flatten_mode::annotations}) {
        plan_choices c;
        c.mode = m;
        auto a = kestrin::plan::make_plan(l.d, m);
        auto b = kestrin::plan::make_plan(l.d, c);
        ASSERT_TRUE(a && b);
        ASSERT_EQ(a->items.size(), b->items.size());
        for (std::size_t i = 0; i < a->items.size(); ++i) {
            EXPECT_EQ(a->items[i].obj, b->items[i].obj);
            EXPECT_EQ(a->items[i].hidden, b->items[i].hidden);
        }
        EXPECT_EQ(a->dropped, b->dropped);
        EXPECT_EQ(a->pages.at(0).kept, b->pages.at(0).kept);
        EXPECT_EQ(a->next_free_obj, b->next_free_obj);
    }
}

TEST(PlanChoices, KeepLinks)
{
    plan_choices c;
    c.keep_links = true;
    summary s = plan_with(c);
    EXPECT_EQ(s.kept, (nums{10}));
    EXPECT_EQ(s.drawn, (nums{11, 12, 13, 14}));
    EXPECT_TRUE(s.hidden.empty());
}

TEST(PlanChoices, PrintOnlyRemovesOrKeepsTheOthers)
{
    plan_choices c;
    c.print_only = true;
    summary removed = plan_with(c);
    EXPECT_EQ(removed.drawn, (nums{10, 11, 13}));
    EXPECT_EQ(removed.hidden, (nums{12, 14}));
    EXPECT_TRUE(removed.kept.empty());

    c.keep_non_printing = true;
    summary kept = plan_with(c);
    EXPECT_EQ(kept.drawn, (nums{10, 11, 13}));
    EXPECT_EQ(kept.hidden, (nums{14}));  // a field widget goes with its form
    EXPECT_EQ(kept.kept, (nums{12}));
}

TEST(PlanChoices, OnlyWhatTheModeFlattensIsChanged)
{
    plan_choices c;
    c.mode = flatten_mode::forms;
    c.keep_links = true;
    c.print_only = true;
    c.keep_non_printing = true;
    summary s = plan_with(c);
    EXPECT_EQ(s.kept, (nums{10, 11, 12}));
    EXPECT_EQ(s.drawn, (nums{13}));
    EXPECT_EQ(s.hidden, (nums{14}));

    c.mode = flatten_mode::annotations;
    s = plan_with(c);
    EXPECT_EQ(s.kept, (nums{10, 12, 13, 14}));
    EXPECT_EQ(s.drawn, (nums{11}));
    EXPECT_TRUE(s.hidden.empty());
}

}  // namespace
