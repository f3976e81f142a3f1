// The content step: each changed page's new content stream, its old content followed by one
// placement or fallback drawing per flattened annotation.
#include "emit/content_stream.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "base/append.h"
#include "draw/fallback.h"
#include "emit/object_writer.h"
#include "load/stream_data.h"
#include "load/values.h"
#include "scan/content_tokens.h"
#include "scan/frame.h"
#include "scan/keys.h"
#include "scan/reference.h"
#include "scan/token.h"
#include "scan/value.h"

namespace kestrin::emit {

namespace {

// Old content kept between the page step and the content step, at most: beyond it the content
// is decoded again when written, so that memory stays near the size of one page's content.
constexpr std::uint64_t max_held_blocks = std::uint64_t{64} << 20;

// Object numbers of the references of the array at pos ("["), appended to out in order.
void read_ref_array(std::string_view text, std::int32_t pos, std::vector<std::int32_t>& out)
{
    scan::read_reference_array(text, pos, std::numeric_limits<std::int32_t>::max(), out,
                               scan::on_inline_dictionary::read_on);
}

// A "Contents" reference names a stream, or an array object of streams.
void add_content_object(const load::doc& d, std::int32_t num, std::vector<std::int32_t>& pieces)
{
    const load::obj_entry* e = d.objs.find(num);
    if (e == nullptr) return;
    if (e->is_stream) {
        pieces.push_back(num);
        return;
    }
    const std::string_view body = load::object_body(d, *e);
    if (body.empty() || body.front() != '[') return;
    std::vector<std::int32_t> refs;
    read_ref_array(body, 0, refs);
    for (std::int32_t r : refs) {
        const load::obj_entry* piece = d.objs.find(r);
        if (piece != nullptr && piece->is_stream) pieces.push_back(r);
    }
}

// Stored data of a stream dictionary written inline at pos (files that do this are invalid; only
// unfiltered data is taken, since it is pasted as it stands).
std::string_view inline_stream_data(const load::doc& d, std::string_view text, std::int32_t pos)
{
    const std::int32_t kw = scan::dict_stream_kw(text, pos);
    if (kw < 0 || scan::find_key_anywhere(text, pos, kw, scan::key::filter) >= 0) return {};
    std::int32_t length = -1, ref = -1;
    scan::parse_length(text, pos, kw, length, ref);
    if (const load::obj_entry* e = ref > 0 ? d.objs.find(ref) : nullptr; e != nullptr && !e->is_stream) {
        std::int32_t at = 0;
        length = scan::parse_int_at(load::object_body(d, *e), at);
    }
    const std::int32_t n = scan::text_limit(text);
    std::int32_t start = kw + 6;
    if (scan::has_room(start, 2, n) && text.substr(static_cast<std::size_t>(start), 2) == "\r\n")
        start += 2;
    else
        start += 1;
    if (length < 0 || !scan::has_room(start, length, n)) return {};
    return text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(length));
}

// Blanks the old content's "Q" operators that restore nothing (positions after our "q\n"):
// viewers ignore them on the page, but inside our "q" they would pop it, and the drawings would
// inherit the page's transformations.
void blank_stray_restores(base::byte_buffer& content, const std::vector<std::int32_t>& stray_q)
{
    if (content.data == nullptr) return;
    for (std::int32_t pos : stray_q) content.data[static_cast<std::size_t>(pos) + 2] = ' ';
}

// The old content's pieces after our "q", joined by line feeds, into content (left empty when
// they hold nothing); false when some piece is in a form we do not decode.
bool append_old_pieces(writer& w, const old_content& old, base::byte_buffer& content)
{
    base::byte_buffer scratch;
    bool first = true;
    auto add = [&](std::string_view bytes) {
        if (bytes.empty()) return;
        content.append(first ? "q\n" : "\n");
        content.append(bytes);
        first = false;
    };
    for (std::int32_t num : old.pieces) {
        scratch.clear();
        const load::stream_content c = load::decoded_stream(w.doc, *w.doc.objs.find(num), scratch);
        note_failure(w, scratch);
        if (c.form == load::content_form::undecodable) return false;
        if (c.form == load::content_form::stored || c.form == load::content_form::decoded) add(c.bytes);
    }
    add(old.inline_data);
    return true;
}

// The old content ran inside our "q": what closes what it left open, then ours, so the drawings
// start from the page's default graphics state and are read as operators of their own.
std::string old_content_closing(const scan::content_ending& ending)
{
    std::string text = "\n";
    text.append(ending.closing);
    for (std::int32_t i = 0; i < ending.open_q; ++i) text.append("Q\n");
    return text.append("Q\n");
}

// The old content wrapped in our "q" and balanced, into content; false when some piece is in a
// form we do not decode.
bool append_old_content(writer& w, const old_content& old, base::byte_buffer& content)
{
    if (!append_old_pieces(w, old, content)) return false;
    if (content.len < 2) return true;
    const scan::content_ending ending = scan::read_content_ending(content.view().substr(2));
    blank_stray_restores(content, ending.stray_q);
    content.append(old_content_closing(ending));
    return true;
}

// Decodes the old content once: it decides whether the content stays by reference, and its block
// is kept for the content step while the writer holds less than max_held_blocks.
void settle_old_content(writer& w, old_content& old)
{
    base::byte_buffer block;
    old.by_reference = !append_old_content(w, old, block);
    note_failure(w, block);
    if (old.by_reference || block.failed || block.len > max_held_blocks - w.held_blocks) return;
    old.block.emplace(block.view());
    w.held_blocks += block.len;
}

// Compact output: the pieces stay in their streams when the page can name them as they are. A "Q"
// that restores nothing is blanked in the default output; here one more "q" of ours before the
// pieces absorbs it, which draws the same only when nothing but such "Q"s follows it: the state it
// restores is then never drawn with. Other pages are written as the default writes them.
void settle_old_content_in_place(writer& w, old_content& old)
{
    const bool named_as_they_are = old.inline_data.empty() &&
                                   std::none_of(old.pieces.begin(), old.pieces.end(),
                                                [&w](std::int32_t num) { return w.plan.is_dropped(num); });
    if (!named_as_they_are) return settle_old_content(w, old);
    base::byte_buffer joined;
    old.by_reference = !append_old_pieces(w, old, joined);
    note_failure(w, joined);
    if (old.by_reference) return;
    if (joined.len < 2) {
        old.in_place = true;
        return;
    }
    const std::string_view content = joined.view().substr(2);
    const scan::content_ending ending = scan::read_content_ending(content);
    if (!ending.stray_q.empty() && !scan::only_restores_from(content, ending.stray_q.front()))
        return settle_old_content(w, old);
    old.in_place = true;
    old.leading_q = 1 + static_cast<std::int32_t>(ending.stray_q.size());
    old.ending = old_content_closing(ending);
}

scan::box item_rect(const plan::plan_item& item) { return {item.x, item.y, item.w, item.h}; }

// The frame the XObject was written with; an XObject whose appearance is missing was not written,
// and is placed by the annotation's own rectangle.
appearance_frame frame_for(const writer& w, const plan::xobject_entry& x, const plan::plan_item& item)
{
    const auto index = static_cast<std::size_t>(&x - w.plan.xobjects.data());
    if (index < w.frames.size() && w.frames[index]) return *w.frames[index];
    appearance_frame f;
    f.bbox = {0, 0, item.w, item.h};
    return f;
}

void place_xobject(writer& w, base::byte_buffer& content, const plan::plan_item& item, const plan::xobject_entry& x,
                   const appearance_frame& f, const load::dict_span& annot, const page_names& names)
{
    const std::string name = names.xobject(x.obj);
    std::array<double, 6> m{};
    const std::string_view matrix =
        annot ? load::array_entry(w.doc, annot.text, annot.start, scan::key::matrix) : std::string_view();
    if (scan::array_numbers(matrix, 0, m) == 6) {
        base::append(content, "q ", base::fixed6(m[0]), ' ', base::fixed6(m[1]), ' ', base::fixed6(m[2]), ' ',
                     base::fixed6(m[3]), ' ', base::fixed6(m[4]), ' ', base::fixed6(m[5]), " cm /", name,
                     " Do Q\n");
        return;
    }
    const placement p = place_frame(f, item_rect(item));
    base::append(content, "q ", base::fixed6(p.sx), " 0 0 ", base::fixed6(p.sy), ' ', base::fixed6(p.tx), ' ',
                 base::fixed6(p.ty), " cm /", name, " Do Q\n");
}

void draw_item(writer& w, std::int32_t i, base::byte_buffer& content, const page_names& names)
{
    const plan::plan_item& item = w.plan.items[static_cast<std::size_t>(i)];
    if (item.hidden) return;
    const load::dict_span span = plan::annotation_dictionary(w.doc, item);
    if (!span) return;
    if (const plan::xobject_entry* x = w.plan.xobject_of(i))
        place_xobject(w, content, item, *x, frame_for(w, *x, item), span, names);
    else
        draw::draw_fallback(content, item, w.doc, span.text, span.start, {names.translucent_state, names.font});
}

void write_content(writer& w, std::int32_t page)
{
    const plan::page_plan& p = w.plan.pages[static_cast<std::size_t>(page)];
    const old_content& old = w.contents[static_cast<std::size_t>(page)];
    base::byte_buffer content;
    if (old.by_reference)
        content.append("\nQ\n");
    else if (old.in_place)
        content.append(old.ending);
    else if (old.block)
        content.append(*old.block);
    else
        append_old_content(w, old, content);
    // A page whose dictionary could not be rebuilt has no names chosen: its resources are the
    // input's, unchanged, and the usual names are as good as any.
    const page_names usual;
    const auto index = static_cast<std::size_t>(page);
    const page_names& names = index < w.names.size() ? w.names[index] : usual;
    const auto item_total = static_cast<std::int32_t>(w.plan.items.size());
    for (std::int32_t k = 0; k < p.item_count; ++k) {
        const std::int32_t i = p.first_item + k;
        if (i < 0 || i >= item_total) break;
        draw_item(w, i, content, names);
    }
    note_failure(w, content);
    begin_object(w, p.content_obj, 0);
    w.out.append("<<");
    end_new_stream(w, content.view());
}

}  // namespace

