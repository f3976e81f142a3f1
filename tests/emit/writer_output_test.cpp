// The written file end to end, through the exported flatten calls: layout, objects, page content.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kestrin.h"
#include "load/doc.h"
#include "pdf_builder.h"
#include "writer_check.h"

namespace kestrin::test {
namespace {

using flatten_fn = int32_t (*)(const char*, const char*);

int qpdf_check(const std::string& path, std::string* out)
{
    return run_command("qpdf --check '" + path + "'", out);
}

std::int32_t reloaded_pages(const std::string& path)
{
    const kestrin::base::result<kestrin::load::doc> d = kestrin::load::load_document(path.c_str());
    return d ? static_cast<int32_t>(d->pages.size()) : -1;
}

// A form widget (5), a square with an appearance (6) and a link without one (7) on one page.
std::string form_doc()
{
    pdf_builder b;
    b.object(1, "<< /Type /Catalog /Pages 2 0 R /AcroForm 10 0 R >>");
    b.object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    b.object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 300] /Contents 4 0 R "
                "/Annots [5 0 R 6 0 R 7 0 R] /Resources << /Font << /F1 9 0 R >> >> >>");
    b.stream(4, "", "BT /F1 12 Tf 20 250 Td (Hello) Tj ET");
    b.object(5, "<< /Type /Annot /Subtype /Widget /FT /Tx /T (name) /Rect [10 10 110 30] "
                "/AP << /N 8 0 R >> >>");
    b.object(6, "<< /Type /Annot /Subtype /Square /Rect [50 50 150 100] /AP << /N 11 0 R >> >>");
    b.object(7, "<< /Type /Annot /Subtype /Link /Rect [0 0 10 10] >>");
    b.stream(8, "/Type /XObject /Subtype /Form /BBox [0 0 100 20]", "BT /Helv 10 Tf (x) Tj ET", true);
    b.object(9, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    b.object(10, "<< /Fields [5 0 R] /DR << /Font << /Helv 9 0 R >> >> >>");
    b.stream(11, "/Type /XObject /Subtype /Form /BBox [0 0 50 25] /Resources << >>", "0 0 1 RG 0 0 50 25 re S");
    b.trailer("/Root 1 0 R");
    return b.build();
}

struct mode_case {
    const char* what;
    flatten_fn run;
    bool keeps_form;
    const char* annots;     // expected "Annots" entry of the page, "" when it has none
    const char* placement;  // expected drawing in the new content
    long size;
};

const mode_case mode_cases[] = {
    // Fields only: the widget becomes content, the square and the link stay annotations.
    {"forms", kestrin_forms, false, "/Annots [ 6 0 R  7 0 R]",
     "q 1.000000 0 0 1.000000 10.000000 10.000000 cm /Fl13 Do Q\n", 14},
    // Annotations only: the form and its widget stay; the square is drawn at scale 2.
    {"annotations", kestrin_annotations, true, "/Annots [ 5 0 R]",
     "q 2.000000 0 0 2.000000 50.000000 50.000000 cm /Fl13 Do Q\n", 14},
    // Both: every annotation goes, and with it the "Annots" entry.
    {"all", kestrin_all, false, "",
     "q 1.000000 0 0 1.000000 10.000000 10.000000 cm /Fl13 Do Q\n"
     "q 2.000000 0 0 2.000000 50.000000 50.000000 cm /Fl14 Do Q\n",
     15},
};

TEST(WriterOutput, EachModeWritesAValidFileWithItsPlacements)
{
    temp_dir dir;
    const std::string in = dir.write("in.pdf", form_doc());
    for (const mode_case& tc : mode_cases) {
        SCOPED_TRACE(tc.what);
        const std::string out = dir.file(std::string(tc.what) + ".pdf");
        ASSERT_EQ(tc.run(in.c_str(), out.c_str()), 0) << kestrin_last_error();
        EXPECT_STREQ(kestrin_last_error(), "");
        const written_pdf w = read_written(out);
        ASSERT_EQ(w.problem, "");
        EXPECT_EQ(w.size, tc.size);
        std::string report;
        EXPECT_EQ(qpdf_check(out, &report), 0) << report;
        EXPECT_EQ(reloaded_pages(out), 1);
        EXPECT_EQ(w.object(1).find("/AcroForm") != std::string::npos, tc.keeps_form);
        EXPECT_EQ(w.in_use.count(10) == 1, tc.keeps_form);
        const std::string page = w.object(3);
        EXPECT_NE(page.find("/Contents 12 0 R"), std::string::npos) << page;
        if (*tc.annots != '\0')
            EXPECT_NE(page.find(tc.annots), std::string::npos) << page;
        else
            EXPECT_EQ(page.find("/Annots"), std::string::npos) << page;
        const std::string content = w.stream_data(12);
        EXPECT_EQ(content, std::string("q\nBT /F1 12 Tf 20 250 Td (Hello) Tj ET\nQ\n") + tc.placement);
    }
}

TEST(WriterOutput, XObjectTakesTheFormResourcesAndClipsToItsBox)
{
    temp_dir dir;
    const std::string in = dir.write("in.pdf", form_doc());
    const std::string out = dir.file("out.pdf");
    ASSERT_EQ(kestrin_forms(in.c_str(), out.c_str()), 0) << kestrin_last_error();
    const written_pdf w = read_written(out);
    ASSERT_EQ(w.problem, "");
    const std::string clip = "q 0.000000 0.000000 100.000000 20.000000 re W n\n";
    const std::string content = "BT /Helv 10 Tf (x) Tj ET";
    EXPECT_EQ(w.object(13), "13 0 obj\n<< /Type /XObject /Subtype /Form /BBox [0.000000 0.000000 "
                            "100.000000 20.000000] /Resources << /Font << /Helv 9 0 R >> >> /Length " +
                                std::to_string(clip.size() + content.size() + 2) + " >>\nstream\n" +
                                clip + content + "\nQ\nendstream");
    // The page's resources name the XObject; no picture needs the font or the graphics state.
    EXPECT_NE(w.object(3).find("/Resources << /Font << /F1 9 0 R >>  /XObject << /Fl13 13 0 R >>>>"),
              std::string::npos)
        << w.object(3);
    EXPECT_EQ(w.size, 14);
}

// The page of form_doc with other page entries and appearance streams; flattened in mode 2.
struct page_case {
    const char* what;
    std::vector<std::pair<int, std::string>> streams;  // (number, "dict entries|data")
    std::string annot;                                   // object 6
    std::string expect_in_xobject;                       // text the XObject 13 must hold
    std::string expect_in_content;                       // text the new content must hold
};

std::string annotations_doc(const page_case& tc)
{
    pdf_builder b;
    b.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    b.object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 300] /Contents 4 0 R "
                "/Annots [6 0 R] >>");
    b.stream(4, "", "0 0 m 5 5 l S");
    b.object(6, tc.annot);
    for (const auto& [num, entries_and_data] : tc.streams) {
        const std::size_t bar = entries_and_data.find('|');
        b.stream(num, entries_and_data.substr(0, bar), entries_and_data.substr(bar + 1));
    }
    b.trailer("/Root 1 0 R");
    return b.build();
}

