// Objects unpacked from object streams, and how they compete with objects of the file.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "decode/inflate.h"
#include "load_fixture.h"

namespace kestrin::test {
namespace {

using packed = std::vector<std::pair<int, std::string>>;

// An object stream 20 with a hand-written header and body; decoded data is header + body.
pdf_builder& raw_objstm(pdf_builder& b, std::string_view dict, std::string_view data,
                        bool flate = true, int num = 20)
{
    return b.stream(num, "/Type /ObjStm " + std::string(dict), data, flate);
}

TEST(ObjectStreams, UnpacksCompressedAndStoredStreams)
{
    for (bool flate : {true, false}) {
        pdf_builder b;
        b.object(1, "<< /Type /Catalog >>");
        b.object_stream(20, packed{{10, "<< /A 10 >>"}, {11, "(eleven)"}}, flate);
        loaded_doc l(b.build());
        ASSERT_EQ(l.rc, 0) << l.error;
        ASSERT_NE(l.obj(10), nullptr) << flate;
        EXPECT_EQ(l.obj(10)->in_object_stream, 1);
        EXPECT_EQ(l.obj(10)->hdr_pos, -1);
        EXPECT_EQ(l.text(10), "<< /A 10 >>\n");
        EXPECT_EQ(l.text(11), "(eleven)\n");
        // The object stream itself never stays in the table.
        EXPECT_EQ(l.obj(20), nullptr) << flate;
        EXPECT_EQ(l.d.max_obj, 11);
    }
}

TEST(ObjectStreams, BadHeadersContributeNothing)
{
    const std::string body = "<< /A 1 >> << /B 2 >>";
    struct fixture {
        const char* why;
        std::string dict;
        std::string data;
    };
    const fixture cases[] = {
        // No objects announced.
        {"N zero", "/N 0 /First 8", "10 0 11 11 " + body},
        // A negative offset gives the whole stream up.
        {"negative offset", "/N 2 /First 12", "10 0 11 -11 " + body},
        // An unreadable pair gives the whole stream up.
        {"short header", "/N 3 /First 11", "10 0 11 11 " + body},
        // First beyond the decoded data.
        {"First too far", "/N 2 /First 500", "10 0 11 11 " + body},
        // No First at all.
        {"no First", "/N 2", "10 0 11 11 " + body},
        // More objects than any stream may announce.
        {"N too large", "/N 100001 /First 11", "10 0 11 11 " + body},
    };
    for (const fixture& c : cases) {
        pdf_builder b;
        b.object(1, "<< /Type /Catalog >>");
        raw_objstm(b, c.dict, c.data);
        loaded_doc l(b.build());
        ASSERT_EQ(l.rc, 0) << c.why << ": " << l.error;
        EXPECT_EQ(l.obj(10), nullptr) << c.why;
        EXPECT_EQ(l.obj(11), nullptr) << c.why;
        EXPECT_EQ(l.obj(20), nullptr) << c.why;
        EXPECT_EQ(l.d.objs.count(), 1) << c.why;
    }
}

TEST(ObjectStreams, LengthsFollowTheOffsets)
{
    // Offsets 0, 10 and 25 with 40 bytes after First: 10, 15 and 15 bytes.
    std::string header = "1 0 2 10 3 25 ";
    std::string body(40, '.');
    pdf_builder b;
    raw_objstm(b, "/N 3 /First " + std::to_string(header.size()), header + body);
    loaded_doc l(b.build());
    ASSERT_EQ(l.rc, 0) << l.error;
    for (auto [num, len] : {std::pair{1, 10}, {2, 15}, {3, 15}}) {
        ASSERT_NE(l.obj(num), nullptr) << num;
        EXPECT_EQ(l.obj(num)->text_len, len) << num;
    }
}

TEST(ObjectStreams, AnObjectRunningPastTheDataIsCutAtItsEnd)
{
    // Object 11's successor claims offset 500 though only 30 bytes follow First: 11 keeps the
    // 25 bytes there are, 12 starts past the data and is left out.
    std::string header = "10 0 11 5 12 500 ";
    std::string body = "(ab) << /Type /Catalog /X 1 >>";
    ASSERT_EQ(body.size(), 30u);
    pdf_builder b;
    raw_objstm(b, "/N 3 /First " + std::to_string(header.size()), header + body);
    loaded_doc l(b.build());
    ASSERT_EQ(l.rc, 0) << l.error;
    EXPECT_EQ(l.text(10), "(ab) ");
    EXPECT_EQ(l.text(11), "<< /Type /Catalog /X 1 >>");
    EXPECT_EQ(l.obj(12), nullptr);
    EXPECT_EQ(l.d.root, 11);
}

TEST(ObjectStreams, PrecedenceBetweenDefinitions)
{
    struct fixture {
        const char* why;
        bool file_first;    // the file definition comes before the object stream
        bool two_streams;   // a second object stream redefines the object
        std::string expected;
    };
    const fixture cases[] = {
        // The file definition beats the object stream that comes later.
        {"file before stream", true, false, "(file)"},
        // ... and the one that comes earlier.
        {"file after stream", false, false, "(file)"},
        // Without a file definition, the later object stream wins.
        {"two streams", false, true, "(second)\n"},
    };
    for (const fixture& c : cases) {
        pdf_builder b;
        b.object(1, "<< /Type /Catalog >>");
        if (c.file_first) b.object(9, "(file)");
        b.object_stream(20, packed{{9, "(first)"}});
        if (c.two_streams) b.object_stream(21, packed{{9, "(second)"}});
        if (!c.file_first && !c.two_streams) b.object(9, "(file)");
        loaded_doc l(b.build());
        ASSERT_EQ(l.rc, 0) << c.why << ": " << l.error;
        std::string text = l.text(9);
        EXPECT_NE(text.find(c.expected), std::string::npos) << c.why << ": " << text;
    }
}

TEST(ObjectStreams, IndirectLengthInsideAnObjectStreamKeepsTheStream)
{
    // Regression: the length object lives in an object stream, so it cannot be read when
    // streams are measured; the stream is measured through its keyword instead of vanishing.
    pdf_builder b;
    b.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.object_stream(20, packed{{2, "<< /Type /Pages /Kids [3 0 R] >>"},
                               {3, "<< /Type /Page /Contents 4 0 R >>"},
                               {7, "11"}});
    b.raw("4 0 obj\n<< /Length 7 0 R >>\nstream\nq 1 0 0 RG Q\nendstream\nendobj\n");
    loaded_doc l(b.build());
    ASSERT_EQ(l.rc, 0) << l.error;
    EXPECT_EQ(l.stream_data(4), "q 1 0 0 RG Q");
    EXPECT_EQ(l.page_numbers(), std::vector<std::int32_t>{3});
}

TEST(ObjectStreams, UndecodableStreamIsGivenUp)
{
    pdf_builder b;
    b.object(1, "<< /Type /Catalog >>");
    // Not zlib data: the header's method nibble is not 8.
    raw_objstm(b, "/N 1 /First 4 /Filter /FlateDecode", "\x01\x02garbage", false);
    loaded_doc l(b.build());
    ASSERT_EQ(l.rc, 0) << l.error;
    EXPECT_EQ(l.d.objs.count(), 1);
    EXPECT_TRUE(l.d.arena.blocks.empty());
}

TEST(ObjectStreams, FailedAttemptsDoNotStayInTheArena)
{
    // Regression: highly compressible data needs several growing attempts; only the block that
    // holds the result may remain.
    std::string header = "10 0 ";
    std::string data = header + "(" + std::string(200000, 'a') + ")";
    pdf_builder b;
    raw_objstm(b, "/N 1 /First " + std::to_string(header.size()), data);
    loaded_doc l(b.build());
    ASSERT_EQ(l.rc, 0) << l.error;
    ASSERT_NE(l.obj(10), nullptr);
    EXPECT_EQ(l.obj(10)->text_len, 200002);
    EXPECT_EQ(l.d.arena.blocks.size(), 1u);
    EXPECT_LT(l.d.arena.total, 2u * data.size());
}

TEST(ObjectStreams, DecodingStopsAtTheDocumentBudget)
{
    // Each stream decodes to 40 MB (object 11 being padding too long to keep); the budget of a
    // small file holds only one of them.
    std::string data = "10 0 11 5 (ab) " + std::string(40u << 20, ' ');
    pdf_builder b;
    raw_objstm(b, "/N 2 /First 10", data, true, 20);
    std::string second = data;
    second[0] = '3';  // object 30 in the second stream
    raw_objstm(b, "/N 2 /First 10", second, true, 21);
    loaded_doc l(b.build());
    ASSERT_EQ(l.rc, 0) << l.error;
    EXPECT_EQ(l.text(10), "(ab) ");
    EXPECT_EQ(l.obj(30), nullptr);
    EXPECT_LE(l.d.arena.total, decode::decode_budget(l.d.len));
}

TEST(ObjectStreams, ManyStreamsDecodedEarlyStopAtTheBudgetInTheirOrder)
{
    // Twenty streams of 5 MiB each, enough to be decoded early in two halves; the budget of a
    // small file (64 MiB) holds the first twelve, as decoding one after another gives.
    constexpr int streams = 20;
    pdf_builder b;
    b.object(1, "<< /Type /Catalog >>");
    for (int k = 0; k < streams; ++k) {
        // Object 100 + k, then padding too long to keep as object 200 + k.
        const std::string header = std::to_string(100 + k) + " 0 " + std::to_string(200 + k) + " 4 ";
        std::string data = header + std::string(16 - header.size(), ' ') + "(x) ";
        data.resize(std::size_t{5} << 20, ' ');
        raw_objstm(b, "/N 2 /First 16", data, true, 20 + k);
    }
    loaded_doc l(b.build());
    ASSERT_EQ(l.rc, 0) << l.error;
    const std::uint64_t budget = decode::decode_budget(l.d.len);
    ASSERT_EQ(budget, std::uint64_t{64} << 20);
    for (int k = 0; k < streams; ++k) EXPECT_EQ(l.obj(100 + k) != nullptr, k < 12) << k;
    EXPECT_EQ(l.d.arena.blocks.size(), 12u);
    EXPECT_LE(l.d.arena.total, budget);
}

TEST(ObjectStreams, StreamsDecodedEarlyShareBlocksAndKeepEveryObject)
{
    // Enough streams to be decoded early: small ones that share blocks, one too large for a
    // shared block (9 MiB), one that does not decode and one stored without a filter, in both
    // halves of the list.
    constexpr int streams = 40;
    const auto body_of = [](int k) { return "(s" + std::to_string(k) + ") "; };
    pdf_builder b;
    b.object(1, "<< /Type /Catalog >>");
    for (int k = 0; k < streams; ++k) {
        const int num = 100 + k;
        if (k == 7 || k == 31) {
            raw_objstm(b, "/N 1 /First 6 /Filter /FlateDecode", "\x01\x02garbage", false, 20 + k);
            continue;
        }
        if (k == 25) {
            // Object 225 is padding too long to keep.
            const std::string header = std::to_string(num) + " 0 225 " + std::to_string(body_of(k).size()) + " ";
            const std::string data = header + body_of(k) + std::string(std::size_t{9} << 20, ' ');
            raw_objstm(b, "/N 2 /First " + std::to_string(header.size()), data, true, 20 + k);
            continue;
        }
        const std::string header = std::to_string(num) + " 0 ";
        raw_objstm(b, "/N 1 /First " + std::to_string(header.size()), header + body_of(k), k != 12, 20 + k);
    }
    loaded_doc l(b.build());
    ASSERT_EQ(l.rc, 0) << l.error;
    for (int k = 0; k < streams; ++k) {
        const int num = 100 + k;
        if (k == 7 || k == 31) {
            EXPECT_EQ(l.obj(num), nullptr) << k;
            continue;
        }
        ASSERT_NE(l.obj(num), nullptr) << k;
        EXPECT_EQ(l.text(num).substr(0, body_of(k).size()), body_of(k)) << k;
    }
    // The small streams share a block in each half, and a second one in the half whose last
    // block could not take the large stream; the large one and the stored one have their own.
    EXPECT_EQ(l.d.arena.blocks.size(), 5u);
}

}  // namespace
}  // namespace kestrin::test
