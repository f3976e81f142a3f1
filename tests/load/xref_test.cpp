// The cross-reference data deciding between the definitions the scan found, and vouching for
// headers the scan rejects: each fault of the scan-only loader on a file written here byte by byte,
// with classic tables, cross-reference streams and hybrid files, and the same files with damaged
// cross-reference data, where the scan alone decides.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "kestrin.h"
#include "load_fixture.h"

namespace kestrin::test {
namespace {

// A file written section by section: objects at known offsets, then a classic table or a
// cross-reference stream listing them, with /Prev to the section before.
class sections {
public:
    explicit sections(std::string head = "%PDF-1.7\n", long prev = -1) : out_(std::move(head)), prev_(prev) {}

    // "num 0 obj" body "endobj"; glued: no line break before the header.
    sections& object(int num, const std::string& body, bool glued = false)
    {
        if (!glued && !out_.empty() && out_.back() != '\n') out_ += '\n';
        entries_.push_back({num, 1, static_cast<long>(out_.size()), 0});
        out_ += std::to_string(num) + " 0 obj\n" + body + "\nendobj\n";
        return *this;
    }

    // An object stream num holding the objects; each becomes a packed entry of the section.
    sections& object_stream(int num, const std::vector<std::pair<int, std::string>>& objs, bool flate = true)
    {
        std::string header, bodies;
        for (std::size_t i = 0; i < objs.size(); ++i) {
            header += std::to_string(objs[i].first) + " " + std::to_string(bodies.size()) + " ";
            bodies += objs[i].second + "\n";
        }
        const std::string data = flate ? zlib_compress(header + bodies) : header + bodies;
        object(num, "<< /Type /ObjStm /N " + std::to_string(objs.size()) + " /First " +
                        std::to_string(header.size()) + (flate ? " /Filter /FlateDecode" : "") +
                        " /Length " + std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream");
        for (std::size_t i = 0; i < objs.size(); ++i)
            entries_.push_back({objs[i].first, 2, num, static_cast<long>(i)});
        return *this;
    }

    sections& raw(const std::string& bytes)
    {
        out_ += bytes;
        return *this;
    }

    // Ends the section with a classic table; trailer_extra may hold /XRefStm.
    sections& classic(const std::string& trailer_extra = "")
    {
        const long at = static_cast<long>(out_.size());
        out_ += "xref\n0 1\n0000000000 65535 f \n";
        char line[64];
        for (const entry& e : entries_) {
            if (e.type != 1) continue;
            std::snprintf(line, sizeof line, "%d 1\n%010ld 00000 n \n", e.num, e.a);
            out_ += line;
        }
        out_ += "trailer\n<< /Size 100 /Root 1 0 R " + prev_text() + trailer_extra + " >>\nstartxref\n" +
                std::to_string(at) + "\n%%EOF\n";
        finish(at);
        return *this;
    }

    // Ends the section with a cross-reference stream numbered num (/W [1 4 2]); with predictor,
    // Flate-compressed with the PNG Up predictor. Returns its offset through at when asked.
    sections& xref_stream(int num, bool predictor = false, bool end_file = true, long* at_out = nullptr,
                          const std::string& extra = "")
    {
        const long at = static_cast<long>(out_.size());
        entries_.push_back({num, 1, at, 0});
        std::string rows, index;
        for (const entry& e : entries_) {
            index += std::to_string(e.num) + " 1 ";
            const unsigned long a = static_cast<unsigned long>(e.a);
            const char row[7] = {static_cast<char>(e.type), static_cast<char>(a >> 24), static_cast<char>(a >> 16),
                                 static_cast<char>(a >> 8), static_cast<char>(a), static_cast<char>(e.b >> 8),
                                 static_cast<char>(e.b)};
            rows.append(row, 7);
        }
        std::string dict = "/Type /XRef /Size 100 /Root 1 0 R /W [1 4 2] /Index [" + index + "] " + prev_text() + extra;
        std::string data = rows;
        if (predictor) {
            std::string up;
            std::string prior(7, '\0');
            for (std::size_t r = 0; r < rows.size(); r += 7) {
                up += '\x02';
                for (std::size_t i = 0; i < 7; ++i)
                    up += static_cast<char>(static_cast<unsigned char>(rows[r + i]) - static_cast<unsigned char>(prior[i]));
                prior = rows.substr(r, 7);
            }
            data = zlib_compress(up);
            dict += " /Filter /FlateDecode /DecodeParms << /Predictor 12 /Columns 7 >>";
        }
        out_ += std::to_string(num) + " 0 obj\n<< " + dict + " /Length " + std::to_string(data.size()) +
                " >>\nstream\n" + data + "\nendstream\nendobj\n";
        if (end_file) out_ += "startxref\n" + std::to_string(at) + "\n%%EOF\n";
        if (at_out != nullptr) *at_out = at;
        finish(at);
        return *this;
    }

    std::string text() const { return out_; }
    long prev() const { return prev_; }
    long size() const { return static_cast<long>(out_.size()); }

private:
    struct entry {
        int num;
        int type;
        long a;
        long b;
    };

    std::string prev_text() const { return prev_ >= 0 ? "/Prev " + std::to_string(prev_) + " " : ""; }
    void finish(long at)
    {
        prev_ = at;
        entries_.clear();
    }

    std::string out_;
    std::vector<entry> entries_;
    long prev_ = -1;
};

// The first revision of a one-page document: 1 catalog, 2 pages, 3 page, 4 content, 5 a value.
sections first_revision()
{
    sections s;
    s.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    s.object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    s.object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 4 0 R >>");
    s.object(4, "<< /Length 0 >>\nstream\n\nendstream");
    s.object(5, "<< /V (old) >>");
    return s;
}

// The file with the first in-use offset of its last section moved by one byte: the data no longer
// holds the header it claims, so it is not intact.
std::string damage_last_offset(std::string bytes)
{
    const std::size_t table = bytes.rfind("\nxref\n");
    std::size_t line = bytes.find(" 00000 n ", table);
    if (line == std::string::npos) return bytes;
    line -= 10;
    long offset = std::stol(bytes.substr(line, 10)) + 1;
    char digits[32];
    std::snprintf(digits, sizeof digits, "%010ld", offset);
    bytes.replace(line, 10, digits);
    return bytes;
}

// Fault 1: an update whose first header is glued to the previous "%%EOF".
TEST(CrossReference, HeaderGluedToEofCountsWhereTheNewestSectionPointsAtIt)
{
    for (bool stream : {false, true}) {
        sections s = first_revision();
        s.classic();
        // Remove the line break after "%%EOF" so that the header follows it directly.
        s = sections(s.text().substr(0, s.text().size() - 1), s.prev());
        s.object(1, "<< /Type /Catalog /Pages 2 0 R /Marker (new) >>", true);
        if (stream)
            s.xref_stream(9);
        else
            s.classic();
        loaded_doc l(s.text());
        ASSERT_EQ(l.rc, 0) << l.error;
        EXPECT_NE(l.text(1).find("(new)"), std::string::npos) << stream << ": " << l.text(1);
        EXPECT_NE(s.text().find("%%EOF1 0 obj"), std::string::npos);
        EXPECT_EQ(l.page_numbers().size(), 1u);
    }
}

TEST(CrossReference, GluedHeaderIsNotVouchedForByAnOffsetThatMissesIt)
{
    sections s = first_revision();
    s.classic();
    s = sections(s.text().substr(0, s.text().size() - 1), s.prev());
    s.object(1, "<< /Type /Catalog /Pages 2 0 R /Marker (new) >>", true);
    s.classic();
    loaded_doc l(damage_last_offset(s.text()));
    ASSERT_EQ(l.rc, 0) << l.error;
    EXPECT_EQ(l.text(1).find("(new)"), std::string::npos) << l.text(1);
}

// Fault 7, through fault 1: annotations mode keeps the form of an updated catalog glued to "%%EOF".
TEST(CrossReference, AnnotationsModeKeepsTheFormOfAGluedCatalog)
{
    sections s = first_revision();
    s.classic();
    s = sections(s.text().substr(0, s.text().size() - 1), s.prev());
    s.object(1, "<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [6 0 R] >> >>", true);
    s.object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 4 0 R /Annots [6 0 R] >>");
    s.object(6, "<< /Type /Annot /Subtype /Widget /FT /Tx /T (a) /Rect [10 10 50 30] /P 3 0 R >>");
    s.classic();
    temp_dir dir;
    const std::string in = dir.write("in.pdf", s.text()), out = dir.file("out.pdf");
    EXPECT_EQ(kestrin_field_count(in.c_str()), 1);
    ASSERT_EQ(kestrin_annotations(in.c_str(), out.c_str()), 0) << kestrin_last_error();
    EXPECT_EQ(kestrin_field_count(out.c_str()), 1);
    EXPECT_NE(read_file(out).find("/AcroForm"), std::string::npos);
    ASSERT_EQ(kestrin_forms(in.c_str(), out.c_str()), 0) << kestrin_last_error();
    EXPECT_EQ(kestrin_field_count(out.c_str()), 0);
}

// Fault 2: an update that redefines an object inside an object stream.
TEST(CrossReference, UpdateInAnObjectStreamBeatsTheOlderPlainObject)
{
    for (bool predictor : {false, true}) {
        sections s = first_revision();
        s.classic();
        s.object_stream(20, {{5, "<< /V (new) >>"}, {3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] "
                                                        "/Contents 4 0 R /Annots [6 0 R] >>"},
                             {6, "<< /Type /Annot /Subtype /Square /Rect [1 1 9 9] >>"}});
        s.xref_stream(21, predictor);
        loaded_doc l(s.text());
        ASSERT_EQ(l.rc, 0) << l.error;
        EXPECT_EQ(l.text(5), "<< /V (new) >>\n") << predictor;
        EXPECT_NE(l.text(3).find("/Annots [6 0 R]"), std::string::npos) << predictor;
        ASSERT_NE(l.obj(6), nullptr);
        temp_dir dir;
        const std::string in = dir.write("in.pdf", s.text());
        EXPECT_EQ(kestrin_annotation_count(in.c_str()), 1) << predictor;
    }
}

TEST(CrossReference, HybridFileReadsItsXRefStm)
{
    // The update's classic table lists the object stream; its /XRefStm lists what the stream holds.
    sections s = first_revision();
    s.classic();
    s.object_stream(20, {{5, "<< /V (new) >>"}});
    long stm = -1;
    // The stream section for the packed entries, not ended as a file.
    s.xref_stream(21, false, false, &stm);
    // The table of the same update: only the stream objects, /XRefStm to the stream section.
    std::string bytes = s.text();
    const std::size_t first_update = bytes.find("20 0 obj");
    const std::size_t xref_stream_pos = static_cast<std::size_t>(stm);
    const long table = static_cast<long>(bytes.size());
    char line[64];
    std::string t = "xref\n0 1\n0000000000 65535 f \n";
    std::snprintf(line, sizeof line, "20 2\n%010zu 00000 n \n%010zu 00000 n \n", first_update, xref_stream_pos);
    t += line;
    const std::size_t prev = bytes.rfind("startxref\n");
    const std::string prev_offset = bytes.substr(prev + 10, bytes.find('\n', prev + 10) - prev - 10);
    t += "trailer\n<< /Size 100 /Root 1 0 R /Prev " + prev_offset + " /XRefStm " + std::to_string(stm) +
         " >>\nstartxref\n" + std::to_string(table) + "\n%%EOF\n";
    loaded_doc l(bytes + t);
    ASSERT_EQ(l.rc, 0) << l.error;
    EXPECT_EQ(l.text(5), "<< /V (new) >>\n");
}

TEST(CrossReference, DamagedDataLeavesTheChoiceToTheScan)
{
    sections s = first_revision();
    s.classic();
    s.object_stream(20, {{5, "<< /V (new) >>"}});
    s.object(7, "(seven)");
    s.classic();
    // Intact, but the table of the update lists only plain objects: the newest entry of 5 is the
    // first table's, which names the plain definition.
    loaded_doc plain(s.text());
    ASSERT_EQ(plain.rc, 0) << plain.error;
    EXPECT_NE(plain.text(5).find("(old)"), std::string::npos);
    // A section with an offset that misses its header: the scan decides everything.
    sections t = first_revision();
    t.classic();
    t.object_stream(20, {{5, "<< /V (new) >>"}});
    t.xref_stream(21);
    std::string bytes = t.text();
    // Damage: object 1's offset in the first table points one byte late.
    const std::size_t first_table = bytes.find("xref\n");
    const std::size_t entry = bytes.find(" 00000 n ", first_table) - 10;
    bytes[entry + 9] = static_cast<char>(bytes[entry + 9] + 1);
    loaded_doc l(bytes);
    ASSERT_EQ(l.rc, 0) << l.error;
    EXPECT_NE(l.text(5).find("(old)"), std::string::npos) << l.text(5);
}

// Fault 3: a stale duplicate header after the live one.
TEST(CrossReference, StaleDuplicateAfterTheLiveHeaderLoses)
{
    sections s = first_revision();
    s.object(11, "(live)");
    s.classic();
    // Bytes after the file that look like an object but no cross-reference section lists.
    s.raw("11 0 obj\n(stale)\nendobj\n");
    loaded_doc l(s.text());
    ASSERT_EQ(l.rc, 0) << l.error;
    EXPECT_NE(l.text(11).find("(live)"), std::string::npos) << l.text(11);
    // Damaged cross-reference data: the later definition wins, as the scan decides.
    loaded_doc damaged(scan_only(s.text()));
    ASSERT_EQ(damaged.rc, 0) << damaged.error;
    EXPECT_NE(damaged.text(11).find("(stale)"), std::string::npos) << damaged.text(11);
}

// Fault 4: a stream whose /Length is an indirect reference into an object stream.
TEST(CrossReference, IndirectLengthInAnObjectStreamIsResolved)
{
    const std::string data = "q endstream Q and more after the word";
    sections s;
    s.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    s.object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    s.object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 4 0 R >>");
    s.object(4, "<< /Length 7 0 R >>\nstream\n" + data + "\nendstream");
    s.object_stream(20, {{7, std::to_string(data.size())}});
    s.xref_stream(21);
    loaded_doc l(s.text());
    ASSERT_EQ(l.rc, 0) << l.error;
    EXPECT_EQ(l.stream_data(4), data);
    // Without the object stream's help the length is unusable and the keyword cuts the data.
    sections t;
    t.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    t.object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    t.object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 4 0 R >>");
    t.object(4, "<< /Length 70 0 R >>\nstream\n" + data + "\nendstream");
    t.classic();
    loaded_doc cut(t.text());
    ASSERT_EQ(cut.rc, 0) << cut.error;
    EXPECT_EQ(cut.stream_data(4), "q ");
}

// Fault 5: a stream without a usable /Length keeps its data and the objects after it.
TEST(CrossReference, StreamWithoutLengthIsMeasuredThroughTheKeyword)
{
    for (const std::string length : {"", "/Length -1", "/Length /Oops"}) {
        sections s;
        s.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
        s.object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
        s.object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 4 0 R /Annots [5 0 R] >>");
        s.object(4, "<< " + length + " >>\nstream\n0 0 1 rg 0 0 9 9 re f\nendstream");
        s.object(5, "<< /Type /Annot /Subtype /Square /Rect [1 1 9 9] >>");
        s.classic();
        loaded_doc l(s.text());
        ASSERT_EQ(l.rc, 0) << l.error;
        EXPECT_EQ(l.stream_data(4), "0 0 1 rg 0 0 9 9 re f") << length;
        EXPECT_NE(l.obj(5), nullptr) << length;
    }
}

// Bounds: a /Prev loop, a lying table size and junk where a section should be never hang or crash.
TEST(CrossReference, LyingDataEndsAndLeavesTheScan)
{
    sections s = first_revision();
    s.classic();
    std::string base = s.text();
    const std::size_t table = base.rfind("\nxref\n") + 1;
    std::string looped = base;
    looped.insert(looped.find("/Root 1 0 R", table), "/Prev " + std::to_string(table) + " ");
    std::string huge = base;
    huge.replace(huge.find("0 1\n", table), 4, "0 2147483647\n");
    std::string junk = base;
    junk.replace(junk.find("\n0000000000", table) + 1, 10, "garbage!!!");
    for (const std::string& bytes : {looped, huge, junk}) {
        loaded_doc l(bytes);
        ASSERT_EQ(l.rc, 0) << l.error;
        EXPECT_NE(l.text(5).find("(old)"), std::string::npos);
        EXPECT_EQ(l.page_numbers().size(), 1u);
    }
}

}  // namespace
}  // namespace kestrin::test
