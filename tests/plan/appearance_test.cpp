#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "plan/appearance.h"
#include "plan_fixture.h"

namespace {

using kestrin::plan::ap_state_ref;
using kestrin::plan::appearance_state;
using kestrin::plan::first_ref_in;
using kestrin::plan::select_appearance;
using kestrin::test::loaded_doc;
using kestrin::test::one_page_doc;
using kestrin::test::pdf_builder;

using state = std::optional<std::string>;

// Streams 5 to 9 and 12 are appearance streams; 30 to 33 are other objects.
std::string appearance_doc()
{
    pdf_builder b = one_page_doc();
    for (int num : {5, 6, 7, 8, 9, 12})
        b.stream(num, "/Type /XObject /Subtype /Form /BBox [0 0 10 10]", "0 g\n");
    b.object(30, "<< /N 12 0 R >>");
    b.object(31, "<< /Off 7 0 R /Yes 8 0 R >>");
    b.object(32, "<< /Foo /Bar >>");
    b.object(33, "[1 2 3]");
    return b.build();
}

struct select_case {
    const char* why;
    std::string annot;  // the annotation dictionary
    state as;
    std::int32_t ap;
};

TEST(SelectAppearance, NormalAppearanceOfTheState)
{
    const select_case cases[] = {
        {"single normal stream", "<< /AP << /N 12 0 R >> >>", std::nullopt, 12},
        {"a single normal stream serves every state", "<< /AP << /N 12 0 R >> >>", "Yes", 12},
        {"appearance dictionary as an object", "<< /AP 30 0 R >>", std::nullopt, 12},
        {"state on", "<< /AP << /N << /Off 7 0 R /Yes 8 0 R >> >> >>", "Yes", 8},
        {"state off", "<< /AP << /N << /Off 7 0 R /Yes 8 0 R >> >> >>", "Off", 7},
        {"no state: the first state listed", "<< /AP << /N << /Off 7 0 R /Yes 8 0 R >> >> >>",
         std::nullopt, 7},
        {"empty state: the first state listed", "<< /AP << /N << /Off 7 0 R /Yes 8 0 R >> >> >>",
         "", 7},
        // Changed: a state that "N" does not list draws nothing rather than the first state.
        {"state not listed", "<< /AP << /N << /Off 7 0 R /Yes 8 0 R >> >> >>", "Maybe", -1},
        // Changed: an unchecked box whose "N" holds only its on state must not come out checked.
        {"only the on state is listed", "<< /AP << /N << /Yes 8 0 R >> >> >>", "Off", -1},
        // Changed: the down look listed first is not drawn; only "N" is searched.
        {"down states come first",
         "<< /AP << /D << /Off 5 0 R /Yes 6 0 R >> /N << /Off 7 0 R /Yes 8 0 R >> >> >>", "Yes", 8},
        // Changed: the state's entry in "D" is not taken over the single "N" stream.
        {"single stream with down states", "<< /AP << /N 12 0 R /D << /Off 9 0 R >> >> >>", "Off",
         12},
        {"single stream with down states, no state",
         "<< /AP << /N 12 0 R /D << /Off 9 0 R >> >> >>", std::nullopt, 12},
        // Changed: without "N" nothing is drawn, not the first reference of the dictionary.
        {"no normal appearance", "<< /AP << /D 5 0 R /R 6 0 R >> >>", std::nullopt, -1},
        {"a state called N inside D", "<< /AP << /D << /N 5 0 R >> /N 12 0 R >> >>", "N", 12},
        // Changed: the search stays inside the appearance dictionary.
        {"no N in the dictionary, one after it", "<< /AP << /D 5 0 R >> /N 12 0 R >>", std::nullopt,
         -1},
        {"N names a dictionary of states", "<< /AP << /N 31 0 R >> >>", "Yes", 8},
        {"N names a dictionary of states, no state", "<< /AP << /N 31 0 R >> >>", std::nullopt, 7},
        {"N names a dictionary without states", "<< /AP << /N 32 0 R >> >>", std::nullopt, -1},
        {"N names an array", "<< /AP << /N 33 0 R >> >>", std::nullopt, -1},
        {"N names a missing object", "<< /AP << /N 99 0 R >> >>", std::nullopt, -1},
        {"state names a non-stream", "<< /AP << /N << /Yes 33 0 R >> >> >>", "Yes", -1},
        {"state names a missing object", "<< /AP << /N << /Yes 98 0 R >> >> >>", "Yes", -1},
        {"compact writing", "<</AP<</N<</Off 7 0 R/Yes 8 0 R>>>>>>", "Yes", 8},
        {"reference without generation", "<< /AP << /N << /Yes 8 R >> >> >>", "Yes", 8},
        {"R followed by a letter is no reference", "<< /AP << /N << /Yes 8 0 Rx >> >> >>", "Yes",
         -1},
        {"name value", "<< /AP /Foo >>", std::nullopt, -1},
        {"array value", "<< /AP [12 0 R] >>", std::nullopt, -1},
        {"number 0", "<< /AP 0 >>", std::nullopt, -1},
        {"reference to a missing object", "<< /AP 99 0 R >>", std::nullopt, -1},
        {"reference to an object without a dictionary", "<< /AP 33 0 R >>", std::nullopt, -1},
        {"no AP", "<< /Subtype /Square >>", std::nullopt, -1},
        {"unclosed appearance dictionary", "<< /AP << /N 12 0 R", std::nullopt, -1},
    };
    loaded_doc doc(appearance_doc());
    ASSERT_EQ(doc.rc, 0);
    for (const select_case& c : cases)
        EXPECT_EQ(select_appearance(doc.d, c.annot, 0, c.as), c.ap) << c.why;
}

struct state_case {
    const char* why;
    std::string annot;
    state expected;
};

TEST(AppearanceState, FromAsElseV)
{
    const state_case cases[] = {
        {"AS wins over V", "<< /AS /Off /V /Yes >>", "Off"},
        {"V when AS is absent", "<< /V /Yes >>", "Yes"},
        {"a text value is no state", "<< /V (Yes) >>", std::nullopt},
        {"AS without a name value falls back to V", "<< /AS (x) /V /On >>", "On"},
        {"neither", "<< /Subtype /Widget >>", std::nullopt},
        {"a longer key is another key", "<< /ASX /On >>", std::nullopt},
        {"a nested dictionary's AS is not the annotation's", "<< /MK << /AS /No >> /AS /On >>", "On"},
        {"escapes are decoded", "<< /AS /#4Fn >>", "On"},
    };
    for (const state_case& c : cases) EXPECT_EQ(appearance_state(c.annot, 0), c.expected) << c.why;
}

struct ref_case {
    const char* why;
    std::string text;
    std::int32_t expected;
};

TEST(ApStateRef, ReferenceAfterTheFirstKey)
{
    const ref_case cases[] = {
        {"plain reference", "<< /Yes 8 0 R >>", 8},
        {"no generation", "<< /Yes 8 R >>", 8},
        {"no space before R", "<< /Yes 8 0R >>", 8},
        {"R at the limit", "/Yes 8 0 R", 8},
        {"R followed by a digit", "<< /Yes 8 0 R1 >>", -1},
        {"limit right after N", "/Yes 8", -1},
        {"limit right after G", "/Yes 8 0", -1},
        {"only the first occurrence counts", "<< /Yes /X /Yes 8 0 R >>", -1},
        {"a longer name is another name", "<< /Yess 8 0 R >>", -1},
        {"missing", "<< /No 8 0 R >>", -1},
        {"escaped name", "<< /Y#65s 8 0 R >>", 8},
        {"a nested dictionary's key is not a state", "<< /A << /Yes 9 0 R >> >>", -1},
    };
    for (const ref_case& c : cases) EXPECT_EQ(ap_state_ref(c.text, 0, "Yes"), c.expected) << c.why;
}

TEST(FirstRefIn, FirstNameFollowedByAReference)
{
    const ref_case cases[] = {
        {"first entry", "<< /Off 7 0 R /Yes 8 0 R >>", 7},
        {"entries without references are passed over", "<< /Type /X /Yes 8 0 R >>", 8},
        {"a nested dictionary's entries are not states", "<< /A << /B 9 0 R >> >>", -1},
        {"a broken reference is passed over", "<< /A 7 0 Rx /B 8 0 R >>", 8},
        {"none", "<< /A 1 /B (x) >>", -1},
        {"name running to the limit", "<< /A", -1},
    };
    for (const ref_case& c : cases) EXPECT_EQ(first_ref_in(c.text, 0), c.expected) << c.why;
}

}  // namespace
