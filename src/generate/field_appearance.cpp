#include "generate/field_appearance.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <string_view>
#include <unordered_map>

#include "base/byte_buffer.h"
#include "base/two_threads.h"
#include "generate/button_appearance.h"
#include "generate/composite_font.h"
#include "generate/default_appearance.h"
#include "generate/encodings.h"
#include "generate/list_box.h"
#include "generate/standard_fonts.h"
#include "generate/text_layout.h"
#include "generate/text_string.h"
#include "generate/widget_frame.h"
#include "load/stream_data.h"
#include "load/values.h"
#include "scan/chars.h"
#include "scan/dictionary.h"
#include "scan/keys.h"
#include "scan/strings.h"
#include "scan/token.h"
#include "scan/value.h"

namespace kestrin::generate {

namespace {

// Parents followed per widget: real field trees are shallow, and this ends parent loops.
constexpr std::int32_t max_parent_steps = 31;
// Default resource dictionaries searched for the font: the field chain's, then the form's.
constexpr std::size_t max_resource_dicts = max_parent_steps + 2;
constexpr std::int32_t multiline_flag = 1 << 12;  // Ff bit 13
constexpr std::int32_t password_flag = 1 << 13;   // Ff bit 14
constexpr std::int32_t radio_flag = 1 << 15;      // Ff bit 16
constexpr std::int32_t combo_flag = 1 << 17;      // Ff bit 18
constexpr std::int32_t comb_flag = 1 << 24;       // Ff bit 25
constexpr std::string_view helvetica = "Helvetica";
// Bounds on what a damaged file may claim: a glyph width (thousandths of an em) and a border width.
constexpr double widest_glyph = 10000;
constexpr double widest_border = 100;
constexpr std::string_view fallback_font_name = "Helv";
// Captions of check boxes and radio buttons are drawn in the standard ZapfDingbats.
constexpr std::string_view caption_font_name = "ZaDb";
constexpr std::string_view caption_font_value = "<< /Type /Font /Subtype /Type1 /BaseFont /ZapfDingbats >>";
// List entries read from a damaged file: rows and selected indices beyond these are not shown.
constexpr std::size_t most_list_rows = 10000;
constexpr std::size_t most_selected = 10000;

// A dictionary's text from its "<<" (or empty).
struct dict_text {
    std::string_view text;
    std::int32_t start = -1;
    explicit operator bool() const { return start >= 0; }
};

dict_text as_dictionary(std::string_view value)
{
    return scan::opens_dictionary(value, 0) ? dict_text{value, 0} : dict_text{};
}

// The value text of a top-level key (a reference left as it is), or empty.
std::string_view own_value(const dict_text& dict, std::string_view key)
{
    if (!dict) return {};
    return load::value_text_at(dict.text, scan::entry_value_at(dict.text, dict.start, key));
}

// A dictionary value, following a reference.
dict_text resolved_dictionary(const load::doc& d, std::string_view value)
{
    return as_dictionary(load::resolved_value(d, value));
}

std::optional<double> number_of(const load::doc& d, std::string_view value)
{
    const std::string_view v = load::resolved_value(d, value);
    std::int32_t pos = 0;
    return scan::read_real(v, pos);
}

std::optional<std::string> name_of(const load::doc& d, std::string_view value)
{
    return scan::name_at(load::resolved_value(d, value), 0);
}

// The bytes of a string value (literal or hex), or of a text stream; nullopt for anything else.
std::optional<std::string> string_bytes(const load::doc& d, std::string_view value)
{
    if (const load::obj_entry* e = load::referenced_object(d, value); e != nullptr && e->is_stream) {
        base::byte_buffer scratch;
        const load::stream_content c = load::decoded_stream(d, *e, scratch);
        if (c.form != load::content_form::stored && c.form != load::content_form::decoded) return std::nullopt;
        return std::string(c.bytes);
    }
    const std::string_view v = load::resolved_value(d, value);
    if (v.empty()) return std::nullopt;
    if (v.front() == '(') return scan::read_literal_string(v, 0);
    if (v.front() == '<' && !scan::opens_dictionary(v, 0)) return scan::read_hex_string(v, 0);
    return std::nullopt;
}

// The field's entries, each from the nearest dictionary up the "Parent" chain that has it.
struct field_inputs {
    std::string_view field_type, field_flags, value, da, quadding, max_len, options, top_index, selected_indices;
    std::vector<dict_text> resources;  // "DR" of the chain, nearest first
};

field_inputs read_field_inputs(const load::doc& d, dict_text node)
{
    field_inputs in;
    const std::pair<std::string_view, std::string_view*> inherited[] = {
        {scan::key::field_type, &in.field_type}, {scan::key::field_flags, &in.field_flags},
        {scan::key::value, &in.value},           {scan::key::default_appearance, &in.da},
        {scan::key::quadding, &in.quadding},     {scan::key::max_len, &in.max_len},
        {scan::key::options, &in.options},       {scan::key::top_index, &in.top_index},
        {scan::key::selected_indices, &in.selected_indices},
    };
    for (std::int32_t steps = 0; node && steps <= max_parent_steps; ++steps) {
        std::string_view parent;
        scan::dict_walk walk(node.text, node.start);
        while (walk.next()) {
            const std::string_view raw = walk.raw_key();
            if (scan::name_equals(raw, scan::key::parent)) parent = load::value_text_at(node.text, walk.value());
            if (scan::name_equals(raw, scan::key::default_resources)) {
                if (const dict_text dr = resolved_dictionary(d, load::value_text_at(node.text, walk.value())))
                    in.resources.push_back(dr);
            }
            for (const auto& [key, found] : inherited)
                if (found->empty() && scan::name_equals(raw, key)) *found = load::value_text_at(node.text, walk.value());
        }
        const load::obj_entry* e = load::referenced_object(d, parent);
        if (e == nullptr) break;
        const load::dict_span span = d.span_of(*e);
        node = span ? dict_text{span.text, span.start} : dict_text{};
    }
    return in;
}

// The form dictionary, cut at its end so that no key beyond it is read.
dict_text form_dictionary(const plan::flatten_plan& plan)
{
    if (!plan.form) return {};
    const std::string_view text = plan::form_dict_text(*plan.form);
    const std::int32_t end = scan::skip_pdf_value(text, plan.form->form_start);
    if (end <= plan.form->form_start) return {};
    return {scan::cut_at(text, end), plan.form->form_start};
}

// The numbers of an array value (following a reference), at most limit of them.
std::vector<double> numbers_of(const load::doc& d, std::string_view value, std::size_t limit)
{
    std::vector<double> out(limit);
    const std::int32_t n = scan::array_numbers(load::resolved_value(d, value), 0, out);
    out.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return out;
}

// MK's background and border colours (none when MK or the entry is absent).
widget_colours colours_of(const load::doc& d, const dict_text& mk)
{
    constexpr std::size_t most_components = 4;
    if (!mk) return {};
    const auto colour_at = [&](std::string_view key) -> std::optional<colour> {
        const std::string_view value = own_value(mk, key);
        if (value.empty()) return std::nullopt;
        const std::vector<double> c = numbers_of(d, value, most_components + 1);
        return colour_from_components(c);
    };
    return {colour_at(scan::key::background_colour), colour_at(scan::key::border_colour)};
}

// The border's width ("W" of "BS", else the third number of "Border", else 1) and its style
// ("S" and "D" of "BS"; solid without one).
border border_of(const load::doc& d, const dict_text& widget)
{
    constexpr std::size_t most_dashes = 16;
    border b;
    const dict_text bs = resolved_dictionary(d, own_value(widget, scan::key::border_style));
    if (!bs) {
        std::array<double, 3> numbers{};
        const std::string_view a = load::array_entry(d, widget.text, widget.start, scan::key::border);
        if (scan::array_numbers(a, 0, numbers) == 3) b.width = std::clamp(numbers[2], 0.0, widest_border);
        return b;
    }
    if (const auto w = number_of(d, own_value(bs, scan::key::width))) b.width = std::clamp(*w, 0.0, widest_border);
    if (const auto style = name_of(d, own_value(bs, scan::key::border_style_name))) b.style = border_style_named(*style);
    const std::string_view dash = own_value(bs, scan::key::dash_pattern);
    if (!dash.empty()) b.dash = numbers_of(d, dash, most_dashes);
    return b;
}

// A Differences array: codes and glyph names after them.
std::vector<difference> read_differences(const load::doc& d, std::string_view value)
{
    std::vector<difference> out;
    const std::string_view list = load::resolved_value(d, value);
    if (list.empty() || list.front() != '[') return out;
    const std::int32_t limit = scan::text_limit(list);
    std::int32_t code = -1;
    for (std::int32_t pos = scan::skip_ws_and_comments(list, 1); pos < limit && list[static_cast<std::size_t>(pos)] != ']';
         pos = scan::skip_ws_and_comments(list, pos)) {
        if (list[static_cast<std::size_t>(pos)] == '/') {
            std::int32_t end = pos;
            std::string glyph = scan::read_name(list, pos, end);
            if (end <= pos) break;
            pos = end;
            if (code >= 0 && code <= 255) out.push_back({static_cast<std::uint8_t>(code), std::move(glyph)});
            if (code >= 0) ++code;
            continue;
        }
        const std::int32_t before = pos;
        const auto number = scan::read_real(list, pos);
        if (pos == before) break;
        code = number ? static_cast<std::int32_t>(std::clamp(*number, -1.0, 256.0)) : -1;
    }
    return out;
}

bool is_symbolic(const font_metrics& metrics)
{
    const std::string_view name = metrics.name;
    return name == "Symbol" || name == "ZapfDingbats";
}

base_encoding builtin_encoding(const font_metrics& metrics)
{
    const std::string_view name = metrics.name;
    if (name == "Symbol") return base_encoding::symbol;
    if (name == "ZapfDingbats") return base_encoding::zapf_dingbats;
    return base_encoding::win_ansi;
}

// The encoding of a simple font: a name, or a dictionary with BaseEncoding and Differences.
encoding font_encoding(const load::doc& d, const dict_text& font, const font_metrics& metrics)
{
    const base_encoding fallback = is_symbolic(metrics) ? builtin_encoding(metrics) : base_encoding::win_ansi;
    const std::string_view value = own_value(font, scan::key::encoding);
    if (const auto name = name_of(d, value)) return encoding(encoding_named(*name).value_or(fallback));
    const dict_text dict = resolved_dictionary(d, value);
    if (!dict) return encoding(fallback);
    const auto base_name = name_of(d, own_value(dict, scan::key::base_encoding));
    const base_encoding base = base_name ? encoding_named(*base_name).value_or(fallback) : fallback;
    return encoding(base, read_differences(d, own_value(dict, scan::key::differences)));
}

// The font the value is drawn in, with what measuring and encoding it need: a simple font's
// metrics, encoding and widths, or a composite font.
struct chosen_font {
    std::string name;
    std::string value;  // empty: the output's Helvetica
    const font_metrics* metrics = nullptr;
    encoding text_encoding{base_encoding::win_ansi};
    std::array<double, 256> widths{};
    const composite_font* composite = nullptr;  // owned by the call's composite_font_cache
};

// The fonts one call (or one half of it) has read: composite fonts, and the measures of simple
// fonts by their value (empty for the standard Helvetica), which cost a glyph lookup per code.
struct font_cache {
    composite_font_cache composites;
    std::unordered_map<std::string, chosen_font> simple;
};

void fill_widths(chosen_font& font)
{
    for (std::size_t code = 0; code < font.widths.size(); ++code) {
        const std::string_view glyph = font.text_encoding.glyph_name(static_cast<std::uint8_t>(code));
        font.widths[code] = glyph.empty() ? 0 : static_cast<double>(glyph_width(*font.metrics, glyph).value_or(0));
    }
}

// "Widths" from "FirstChar" on replace the standard metrics' widths.
void apply_font_widths(const load::doc& d, const dict_text& font_dict, chosen_font& font)
{
    const auto first = number_of(d, own_value(font_dict, scan::key::first_char));
    const std::string_view list = load::array_entry(d, font_dict.text, font_dict.start, scan::key::widths);
    if (!first || list.empty() || *first < 0 || *first > 255) return;
    std::array<double, 256> widths{};
    const std::int32_t count = scan::array_numbers(list, 0, widths);
    const auto from = static_cast<std::size_t>(*first);
    for (std::int32_t k = 0; k < count && from + static_cast<std::size_t>(k) < font.widths.size(); ++k)
        font.widths[from + static_cast<std::size_t>(k)] = std::clamp(widths[static_cast<std::size_t>(k)], 0.0, widest_glyph);
}

// The font's value in the first default resources naming it: a reference to an object the output
// keeps, or a dictionary written in place.
std::string_view find_font_value(const load::doc& d, const plan::flatten_plan& plan,
                                 const std::vector<dict_text>& resources, std::string_view name)
{
    for (const dict_text& dr : resources) {
        const dict_text fonts = resolved_dictionary(d, own_value(dr, scan::key::font));
        if (!fonts) continue;
        const std::string_view value = load::value_text_at(fonts.text, scan::entry_value_at(fonts.text, fonts.start, name));
        if (value.empty()) continue;
        if (const load::obj_entry* e = load::referenced_object(d, value); e != nullptr && plan.is_dropped(e->num))
            continue;
        if (resolved_dictionary(d, value)) return value;
    }
    return {};
}

// The metrics, encoding and widths of the simple font dict, or of the standard Helvetica for none.
void measure_simple_font(const load::doc& d, const dict_text& dict, chosen_font& font)
{
    if (!dict) {
        fill_widths(font);
        return;
    }
    if (const auto base = name_of(d, own_value(dict, scan::key::base_font))) {
        if (const font_metrics* m = find_standard_font(*base)) font.metrics = m;
    }
    font.text_encoding = font_encoding(d, dict, *font.metrics);
    fill_widths(font);
    apply_font_widths(d, dict, font);
}

// True when the standard Helvetica shows more of text than the composite font does: the composite
// fonts of real forms are mostly subsets, holding only the glyphs of the text they were made for.
bool helvetica_shows_more(const composite_font& font, std::u32string_view text)
{
    const encoding win_ansi(base_encoding::win_ansi);
    std::int64_t more = 0;
    for (char32_t c : text) more += (win_ansi.code_of(c) ? 1 : 0) - (font.code_of(c) ? 1 : 0);
    return more > 0;
}

// The font named by the form, or the standard Helvetica when the DA names none, the form lacks it,
// or it is a composite font whose codes cannot be found (see read_composite_font) or that shows
// less of text than Helvetica.
chosen_font choose_font(const load::doc& d, const plan::flatten_plan& plan, const std::vector<dict_text>& resources,
                        const default_appearance& da, std::u32string_view text, font_cache& fonts)
{
    chosen_font font;
    font.name = da.font_name.empty() ? std::string(fallback_font_name) : da.font_name;
    font.metrics = find_standard_font(helvetica);
    const std::string_view value = da.font_name.empty() ? std::string_view() : find_font_value(d, plan, resources, da.font_name);
    const dict_text dict = resolved_dictionary(d, value);
    const bool composite = dict && scan::name_value_is(dict.text, scan::entry_value_at(dict.text, dict.start, scan::key::subtype),
                                                       scan::name::composite_font);
    if (composite) font.composite = fonts.composites.find(d, dict.text.substr(static_cast<std::size_t>(dict.start)));
    if (font.composite && helvetica_shows_more(*font.composite, text)) font.composite = nullptr;
    const bool helvetica = !dict || (composite && !font.composite);
    if (!helvetica) font.value = std::string(value);
    if (font.composite) return font;
    const auto [cached, fresh] = fonts.simple.try_emplace(font.value);
    if (fresh) {
        measure_simple_font(d, helvetica ? dict_text{} : dict, font);
        cached->second = font;
    }
    chosen_font measured = cached->second;
    measured.name = std::move(font.name);
    return measured;
}

std::int32_t integer_of(const load::doc& d, std::string_view value)
{
    const auto n = number_of(d, value);
    return n && *n >= 0 && *n < 2147483647.0 ? static_cast<std::int32_t>(*n) : 0;
}

text_field_flags text_flags(std::int32_t ff, std::int32_t max_len, bool combo_box)
{
    text_field_flags flags;
    if (combo_box) return flags;
    flags.multiline = (ff & multiline_flag) != 0;
    flags.password = (ff & password_flag) != 0;
    flags.comb = (ff & comb_flag) != 0;
    flags.max_len = max_len;
    return flags;
}

// The form's entries that fields fall back to, read once for all widgets: the form dictionary
// holds the whole "Fields" list, so walking it per widget would cost time in its size.
struct form_defaults {
    std::string_view da, quadding;
    dict_text resources;
};

form_defaults read_form_defaults(const load::doc& d, const plan::flatten_plan& plan)
{
    form_defaults out;
    const dict_text form = form_dictionary(plan);
    if (!form) return out;
    scan::dict_walk walk(form.text, form.start);
    while (walk.next()) {
        const std::string_view raw = walk.raw_key();
        const std::string_view value = load::value_text_at(form.text, walk.value());
        if (out.da.empty() && scan::name_equals(raw, scan::key::default_appearance)) out.da = value;
        if (out.quadding.empty() && scan::name_equals(raw, scan::key::quadding)) out.quadding = value;
        if (!out.resources && scan::name_equals(raw, scan::key::default_resources))
            out.resources = resolved_dictionary(d, value);
    }
    return out;
}

// The entries of an array value (following a reference), each as its own value text, at most limit.
std::vector<std::string_view> array_items(const load::doc& d, std::string_view value, std::size_t limit)
{
    std::vector<std::string_view> items;
    const std::string_view list = load::resolved_value(d, value);
    if (list.empty() || list.front() != '[') return items;
    const std::int32_t end = scan::text_limit(list);
    for (std::int32_t pos = scan::skip_ws_and_comments(list, 1);
         pos < end && list[static_cast<std::size_t>(pos)] != ']' && items.size() < limit;
         pos = scan::skip_ws_and_comments(list, pos)) {
        const std::string_view item = load::value_text_at(list, pos);
        if (item.empty()) break;
        items.push_back(item);
        pos += static_cast<std::int32_t>(item.size());
    }
    return items;
}

// A list box's rows: each Opt entry a string, or a pair of export value and display text.
std::vector<list_option> list_options(const load::doc& d, std::string_view options)
{
    std::vector<list_option> rows;
    for (std::string_view entry : array_items(d, options, most_list_rows)) {
        if (std::optional<std::string> text = string_bytes(d, entry)) {
            std::u32string shown = decode_text_string(*text);
            rows.push_back({shown, shown});
            continue;
        }
        const std::vector<std::string_view> pair = array_items(d, entry, 2);
        if (pair.empty()) continue;
        const std::optional<std::string> export_value = string_bytes(d, pair[0]);
        if (!export_value) continue;
        std::u32string exported = decode_text_string(*export_value);
        std::u32string display = exported;
        if (pair.size() == 2) {
            const std::optional<std::string> shown = string_bytes(d, pair[1]);
            if (!shown) continue;
            display = decode_text_string(*shown);
        }
        rows.push_back({std::move(exported), std::move(display)});
    }
    return rows;
}

// The text a widget shows: the value as text, a combo box's as the display string "Opt" pairs
// with it.
std::u32string shown_text(const load::doc& d, const field_inputs& in, bool combo_box)
{
    const std::optional<std::string> bytes = string_bytes(d, in.value);
    if (!bytes) return {};
    std::u32string value = decode_text_string(*bytes);
    if (!combo_box) return value;
    for (list_option& option : list_options(d, in.options))
        if (option.export_value == value) return std::move(option.display);
    return value;
}

// V of a list box: one text string, or an array of them for several selected rows.
std::vector<std::u32string> list_values(const load::doc& d, std::string_view value)
{
    std::vector<std::u32string> values;
    if (std::optional<std::string> one = string_bytes(d, value)) {
        values.push_back(decode_text_string(*one));
        return values;
    }
    for (std::string_view item : array_items(d, value, most_selected))
        if (std::optional<std::string> text = string_bytes(d, item)) values.push_back(decode_text_string(*text));
    return values;
}

std::vector<std::int64_t> list_indices(const load::doc& d, std::string_view value)
{
    std::vector<std::int64_t> indices;
    for (std::string_view item : array_items(d, value, most_selected))
        if (const auto n = number_of(d, item); n && *n >= 0 && *n < 2147483647.0)
            indices.push_back(static_cast<std::int64_t>(*n));
    return indices;
}

// What every generated appearance reads: the widget, its field's entries (falling back to the
// form's), its DA, the frame MK and BS ask for, and its box once MK R has turned it.
struct widget_inputs {
    dict_text widget;
    field_inputs field;
    std::int32_t flags = 0;
    default_appearance da;
    dict_text characteristics;  // MK
    rotated_box box;
    widget_colours colours;
    border frame_border;
};

// The resources of the appearance stream the generated one replaces: the DA font may be named
// only there.
dict_text old_appearance_resources(const load::doc& d, const plan::plan_item& item)
{
    const load::obj_entry* e = item.ap_obj > 0 ? d.objs.find(item.ap_obj) : nullptr;
    if (e == nullptr) return {};
    const load::dict_span span = d.span_of(*e);
    if (!span) return {};
    return resolved_dictionary(d, own_value(dict_text{span.text, span.start}, scan::key::resources));
}

std::int64_t rotation_of(const load::doc& d, const dict_text& mk)
{
    const auto r = mk ? number_of(d, own_value(mk, scan::key::rotation)) : std::nullopt;
    return r && std::abs(*r) < 1e9 ? static_cast<std::int64_t>(*r) : 0;
}

widget_inputs read_widget_inputs(const load::doc& d, const form_defaults& form, const plan::plan_item& item)
{
    widget_inputs in;
    const load::dict_span span = plan::annotation_dictionary(d, item);
    in.widget = span ? dict_text{span.text, span.start} : dict_text{};
    in.field = read_field_inputs(d, in.widget);
    if (in.field.da.empty()) in.field.da = form.da;
    if (in.field.quadding.empty()) in.field.quadding = form.quadding;
    if (const dict_text old = old_appearance_resources(d, item)) in.field.resources.push_back(old);
    if (form.resources) in.field.resources.push_back(form.resources);
    if (in.field.resources.size() > max_resource_dicts) in.field.resources.resize(max_resource_dicts);
    in.flags = integer_of(d, in.field.field_flags);
    in.da = parse_default_appearance(string_bytes(d, in.field.da).value_or(std::string()));
    in.characteristics = resolved_dictionary(d, own_value(in.widget, scan::key::characteristics));
    in.box = rotated_form_box(item.w, item.h, rotation_of(d, in.characteristics));
    in.colours = colours_of(d, in.characteristics);
    in.frame_border = border_of(d, in.widget);
    return in;
}

// The frame MK asks for, under whatever the appearance shows.
std::string frame_of(const widget_inputs& in)
{
    return frame_content(in.box.width, in.box.height, in.frame_border, in.colours, frame_shape::rectangle);
}

generated_appearance sized_for(const widget_inputs& in)
{
    generated_appearance out;
    out.width = in.box.width;
    out.height = in.box.height;
    out.matrix = in.box.matrix;
    return out;
}

// How the layout draws in the chosen font. The font must outlive the result.
layout_font layout_font_of(const chosen_font& font)
{
    if (font.composite) return composite_layout_font(font.name, *font.composite);
    layout_font lf = simple_layout_font(font.name, font.text_encoding);
    lf.width = [&font](std::uint16_t code) { return code < font.widths.size() ? font.widths[code] : 0.0; };
    lf.ascent = font.metrics->ascent;
    lf.descent = font.metrics->descent;
    return lf;
}

void name_font(generated_appearance& out, const chosen_font& font)
{
    out.font_name = font.name;
    out.font_value = font.value;
}

quadding alignment_of(const load::doc& d, const widget_inputs& in)
{
    return static_cast<quadding>(std::clamp(integer_of(d, in.field.quadding), 0, 2));
}

// A text field's value, or the display string of a combo box's.
generated_appearance text_appearance_of(const load::doc& d, const plan::flatten_plan& plan, const widget_inputs& in,
                                        bool combo_box, font_cache& fonts)
{
    generated_appearance out = sized_for(in);
    const std::u32string text = shown_text(d, in.field, combo_box);
    const chosen_font font = choose_font(d, plan, in.field.resources, in.da, text, fonts);
    text_request request;
    request.box = {in.box.width, in.box.height, in.frame_border.width};
    request.font_size = in.da.font_size;
    request.text_colour = in.da.text_colour;
    request.alignment = alignment_of(d, in);
    request.flags = text_flags(in.flags, integer_of(d, in.field.max_len), combo_box);
    const text_appearance laid = layout_text_field(text, layout_font_of(font), request);
    out.content = frame_of(in) + laid.content;
    out.substituted = laid.substituted;
    name_font(out, font);
    return out;
}

// A list box's rows from TI down, the selected ones (I, else V) highlighted.
generated_appearance list_appearance_of(const load::doc& d, const plan::flatten_plan& plan, const widget_inputs& in,
                                        font_cache& fonts)
{
    generated_appearance out = sized_for(in);
    const std::vector<list_option> options = list_options(d, in.field.options);
    std::u32string rows_text;
    for (const list_option& option : options) rows_text += option.display;
    const chosen_font font = choose_font(d, plan, in.field.resources, in.da, rows_text, fonts);
    const std::vector<std::int64_t> indices = list_indices(d, in.field.selected_indices);
    const std::vector<std::u32string> values = list_values(d, in.field.value);
    list_request request;
    request.box = {in.box.width, in.box.height, in.frame_border.width};
    request.font_size = in.da.font_size;
    request.text_colour = in.da.text_colour;
    request.alignment = alignment_of(d, in);
    request.top_index = static_cast<std::int64_t>(integer_of(d, in.field.top_index));
    request.selected = selected_rows(options, indices, values);
    const text_appearance laid = list_box_content(options, layout_font_of(font), request);
    out.content = frame_of(in) + laid.content;
    out.substituted = laid.substituted;
    name_font(out, font);
    return out;
}

// Whether the widget's "AP" has a normal appearance: a button that has one but lacks its state
// is drawn off.
bool has_normal_appearance(const load::doc& d, const dict_text& widget)
{
    const dict_text ap = resolved_dictionary(d, own_value(widget, scan::key::appearance));
    return ap && !own_value(ap, scan::key::normal_appearance).empty();
}

// A button is on when its state ("AS", else a check box's "V") names a state other than Off. A
// radio's "V" names the chosen state of the whole group, so only its own "AS" can tell.
bool button_is_on(const load::doc& d, const widget_inputs& in, bool radio)
{
    if (has_normal_appearance(d, in.widget)) return false;
    std::optional<std::string> state = name_of(d, own_value(in.widget, scan::key::appearance_state));
    if (!state && !radio) state = name_of(d, in.field.value);
    return state && !state->empty() && *state != scan::name::off_state;
}

// A check box or radio button: its MK frame and, when on, its MK CA caption in ZapfDingbats.
generated_appearance button_appearance_of(const load::doc& d, const widget_inputs& in)
{
    generated_appearance out = sized_for(in);
    const bool radio = (in.flags & radio_flag) != 0;
    button_request request;
    request.kind = radio ? button_kind::radio : button_kind::check_box;
    request.width = in.box.width;
    request.height = in.box.height;
    request.on = button_is_on(d, in, radio);
    if (in.characteristics)
        request.caption = string_bytes(d, own_value(in.characteristics, scan::key::caption)).value_or(std::string());
    request.font_resource = std::string(caption_font_name);
    request.font_size = in.da.font_size;
    request.caption_colour = in.da.text_colour;
    request.colours = in.colours;
    request.frame_border = in.frame_border;
    const button_appearance drawn = button_content(request);
    out.content = drawn.content;
    if (drawn.uses_font) {
        out.font_name = std::string(caption_font_name);
        out.font_value = std::string(caption_font_value);
    }
    return out;
}

generated_appearance appearance_of(const load::doc& d, const plan::flatten_plan& plan, const form_defaults& form,
                                   font_cache& fonts, const plan::plan_item& item)
{
    const widget_inputs in = read_widget_inputs(d, form, item);
    const std::optional<std::string> type = name_of(d, in.field.field_type);
    if (type == scan::name::button_field) return button_appearance_of(d, in);
    const bool choice = type == scan::name::choice_field;
    if (choice && (in.flags & combo_flag) == 0) return list_appearance_of(d, plan, in, fonts);
    return text_appearance_of(d, plan, in, choice, fonts);
}

}  // namespace

generated_appearance generate_field_appearance(const load::doc& d, const plan::flatten_plan& plan,
                                               const plan::plan_item& item)
{
    font_cache fonts;
    return appearance_of(d, plan, read_form_defaults(d, plan), fonts, item);
}

// The XObjects to generate, in order: each gets the next place in the list.
std::vector<std::size_t> index_generated(const plan::flatten_plan& plan, generated_appearances& out)
{
    std::vector<std::size_t> xobjects;
    out.list_index.assign(plan.xobjects.size(), -1);
    for (std::size_t i = 0; i < plan.xobjects.size(); ++i) {
        if (!plan.xobjects[i].generated) continue;
        out.list_index[i] = static_cast<std::int32_t>(xobjects.size());
        xobjects.push_back(i);
    }
    out.list.resize(xobjects.size());
    return xobjects;
}

generated_appearances generate_appearances(const load::doc& d, plan::flatten_plan& plan)
{
    generated_appearances out;
    const std::vector<std::size_t> xobjects = index_generated(plan, out);
    std::array<bool, 2> uses_helvetica{false, false};
    const form_defaults form = read_form_defaults(d, plan);
    const plan::flatten_plan& read_only = plan;
    // Each appearance depends only on its widget: a large file's are made in two halves at once,
    // each half with its own font cache.
    const auto generate_range = [&](std::size_t from, std::size_t to) {
        font_cache fonts;
        bool& helvetica = uses_helvetica[from == 0 ? 0 : 1];
        for (std::size_t k = from; k < to; ++k) {
            const plan::xobject_entry& x = read_only.xobjects[xobjects[k]];
            out.list[k] = appearance_of(d, read_only, form, fonts, read_only.items[static_cast<std::size_t>(x.item)]);
            helvetica = helvetica || out.list[k].uses_output_helvetica();
        }
    };
    if (static_cast<std::size_t>(d.len) < base::min_bytes_for_two_threads)
        generate_range(0, xobjects.size());
    else
        base::run_in_halves(xobjects.size(), generate_range);
    if (uses_helvetica[0] || uses_helvetica[1]) plan::number_font(plan);
    return out;
}

}  // namespace kestrin::generate
