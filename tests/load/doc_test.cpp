// The doc record: file reading, release, the object index, dictionary spans, arena and page list.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "load/doc.h"
#include "load_fixture.h"

namespace kestrin::test {
namespace {

using load::doc;
using load::obj_entry;

TEST(DocLoad, NullPathFailsWithExactMessage)
{
    const base::result<doc> loaded = load::load_document(nullptr);
    EXPECT_FALSE(loaded.ok());
    EXPECT_EQ(loaded.message(), "NULL path argument");
}

TEST(DocLoad, FileStageMessagesNameThePath)
{
    temp_dir dir;
    struct fixture {
        const char* why;
        std::string path;
        std::string expected_prefix;
    };
    const fixture cases[] = {
        // A missing file cannot be opened.
        {"missing", dir.file("absent.pdf"), "cannot open "},
        // An empty file has no length.
        {"empty", dir.write("empty.pdf", ""), "empty input file: "},
        // Bytes without any object header.
        {"no objects", dir.write("junk.pdf", "hello, world\n"), no_objects_message("")},
    };
    for (const fixture& c : cases) {
        const base::result<doc> loaded = load::load_document(c.path.c_str());
        EXPECT_FALSE(loaded.ok()) << c.why;
        EXPECT_EQ(loaded.message(), c.expected_prefix + c.path) << c.why;
    }
}

TEST(DocLoad, EachLoadGivesADocumentOfThatFileAlone)
{
    loaded_doc first(one_page_doc().build());
    ASSERT_EQ(first.rc, 0);
    std::string other = pdf_builder().object(7, "<< /Type /Catalog >>").build();
    std::string path = first.dir.write("other.pdf", other);
    const base::result<doc> second = load::load_document(path.c_str());
    ASSERT_TRUE(second.ok());
    EXPECT_EQ(second->objs.count(), 1);
    EXPECT_EQ(second->root, 7);
    EXPECT_TRUE(second->pages.empty());
    EXPECT_EQ(second->len, static_cast<std::int32_t>(other.size()));
    EXPECT_FALSE(first.d.pages.empty());
}


obj_entry entry(std::int32_t num, std::int32_t hdr_pos)
{
    obj_entry e;
    e.num = num;
    e.hdr_pos = hdr_pos;
    return e;
}

TEST(ObjectTableFind, ReturnsTheFirstEntryWithTheNumber)
{
    load::object_table v;
    for (auto [num, pos] : {std::pair{4, 10}, {2, 20}, {4, 30}, {9, 40}})
        v.push(entry(num, pos));
    v.reindex();
    ASSERT_NE(v.find(4), nullptr);
    EXPECT_EQ(v.find(4)->hdr_pos, 10);
    EXPECT_EQ(v.find(9)->hdr_pos, 40);
    // Numbers never in the table, below 1 and beyond the index.
    for (std::int32_t absent : {0, -1, 3, 10, 8388607, 2147483647}) EXPECT_EQ(v.find(absent), nullptr);
}

TEST(ObjectTableFind, FollowsTheEntriesAfterSortingAndReindexing)
{
    load::object_table v;
    for (auto [num, pos] : {std::pair{7, 1}, {3, 2}, {5, 3}}) v.push(entry(num, pos));
    v.reindex();
    std::sort(v.entries.begin(), v.entries.end(),
              [](const obj_entry& a, const obj_entry& b) { return a.num < b.num; });
    v.reindex();
    for (std::int32_t num : {3, 5, 7}) {
        ASSERT_NE(v.find(num), nullptr);
        EXPECT_EQ(v.find(num)->num, num);
    }
}

TEST(ObjectTableFind, IgnoresNumbersATableMustNotHold)
{
    load::object_table v;
    v.push(entry(9000000, 1));
    v.push(entry(2, 2));
    v.reindex();
    EXPECT_EQ(v.find(9000000), nullptr);
    EXPECT_NE(v.find(2), nullptr);
    EXPECT_LE(v.first_index.size(), 3u);
}

TEST(DocSpan, CoversTheDictionaryOfEachKindOfObject)
{
    doc d;
    const std::string file = "1 0 obj << /A 1 >> stream\nxx\nendstream endobj";
    d.data = base::allocate_large_block(file.size());
    std::copy(file.begin(), file.end(), d.data.get());
    d.len = static_cast<std::int32_t>(file.size());
    const char packed[] = "<< /B 2 >>";

    struct fixture {
        const char* why;
        obj_entry e;
        std::int32_t expected_start;
        std::size_t expected_size;
    };
    obj_entry stream;  // cut at "stream"
    stream.dict_pos = 8, stream.stream_pos = 19, stream.endobj_pos = 39;
    obj_entry plain;  // cut at "endobj"
    plain.dict_pos = 8, plain.endobj_pos = 39;
    obj_entry open_ended;  // no end found: the rest of the file
    open_ended.dict_pos = 8;
    obj_entry no_dict;  // a body that is not a dictionary
    no_dict.endobj_pos = 39;
    obj_entry in_object_stream;  // the whole decoded slice
    in_object_stream.in_object_stream = true, in_object_stream.text = packed, in_object_stream.text_len = 10;
    const fixture cases[] = {
        {"stream", stream, 8, 19},
        {"plain", plain, 8, 39},
        {"open ended", open_ended, 8, file.size()},
        {"no dictionary", no_dict, -1, 0},
        {"object stream", in_object_stream, 0, 10},
    };
    for (const fixture& c : cases) {
        load::dict_span span = d.span_of(c.e);
        EXPECT_EQ(span.start, c.expected_start) << c.why;
        EXPECT_EQ(span.text.size(), c.expected_size) << c.why;
        EXPECT_EQ(static_cast<bool>(span), c.expected_start >= 0) << c.why;
    }
    EXPECT_EQ(d.span_of(in_object_stream).text.data(), packed);
}

TEST(Arena, BlocksStayPutAndAreCounted)
{
    load::arena a;
    char* first = a.allocate(16);
    ASSERT_NE(first, nullptr);
    first[0] = 'x';
    for (int i = 0; i < 100; ++i) ASSERT_NE(a.allocate(8), nullptr);
    EXPECT_EQ(a.blocks.front().get(), first);
    EXPECT_EQ(first[0], 'x');
    EXPECT_EQ(a.total, 16u + 800u);
    EXPECT_EQ(a.allocate(0), nullptr);
}

}  // namespace
}  // namespace kestrin::test
