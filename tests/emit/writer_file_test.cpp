// Copying of input objects, old page content in its several forms, and the writing of the file.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <thread>

#include "kestrin.h"
#include "pdf_builder.h"
#include "writer_check.h"

namespace kestrin::test {
namespace {

using flatten_fn = int32_t (*)(const char*, const char*);

int qpdf_check(const std::string& path, std::string* out)
{
    return run_command("qpdf --check '" + path + "'", out);
}

// A page (3) with contents entry contents_entry, a square (6) drawn from its appearance (7) and
// further objects; flattened in mode 2.
pdf_builder page_with(const std::string& contents_entry, const std::string& annots = "[6 0 R]")
{
    pdf_builder b;
    b.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    b.object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 300] /Contents " + contents_entry +
                    " /Annots " + annots + " >>");
    b.object(6, "<< /Type /Annot /Subtype /Square /Rect [0 0 10 10] /AP << /N 7 0 R >> >>");
    b.stream(7, "/Subtype /Form /BBox [0 0 10 10]", "0 0 m");
    // Highest input number 11: the new content is 12 and the XObject 13.
    b.object(11, "null");
    b.trailer("/Root 1 0 R");
    return b;
}

constexpr const char* placement = "q 1.000000 0 0 1.000000 0.000000 0.000000 cm /Fl13 Do Q\n";

written_pdf flatten_annotations(const temp_dir& dir, const std::string& pdf)
{
    const std::string in = dir.write("in.pdf", pdf);
    const std::string out = dir.file("out.pdf");
    written_pdf w;
    if (kestrin_annotations(in.c_str(), out.c_str()) != 0) {
        w.problem = kestrin_last_error();
        return w;
    }
    w = read_written(out);
    std::string report;
    if (w.problem.empty() && qpdf_check(out, &report) != 0) w.problem = "qpdf: " + report;
    return w;
}

struct content_case {
    const char* what;
    std::string contents_entry;
    std::vector<std::pair<int, std::string>> plain;  // content streams stored as they are
    std::vector<std::pair<int, std::string>> flate;  // content streams compressed
    std::string extra_object;                        // object 9, when not empty
    std::string content;                             // expected new content stream
};

const content_case content_cases[] = {
    // Old content that leaves a "q" open and a transformation in force gets one more "Q".
    {"open q", "4 0 R", {{4, "q 2 0 0 2 0 0 cm 1 0 0 rg"}}, {}, "",
     std::string("q\nq 2 0 0 2 0 0 cm 1 0 0 rg\nQ\nQ\n") + placement},
    // A "Q" that restores nothing is blanked, as viewers ignore it: it cannot pop our own "q".
    {"stray Q", "4 0 R", {{4, "Q Q 0 0 m"}}, {}, "", std::string("q\n    0 0 m\nQ\n") + placement},
    // Content that ends inside a string and a text object: both closed before our "Q".
    {"open string and text object", "4 0 R", {{4, "BT (a"}}, {}, "", std::string("q\nBT (a\n)\nET\nQ\n") + placement},
    // Pieces are read as one: a text object begun in one piece and ended in the next is closed.
    {"text object across pieces", "[4 0 R 5 0 R]", {{4, "BT (a"}, {5, ") Tj ET"}}, {}, "",
     std::string("q\nBT (a\n) Tj ET\nQ\n") + placement},
    // Content ending in a comment: the drawings still start on a line of their own.
    {"trailing comment", "4 0 R", {{4, "0 0 m % the end"}}, {}, "",
     std::string("q\n0 0 m % the end\nQ\n") + placement},
    // An array of two Flate streams: both decoded, separated by a line feed.
    {"array of flate streams", "[4 0 R 5 0 R]", {}, {{4, "1 0 0 RG"}, {5, "0 0 m 9 9 l S"}}, "",
     std::string("q\n1 0 0 RG\n0 0 m 9 9 l S\nQ\n") + placement},
    // "Contents" referring to an array object: the array is followed.
    {"array object", "9 0 R", {{4, "BT ET"}, {5, "0 0 m"}}, {}, "[4 0 R 5 0 R]",
     std::string("q\nBT ET\n0 0 m\nQ\n") + placement},
    // A stream with empty data contributes nothing.
    {"empty stream", "[4 0 R 5 0 R]", {{4, ""}, {5, "0 0 m"}}, {}, "",
     std::string("q\n0 0 m\nQ\n") + placement},
};

