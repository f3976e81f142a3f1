// The command-line program, run as a separate process.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "pdf_builder.h"

namespace {

using kestrin::test::read_file;
using kestrin::test::run_command;
using kestrin::test::temp_dir;

const std::string cli = KESTRIN_CLI_PATH;
const std::string example = std::string(KESTRIN_SOURCE_DIR) + "/examples/example_form.pdf";

std::string shell_quoted(const std::string& s) { return "'" + s + "'"; }

TEST(Cli, UsageErrorsExitWithTwo)
{
    const char* bad[] = {"", "frobnicate", "flatten", "flatten --bogus a b", "flatten a",
                         "flatten -j 0 -o out a.pdf", "count", "count --nope x.pdf",
                         "flatten -o out", "flatten --replace-input a b"};
    for (const char* args : bad) {
        std::string out;
        EXPECT_EQ(run_command(cli + " " + args, &out), 2) << args;
        EXPECT_NE(out.find("usage: kestrin"), std::string::npos) << args;
    }
}

TEST(Cli, HelpAndVersion)
{
    for (const char* args : {"--help", "flatten --help", "count --help", "fields --help"}) {
        std::string out;
        EXPECT_EQ(run_command(cli + " " + args, &out), 0) << args;
        EXPECT_NE(out.find("usage: kestrin"), std::string::npos) << args;
    }
    std::string out;
    EXPECT_EQ(run_command(cli + " --version", &out), 0);
    EXPECT_EQ(out.rfind("kestrin ", 0), 0u);
}

TEST(Cli, CountsOfTheExample)
{
    std::string out;
    EXPECT_EQ(run_command(cli + " fields " + shell_quoted(example), &out), 0);
    EXPECT_EQ(out, "2\n");
    EXPECT_EQ(run_command(cli + " annotations " + shell_quoted(example), &out), 0);
    EXPECT_EQ(out, "4\n");
    EXPECT_EQ(run_command(cli + " count " + shell_quoted(example), &out), 0);
    EXPECT_EQ(out, "2 4 " + example + "\n");
}

TEST(Cli, CountJsonReportsErrorsPerFile)
{
    temp_dir dir;
    std::string missing = dir.file("missing.pdf");
    std::string out;
    EXPECT_EQ(run_command(cli + " count --json " + shell_quoted(example) + " " + shell_quoted(missing), &out), 1);
    EXPECT_EQ(out, "{\"file\": \"" + example + "\", \"fields\": 2, \"annotations\": 4}\n"
                   "{\"file\": \"" + missing + "\", \"error\": \"cannot open " + missing + "\"}\n");
}

TEST(Cli, FlattenThroughStandardInputAndOutput)
{
    temp_dir dir;
    std::string out = dir.file("flat.pdf");
    ASSERT_EQ(run_command(cli + " flatten --forms - - < " + shell_quoted(example) + " > " + shell_quoted(out)), 0);
    EXPECT_EQ(read_file(out).rfind("%PDF-1.4\n", 0), 0u);
    std::string counts;
    EXPECT_EQ(run_command(cli + " count " + shell_quoted(out), &counts), 0);
    EXPECT_EQ(counts, "0 2 " + out + "\n");
}

TEST(Cli, FailedReplaceInputKeepsTheInput)
{
    temp_dir dir;
    std::string original = "%PDF-1.4\n1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj\n"
                           "2 0 obj << /Type /Pages /Kids [<< /Type /Page >>] >> endobj\n";
    std::string in = dir.write("in.pdf", original);
    std::string err;
    EXPECT_EQ(run_command(cli + " flatten --replace-input " + shell_quoted(in), &err), 1);
    EXPECT_NE(err.find(in + ": input: page tree uses inline page dictionaries"), std::string::npos)
        << err;
    EXPECT_EQ(read_file(in), original);

    std::string good = dir.write("good.pdf", read_file(example));
    EXPECT_EQ(run_command(cli + " flatten --replace-input " + shell_quoted(good)), 0);
    std::string counts;
    run_command(cli + " count " + shell_quoted(good), &counts);
    EXPECT_EQ(counts, "0 0 " + good + "\n");
}

TEST(Cli, BatchFlattensATreeAndListsFailures)
{
    temp_dir dir;
    std::filesystem::create_directories(dir.path() / "in" / "sub");
    std::string bytes = read_file(example);
    dir.write("in/a.pdf", bytes);
    dir.write("in/sub/b.PDF", bytes);
    dir.write("in/sub/broken.pdf", "not a pdf");
    dir.write("in/notes.txt", "ignored");
    std::string out;
    EXPECT_EQ(run_command(cli + " flatten -j 2 -o " + shell_quoted(dir.file("out")) + " -r " +
                              shell_quoted(dir.file("in")),
                          &out),
              1);
    EXPECT_NE(out.find("broken.pdf: input: no PDF objects found"), std::string::npos) << out;
    EXPECT_NE(out.find("flattened 2 of 3 files"), std::string::npos) << out;
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "out" / "a.pdf"));
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "out" / "sub" / "b.PDF"));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "out" / "sub" / "broken.pdf"));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "out" / "notes.txt"));
}

TEST(Cli, BatchOfGoodFilesSucceeds)
{
    temp_dir dir;
    std::string a = dir.write("a.pdf", read_file(example));
    std::string out;
    EXPECT_EQ(run_command(cli + " flatten --annotations -o " + shell_quoted(dir.file("out")) + " " +
                              shell_quoted(a) + " " + shell_quoted(example),
                          &out),
              0)
        << out;
    EXPECT_NE(out.find("flattened 2 of 2 files"), std::string::npos) << out;
}

}  // namespace