const page_case appearance_cases[] = {
    // No BBox: the annotation's rectangle size is the box of the XObject and of the placement.
    {"no bbox", {{11, "/Type /XObject /Subtype /Form|0 0 m"}},
     "<< /Type /Annot /Subtype /Square /Rect [20 30 60 50] /AP << /N 11 0 R >> >>",
     "/BBox [0.000000 0.000000 40.000000 20.000000]",
     "q 1.000000 0 0 1.000000 20.000000 30.000000 cm /Fl13 Do Q\n"},
    // A matrix rotating by 90 degrees: the rotated box fills the rectangle.
    {"rotated matrix", {{11, "/Subtype /Form /BBox [0 0 100 50] /Matrix [0 1 -1 0 0 0]|0 0 m"}},
     "<< /Type /Annot /Subtype /Square /Rect [10 20 60 120] /AP << /N 11 0 R >> >>",
     "/Matrix [0 1 -1 0 0 0]", "q 1.000000 0 0 1.000000 60.000000 20.000000 cm /Fl13 Do Q\n"},
    // A Matrix in the annotation dictionary is used as given.
    {"annotation matrix", {{11, "/Subtype /Form /BBox [0 0 10 10]|0 0 m"}},
     "<< /Type /Annot /Subtype /Square /Rect [0 0 100 100] /Matrix [1 0 0 1 5 5] /AP << /N 11 0 R >> >>",
     "/BBox [0.000000 0.000000 10.000000 10.000000]",
     "q 1.000000 0.000000 0.000000 1.000000 5.000000 5.000000 cm /Fl13 Do Q\n"},
    // Data in a filter we do not decode keeps its filter and its stored length, without a clip line.
    {"undecodable appearance", {{11, "/Subtype /Form /BBox [0 0 10 10] /Filter /ASCIIHexDecode|30206D>"}},
     "<< /Type /Annot /Subtype /Square /Rect [0 0 10 10] /AP << /N 11 0 R >> >>",
     " /Filter /ASCIIHexDecode /Length 7 >>\nstream\n30206D>\nendstream",
     "q 1.000000 0 0 1.000000 0.000000 0.000000 cm /Fl13 Do Q\n"},
    // Coordinates far out of range are cut to a number every reader accepts.
    {"huge rectangle", {{11, "/Subtype /Form /BBox [0 0 1 1]|0 0 m"}},
     "<< /Type /Annot /Subtype /Square /Rect [0 0 99999999999999 1] /AP << /N 11 0 R >> >>",
     "/BBox [0.000000 0.000000 1.000000 1.000000]",
     "q 1000000000.000000 0 0 1.000000 0.000000 0.000000 cm /Fl13 Do Q\n"},
};

