#include "page_text.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <optional>
#include <sstream>

#include "pdf_builder.h"

namespace kestrin::test {

namespace {

// One character reference or entity at the start of text ("&amp;", "&#233;", "&#xE9;"): appended
// to out; returns its length, 0 when text does not start with one.
size_t decode_reference(std::string_view text, std::string& out)
{
    const size_t end = text.find(';');
    if (end == std::string_view::npos || end > 12) return 0;
    const std::string_view body = text.substr(1, end - 1);
    static constexpr std::pair<std::string_view, char> named[] = {
        {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
    for (const auto& [name, c] : named) {
        if (body == name) {
            out += c;
            return end + 1;
        }
    }
    if (!body.starts_with("#")) return 0;
    const bool hex = body.size() > 1 && (body[1] == 'x' || body[1] == 'X');
    const std::string_view digits = body.substr(hex ? 2 : 1);
    uint32_t code = 0;
    auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), code, hex ? 16 : 10);
    if (ec != std::errc() || ptr != digits.data() + digits.size()) return 0;
    append_utf8(out, code);
    return end + 1;
}

std::string decode_xml_text(std::string_view text)
{
    std::string out;
    for (size_t i = 0; i < text.size();) {
        if (text[i] == '&') {
            if (const size_t n = decode_reference(text.substr(i), out)) {
                i += n;
                continue;
            }
        }
        out += text[i++];
    }
    return out;
}

// The value of name="..." inside a start tag, decoded; nullopt when absent.
std::optional<std::string> attribute(std::string_view tag, std::string_view name)
{
    const std::string key = " " + std::string(name) + "=\"";
    const size_t at = tag.find(key);
    if (at == std::string_view::npos) return std::nullopt;
    const size_t start = at + key.size();
    const size_t end = tag.find('"', start);
    if (end == std::string_view::npos) return std::nullopt;
    return decode_xml_text(tag.substr(start, end - start));
}

std::optional<double> number_attribute(std::string_view tag, std::string_view name)
{
    const std::optional<std::string> text = attribute(tag, name);
    if (!text) return std::nullopt;
    double v = 0;
    auto [ptr, ec] = std::from_chars(text->data(), text->data() + text->size(), v);
    if (ec != std::errc() || ptr != text->data() + text->size()) return std::nullopt;
    return v;
}

// Calls on_tag(name, tag text, text after the tag) for each start tag named in names, in order.
template <typename F>
void each_start_tag(std::string_view xml, std::initializer_list<std::string_view> names, F on_tag)
{
    for (size_t at = xml.find('<'); at != std::string_view::npos; at = xml.find('<', at + 1)) {
        const size_t end = xml.find('>', at);
        if (end == std::string_view::npos) return;
        const std::string_view tag = xml.substr(at, end - at + 1);
        for (std::string_view name : names) {
            if (tag.size() > name.size() + 1 && tag.substr(1, name.size()) == name &&
                (tag[name.size() + 1] == ' ' || tag[name.size() + 1] == '>'))
                on_tag(name, tag, xml.substr(end + 1));
        }
    }
}

std::optional<pdf_rect> word_box(std::string_view tag)
{
    auto x0 = number_attribute(tag, "xMin"), y0 = number_attribute(tag, "yMin");
    auto x1 = number_attribute(tag, "xMax"), y1 = number_attribute(tag, "yMax");
    if (!x0 || !y0 || !x1 || !y1) return std::nullopt;
    return pdf_rect{std::min(*x0, *x1), std::min(*y0, *y1), std::max(*x0, *x1), std::max(*y0, *y1)};
}

// MuPDF gives a character's four corners: the box around them.
std::optional<pdf_rect> quad_box(std::string_view tag)
{
    const std::optional<std::string> quad = attribute(tag, "quad");
    if (!quad) return std::nullopt;
    std::istringstream in(*quad);
    double x[4], y[4];
    for (int i = 0; i < 4; ++i)
        if (!(in >> x[i] >> y[i])) return std::nullopt;
    return pdf_rect{*std::min_element(x, x + 4), *std::min_element(y, y + 4),
                    *std::max_element(x, x + 4), *std::max_element(y, y + 4)};
}

}  // namespace

page_texts words_from_pdftotext(std::string_view xhtml)
{
    page_texts pages;
    each_start_tag(xhtml, {"page", "word"}, [&](std::string_view name, std::string_view tag,
                                                std::string_view after) {
        if (name == "page") {
            pages.emplace_back();
            return;
        }
        const std::optional<pdf_rect> box = word_box(tag);
        const size_t close = after.find("</word>");
        if (pages.empty() || !box || close == std::string_view::npos) return;
        pages.back().push_back({*box, decode_xml_text(after.substr(0, close))});
    });
    return pages;
}

page_texts characters_from_mutool(std::string_view xml)
{
    page_texts pages;
    each_start_tag(xml, {"page", "char"}, [&](std::string_view name, std::string_view tag,
                                              std::string_view) {
        if (name == "page") {
            pages.emplace_back();
            return;
        }
        const std::optional<pdf_rect> box = quad_box(tag);
        std::optional<std::string> c = attribute(tag, "c");
        if (pages.empty() || !box || !c) return;
        pages.back().push_back({*box, std::move(*c)});
    });
    return pages;
}

std::string text_within(const std::vector<placed_text>& items, const pdf_rect& box, double margin)
{
    std::string out;
    for (const placed_text& item : items) {
        const double x = (item.box.x0 + item.box.x1) / 2, y = (item.box.y0 + item.box.y1) / 2;
        if (x >= box.x0 - margin && x <= box.x1 + margin && y >= box.y0 - margin &&
            y <= box.y1 + margin)
            out += item.text;
    }
    return without_white_space(out);
}

std::string without_white_space(std::string_view text)
{
    std::string out;
    for (char c : text)
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != '\v') out += c;
    return out;
}

}  // namespace kestrin::test
