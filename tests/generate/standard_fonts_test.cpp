#include "generate/standard_fonts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace kestrin::generate {
namespace {

struct name_case {
    std::string base_font;
    std::optional<std::string> standard;  // nullopt: not a standard font
};

TEST(FindStandardFont, TakesTheFourteenNamesAndTheirCommonOtherNames)
{
    const std::vector<name_case> cases = {
        {"Helvetica", "Helvetica"},
        {"Times-Roman", "Times-Roman"},
        {"ZapfDingbats", "ZapfDingbats"},
        {"Courier-BoldOblique", "Courier-BoldOblique"},
        {"Arial", "Helvetica"},                          // the Windows names
        {"Arial,BoldItalic", "Helvetica-BoldOblique"},
        {"TimesNewRomanPSMT", "Times-Roman"},
        {"CourierNew,Bold", "Courier-Bold"},
        {"Helvetica,Bold", "Helvetica-Bold"},
        {"helvetica", std::nullopt},                     // names are case-sensitive
        {"Garamond", std::nullopt},
        {"ABCDEF+Helvetica", std::nullopt},              // a subset is an embedded font
        {"", std::nullopt},
        {"Zzz", std::nullopt},                           // after the last name
    };
    for (const auto& c : cases) {
        const font_metrics* font = find_standard_font(c.base_font);
        if (!c.standard) {
            EXPECT_EQ(font, nullptr) << c.base_font;
        } else {
            ASSERT_NE(font, nullptr) << c.base_font;
            EXPECT_EQ(std::string_view(font->name), *c.standard) << c.base_font;
        }
    }
}

struct width_case {
    std::string font;
    std::string glyph;
    std::optional<std::int32_t> width;
};

TEST(GlyphWidth, ReadsTheFontsTable)
{
    const std::vector<width_case> cases = {
        {"Helvetica", "space", 278},
        {"Helvetica", "A", 667},
        {"Helvetica", "Euro", 556},       // not in StandardEncoding, still in the font
        {"Times-Roman", "A", 722},
        {"Courier-Bold", "alpha", 600},   // fixed pitch
        {"Symbol", "alpha", 631},
        {"ZapfDingbats", "a20", 846},     // the check mark
        {"Helvetica", "a20", std::nullopt},
        {"Helvetica", "", std::nullopt},
        {"Helvetica", "zzzz", std::nullopt},
    };
    for (const auto& c : cases) {
        const font_metrics* font = find_standard_font(c.font);
        ASSERT_NE(font, nullptr);
        EXPECT_EQ(glyph_width(*font, c.glyph), c.width) << c.font << " " << c.glyph;
    }
}

TEST(StandardFontTable, IsSortedForItsSearches)
{
    EXPECT_TRUE(std::is_sorted(std::begin(table::standard_fonts), std::end(table::standard_fonts),
                               [](const font_metrics& a, const font_metrics& b) {
                                   return std::string_view(a.name) < std::string_view(b.name);
                               }));
    for (const auto& font : table::standard_fonts) {
        EXPECT_FALSE(font.widths.empty()) << font.name;
        EXPECT_TRUE(std::ranges::is_sorted(font.widths, {}, [](const table::glyph_width& g) {
            return std::string_view(g.name);
        })) << font.name;
    }
}

// What an AFM file says about a font.
struct afm_font {
    std::map<std::string, std::string> header;
    std::map<std::string, std::int32_t> widths;
    std::map<std::string, std::vector<std::int32_t>> boxes;
};

std::optional<afm_font> read_afm(const std::filesystem::path& path)
{
    std::ifstream in(path);
    if (!in) return std::nullopt;
    afm_font afm;
    std::string text_line;
    while (std::getline(in, text_line)) {
        if (text_line.rfind("C ", 0) == 0) {
            std::istringstream fields(text_line);
            std::string word, name;
            std::int32_t width = 0;
            std::vector<std::int32_t> box(4);
            while (fields >> word) {
                if (word == "WX") fields >> width;
                else if (word == "N") fields >> name;
                else if (word == "B") fields >> box[0] >> box[1] >> box[2] >> box[3];
            }
            afm.widths[name] = width;
            afm.boxes[name] = box;
        } else if (const auto space = text_line.find(' '); space != std::string::npos) {
            afm.header.emplace(text_line.substr(0, space), text_line.substr(space + 1));
        }
    }
    return afm;
}

std::vector<std::int32_t> numbers_of(const std::string& text)
{
    std::istringstream in(text);
    std::vector<std::int32_t> out;
    for (std::int32_t v = 0; in >> v;) out.push_back(v);
    return out;
}

// The checked-in table against the AFM files it was made from (Debian's fonts-urw-base35).
TEST(StandardFontTable, MatchesTheAfmFiles)
{
    const std::filesystem::path dir = "/usr/share/fonts/type1/urw-base35";
    if (!std::filesystem::exists(dir)) GTEST_SKIP() << "fonts-urw-base35 is not installed";
    for (const auto& font : table::standard_fonts) {
        const auto afm = read_afm(dir / (std::string(font.source) + ".afm"));
        ASSERT_TRUE(afm) << font.source;
        EXPECT_EQ(afm->header.at("FontName"), font.source);
        EXPECT_EQ(std::stoi(afm->header.at("CapHeight")), font.cap_height) << font.name;
        const auto bbox = numbers_of(afm->header.at("FontBBox"));
        EXPECT_EQ(bbox, std::vector<std::int32_t>(font.bbox.begin(), font.bbox.end())) << font.name;
        // The files give Ascender and Descender as 0: the table has the top of "d" and the bottom
        // of "p", or the bounding box where the font has no such letters.
        EXPECT_EQ(afm->boxes.count("d") ? afm->boxes.at("d")[3] : bbox[3], font.ascent) << font.name;
        EXPECT_EQ(afm->boxes.count("p") ? afm->boxes.at("p")[1] : bbox[1], font.descent) << font.name;
        ASSERT_EQ(afm->widths.size(), font.widths.size()) << font.name;
        for (const auto& [name, width] : afm->widths)
            EXPECT_EQ(glyph_width(font, name), width) << font.name << " " << name;
    }
}

}  // namespace
}  // namespace kestrin::generate
