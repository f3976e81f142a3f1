// The check of every finished object against the way the loader frames objects, and the
// normalised form of an object that fails it. The loader finds objects by scanning for their
// headers and keywords rather than through the cross-reference table, so a damaged input's text,
// copied to a new place, could frame differently there: each object is held to rules under which
// it frames the same wherever it stands. The text helpers keep copied text from framing: framing
// keywords blanked out, dictionaries closed, page-tree types kept.
#include "emit/object_check.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/append.h"
#include "base/number_format.h"
#include "emit/object_writer.h"
#include "load/pages.h"
#include "scan/frame.h"
#include "scan/keys.h"
#include "scan/search.h"
#include "scan/token.h"
#include "scan/value.h"

namespace kestrin::emit {

namespace {

// What the dictionary framing leaves open at the end of text: dictionaries, and the parentheses
// of an unterminated literal string. Counted as the framing counts them, which stops at the first
// close of the outermost dictionary (then nothing is open).
struct open_parts {
    std::int32_t dictionaries = 0;
    std::int32_t parentheses = 0;
    bool escape = false;  // the text ends inside a string on a lone backslash
};

open_parts open_in(std::string_view text)
{
    open_parts open;
    const auto n = static_cast<std::int32_t>(text.size());
    for (std::int32_t i = 0; i < n;) {
        const char c = text[static_cast<std::size_t>(i)];
        if (c == '(') {
            open.parentheses = 1;
            for (++i; i < n && open.parentheses > 0; ++i) {
                const char s = text[static_cast<std::size_t>(i)];
                if (s == '\\') {
                    open.escape = i + 1 == n;
                    ++i;
                } else if (s == '(') {
                    ++open.parentheses;
                } else if (s == ')') {
                    --open.parentheses;
                }
            }
            if (open.parentheses > 0) return open;
            continue;
        }
        const bool pair = (c == '<' || c == '>') && i + 1 < n && text[static_cast<std::size_t>(i + 1)] == c;
        if (!pair) {
            ++i;
            continue;
        }
        if (c == '>' && open.dictionaries == 1) return {};
        open.dictionaries += c == '<' ? 1 : -1;
        i += 2;
    }
    return open;
}

// Whether the bytes of word stand somewhere in text.
bool holds_bytes(std::string_view text, std::string_view word)
{
    const auto last = static_cast<std::int32_t>(text.size()) - static_cast<std::int32_t>(word.size());
    const scan::probes probes = scan::word_probes(word);
    for (std::int32_t p = scan::find_probes(text, 0, last, probes); p >= 0;
         p = scan::find_probes(text, p + 1, last, probes))
        if (scan::same_bytes(text.data() + p, word)) return true;
    return false;
}

constexpr std::string_view framing_keywords[] = {"endstream", "endobj", "stream", "obj"};

// Length of the framing keyword at pos, or 0.
std::int32_t framing_keyword_at(std::string_view text, std::int32_t pos)
{
    for (std::string_view kw : framing_keywords)
        if (scan::kw_at(text, pos, kw)) return static_cast<std::int32_t>(kw.size());
    return 0;
}

// The three octal digits of a byte, as a string escape writes them.
void append_octal(std::string& out, char c)
{
    const auto b = static_cast<unsigned char>(c);
    out += static_cast<char>('0' + (b >> 6));
    out += static_cast<char>('0' + ((b >> 3) & 7));
    out += static_cast<char>('0' + (b & 7));
}

// Copies the literal string [open, close] to out with every framing keyword in it broken by an
// octal escape of its first byte, which leaves the string's value unchanged.
void append_disarmed_string(std::string& out, std::string_view text, std::int32_t open, std::int32_t close)
{
    for (std::int32_t i = open; i <= close;) {
        const bool escaped = text[static_cast<std::size_t>(i)] == '\\' && i + 1 < close;
        const std::int32_t at = escaped ? i + 1 : i;
        if (escaped) out += '\\';
        const std::int32_t kw = at < close ? framing_keyword_at(text, at) : 0;
        if (kw > 0) {
            if (!escaped) out += '\\';
            append_octal(out, text[static_cast<std::size_t>(at)]);
            out.append(text.substr(static_cast<std::size_t>(at) + 1, static_cast<std::size_t>(kw) - 1));
            i = at + kw;
        } else {
            out += text[static_cast<std::size_t>(at)];
            i = at + 1;
        }
    }
}

}  // namespace

// The longer two keywords contain the shorter.
bool may_hold_framing_keyword(std::string_view text)
{
    return holds_bytes(text, "obj") || holds_bytes(text, "stream");
}

bool holds_framing_keyword(std::string_view text)
{
    if (!may_hold_framing_keyword(text)) return false;
    for (std::string_view kw : framing_keywords)
        if (scan::find_kw(text, 0, kw) >= 0) return true;
    return false;
}

// An unterminated string is no string to a reader of the file: its keywords are blanked too.
std::string blank_framing_keywords(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + 16);
    const auto n = static_cast<std::int32_t>(text.size());
    for (std::int32_t i = 0; i < n;) {
        if (text[static_cast<std::size_t>(i)] == '(') {
            const std::int32_t end = scan::skip_pdf_value(text, i);
            if (end > i) {
                append_disarmed_string(out, text, i, end - 1);
                i = end;
                continue;
            }
        }
        if (const std::int32_t kw = framing_keyword_at(text, i); kw > 0) {
            out.append(static_cast<std::size_t>(kw), ' ');
            i += kw;
            continue;
        }
        out += text[static_cast<std::size_t>(i++)];
    }
    return out;
}

