// The command line's page count, read whole and in pieces of every size: a piece edge inside a
// "/Type /Page" entry, its white space or the byte after it must not change the count.
#include <gtest/gtest.h>

#include <string>

#include "page_tally.h"
#include "pdf_builder.h"

namespace kestrin::test {
namespace {

TEST(PageTally, EveryPieceSizeCountsAsTheWholeText)
{
    const struct {
        std::string text;
        long pages;
    } cases[] = {
        {"", 0},
        {"<< /Type /Page >>", 1},
        {"<</Type/Page>>", 1},
        {"<< /Type /Pages /Kids [3 0 R] >> << /Type /Page >>", 1},
        {"/Type\r\n  \n/Page", 1},         // the entry at the very end of the file
        {"/Type /Page2 /Type /PageX", 0},   // a longer name is not a page
        {"/Type /Font /Type /Page/Type /Page", 2},
        {"/Typ /Page /Type", 0},
        {"x/Type/Page(" + std::string(40, ' ') + "/Type " + std::string(30, '\n') + "/Page>>", 2},
        {"/Type" + std::string(50, '\r') + "/Pages /Type \n /Page", 1},
    };
    temp_dir dir;
    for (const auto& c : cases) {
        const std::string path = dir.write("out.pdf", c.text);
        EXPECT_EQ(kestrin_cli::count_pages(c.text), c.pages) << c.text;
        for (std::size_t piece = 1; piece <= c.text.size() + 1; ++piece) {
            const auto tally = kestrin_cli::tally_file(path, piece);
            ASSERT_TRUE(tally.has_value());
            EXPECT_EQ(tally->pages, c.pages) << c.text << " in pieces of " << piece;
            EXPECT_EQ(tally->bytes, c.text.size());
        }
    }
    EXPECT_FALSE(kestrin_cli::tally_file(dir.file("absent.pdf")).has_value());
}

}  // namespace
}  // namespace kestrin::test
