// An annotation is drawn where a viewer draws it, however its dictionary is written: keys of nested
// dictionaries are not its own, names may be escaped, and "Annots" may hold dictionaries in place.
#include <gtest/gtest.h>

#include <string>

#include "kestrin.h"
#include "pdf_builder.h"

namespace {

using kestrin::test::one_page_doc;
using kestrin::test::pixel;
using kestrin::test::read_file;
using kestrin::test::run_command;
using kestrin::test::temp_dir;

const std::string red = "255,0,0";
const std::string white = "255,255,255";

// A page of 200 x 200 with nothing drawn, whose annotations are annots; objects 10 and 11 are
// appearance streams filling their 40 x 40 box in red.
std::string page_with(const std::string& annots)
{
    kestrin::test::pdf_builder b = one_page_doc("/Annots " + annots, "", "");
    b.stream(10, "/Type /XObject /Subtype /Form /BBox [0 0 40 40]", "1 0 0 rg 0 0 40 40 re f\n");
    b.stream(11, "/Type /XObject /Subtype /Form /BBox [0 0 40 40]", "1 0 0 rg 0 0 40 40 re f\n");
    return b.build();
}

// Pixel at the centre of the 40 x 40 box whose lower-left corner is (x, y) in page space.
std::string centre(const std::string& pdf, int x, int y) { return pixel(pdf, x + 20, 200 - (y + 20)); }

struct reading_case {
    const char* why;
    std::string annots;
    bool drawn;  // the box at (20, 20) is red after flattening everything
};

TEST(AnnotationReading, DrawsWhatTheViewerShows)
{
    if (run_command("pdftoppm -v >/dev/null 2>&1") != 0) GTEST_SKIP() << "pdftoppm not installed";
    const std::string square = "/Type /Annot /Subtype /Square /Rect [20 20 60 60] ";
    const reading_case cases[] = {
        {"plain", "[<< " + square + "/F 4 /AP << /N 10 0 R >> >>]", true},
        {"additional actions before the flags", "[<< " + square + "/AA << /F 158 0 R >> /F 4 /AP << /N 10 0 R >> >>]",
         true},
        {"characteristics before the flags", "[<< " + square + "/MK << /F 2 >> /F 4 /AP << /N 10 0 R >> >>]", true},
        {"hidden by its own flags", "[<< " + square + "/MK << /F 4 >> /F 2 /AP << /N 10 0 R >> >>]", false},
        {"escaped state", "[<< " + square + "/AS /#4Fn /AP << /N << /Off 11 0 R /O#6E 10 0 R >> >> >>]", true},
    };
    for (const reading_case& c : cases) {
        const std::string out = kestrin::test::flattened_by(page_with(c.annots), kestrin_all);
        ASSERT_FALSE(out.empty()) << c.why << ": " << kestrin_last_error();
        EXPECT_EQ(centre(out, 20, 20), c.drawn ? red : white) << c.why;
    }
}

TEST(AnnotationReading, DictionariesWrittenInAnnotsAreDrawnWithTheOthers)
{
    if (run_command("pdftoppm -v >/dev/null 2>&1") != 0) GTEST_SKIP() << "pdftoppm not installed";
    // In place, then by reference, then in place again: each has a Rect array, which once ended the
    // reading of the list.
    kestrin::test::pdf_builder b = one_page_doc(
        "/Annots [<< /Type /Annot /Subtype /Square /Rect [20 20 60 60] /AP << /N 10 0 R >> >> 12 0 R "
        "<< /Type /Annot /Subtype /Square /Rect [140 140 180 180] /AP << /N 11 0 R >> >>]",
        "", "");
    b.stream(10, "/Type /XObject /Subtype /Form /BBox [0 0 40 40]", "1 0 0 rg 0 0 40 40 re f\n");
    b.stream(11, "/Type /XObject /Subtype /Form /BBox [0 0 40 40]", "1 0 0 rg 0 0 40 40 re f\n");
    b.object(12, "<< /Type /Annot /Subtype /Square /Rect [80 80 120 120] /AP << /N 10 0 R >> >>");
    const std::string in = b.build();
    const std::string all = kestrin::test::flattened_by(in, kestrin_all);
    ASSERT_FALSE(all.empty()) << kestrin_last_error();
    for (int at : {20, 80, 140}) EXPECT_EQ(centre(all, at, at), red) << "box at " << at;

    // Kept in place by the forms mode, with their text.
    const std::string forms = kestrin::test::flattened_by(in, kestrin_forms);
    ASSERT_FALSE(forms.empty()) << kestrin_last_error();
    EXPECT_NE(forms.find("/Rect [140 140 180 180]"), std::string::npos);
    for (int at : {20, 80, 140}) EXPECT_EQ(centre(forms, at, at), red) << "kept box at " << at;
}

}  // namespace