void close_dictionaries(std::string& text)
{
    const open_parts open = open_in(text);
    if (open.dictionaries <= 0) return;
    // A space first: a lone "<" or ">" at the end must not pair with the closers.
    text += open.escape ? "  " : " ";
    text.append(static_cast<std::size_t>(open.parentheses), ')');
    for (std::int32_t k = 0; k < open.dictionaries; ++k) text += ">>";
}

// An object whose dictionary is not closed in its own text would, copied as it is, run on into the
// objects written after it and could take a later object's stream for its own.
std::string_view closed_text(std::string_view body, std::string& scratch)
{
    const std::int32_t first = scan::skip_ws(body, 0);
    if (!body.substr(static_cast<std::size_t>(first)).starts_with("<<")) return body;
    if (scan::find_dict_close(body, first, static_cast<std::int32_t>(body.size())) >= 0) return body;
    scratch.assign(body);
    close_dictionaries(scratch);
    return scratch;
}

void keep_type(std::string& text, int type)
{
    if (type == scan::type_other || scan::obj_type(text, 0) == type) return;
    const std::size_t open = text.find("<<");
    if (open != std::string::npos)
        text.insert(open + 2, type == scan::type_page_tree_node ? " /Type /Pages" : " /Type /Page");
}

std::string_view with_framing_keywords_blanked(std::string_view text, std::string& scratch)
{
    if (!may_hold_framing_keyword(text)) return text;
    scratch = blank_framing_keywords(text);
    return scratch;
}

void strip_every_length(std::string& dict)
{
    for (std::size_t before = 0; before != dict.size();) {
        before = dict.size();
        scan::strip_dict_entry(dict, scan::key::length);
    }
}

