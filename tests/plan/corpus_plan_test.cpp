// Plans every loadable file of the real-world corpus in the three modes and checks the rules that
// tie the plans together.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "manifest.h"
#include "plan_fixture.h"

namespace {

using kestrin::plan::page_plan;
using kestrin::test::manifest_row;
using kestrin::test::planned;
using kestrin::test::read_file;

constexpr kestrin::plan::flatten_mode forms = kestrin::plan::flatten_mode::forms;
constexpr kestrin::plan::flatten_mode annotations = kestrin::plan::flatten_mode::annotations;
constexpr kestrin::plan::flatten_mode both = kestrin::plan::flatten_mode::all;

// Every flattened object is marked, every kept one is written, every appearance is a stream.
void expect_plan_consistent(const planned& p, const std::string& name)
{
    std::size_t items = 0;
    for (const page_plan& page : p.plan.pages) {
        EXPECT_EQ(static_cast<std::size_t>(page.first_item), items) << name;
        items += static_cast<std::size_t>(page.item_count);
        EXPECT_EQ(page.annots_changed, page.item_count > 0 ? 1 : 0) << name;
        for (std::int32_t r : kestrin::test::kept_objects(page)) EXPECT_FALSE(p.dropped(r)) << name << " kept " << r;
    }
    EXPECT_EQ(items, p.plan.items.size()) << name;
    for (const auto& item : p.plan.items) {
        // A dictionary written in "Annots" has no object to leave out.
        EXPECT_TRUE(item.obj == 0 ? !item.direct.empty() : p.dropped(item.obj)) << name << " item " << item.obj;
        if (item.ap_obj == -1) continue;
        const kestrin::load::obj_entry* ap = p.doc.objs.find(item.ap_obj);
        ASSERT_NE(ap, nullptr) << name << " appearance " << item.ap_obj;
        EXPECT_NE(ap->is_stream, 0) << name << " appearance " << item.ap_obj;
    }
}

TEST(CorpusPlan, ModesPartitionTheAnnotations)
{
    const auto rows = kestrin::test::read_manifest(KESTRIN_CORPUS_DIR);
    if (rows.empty()) GTEST_SKIP() << "corpus not found at " << KESTRIN_CORPUS_DIR;
    int planned_files = 0;
    for (const manifest_row& row : rows) {
        const std::string pdf = read_file(row.path());
        auto f = std::make_unique<planned>(pdf, forms);
        if (f->load_rc != 0) continue;
        auto a = std::make_unique<planned>(pdf, annotations);
        auto b = std::make_unique<planned>(pdf, both);
        const std::string& name = row["file"];
        ASSERT_EQ(f->plan_rc, 0) << name;
        ASSERT_EQ(a->plan_rc, 0) << name;
        ASSERT_EQ(b->plan_rc, 0) << name;
        for (const planned* p : {f.get(), a.get(), b.get()}) expect_plan_consistent(*p, name);
        // A field is flattened in mode 1 and kept in mode 2, any other annotation the other way
        // round; mode 3 flattens both and keeps nothing.
        for (std::size_t i = 0; i < b->plan.pages.size(); ++i) {
            const page_plan &pf = f->plan.pages[i], &pa = a->plan.pages[i], &pb = b->plan.pages[i];
            EXPECT_EQ(pf.item_count + pa.item_count, pb.item_count) << name << " page " << i;
            EXPECT_EQ(pf.kept.size() + pa.kept.size(), static_cast<std::size_t>(pb.item_count))
                << name << " page " << i;
            EXPECT_TRUE(pb.kept.empty()) << name << " page " << i;
        }
        if (a->plan.form && a->plan.form->form_obj > 0) {
            EXPECT_FALSE(a->dropped(a->plan.form->form_obj)) << name;
        }
        ++planned_files;
    }
    std::cout << planned_files << " files planned in three modes\n";
    EXPECT_GT(planned_files, 0);
}

}  // namespace