placement place_frame(const appearance_frame& f, const scan::box& rect)
{
    const auto& m = f.matrix;
    const scan::box& b = f.bbox;
    const double xs[2] = {b.x, b.x + b.w};
    const double ys[2] = {b.y, b.y + b.h};
    double x0 = INFINITY, y0 = INFINITY, x1 = -INFINITY, y1 = -INFINITY;
    for (double px : xs) {
        for (double py : ys) {
            const double tx = m[0] * px + m[2] * py + m[4];
            const double ty = m[1] * px + m[3] * py + m[5];
            x0 = std::min(x0, tx), x1 = std::max(x1, tx);
            y0 = std::min(y0, ty), y1 = std::max(y1, ty);
        }
    }
    // A matrix that flattens the box to a line shows nothing; the plain box keeps the scale finite.
    if (!(x1 - x0 > 0) || !(y1 - y0 > 0)) x0 = b.x, x1 = b.x + b.w, y0 = b.y, y1 = b.y + b.h;
    placement p;
    p.sx = rect.w / (x1 - x0);
    p.sy = rect.h / (y1 - y0);
    p.tx = rect.x - x0 * p.sx;
    p.ty = rect.y - y0 * p.sy;
    return p;
}

old_content collect_old_content(writer& w, const load::obj_entry& page)
{
    old_content old;
    const load::doc& d = w.doc;
    const load::dict_span span = d.span_of(page);
    if (!span) return old;
    const std::int32_t limit = scan::text_limit(span.text);
    const std::int32_t key = scan::find_top_level_key(span.text, span.start, limit, scan::key::contents);
    if (key < 0) return old;
    std::int32_t value = scan::value_start(span.text, key, scan::key::contents);
    if (value >= limit) return old;
    const char c = span.text[static_cast<std::size_t>(value)];
    if (scan::is_digit(static_cast<unsigned char>(c))) {
        const std::int32_t num = scan::parse_int_at(span.text, value);
        if (num > 0) add_content_object(d, num, old.pieces);
    } else if (c == '[') {
        std::vector<std::int32_t> refs;
        read_ref_array(span.text, value, refs);
        for (std::int32_t r : refs) {
            const load::obj_entry* e = d.objs.find(r);
            if (e != nullptr && e->is_stream) old.pieces.push_back(r);
        }
    } else if (c == '<') {
        old.inline_data = inline_stream_data(d, span.text, value);
    }
    if (w.compact)
        settle_old_content_in_place(w, old);
    else
        settle_old_content(w, old);
    return old;
}

void write_contents(writer& w)
{
    for (std::size_t page = 0; page < w.plan.pages.size(); ++page)
        if (w.plan.pages[page].needs_content) write_content(w, static_cast<std::int32_t>(page));
}

}  // namespace kestrin::emit
