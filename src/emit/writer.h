// Internal state and steps of the output writer, shared by the files of fl_emit.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "emit/buf.h"
#include "emit/output_file.h"
#include "emit/records.h"
#include "emit/resources.h"
#include "load/doc.h"
#include "load/values.h"
#include "plan/plan.h"
#include "scan/value.h"

namespace kestrin::interface {
struct fl_ctx;
}

namespace kestrin::emit {

// The frame of an appearance: its box (BBox, else 0 0 w h of the annotation's rectangle, so that
// nothing is clipped) and its Matrix (identity when absent or unreadable).
struct appearance_frame {
    scan::box bbox;
    std::array<double, 6> matrix{1, 0, 0, 1, 0, 0};
};

// The old content of a changed page, as the page step found it.
struct old_content {
    std::vector<std::int32_t> pieces;  // stream objects of "Contents", in order
    std::string_view inline_data;      // stored data of a stream written inline in "Contents"
    // Some piece is in a form we do not decode: every piece stays referenced from the page.
    bool by_reference = false;
    // The old content as the new stream starts, kept from the page step so that it is decoded
    // once; absent when it is by reference or the writer holds too much already.
    std::optional<std::string> block;
};

// The object being written: once it is complete it is checked the way the loader will frame it.
struct open_object {
    bool open = false;
    std::uint64_t start = 0;      // index in out of its header
    std::uint64_t body = 0;       // index in out just past its header
    std::int64_t stream_kw = -1;  // index in out of its keyword "stream"; -1 for a plain object
    std::int32_t num = 0;
    std::int32_t gen = 0;
};

struct writer {
    explicit writer(interface::fl_ctx& c) : ctx(c) {}

    interface::fl_ctx& ctx;
    buf out;
    std::vector<std::int32_t> offsets;  // object number -> byte offset in out, -1 when unused
    std::unordered_map<std::int32_t, std::int32_t> plan_of_page;  // page object -> first plan
    std::vector<std::int32_t> xobj_item;     // xobjs index -> items index
    std::vector<std::int32_t> xobj_of_item;  // items index -> xobjs index placing it, or -1
    std::vector<std::optional<appearance_frame>> frames;  // xobjs index -> its frame once written
    std::vector<old_content> contents;                            // one per plan
    std::uint64_t held_blocks = 0;                                // bytes of their blocks
    pending_merges merges;  // entries for resources and category objects, until every page is done
    open_object current;
    std::int32_t q_obj = 0;  // shared stream "q\n" before undecodable old content; 0 when unused
    // Where finished objects go once out has grown past a few MiB; null when the output is built
    // whole and written at the end.
    piece_sink* sink = nullptr;
};

inline constexpr std::int32_t xobj_kind_appearance = 2;

// The XObject placing item i (the first made for its annotation on its page), or null.
const xobj_entry* xobj_of(const writer& w, std::int32_t item);

// Generation written for an input object: its own, within the range a cross-reference entry holds.
std::int32_t out_gen(const load::obj_entry& e);

// "N G R" for input object num (generation 0 when num is not in the table).
std::string ref_text(const load::doc& d, std::int32_t num);

// Finishes the object before (see seal_object), records the offset of object num and appends its
// line "N G obj\n".
void begin_object(writer& w, std::int32_t num, std::int32_t gen);

// Appends "\nstream\n" after the dictionary of the open object: its data follows, then
// "\nendstream\nendobj\n".
void begin_stream_data(writer& w);

// Checks the open object, complete now, as the loader will frame it in the output: it must take
// exactly the object written and keep what the loader read from the input: its page-tree type, a
// node's kids, the catalog's page tree. An object that fails is written again in a normalised
// form: every framing keyword disarmed, its dictionary closed, that meaning stated and its
// stream's length written directly first. This holds whatever text a damaged input brings; the
// checks are cheap for objects that need no change.
void seal_object(writer& w);

// How the loader frames an object written as text (header at 0, body from index body, keyword
// "stream" at stream_kw or -1, ending "\nendobj\n" or "\nendstream\nendobj\n"): true when it
// takes exactly that object, its stream data included, whatever is written around it.
bool frames_as_written(std::string_view text, std::int32_t body, std::int32_t stream_kw);

// Removes every "Length" of a stream dictionary: a reader takes the first it can read, so one
// left behind could override the length added after.
void strip_every_length(std::string& dict);

// Whether text holds bytes of a framing keyword ("obj" or "stream"): a cheap test before the
// exact ones.
bool may_hold_framing_keyword(std::string_view text);

// Whether text holds a framing keyword as a whole word, as the loader finds them.
bool holds_framing_keyword(std::string_view text);

// text with no framing keyword left: blanked out where they stand in the open (comments
// included), escaped inside literal strings.
std::string blank_framing_keywords(std::string_view text);

// Appends what closes the dictionaries text leaves open (and a string left open inside them).
void close_dictionaries(std::string& text);

// body, or a copy in scratch that closes the dictionary body opens and leaves open.
std::string_view closed_text(std::string_view body, std::string& scratch);

// Text of a dictionary or value as it may stand in an output object: when it holds keywords that
// frame objects ("N G obj", "endobj", "stream", "endstream"), a copy with them blanked out, or
// escaped inside strings so that no value changes. A damaged input can put such bytes anywhere.
std::string_view disarmed(std::string_view text, std::string& scratch);

// For a copy of an object the page tree counts (type an answer of scan::obj_type): when a reader
// would no longer find that type in text (a damaged dictionary that was rebuilt or cut), it is
// stated first.
void keep_type(std::string& text, int type);

// A failed scratch buffer means lost content: the whole output is then failed.
void note_failure(writer& w, const buf& scratch);

using load::array_entry;
using load::entry_value;
using load::object_body;

// Coordinates written to the output: non-finite becomes 0, magnitudes are cut to 1e9, so that
// every number has a short fixed notation and no formatted piece is cut.
double clamp_num(double v);

// Scale and translation mapping the frame's box, transformed by its matrix, onto the rectangle.
struct placement {
    double sx = 1, sy = 1, tx = 0, ty = 0;
};
placement place_frame(const appearance_frame& f, const scan::box& rect);

// Number of "q" operators that content leaves open (strings, comments and inline images skipped;
// a stray "Q" never takes the count below zero).
std::int32_t open_q_count(std::string_view content);

// Old content of page for its page step.
old_content collect_old_content(writer& w, const load::obj_entry& page);

// The three steps of the writer that make the flattening visible.
void build_page_texts(writer& w);
void write_xobjects(writer& w);
void write_contents(writer& w);

// Hands out's whole objects to the sink once out has grown past a few MiB.
void flush_output(writer& w);

// Runs main_part on this thread while the XObjects are built on a second one, then writes them
// after what main_part wrote, byte for byte as write_xobjects would. With few XObjects, or when
// no thread can be started, they are built here after main_part.
void write_xobjects_beside(writer& w, const std::function<void()>& main_part);

}  // namespace kestrin::emit
