// Real-world streams: every stream of the corpus that zlib decodes completely must decode to the
// same bytes with ours.
#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "decode/inflate.h"
#include "load/doc.h"
#include "manifest.h"

namespace kestrin::test {
namespace {

// zlib's complete decoding, or nothing when the data is not one whole zlib stream.
bool zlib_whole(std::string_view data, std::string& out)
{
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return false;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    out.clear();
    int rc = Z_OK;
    char chunk[65536];
    while (rc == Z_OK) {
        z.next_out = reinterpret_cast<Bytef*>(chunk);
        z.avail_out = sizeof chunk;
        rc = inflate(&z, Z_NO_FLUSH);
        out.append(chunk, sizeof chunk - z.avail_out);
    }
    inflateEnd(&z);
    return rc == Z_STREAM_END;
}

TEST(CorpusInflate, StreamsMatchZlib)
{
    const std::vector<manifest_row> rows = read_manifest(KESTRIN_CORPUS_DIR);
    if (rows.empty()) GTEST_SKIP() << "corpus not present";
    int compared = 0;
    for (const manifest_row& row : rows) {
        const base::result<load::doc> loaded = load::load_document(row.path().c_str());
        if (!loaded) continue;
        const load::doc& d = loaded.value();
        std::string expect;
        for (const load::obj_entry& e : d.objs.entries) {
            if (!e.is_stream || e.data_start < 0 || e.data_end <= e.data_start) continue;
            const std::string_view stored = d.file().substr(
                static_cast<std::size_t>(e.data_start), static_cast<std::size_t>(e.data_end - e.data_start));
            if (!zlib_whole(stored, expect)) continue;
            decode::inflated got;
            ASSERT_EQ(decode::inflate_growing(stored, expect.size(), expect.size(), got), 0)
                << row.path() << " object " << e.num;
            ASSERT_EQ(std::string_view(got.data.get(), got.len), expect)
                << row.path() << " object " << e.num;
            ++compared;
        }
    }
    EXPECT_GT(compared, 1000);
}

}  // namespace
}  // namespace kestrin::test
