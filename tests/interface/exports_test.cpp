// The exported functions and the error text, through the C ABI only.
#include <gtest/gtest.h>

#include <clocale>
#include <filesystem>
#include <string>
#include <thread>

#include "kestrin.h"
#include "pdf_builder.h"

namespace {

using kestrin::test::one_page_doc;
using kestrin::test::temp_dir;

std::string last_error() { return kestrin_last_error(); }

TEST(Exports, InitClearsErrorAndReturnsOne)
{
    EXPECT_EQ(kestrin_field_count("/nonexistent/x.pdf"), -1);
    ASSERT_FALSE(last_error().empty());
    EXPECT_EQ(kestrin_init(), 1);
    EXPECT_EQ(last_error(), "");
    kestrin_field_count("/nonexistent/x.pdf");
    kestrin_cleanup();
    EXPECT_EQ(last_error(), "");
}

TEST(Exports, LastErrorIsOneStablePointer)
{
    const char* first = kestrin_last_error();
    kestrin_annotation_count("/nonexistent/y.pdf");
    EXPECT_EQ(kestrin_last_error(), first);
}

TEST(Exports, EachThreadReadsTheErrorOfItsOwnLastCall)
{
    // This thread fails; a second thread then succeeds and fails in turn: neither sees the other's
    // message.
    EXPECT_EQ(kestrin_field_count("/nonexistent/mine.pdf"), -1);
    std::string other_after_success = "unset";
    std::string other_after_failure;
    std::thread other([&] {
        temp_dir dir;
        EXPECT_EQ(kestrin_field_count(dir.write("ok.pdf", one_page_doc().build()).c_str()), 0);
        other_after_success = last_error();
        kestrin_annotation_count("/nonexistent/theirs.pdf");
        other_after_failure = last_error();
    });
    other.join();
    EXPECT_EQ(other_after_success, "");
    EXPECT_EQ(other_after_failure, "cannot open /nonexistent/theirs.pdf");
    EXPECT_EQ(last_error(), "cannot open /nonexistent/mine.pdf");
}

TEST(Exports, NullPathsAreReportedByTheirStage)
{
    struct {
        int32_t (*call)();
        const char* message;
    } cases[] = {
        {[] { return kestrin_all(nullptr, nullptr); }, "NULL input path"},
        {[] { return kestrin_forms("in.pdf", nullptr); }, "NULL output path"},
        {[] { return kestrin_annotations(nullptr, "out.pdf"); }, "NULL input path"},
        {[] { return kestrin_field_count(nullptr); }, "NULL path argument"},
        {[] { return kestrin_annotation_count(nullptr); }, "NULL path argument"},
    };
    for (const auto& c : cases) {
        kestrin_init();
        EXPECT_EQ(c.call(), -1) << c.message;
        EXPECT_EQ(last_error(), c.message);
    }
}

TEST(Exports, MissingFileMessagesAndPrefix)
{
    temp_dir dir;
    std::string missing = dir.file("missing.pdf");
    std::string out = dir.file("out.pdf");
    EXPECT_EQ(kestrin_field_count(missing.c_str()), -1);
    EXPECT_EQ(last_error(), "cannot open " + missing);
    EXPECT_EQ(kestrin_annotation_count(missing.c_str()), -1);
    EXPECT_EQ(last_error(), "cannot open " + missing);
    EXPECT_EQ(kestrin_all(missing.c_str(), out.c_str()), -1);
    EXPECT_EQ(last_error(), "input: cannot open " + missing);
    EXPECT_FALSE(std::filesystem::exists(out));
}

TEST(Exports, EmptyFileIsRefused)
{
    temp_dir dir;
    std::string empty = dir.write("empty.pdf", "");
    EXPECT_EQ(kestrin_field_count(empty.c_str()), -1);
    EXPECT_EQ(last_error(), "empty input file: " + empty);
}

TEST(Exports, LongMessageIsCutTo1023Bytes)
{
    std::string path = "/nonexistent/" + std::string(3000, 'p');
    EXPECT_EQ(kestrin_field_count(path.c_str()), -1);
    std::string text = last_error();
    EXPECT_EQ(text.size(), 1023u);
    EXPECT_EQ(text, ("cannot open " + path).substr(0, 1023));
}

TEST(Exports, EncryptedInputIsRefusedWithPrefix)
{
    temp_dir dir;
    std::string in = dir.write(
        "enc.pdf", one_page_doc().object(9, "<< /Filter /Standard /V 1 /R 2 >>")
                       .trailer("/Root 1 0 R /Encrypt 9 0 R")
                       .build());
    std::string out = dir.file("out.pdf");
    EXPECT_EQ(kestrin_all(in.c_str(), out.c_str()), -1);
    EXPECT_EQ(last_error(), "input: encrypted PDFs are not supported: " + in);
    EXPECT_EQ(kestrin_field_count(in.c_str()), -1);
    EXPECT_EQ(last_error(), "encrypted PDFs are not supported: " + in);
    EXPECT_FALSE(std::filesystem::exists(out));
}

TEST(Exports, SuccessAfterFailureLeavesErrorEmpty)
{
    temp_dir dir;
    std::string in = dir.write("doc.pdf", one_page_doc().build());
    std::string out = dir.file("out.pdf");
    kestrin_all(dir.file("missing.pdf").c_str(), out.c_str());
    ASSERT_FALSE(last_error().empty());
    EXPECT_EQ(kestrin_all(in.c_str(), out.c_str()), 0);
    EXPECT_EQ(last_error(), "");
    kestrin_field_count(dir.file("missing.pdf").c_str());
    EXPECT_EQ(kestrin_annotation_count(in.c_str()), 0);
    EXPECT_EQ(last_error(), "");
}

TEST(Exports, CountsOfASmallForm)
{
    temp_dir dir;
    std::string in = dir.write(
        "form.pdf",
        one_page_doc("/Annots [5 0 R 6 0 R 7 0 R 99 0 R]", "/AcroForm << /Fields [5 0 R 8 0 R] >>")
            .object(5, "<< /Type /Annot /Subtype /Widget /FT /Tx /Rect [0 0 10 10] >>")
            .object(6, "<< /Type /Annot /Subtype /Square /Rect [0 0 10 10] >>")
            .object(7, "<< /Type /Annot /Subtype /Widget /Parent 8 0 R /Rect [0 0 10 10] >>")
            .object(8, "<< /FT /Btn /Kids [7 0 R 9 0 R] >>")
            .object(9, "<< /Type /Annot /Subtype /Widget /Parent 8 0 R /Rect [0 0 10 10] >>")
            .build());
    // Fields: 5, and the two kids of 8. Annotations: 5, 6, 7 (99 does not exist).
    EXPECT_EQ(kestrin_field_count(in.c_str()), 3);
    EXPECT_EQ(kestrin_annotation_count(in.c_str()), 3);
}

TEST(Exports, FileWithoutCatalogIsCountedButNotFlattened)
{
    temp_dir dir;
    std::string in = dir.write("nocat.pdf", "%PDF-1.4\n5 0 obj << /A 1 >> endobj\n");
    std::string out = dir.file("out.pdf");
    EXPECT_EQ(kestrin_field_count(in.c_str()), 0);
    EXPECT_EQ(kestrin_annotation_count(in.c_str()), 0);
    EXPECT_EQ(kestrin_all(in.c_str(), out.c_str()), -1);
    EXPECT_EQ(last_error(), "input: no document catalog (object 1 is missing)");
    EXPECT_FALSE(std::filesystem::exists(out));
}

TEST(Exports, HostLocaleDoesNotReachTheOutput)
{
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "de_DE.UTF-8 not installed";
    temp_dir dir;
    std::string in = dir.write(
        "square.pdf", one_page_doc("/Annots [5 0 R]")
                          .object(5, "<< /Type /Annot /Subtype /Square /Rect [10.5 20 40 60] >>")
                          .build());
    std::string out = dir.file("out.pdf");
    int32_t rc = kestrin_all(in.c_str(), out.c_str());
    std::setlocale(LC_ALL, saved.c_str());
    ASSERT_EQ(rc, 0) << last_error();
    std::string pdf = kestrin::test::read_file(out);
    EXPECT_NE(pdf.find("11.000000 20.500000 28.500000 39.000000 re S"), std::string::npos);
    EXPECT_EQ(pdf.find("10,5"), std::string::npos);
}

TEST(Exports, NewObjectsNeverTakeTheNumberOfAMissingReference)
{
    // Regression (found by fuzzing): object 9 is referenced but missing, so the reference means
    // null; the font and graphics state must not be numbered 6..9 and give it a meaning.
    temp_dir dir;
    std::string in = dir.write(
        "dangling.pdf", one_page_doc("/Annots [5 0 R]", "/OpenAction 9 0 R")
                            .object(5, "<< /Type /Annot /Subtype /Square /Rect [1 1 9 9] >>")
                            .build());
    std::string out = dir.file("out.pdf");
    ASSERT_EQ(kestrin_all(in.c_str(), out.c_str()), 0) << last_error();
    std::string pdf = kestrin::test::read_file(out);
    EXPECT_EQ(pdf.find("\n9 0 obj"), std::string::npos);
    EXPECT_NE(pdf.find("\n10 0 obj"), std::string::npos);
}

TEST(Exports, StreamLengthsInTheOutputMatchTheDataWritten)
{
    // A stream whose "Length" misstates its data is copied with the length of the data the
    // loader measured; a correct direct length stays as written, a length by reference is
    // written directly.
    temp_dir dir;
    std::string in = dir.write(
        "lengths.pdf", one_page_doc()
                           .object(5, "<< /Length 500 >>\nstream\nshort data\nendstream")
                           .object(6, "<< /Length 7 0 R >>\nstream\n0123456789\nendstream")
                           .object(7, "10")
                           .object(8, "<< /Length 2 /Length 3 >>\nstream\nabcd\nendstream")
                           .object(9, "<< /Length 3 >>\nstream\nxyz\nendstream")
                           .build());
    std::string out = dir.file("out.pdf");
    ASSERT_EQ(kestrin_all(in.c_str(), out.c_str()), 0) << last_error();
    std::string pdf = kestrin::test::read_file(out);
    EXPECT_NE(pdf.find("5 0 obj\n<<  /Length 10>>\nstream\nshort data\nendstream"), std::string::npos) << pdf;
    EXPECT_NE(pdf.find("6 0 obj\n<<  /Length 10>>\nstream\n0123456789\nendstream"), std::string::npos) << pdf;
    EXPECT_NE(pdf.find("9 0 obj\n<< /Length 3 >>\nstream\nxyz\nendstream"), std::string::npos) << pdf;
    // Two wrong lengths: both go, or a reader would take the one left.
    EXPECT_NE(pdf.find("8 0 obj\n<<  /Length 4>>\nstream\nabcd\nendstream"), std::string::npos) << pdf;
    std::string report;
    EXPECT_EQ(kestrin::test::run_command("qpdf --check '" + out + "'", &report), 0) << report;
}

TEST(Exports, OnlyTheHeadersFunctionsAreExported)
{
    std::string out;
    ASSERT_EQ(kestrin::test::run_command(std::string("nm -D --defined-only ") + KESTRIN_SHARED_LIB +
                                             " | awk '$2 ~ /^[TDBRVW]$/ {print $3}' | sort",
                                         &out),
              0);
    EXPECT_EQ(out,
              "kestrin_all\nkestrin_annotation_count\nkestrin_annotation_count_memory\n"
              "kestrin_annotations\nkestrin_cleanup\nkestrin_field_count\nkestrin_field_count_memory\n"
              "kestrin_flatten\nkestrin_flatten_memory\nkestrin_forms\nkestrin_free\nkestrin_init\n"
              "kestrin_last_error\nkestrin_options_init\nkestrin_version\n");
}

}  // namespace
