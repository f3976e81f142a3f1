// Page tree resolution and the reading of "Kids" arrays.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "load/pages.h"
#include "load_fixture.h"

namespace kestrin::test {
namespace {

using pages = std::vector<std::int32_t>;

std::string page(int parent = 2) { return "<< /Type /Page /Parent " + std::to_string(parent) + " 0 R >>"; }
std::string node(std::string_view kids) { return "<< /Type /Pages /Kids " + std::string(kids) + " >>"; }

// Catalog 1 pointing at 2, then the given objects.
std::string tree(const std::vector<std::pair<int, std::string>>& objs,
                 std::string_view catalog = "<< /Type /Catalog /Pages 2 0 R >>")
{
    pdf_builder b;
    b.object(1, catalog);
    for (const auto& [num, body] : objs) b.object(num, body);
    b.trailer("/Root 1 0 R");
    return b.build();
}

TEST(PageTree, ResolvesInDocumentOrder)
{
    struct fixture {
        const char* why;
        std::string bytes;
        pages expected;
    };
    const fixture cases[] = {
        // A nested node's pages come where the node stands in its parent's Kids.
        {"nested", tree({{2, node("[3 0 R 4 0 R 7 0 R]")}, {3, page()}, {4, node("[5 0 R 6 0 R]")},
                         {5, page(4)}, {6, page(4)}, {7, page()}}),
         {3, 5, 6, 7}},
        // The catalog's Pages naming a page directly.
        {"pages is a page", tree({{2, page()}}), {2}},
        // A catalog whose own type is Pages is the root.
        {"catalog is the root", tree({{3, page(1)}}, "<< /Type /Pages /Kids [3 0 R] >>"), {3}},
        // A page listed twice occurs twice.
        {"page twice", tree({{2, node("[3 0 R 3 0 R]")}, {3, page()}}), {3, 3}},
        // An empty, an indirect and a missing Kids array give no pages.
        {"empty kids", tree({{2, node("[]")}}), {}},
        {"indirect kids", tree({{2, node("12 0 R")}, {12, "[3 0 R]"}, {3, page()}}), {}},
        {"no kids", tree({{2, "<< /Type /Pages /Count 0 >>"}}), {}},
        // A nested node without kids contributes nothing; the walk goes on.
        {"empty nested", tree({{2, node("[4 0 R 3 0 R]")}, {4, node("[]")}, {3, page()}}), {3}},
        // The sign before a number is skipped; object 0 is not stored.
        {"signs and zero", tree({{2, node("[-3 0 R 0 0 R]")}, {3, page()}}), {3}},
        // Kids are read without separators and after an indirect Kids of a nested dictionary.
        {"compact", tree({{2, "<< /Type /Pages /X << /Kids 9 0 R >> /Kids[3 0 R/x 4 0 R] >>"},
                          {3, page()}, {4, page()}}),
         {3, 4}},
        // A catalog without a Pages entry, and a root number naming no object.
        {"no Pages entry", tree({{2, page()}}, "<< /Type /Catalog >>"), {}},
        {"missing catalog", pdf_builder().object(3, page()).trailer("/Root 1 0 R").build(), {}},
    };
    for (const fixture& c : cases) {
        loaded_doc l(c.bytes);
        ASSERT_EQ(l.rc, 0) << c.why << ": " << l.error;
        EXPECT_EQ(l.page_numbers(), c.expected) << c.why;
    }
}

TEST(PageTree, BrokenTreesFailWithTheirMessages)
{
    const std::string broken = broken_tree_message(2);
    struct fixture {
        const char* why;
        std::string bytes;
        std::string message;
    };
    const fixture cases[] = {
        // An inline page dictionary in the root's Kids.
        {"inline at root", tree({{2, node("[<< /Type /Page >>]")}}), inline_kids_message()},
        // The same one level down breaks the tree.
        {"inline deeper", tree({{2, node("[4 0 R]")}, {4, node("[<< /Type /Page >>]")}}), broken},
        // A node reached twice, through a cycle or through two parents.
        {"cycle", tree({{2, node("[4 0 R]")}, {4, node("[2 0 R]")}}), broken},
        {"shared node", tree({{2, node("[4 0 R 4 0 R]")}, {4, node("[3 0 R]")}, {3, page(4)}}), broken},
        // A kid missing from the table, and one without a type.
        {"missing kid", tree({{2, node("[3 0 R 8 0 R]")}, {3, page()}}), broken},
        {"untyped kid", tree({{2, node("[3 0 R]")}, {3, "<< /Parent 2 0 R >>"}}), broken},
        // A root that is neither page nor node.
        {"untyped root", tree({{2, "<< /Kids [3 0 R] >>"}, {3, page()}}), broken},
        // A /PageLabel type is not a page.
        {"page label", tree({{2, node("[3 0 R]")}, {3, "<< /Type /PageLabel >>"}}), broken},
    };
    for (const fixture& c : cases) {
        loaded_doc l(c.bytes);
        EXPECT_EQ(l.rc, -1) << c.why;
        EXPECT_EQ(l.error, c.message) << c.why;
    }
}

TEST(PageTree, MessageNamesThePageTreeRoot)
{
    loaded_doc l(tree({{2, "<< /Type /Catalog >>"}, {6, node("[9 0 R]")}},
                      "<< /Type /Catalog /Pages 6 0 R >>"));
    EXPECT_EQ(l.rc, -1);
    EXPECT_EQ(l.error, broken_tree_message(6));
}

TEST(PageTree, NodesOverlappingEachOtherBreakTheTree)
{
    // Unclosed node dictionaries sharing one "endobj": every node's text runs over all deeper
    // ones, which a sound file never does; reading them all would cost quadratic time.
    std::string bytes = std::string(pdf_head) + "1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj\n";
    for (int i = 2; i < 2000; ++i)
        bytes += std::to_string(i) + " 0 obj << /Type /Pages /Kids [" + std::to_string(i + 1) + " 0 R] ";
    bytes += "2000 0 obj << /Type /Page >> endobj\ntrailer << /Root 1 0 R >>\n";
    loaded_doc l(bytes);
    EXPECT_EQ(l.rc, -1);
    EXPECT_EQ(l.error, broken_tree_message(2));
}

TEST(PageTree, TreeInsideAnObjectStream)
{
    pdf_builder b;
    b.object_stream(20, {{1, "<< /Type /Catalog /Pages 2 0 R >>"},
                         {2, node("[3 0 R 4 0 R]")},
                         {3, page()},
                         {4, page()}});
    b.trailer("/Root 1 0 R");
    loaded_doc l(b.build());
    ASSERT_EQ(l.rc, 0) << l.error;
    EXPECT_EQ(l.page_numbers(), (pages{3, 4}));
}

TEST(PageTree, HundredThousandLevelsDeep)
{
    // Each node holds the next one and then a page, so the pages come out deepest first.
    constexpr int levels = 100000;
    pdf_builder b;
    b.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    const int first_page = levels + 2;
    for (int i = 0; i < levels; ++i) {
        int self = 2 + i;
        std::string kids = i + 1 < levels ? std::to_string(self + 1) + " 0 R " : "";
        b.object(self, node("[" + kids + std::to_string(first_page + i) + " 0 R]"));
        b.object(first_page + i, page(self));
    }
    b.trailer("/Root 1 0 R");
    loaded_doc l(b.build());
    ASSERT_EQ(l.rc, 0) << l.error;
    ASSERT_EQ(static_cast<std::int32_t>(l.d.pages.size()), levels);
    EXPECT_EQ(l.d.pages.front(), first_page + levels - 1);
    EXPECT_EQ(l.d.pages.back(), first_page);
}

TEST(ParseKids, CountsAppendsAndLimits)
{
    struct fixture {
        const char* why;
        std::string body;
        std::int32_t capacity;
        std::int32_t result;
        pages kids;
    };
    const fixture cases[] = {
        // References with and without generations and separators.
        {"plain", "<< /Kids [ 4 0 R 5 0 R 6 ] >>", 10, 3, {4, 5, 6}},
        // Kids beyond the capacity are dropped.
        {"capacity", "<< /Kids [4 0 R 5 0 R 6 0 R] >>", 2, 2, {4, 5}},
        // An empty array, and one not closed before the span ends.
        {"empty", "<< /Kids [] >>", 10, 0, {}},
        {"unclosed", "<< /Kids [ 7 0 R", 10, 1, {7}},
        // No Kids, and Kids without an array.
        {"absent", "<< /Count 0 >>", 10, -1, {}},
        {"indirect", "<< /Kids 12 0 R >>", 10, -1, {}},
        // An inline dictionary stops the reading at once.
        {"inline", "<< /Kids [4 0 R << /Type /Page >> 5 0 R] >>", 10, -2, {4}},
        // A name-continuation byte makes another key.
        {"other key", "<< /Kids_x [4 0 R] >>", 10, -1, {}},
    };
    for (const fixture& c : cases) {
        pdf_builder b;
        b.object(3, c.body);
        loaded_doc l(b.build());
        ASSERT_EQ(l.rc, 0) << c.why << ": " << l.error;
        ASSERT_NE(l.obj(3), nullptr) << c.why;
        pages out{99};
        EXPECT_EQ(load::parse_kids(l.d, *l.obj(3), out, c.capacity), c.result) << c.why;
        pages expected{99};
        expected.insert(expected.end(), c.kids.begin(), c.kids.end());
        EXPECT_EQ(out, expected) << c.why;
    }
}

}  // namespace
}  // namespace kestrin::test
