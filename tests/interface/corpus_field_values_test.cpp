// Every filled form value that a viewer shows must stay visible when the form is flattened.
//
// The fields are read by qpdf. A text or choice value counts as shown when poppler's pdftotext or
// MuPDF finds it inside its widget's rectangle on the unflattened input; a check box or radio
// whose state is on counts when poppler or MuPDF draws ink in the middle of its rectangle (inside
// the border frame, where an off box is blank). After kestrin_all, the value must be in pdftotext's
// text of that rectangle, the button's ink in pdftoppm's rendering of it. Password values never
// count as shown; they must not appear in the output's text at all.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "annotation_regions.h"
#include "form_fields.h"
#include "json_reader.h"
#include "kestrin.h"
#include "manifest.h"
#include "page_text.h"
#include "pdf_builder.h"

namespace {

namespace fs = std::filesystem;
using kestrin::test::field_kind;
using kestrin::test::field_widget;
using kestrin::test::form_reading;
using kestrin::test::image;
using kestrin::test::page_geometry;
using kestrin::test::page_texts;
using kestrin::test::pdf_rect;
using kestrin::test::pixel_box;
using kestrin::test::run_command;
using kestrin::test::temp_dir;
using kestrin::test::without_white_space;

// A tool that runs longer gives up: poppler walks a field tree that shares its kids exponentially.
constexpr int tool_timeout_seconds = 120;
// Text belongs to a widget when its centre lies this close to the rectangle: viewers let a value
// spill a little past a rectangle sized tighter than its font.
constexpr double text_margin = 3;
// At 72 dpi a point is a pixel.
constexpr int ink_dpi = 72;
// A channel further than this from the page without annotations is ink (anti-aliasing stays below).
constexpr int channel_tolerance = 40;
// A button shows its state when at least this many pixels of the middle are ink.
constexpr long min_ink_pixels = 2;

std::string quoted(const std::string& path) { return "'" + path + "'"; }

// The command's standard output, also when it reports errors in the file: what it printed is
// checked by its reader. Empty when it runs out of time.
std::string tool_output(const std::string& command)
{
    std::string out;
    // In parentheses: the runner joins stderr to stdout after the whole command.
    const int status = run_command("(timeout " + std::to_string(tool_timeout_seconds) + " " +
                                       command + " 2>/dev/null)",
                                   &out);
    return status == 124 ? "" : out;
}

std::optional<form_reading> read_form(const std::string& pdf)
{
    const std::string json =
        tool_output("qpdf --json=2 --json-key=acroform --json-key=pages --json-key=qpdf " + quoted(pdf));
    const std::optional<kestrin::test::json_value> parsed = kestrin::test::parse_json(json);
    if (!parsed) return std::nullopt;
    return kestrin::test::form_from_qpdf_json(*parsed);
}

bool is_textual(field_kind k)
{
    return k == field_kind::text || k == field_kind::combo_box || k == field_kind::list_box;
}

bool is_button(field_kind k) { return k == field_kind::check_box || k == field_kind::radio; }

bool placed(const field_widget& w) { return w.page > 0 && w.rect; }

bool worth_checking(const field_widget& w)
{
    if (!placed(w)) return false;
    if (is_button(w.kind)) return kestrin::test::button_is_on(w);
    const bool has_value = !w.values.empty() || !w.value_stream.empty();
    return has_value && (is_textual(w.kind) || w.kind == field_kind::password);
}

// A value of a field that the input shows: a text (each of a list box's values apart) or a
// button's on state. One field's widgets that show the same value share it.
struct shown_value {
    std::string field;
    field_kind kind = field_kind::other;
    std::string value;
    bool by_poppler = false, by_mupdf = false;
    std::vector<field_widget> lost_in;  // widgets that showed it and no longer do
};

struct file_result {
    std::string file;
    std::vector<shown_value> shown;
    int passwords = 0;
    std::vector<std::string> passwords_in_clear;  // field names
    std::string problem;                          // what kept the file from being checked
    bool need_appearances = false;
};

// The text of a value given as a text stream.
void read_value_streams(const std::string& pdf, std::vector<field_widget>& widgets)
{
    for (field_widget& w : widgets) {
        if (w.value_stream.empty()) continue;
        const std::string number = w.value_stream.substr(0, w.value_stream.find(' '));
        w.values.push_back(kestrin::test::text_string_to_utf8(tool_output(
            "qpdf --show-object=" + number + " --filtered-stream-data " + quoted(pdf))));
    }
}

std::vector<page_geometry> geometry(const std::string& pdf, int last_page)
{
    return kestrin::test::pages_from_pdfinfo(
        tool_output("pdfinfo -box -f 1 -l " + std::to_string(last_page) + " " + quoted(pdf)));
}

// The text one tool reads on a page inside a widget, without white space.
std::string text_at(const page_texts& pages, const field_widget& w, const page_geometry& page)
{
    if (size_t(w.page) > pages.size()) return "";
    return kestrin::test::text_within(pages[w.page - 1], kestrin::test::shown_rect(*w.rect, page),
                                      text_margin);
}

struct text_readings {
    page_texts poppler_in, mupdf_in, poppler_out;
};

text_readings read_texts(const std::string& input, const std::string& output)
{
    return {kestrin::test::words_from_pdftotext(tool_output("pdftotext -cropbox -bbox " + quoted(input) + " -")),
            kestrin::test::characters_from_mutool(tool_output("mutool draw -q -F stext -o - " + quoted(input))),
            kestrin::test::words_from_pdftotext(tool_output("pdftotext -cropbox -bbox " + quoted(output) + " -"))};
}

shown_value& value_entry(std::map<std::pair<std::string, std::string>, shown_value>& values,
                         const field_widget& w, const std::string& value)
{
    shown_value& v = values[{w.field, value}];
    v.field = w.field;
    v.kind = w.kind;
    v.value = value;
    return v;
}

void check_texts(const std::vector<const field_widget*>& widgets, const std::vector<page_geometry>& pages,
                 const text_readings& texts, std::map<std::pair<std::string, std::string>, shown_value>& values)
{
    for (const field_widget* w : widgets) {
        if (!is_textual(w->kind) || size_t(w->page) > pages.size()) continue;
        const page_geometry& page = pages[w->page - 1];
        const std::string poppler = text_at(texts.poppler_in, *w, page);
        const std::string mupdf = text_at(texts.mupdf_in, *w, page);
        const std::string after = text_at(texts.poppler_out, *w, page);
        for (const std::string& value : w->values) {
            const std::string wanted = without_white_space(value);
            if (wanted.empty()) continue;
            const bool by_poppler = poppler.find(wanted) != std::string::npos;
            const bool by_mupdf = mupdf.find(wanted) != std::string::npos;
            if (!by_poppler && !by_mupdf) continue;
            shown_value& v = value_entry(values, *w, value);
            v.by_poppler |= by_poppler;
            v.by_mupdf |= by_mupdf;
            if (after.find(wanted) == std::string::npos) v.lost_in.push_back(*w);
        }
    }
}

image render(const std::string& command, const std::string& file)
{
    tool_output(command);
    image img = kestrin::test::read_pnm(file);
    fs::remove(file);
    return img;
}

// One page: the input drawn by poppler with and without its annotations and by MuPDF, and the
// output drawn by poppler.
struct page_renders {
    image poppler, bare, mupdf, after;
};

page_renders render_page(const std::string& input, const std::string& output, int page, const fs::path& dir)
{
    const std::string pages = " -f " + std::to_string(page) + " -l " + std::to_string(page);
    const std::string poppler = "pdftoppm -q -cropbox -singlefile -r " + std::to_string(ink_dpi) + pages;
    const std::string prefix = (dir / "r").string();
    page_renders r;
    r.poppler = render(poppler + " " + quoted(input) + " " + quoted(prefix), prefix + ".ppm");
    r.bare = render(poppler + " -hide-annotations " + quoted(input) + " " + quoted(prefix), prefix + ".ppm");
    r.mupdf = render("mutool draw -q -r " + std::to_string(ink_dpi) + " -c rgb -F pnm -o " +
                         quoted(prefix + ".pnm") + " " + quoted(input) + " " + std::to_string(page),
                     prefix + ".pnm");
    r.after = render(poppler + " " + quoted(output) + " " + quoted(prefix), prefix + ".ppm");
    return r;
}

bool channels_differ(const unsigned char* a, const unsigned char* b)
{
    for (int c = 0; c < 3; ++c)
        if (std::abs(int(a[c]) - int(b[c])) > channel_tolerance) return true;
    return false;
}

// Pixels of box where the picture departs from the page without annotations and from the
// widget's background colour. MuPDF's picture may be a pixel larger or smaller than poppler's:
// only the pixels both have count.
long ink(const image& picture, const image& bare, const pixel_box& box,
         const std::optional<std::array<double, 3>>& background)
{
    if (picture.channels != 3 || bare.channels != 3) return 0;
    unsigned char fill[3] = {0, 0, 0};
    if (background)
        for (int c = 0; c < 3; ++c) fill[c] = static_cast<unsigned char>((*background)[c] * 255 + 0.5);
    long n = 0;
    for (int y = box.y0; y < std::min({box.y1, picture.height, bare.height}); ++y) {
        for (int x = box.x0; x < std::min({box.x1, picture.width, bare.width}); ++x) {
            const unsigned char* p = &picture.pixels[(size_t(y) * picture.width + x) * 3];
            const unsigned char* b = &bare.pixels[(size_t(y) * bare.width + x) * 3];
            if (channels_differ(p, b) && (!background || channels_differ(p, fill))) ++n;
        }
    }
    return n;
}

// The middle of a widget: its rectangle without a quarter of its width and height on each side,
// clear of any border frame.
pdf_rect middle(const pdf_rect& r)
{
    const double dx = (r.x1 - r.x0) / 4, dy = (r.y1 - r.y0) / 4;
    return {r.x0 + dx, r.y0 + dy, r.x1 - dx, r.y1 - dy};
}

void check_buttons(const std::string& input, const std::string& output,
                   const std::vector<const field_widget*>& widgets, const std::vector<page_geometry>& pages,
                   const fs::path& dir, std::map<std::pair<std::string, std::string>, shown_value>& values,
                   std::string& problem)
{
    std::map<int, std::vector<const field_widget*>> by_page;
    for (const field_widget* w : widgets)
        if (is_button(w->kind) && size_t(w->page) <= pages.size()) by_page[w->page].push_back(w);
    for (const auto& [page, list] : by_page) {
        const page_renders r = render_page(input, output, page, dir);
        if (r.poppler.pixels.empty() || r.bare.pixels.empty() || r.mupdf.pixels.empty() ||
            r.after.pixels.empty())
            problem = "page " + std::to_string(page) + " was not rendered";
        for (const field_widget* w : list) {
            const pixel_box box = kestrin::test::pixels_of(middle(*w->rect), pages[page - 1], ink_dpi,
                                                           r.bare.width, r.bare.height);
            const bool by_poppler = ink(r.poppler, r.bare, box, w->background) >= min_ink_pixels;
            const bool by_mupdf = ink(r.mupdf, r.bare, box, w->background) >= min_ink_pixels;
            if (!by_poppler && !by_mupdf) continue;
            shown_value& v = value_entry(values, *w, w->state.empty() ? w->value_state : w->state);
            v.by_poppler |= by_poppler;
            v.by_mupdf |= by_mupdf;
            if (ink(r.after, r.bare, box, w->background) < min_ink_pixels) v.lost_in.push_back(*w);
        }
    }
}

void check_passwords(const std::vector<const field_widget*>& widgets, const text_readings& texts,
                     file_result& result)
{
    std::string everything;
    for (const auto& page : texts.poppler_out)
        for (const auto& word : page) everything += word.text;
    everything = without_white_space(everything);
    for (const field_widget* w : widgets) {
        if (w->kind != field_kind::password) continue;
        for (const std::string& value : w->values) {
            const std::string secret = without_white_space(value);
            if (secret.empty()) continue;
            ++result.passwords;
            if (everything.find(secret) != std::string::npos) result.passwords_in_clear.push_back(w->field);
        }
    }
}

// Checks output, a flattening of input whose form qpdf read as form.
file_result check_values(const std::string& input, const std::string& output, form_reading form,
                         const fs::path& dir)
{
    file_result result;
    result.need_appearances = form.need_appearances;
    read_value_streams(input, form.widgets);
    std::vector<const field_widget*> widgets;
    int last_page = 0;
    bool any_text = false;
    for (const field_widget& w : form.widgets) {
        if (!worth_checking(w)) continue;
        widgets.push_back(&w);
        last_page = std::max(last_page, w.page);
        any_text |= !is_button(w.kind);
    }
    if (widgets.empty()) return result;
    const std::vector<page_geometry> pages = geometry(input, last_page);
    if (pages.size() < size_t(last_page)) result.problem = "pdfinfo lists fewer pages than qpdf";
    std::map<std::pair<std::string, std::string>, shown_value> values;
    if (any_text) {
        const text_readings texts = read_texts(input, output);
        if (std::min({texts.poppler_in.size(), texts.mupdf_in.size(), texts.poppler_out.size()}) <
            size_t(last_page))
            result.problem = "a text tool read fewer pages than qpdf";
        check_texts(widgets, pages, texts, values);
        check_passwords(widgets, texts, result);
    }
    check_buttons(input, output, widgets, pages, dir, values, result.problem);
    for (auto& [key, v] : values) result.shown.push_back(std::move(v));
    return result;
}

file_result check_corpus_file(const kestrin::test::manifest_row& row)
{
    file_result result;
    std::optional<form_reading> form = read_form(row.path());
    if (!form) {
        result.problem = "qpdf cannot read the form";
    } else if (std::any_of(form->widgets.begin(), form->widgets.end(), worth_checking)) {
        temp_dir dir;
        const std::string flat = dir.file("flat.pdf");
        if (kestrin_all(row.path().c_str(), flat.c_str()) == 0)
            result = check_values(row.path(), flat, std::move(*form), dir.path());
        else
            result.problem = std::string("kestrin_all failed: ") + kestrin_last_error();
    }
    result.file = row["file"];
    return result;
}

// Each corpus file with a form, checked on two threads (the tools dominate the time).
std::vector<file_result> check_corpus(const std::vector<kestrin::test::manifest_row>& rows)
{
    std::vector<const kestrin::test::manifest_row*> forms;
    for (const auto& row : rows)
        if (!row["field_types"].empty() && row["expected_error"] == "-") forms.push_back(&row);
    std::vector<file_result> checked(forms.size());
    std::atomic<size_t> next{0};
    auto work = [&] {
        for (size_t i = next++; i < forms.size(); i = next++) checked[i] = check_corpus_file(*forms[i]);
    };
    std::thread helper(work);
    work();
    helper.join();
    return checked;
}

// file, field -> cause
using exception_list = std::map<std::pair<std::string, std::string>, std::string>;

exception_list reviewed_exceptions()
{
    exception_list out;
    std::ifstream f(fs::path(__FILE__).parent_path() / "field_value_exceptions.tsv");
    std::string line;
    while (std::getline(f, line)) {
        if (line.empty() || line[0] == '#') continue;
        const size_t first = line.find('\t');
        const size_t second = first == std::string::npos ? first : line.find('\t', first + 1);
        if (second == std::string::npos) {
            ADD_FAILURE() << "field_value_exceptions.tsv: not file, field and cause: " << line;
            continue;
        }
        out[{line.substr(0, first), line.substr(first + 1, second - first - 1)}] = line.substr(second + 1);
    }
    return out;
}

std::string describe_appearance(const field_widget& w)
{
    if (!w.appearance_states) return "no appearance";
    if (w.appearance_states->empty()) return "appearance stream";
    std::string s = "appearance states";
    for (const std::string& name : *w.appearance_states) s += " " + name;
    return s;
}

// The value on one line.
std::string one_line(std::string text)
{
    std::replace_if(text.begin(), text.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
    return text;
}

std::string describe(const file_result& file, const shown_value& v)
{
    std::ostringstream line;
    line << file.file << "\t" << v.field << "\t" << field_kind_name(v.kind) << " \"" << one_line(v.value)
         << "\" shown by " << (v.by_poppler ? (v.by_mupdf ? "poppler and MuPDF" : "poppler") : "MuPDF")
         << (file.need_appearances ? ", NeedAppearances" : "");
    for (const field_widget& w : v.lost_in) {
        line << "; lost in " << w.widget << " page " << w.page << ", " << describe_appearance(w);
        if (is_button(w.kind)) line << ", AS " << (w.state.empty() ? "none" : w.state);
        if (w.rotation != 0) line << ", MK R " << w.rotation;
    }
    return line.str();
}

constexpr field_kind counted_kinds[] = {field_kind::text, field_kind::combo_box, field_kind::list_box,
                                        field_kind::check_box, field_kind::radio};

std::string per_kind(const std::map<field_kind, int>& counts)
{
    std::string s;
    for (field_kind k : counted_kinds) {
        auto it = counts.find(k);
        s += (s.empty() ? "" : ", ") + std::string(kestrin::test::field_kind_name(k)) + " " +
             std::to_string(it == counts.end() ? 0 : it->second);
    }
    return s;
}

int total(const std::map<field_kind, int>& counts)
{
    int n = 0;
    for (const auto& [kind, count] : counts) n += count;
    return n;
}

// The corpus's results against the reviewed exceptions.
struct tally {
    std::map<field_kind, int> shown, visible;
    int files = 0, passwords = 0, in_clear = 0;
    std::vector<std::string> failures, excepted;
    std::set<std::pair<std::string, std::string>> exceptions_seen;

    void add(const file_result& r, const exception_list& exceptions)
    {
        files += !r.shown.empty();
        passwords += r.passwords;
        in_clear += int(r.passwords_in_clear.size());
        for (const std::string& field : r.passwords_in_clear)
            note(r.file, field, "password value in the output's text: " + r.file + "\t" + field, exceptions);
        for (const shown_value& v : r.shown) {
            ++shown[v.kind];
            if (v.lost_in.empty()) ++visible[v.kind];
            else note(r.file, v.field, "not visible after flattening: " + describe(r, v), exceptions);
        }
    }

    void note(const std::string& file, const std::string& field, const std::string& what,
              const exception_list& exceptions)
    {
        if (!exceptions.count({file, field})) {
            failures.push_back(what);
            return;
        }
        excepted.push_back(what);
        exceptions_seen.insert({file, field});
    }

    std::string summary() const
    {
        std::ostringstream s;
        s << "field values shown in the input: " << total(shown) << " (" << per_kind(shown) << ") in "
          << files << " files; visible after flattening: " << total(visible) << " (" << per_kind(visible)
          << "); not visible: " << failures.size() + excepted.size() << " (" << failures.size()
          << " failures, " << excepted.size() << " reviewed exceptions); password values: " << passwords
          << ", in the output's text: " << in_clear;
        return s.str();
    }
};

// A reviewed cause is a sentence about the files, never a shrug.
bool says_what_was_seen(const std::string& cause)
{
    std::string lower = cause;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    const auto words = std::count(lower.begin(), lower.end(), ' ') + 1;
    return words >= 6 && !lower.starts_with("unknown") && !lower.starts_with("unclear") &&
           !lower.starts_with("tbd") && !lower.starts_with("todo");
}

bool tools_present()
{
    for (const char* probe : {"qpdf --version", "pdftotext -v", "pdftoppm -v", "pdfinfo -v", "mutool -v"})
        if (run_command(std::string(probe) + " >/dev/null 2>&1") != 0) return false;
    return true;
}

// A page with a filled text field without appearance, which viewers draw from its value, a check
// box whose on appearance fills the middle of its box, and a password field; with a Helvetica
// font in the form's resources. content is the page's own drawing.
std::string small_form(const std::string& content, bool with_widgets)
{
    const std::string annots = with_widgets ? "/Annots [5 0 R 6 0 R 9 0 R]" : "";
    auto b = kestrin::test::one_page_doc(annots + " /Resources << /Font << /F1 10 0 R >> >>",
        "/AcroForm << /Fields [5 0 R 6 0 R 9 0 R] /DA (/Helv 12 Tf 0 g) /DR << /Font << /Helv 10 0 R >> >> >>",
        content);
    b.object(5, "<< /Type /Annot /Subtype /Widget /FT /Tx /T (name) /V (Hello) /Rect [20 150 180 175] /P 3 0 R >>");
    b.object(6, "<< /Type /Annot /Subtype /Widget /FT /Btn /T (agree) /V /Yes /AS /Yes /Rect [20 100 40 120] "
                "/AP << /N << /Yes 7 0 R /Off 8 0 R >> >> /P 3 0 R >>");
    b.stream(7, "/Type /XObject /Subtype /Form /BBox [0 0 20 20]", "0 0 0 rg 0 0 20 20 re S 5 5 10 10 re f\n");
    b.stream(8, "/Type /XObject /Subtype /Form /BBox [0 0 20 20]", "0 0 0 RG 0 0 20 20 re S\n");
    b.object(9, "<< /Type /Annot /Subtype /Widget /FT /Tx /Ff 8192 /T (pin) /V (Secret) /Rect [20 40 180 65] /P 3 0 R >>");
    b.object(10, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>");
    return b.build();
}

TEST(CorpusFieldValues, TheCheckSeesShownValuesAndTheirLoss)
{
    if (!tools_present()) GTEST_SKIP() << "qpdf, poppler-utils or mutool not installed";
    temp_dir dir;
    const std::string input = dir.write("in.pdf", small_form("", true));
    const std::optional<form_reading> form = read_form(input);
    ASSERT_TRUE(form);
    ASSERT_EQ(form->widgets.size(), 3u);

    struct output_case {
        const char* why;
        std::string output;  // empty: kestrin_all's flattening of the input
        size_t lost;         // values the check must find lost
        size_t in_clear;     // passwords it must find in the output's text
    };
    const output_case cases[] = {
        {"flattened", "", 0, 0},
        {"the page without its widgets", small_form("", false), 2, 0},
        {"a page that writes the password", small_form("BT /F1 12 Tf 20 20 Td (Secret) Tj ET", false), 2, 1},
    };
    for (const output_case& c : cases) {
        std::string output = dir.file("out.pdf");
        if (c.output.empty()) {
            ASSERT_EQ(kestrin_all(input.c_str(), output.c_str()), 0) << kestrin_last_error();
        } else {
            output = dir.write("out.pdf", c.output);
        }
        const file_result r = check_values(input, output, *form, dir.path());
        EXPECT_EQ(r.problem, "") << c.why;
        ASSERT_EQ(r.shown.size(), 2u) << c.why;  // the text and the check box; never the password
        EXPECT_EQ(r.passwords, 1) << c.why;
        size_t lost = 0;
        for (const shown_value& v : r.shown) {
            EXPECT_TRUE(v.by_poppler && v.by_mupdf) << c.why << ": " << v.field;
            lost += !v.lost_in.empty();
        }
        EXPECT_EQ(lost, c.lost) << c.why;
        EXPECT_EQ(r.passwords_in_clear.size(), c.in_clear) << c.why;
    }
}

TEST(CorpusFieldValues, EveryValueAViewerShowsStaysVisibleAfterFlattening)
{
    const auto rows = kestrin::test::read_manifest(KESTRIN_CORPUS_DIR);
    if (rows.empty()) GTEST_SKIP() << "corpus not found";
    if (!tools_present()) GTEST_SKIP() << "qpdf, poppler-utils or mutool not installed";
    const exception_list exceptions = reviewed_exceptions();
    for (const auto& [key, cause] : exceptions)
        EXPECT_TRUE(says_what_was_seen(cause)) << key.first << " " << key.second << ": " << cause;
    tally t;
    for (const file_result& r : check_corpus(rows)) {
        EXPECT_EQ(r.problem, "") << r.file;
        t.add(r, exceptions);
    }
    for (const std::string& line : t.excepted) std::cout << "reviewed exception, " << line << "\n";
    for (const std::string& line : t.failures) ADD_FAILURE() << line;
    for (const auto& [key, cause] : exceptions)
        EXPECT_TRUE(t.exceptions_seen.count(key))
            << "listed exception no longer fails, remove it: " << key.first << "\t" << key.second;
    std::cout << t.summary() << "\n";
    EXPECT_GT(total(t.shown), 0);
}

}  // namespace
