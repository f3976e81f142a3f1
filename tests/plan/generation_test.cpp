// Which widgets the plan draws through an appearance made from their value, and the XObjects it
// numbers for them.
#include <gtest/gtest.h>

#include <string>

#include "plan/plan.h"
#include "plan_fixture.h"

namespace {

using kestrin::plan::flatten_mode;
using kestrin::plan::plan_choices;
using kestrin::test::loaded_doc;
using kestrin::test::one_page_doc;

// One widget, object 10, whose entries are widget; its parent 11 holds parent_entries; object 20
// is an appearance stream.
std::string widget_doc(const std::string& widget, const std::string& form_extra = "",
                       const std::string& parent_entries = "/T (p)")
{
    return one_page_doc("/Annots [10 0 R]", "/AcroForm << /Fields [11 0 R] " + form_extra + " >>")
        .object(10, "<< /Type /Annot /Subtype /Widget /Rect [0 100 50 120] /Parent 11 0 R " + widget + " >>")
        .object(11, "<< /Kids [10 0 R] " + parent_entries + " >>")
        .stream(20, "/Type /XObject /Subtype /Form /BBox [0 0 50 20]", "0 0 1 rg 0 0 50 20 re f\n")
        .build();
}

struct generation_case {
    const char* why;
    std::string pdf;
    bool generated;
};

TEST(PlanGeneration, MarksTextAndComboWidgetsThatNeedAnAppearance)
{
    const std::string need = "/NeedAppearances true";
    const generation_case cases[] = {
        {"text field without appearance", widget_doc("/FT /Tx /V (a)"), true},
        {"type and flags inherited", widget_doc("/V (a)", "", "/FT /Ch /Ff 131072"), true},
        {"text field with appearance", widget_doc("/FT /Tx /AP << /N 20 0 R >>"), false},
        {"stale appearances", widget_doc("/FT /Tx /AP << /N 20 0 R >>", need), true},
        {"NeedAppearances naming a missing object", widget_doc("/FT /Tx /AP << /N 20 0 R >>", "/NeedAppearances 21 0 R"), false},
        {"NeedAppearances false", widget_doc("/FT /Tx /AP << /N 20 0 R >>", "/NeedAppearances false"), false},
        {"combo box", widget_doc("/FT /Ch /Ff 131072"), true},
        {"list box", widget_doc("/FT /Ch"), true},
        {"push button", widget_doc("/FT /Btn /Ff 65536"), false},
        {"check box without appearance", widget_doc("/FT /Btn /AS /Yes"), true},
        {"radio button inheriting its flags", widget_doc("/AS /Yes", "", "/FT /Btn /Ff 32768"), true},
        {"check box whose appearance has its state", widget_doc("/FT /Btn /AS /Yes /AP << /N << /Yes 20 0 R >> >>"), false},
        {"check box whose appearance lacks its state", widget_doc("/FT /Btn /AS /No /AP << /N << /Yes 20 0 R >> >>"), true},
        {"stale appearances keep a button's", widget_doc("/FT /Btn /AS /Yes /AP << /N << /Yes 20 0 R >> >>", need), false},
        {"hidden", widget_doc("/FT /Tx /F 2"), false},
        {"no view", widget_doc("/FT /Tx /F 32"), false},
        {"flags of the characteristics are not the widget's", widget_doc("/FT /Tx /MK << /F 32 >>"), true},
    };
    for (const generation_case& c : cases) {
        loaded_doc doc(c.pdf);
        ASSERT_EQ(doc.rc, 0) << c.why;
        const auto plan = kestrin::plan::make_plan(doc.d, flatten_mode::all);
        ASSERT_TRUE(plan.ok()) << c.why;
        ASSERT_EQ(plan.value().items.size(), 1u) << c.why;
        EXPECT_EQ(plan.value().items[0].generate, c.generated) << c.why;
        const auto* x = plan.value().xobject_of(0);
        EXPECT_EQ(x != nullptr && x->generated, c.generated) << c.why;
        if (c.generated) {
            EXPECT_EQ(x->ap_obj, 0) << c.why;
        }
    }
}

// A state the appearance lacks shows as Off, never as another on state.
TEST(PlanGeneration, ButtonWithoutItsStateDrawsItsOffAppearance)
{
    loaded_doc doc(widget_doc("/FT /Btn /AS /Maybe /AP << /N << /Yes 21 0 R /Off 20 0 R >> >>"));
    ASSERT_EQ(doc.rc, 0);
    const auto plan = kestrin::plan::make_plan(doc.d, flatten_mode::all);
    ASSERT_TRUE(plan.ok());
    ASSERT_EQ(plan.value().items.size(), 1u);
    EXPECT_FALSE(plan.value().items[0].generate);
    EXPECT_EQ(plan.value().items[0].ap_obj, 20);
}

TEST(PlanGeneration, ChoicesAndModesThatGenerateNothing)
{
    loaded_doc doc(widget_doc("/FT /Tx /V (a)"));
    ASSERT_EQ(doc.rc, 0);
    plan_choices off;
    off.generate_appearances = false;
    const auto without = kestrin::plan::make_plan(doc.d, off);
    ASSERT_TRUE(without.ok());
    ASSERT_EQ(without.value().items.size(), 1u);
    EXPECT_FALSE(without.value().items[0].generate);
    EXPECT_TRUE(without.value().xobjects.empty());

    const auto annotations = kestrin::plan::make_plan(doc.d, flatten_mode::annotations);
    ASSERT_TRUE(annotations.ok());
    EXPECT_TRUE(annotations.value().items.empty());
    EXPECT_TRUE(annotations.value().xobjects.empty());

    // Generation numbers no font: the font is numbered only once an appearance asks for it.
    const auto all = kestrin::plan::make_plan(doc.d, flatten_mode::all);
    ASSERT_TRUE(all.ok());
    EXPECT_EQ(all.value().font_obj, 0);
    kestrin::plan::flatten_plan p = all.value();
    const std::int32_t next = p.next_free_obj;
    kestrin::plan::number_font(p);
    EXPECT_EQ(p.font_obj, next);
    kestrin::plan::number_font(p);
    EXPECT_EQ(p.font_obj, next);
    EXPECT_EQ(p.next_free_obj, next + 1);
}

}  // namespace
