// Reading ToUnicode CMap data: codespace, bfchar, bfrange in both forms, damaged data, limits.
#include "scan/cmap.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace kestrin::scan {
namespace {

using namespace std::string_literals;
using pairs = std::vector<std::pair<std::uint32_t, char32_t>>;

pairs mappings_of(std::string_view data)
{
    pairs out;
    for (const auto& m : read_to_unicode_cmap(data).mappings) out.emplace_back(m.code, m.character);
    return out;
}

struct mapping_case {
    const char* why;
    std::string data;
    pairs expected;
};

TEST(ToUnicodeCMap, ReadsCharsAndRanges)
{
    const std::vector<mapping_case> cases = {
        {"bfchar", "2 beginbfchar <0003> <0041> <0004> <00E9> endbfchar", {{3, U'A'}, {4, U'\u00E9'}}},
        {"one-byte codes", "1 beginbfchar <41> <0061> endbfchar", {{0x41, U'a'}}},
        {"four-byte codes", "1 beginbfchar <00010203> <0042> endbfchar", {{0x00010203, U'B'}}},
        {"surrogate pair", "1 beginbfchar <0001> <D83DDE00> endbfchar", {{1, U'\U0001F600'}}},
        {"one-byte destination", "1 beginbfchar <0001> <41> endbfchar", {{1, U'A'}}},
        {"literal strings", "1 beginbfchar (\\000\\001) (\\000B) endbfchar", {{1, U'B'}}},
        {"hex digits split by white space, lower case", "1 beginbfchar <00 0a> <04 1f> endbfchar", {{10, U'\u041F'}}},
        {"range counting up", "1 beginbfrange <0010> <0012> <0410> endbfrange",
         {{0x10, U'\u0410'}, {0x11, U'\u0411'}, {0x12, U'\u0412'}}},
        {"range counting past a byte", "1 beginbfrange <0001> <0002> <00FF> endbfrange", {{1, U'\u00FF'}, {2, U'\u0100'}}},
        {"range from a surrogate pair", "1 beginbfrange <0001> <0002> <D83DDE00> endbfrange",
         {{1, U'\U0001F600'}, {2, U'\U0001F601'}}},
        {"range with an array", "1 beginbfrange <0020> <0022> [<0041> <0042> <0043>] endbfrange",
         {{0x20, U'A'}, {0x21, U'B'}, {0x22, U'C'}}},
        {"array shorter than the range", "1 beginbfrange <0020> <0022> [<0041>] endbfrange", {{0x20, U'A'}}},
        {"array longer than the range", "1 beginbfrange <0020> <0020> [<0041> <0042>] endbfrange", {{0x20, U'A'}}},
        {"several sections in order", "1 beginbfchar <01> <0041> endbfchar 1 beginbfrange <02> <02> <0042> endbfrange "
                                      "1 beginbfchar <01> <0043> endbfchar",
         {{1, U'A'}, {2, U'B'}, {1, U'C'}}},
        {"comments and the CMap's frame",
         "%!PS\n/CIDInit /ProcSet findresource begin 12 dict begin begincmap /CIDSystemInfo << /Registry (Adobe) "
         "/Ordering (UCS) /Supplement 0 >> def\n1 begincodespacerange <0000> <FFFF> endcodespacerange\n"
         "% a comment <0009> <0058>\n1 beginbfchar <0007> <0058> endbfchar endcmap CMapName currentdict /CMap "
         "defineresource pop end end",
         {{7, U'X'}}},
    };
    for (const auto& c : cases) EXPECT_EQ(mappings_of(c.data), c.expected) << c.why;
}

TEST(ToUnicodeCMap, LeavesOutWhatNoOneCharacterShows)
{
    const std::vector<mapping_case> cases = {
        {"a ligature's two characters", "2 beginbfchar <0001> <00660069> <0002> <0041> endbfchar", {{2, U'A'}}},
        {"three bytes", "1 beginbfchar <0001> <004100> endbfchar", {}},
        {"a lone high surrogate", "1 beginbfchar <0001> <D800> endbfchar", {}},
        {"a low surrogate first", "1 beginbfchar <0001> <DC00D800> endbfchar", {}},
        {"a range of ligatures", "1 beginbfrange <0001> <0002> <00660069> endbfrange", {}},
        {"ligatures inside an array", "1 beginbfrange <0001> <0002> [<00660069> <0042>] endbfrange", {{2, U'B'}}},
        {"a range running into the surrogates", "1 beginbfrange <0001> <0003> <D7FE> endbfrange",
         {{1, U'\uD7FE'}, {2, U'\uD7FF'}}},
        {"a range running past the last character", "1 beginbfrange <0001> <0003> <DBFFDFFE> endbfrange",
         {{1, U'\U0010FFFE'}, {2, U'\U0010FFFF'}}},
        {"a code of five bytes", "1 beginbfchar <0001020304> <0041> endbfchar", {}},
        {"an empty code", "1 beginbfchar <> <0041> endbfchar", {}},
        {"a range whose end comes first", "1 beginbfrange <0005> <0001> <0041> endbfrange", {}},
        {"a glyph name destination", "2 beginbfchar <0001> /A <0002> <0042> endbfchar", {{2, U'B'}}},
    };
    for (const auto& c : cases) EXPECT_EQ(mappings_of(c.data), c.expected) << c.why;
}

TEST(ToUnicodeCMap, SurvivesDamagedData)
{
    const std::vector<mapping_case> cases = {
        {"no end keyword: the next section's count ends it",
         "1 beginbfchar <01> <0041>\n1 beginbfrange <02> <03> <0042> endbfrange", {{1, U'A'}, {2, U'B'}, {3, U'C'}}},
        {"an odd operand count", "1 beginbfchar <01> <0041> <02> endbfchar 1 beginbfchar <03> <0043> endbfchar",
         {{1, U'A'}, {3, U'C'}}},
        {"a range cut short", "1 beginbfrange <01> <02> endbfrange", {}},
        {"an unclosed array", "1 beginbfrange <01> <02> [<0041> <0042> endbfrange 1 beginbfchar <05> <0045> endbfchar",
         {{1, U'A'}, {2, U'B'}, {5, U'E'}}},
        {"an unclosed hex string", "1 beginbfchar <01> <0041", {}},
        {"data ending inside a section", "1 beginbfchar <01> <0041> <02>", {{1, U'A'}}},
        {"mappings outside any section", "<01> <0041> beginbfchar", {}},
        {"NUL bytes", "1 beginbfchar\0<01>\0<0041>\0endbfchar"s, {{1, U'A'}}},
        {"nothing", "", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(mappings_of(c.data), c.expected) << c.why;
}

TEST(ToUnicodeCMap, ReadsTheCodespace)
{
    const auto cmap = read_to_unicode_cmap(
        "3 begincodespacerange <00> <80> <8140> <9FFC> <0000> <00> endcodespacerange "
        "1 begincodespacerange <20> <10> endcodespacerange");
    // The third pair's ends differ in length and the last runs backwards: both left out.
    ASSERT_EQ(cmap.codespace.size(), 2u);
    EXPECT_EQ(cmap.codespace[0].low, 0x00u);
    EXPECT_EQ(cmap.codespace[0].high, 0x80u);
    EXPECT_EQ(cmap.codespace[0].bytes, 1);
    EXPECT_EQ(cmap.codespace[1].low, 0x8140u);
    EXPECT_EQ(cmap.codespace[1].high, 0x9FFCu);
    EXPECT_EQ(cmap.codespace[1].bytes, 2);
    EXPECT_TRUE(cmap.mappings.empty());
}

TEST(ToUnicodeCMap, BoundsWhatRangesMake)
{
    // The widest range allowed maps every code; one code wider is left out whole.
    EXPECT_EQ(read_to_unicode_cmap("1 beginbfrange <0000> <FFFF> <E000> endbfrange").mappings.size(),
              std::size_t{max_cmap_range_codes});
    EXPECT_TRUE(read_to_unicode_cmap("1 beginbfrange <000000> <010000> <0041> endbfrange").mappings.empty());
    EXPECT_TRUE(read_to_unicode_cmap("1 beginbfrange <00000000> <FFFFFFFF> <0041> endbfrange").mappings.empty());

    // Many wide ranges stop at the total limit, the first mappings kept.
    std::string data = "beginbfrange\n";
    for (int i = 0; i < 8; ++i) data += "<0000> <FFFF> <E000>\n";
    data += "endbfrange 1 beginbfchar <0001> <0041> endbfchar";
    const auto cmap = read_to_unicode_cmap(data);
    ASSERT_EQ(cmap.mappings.size(), max_cmap_mappings);
    EXPECT_EQ(cmap.mappings.front().character, U'\uE000');
    EXPECT_EQ(cmap.mappings.back().code, 0xFFFFu);
}

}  // namespace
}  // namespace kestrin::scan