TEST(WriterFile, OldContentIsWrappedAndBalanced)
{
    temp_dir dir;
    for (const content_case& tc : content_cases) {
        SCOPED_TRACE(tc.what);
        pdf_builder b = page_with(tc.contents_entry);
        for (const auto& [num, data] : tc.plain) b.stream(num, "", data);
        for (const auto& [num, data] : tc.flate) b.stream(num, "", data, true);
        if (!tc.extra_object.empty()) b.object(9, tc.extra_object);
        const written_pdf w = flatten_annotations(dir, b.build());
        ASSERT_EQ(w.problem, "");
        EXPECT_EQ(w.stream_data(12), tc.content);
    }
}

// Content in a filter the library does not decode stays referenced, between a shared "q" stream
// and the new stream, which opens with the matching "Q".
TEST(WriterFile, UndecodableContentStaysReferenced)
{
    temp_dir dir;
    pdf_builder b = page_with("[4 0 R 5 0 R]");
    b.stream(4, "/Filter /ASCIIHexDecode", "3020306D>");
    b.stream(5, "", "5 5 l S");
    const written_pdf w = flatten_annotations(dir, b.build());
    ASSERT_EQ(w.problem, "");
    // Numbers: content 12, XObject 13, the shared "q" 14 (no picture needs a font or a state).
    EXPECT_NE(w.object(3).find("/Contents [14 0 R 4 0 R 5 0 R 12 0 R]"), std::string::npos)
        << w.object(3);
    EXPECT_EQ(w.stream_data(14), "q\n");
    EXPECT_EQ(w.stream_data(12), std::string("\nQ\n") + placement);
    EXPECT_NE(w.object(4).find("3020306D>"), std::string::npos);
}

// Objects keep their generation; bodies with NUL bytes and streams without data keep exact
// offsets; new objects are numbered above every header of the file, even one inside stream data.
TEST(WriterFile, InputObjectsAreCopiedExactly)
{
    temp_dir dir;
    pdf_builder b = page_with("4 0 R", "[6 0 R 8 1 R]");
    b.stream(4, "", "0 0 m 50 0 obj");
    b.object(8, "<< /Type /Annot /Subtype /Widget /FT /Tx /Rect [0 0 5 5] >>", 1);
    b.object(9, std::string("(a\0b\0c)", 7));
    b.stream(10, "/Type /EmptyData", "");
    const std::string pdf = b.build();
    const written_pdf w = flatten_annotations(dir, pdf);
    ASSERT_EQ(w.problem, "");
    EXPECT_EQ(w.in_use.at(8).second, 1);
    EXPECT_EQ(w.object(8).rfind("8 1 obj\n", 0), 0u);
    EXPECT_NE(w.object(3).find("/Annots [ 8 1 R]"), std::string::npos) << w.object(3);
    // The body runs up to "endobj", so the line feed before it is kept.
    EXPECT_EQ(w.object(9), std::string("9 0 obj\n(a\0b\0c)\n", 16));
    EXPECT_NE(w.object(10).find(">>\nstream\n\nendstream"), std::string::npos);
    EXPECT_GT(w.size, 50);
}

