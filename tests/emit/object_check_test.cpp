// The check of finished objects against the loader's framing, and the normalised form written
// when an object fails it.
#include <gtest/gtest.h>

#include <string>

#include "emit/object_check.h"
#include "emit/object_writer.h"
#include "emit/writer.h"
#include "load/doc.h"
#include "plan/plan.h"
#include "pdf_builder.h"
#include "writer_fixture.h"

namespace kestrin::test {
namespace {

struct frame_case {
    const char* what;
    std::string body;  // after "5 0 obj\n"; a stream's data is "abc"
    bool stream;
    bool frames;
};

const frame_case frame_cases[] = {
    {"plain dictionary", "<< /A 1 >>", false, true},
    {"plain number", "42", false, true},
    {"keywords harmless where they stand", "<< /T (stream endstream) >>", false, true},
    {"a header inside a string", "<< /T (6 0 obj) >>", false, false},
    {"an obj that could stop a long walk", "<< /T /obj >>", false, false},
    {"endobj inside a string ends the object early", "<< /T (endobj) >>", false, false},
    {"dictionary left open runs on", "<< /A << /B 1 >>", false, false},
    {"string left open runs on", "<< /A (x >>", false, false},
    {"stream keyword after a plain dictionary", "<< /A 1 >> stream", false, false},
    {"stream with its direct length", "<< /Length 3 >>", true, true},
    {"stream keyword in a string of its dictionary", "<< /T (stream) /Length 3 >>", true, true},
    {"stream with a wrong length", "<< /Length 4 >>", true, false},
    {"stream with a length by reference", "<< /Length 9 0 R >>", true, false},
    {"stream without a length", "<< /Filter /X >>", true, false},
    {"stream dictionary closed early", "<< /Length 3 >> >>", true, false},
    {"stream without a dictionary", "[1 2]", true, false},
};

TEST(ObjectCheck, FramesAsWrittenMirrorsTheLoader)
{
    const std::string header = "5 0 obj\n";
    for (const frame_case& c : frame_cases) {
        std::string text = header + c.body;
        std::int32_t stream_kw = -1;
        if (c.stream) {
            stream_kw = static_cast<std::int32_t>(text.size()) + 1;
            text += "\nstream\nabc\nendstream\nendobj\n";
        } else {
            text += "\nendobj\n";
        }
        EXPECT_EQ(emit::frames_as_written(text, static_cast<std::int32_t>(header.size()), stream_kw), c.frames)
            << c.what;
    }
}

// Writes objects straight into a writer over a loaded document whose object 3 is a page.
struct checked_writer {
    loaded_document loaded{[] {
        pdf_builder b;
        b.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
        b.object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
        b.object(3, "<< /Type /Page /Parent 2 0 R >>");
        b.trailer("/Root 1 0 R");
        return b.build();
    }()};
    plan::flatten_plan plan;
    emit::writer w{loaded.doc, plan};

