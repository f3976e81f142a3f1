#include "form_fields.h"

#include <algorithm>
#include <cstdint>

#include "pdf_builder.h"

namespace kestrin::test {

namespace {

// Field flags (ISO 32000-1 Tables 226, 228, 230), bit n as 1 << (n - 1).
constexpr long password_flag = 1L << 13;
constexpr long radio_flag = 1L << 15;
constexpr long push_button_flag = 1L << 16;
constexpr long combo_flag = 1L << 17;

// Parent chains of damaged files may loop; no real form nests deeper.
constexpr int max_parent_steps = 32;

std::string utf16be_to_utf8(std::string_view bytes)
{
    std::string out;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        uint32_t unit = uint32_t(uint8_t(bytes[i])) << 8 | uint8_t(bytes[i + 1]);
        if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < bytes.size()) {
            uint32_t low = uint32_t(uint8_t(bytes[i + 2])) << 8 | uint8_t(bytes[i + 3]);
            if (low >= 0xDC00 && low < 0xE000) {
                unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        append_utf8(out, unit);
    }
    return out;
}

// PDFDocEncoding where it departs from Latin-1 (ISO 32000-1 Annex D.2): codes 0x18..0x1F and
// 0x80..0xA0.
constexpr uint16_t pdfdoc_low[8] = {0x02D8, 0x02C7, 0x02C6, 0x02D9, 0x02DD, 0x02DB, 0x02DA, 0x02DC};
constexpr uint16_t pdfdoc_high[33] = {
    0x2022, 0x2020, 0x2021, 0x2026, 0x2014, 0x2013, 0x0192, 0x2044, 0x2039, 0x203A, 0x2212,
    0x2030, 0x201E, 0x201C, 0x201D, 0x2018, 0x2019, 0x201A, 0x2122, 0xFB01, 0xFB02, 0x0141,
    0x0152, 0x0160, 0x0178, 0x017D, 0x0131, 0x0142, 0x0153, 0x0161, 0x017E, 0xFFFD, 0x20AC};

std::string pdfdoc_to_utf8(std::string_view bytes)
{
    std::string out;
    for (char ch : bytes) {
        const uint8_t b = uint8_t(ch);
        if (b >= 0x18 && b <= 0x1F) append_utf8(out, pdfdoc_low[b - 0x18]);
        else if (b >= 0x80 && b <= 0xA0) append_utf8(out, pdfdoc_high[b - 0x80]);
        else append_utf8(out, b);
    }
    return out;
}

int hex_digit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// qpdf writes a string as "u:" and its text in UTF-8, or as "b:" and its bytes in hexadecimal.
std::optional<std::string> string_text(const json_value* v)
{
    if (!v || v->type != json_value::kind::string) return std::nullopt;
    const std::string& t = v->text;
    if (t.starts_with("u:")) return t.substr(2);
    if (!t.starts_with("b:")) return std::nullopt;
    std::string bytes;
    for (size_t i = 2; i + 1 < t.size(); i += 2) {
        const int hi = hex_digit(t[i]), lo = hex_digit(t[i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        bytes += char(hi * 16 + lo);
    }
    return text_string_to_utf8(bytes);
}

// A name as qpdf writes it ("/Yes", or "n:/..." when it is not UTF-8), without the slash.
std::optional<std::string> name_text(const json_value* v)
{
    if (!v || v->type != json_value::kind::string) return std::nullopt;
    std::string_view t = v->text;
    if (t.starts_with("n:")) t.remove_prefix(2);
    if (!t.starts_with("/")) return std::nullopt;
    return std::string(t.substr(1));
}

field_kind kind_of(const std::string& type, long flags)
{
    if (type == "/Tx") return flags & password_flag ? field_kind::password : field_kind::text;
    if (type == "/Ch") return flags & combo_flag ? field_kind::combo_box : field_kind::list_box;
    if (type != "/Btn") return field_kind::other;
    if (flags & push_button_flag) return field_kind::push_button;
    return flags & radio_flag ? field_kind::radio : field_kind::check_box;
}

// The field's options, inherited through Parent as viewers read them: (export, display) pairs.
std::vector<std::pair<std::string, std::string>> options_of(const qpdf_objects& objects,
                                                            const json_value* field)
{
    const json_value* opt = nullptr;
    for (int step = 0; field && !opt && step < max_parent_steps; ++step) {
        opt = objects.entry(field, "/Opt");
        field = objects.entry(field, "/Parent");
    }
    std::vector<std::pair<std::string, std::string>> out;
    if (!opt || opt->type != json_value::kind::array) return out;
    for (const json_value& item : opt->items) {
        const json_value* entry = objects.resolve(&item);
        if (entry && entry->type == json_value::kind::array && entry->items.size() == 2) {
            auto exported = string_text(objects.resolve(&entry->items[0]));
            auto shown = string_text(objects.resolve(&entry->items[1]));
            if (exported && shown) out.emplace_back(*exported, *shown);
        } else if (auto text = string_text(entry)) {
            out.emplace_back(*text, *text);
        }
    }
    return out;
}

std::string display_string(const std::vector<std::pair<std::string, std::string>>& options,
                           const std::string& value)
{
    auto it = std::find_if(options.begin(), options.end(),
                           [&](const auto& o) { return o.first == value; });
    return it == options.end() ? value : it->second;
}

// The text values of a text or choice field; a text stream is named in w.value_stream instead.
void read_values(const qpdf_objects& objects, const json_value& listed, field_widget& w)
{
    const json_value* value = listed.member("value");
    if (value && objects.leads_to_stream(value)) {
        w.value_stream = value->text;
        return;
    }
    value = objects.resolve(value);
    if (!value) return;
    std::vector<const json_value*> items;
    if (value->type == json_value::kind::array) {
        for (const json_value& item : value->items) items.push_back(objects.resolve(&item));
    } else {
        items.push_back(value);
    }
    const bool choice = w.kind == field_kind::combo_box || w.kind == field_kind::list_box;
    const auto options = choice ? options_of(objects, objects.resolve(listed.member("object")))
                                : std::vector<std::pair<std::string, std::string>>{};
    for (const json_value* item : items) {
        if (auto text = string_text(item)) w.values.push_back(choice ? display_string(options, *text) : *text);
    }
}

std::optional<std::vector<std::string>> appearance_states(const qpdf_objects& objects,
                                                          const json_value* widget)
{
    const json_value* ap = objects.entry(widget, "/AP");
    const json_value* normal = ap && ap->type == json_value::kind::object ? ap->member("/N") : nullptr;
    if (!normal) return std::nullopt;
    std::vector<std::string> states;
    if (objects.leads_to_stream(normal)) return states;
    normal = objects.resolve(normal);
    if (!normal || normal->type != json_value::kind::object) return std::nullopt;
    for (const json_member& m : normal->members)
        if (m.key.starts_with("/")) states.push_back(m.key.substr(1));
    return states;
}

// A colour array of 1 (grey), 3 (RGB) or 4 (CMYK) components as RGB; nullopt for none.
std::optional<std::array<double, 3>> colour_of(const qpdf_objects& objects, const json_value* array)
{
    if (!array || array->type != json_value::kind::array) return std::nullopt;
    std::vector<double> c;
    for (const json_value& item : array->items) {
        const json_value* n = objects.resolve(&item);
        if (!n || n->type != json_value::kind::number) return std::nullopt;
        c.push_back(std::clamp(n->number, 0.0, 1.0));
    }
    if (c.size() == 1) return std::array<double, 3>{c[0], c[0], c[0]};
    if (c.size() == 3) return std::array<double, 3>{c[0], c[1], c[2]};
    if (c.size() == 4) {
        const double k = c[3];
        return std::array<double, 3>{1 - std::min(1.0, c[0] + k), 1 - std::min(1.0, c[1] + k),
                                     1 - std::min(1.0, c[2] + k)};
    }
    return std::nullopt;
}

void read_widget(const qpdf_objects& objects, const json_value* annotation, field_widget& w)
{
    w.rect = rect_of(objects, annotation);
    w.appearance_states = appearance_states(objects, annotation);
    const json_value* mk = objects.entry(annotation, "/MK");
    w.background = colour_of(objects, objects.entry(mk, "/BG"));
    const json_value* r = objects.entry(mk, "/R");
    if (r && r->type == json_value::kind::number) w.rotation = int(r->number);
}

std::optional<field_widget> widget_of(const qpdf_objects& objects, const json_value& listed)
{
    const json_value* annotation = listed.member("annotation");
    const json_value* widget = annotation ? annotation->member("object") : nullptr;
    const json_value* name = listed.member("fullname");
    if (!widget || !is_reference(*widget) || !name || name->type != json_value::kind::string)
        return std::nullopt;
    field_widget w;
    w.field = name->text;
    w.widget = widget->text;
    const json_value* type = listed.member("fieldtype");
    const json_value* flags = listed.member("fieldflags");
    w.kind = kind_of(type && type->type == json_value::kind::string ? type->text : "",
                     flags && flags->type == json_value::kind::number ? long(flags->number) : 0);
    const json_value* page = listed.member("pageposfrom1");
    if (page && page->type == json_value::kind::number) w.page = int(page->number);
    if (w.kind == field_kind::check_box || w.kind == field_kind::radio) {
        w.state = name_text(annotation->member("appearancestate")).value_or("");
        w.value_state = name_text(objects.resolve(listed.member("value"))).value_or("");
    } else if (w.kind != field_kind::push_button && w.kind != field_kind::other) {
        read_values(objects, listed, w);
    }
    read_widget(objects, widget, w);
    return w;
}

}  // namespace

const char* field_kind_name(field_kind kind)
{
    switch (kind) {
    case field_kind::text: return "text";
    case field_kind::password: return "password";
    case field_kind::combo_box: return "combo box";
    case field_kind::list_box: return "list box";
    case field_kind::check_box: return "check box";
    case field_kind::radio: return "radio";
    case field_kind::push_button: return "push button";
    case field_kind::other: break;
    }
    return "other";
}

std::optional<form_reading> form_from_qpdf_json(const json_value& json)
{
    const json_value* acroform = json.member("acroform");
    const json_value* qpdf = json.member("qpdf");
    const json_value* fields = acroform ? acroform->member("fields") : nullptr;
    if (!fields || fields->type != json_value::kind::array || !qpdf ||
        qpdf->type != json_value::kind::array || qpdf->items.size() != 2)
        return std::nullopt;
    qpdf_objects objects(qpdf->items[1]);
    form_reading form;
    const json_value* need = acroform->member("needappearances");
    form.need_appearances = need && need->type == json_value::kind::boolean && need->flag;
    for (const json_value& listed : fields->items)
        if (auto w = widget_of(objects, listed)) form.widgets.push_back(std::move(*w));
    return form;
}

bool button_is_on(const field_widget& w)
{
    if (!w.state.empty()) return w.state != "Off";
    if (w.value_state.empty() || w.value_state == "Off") return false;
    if (!w.appearance_states || w.appearance_states->empty()) return true;
    const auto& states = *w.appearance_states;
    return std::find(states.begin(), states.end(), w.value_state) != states.end();
}

std::string text_string_to_utf8(std::string_view bytes)
{
    if (bytes.starts_with("\xFE\xFF")) return utf16be_to_utf8(bytes.substr(2));
    if (bytes.starts_with("\xEF\xBB\xBF")) return std::string(bytes.substr(3));
    return pdfdoc_to_utf8(bytes);
}

}  // namespace kestrin::test