// Keywords that frame objects in a file are inert inside an object stream: written out, a member
// keeps none of them, and those in its strings are escaped without changing the string.
TEST(WriterFile, MembersLoseFramingKeywordsButKeepTheirValues)
{
    struct copy_case {
        const char* what;
        int num;
        std::string expected;  // the object as written, up to "endobj"
    };
    const copy_case cases[] = {
        {"keywords in a member's string", 20,
         "20 0 obj\n<< /Contents (1 0 \\157bj \\145ndobj \\163tream\\(\\145ndstream) >>\n"},
        {"escaped keyword start", 21, "21 0 obj\n<< /T (\\157bj) >>\n"},
        {"keywords in a member's comment", 22, "22 0 obj\n<< /A 1 %" + std::string(11, ' ') + "\n/B 2 >>\n"},
    };
    temp_dir dir;
    pdf_builder b = page_with("4 0 R");
    b.stream(4, "", "0 0 m");
    b.object_stream(30, {{20, "<< /Contents (1 0 obj endobj stream\\(endstream) >>"},
                         {21, "<< /T (\\obj) >>"},
                         {22, "<< /A 1 % obj endobj\n/B 2 >>"}});
    const written_pdf w = flatten_annotations(dir, b.build());
    ASSERT_EQ(w.problem, "");
    for (const copy_case& c : cases) EXPECT_EQ(w.object(c.num), c.expected) << c.what;
}

// A changed page whose dictionary cannot be copied is written as it was (only closed), never
// left free.
TEST(WriterFile, UnreadablePageDictionaryIsCopiedAsItWas)
{
    temp_dir dir;
    pdf_builder b;
    b.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    b.object(3, "<< /Type /Page /Parent 2 0 R /Annots [6 0 R] /T (open >>");
    b.object(6, "<< /Type /Annot /Subtype /Square /Rect [0 0 10 10] >>");
    b.trailer("/Root 1 0 R");
    const std::string in = dir.write("in.pdf", b.build());
    const std::string out = dir.file("out.pdf");
    ASSERT_EQ(kestrin_annotations(in.c_str(), out.c_str()), 0) << kestrin_last_error();
    const written_pdf w = read_written(out);
    ASSERT_EQ(w.problem, "");
    // Closed, though: a string left open would run on into the objects written after it.
    EXPECT_EQ(w.object(3), "3 0 obj\n<< /Type /Page /Parent 2 0 R /Annots [6 0 R] /T (open >>\n )>>");
}

std::string sample_pdf()
{
    pdf_builder b = page_with("4 0 R");
    b.stream(4, "", "0 0 m");
    return b.build();
}

TEST(WriterFile, UnwritableDirectoryIsReported)
{
    temp_dir dir;
    const std::string in = dir.write("in.pdf", sample_pdf());
    const std::string out = dir.file("missing/out.pdf");
    EXPECT_EQ(kestrin_all(in.c_str(), out.c_str()), -1);
    EXPECT_EQ(std::string(kestrin_last_error()), "cannot write " + out);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "missing"));
}

// Writes fail once the file-size limit is reached; the limit holds only during the call.
int run_with_size_limit(flatten_fn run, const std::string& in, const std::string& out)
{
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 100;
    auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    const int rc = run(in.c_str(), out.c_str());
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, old_handler);
    return rc;
}

TEST(WriterFile, FailedWriteLeavesTheDestinationUntouched)
{
    temp_dir dir;
    const std::string in = dir.write("in.pdf", sample_pdf());
    const std::string original = read_file(in);
    // Cases: an existing file at the output path, and the input itself as output.
    for (const std::string& out : {dir.write("old.pdf", "precious"), in}) {
        SCOPED_TRACE(out);
        const std::string before = read_file(out);
        EXPECT_EQ(run_with_size_limit(kestrin_all, in, out), -1);
        EXPECT_EQ(std::string(kestrin_last_error()), "short write to " + out);
        EXPECT_EQ(read_file(out), before);
    }
    EXPECT_EQ(read_file(in), original);
    // No temporary file is left behind.
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) files += entry.is_regular_file();
    EXPECT_EQ(files, 2);
}

