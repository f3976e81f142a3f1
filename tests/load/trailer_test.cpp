// Root, Info, the permanent identifier and the encryption flag read from trailers and
// cross-reference streams.
#include <gtest/gtest.h>

#include <string>

#include "load_fixture.h"

namespace kestrin::test {
namespace {

std::string objects()
{
    std::string s(pdf_head);
    for (int n : {1, 5, 7, 8, 9}) s += std::to_string(n) + " 0 obj << >> endobj\n";
    return s;
}

std::string xref_stream(int num, std::string_view entries)
{
    return std::to_string(num) + " 0 obj\n<< /Type /XRef " + std::string(entries) +
           " /Length 0 >>\nstream\n\nendstream\nendobj\n";
}

std::string xref_table(std::string_view trailers)
{
    return "xref\n0 1\n0000000000 65535 f \n" + std::string(trailers);
}

// Objects, then sections written by add (which appends and returns the newest section's offset).
template <typename F>
std::string file_with(F add)
{
    std::string body = objects();
    std::size_t newest = add(body);
    return with_startxref(body, newest);
}

struct expectation {
    std::int32_t root;
    std::int32_t info;
    std::int32_t encrypted;
};

void check(const char* why, const std::string& bytes, expectation want)
{
    const load::doc d = trailers_of(bytes);
    EXPECT_EQ(d.trailer_root, want.root) << why;
    EXPECT_EQ(d.trailer_info, want.info) << why;
    EXPECT_EQ(d.encrypted, want.encrypted == 1) << why;
    loaded_doc l(bytes);
    if (want.encrypted) {
        EXPECT_EQ(l.rc, -1) << why;
        EXPECT_EQ(l.error, "encrypted PDFs are not supported: " + l.path) << why;
    } else {
        EXPECT_EQ(l.rc, 0) << why << ": " << l.error;
    }
}

std::size_t append(std::string& body, const std::string& section)
{
    std::size_t at = body.size();
    body += section;
    return at;
}

TEST(Trailer, ClassicTables)
{
    // An offset past the end of the file reads no trailer.
    check("offset past end", with_startxref(objects() + xref_table("trailer << /Root 5 0 R >>\n"), 999999),
          {-1, -1, 0});
    // No "startxref" at all.
    check("no startxref", objects() + xref_table("trailer << /Root 5 0 R >>\n"), {-1, -1, 0});
    // The offset names something that is neither a table nor an object.
    check("junk section", with_startxref(objects() + "junk\n", objects().size()), {-1, -1, 0});
    // Root and Info of one trailer.
    check("root and info", file_with([](std::string& b) {
              return append(b, xref_table("trailer\n<< /Size 9 /Root 5 0 R /Info 8 0 R >>\n"));
          }),
          {5, 8, 0});
    // The second of two trailers decides.
    check("two trailers", file_with([](std::string& b) {
              return append(b, xref_table("trailer\n<< /Root 5 0 R /Info 7 0 R >>\n"
                                          "trailer\n<< /Root 9 0 R >>\n"));
          }),
          {9, 7, 0});
    // An unreadable Root value makes the next occurrence count.
    check("unreadable first root", file_with([](std::string& b) {
              return append(b, xref_table("trailer\n<< /Root /Bad /Root 7 0 R >>\n"));
          }),
          {7, -1, 0});
    // A "trailer" keyword without a dictionary is passed over.
    check("trailer without dict", file_with([](std::string& b) {
              return append(b, xref_table("trailer 5\ntrailer << /Root 9 0 R >>\n"));
          }),
          {9, -1, 0});
    // Encrypt in a trailer.
    check("encrypted", file_with([](std::string& b) {
              return append(b, xref_table("trailer\n<< /Root 5 0 R /Encrypt 9 0 R >>\n"));
          }),
          {5, -1, 1});
}

TEST(Trailer, CrossReferenceStreams)
{
    // The newest stream section that names a Root decides.
    check("chain", file_with([](std::string& b) {
              std::size_t older = append(b, xref_stream(20, "/Root 9 0 R"));
              return append(b, xref_stream(21, "/Root 5 0 R /Prev " + std::to_string(older)));
          }),
          {5, -1, 0});
    // A /Prev naming its own section: 32 visits, then the walk ends and loading goes on.
    check("prev loop", file_with([](std::string& b) {
              std::size_t self = b.size();
              return append(b, xref_stream(20, "/Root 5 0 R /Prev " + std::to_string(self)));
          }),
          {5, -1, 0});
    // A chain ending in a classic table: its trailers overwrite Root.
    check("stream then table", file_with([](std::string& b) {
              std::size_t table = append(b, xref_table("trailer\n<< /Size 1 /Root 9 0 R >>\n"));
              return append(b, xref_stream(20, "/Root 5 0 R /Prev " + std::to_string(table)));
          }),
          {9, -1, 0});
    // Regression: Info of a stream section was ignored, so files ending in a cross-reference
    // stream lost their document information. The newest section naming it decides.
    check("info", file_with([](std::string& b) {
              std::size_t older = append(b, xref_stream(20, "/Info 8 0 R"));
              return append(b, xref_stream(21, "/Root 5 0 R /Info 7 0 R /Prev " +
                                                   std::to_string(older)));
          }),
          {5, 7, 0});
    // Encrypt in an older stream section.
    check("encrypted", file_with([](std::string& b) {
              std::size_t older = append(b, xref_stream(20, "/Encrypt 9 0 R"));
              return append(b, xref_stream(21, "/Root 5 0 R /Prev " + std::to_string(older)));
          }),
          {5, -1, 1});
    // A /Prev past the end of the file ends the walk after this section.
    check("prev out of range", file_with([](std::string& b) {
              return append(b, xref_stream(20, "/Root 5 0 R /Prev 99999999"));
          }),
          {5, -1, 0});
}

TEST(Trailer, InfoOfAStreamEndedFileReachesTheDocument)
{
    std::string bytes = file_with([](std::string& b) {
        return append(b, xref_stream(20, "/Root 1 0 R /Info 8 0 R"));
    });
    loaded_doc l(bytes);
    ASSERT_EQ(l.rc, 0) << l.error;
    EXPECT_EQ(l.d.info, 8);
    EXPECT_EQ(l.d.root, 1);
}

TEST(Trailer, PermanentIdentifierIsTheNewestFirstElement)
{
    const struct {
        const char* what;
        std::string bytes;
        std::string id;
    } cases[] = {
        {"hexadecimal", file_with([](std::string& b) {
             return append(b, xref_table("trailer\n<< /Root 5 0 R /ID [<41 42><43>] >>\n"));
         }),
         "AB"},
        {"literal, escapes decoded", file_with([](std::string& b) {
             return append(b, xref_table("trailer\n<< /Root 5 0 R /ID[(a\\)b)(c)] >>\n"));
         }),
         "a)b"},
        {"the later of two trailers", file_with([](std::string& b) {
             return append(b, xref_table("trailer\n<< /ID [(old) (x)] >>\ntrailer\n<< /ID [(new) (x)] >>\n"));
         }),
         "new"},
        {"not inside a nested dictionary", file_with([](std::string& b) {
             return append(b, xref_table("trailer\n<< /Root 5 0 R /X << /ID [(inner) (x)] >> >>\n"));
         }),
         ""},
        {"not a string", file_with([](std::string& b) {
             return append(b, xref_table("trailer\n<< /Root 5 0 R /ID [<< >> (x)] >>\n"));
         }),
         ""},
        {"an array never closed", file_with([](std::string& b) {
             return append(b, xref_table("trailer\n<< /Root 5 0 R /ID [(ab"));
         }),
         ""},
        {"the newest stream section", file_with([](std::string& b) {
             std::size_t older = append(b, xref_stream(20, "/ID [(old) (x)]"));
             return append(b, xref_stream(21, "/Root 5 0 R /ID [(new) (x)] /Prev " + std::to_string(older)));
         }),
         "new"},
        {"an older stream section when the newest has none", file_with([](std::string& b) {
             std::size_t older = append(b, xref_stream(20, "/ID [(old) (x)]"));
             return append(b, xref_stream(21, "/Root 5 0 R /Prev " + std::to_string(older)));
         }),
         "old"},
    };
    for (const auto& c : cases) EXPECT_EQ(trailers_of(c.bytes).permanent_id, c.id) << c.what;
}

}  // namespace
}  // namespace kestrin::test