TEST(WriterOutput, AppearancePlacementAndXObjectForms)
{
    temp_dir dir;
    for (const page_case& tc : appearance_cases) {
        SCOPED_TRACE(tc.what);
        const std::string in = dir.write("in.pdf", annotations_doc(tc));
        const std::string out = dir.file("out.pdf");
        ASSERT_EQ(kestrin_annotations(in.c_str(), out.c_str()), 0) << kestrin_last_error();
        const written_pdf w = read_written(out);
        ASSERT_EQ(w.problem, "");
        EXPECT_NE(w.object(13).find(tc.expect_in_xobject), std::string::npos) << w.object(13);
        const std::string content = w.stream_data(12);
        EXPECT_NE(content.find(tc.expect_in_content), std::string::npos) << content;
        std::string report;
        EXPECT_EQ(qpdf_check(out, &report), 0) << report;
    }
}

TEST(WriterOutput, HiddenAnnotationIsRemovedButNotDrawn)
{
    page_case tc{"hidden", {{11, "/Subtype /Form /BBox [0 0 10 10]|0 0 m"}},
                 "<< /Type /Annot /Subtype /Square /F 2 /Rect [0 0 10 10] /AP << /N 11 0 R >> >>", "", ""};
    temp_dir dir;
    const std::string in = dir.write("in.pdf", annotations_doc(tc));
    const std::string out = dir.file("out.pdf");
    ASSERT_EQ(kestrin_annotations(in.c_str(), out.c_str()), 0) << kestrin_last_error();
    const written_pdf w = read_written(out);
    ASSERT_EQ(w.problem, "");
    // Numbers: content 12; no XObject, and no picture needs the font or the graphics state.
    EXPECT_EQ(w.size, 13);
    EXPECT_EQ(w.object(3).find("/Annots"), std::string::npos);
    EXPECT_EQ(w.object(3).find("/Fl1"), std::string::npos);
    EXPECT_EQ(w.stream_data(12), "q\n0 0 m 5 5 l S\nQ\n");
}

}  // namespace
}  // namespace kestrin::test
