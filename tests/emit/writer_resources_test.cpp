// Resource merging: new names reach a page's resources in every form the resources can take.
#include <gtest/gtest.h>

#include <string>
#include <unordered_set>
#include <vector>

#include "emit/resources.h"
#include "scan/keys.h"
#include "scan/value.h"
#include "writer_fixture.h"

namespace kestrin::test {
namespace {

using emit::resource_entry;

// 1 catalog, 2 page-tree root, 3 page, 4 content; further objects from 5.
std::string doc_with(const std::string& pages_extra, const std::string& page_extra,
                     const std::vector<std::pair<int, std::string>>& objects)
{
    pdf_builder b;
    b.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 " + pages_extra + " >>");
    b.object(3, "<< /Type /Page /Parent 2 0 R /Contents 4 0 R " + page_extra + " >>");
    b.stream(4, "", "0 0 m\n");
    for (const auto& [num, body] : objects) b.object(num, body);
    b.trailer("/Root 1 0 R");
    return b.build();
}

std::vector<resource_entry> three_pairs()
{
    return {{scan::key::xobject, "/Fl10 10 0 R"},
            {scan::key::ext_g_state, "/GSa 11 0 R"},
            {scan::key::font, "/FlF 12 0 R"}};
}

std::string page_text(const loaded_document& c)
{
    const load::dict_span span = c.doc.span_of(c.obj(3));
    return scan::dict_text_at(span.text, span.start).value_or("");
}

std::string override_of(const emit::overrides& replaced, std::int32_t num)
{
    const std::string* t = replaced.find(num);
    return t != nullptr ? *t : "<none>";
}

struct resources_case {
    const char* what;
    std::string pages_extra;
    std::string page_extra;
    std::vector<std::pair<int, std::string>> objects;
    std::string page_after;  // expected replacement page text
    int override_num;        // 0: no override expected
    std::string override_text;
};

const resources_case resources_cases[] = {
    // Inline resources with an inline category: the category grows, the others are appended.
    {"inline", "", "/Resources << /Font << /F1 5 0 R >> >>", {},
     "<< /Type /Page /Parent 2 0 R /Contents 4 0 R /Resources << /Font << /F1 5 0 R  /FlF 12 0 R "
     ">>  /XObject << /Fl10 10 0 R >> /ExtGState << /GSa 11 0 R >>>> >>",
     0, ""},
    // Resources as an object of their own: the page is unchanged, the object gets an override.
    {"indirect", "", "/Resources 20 0 R", {{20, "<< /Font << /F1 5 0 R >> >>"}},
     "<< /Type /Page /Parent 2 0 R /Contents 4 0 R /Resources 20 0 R >>", 20,
     "<< /Font << /F1 5 0 R  /FlF 12 0 R >>  /XObject << /Fl10 10 0 R >> /ExtGState << /GSa 11 0 R "
     ">>>>"},
    // An inline resources dictionary whose XObject category is an object of its own.
    {"inline category object", "", "/Resources << /XObject 21 0 R >>", {{21, "<< /Im1 6 0 R >>"}},
     "<< /Type /Page /Parent 2 0 R /Contents 4 0 R /Resources << /XObject 21 0 R  /ExtGState << /GSa "
     "11 0 R >> /Font << /FlF 12 0 R >>>> >>",
     21, "<< /Im1 6 0 R  /Fl10 10 0 R >>"},
    // A resources object whose Font category is another object: both get overrides.
    {"indirect category object", "", "/Resources 20 0 R",
     {{20, "<< /Font 22 0 R >>"}, {22, "<< /F1 5 0 R >>"}},
     "<< /Type /Page /Parent 2 0 R /Contents 4 0 R /Resources 20 0 R >>", 22,
     "<< /F1 5 0 R  /FlF 12 0 R >>"},
    // No resources of its own: an inline copy of the inherited dictionary, merged.
    {"inherited inline", "/Resources << /Font << /F1 5 0 R >> >>", "", {},
     "<< /Type /Page /Parent 2 0 R /Contents 4 0 R   /Resources << /Font << /F1 5 0 R  /FlF 12 "
     "0 R >>  /XObject << /Fl10 10 0 R >> /ExtGState << /GSa 11 0 R >>>>>>",
     0, ""},
    // Inherited through a reference: the copy is of the referenced dictionary.
    {"inherited object", "/Resources 20 0 R", "", {{20, "<< /ProcSet [/PDF] >>"}},
     "<< /Type /Page /Parent 2 0 R /Contents 4 0 R   /Resources << /ProcSet [/PDF]  /XObject << "
     "/Fl10 10 0 R >> /ExtGState << /GSa 11 0 R >> /Font << /FlF 12 0 R >>>>>>",
     0, ""},
    // Nothing to inherit: a fresh dictionary.
    {"fresh", "", "", {},
     "<< /Type /Page /Parent 2 0 R /Contents 4 0 R   /Resources << /XObject << /Fl10 10 0 R >> "
     "/ExtGState << /GSa 11 0 R >> /Font << /FlF 12 0 R >>>>>>",
     0, ""},
    // A reference to a missing object counts as no resources: the inherited ones are used.
    {"missing object", "/Resources << /Font << /F1 5 0 R >> >>", "/Resources 99 0 R", {},
     "<< /Type /Page /Parent 2 0 R /Contents 4 0 R  /Resources << /Font << /F1 5 0 R  /FlF 12 0 R "
     ">>  /XObject << /Fl10 10 0 R >> /ExtGState << /GSa 11 0 R >>>>>>",
     0, ""},
    // A "/Font" key inside a graphics state is not the Font category of the resources.
    {"nested key", "", "/Resources << /ExtGState << /G1 << /Font [7 0 R 12] >> >> >>", {},
     "<< /Type /Page /Parent 2 0 R /Contents 4 0 R /Resources << /ExtGState << /G1 << /Font [7 0 R "
     "12] >>  /GSa 11 0 R >>  /XObject << /Fl10 10 0 R >> /Font << /FlF 12 0 R >>>> >>",
     0, ""},
};

TEST(WriterResources, PageAddResourcesInEveryForm)
{
    for (const resources_case& tc : resources_cases) {
        SCOPED_TRACE(tc.what);
        loaded_document c(doc_with(tc.pages_extra, tc.page_extra, tc.objects));
        ASSERT_TRUE(c.loaded);
        const std::vector<resource_entry> pairs = three_pairs();
        emit::overrides replaced;
    emit::pending_merges pending;
        EXPECT_EQ(emit::page_add_resources(c.doc, replaced, pending, page_text(c), c.obj(3), pairs), tc.page_after);
        emit::flush_merges(c.doc, replaced, pending);
        if (tc.override_num != 0) {
            EXPECT_EQ(override_of(replaced, tc.override_num), tc.override_text);
        } else {
            EXPECT_TRUE(replaced.keys.empty());
        }
    }
}

// Two pages sharing one resources object: each page's names accumulate on the one override.
TEST(WriterResources, SharedResourcesObjectAccumulatesAcrossPages)
{
    pdf_builder b;
    b.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.object(2, "<< /Type /Pages /Kids [3 0 R 5 0 R] /Count 2 >>");
    b.object(3, "<< /Type /Page /Parent 2 0 R /Resources 20 0 R >>");
    b.object(5, "<< /Type /Page /Parent 2 0 R /Resources 20 0 R >>");
    b.object(20, "<< /XObject 21 0 R >>");
    b.object(21, "<< /Im1 6 0 R >>");
    b.trailer("/Root 1 0 R");
    loaded_document c(b.build());
    ASSERT_TRUE(c.loaded);
    const std::vector<resource_entry> first = {{scan::key::xobject, "/Fl30 30 0 R"}, {scan::key::font, "/FlF 40 0 R"}};
    const std::vector<resource_entry> second = {{scan::key::xobject, "/Fl31 31 0 R"}, {scan::key::font, "/FlF 40 0 R"}};
    emit::overrides replaced;
    emit::pending_merges pending;
    emit::page_add_resources(c.doc, replaced, pending, "<< /Resources 20 0 R >>", c.obj(3), first);
    emit::page_add_resources(c.doc, replaced, pending, "<< /Resources 20 0 R >>", c.obj(5), second);
    emit::flush_merges(c.doc, replaced, pending);
    EXPECT_EQ(override_of(replaced, 21), "<< /Im1 6 0 R  /Fl30 30 0 R  /Fl31 31 0 R >>");
    // The second page finds the Font category the first page created and names the font once.
    EXPECT_EQ(override_of(replaced, 20), "<< /XObject 21 0 R  /Font << /FlF 40 0 R >>>>");
    EXPECT_EQ(replaced.keys.size(), 2u);
}

TEST(WriterResources, MergeResourcesCreatesOneCategoryForSeveralEntries)
{
    loaded_document c(doc_with("", "", {}));
    ASSERT_TRUE(c.loaded);
    const std::vector<resource_entry> pairs = {{scan::key::xobject, "/Fl10 10 0 R"},
                                         {scan::key::xobject, "/Fl11 11 0 R"}};
    emit::overrides replaced;
    emit::pending_merges pending;
    EXPECT_EQ(emit::merge_resources(pending, "<< /ProcSet [/PDF] >>", pairs),
              "<< /ProcSet [/PDF]  /XObject << /Fl10 10 0 R  /Fl11 11 0 R >>>>");
}

TEST(WriterResources, MergeResourcesIgnoresUnusableCategories)
{
    loaded_document c(doc_with("", "", {}));
    ASSERT_TRUE(c.loaded);
    const std::vector<resource_entry> pairs = {{scan::key::xobject, "/Fl10 10 0 R"}};
    emit::overrides replaced;
    // Cases: a null value, a reference to a missing object, an unclosed category dictionary.
    for (const char* r : {"<< /XObject null >>", "<< /XObject 77 0 R >>", "<< /XObject << /A 1 0 R"}) {
        SCOPED_TRACE(r);
        emit::pending_merges pending;
        EXPECT_EQ(emit::merge_resources(pending, r, pairs), r);
        emit::flush_merges(c.doc, replaced, pending);
    }
    EXPECT_TRUE(replaced.keys.empty());
}

TEST(WriterResources, NoPairsLeavesThePageAlone)
{
    loaded_document c(doc_with("", "/Resources 20 0 R", {{20, "<< >>"}}));
    ASSERT_TRUE(c.loaded);
    const std::string before = page_text(c);
    emit::overrides replaced;
    emit::pending_merges pending;
    EXPECT_EQ(emit::page_add_resources(c.doc, replaced, pending, before, c.obj(3), {}), before);
    emit::flush_merges(c.doc, replaced, pending);
    EXPECT_TRUE(replaced.keys.empty());
}

TEST(WriterResources, OverridesKeepTheFirstText)
{
    emit::overrides replaced;
    replaced.add(7, "<< /First 1 >>");
    replaced.add(7, "<< /Second 2 >>");
    replaced.add(8, "<< /Other 3 >>");
    EXPECT_EQ(override_of(replaced, 7), "<< /First 1 >>");
    EXPECT_EQ(override_of(replaced, 8), "<< /Other 3 >>");
    EXPECT_EQ(replaced.keys, (std::vector<std::int32_t>{7, 8}));
    EXPECT_EQ(replaced.find(9), nullptr);
}

// The names a page's resources give, wherever the resources and their categories are kept.
TEST(WriterResources, NamesInUseFollowTheResourcesInEffect)
{
    using names = std::unordered_set<std::string>;
    const struct {
        const char* what;
        std::string pages_extra;
        std::string page_extra;
        std::vector<std::pair<int, std::string>> objects;
        names fonts;
    } cases[] = {
        {"inline", "", "/Resources << /Font << /F1 5 0 R /G#53a 6 0 R >> >>", {}, {"F1", "GSa"}},
        {"an object", "", "/Resources 20 0 R", {{20, "<< /Font << /F1 5 0 R >> >>"}}, {"F1"}},
        {"a category object", "", "/Resources << /Font 21 0 R >>", {{21, "<< /F2 5 0 R >>"}}, {"F2"}},
        {"inherited", "/Resources << /Font << /F3 5 0 R >> >>", "", {}, {"F3"}},
        {"own resources hide the inherited", "/Resources << /Font << /F3 5 0 R >> >>",
         "/Resources << /XObject << /X 5 0 R >> >>", {}, {}},
        {"an unusable own entry inherits", "/Resources << /Font << /F3 5 0 R >> >>", "/Resources 77 0 R", {}, {"F3"}},
        {"none", "", "", {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        loaded_document doc(doc_with(c.pages_extra, c.page_extra, c.objects));
        ASSERT_TRUE(doc.loaded);
        const emit::names_in_use in_use(doc.doc, doc.obj(3));
        EXPECT_EQ(in_use.of(scan::key::font), c.fonts);
    }
}

TEST(WriterResources, FreeNameAvoidsEveryNameInUse)
{
    using names = std::unordered_set<std::string>;
    EXPECT_EQ(emit::free_name(names{}, "GSa"), "GSa");
    EXPECT_EQ(emit::free_name(names{"GS", "GSa_1"}, "GSa"), "GSa");
    EXPECT_EQ(emit::free_name(names{"GSa"}, "GSa"), "GSa_1");
    EXPECT_EQ(emit::free_name(names{"Fl12", "Fl12_1", "Fl12_2"}, "Fl12"), "Fl12_3");
}

}  // namespace
}  // namespace kestrin::test