namespace {

constexpr std::string_view plain_ending = "\nendobj\n";
constexpr std::string_view stream_ending = "\nendstream\nendobj\n";
constexpr std::string_view stream_opening = "\nstream\n";
// Blanking blanks or escapes every keyword it finds; a second pass meets any that the first
// pass's blanks or escapes formed. Text that still holds one is written as null.
constexpr int blanking_passes = 2;
constexpr std::int32_t all_kids = std::numeric_limits<std::int32_t>::max();

std::int32_t size_of(std::string_view text) { return static_cast<std::int32_t>(text.size()); }

std::string_view range(std::string_view text, std::int32_t from, std::int32_t to)
{
    return text.substr(static_cast<std::size_t>(from), static_cast<std::size_t>(to - from));
}

// End of the part of an object that precedes its stream data or its "endobj" (its last newline
// included).
std::int32_t head_end(std::string_view text, std::int32_t stream_kw)
{
    return stream_kw >= 0 ? stream_kw : size_of(text) - size_of(plain_ending) + 1;
}

std::int32_t data_start_of(std::int32_t stream_kw) { return stream_kw + size_of(stream_opening) - 1; }

// What the loader read from an input object that its copy must still say: its page-tree type; for
// a node, its kids in order; for the catalog, that type even when it is type_other and then the
// page-tree root it names (-1 for none).
struct input_meaning {
    int type = scan::type_other;
    bool kids_held = false;  // false for a node whose kids the loader cannot walk anyway
    std::vector<std::int32_t> kids;
    bool catalog = false;
    std::int32_t pages = -1;
    std::string pages_ref;  // the reference to pages as written
};

input_meaning meaning_of(const load::doc& d, std::int32_t num)
{
    input_meaning m;
    if (num < 1 || num > d.max_obj) return m;
    const load::obj_entry* e = d.objs.find(num);
    if (e == nullptr) return m;
    const load::dict_span span = d.span_of(*e);
    m.type = span ? scan::obj_type(span.text, span.start) : scan::type_other;
    if (m.type == scan::type_page_tree_node)
        m.kids_held = load::parse_kids(d, *e, m.kids, load::kids_capacity(*e)) != -2;
    m.catalog = num == d.root;
    if (!m.catalog || m.type != scan::type_other) return m;
    m.pages = load::pages_entry(d, *e);
    if (m.pages > 0) m.pages_ref = ref_text(d, m.pages);
    return m;
}

// The page-tree type the loader will read from the object written as text.
int written_type(std::string_view text, std::int32_t body, std::int32_t stream_kw)
{
    const std::int32_t dict = scan::skip_ws(text, body);
    if (!scan::opens_dictionary(text, dict)) return scan::type_other;
    return scan::obj_type(text.substr(0, static_cast<std::size_t>(head_end(text, stream_kw))), dict);
}

// The page-tree root the loader will read from the object written as text, were it the catalog:
// the first "/Pages" with a number between its dictionary and its "endobj".
std::int32_t written_pages(std::string_view text, std::int32_t body)
{
    const std::int32_t dict = scan::skip_ws(text, body);
    if (!scan::opens_dictionary(text, dict)) return -1;
    const std::int32_t endobj = size_of(text) - size_of(plain_ending) + 1;
    return load::pages_number_in(range(text, 0, std::max(dict, endobj)), dict);
}

// The kids the loader will read from text from start on, were text an object that long; an array
// it cannot walk reads as none.
std::vector<std::int32_t> kids_read(std::string_view text, std::int32_t start, std::int64_t object_length,
                                    bool& walkable)
{
    std::vector<std::int32_t> kids;
    walkable = load::kids_in(text, start, kids, load::kids_capacity_for(object_length)) != -2;
    return kids;
}

// True when the loader will read the kids of the object written as text as m holds them.
bool keeps_kids(std::string_view text, std::int32_t body, std::int32_t stream_kw,
                const input_meaning& m)
{
    const std::int32_t dict = scan::skip_ws(text, body);
    if (!scan::opens_dictionary(text, dict)) return false;
    bool walkable = false;
    const std::int32_t endobj = size_of(text) - size_of(scan::keyword::endobj) - 1;
    const std::vector<std::int32_t> kids =
        kids_read(range(text, 0, head_end(text, stream_kw)), dict, endobj, walkable);
    return walkable && kids == m.kids;
}

bool keeps_meaning(std::string_view text, std::int32_t body, std::int32_t stream_kw,
                   const input_meaning& m)
{
    if ((m.type != scan::type_other || m.catalog) && written_type(text, body, stream_kw) != m.type)
        return false;
    if (m.kids_held && !keeps_kids(text, body, stream_kw, m)) return false;
    return !m.catalog || m.type != scan::type_other || written_pages(text, body) == m.pages;
}

// True when the written object frames as written and says what the loader read from the input.
bool written_soundly(std::string_view text, std::int32_t body, std::int32_t stream_kw,
                     const input_meaning& m)
{
    return keeps_meaning(text, body, stream_kw, m) && frames_as_written(text, body, stream_kw);
}

// " /Kids [...]" listing kids as the output refers to them.
std::string kids_entry(const load::doc& d, const std::vector<std::int32_t>& kids)
{
    std::string entry = " /Kids [";
    for (std::size_t i = 0; i < kids.size(); ++i) {
        if (i > 0) entry += ' ';
        entry += ref_text(d, kids[i]);
    }
    return entry + "]";
}

void insert_first(std::string& text, const std::string& entry)
{
    const std::size_t open = text.find("<<");
    if (open != std::string::npos) text.insert(open + 2, entry);
}

// States the type, a node's kids and the catalog's page-tree root first in a rebuilt dictionary
// where a reader would no longer find them.
void keep_meaning(std::string& text, const input_meaning& m, const load::doc& d)
{
    keep_type(text, m.type);
    bool walkable = false;
    if (m.kids_held && (kids_read(text, 0, all_kids, walkable) != m.kids || !walkable))
        insert_first(text, kids_entry(d, m.kids));
    if (m.pages > 0 && load::pages_number_in(text, 0) != m.pages) insert_first(text, " /Pages " + m.pages_ref);
}

// text without any framing keyword, or nothing when disarming does not get there.
std::optional<std::string> fully_with_framing_keywords_blanked(std::string_view text)
{
    std::string out(text);
    for (int pass = 0; pass < blanking_passes && holds_framing_keyword(out); ++pass)
        out = blank_framing_keywords(out);
    if (holds_framing_keyword(out)) return std::nullopt;
    return out;
}

// The text up to the end of the first dictionary, when text opens one and it closes.
std::string first_dictionary(const std::string& text)
{
    const std::int32_t open = scan::skip_ws(text, 0);
    if (!scan::opens_dictionary(text, open)) return text;
    const std::int32_t close = scan::find_dict_close(text, open, size_of(text));
    return close < 0 ? text : text.substr(0, static_cast<std::size_t>(close) + 2);
}

// The dictionary written when even the normalised form fails: it says just what the loader read
// from the input, so that pages and the page tree are still found.
std::string bare_dictionary(const input_meaning& m, const load::doc& d)
{
    if (m.type == scan::type_page) return "<< /Type /Page >>";
    if (m.type == scan::type_page_tree_node) return "<< /Type /Pages" + kids_entry(d, m.kids) + " >>";
    if (!m.catalog) return "<< >>";
    return m.pages > 0 ? "<< /Type /Catalog /Pages " + m.pages_ref + " >>" : "<< /Type /Catalog >>";
}

bool has_meaning(const input_meaning& m) { return m.type != scan::type_other || m.catalog; }

// The body of a plain object in normalised form: keywords disarmed, dictionary closed, meaning
// kept. A catalog keeps its first dictionary only: text after it could give it a page type.
// A body that opened no dictionary must not come to open one when a keyword before a "<<" is
// blanked: a leading null keeps it what it was.
std::string normalised_body(std::string_view body, const input_meaning& m, const load::doc& d)
{
    std::optional<std::string> text = fully_with_framing_keywords_blanked(body);
    if (!text) return "null";
    std::string closed;
    std::string out(closed_text(*text, closed));
    if (m.catalog) out = first_dictionary(out);
    keep_meaning(out, m, d);
    const bool was_dictionary = scan::opens_dictionary(body, scan::skip_ws(body, 0));
    if (!was_dictionary && scan::opens_dictionary(out, scan::skip_ws(out, 0))) out.insert(0, "null ");
    return out;
}

void state_length_first(std::string& dict, std::int32_t data_len)
{
    dict.insert(2, base::bounded_text(" /Length ", data_len).view());
}

// The dictionary of a stream in normalised form: its first dictionary, closed, with keywords
// disarmed, its meaning kept and every "Length" replaced by the measured one, written first.
std::string normalised_stream_dictionary(std::string_view head, const input_meaning& m,
                                         const load::doc& d, std::int32_t data_len)
{
    std::optional<std::string> text = fully_with_framing_keywords_blanked(head);
    std::string dict = "<< >>";
    if (text) {
        const std::int32_t open = scan::skip_ws(*text, 0);
        if (scan::opens_dictionary(*text, open)) {
            std::string closed;
            const std::string_view from_open(closed_text(range(*text, open, size_of(*text)), closed));
            const std::int32_t close = scan::find_dict_close(from_open, 0, size_of(from_open));
            if (close >= 0) dict.assign(from_open.substr(0, static_cast<std::size_t>(close) + 2));
        }
    }
    strip_every_length(dict);
    keep_meaning(dict, m, d);
    state_length_first(dict, data_len);
    return dict;
}

std::string_view open_text(const writer& w)
{
    const std::uint64_t start = w.current.start;
    return {w.out.data.get() + start, static_cast<std::size_t>(w.out.len - start)};
}

std::int32_t open_stream_kw(const writer& w)
{
    return w.current.stream_kw < 0 ? -1 : static_cast<std::int32_t>(w.current.stream_kw - static_cast<std::int64_t>(w.current.start));
}

// Writes the open object again from its header: body, then data when it is a stream.
void rewrite_open(writer& w, std::string_view body, const std::string* data)
{
    w.out.len = w.current.start;
    char room[base::obj_header_room];
    w.out.append(base::obj_header(room, w.current.num, w.current.gen));
    w.out.append(body);
    if (data == nullptr) {
        w.out.append(plain_ending);
        return;
    }
    w.current.stream_kw = static_cast<std::int64_t>(w.out.len) + 1;
    w.out.append(stream_opening);
    w.out.append(*data);
    w.out.append(stream_ending);
}

void normalise_open(writer& w, const input_meaning& m)
{
    const load::doc& d = w.doc;
    const std::string text(open_text(w));
    const auto body = static_cast<std::int32_t>(w.current.body - w.current.start);
    const std::int32_t stream_kw = open_stream_kw(w);
    // A plain object's head without the newline its ending starts with.
    const std::int32_t end = std::max(body, head_end(text, stream_kw) - (stream_kw < 0 ? 1 : 0));
    const std::string_view head = range(text, body, end);
    if (stream_kw < 0) {
        const std::string normal = normalised_body(head, m, d);
        rewrite_open(w, normal, nullptr);
        if (!written_soundly(open_text(w), body, -1, m))
            rewrite_open(w, has_meaning(m) ? bare_dictionary(m, d) : "null", nullptr);
        return;
    }
    const std::int32_t data_start = data_start_of(stream_kw);
    const std::string data(range(text, data_start, std::max(data_start, size_of(text) - size_of(stream_ending))));
    const auto data_len = static_cast<std::int32_t>(data.size());
    rewrite_open(w, normalised_stream_dictionary(head, m, d, data_len), &data);
    if (written_soundly(open_text(w), body, open_stream_kw(w), m)) return;
    std::string dict = bare_dictionary(m, d);
    state_length_first(dict, data_len);
    rewrite_open(w, dict, &data);
}

}  // namespace

