// Names of the new resources end to end: a page whose resources already use the names the writer
// prefers keeps reaching its own objects, and no resources dictionary gets a key twice.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "kestrin.h"
#include "pdf_builder.h"
#include "writer_check.h"

namespace kestrin::test {
namespace {

// The page's own objects under the writer's usual names: an opaque graphics state, a font and an
// XObject that paints a black square at (100, 10). "{N}" stands for the number of the new XObject.
constexpr const char* own_ext_g_state = "/ExtGState << /GSa 5 0 R >>";
constexpr const char* own_font = "/Font << /FlF 6 0 R >>";
constexpr const char* own_xobject = "/XObject << /Fl{N} 7 0 R >>";

std::string with_number(std::string text, int xobject_num)
{
    for (std::size_t at = text.find("{N}"); at != std::string::npos; at = text.find("{N}"))
        text.replace(at, 3, std::to_string(xobject_num));
    return text;
}

std::string own_resources() { return std::string("<< ") + own_ext_g_state + " " + own_font + " " + own_xobject + " >>"; }

struct names_case {
    const char* what;
    std::string page_entries;   // of page 3, besides type, parent, box, contents and annotations
    std::string pages_entries;  // of the page-tree root
    std::vector<std::pair<int, std::string>> objects;  // among 12 to 14; the others are null
    bool second_page = false;   // page 13 shares resources 12 and has a highlight (14) of its own
};

// The page's old content paints through its own /GSa (a black square at (10, 10)) and its own
// XObject (a black square at (100, 10)); the flattened square, highlight and free text need an
// XObject, the graphics state and the font of their own.
std::string names_doc(const names_case& c, int xobject_num)
{
    pdf_builder b;
    b.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.object(2, std::string("<< /Type /Pages /Kids [3 0 R") + (c.second_page ? " 13 0 R" : "") + "] /Count " +
                    (c.second_page ? "2 " : "1 ") + with_number(c.pages_entries, xobject_num) + " >>");
    b.object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 4 0 R /Annots [8 0 R 10 0 R 11 0 R] " +
                    with_number(c.page_entries, xobject_num) + " >>");
    b.stream(4, "", with_number("q /GSa gs 0 0 0 rg 10 10 40 40 re f Q q /Fl{N} Do Q\n", xobject_num));
    b.object(5, "<< /Type /ExtGState /CA 1 /ca 1 >>");
    b.object(6, "<< /Type /Font /Subtype /Type1 /BaseFont /Courier >>");
    b.stream(7, "/Type /XObject /Subtype /Form /BBox [0 0 200 200]", "0 0 0 rg 100 10 40 40 re f");
    b.object(8, "<< /Type /Annot /Subtype /Square /Rect [10 150 30 170] /AP << /N 9 0 R >> >>");
    b.stream(9, "/Type /XObject /Subtype /Form /BBox [0 0 20 20]", "0 0 1 rg 0 0 20 20 re f");
    b.object(10, "<< /Type /Annot /Subtype /Highlight /Rect [60 150 100 170] >>");
    b.object(11, "<< /Type /Annot /Subtype /FreeText /Rect [110 120 190 190] /Contents (Hi) >>");
    for (int num = 12; num <= 14; ++num) {
        std::string body = "null";
        for (const auto& [n, text] : c.objects)
            if (n == num) body = with_number(text, xobject_num);
        b.object(num, body);
    }
    b.trailer("/Root 1 0 R");
    return b.build();
}

const std::vector<names_case>& names_cases()
{
    static const std::vector<names_case> cases = {
        {"own inline resources", "/Resources " + own_resources(), "", {}},
        {"own resources object", "/Resources 12 0 R", "", {{12, own_resources()}}},
        {"inherited from the page tree", "", "/Resources " + own_resources(), {}},
        {"category dictionaries as objects", "/Resources << /ExtGState 12 0 R /Font 13 0 R /XObject 14 0 R >>", "",
         {{12, "<< /GSa 5 0 R >>"}, {13, "<< /FlF 6 0 R >>"}, {14, "<< /Fl{N} 7 0 R >>"}}},
        {"names written with escapes",
         "/Resources << /ExtGState << /G#53a 5 0 R >> /Font << /Fl#46 6 0 R >> /XObject << /F#6c{N} 7 0 R >> >>", "",
         {}},
        {"resources shared with another flattened page", "/Resources 12 0 R", "", {{12, own_resources()},
         {13, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 4 0 R /Resources 12 0 R "
              "/Annots [14 0 R] >>"},
         {14, "<< /Type /Annot /Subtype /Highlight /Rect [60 60 100 80] >>"}}, true},
    };
    return cases;
}

// Gray value (0 black, 255 white) of each pixel of page 1 rendered at 72 dpi, row 0 at the top.
struct gray_page {
    int width = 0, height = 0;
    std::string pixels;
    int at(int x_pt, int y_pt) const  // PDF coordinates of a 200 x 200 page
    {
        const int row = height - 1 - y_pt;
        return static_cast<unsigned char>(pixels[static_cast<std::size_t>(row * width + x_pt)]);
    }
};

gray_page render(const temp_dir& dir, const std::string& pdf)
{
    const std::string prefix = dir.file("page");
    EXPECT_EQ(run_command("pdftoppm -r 72 -gray -f 1 -l 1 -singlefile '" + pdf + "' '" + prefix + "'"), 0);
    const std::string pgm = read_file(prefix + ".pgm");
    gray_page page;
    // "P5\n<w> <h>\n255\n" then the bytes.
    std::size_t pos = 2;
    const auto number = [&]() {
        while (pos < pgm.size() && (pgm[pos] == ' ' || pgm[pos] == '\n')) ++pos;
        int v = 0;
        while (pos < pgm.size() && pgm[pos] >= '0' && pgm[pos] <= '9') v = v * 10 + (pgm[pos++] - '0');
        return v;
    };
    page.width = number();
    page.height = number();
    number();
    page.pixels = pgm.substr(pos + 1);
    EXPECT_EQ(page.pixels.size(), static_cast<std::size_t>(page.width * page.height));
    return page;
}

TEST(WriterNames, PagesKeepTheirOwnResourcesUnderTheUsualNames)
{
    for (const names_case& c : names_cases()) {
        SCOPED_TRACE(c.what);
        // New objects: the content of each flattened page, the XObject, the font, the state.
        const int pages = c.second_page ? 2 : 1;
        const int xobject_num = 15 + pages;
        const int font_num = xobject_num + 1;
        const int state_num = xobject_num + 2;
        temp_dir dir;
        const std::string in = dir.write("in.pdf", names_doc(c, xobject_num));
        const std::string out = dir.file("out.pdf");
        ASSERT_EQ(kestrin_annotations(in.c_str(), out.c_str()), 0) << kestrin_last_error();
        const written_pdf w = read_written(out);
        ASSERT_EQ(w.problem, "");

        std::string report;
        EXPECT_EQ(run_command("qpdf --check '" + out + "'", &report), 0) << report;
        EXPECT_EQ(report.find("duplicated key"), std::string::npos) << report;

        // The new content reaches the new objects under names the page did not use.
        const std::string content = w.stream_data(15);
        EXPECT_NE(content.find("/Fl" + std::to_string(xobject_num) + "_1 Do"), std::string::npos) << content;
        EXPECT_NE(content.find("/GSa_1 gs"), std::string::npos) << content;
        EXPECT_NE(content.find("BT /FlF_1 "), std::string::npos) << content;
        EXPECT_NE(w.bytes.find("/GSa_1 " + std::to_string(state_num) + " 0 R"), std::string::npos);
        EXPECT_NE(w.bytes.find("/FlF_1 " + std::to_string(font_num) + " 0 R"), std::string::npos);
        if (c.second_page) {
            EXPECT_NE(w.stream_data(16).find("/GSa_1 gs"), std::string::npos);
        }

        // The old content still paints its squares opaque black through its own objects, and the
        // highlight is translucent through the new state.
        const gray_page page = render(dir, out);
        ASSERT_EQ(page.width, 200);
        EXPECT_LT(page.at(30, 30), 40) << "own graphics state";
        EXPECT_LT(page.at(120, 30), 40) << "own XObject";
        EXPECT_GT(page.at(80, 160), 225) << "the highlight's translucent state";
        EXPECT_LT(page.at(20, 160), 120) << "the square's appearance";
    }
}

// Where the usual names are free, they are the names written.
TEST(WriterNames, FreeNamesStayTheUsualOnes)
{
    names_case c{"resources without the usual names",
                 "/Resources << /ExtGState << /GS0 5 0 R >> /Font << /F0 6 0 R >> /XObject << /X0 7 0 R >> >>", "", {}};
    temp_dir dir;
    std::string doc = names_doc(c, 16);
    for (std::size_t at = doc.find("/GSa gs"); at != std::string::npos; at = doc.find("/GSa gs")) doc.replace(at, 4, "/GS0");
    const std::string in = dir.write("in.pdf", doc);
    const std::string out = dir.file("out.pdf");
    ASSERT_EQ(kestrin_annotations(in.c_str(), out.c_str()), 0) << kestrin_last_error();
    const written_pdf w = read_written(out);
    ASSERT_EQ(w.problem, "");
    EXPECT_NE(w.object(3).find("/ExtGState << /GS0 5 0 R  /GSa 18 0 R >>"), std::string::npos) << w.object(3);
    EXPECT_NE(w.object(3).find("/Font << /F0 6 0 R  /FlF 17 0 R >>"), std::string::npos) << w.object(3);
    EXPECT_NE(w.object(3).find("/XObject << /X0 7 0 R  /Fl16 16 0 R >>"), std::string::npos) << w.object(3);
}

}  // namespace
}  // namespace kestrin::test
