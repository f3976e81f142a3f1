#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plan/refs.h"
#include "plan_fixture.h"

namespace {

using kestrin::plan::collect_ref_list;
using kestrin::test::loaded_doc;
using kestrin::test::one_page_doc;
using kestrin::test::ref_run;

struct inline_case {
    const char* why;
    std::string text;
    std::int32_t result;
    std::vector<std::int32_t> refs;
};

TEST(CollectRefList, InlineArrays)
{
    const inline_case cases[] = {
        {"two references in order", "<< /Annots [12 0 R 15 0 R] >>", 2, {12, 15}},
        {"no space after the key", "<< /Annots[12 0 R] >>", 1, {12}},
        {"empty array", "<< /Annots [] >>", 0, {}},
        {"null value", "<< /Annots null >>", -1, {}},
        {"missing key", "<< /Type /Page >>", -1, {}},
        {"name value", "<< /Annots /Foo >>", -1, {}},
        {"key at the very end", "<< /Annots", -1, {}},
        {"a longer key is another key", "<< /AnnotsX [1 0 R] /Annots [2 0 R] >>", 1, {2}},
        {"duplicates stay", "<< /Annots [12 0 R 12 0 R] >>", 2, {12, 12}},
        {"generation is never an element", "<< /Annots [12 3 R] >>", 1, {12}},
        {"object 0 is left out", "<< /Annots [0 0 R 7 0 R] >>", 1, {7}},
        {"references without R still count", "<< /Annots [4 5 6] >>", 2, {4, 6}},
        {"compact references", "<< /Annots [4 0 R/5 0 R]>>", 2, {4, 5}},
        {"integers inside an inline dictionary", "<< /Annots [<< /A 5 >> 9 0 R] >>", 2, {5, 9}},
        {"unterminated array ends at the limit", "<< /Annots [12 0 R 13", 2, {12, 13}},
        {"reference 0 to an array object", "<< /Annots 0 0 R >>", -1, {}},
        {"reference to a missing object", "<< /Annots 99 0 R >>", -1, {}},
    };
    loaded_doc doc(one_page_doc().build());
    ASSERT_EQ(doc.rc, 0);
    for (const inline_case& c : cases) {
        std::vector<std::int32_t> out;
        EXPECT_EQ(collect_ref_list(doc.d, c.text, 0, "Annots", out, 512), c.result) << c.why;
        EXPECT_EQ(out, c.refs) << c.why;
    }
}

TEST(CollectRefList, SearchStartsAtStart)
{
    loaded_doc doc(one_page_doc().build());
    ASSERT_EQ(doc.rc, 0);
    const std::string text = "/Annots [1 0 R] << /Annots [2 0 R] >>";
    std::vector<std::int32_t> out;
    EXPECT_EQ(collect_ref_list(doc.d, text, 16, "Annots", out, 512), 1);
    EXPECT_EQ(out, std::vector<std::int32_t>{2});
}

TEST(CollectRefList, CapacityCountsWhatIsAlreadyThere)
{
    loaded_doc doc(one_page_doc().build());
    ASSERT_EQ(doc.rc, 0);
    const std::string text = "<< /Annots [" + ref_run(1, 600) + "] >>";

    std::vector<std::int32_t> out;
    EXPECT_EQ(collect_ref_list(doc.d, text, 0, "Annots", out, 512), 512);
    ASSERT_EQ(out.size(), 512u);
    EXPECT_EQ(out.front(), 1);
    EXPECT_EQ(out.back(), 512);

    std::vector<std::int32_t> partly_full(510, 7);
    EXPECT_EQ(collect_ref_list(doc.d, text, 0, "Annots", partly_full, 512), 2);
    EXPECT_EQ(partly_full.size(), 512u);
    EXPECT_EQ(partly_full[510], 1);
    EXPECT_EQ(partly_full[511], 2);
}

struct indirect_case {
    const char* why;
    std::string body;  // object 40
    bool in_object_stream;
    std::int32_t result;
    std::vector<std::int32_t> refs;
};

TEST(CollectRefList, ArrayObjects)
{
    const indirect_case cases[] = {
        {"array object in the file", "[12 0 R 15 0 R]", false, 2, {12, 15}},
        {"array object in an object stream", "[12 0 R 15 0 R]", true, 2, {12, 15}},
        {"dictionary object", "<< /A [12 0 R] >>", false, -1, {}},
        {"dictionary object in an object stream", "<< /A [12 0 R] >>", true, -1, {}},
        {"white space only", "   ", false, 0, {}},
        {"nothing after the bracket", "[", false, 0, {}},
        {"a number is no array", "12", false, -1, {}},
    };
    for (const indirect_case& c : cases) {
        auto b = one_page_doc();
        if (c.in_object_stream)
            b.object_stream(41, {{40, c.body}});
        else
            b.object(40, c.body);
        loaded_doc doc(b.build());
        ASSERT_EQ(doc.rc, 0) << c.why;
        std::vector<std::int32_t> out;
        EXPECT_EQ(collect_ref_list(doc.d, "<< /Annots 40 0 R >>", 0, "Annots", out, 512), c.result)
            << c.why;
        EXPECT_EQ(out, c.refs) << c.why;
    }
}

}  // namespace
