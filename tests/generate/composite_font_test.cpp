// Composite fonts: the inverse ToUnicode map, W and DW widths, which fonts can be drawn in, and
// the layout of text in two-byte codes.
#include "generate/composite_font.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../plan/plan_fixture.h"
#include "generate/list_box.h"
#include "load/values.h"

namespace kestrin::generate {
namespace {

using test::loaded_doc;
using test::one_page_doc;

struct code_case {
    const char* why;
    std::vector<scan::code_character> mappings;
    char32_t character;
    std::optional<std::uint16_t> code;
};

TEST(CompositeFont, FindsTheLowestCodeOfACharacter)
{
    const std::vector<code_case> cases = {
        {"one mapping", {{3, U'A'}}, U'A', 3},
        {"lowest code wins", {{9, U'A'}, {4, U'A'}, {6, U'A'}}, U'A', 4},
        {"a later mapping of a code replaces the earlier", {{4, U'A'}, {4, U'B'}, {6, U'A'}}, U'A', 6},
        {"the earlier mapping is gone", {{4, U'A'}, {4, U'B'}}, U'B', 4},
        {"code 0 is .notdef", {{0, U'A'}}, U'A', std::nullopt},
        {"codes past two bytes", {{0x10000, U'A'}, {0xFFFF, U'B'}}, U'A', std::nullopt},
        {"the largest two-byte code", {{0x10000, U'A'}, {0xFFFF, U'B'}}, U'B', 0xFFFF},
        {"a character outside the plane", {{5, U'\U0001F600'}}, U'\U0001F600', 5},
        {"a character not mapped", {{3, U'A'}}, U'Z', std::nullopt},
        {"no mapping", {}, U'A', std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(composite_font(c.mappings, {}, 1000).code_of(c.character), c.code) << c.why;
}

// A composite font as object 20 of a document, its descendant 21, its ToUnicode 22, the
// descendant's descriptor 23, a W array object 24 and a width list object 25.
constexpr const char* to_unicode =
    "1 begincodespacerange <0000> <FFFF> endcodespacerange\n"
    "5 beginbfchar <0003> <0041> <0004> <0042> <0005> <0020> <0006> <003F> <0007> <041F> endbfchar\n"
    "1 beginbfrange <0010> <0012> <0430> endbfrange";

std::string font_doc(const std::string& font, const std::string& descendant, const std::string& w_object = "[]")
{
    return one_page_doc()
        .object(20, font)
        .object(21, descendant)
        .stream(22, "", to_unicode)
        .object(23, "<< /Type /FontDescriptor /FontName /Test /Ascent 880 /Descent -120 >>")
        .object(24, w_object)
        .object(25, "[250 260]")
        .build();
}

constexpr const char* identity_font =
    "<< /Type /Font /Subtype /Type0 /BaseFont /Test /Encoding /Identity-H /DescendantFonts [21 0 R] /ToUnicode 22 0 R >>";
constexpr const char* plain_descendant = "<< /Type /Font /Subtype /CIDFontType2 /BaseFont /Test >>";

struct width_case {
    const char* why;
    std::string descendant;
    std::vector<std::pair<std::uint16_t, double>> widths;  // code, expected width
};

TEST(CompositeFont, TakesWidthsFromWAndDW)
{
    const std::string cid = "<< /Type /Font /Subtype /CIDFontType2 ";
    const std::vector<width_case> cases = {
        {"no W, no DW: 1000", cid + ">>", {{3, 1000}}},
        {"DW", cid + "/DW 500 >>", {{3, 500}, {70, 500}}},
        {"a list from a first code", cid + "/W [3 [600 700 800]] >>", {{2, 1000}, {3, 600}, {5, 800}, {6, 1000}}},
        {"a range of one width", cid + "/DW 0 /W [10 12 450] >>", {{9, 0}, {10, 450}, {12, 450}, {13, 0}}},
        {"both forms together", cid + "/W [1 [100] 3 4 300 5 [500 550]] >>",
         {{1, 100}, {2, 1000}, {3, 300}, {4, 300}, {5, 500}, {6, 550}}},
        {"a later entry wins", cid + "/W [3 [600] 3 3 900] >>", {{3, 900}}},
        {"W and a list as objects", cid + "/W 24 0 R >>", {{3, 250}, {4, 260}}},
        {"a range past two bytes is cut", cid + "/W [65534 70000 333] >>", {{65534, 333}, {65535, 333}}},
        {"out-of-range widths are bounded", cid + "/W [3 [-5 99999]] >>", {{3, 0}, {4, 10000}}},
        {"junk between entries", cid + "/W [/x 3 [600] (s) 4 5 700 9] >>", {{3, 600}, {4, 700}, {5, 700}}},
        {"a backwards range", cid + "/W [5 3 700] >>", {{4, 1000}}},
    };
    for (const auto& c : cases) {
        loaded_doc doc(font_doc(identity_font, c.descendant, "[3 25 0 R]"));
        ASSERT_EQ(doc.rc, 0);
        const auto font = read_composite_font(doc.d, identity_font);
        ASSERT_TRUE(font) << c.why;
        for (const auto& [code, width] : c.widths) EXPECT_EQ(font->width(code), width) << c.why << ", code " << code;
    }
}

struct font_case {
    const char* why;
    std::string font;
    std::string descendant;
    bool drawable;
};

TEST(CompositeFont, ReadsOnlyFontsItCanDraw)
{
    const std::string type0 = "<< /Type /Font /Subtype /Type0 /BaseFont /Test ";
    const std::vector<font_case> cases = {
        {"Identity-H with ToUnicode", identity_font, plain_descendant, true},
        {"descendant written in place", type0 + "/Encoding /Identity-H /ToUnicode 22 0 R /DescendantFonts [" +
                                            plain_descendant + "] >>",
         "null", true},
        {"Identity-V: glyphs advance downwards",
         type0 + "/Encoding /Identity-V /DescendantFonts [21 0 R] /ToUnicode 22 0 R >>", plain_descendant, false},
        {"another predefined CMap", type0 + "/Encoding /UniJIS-UCS2-H /DescendantFonts [21 0 R] /ToUnicode 22 0 R >>",
         plain_descendant, false},
        {"an embedded CMap", type0 + "/Encoding 22 0 R /DescendantFonts [21 0 R] /ToUnicode 22 0 R >>", plain_descendant,
         false},
        {"no ToUnicode", type0 + "/Encoding /Identity-H /DescendantFonts [21 0 R] >>", plain_descendant, false},
        {"ToUnicode not a stream", type0 + "/Encoding /Identity-H /DescendantFonts [21 0 R] /ToUnicode /Identity-H >>",
         plain_descendant, false},
        {"ToUnicode mapping nothing drawable", type0 + "/Encoding /Identity-H /DescendantFonts [21 0 R] /ToUnicode 24 0 R >>",
         plain_descendant, false},
        {"no descendant", type0 + "/Encoding /Identity-H /ToUnicode 22 0 R >>", plain_descendant, false},
        {"descendant not a dictionary", identity_font, "[1 2]", false},
        {"not a dictionary", "[/Identity-H]", plain_descendant, false},
    };
    for (const auto& c : cases) {
        const std::string pdf = one_page_doc()
                                    .object(20, c.font)
                                    .object(21, c.descendant)
                                    .stream(22, "", to_unicode)
                                    .stream(24, "", "1 beginbfchar <0000> <0041> endbfchar")
                                    .build();
        loaded_doc doc(pdf);
        ASSERT_EQ(doc.rc, 0) << c.why;
        EXPECT_EQ(read_composite_font(doc.d, c.font).has_value(), c.drawable) << c.why;
    }
}

TEST(CompositeFont, TakesHeightsFromTheDescriptor)
{
    const std::string cid = "<< /Type /Font /Subtype /CIDFontType2 ";
    const struct {
        const char* why;
        std::string descendant;
        std::optional<double> ascent, descent;
    } cases[] = {
        {"a descriptor", cid + "/FontDescriptor 23 0 R >>", 880, -120},
        {"none", cid + ">>", std::nullopt, std::nullopt},
        {"unsound values", cid + "/FontDescriptor << /Ascent -3 /Descent 200 >> >>", std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        loaded_doc doc(font_doc(identity_font, c.descendant));
        const auto font = read_composite_font(doc.d, identity_font);
        ASSERT_TRUE(font) << c.why;
        EXPECT_EQ(font->ascent, c.ascent) << c.why;
        EXPECT_EQ(font->descent, c.descent) << c.why;
    }
}

TEST(CompositeFont, TheCacheReadsEachFontOnce)
{
    loaded_doc doc(font_doc(identity_font, plain_descendant));
    const std::string_view font = load::resolved_value(doc.d, "20 0 R");
    const std::string_view not_drawable = load::resolved_value(doc.d, "21 0 R");
    composite_font_cache cache;
    const composite_font* first = cache.find(doc.d, font);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->code_of(U'A'), 3);
    EXPECT_EQ(cache.find(doc.d, font), first);
    EXPECT_EQ(cache.find(doc.d, not_drawable), nullptr);
    EXPECT_EQ(cache.find(doc.d, not_drawable), nullptr);
}

// The strings a content shows, in order.
std::vector<std::string> shown(const std::string& content)
{
    std::vector<std::string> out;
    for (std::size_t end = content.find(" Tj\n"); end != std::string::npos; end = content.find(" Tj\n", end + 1)) {
        const std::size_t start = content.rfind('\n', end);
        out.push_back(content.substr(start + 1, end - start - 1));
    }
    return out;
}

class CompositeLayout : public ::testing::Test {
protected:
    CompositeLayout()
        : with_question(std::vector<scan::code_character>{{3, U'A'}, {4, U'B'}, {5, U' '}, {6, U'?'}, {7, U'\u041F'}},
                        {{3, 500}, {4, 600}, {5, 250}}, 1000),
          without_question(std::vector<scan::code_character>{{3, U'A'}, {4, U'B'}}, {}, 1000)
    {
    }

    static text_request request(double width, double size, bool multiline = false)
    {
        text_request r;
        r.box = {width, 40, 1};
        r.font_size = size;
        r.flags.multiline = multiline;
        return r;
    }

    composite_font with_question;
    composite_font without_question;
};

TEST_F(CompositeLayout, WritesTwoByteCodesAsHexStrings)
{
    struct layout_case {
        const char* why;
        const composite_font* font;
        std::u32string value;
        std::vector<std::string> strings;
        std::int32_t substituted;
    };
    const std::vector<layout_case> cases = {
        {"mapped characters", &with_question, U"AB \u041F", {"<0003000400050007>"}, 0},
        {"a character the map lacks becomes its question mark", &with_question, U"A\u00E9B", {"<000300060004>"}, 1},
        {"without a question mark it is left out", &without_question, U"A\u00E9B", {"<00030004>"}, 1},
        {"nothing left", &without_question, U"\u00E9", {"<>"}, 1},
    };
    for (const auto& c : cases) {
        const text_appearance laid = layout_text_field(c.value, composite_layout_font("F0", *c.font), request(200, 10));
        EXPECT_EQ(shown(laid.content), c.strings) << c.why;
        EXPECT_EQ(laid.substituted, c.substituted) << c.why;
        EXPECT_NE(laid.content.find("/F0 10.000 Tf"), std::string::npos) << c.why;
    }
}

TEST_F(CompositeLayout, MeasuresAndWrapsByTheFontsWidths)
{
    const layout_font font = composite_layout_font("F0", with_question);
    // "AB" is 500 + 600 units: at size 10 it is 11 wide, centred in the 198 inside the border.
    text_request centred = request(200, 10);
    centred.alignment = quadding::centre;
    const std::string content = layout_text_field(U"AB", font, centred).content;
    EXPECT_NE(content.find("94.500000 "), std::string::npos) << content;

    // Lines of "AB" (1100 units) and a space fit 12 wide at size 10 only one word at a time.
    EXPECT_EQ(shown(layout_text_field(U"AB AB AB", font, request(2 + 4 + 12, 10, true)).content),
              (std::vector<std::string>{"<00030004>", "<00030004>", "<00030004>"}));

    text_request comb = request(200, 10);
    comb.flags.comb = true;
    comb.flags.max_len = 3;
    EXPECT_EQ(shown(layout_text_field(U"ABAB", font, comb).content),
              (std::vector<std::string>{"<0003>", "<0004>", "<0003>"}));
}

TEST_F(CompositeLayout, ListBoxRowsUseTheSameCodes)
{
    const std::vector<list_option> options = {{U"a", U"AB"}, {U"b", U"\u00E9"}};
    list_request r;
    r.box = {100, 40, 1};
    r.font_size = 10;
    const text_appearance laid = list_box_content(options, composite_layout_font("F0", with_question), r);
    EXPECT_EQ(shown(laid.content), (std::vector<std::string>{"<00030004>", "<0006>"}));
    EXPECT_EQ(laid.substituted, 1);
}

}  // namespace
}  // namespace kestrin::generate
