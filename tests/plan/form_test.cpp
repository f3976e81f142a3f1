#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "plan/form.h"
#include "plan_fixture.h"

namespace {

using kestrin::plan::count_field_leaves;
using kestrin::plan::field_node_leaf_count;
using kestrin::plan::find_form;
using kestrin::plan::form_location;
using kestrin::test::loaded_doc;
using kestrin::test::one_page_doc;
using kestrin::test::pdf_builder;
using kestrin::test::ref_repeat;
using kestrin::test::ref_run;

using objects = std::vector<std::pair<int, std::string>>;

struct acroform_case {
    const char* why;
    std::string catalog_extra;
    objects extra;
    bool in_object_stream;
    int found;
    std::int32_t form_obj;
};

TEST(FindAcroform, Locations)
{
    const acroform_case cases[] = {
        {"no form entry", "", {}, false, 0, -1},
        {"null value", "/AcroForm null", {}, false, 0, -1},
        {"reference to a missing object", "/AcroForm 99 0 R", {}, false, 0, -1},
        {"reference to object 0", "/AcroForm 0 0 R", {}, false, 0, -1},
        {"name value", "/AcroForm /Form", {}, false, 0, -1},
        {"hex string value", "/AcroForm <ab>", {}, false, 0, -1},
        {"inline dictionary", "/AcroForm << /Fields [] >>", {}, false, 1, -1},
        {"inline dictionary without a space", "/AcroForm<</Fields []>>", {}, false, 1, -1},
        {"object of its own", "/AcroForm 20 0 R", {{20, "<< /Fields [] >>"}}, false, 1, 20},
        {"object in an object stream", "/AcroForm 20 0 R", {{20, "<< /Fields [] >>"}}, true, 1, 20},
        {"object without a dictionary", "/AcroForm 20 0 R", {{20, "[1 0 R]"}}, false, 0, -1},
    };
    for (const acroform_case& c : cases) {
        pdf_builder b = one_page_doc("", c.catalog_extra);
        if (c.in_object_stream)
            b.object_stream(30, c.extra);
        else
            for (const auto& [num, body] : c.extra) b.object(num, body);
        loaded_doc doc(b.build());
        ASSERT_EQ(doc.rc, 0) << c.why;
        const std::optional<form_location> found = find_form(doc.d, doc.d.root);
        EXPECT_EQ(found.has_value(), c.found == 1) << c.why;
        if (found) {
            const form_location& loc = *found;
            EXPECT_EQ(loc.form_obj, c.form_obj) << c.why;
            ASSERT_GE(loc.form_start, 0) << c.why;
            ASSERT_LE(loc.form_end, static_cast<std::int32_t>(loc.form_text.size())) << c.why;
            EXPECT_EQ(loc.form_text.substr(static_cast<std::size_t>(loc.form_start), 2), "<<")
                << c.why;
            EXPECT_NE(
                loc.form_text.substr(static_cast<std::size_t>(loc.form_start)).find("/Fields"),
                std::string_view::npos)
                << c.why;
        }
    }
}

TEST(FindAcroform, MissingCatalogFindsNothing)
{
    loaded_doc doc(one_page_doc("", "/AcroForm << /Fields [5 0 R] >>").build());
    ASSERT_EQ(doc.rc, 0);
    EXPECT_FALSE(find_form(doc.d, 999).has_value());
}

// Field count of a document whose catalog has form_entry, with the given extra objects.
std::int32_t field_count(const std::string& form_entry, const objects& extra)
{
    pdf_builder b = one_page_doc("", form_entry);
    for (const auto& [num, body] : extra) b.object(num, body);
    loaded_doc doc(b.build());
    EXPECT_EQ(doc.rc, 0);
    const std::optional<form_location> form = find_form(doc.d, doc.d.root);
    return form ? count_field_leaves(doc.d, *form) : -1;
}

// A chain of nested fields from object 10 down to 10 + levels - 1, the last one terminal.
objects field_chain(int levels)
{
    objects out;
    for (int i = 0; i < levels; ++i) {
        const int num = 10 + i;
        const bool last = i == levels - 1;
        out.emplace_back(num, last ? "<< /T (leaf) /FT /Tx >>"
                                   : "<< /T (n) /Kids [" + std::to_string(num + 1) + " 0 R] >>");
    }
    return out;
}

objects leaf_fields(int first, int count)
{
    objects out;
    for (int i = 0; i < count; ++i) out.emplace_back(first + i, "<< /FT /Tx >>");
    return out;
}

struct count_case {
    const char* why;
    std::string form_entry;
    objects extra;
    std::int32_t count;
};

TEST(CountFieldLeaves, Trees)
{
    objects thousand_one_hundred = leaf_fields(10, 1100);
    const count_case cases[] = {
        {"form without Fields", "/AcroForm << /DA (x) >>", {}, 0},
        {"empty Fields", "/AcroForm << /Fields [] >>", {}, 0},
        {"one field with two kids plus a single field",
         "/AcroForm << /Fields [10 0 R 11 0 R] >>",
         {{10, "<< /Kids [12 0 R 13 0 R] >>"}, {11, "<< /FT /Tx >>"}, {12, "<< >>"}, {13, "<< >>"}},
         3},
        {"radio group with three widgets",
         "/AcroForm << /Fields [10 0 R] >>",
         {{10, "<< /FT /Btn /Kids [11 0 R 12 0 R 13 0 R] >>"},
          {11, "<< /Subtype /Widget >>"},
          {12, "<< /Subtype /Widget >>"},
          {13, "<< /Subtype /Widget >>"}},
         3},
        {"a field whose only kid is itself counts 0",
         "/AcroForm << /Fields [19 0 R] >>",
         {{19, "<< /Kids [20 0 R] >>"}, {20, "<< /Kids [20 0 R] >>"}},
         0},
        {"terminal field at depth 8 is counted", "/AcroForm << /Fields [10 0 R] >>", field_chain(9),
         1},
        {"terminal field at depth 9 is not", "/AcroForm << /Fields [10 0 R] >>", field_chain(10),
         0},
        {"inline dictionary in Kids makes a terminal field",
         "/AcroForm << /Fields [10 0 R] >>",
         {{10, "<< /Kids [<< /T (x) >>] >>"}},
         1},
        {"empty Kids makes a terminal field",
         "/AcroForm << /Fields [10 0 R] >>",
         {{10, "<< /Kids [] >>"}},
         1},
        {"indirect Kids makes a terminal field",
         "/AcroForm << /Fields [10 0 R] >>",
         {{10, "<< /Kids 11 0 R >>"}, {11, "[12 0 R 13 0 R]"}},
         1},
        {"missing field adds 0", "/AcroForm << /Fields [10 0 R 99 0 R] >>", {{10, "<< >>"}}, 1},
        {"field without a dictionary adds 0",
         "/AcroForm << /Fields [10 0 R] >>",
         {{10, "[1 2]"}},
         0},
        {"a shared kid counts once per reference",
         "/AcroForm << /Fields [10 0 R 11 0 R] >>",
         {{10, "<< /Kids [12 0 R] >>"}, {11, "<< /Kids [12 0 R] >>"}, {12, "<< >>"}},
         2},
        {"a cycle between fields ends at the depth limit",
         "/AcroForm << /Fields [10 0 R] >>",
         {{10, "<< /Kids [11 0 R] >>"}, {11, "<< /Kids [10 0 R] >>"}},
         0},
        {"1100 top-level fields count 1024", "/AcroForm << /Fields [" + ref_run(10, 1100) + "] >>",
         thousand_one_hundred, 1024},
        {"4100 kids of one node count 4096",
         "/AcroForm << /Fields [10 0 R] >>",
         {{10, "<< /Kids [" + ref_repeat(11, 4100) + "] >>"}, {11, "<< >>"}},
         4096},
        {"form dictionary as its own object",
         "/AcroForm 9 0 R",
         {{9, "<< /Fields [10 0 R] >>"}, {10, "<< >>"}},
         1},
    };
    for (const count_case& c : cases)
        EXPECT_EQ(field_count(c.form_entry, c.extra), c.count) << c.why;
}

TEST(CountFieldLeaves, SumAbove100000StopsVisitingKids)
{
    // The root's kids each hold 4096 terminal fields: after 25 of them the sum, 102400, is past the
    // cut, so the 26th is not visited.
    const objects extra = {
        {10, "<< /Kids [" + ref_repeat(11, 26) + "] >>"},
        {11, "<< /Kids [" + ref_repeat(12, 4096) + "] >>"},
        {12, "<< /FT /Tx >>"},
    };
    EXPECT_EQ(field_count("/AcroForm << /Fields [10 0 R] >>", extra), 25 * 4096);
}

TEST(CountFieldLeaves, NodeBudgetIsSharedByTheWholeCount)
{
    // Each top-level field visits 1 + 24 + 24 * 4096 = 98329 nodes and counts 98304. The third
    // one finds 200000 - 2 * 98329 = 3342 nodes left: itself, one kid and 3340 terminal fields.
    const objects extra = {
        {10, "<< /Kids [" + ref_repeat(11, 24) + "] >>"},
        {11, "<< /Kids [" + ref_repeat(12, 4096) + "] >>"},
        {12, "<< /FT /Tx >>"},
    };
    EXPECT_EQ(field_count("/AcroForm << /Fields [10 0 R 10 0 R 10 0 R] >>", extra),
              2 * 24 * 4096 + 3340);
}

TEST(FieldNodeLeafCount, SpendsTheBudgetPerVisitedNode)
{
    pdf_builder b = one_page_doc();
    b.object(10, "<< /Kids [11 0 R 11 0 R 11 0 R] >>").object(11, "<< /FT /Tx >>");
    loaded_doc doc(b.build());
    ASSERT_EQ(doc.rc, 0);

    std::int32_t nodes_left = 100;
    EXPECT_EQ(field_node_leaf_count(doc.d, 10, 0, nodes_left), 3);
    EXPECT_EQ(nodes_left, 96);

    nodes_left = 2;  // the node and its first kid
    EXPECT_EQ(field_node_leaf_count(doc.d, 10, 0, nodes_left), 1);

    nodes_left = 100;
    EXPECT_EQ(field_node_leaf_count(doc.d, 10, 9, nodes_left), 0);  // depth 9 is not visited
    EXPECT_EQ(nodes_left, 100);
    EXPECT_EQ(field_node_leaf_count(doc.d, 11, 8, nodes_left), 1);
    EXPECT_EQ(field_node_leaf_count(doc.d, 99, 0, nodes_left), 0);  // missing object costs nothing
    EXPECT_EQ(nodes_left, 99);
}

TEST(CountFieldLeaves, EachCountHasABudgetOfItsOwn)
{
    // Sixty fields of 4,096 kids each spend the whole budget of a count: a budget shared between
    // the two counts would leave the second one short.
    pdf_builder b = one_page_doc("", "/AcroForm << /Fields [" + ref_repeat(10, 60) + "] >>");
    b.object(10, "<< /Kids [" + ref_repeat(11, 4096) + "] >>").object(11, "<< /FT /Tx >>");
    loaded_doc doc(b.build());
    ASSERT_EQ(doc.rc, 0);
    const std::optional<form_location> form = find_form(doc.d, doc.d.root);
    ASSERT_TRUE(form.has_value());
    const std::int32_t first = count_field_leaves(doc.d, *form);
    EXPECT_GT(first, 0);
    EXPECT_EQ(count_field_leaves(doc.d, *form), first);
}

}  // namespace
