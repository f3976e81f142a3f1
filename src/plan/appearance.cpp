#include "plan/appearance.h"

#include "scan/chars.h"
#include "scan/dictionary.h"
#include "scan/keys.h"
#include "scan/token.h"
#include "scan/value.h"

namespace kestrin::plan {

namespace {

bool is_digit_at(std::string_view text, std::int32_t pos)
{
    return pos >= 0 && pos < scan::text_limit(text) &&
           scan::is_digit(static_cast<unsigned char>(text[pos]));
}

// N of a reference value "N [G] R" at pos (R not followed by a letter or digit), or -1.
std::int32_t read_ref_value(std::string_view text, std::int32_t pos)
{
    const auto limit = scan::text_limit(text);
    if (!is_digit_at(text, pos)) return -1;
    const std::int32_t num = scan::parse_int_at(text, pos);
    if (pos >= limit) return -1;
    pos = scan::skip_ws(text, pos);
    if (is_digit_at(text, pos)) {
        scan::parse_int_at(text, pos);
        if (pos >= limit) return -1;
        pos = scan::skip_ws(text, pos);
    }
    if (pos >= limit || text[pos] != 'R') return -1;
    if (1 < limit - pos && scan::is_alnum(static_cast<unsigned char>(text[pos + 1]))) return -1;
    return num;
}

// A dictionary cut at its own closing ">>", so that no search runs on into the text around it.
struct dict_view {
    std::string_view text;  // ends with the dictionary's ">>"
    std::int32_t open = -1;
};

dict_view dictionary_at(std::string_view text, std::int32_t pos)
{
    pos = scan::skip_ws(text, pos < 0 ? 0 : pos);
    if (!scan::opens_dictionary(text, pos)) return {};
    const std::int32_t end = scan::skip_pdf_value(text, pos);
    if (end < 0) return {};
    return {text.substr(0, static_cast<std::size_t>(end)), pos};
}

// Position of the value of the dictionary's own key (not one inside a nested dictionary, where a
// state could carry the same name), or -1.
std::int32_t find_top_key(const dict_view& dict, std::string_view key)
{
    return scan::entry_value_at(dict.text, dict.open, key);
}

// num when it names a stream of the table: the writer must never name an object it does not write.
std::int32_t stream_or_none(const load::doc& d, std::int32_t num)
{
    if (num < 1) return -1;
    const load::obj_entry* e = d.objs.find(num);
    return e != nullptr && e->is_stream != 0 ? num : -1;
}

bool has_state(const std::optional<std::string>& state)
{
    return state.has_value() && !state->empty();
}

// The stream of the state in a dictionary of states; without a state, the first state listed. A
// state that the dictionary does not list has no appearance: drawing another state would show
// the annotation in a look it does not have.
std::int32_t pick_state(const load::doc& d, std::string_view text, std::int32_t start,
                        const std::optional<std::string>& state)
{
    const dict_view states = dictionary_at(text, start);
    if (states.open < 0) return -1;
    const std::int32_t num = has_state(state) ? ap_state_ref(states.text, states.open, *state)
                                              : first_ref_in(states.text, states.open);
    return stream_or_none(d, num);
}

// "N 12 0 R": a stream is the appearance for every state; a dictionary object lists the states.
std::int32_t pick_referenced_normal(const load::doc& d, std::string_view text, std::int32_t pos,
                                    const std::optional<std::string>& state)
{
    const std::int32_t num = read_ref_value(text, pos);
    if (num < 1) return -1;
    const load::obj_entry* e = d.objs.find(num);
    if (e == nullptr) return -1;
    if (e->is_stream != 0) return num;
    const load::dict_span span = d.span_of(*e);
    if (!span) return -1;
    return pick_state(d, span.text, span.start, state);
}

}  // namespace

std::optional<std::string> appearance_state(std::string_view text, std::int32_t start)
{
    if (auto state = scan::dict_name_value(text, start, scan::key::appearance_state)) return state;
    return scan::dict_name_value(text, start, scan::key::value);
}

std::int32_t ap_state_ref(std::string_view text, std::int32_t start, std::string_view name)
{
    return read_ref_value(text, scan::entry_value_at(text, start, name));
}

std::int32_t first_ref_in(std::string_view text, std::int32_t start)
{
    scan::dict_walk walk(text, start);
    while (walk.next())
        if (const std::int32_t num = read_ref_value(text, walk.value()); num >= 0) return num;
    return -1;
}

std::int32_t pick_ap_from_dict(const load::doc& d, std::string_view text, std::int32_t start,
                               const std::optional<std::string>& state)
{
    const dict_view ap = dictionary_at(text, start);
    if (ap.open < 0) return -1;
    const std::int32_t normal = find_top_key(ap, scan::key::normal_appearance);
    if (normal < 0) return -1;
    if (is_digit_at(ap.text, normal)) return pick_referenced_normal(d, ap.text, normal, state);
    if (scan::opens_dictionary(ap.text, normal)) return pick_state(d, ap.text, normal, state);
    return -1;
}

std::int32_t select_appearance(const load::doc& d, std::string_view text, std::int32_t start,
                               const std::optional<std::string>& state)
{
    return select_appearance_at(d, text, scan::entry_value_at(text, start, scan::key::appearance), state);
}

std::int32_t select_appearance_at(const load::doc& d, std::string_view text, std::int32_t pos,
                                  const std::optional<std::string>& state)
{
    if (pos < 0) return -1;
    if (scan::opens_dictionary(text, pos)) return pick_ap_from_dict(d, text, pos, state);
    if (!is_digit_at(text, pos)) return -1;
    const std::int32_t num = scan::parse_int_at(text, pos);
    if (num < 1) return -1;
    const load::obj_entry* e = d.objs.find(num);
    if (e == nullptr) return -1;
    const load::dict_span span = d.span_of(*e);
    if (!span) return -1;
    return pick_ap_from_dict(d, span.text, span.start, state);
}

}  // namespace kestrin::plan
