// The skipping searches (block-wise probes and byte-set searches, and every scanner built on them)
// against plain byte-by-byte versions, on random texts of every short length and on needles that
// end exactly at the limit. Texts live in heap blocks of exactly their size, so that the address
// sanitizer reports a block load that reaches past the limit.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "naive_scanners.h"
#include "scan/frame.h"
#include "scan/reference.h"
#include "scan/search.h"
#include "scan/token.h"
#include "scan/value.h"

using namespace std::literals;
using namespace kestrin::scan;

namespace {

class exact_text {
public:
    explicit exact_text(std::string_view bytes)
        : block_(std::make_unique<char[]>(bytes.empty() ? 1 : bytes.size())), size_(bytes.size())
    {
        std::copy(bytes.begin(), bytes.end(), block_.get());
    }
    std::string_view view() const { return {block_.get(), size_}; }

private:
    std::unique_ptr<char[]> block_;
    std::size_t size_;
};

std::string random_text(std::mt19937& rng, std::string_view alphabet, std::size_t n)
{
    std::string text(n, ' ');
    for (char& c : text) c = alphabet[rng() % alphabet.size()];
    return text;
}

// Alphabets that make near-misses common for the searches under test.
struct alphabet_case {
    std::string_view bytes;
    const char* what;
};

const alphabet_case alphabets[] = {
    {"/Type Pagesobj\n<>", "keys and keywords"},
    {"<<>>()\\/T%\r x", "nesting, strings, escapes, comments"},
    {"/Page<>( )Typ\0e s"sv, "page values, with NUL"},
    {"0 12 R\n/Rx", "references"},
};

std::int32_t plain_find_probes(std::string_view t, std::int32_t from, std::int32_t last,
                               const probes& pr)
{
    const auto n = static_cast<std::int32_t>(t.size());
    const std::int32_t reach = pr.second_at > pr.third_at ? pr.second_at : pr.third_at;
    for (std::int32_t p = from < 0 ? 0 : from; p <= last && p + reach < n; ++p)
        if (t[p] == pr.first && t[p + pr.second_at] == pr.second && t[p + pr.third_at] == pr.third)
            return p;
    return -1;
}

template <std::size_t N>
std::int32_t plain_find_any(std::string_view t, std::int32_t from, std::int32_t lim,
                            const std::array<char, N>& set)
{
    const auto n = static_cast<std::int32_t>(t.size());
    if (lim > n) lim = n;
    if (lim < 0) lim = 0;
    for (std::int32_t p = from < 0 ? 0 : from; p < lim; ++p)
        for (char c : set)
            if (t[p] == c) return p;
    return lim;
}

TEST(BlockSearch, ProbesAgreeWithPlainLoopAtEveryLength)
{
    const probes cases[] = {
        key_probes("Page"),  // three distinct probes, the farthest four bytes on
        key_probes("P"),     // second and third probe on the same byte
        key_probes(""),      // the slash alone
        word_probes("obj"),  // a keyword's first, second and last byte
        word_probes("x"),    // a one-byte keyword
    };
    std::mt19937 rng(7);
    for (std::size_t n = 0; n <= 80; ++n) {
        for (int round = 0; round < 20; ++round) {
            const exact_text text(random_text(rng, "/Pagexobj", n));
            const std::string_view t = text.view();
            const auto size = static_cast<std::int32_t>(n);
            const std::int32_t from = static_cast<std::int32_t>(rng() % (n + 3)) - 2;
            const std::int32_t last = static_cast<std::int32_t>(rng() % (n + 6)) - 2;
            for (const probes& pr : cases) {
                ASSERT_EQ(find_probes(t, from, last, pr), plain_find_probes(t, from, last, pr))
                    << t << " from " << from << " last " << last;
                // The whole text: candidates up to the farthest that fits.
                ASSERT_EQ(find_probes(t, 0, size, pr), plain_find_probes(t, 0, size, pr)) << t;
            }
        }
    }
}

TEST(BlockSearch, ByteSetsAgreeWithPlainLoopAtEveryLength)
{
    constexpr std::array<char, 1> one = {'>'};
    constexpr std::array<char, 3> nesting = {'(', '<', '>'};
    constexpr std::array<char, 5> top = {'/', '%', '(', '<', '>'};
    std::mt19937 rng(11);
    for (std::size_t n = 0; n <= 80; ++n) {
        for (int round = 0; round < 20; ++round) {
            // Mostly plain bytes, so that whole blocks hold no member.
            const exact_text text(random_text(rng, "abcdefghijklmnop/%(<>", n));
            const std::string_view t = text.view();
            const std::int32_t from = static_cast<std::int32_t>(rng() % (n + 3)) - 2;
            const std::int32_t lim = static_cast<std::int32_t>(rng() % (n + 6)) - 2;
            ASSERT_EQ(find_any(t, from, lim, one), plain_find_any(t, from, lim, one)) << t;
            ASSERT_EQ(find_any(t, from, lim, nesting), plain_find_any(t, from, lim, nesting)) << t;
            ASSERT_EQ(find_any(t, from, lim, top), plain_find_any(t, from, lim, top)) << t;
        }
    }
}

// Every scanner that skips ahead, from the given start, against its byte-by-byte version.
void expect_scanners_agree(std::string_view t, std::int32_t start, const std::string& label)
{
    const auto size = static_cast<std::int32_t>(t.size());
    for (const std::string_view name : {"Type"sv, "Page"sv, "T"sv, "R"sv}) {
        ASSERT_EQ(find_key_anywhere(t, start, size, name), naive::find_key_anywhere(t, start, name))
            << label << " find_key_anywhere " << name << " from " << start;
        ASSERT_EQ(find_top_level_key(t, start, size, name), naive::find_top_level_key(t, start, name))
            << label << " find_top_level_key " << name << " from " << start;
    }
    for (const std::string_view kw : {"obj"sv, "Pages"sv, "R"sv})
        ASSERT_EQ(find_kw(t, start, kw), naive::find_kw(t, start, kw))
            << label << " find_kw " << kw << " from " << start;
    ASSERT_EQ(find_dict_close(t, start, size), naive::find_dict_close(t, start))
        << label << " find_dict_close from " << start;
    ASSERT_EQ(skip_literal_string(t, start), naive::skip_literal_string(t, start))
        << label << " skip_literal_string from " << start;
    ASSERT_EQ(obj_type(t, start), naive::obj_type(t, start)) << label << " obj_type from " << start;
    if (t.substr(start, 2) == "<<") {
        ASSERT_EQ(skip_pdf_value(t, start), naive::dict_end(t, start))
            << label << " skip_pdf_value from " << start;
    }
}

// find_top_level_keys promises what find_top_level_key gives for each name on its own.
void expect_names_top_agree(std::string_view t, std::int32_t start, const std::string& label)
{
    constexpr std::array<std::string_view, 4> names = {"Type", "Page", "T", "Pages"};
    std::array<std::int32_t, names.size()> found{};
    find_top_level_keys(t, start, static_cast<std::int32_t>(t.size()), names, found);
    for (std::size_t i = 0; i < names.size(); ++i)
        ASSERT_EQ(found[i], naive::find_top_level_key(t, start, names[i]))
            << label << " find_top_level_keys " << names[i] << " from " << start;
}

TEST(Searches, AgreeWithByteByByteSearchOnRandomText)
{
    std::mt19937 rng(2024);
    for (const alphabet_case& a : alphabets) {
        for (int round = 0; round < 300; ++round) {
            // Lengths below, around and well above one 16-byte block.
            const std::size_t n =
                round < 200 ? static_cast<std::size_t>(round % 50) : 50 + rng() % 400;
            const exact_text text(random_text(rng, a.bytes, n));
            const std::string_view t = text.view();
            for (std::int32_t start = 0; start <= static_cast<std::int32_t>(n); ++start) {
                expect_scanners_agree(t, start, a.what);
                expect_names_top_agree(t, start, a.what);
            }
            const std::int32_t cap = static_cast<std::int32_t>(rng() % 20);
            ASSERT_EQ(highest_reference(t, cap), naive::highest_reference(t, cap)) << a.what;
        }
    }
}

// A needle that ends exactly at the limit, after filler of every length up to three blocks. find
// reads the needle from its first byte; its answer is expected, counted from the needle's first
// byte when relative.
struct end_case {
    std::string_view needle;
    std::string_view filler;
    std::int32_t (*find)(std::string_view, std::int32_t);
    std::int32_t expected;
    bool relative;
    const char* what;
};

const end_case end_cases[] = {
    {"/Type", "x Type/Typ ",
     [](std::string_view t, std::int32_t at) { return find_key_anywhere(t, at, text_limit(t), "Type"); },
     0, true, "a key as the last bytes"},
    {"<< /Type /Page", "<<>> ", [](std::string_view t, std::int32_t at) { return obj_type(t, at); },
     1, false, "a page value as the last bytes"},
    {"<< /A (x) >>", "( ) ",
     [](std::string_view t, std::int32_t at) { return find_dict_close(t, at, text_limit(t)); },
     10, true, "a dictionary closing at the limit"},
    {"endobj", "endob ",
     [](std::string_view t, std::int32_t at) { return find_kw(t, at, "endobj"); },
     0, true, "a keyword as the last bytes"},
    {"12 0 R", "R 0", [](std::string_view t, std::int32_t) { return highest_reference(t, 1000); },
     12, false, "a reference as the last bytes"},
};

TEST(Searches, FindNeedlesEndingAtTheLimit)
{
    std::mt19937 rng(5);
    for (const end_case& c : end_cases) {
        for (std::size_t fill = 0; fill <= 48; ++fill) {
            const std::string bytes =
                random_text(rng, c.filler, fill) + " " + std::string(c.needle);
            const exact_text text(bytes);
            const std::string_view t = text.view();
            for (std::int32_t start = 0; start <= static_cast<std::int32_t>(t.size()); ++start)
                expect_scanners_agree(t, start, c.what);
            const auto at = static_cast<std::int32_t>(t.size() - c.needle.size());
            EXPECT_EQ(c.find(t, at), c.relative ? at + c.expected : c.expected)
                << c.what << ": " << t;
        }
    }
}

// Compares every occurrence found by the library with the reference, walking the whole text.
void expect_same_occurrences(std::string_view t, std::string_view word, const std::string& label)
{
    std::int32_t from = 0;
    for (;;) {
        const std::int32_t got = find_kw(t, from, word);
        ASSERT_EQ(got, naive::find_kw(t, from, word))
            << label << " kw " << word << " from " << from;
        if (got < 0) break;
        from = got + 1;
    }
    from = 0;
    for (;;) {
        const std::int32_t got = find_key_anywhere(t, from, static_cast<std::int32_t>(t.size()), word);
        ASSERT_EQ(got, naive::find_key_anywhere(t, from, word))
            << label << " name " << word << " from " << from;
        if (got < 0) break;
        from = got + 1;
    }
}

TEST(Searches, AgreeWithByteByByteSearchOnSyntheticText)
{
    // Few distinct bytes make overlapping near-misses common.
    constexpr std::string_view alphabet("/obj Rx_\0 1", 11);
    std::mt19937 rng(12345);
    const exact_text text(random_text(rng, alphabet, 200000));
    for (const std::string_view word : {"obj", "o", "R", "bj", "Rx"})
        expect_same_occurrences(text.view(), word, "synthetic");
}

// The dictionary scanners from the "<<" after each of the file's first object headers, on a
// window of the file so that an unclosed dictionary costs no more than the window.
void expect_dictionaries_agree(std::string_view file, const std::string& label)
{
    constexpr int max_objects = 100;
    constexpr std::size_t window = 2048;
    int objects = 0;
    for (std::int32_t kw = naive::find_kw(file, 0, "obj"); kw >= 0 && objects < max_objects;
         kw = naive::find_kw(file, kw + 3, "obj"), ++objects) {
        const std::size_t open = file.find("<<", static_cast<std::size_t>(kw));
        if (open == std::string_view::npos) return;
        const std::string_view t = file.substr(open, window);
        expect_scanners_agree(t, 0, label);
        expect_names_top_agree(t, 0, label);
    }
}

TEST(Searches, AgreeWithByteByByteSearchOnCorpus)
{
    const std::filesystem::path dir = std::filesystem::path(KESTRIN_CORPUS_DIR) / "files";
    if (!std::filesystem::is_directory(dir)) GTEST_SKIP() << "no corpus at " << dir;
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
        const std::string label = entry.path().filename().string();
        for (const std::string_view word : {"obj", "endobj", "stream", "Type", "Annots"})
            expect_same_occurrences(bytes, word, label);
        expect_dictionaries_agree(bytes, label);
        const std::int32_t cap = 1 << 20;
        ASSERT_EQ(highest_reference(bytes, cap), naive::highest_reference(bytes, cap)) << label;
        ++files;
    }
    EXPECT_GT(files, 0);
}

}  // namespace
