// Stream content access on documents the tests write and load: which filters decode, what is
// passed through, and how the scratch buffer is used.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "load/stream_data.h"
#include "load/doc.h"
#include "pdf_builder.h"

namespace kestrin::test {
namespace {

using load::content_form;

constexpr int stream_num = 5;

struct loaded {
    temp_dir dir;
    load::doc d;
    int rc;
    explicit loaded(const std::string& pdf)
    {
        base::result<load::doc> r = load::load_document(dir.write("in.pdf", pdf).c_str());
        rc = r ? 0 : -1;
        if (r) d = std::move(r.value());
    }
};

// A one-page document whose object 5 is "<< dict_entries /Length n >> stream data endstream";
// extra objects follow from 6.
std::string doc_with_stream(const std::string& dict_entries, const std::string& data,
                            const std::vector<std::string>& extra = {})
{
    pdf_builder b = one_page_doc();
    b.stream(stream_num, dict_entries, data);
    int num = stream_num + 1;
    for (const std::string& body : extra) b.object(num++, body);
    return b.trailer("/Root 1 0 R").build();
}

const std::string plain = "0 0 1 rg 10 10 50 50 re f\n";
const std::string packed = zlib_compress(plain);

struct stream_case {
    const char* what;
    std::string dict;
    std::string data;
    std::vector<std::string> extra;
    content_form form;
    std::string bytes;
};

const std::vector<stream_case>& stream_cases()
{
    static const std::vector<stream_case> cases = {
        {"no filter", "", plain, {}, content_form::stored, plain},
        {"FlateDecode", "/Filter /FlateDecode", packed, {}, content_form::decoded, plain},
        {"FlateDecode alone in an array",
         "/Filter [ /FlateDecode ]",
         packed,
         {},
         content_form::decoded,
         plain},
        {"empty filter array", "/Filter []", plain, {}, content_form::stored, plain},
        {"null filter", "/Filter null", plain, {}, content_form::stored, plain},
        // The name elsewhere in the dictionary is not a filter.
        {"FlateDecode only as another value",
         "/Note /FlateDecode",
         plain,
         {},
         content_form::stored,
         plain},
        {"a filter chain",
         "/Filter [/ASCIIHexDecode /FlateDecode]",
         packed,
         {},
         content_form::undecodable,
         packed},
        {"JPEG data",
         "/Filter /DCTDecode",
         "\xff\xd8\xff\xe0 jpeg",
         {},
         content_form::undecodable,
         "\xff\xd8\xff\xe0 jpeg"},
        {"indirect filter",
         "/Filter 6 0 R",
         packed,
         {"/FlateDecode"},
         content_form::undecodable,
         packed},
        {"PNG predictor",
         "/Filter /FlateDecode /DecodeParms << /Predictor 12 /Columns 4 >>",
         packed,
         {},
         content_form::undecodable,
         packed},
        {"predictor in an array",
         "/Filter [/FlateDecode] /DecodeParms [<< /Predictor 2 >>]",
         packed,
         {},
         content_form::undecodable,
         packed},
        {"predictor 1 is none",
         "/Filter /FlateDecode /DecodeParms << /Predictor 1 /Columns 4 >>",
         packed,
         {},
         content_form::decoded,
         plain},
        {"parameters without predictor",
         "/Filter /FlateDecode /DecodeParms << /Columns 4 >>",
         packed,
         {},
         content_form::decoded,
         plain},
        {"indirect parameters with predictor",
         "/Filter /FlateDecode /DecodeParms 6 0 R",
         packed,
         {"<< /Predictor 10 >>"},
         content_form::undecodable,
         packed},
        {"indirect parameters without predictor",
         "/Filter /FlateDecode /DecodeParms 6 0 R",
         packed,
         {"<< /Columns 3 >>"},
         content_form::decoded,
         plain},
        {"truncated data",
         "/Filter /FlateDecode",
         packed.substr(0, packed.size() / 2),
         {},
         content_form::undecodable,
         packed.substr(0, packed.size() / 2)},
        {"not zlib data", "/Filter /FlateDecode", plain, {}, content_form::undecodable, plain},
    };
    return cases;
}

TEST(DecodedStream, FiltersAndForms)
{
    for (const stream_case& c : stream_cases()) {
        loaded doc(doc_with_stream(c.dict, c.data, c.extra));
        ASSERT_EQ(doc.rc, 0) << c.what;
        const load::obj_entry* e = doc.d.objs.find(stream_num);
        ASSERT_NE(e, nullptr) << c.what;
        base::byte_buffer scratch;
        const load::stream_content got = load::decoded_stream(doc.d, *e, scratch);
        EXPECT_EQ(got.form, c.form) << c.what;
        EXPECT_EQ(std::string(got.bytes), c.bytes) << c.what;
        // Only decoded content goes into the scratch buffer; stored content leaves it untouched.
        EXPECT_EQ(scratch.len, c.form == content_form::decoded ? c.bytes.size() : 0u) << c.what;
        if (c.form == content_form::stored) {
            EXPECT_EQ(scratch.data, nullptr) << c.what;
        }
    }
}

TEST(DecodedStream, NoContent)
{
    loaded doc(doc_with_stream("", ""));
    ASSERT_EQ(doc.rc, 0);
    base::byte_buffer scratch;
    // An empty stream and an object that is no stream at all.
    for (int num : {stream_num, 1}) {
        const load::stream_content got =
            load::decoded_stream(doc.d, *doc.d.objs.find(num), scratch);
        EXPECT_EQ(got.form, content_form::none) << num;
        EXPECT_TRUE(got.bytes.empty()) << num;
    }
}

// Data that inflates to far more than 20 x its size + 4096 is decoded in full.
TEST(DecodedStream, LargeExpansionDecodesInFull)
{
    const std::string big(3'000'000, 'a');
    loaded doc(doc_with_stream("/Filter /FlateDecode", zlib_compress(big, 9)));
    ASSERT_EQ(doc.rc, 0);
    base::byte_buffer scratch;
    const load::stream_content got =
        load::decoded_stream(doc.d, *doc.d.objs.find(stream_num), scratch);
    ASSERT_EQ(got.form, content_form::decoded);
    EXPECT_TRUE(got.bytes == big);
    EXPECT_EQ(got.bytes.data()[got.bytes.size()], '\0');
}

// Damage after good data: the bytes before the damage are the content.
TEST(DecodedStream, FormatErrorKeepsTheGoodPart)
{
    const std::string data = "\x78\x9c" + std::string("\x00\x05\x00\xfa\xff", 5) + "hello" + "\x07";
    loaded doc(doc_with_stream("/Filter /FlateDecode", data));
    ASSERT_EQ(doc.rc, 0);
    base::byte_buffer scratch;
    const load::stream_content got =
        load::decoded_stream(doc.d, *doc.d.objs.find(stream_num), scratch);
    EXPECT_EQ(got.form, content_form::decoded);
    EXPECT_EQ(std::string(got.bytes), "hello");
}

TEST(DecodedStream, SuccessiveCallsShareTheScratchBuffer)
{
    loaded doc(doc_with_stream("/Filter /FlateDecode", packed));
    ASSERT_EQ(doc.rc, 0);
    const load::obj_entry& e = *doc.d.objs.find(stream_num);
    base::byte_buffer scratch;
    scratch.append("head");
    const load::stream_content first = load::decoded_stream(doc.d, e, scratch);
    const load::stream_content second = load::decoded_stream(doc.d, e, scratch);
    ASSERT_EQ(second.form, content_form::decoded);
    // Adjacent regions, each followed by its own NUL.
    EXPECT_EQ(first.bytes.data(), scratch.data.get() + 4);
    EXPECT_EQ(second.bytes.data(), first.bytes.data() + plain.size());
    EXPECT_EQ(scratch.len, 4 + 2 * plain.size());
    EXPECT_EQ(scratch.data[scratch.len], '\0');
    EXPECT_EQ(std::string(scratch.view()), "head" + plain + plain);
}

TEST(DecodedStream, FailedScratchBufferIsNotRevived)
{
    loaded doc(doc_with_stream("/Filter /FlateDecode", packed));
    ASSERT_EQ(doc.rc, 0);
    base::byte_buffer scratch;
    scratch.reserve(base::buffer_max_reservation + 1);
    ASSERT_TRUE(scratch.failed);
    const load::stream_content got =
        load::decoded_stream(doc.d, *doc.d.objs.find(stream_num), scratch);
    EXPECT_EQ(got.form, content_form::undecodable);
    EXPECT_EQ(scratch.data, nullptr);
}

}  // namespace
}  // namespace kestrin::test
