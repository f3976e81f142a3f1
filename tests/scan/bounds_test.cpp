// Whole-text checks: no primitive reads past its limit.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>

#include "scan/frame.h"
#include "scan/token.h"
#include "scan/value.h"

using namespace std::literals;
using namespace kestrin::scan;

namespace {

// Bytes chosen to reach every branch: delimiters, strings, escapes, NUL, signs, keywords.
const std::string mixed =
    "1 0 obj\n<< /Type /Page /Length 7 0 R /Rect [1 -2 .5 4] /AS /Off /S (a\\)(b)) /H <4F> % c\n"
    "/K [<</X 1>>] >>\nstream\0\r\nendstream endobj /Matrix [+"s;

// Every result must be -1 or a position within the text.
void expect_position(std::int32_t got, std::size_t n, const char* what)
{
    EXPECT_TRUE(got >= -1 && got <= static_cast<std::int32_t>(n))
        << what << " gave " << got << " for " << n;
}

void run_every_reader(std::string_view t)
{
    const std::size_t n = t.size();
    const auto lim = static_cast<std::int32_t>(n);
    for (std::int32_t pos = 0; pos <= static_cast<std::int32_t>(n); ++pos) {
        expect_position(skip_ws(t, pos), n, "skip_ws");
        expect_position(skip_pdf_value(t, pos), n, "skip_pdf_value");
        expect_position(find_dict_close(t, pos, lim), n, "find_dict_close");
        expect_position(dict_stream_kw(t, pos), n, "dict_stream_kw");
        std::int32_t p = pos;
        parse_int_at(t, p);
        expect_position(p, n, "parse_int_at");
        p = pos;
        read_int_adv(t, p);
        expect_position(p, n, "read_int_adv");
        double numbers[6];
        EXPECT_LE(array_numbers(t, pos, numbers), 6);
        if (const auto b = box_of_array(t, pos)) {
            EXPECT_GT(b->w, 0);
        }
        if (const auto d = dict_text_at(t, pos)) {
            EXPECT_LE(d->size(), n - pos);
        }
    }
    expect_position(find_kw(t, 0, "endstream"), n, "find_kw");
    expect_position(find_key_anywhere(t, 0, lim, "Length"), n, "find_key_anywhere");
    expect_position(find_top_level_key(t, 8, lim, "Type"), n, "find_top_level_key");
    EXPECT_GE(obj_type(t, 8), 0);
    std::int32_t direct = 0, ref = 0;
    parse_length(t, 0, lim, direct, ref);
    if (const auto v = dict_name_value(t, 0, "AS")) {
        EXPECT_LE(v->size(), n);
    }
}

TEST(Bounds, EveryPrefixInAnExactSizeBuffer)
{
    // A heap block of exactly n bytes, so that a read past the limit is caught by the address
    // sanitizer instead of landing on the rest of the fixture.
    for (std::size_t n = 0; n <= mixed.size(); ++n) {
        const auto block = std::make_unique<char[]>(n == 0 ? 1 : n);
        std::copy_n(mixed.data(), n, block.get());
        run_every_reader(std::string_view(block.get(), n));
    }
}

TEST(Bounds, EditorsOnEveryPrefixKeepTheClose)
{
    for (std::size_t n = 0; n <= mixed.size(); ++n) {
        const std::string text = mixed.substr(0, n) + ">>";
        std::string stripped = text;
        strip_dict_entry(stripped, "K");
        EXPECT_TRUE(std::string_view(stripped).ends_with(">>")) << n;
        EXPECT_LE(stripped.size(), text.size());
    }
}

}  // namespace
