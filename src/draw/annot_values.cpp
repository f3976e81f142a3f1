#include "draw/annot_values.h"

#include "load/values.h"
#include "scan/dictionary.h"
#include "scan/keys.h"
#include "scan/strings.h"
#include "scan/token.h"
#include "scan/value.h"

namespace kestrin::draw {

namespace {

constexpr double default_border_width = 1.0;

// The object number of value when it is exactly a reference "N G R", else -1.
std::int32_t reference_target(std::string_view value)
{
    if (value.empty() || value.back() != 'R' || !scan::is_digit(scan::byte_at(value, 0))) return -1;
    std::int32_t pos = 0;
    const std::int32_t num = scan::parse_int_at(value, pos);
    if (num <= 0 || scan::parse_int_at(value, pos) < 0) return -1;
    pos = scan::skip_ws(value, pos);
    return pos == scan::text_limit(value) - 1 ? num : -1;
}

// The numbers of an array value, at most max; nullopt when value is no array.
std::optional<std::vector<double>> array_value_numbers(std::string_view value, std::size_t max)
{
    std::vector<double> out(max);
    const std::int32_t n = scan::array_numbers(value, 0, out);
    if (n < 0) return std::nullopt;
    out.resize(static_cast<std::size_t>(n));
    return out;
}

}  // namespace

std::string_view resolved(const load::doc& doc, std::string_view value)
{
    const std::int32_t num = reference_target(value);
    if (num < 0) return value;
    const load::obj_entry* e = doc.objs.find(num);
    if (e == nullptr || e->is_stream) return {};
    const std::string_view body = load::object_body(doc, *e);
    return body.substr(static_cast<std::size_t>(scan::skip_ws(body, 0)));
}

std::string_view entry_value(const annot_dict& a, std::string_view key)
{
    // The value's position comes from the walk itself: a key written with escapes is longer than
    // the name it spells.
    return resolved(a.doc, load::value_text_at(a.text, scan::entry_value_at(a.text, a.start, key)));
}

std::optional<std::vector<double>> entry_numbers(const annot_dict& a, std::string_view key, std::size_t max)
{
    return array_value_numbers(entry_value(a, key), max);
}

std::optional<colour> entry_colour(const annot_dict& a, std::string_view key)
{
    // Five numbers, so that an array longer than a colour's is told apart and refused.
    const std::optional<std::vector<double>> numbers = entry_numbers(a, key, 5);
    return numbers ? colour_of(*numbers) : std::nullopt;
}

std::optional<std::string> entry_string(const annot_dict& a, std::string_view key)
{
    const std::string_view value = entry_value(a, key);
    if (value.empty()) return std::nullopt;
    if (value.front() == '(') return scan::read_literal_string(value, 0);
    if (value.front() == '<' && !scan::opens_dictionary(value, 0)) return scan::read_hex_string(value, 0);
    return std::nullopt;
}

std::optional<double> entry_number(const annot_dict& a, std::string_view key)
{
    std::int32_t pos = 0;
    return scan::read_real(entry_value(a, key), pos);
}

std::optional<std::vector<std::vector<double>>> ink_list(const annot_dict& a)
{
    const std::string_view list = entry_value(a, scan::key::ink_list);
    if (list.empty() || list.front() != '[') return std::nullopt;
    std::vector<std::vector<double>> paths;
    const std::int32_t size = scan::text_limit(list);
    for (std::int32_t pos = scan::skip_ws(list, 1); pos < size && list[static_cast<std::size_t>(pos)] != ']';
         pos = scan::skip_ws(list, pos)) {
        const std::int32_t end = scan::skip_pdf_value(list, pos);
        if (end <= pos) break;
        const std::string_view element = resolved(a.doc, list.substr(static_cast<std::size_t>(pos),
                                                                     static_cast<std::size_t>(end - pos)));
        if (auto path = array_value_numbers(element, element.size())) paths.push_back(std::move(*path));
        pos = end;
    }
    return paths;
}

double border_width(const annot_dict& a)
{
    const std::string_view style = entry_value(a, scan::key::border_style);
    if (scan::opens_dictionary(style, 0)) {
        const annot_dict style_dict{a.doc, style, 0};
        if (const std::optional<double> w = entry_number(style_dict, scan::key::width); w && *w >= 0) return *w;
    }
    const std::optional<std::vector<double>> border = entry_numbers(a, scan::key::border, 3);
    if (border && border->size() == 3 && (*border)[2] >= 0) return (*border)[2];
    return default_border_width;
}

}  // namespace kestrin::draw