TEST(WriterFile, ReplacesAnExistingFileAndFollowsALink)
{
    temp_dir dir;
    const std::string in = dir.write("in.pdf", sample_pdf());
    const std::string target = dir.write("target.pdf", "old");
    const std::string link = dir.file("link.pdf");
    std::filesystem::create_symlink(target, link);
    ASSERT_EQ(kestrin_all(in.c_str(), link.c_str()), 0) << kestrin_last_error();
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(read_written(target).problem, "");
    // The input itself as output: replaced by the flattened file.
    ASSERT_EQ(kestrin_all(in.c_str(), in.c_str()), 0) << kestrin_last_error();
    EXPECT_EQ(read_written(in).problem, "");
}

// An output of several MiB leaves memory in pieces while it is built: every offset must still
// land on its object, and the data of big objects must come through whole.
TEST(WriterFile, OutputWrittenInPiecesKeepsEveryOffset)
{
    temp_dir dir;
    pdf_builder b = page_with("4 0 R");
    b.stream(4, "", "0 0 m");
    std::vector<std::string> blobs;
    for (int i = 0; i < 5; ++i) {
        // Three MiB of varied text per stream, so that the pieces end inside different objects.
        std::string data(std::size_t{3} << 20, ' ');
        for (std::size_t k = 0; k < data.size(); k += 97) data[k] = static_cast<char>('a' + (k + i) % 26);
        b.stream(20 + i, "", data);
        blobs.push_back(std::move(data));
    }
    const written_pdf w = flatten_annotations(dir, b.build());
    ASSERT_EQ(w.problem, "");
    EXPECT_GT(w.bytes.size(), std::size_t{15} << 20);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(w.stream_data(20 + i), blobs[static_cast<std::size_t>(i)]) << i;
}

// A failed write while pieces are handed on is still reported as a short write, with the
// destination untouched and no temporary file left.
TEST(WriterFile, FailedWriteOfALargeOutputLeavesTheDestinationUntouched)
{
    temp_dir dir;
    pdf_builder b = page_with("4 0 R");
    b.stream(4, "", "0 0 m");
    for (int i = 0; i < 4; ++i) b.stream(20 + i, "", std::string(std::size_t{3} << 20, 'x'));
    const std::string in = dir.write("in.pdf", b.build());
    const std::string out = dir.write("old.pdf", "precious");
    EXPECT_EQ(run_with_size_limit(kestrin_all, in, out), -1);
    EXPECT_EQ(std::string(kestrin_last_error()), "short write to " + out);
    EXPECT_EQ(read_file(out), "precious");
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) files += entry.is_regular_file();
    EXPECT_EQ(files, 2);
}

// Three pages of many squares, each with an appearance of its own (object 100 + i) whose
// content names it; enough for the XObjects to be built beside the main writer, and enough bytes
// for their output to pass in several pieces.
std::string many_appearances(int per_page)
{
    constexpr int pages = 3;
    pdf_builder b;
    b.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.object(2, "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R] /Count 3 >>");
    const std::string filler(std::size_t{12} << 10, ' ');
    for (int p = 0; p < pages; ++p) {
        std::string annots;
        for (int k = 0; k < per_page; ++k) {
            const int i = p * per_page + k;
            annots += std::to_string(10000 + i) + " 0 R ";
            b.object(10000 + i, "<< /Type /Annot /Subtype /Square /Rect [0 0 10 10] /AP << /N " +
                                    std::to_string(100 + i) + " 0 R >> >>");
            b.stream(100 + i, "/Subtype /Form /BBox [0 0 10 10]", "% ap " + std::to_string(i) + filler, true);
        }
        b.object(3 + p, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 300] /Annots [" + annots + "] >>");
    }
    b.trailer("/Root 1 0 R");
    return b.build();
}

// Reads a FIFO whole on a thread of its own, so that a writer can open it.
std::string read_through_fifo(const std::string& path, const std::function<void()>& write)
{
    std::string got;
    std::thread reader([&] { got = read_file(path); });
    write();
    reader.join();
    return got;
}