bool frames_as_written(std::string_view text, std::int32_t body, std::int32_t stream_kw)
{
    const bool stream = stream_kw >= 0;
    if (!text.ends_with(stream ? stream_ending : plain_ending)) return false;
    const std::int32_t end = head_end(text, stream_kw);
    if (body < 0 || end < body) return false;
    // An "obj" could make a header, or stop a long dictionary walk of the loader; an "endobj"
    // would end a plain object early. "stream" counts only right after the dictionary, and
    // "endstream" not at all once the length is direct.
    const std::string_view head = range(text, body, end);
    if (scan::find_kw(head, 0, scan::keyword::obj) >= 0 || (!stream && scan::find_kw(head, 0, scan::keyword::endobj) >= 0))
        return false;
    const std::int32_t dict = scan::skip_ws(text, body);
    if (!scan::opens_dictionary(text, dict)) return !stream;
    // Closed before the end of its head, the dictionary closes there in any surroundings.
    const std::int32_t close = scan::find_dict_close(text, dict, end);
    if (close < 0) return false;
    const std::int32_t after = scan::skip_ws(text, close + 2);
    if (!stream) return !scan::kw_at(text, after, scan::keyword::stream);
    if (after != stream_kw || !scan::kw_at(text, stream_kw, scan::keyword::stream)) return false;
    if (range(text, stream_kw - 1, data_start_of(stream_kw)) != stream_opening) return false;
    // A direct length is the only kind read the same in any surroundings.
    std::int32_t direct = -1, ref = -1;
    scan::parse_length(text, dict, stream_kw, direct, ref);
    return direct == size_of(text) - size_of(stream_ending) - data_start_of(stream_kw);
}

void check_open_object(writer& w)
{
    if (!w.current.open) return;
    w.current.open = false;
    if (w.out.failed || !w.out.data) return;
    const std::string_view text = open_text(w);
    const auto body = static_cast<std::int32_t>(w.current.body - w.current.start);
    const std::int32_t stream_kw = open_stream_kw(w);
    const input_meaning m = meaning_of(w.doc, w.current.num);
    if (written_soundly(text, body, stream_kw, m)) return;
    normalise_open(w, m);
}

}  // namespace kestrin::emit
