// The command-line program, run as a separate process.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "kestrin.h"
#include "manifest.h"
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
                         "flatten -o out", "flatten --replace-input a b",
                         "flatten --keep-non-printing a.pdf b.pdf", "flatten --json a.pdf -"};
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
    EXPECT_EQ(out, std::string("kestrin ") + KESTRIN_VERSION_STRING + "\n");
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

// A page with a Link, a printing and a non-printing Square.
std::string link_and_squares()
{
    return kestrin::test::one_page_doc("/Annots [10 0 R 11 0 R 12 0 R]")
        .object(10, "<< /Type /Annot /Subtype /Link /Rect [150 0 200 20] /F 4 /A << /S /URI /URI (x) >> >>")
        .object(11, "<< /Type /Annot /Subtype /Square /Rect [10 10 60 60] /F 4 /AP << /N 20 0 R >> >>")
        .object(12, "<< /Type /Annot /Subtype /Square /Rect [110 110 160 160] /AP << /N 20 0 R >> >>")
        .stream(20, "/Type /XObject /Subtype /Form /BBox [0 0 50 50]", "1 0 0 rg 0 0 50 50 re f\n")
        .trailer("/Root 1 0 R")
        .build();
}

TEST(Cli, OptionsReachTheLibrary)
{
    temp_dir dir;
    const std::string in = dir.write("in.pdf", link_and_squares());
    const std::string out = dir.file("out.pdf");
    struct {
        const char* options;
        const char* annotations_after;
    } cases[] = {{"", "0"},
                 {"--keep-links", "1"},
                 {"--print-only", "0"},
                 {"--print-only --keep-non-printing", "1"},
                 {"--keep-links --print-only --keep-non-printing", "2"},
                 {"--forms --keep-links", "3"},
                 {"--no-generate-appearances", "0"},
                 {"--compact --keep-links", "1"}};
    for (const auto& c : cases) {
        std::string log;
        ASSERT_EQ(run_command(cli + " flatten " + c.options + " " + shell_quoted(in) + " " + shell_quoted(out), &log), 0)
            << c.options << log;
        EXPECT_EQ(run_command(cli + " annotations " + shell_quoted(out), &log), 0);
        EXPECT_EQ(log, std::string(c.annotations_after) + "\n") << c.options;
    }
}

TEST(Cli, CompactIsTheLibrarysCompactOutput)
{
    temp_dir dir;
    const std::string in = dir.write("in.pdf", link_and_squares());
    const std::string out = dir.file("out.pdf"), lib_out = dir.file("lib.pdf"), plain = dir.file("plain.pdf");
    ASSERT_EQ(run_command(cli + " flatten --compact " + shell_quoted(in) + " " + shell_quoted(out)), 0);
    ASSERT_EQ(run_command(cli + " flatten " + shell_quoted(in) + " " + shell_quoted(plain)), 0);
    kestrin_options o = KESTRIN_OPTIONS_INIT;
    o.compact = 1;
    ASSERT_EQ(kestrin_flatten(in.c_str(), lib_out.c_str(), &o), 0) << kestrin_last_error();
    EXPECT_EQ(read_file(out), read_file(lib_out));
    EXPECT_NE(read_file(out), read_file(plain));
}

TEST(Cli, JsonResults)
{
    temp_dir dir;
    const std::string out = dir.file("flat.pdf");
    const std::string missing = dir.file("missing.pdf");
    std::string log;
    EXPECT_EQ(run_command("(" + cli + " flatten --json " + shell_quoted(example) + " " + shell_quoted(out) + " 2>/dev/null)", &log), 0);
    const std::string head = "{\"file\": \"" + example + "\", \"output\": \"" + out + "\", \"ok\": true, \"bytes\": " +
                             std::to_string(read_file(out).size()) + ", \"pages\": 1, \"seconds\": ";
    EXPECT_EQ(log.rfind(head, 0), 0u) << log;
    EXPECT_EQ(log.back(), '\n');

    EXPECT_EQ(run_command("(" + cli + " flatten --json " + shell_quoted(missing) + " " + shell_quoted(out) + " 2>/dev/null)", &log), 1);
    EXPECT_EQ(log, "{\"file\": \"" + missing + "\", \"output\": \"" + out +
                       "\", \"ok\": false, \"error\": \"input: cannot open " + missing + "\"}\n");

    // A batch prints one line per file, in input order.
    EXPECT_EQ(run_command("(" + cli + " flatten --json -j 3 -o " + shell_quoted(dir.file("o")) + " " + shell_quoted(example) +
                              " " + shell_quoted(missing) + " 2>/dev/null)",
                          &log),
              1);
    const std::size_t first = log.find("\"file\": \"" + example + "\"");
    const std::size_t second = log.find("\"file\": \"" + missing + "\"");
    EXPECT_NE(first, std::string::npos) << log;
    EXPECT_NE(second, std::string::npos) << log;
    EXPECT_LT(first, second);
}

TEST(Cli, BatchInProcessGivesTheSingleFileOutputs)
{
    const auto rows = kestrin::test::read_manifest(KESTRIN_CORPUS_DIR);
    if (rows.empty()) GTEST_SKIP() << "corpus not found";
    temp_dir dir;
    std::string log;
    const int rc = run_command(cli + " flatten --keep-links -j 4 -o " + shell_quoted(dir.file("out")) + " -r " +
                                   shell_quoted(std::string(KESTRIN_CORPUS_DIR) + "/files"),
                               &log);
    EXPECT_LE(rc, 1) << log;
    EXPECT_NE(log.find("kestrin: flattened "), std::string::npos) << log;
    int compared = 0;
    for (std::size_t i = 0; i < rows.size(); i += 7) {  // a sample, flattened one by one
        const std::filesystem::path in = rows[i].path();
        const std::filesystem::path batch = dir.path() / "out" / in.filename();
        const std::string single = dir.file("single.pdf");
        if (run_command(cli + " flatten --keep-links " + shell_quoted(in.string()) + " " + shell_quoted(single) + " 2>/dev/null") != 0) {
            EXPECT_FALSE(std::filesystem::exists(batch)) << in;
            EXPECT_NE(log.find(in.string() + ": "), std::string::npos) << in;
            continue;
        }
        EXPECT_EQ(read_file(batch.string()), read_file(single)) << in;
        ++compared;
    }
    EXPECT_GT(compared, 10);
}

TEST(Cli, StandardInputToAFile)
{
    temp_dir dir;
    const std::string out = dir.file("flat.pdf");
    ASSERT_EQ(run_command(cli + " flatten --annotations - " + shell_quoted(out) + " < " + shell_quoted(example)), 0);
    const std::string direct = dir.file("direct.pdf");
    ASSERT_EQ(run_command(cli + " flatten --annotations " + shell_quoted(example) + " " + shell_quoted(direct)), 0);
    EXPECT_EQ(read_file(out), read_file(direct));
    std::string err;
    EXPECT_EQ(run_command("echo junk | " + cli + " flatten - " + shell_quoted(out), &err), 1);
    EXPECT_NE(err.find("kestrin: -: input: no PDF objects found"), std::string::npos) << err;
    EXPECT_EQ(read_file(out), read_file(direct));  // kept on failure
}

}  // namespace