// Cases: a small input, and one over 16 MiB, whose XObjects pass in larger pieces of which
// more wait for the main writer.
TEST(WriterFile, XObjectsBuiltBesideTheMainWriterKeepEveryOffsetAndAppearance)
{
    for (const int per_page : {120, 500}) {
        temp_dir dir;
        const std::string in = dir.write("in.pdf", many_appearances(per_page));
        const std::string out = dir.file("out.pdf");
        ASSERT_EQ(kestrin_annotations(in.c_str(), out.c_str()), 0) << kestrin_last_error();
        const written_pdf w = read_written(out);
        ASSERT_EQ(w.problem, "") << per_page;
        std::string report;
        EXPECT_EQ(qpdf_check(out, &report), 0) << report;
        std::set<std::string> named;
        for (const auto& [num, at] : w.in_use) {
            const std::string object = w.object(num);
            if (num < 100 + 3 * per_page || object.find("/Type /XObject") == std::string::npos) continue;
            const std::string data = w.stream_data(num);
            const std::size_t mark = data.find("% ap ");
            ASSERT_NE(mark, std::string::npos) << num;
            named.insert(data.substr(mark, data.find(' ', mark + 5) - mark));
        }
        EXPECT_EQ(named.size(), static_cast<std::size_t>(3 * per_page));
        // Written to a pipe the output is built whole: the same bytes.
        const std::string fifo = dir.file("out.fifo");
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        const std::string piped = read_through_fifo(fifo, [&] {
            EXPECT_EQ(kestrin_annotations(in.c_str(), fifo.c_str()), 0) << kestrin_last_error();
        });
        EXPECT_EQ(piped, w.bytes) << per_page;
    }
}

// Over 4 MiB and 8,192 objects: the keyword walks, the stream measuring and the search for the
// highest reference each run in two halves. Streams in each half of the file take their lengths
// from objects in the other; one object, early or last, refers to number 40,000.
TEST(WriterFile, LargeFileKeepsEveryStreamAndNumbersNewObjectsAboveEveryReference)
{
    constexpr int streams = 3000;
    constexpr int fillers = 6000;
    const auto payload = [](int k) { return "% stream " + std::to_string(k) + " endobj 1 0 obj\n"; };
    const auto add_streams = [&](pdf_builder& b, int from, int to) {
        for (int k = from; k < to; ++k)
            b.raw(std::to_string(100 + k) + " 0 obj\n<< /Length " + std::to_string(20000 + k) +
                  " 0 R >>\nstream\n" + payload(k) + "\nendstream\nendobj\n");
    };
    const auto add_lengths = [&](pdf_builder& b, int from, int to) {
        for (int k = from; k < to; ++k) b.object(20000 + k, std::to_string(payload(k).size()));
    };
    for (const int far_from : {5, 30000}) {
        pdf_builder b = page_with("[4 0 R]");
        b.stream(4, "", "0 0 1 rg\n");
        add_lengths(b, streams / 2, streams);
        add_streams(b, 0, streams / 2);
        b.stream(99, "", std::string(std::size_t{4} << 20, 'x'));
        for (int k = 0; k < fillers; ++k) b.object(10000 + k, "<< /Filler " + std::to_string(k) + " >>");
        add_streams(b, streams / 2, streams);
        add_lengths(b, 0, streams / 2);
        b.object(far_from, "<< /Far 40000 0 R >>");
        if (far_from != 30000) b.object(30000, "null");
        temp_dir dir;
        const std::string in = dir.write("in.pdf", b.build());
        const std::string out = dir.file("out.pdf");
        ASSERT_EQ(kestrin_all(in.c_str(), out.c_str()), 0) << kestrin_last_error();
        const written_pdf w = read_written(out);
        ASSERT_EQ(w.problem, "") << far_from;
        for (int k = 0; k < streams; ++k) ASSERT_EQ(w.stream_data(100 + k), payload(k)) << k;
        EXPECT_EQ(w.stream_data(99).size(), std::size_t{4} << 20);
        // The page's new content and the XObject: above 40,000.
        EXPECT_EQ(w.size, 40003) << far_from;
        for (long num = 40001; num < 40003; ++num) EXPECT_EQ(w.in_use.count(num), 1u) << num;
    }
}

}  // namespace
}  // namespace kestrin::test
