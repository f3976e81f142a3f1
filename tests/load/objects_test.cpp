// The object table: header scan, stream extents, pruning, selection, checks, catalog and info.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "load_fixture.h"

namespace kestrin::test {
namespace {

std::string raw_pdf(std::string_view body) { return std::string(pdf_head) + std::string(body); }

TEST(ObjectScan, RecognisesOnlyWellFormedHeaders)
{
    struct fixture {
        const char* why;
        std::string bytes;
        std::int32_t num;  // the object expected, or 0 for a file without objects
    };
    const fixture cases[] = {
        // A header at offset 0 of the file.
        {"at file start", "1 0 obj << >> endobj", 1},
        // Line feeds are white space between the numbers and the keyword.
        {"line feeds", raw_pdf("12\n0\nobj << >> endobj"), 12},
        // A letter glued to the number is not a header.
        {"glued letter", raw_pdf("x12 0 obj << >> endobj"), 0},
        // "obj" glued to the generation is not a keyword.
        {"glued keyword", raw_pdf("12 0obj << >> endobj"), 0},
        // Object number 0 is refused.
        {"number zero", raw_pdf("0 0 obj << >> endobj"), 0},
        // A generation at offset 0 has no object number before it.
        {"no number", "0 obj << >> endobj", 0},
        // A body without "endobj" is not added.
        {"no endobj", raw_pdf("3 0 obj << /A 1 >>"), 0},
        // A number that wraps past 32 bits to a negative value is not a header.
        {"wrapping number", raw_pdf("2147483648 0 obj << >> endobj"), 0},
    };
    for (const fixture& c : cases) {
        loaded_doc l(c.bytes);
        if (c.num == 0) {
            EXPECT_EQ(l.rc, -1) << c.why;
            EXPECT_EQ(l.error, no_objects_message(l.path)) << c.why;
        } else {
            ASSERT_EQ(l.rc, 0) << c.why << ": " << l.error;
            ASSERT_NE(l.obj(c.num), nullptr) << c.why;
            EXPECT_EQ(l.d.objs.count(), 1) << c.why;
        }
    }
}

TEST(ObjectScan, LoneObjectWithoutTrailerLoads)
{
    loaded_doc l("1 0 obj << >> endobj");
    ASSERT_EQ(l.rc, 0) << l.error;
    EXPECT_EQ(l.d.root, 1);
    EXPECT_EQ(l.d.info, -1);
    EXPECT_TRUE(l.d.pages.empty());
    EXPECT_EQ(l.d.trailer_root, -1);
    const load::obj_entry* e = l.obj(1);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->hdr_pos, 0);
    EXPECT_EQ(e->dict_pos, 8);
    EXPECT_EQ(e->endobj_pos, 14);
    EXPECT_EQ(e->obj_end, 20);
    EXPECT_EQ(e->gen, 0);
}

TEST(ObjectScan, NonDictionaryBodiesHaveNoDictionary)
{
    // Regression: a hexadecimal-string body once counted as a dictionary and took the stream
    // of the next object.
    std::string bytes = raw_pdf("7 0 obj <FEFF0041> endobj\n"
                                "8 0 obj << /Length 3 >> stream\nabc\nendstream endobj\n"
                                "9 0 obj [1 2] endobj\n10 0 obj 42 endobj\n");
    loaded_doc l(bytes);
    ASSERT_EQ(l.rc, 0) << l.error;
    for (std::int32_t num : {7, 9, 10}) {
        ASSERT_NE(l.obj(num), nullptr) << num;
        EXPECT_EQ(l.obj(num)->dict_pos, -1) << num;
        EXPECT_EQ(l.obj(num)->is_stream, 0) << num;
        EXPECT_FALSE(l.d.span_of(*l.obj(num))) << num;
    }
    EXPECT_EQ(l.stream_data(8), "abc");
}

TEST(ObjectScan, HighestHeaderNumberCountsObjectsLeftOut)
{
    // Object 40 sits in stream data and is pruned; 900 exceeds the file length and is not counted.
    std::string content = "40 0 obj << >> endobj";
    std::string bytes = raw_pdf("1 0 obj << /Length " + std::to_string(content.size()) +
                                " >> stream\n" + content + "\nendstream endobj\n"
                                "2 0 obj << >> endobj\n");
    loaded_doc l(bytes + "% 900 0 obj\n");
    ASSERT_EQ(l.rc, 0) << l.error;
    EXPECT_EQ(l.obj(40), nullptr);
    EXPECT_EQ(l.d.max_obj, 2);
    EXPECT_EQ(l.d.max_header_num, 40);
}

// Object 9, then a stream object 5 with the given dictionary entries and the bytes after
// "stream", then extra. Object 9 keeps the file loadable when object 5 is dropped.
std::string stream_file(std::string_view dict, std::string_view after_keyword,
                        std::string_view extra = "")
{
    return raw_pdf("9 0 obj << >> endobj\n5 0 obj << " + std::string(dict) + " >> stream" +
                   std::string(after_keyword) + "\n" + std::string(extra));
}

TEST(StreamExtents, MeasuresTheDataOfEachLengthForm)
{
    struct fixture {
        const char* why;
        std::string bytes;
        std::string data;  // expected stream data, or "<no stream>" when object 5 is absent
    };
    const fixture cases[] = {
        // A right direct length followed by CR LF and the keyword.
        {"direct", stream_file("/Length 10", "\n0123456789\r\nendstream endobj"), "0123456789"},
        // White space between the data and the keyword is not data.
        {"blank before keyword", stream_file("/Length 4", "\nabcd  \n endstream endobj"), "abcd"},
        // A length running past the data: up to the keyword, less its line feed.
        {"too long", stream_file("/Length 99", "\nabcd\nendstream endobj"), "abcd"},
        // A too-short length: the CR LF before the keyword is dropped as one marker.
        {"too short", stream_file("/Length 2", "\nabcd\r\nendstream endobj"), "abcd"},
        // A lone carriage return before the keyword.
        {"lone CR", stream_file("/Length 1", "\r\nabcd\rendstream endobj"), "abcd"},
        // Data starting after CR without LF.
        {"CR only start", stream_file("/Length 4", "\rabcd\nendstream endobj"), "abcd"},
        // Spaces after the keyword before the line feed.
        {"spaces after keyword", stream_file("/Length 4", "  \nabcd\nendstream endobj"), "abcd"},
        // An indirect length resolved through the object that holds it.
        {"indirect", stream_file("/Length 7 0 R", "\n" + std::string(42, 'z') + "\nendstream endobj",
                                 "7 0 obj 42 endobj"),
         std::string(42, 'z')},
        // A wrong indirect length falls back to the keyword.
        {"indirect wrong", stream_file("/Length 7 0 R", "\nabc\nendstream endobj", "7 0 obj\n40\nendobj"),
         "abc"},
        // Regression: a length object that is not in the file (it may live in an object stream)
        // is measured through the keyword instead of losing the stream.
        {"indirect unresolved", stream_file("/Length 70 0 R", "\nabc\nendstream endobj"), "abc"},
        // Without any length, or with a negative or unreadable one, the data runs to the keyword.
        {"no length", stream_file("/Filter /X", "\nabc\nendstream endobj"), "abc"},
        {"negative length", stream_file("/Length -1", "\nabc\nendstream endobj"), "abc"},
        {"name length", stream_file("/Length /L", "\nabc\nendstream endobj"), "abc"},
        // An empty stream without a length keeps the objects after it.
        {"empty no length", stream_file("/Length -1", "\nendstream endobj"), ""},
        // Without "endobj" after the data the stream is dropped.
        {"no endobj", stream_file("/Length 3", "\nabc\nendstream"), "<no stream>"},
        // Without "endstream" the data runs to the end of the file, leaving no "endobj".
        {"no endstream", stream_file("/Length 90", "\nabc endobj"), "<no stream>"},
    };
    for (const fixture& c : cases) {
        loaded_doc l(c.bytes);
        ASSERT_EQ(l.rc, 0) << c.why << ": " << l.error;
        EXPECT_EQ(l.stream_data(5), c.data) << c.why;
    }
}

TEST(StreamExtents, EndobjFollowsTheData)
{
    loaded_doc l(stream_file("/Length 6", "\nendobj\nendstream\nendobj"));
    ASSERT_EQ(l.rc, 0) << l.error;
    const load::obj_entry* e = l.obj(5);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(l.stream_data(5), "endobj");
    EXPECT_GT(e->endobj_pos, e->data_end);
    EXPECT_EQ(e->obj_end, e->endobj_pos + 6);
}

TEST(ObjectScan, SoundObjectsAfterManyUnclosedDictionariesAreFramedAlike)
{
    // Each unclosed "<<" walks to the end of the file; once such walks have covered the file many
    // times over, walks stop at the next "obj", which must not change how sound objects frame.
    std::string junk;
    for (int i = 0; i < 200; ++i) junk += "99 0 obj <<\n";
    std::string bytes = raw_pdf(junk + "5 0 obj << /Length 3 >> stream\nabc\nendstream endobj\n"
                                       "6 0 obj << /Type /Catalog >> endobj\n");
    loaded_doc l(bytes);
    ASSERT_EQ(l.rc, 0) << l.error;
    EXPECT_EQ(l.stream_data(5), "abc");
    EXPECT_EQ(l.d.root, 6);
    ASSERT_NE(l.obj(99), nullptr);
    EXPECT_EQ(l.obj(99)->is_stream, 0);
}

TEST(Pruning, HeadersInsideStreamDataAreNotObjects)
{
    std::string content = "BT 5 0 obj << /Type /Catalog >> endobj ET";
    pdf_builder b;
    b.object(1, "<< /Type /Catalog >>");
    b.stream(4, "", content);
    loaded_doc l(b.build());
    ASSERT_EQ(l.rc, 0) << l.error;
    EXPECT_EQ(l.obj(5), nullptr);
    EXPECT_EQ(l.d.objs.count(), 2);
}

// A header inside stream data is no object, so the stream data it seems to have hides nothing,
// even when its length reaches past the stream holding it: objects 6 and 7 after it stay.
TEST(Pruning, AHeaderInsideStreamDataHidesNothing)
{
    auto build = [](const std::string& length) {
        pdf_builder b;
        b.object(1, "<< /Type /Catalog >>");
        b.stream(4, "", "5 0 obj << /Length " + length + " >>\nstream\n");
        b.object(6, "<< /A 1 >>");
        b.stream(7, "/B 2", "data");
        return b.build();
    };
    // The inner length is fixed to four digits, so that it ends at object 7's "endstream".
    const std::string probe = build("0000");
    const std::size_t inner_data = probe.find("stream\n", probe.find("5 0 obj")) + 7;
    const std::size_t end = probe.find("endstream", probe.find("7 0 obj"));
    char length[8];
    std::snprintf(length, sizeof length, "%04zu", end - inner_data);
    loaded_doc l(build(length));
    ASSERT_EQ(l.rc, 0) << l.error;
    EXPECT_EQ(l.obj(5), nullptr);
    for (int num : {6, 7}) EXPECT_NE(l.obj(num), nullptr) << num;
}

TEST(Pruning, RemovalKeepsTheLaterDefinitionWinning)
{
    // Regression: removing a pruned entry by moving the last entry into its place put the newer
    // definition of object 5 before the older one, so the older one won.
    pdf_builder b;
    b.stream(4, "", "9 0 obj << >> endobj");
    b.object(5, "<< /V (old) >>");
    b.raw("5 0 obj\n<< /V (new) >>\nendobj\n");
    loaded_doc l(scan_only(b.build()));
    ASSERT_EQ(l.rc, 0) << l.error;
    EXPECT_EQ(l.obj(9), nullptr);
    EXPECT_NE(l.text(5).find("(new)"), std::string::npos) << l.text(5);
}

TEST(Selection, LaterDirectDefinitionWins)
{
    pdf_builder b;
    b.object(5, "<< /V (first) >>");
    b.object(6, "<< >>");
    b.raw("5 0 obj << /V (second) >> endobj\n");
    loaded_doc l(scan_only(b.build()));
    ASSERT_EQ(l.rc, 0) << l.error;
    EXPECT_EQ(l.d.objs.count(), 2);
    EXPECT_NE(l.text(5).find("(second)"), std::string::npos);
}

TEST(Checks, RangeCheckNamesNumberAndLength)
{
    std::string bytes = "500 0 obj << >> endobj\n";
    bytes.resize(200, ' ');
    loaded_doc l(bytes);
    EXPECT_EQ(l.rc, -1);
    EXPECT_EQ(l.error, "object number 500 out of range for a 200-byte file");
}

TEST(Checks, NumbersBeyondTheCapAreDroppedSilently)
{
    pdf_builder b;
    b.object(1, "<< /Type /Catalog >>");
    b.raw("9000000 0 obj << >> endobj\n");
    loaded_doc l(b.build() + std::string(9000100, ' '));
    ASSERT_EQ(l.rc, 0) << l.error;
    EXPECT_EQ(l.obj(9000000), nullptr);
    EXPECT_EQ(l.d.max_obj, 1);
    EXPECT_EQ(l.d.max_header_num, 1);
}

TEST(Checks, RangeCheckComesBeforeEncryption)
{
    std::string body = "400 0 obj << >> endobj\n3 0 obj << >> endobj\n";
    std::size_t xref = body.size();
    body += "xref\n0 1\n0000000000 65535 f \ntrailer << /Encrypt 3 0 R >>\n";
    std::string bytes = with_startxref(body, xref);
    EXPECT_TRUE(trailers_of(bytes).encrypted);
    loaded_doc l(bytes);
    EXPECT_EQ(l.error, "object number 400 out of range for a " + std::to_string(bytes.size()) +
                           "-byte file");
}

TEST(Catalog, TrailerRootOrFirstCatalogOrOne)
{
    struct fixture {
        const char* why;
        std::string bytes;
        std::int32_t root;
        std::int32_t info;
    };
    const fixture cases[] = {
        // The trailer's Root names an object of the table.
        {"trailer root", pdf_builder().object(2, "<< /Type /Catalog >>").object(3, "<< >>")
                             .object(8, "<< /Title (t) >>").trailer("/Root 3 0 R /Info 8 0 R").build(),
         3, 8},
        // Root names nothing: the first object naming /Catalog; a missing Info gives -1.
        {"catalog search", pdf_builder().object(6, "<< /A 1 >>").object(2, "<< /Type /Catalog >>")
                               .trailer("/Root 4 0 R /Info 44 0 R").build(),
         2, -1},
        // No catalog anywhere: object number 1.
        {"default one", pdf_builder().object(6, "<< /A 1 >>").build(), 1, -1},
        // "/Catalogue" is another name.
        {"longer name", pdf_builder().object(6, "<< /Type /Catalogue >>").build(), 1, -1},
    };
    for (const fixture& c : cases) {
        loaded_doc l(c.bytes);
        ASSERT_EQ(l.rc, 0) << c.why << ": " << l.error;
        EXPECT_EQ(l.d.root, c.root) << c.why;
        EXPECT_EQ(l.d.info, c.info) << c.why;
    }
}

}  // namespace
}  // namespace kestrin::test