    std::string write(std::int32_t num, const std::string& dict, const std::string* data = nullptr)
    {
        w.out.clear();
        emit::begin_object(w, num, 0);
        w.out.append(dict);
        if (data != nullptr) {
            emit::begin_stream_data(w);
            w.out.append(*data);
            w.out.append("\nendstream\nendobj\n");
        } else {
            w.out.append("\nendobj\n");
        }
        emit::check_open_object(w);
        return std::string(w.out.view());
    }
};

TEST(ObjectCheck, ObjectsThatFrameAsWrittenStayUnchanged)
{
    checked_writer s;
    ASSERT_TRUE(s.loaded.loaded);
    const std::string data = "1 0 obj endobj";
    EXPECT_EQ(s.write(3, "<< /Type /Page /Parent 2 0 R /T (stream) >>"),
              "3 0 obj\n<< /Type /Page /Parent 2 0 R /T (stream) >>\nendobj\n");
    EXPECT_EQ(s.write(9, "<< /Length 14 >>", &data), "9 0 obj\n<< /Length 14 >>\nstream\n1 0 obj endobj\nendstream\nendobj\n");
}

TEST(ObjectCheck, FailingObjectsAreWrittenInTheNormalisedForm)
{
    struct normal_case {
        const char* what;
        std::int32_t num;
        std::string dict;
        bool stream;
        std::string written;
    };
    const normal_case cases[] = {
        {"keywords disarmed and the dictionary closed", 9, "<< /T (a 1 0 obj) /A /obj",
         false, "9 0 obj\n<< /T (a 1 0 \\157bj) /A /    >>\nendobj\n"},
        {"a body that opened no dictionary does not come to open one", 9, "obj << /Pages 4 0 R >>", false,
         "9 0 obj\nnull     << /Pages 4 0 R >>\nendobj\n"},
        {"a page that lost its type states it", 3, "<< /Parent 2 0 R >> endobj", false,
         "3 0 obj\n<< /Type /Page /Parent 2 0 R >>       \nendobj\n"},
        {"a catalog that lost its page tree names it again", 1, "<< /Type /Catalog >>", false,
         "1 0 obj\n<< /Pages 2 0 R /Type /Catalog >>\nendobj\n"},
        {"a catalog that names another page tree names the loader's first", 1,
         "<< /Pages 7 0 R /Pages 2 0 R >>", false,
         "1 0 obj\n<< /Pages 2 0 R /Pages 7 0 R /Pages 2 0 R >>\nendobj\n"},
        {"a catalog keeps only its first dictionary when later text would type it", 1,
         "<< /Pages 2 0 R >> /Type /Pages", false, "1 0 obj\n<< /Pages 2 0 R >>\nendobj\n"},
        {"a catalog typed inside its only dictionary is written as a bare catalog", 1,
         "<< /Type /Page /Pages 2 0 R >>", false,
         "1 0 obj\n<< /Type /Catalog /Pages 2 0 R >>\nendobj\n"},
        {"a node whose kids were cut lists them again", 2, "<< /Type /Pages /Count 1 >>", false,
         "2 0 obj\n<< /Kids [3 0 R] /Type /Pages /Count 1 >>\nendobj\n"},
        {"a node whose first kids are others lists the loader's first", 2,
         "<< /Type /Pages /Kids [4 0 R] /Kids [3 0 R] >>", false,
         "2 0 obj\n<< /Kids [3 0 R] /Type /Pages /Kids [4 0 R] /Kids [3 0 R] >>\nendobj\n"},
        {"a stream node keeps its type and kids", 2, "(x) obj", true,
         "2 0 obj\n<< /Length 3 /Kids [3 0 R] /Type /Pages >>\nstream\nabc\nendstream\nendobj\n"},
        {"a length by reference is written directly, first", 9, "<< /Filter /X /Length 7 0 R >>", true,
         "9 0 obj\n<< /Length 3 /Filter /X >>\nstream\nabc\nendstream\nendobj\n"},
        {"a stream dictionary closed early keeps its first dictionary", 9, "<< /Length 3 >> /A >>",
         true, "9 0 obj\n<< /Length 3 >>\nstream\nabc\nendstream\nendobj\n"},
        {"a stream without a dictionary gets one", 9, "(x) obj", true,
         "9 0 obj\n<< /Length 3 >>\nstream\nabc\nendstream\nendobj\n"},
    };
    for (const normal_case& c : cases) {
        checked_writer s;
        ASSERT_TRUE(s.loaded.loaded);
        const std::string data = "abc";
        const std::string written = s.write(c.num, c.dict, c.stream ? &data : nullptr);
        EXPECT_EQ(written, c.written) << c.what;
        const auto body = static_cast<std::int32_t>(written.find('\n')) + 1;
        const auto stream_kw = static_cast<std::int32_t>(written.find("\nstream\n"));
        EXPECT_TRUE(emit::frames_as_written(written, body, c.stream ? stream_kw + 1 : -1)) << c.what;
    }
}

}  // namespace
}  // namespace kestrin::test
