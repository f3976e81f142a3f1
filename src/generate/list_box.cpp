#include "generate/list_box.h"

#include <algorithm>
#include <cmath>

#include "base/append.h"

namespace kestrin::generate {

namespace {

// Auto size never goes above what a list of several rows can show.
constexpr double largest_list_size = 12.0;

double finite_or_zero(double v) { return std::isfinite(v) ? v : 0.0; }

struct inner_box {
    double left, bottom, width, height;
};

inner_box inner_of(const text_box& box)
{
    const double b = std::max(0.0, finite_or_zero(box.border_width));
    return {b, b, std::max(0.0, finite_or_zero(box.width) - 2 * b),
            std::max(0.0, finite_or_zero(box.height) - 2 * b)};
}

// One shown row: its codes and width in thousandths of the size.
struct row {
    std::int32_t index = 0;
    code_string codes;
    double units = 0;
};

double units_of(code_view codes, const layout_font& font)
{
    double sum = 0;
    for (std::uint16_t code : codes) {
        const double w = font.width ? font.width(code) : 0.0;
        if (std::isfinite(w) && w > 0) sum += w;
    }
    return sum;
}

std::size_t first_row(std::int64_t top_index, std::size_t count)
{
    if (top_index < 0 || static_cast<std::uint64_t>(top_index) >= count) return 0;
    return static_cast<std::size_t>(top_index);
}

// Every row, encoded: the auto size looks at all of them, so that scrolling keeps the size.
std::vector<row> encoded_rows(std::span<const list_option> options, const layout_font& font, std::int32_t& substituted)
{
    std::vector<row> rows;
    rows.reserve(options.size());
    for (std::size_t i = 0; i < options.size(); ++i) {
        encoded_text encoded = encode_text(options[i].display, font);
        substituted += encoded.substituted;
        const double units = units_of(encoded.codes, font);
        rows.push_back({static_cast<std::int32_t>(i), std::move(encoded.codes), units});
    }
    return rows;
}

double auto_size(std::span<const row> rows, double text_width)
{
    double widest = 0;
    for (const auto& r : rows) widest = std::max(widest, r.units);
    double size = largest_list_size;
    if (widest > 0) size = std::min(size, text_width * 1000.0 / widest);
    return std::clamp(size, smallest_auto_size, largest_list_size);
}

// How many rows from the top show at least in part.
std::size_t visible_count(std::size_t rows, const inner_box& inner, double row_height)
{
    if (row_height <= 0) return std::min<std::size_t>(rows, 1);
    const double room = std::max(0.0, inner.height - vertical_padding);
    const double fit = std::ceil(room / row_height);  // may be far more than there are rows
    return fit < static_cast<double>(rows) ? static_cast<std::size_t>(fit) : rows;
}

void append_highlights(std::string& out, std::span<const row> rows, std::size_t shown,
                       const std::vector<std::int32_t>& selected, const inner_box& inner, double row_height)
{
    bool coloured = false;
    for (std::size_t i = 0; i < shown; ++i) {
        if (!std::binary_search(selected.begin(), selected.end(), rows[i].index)) continue;
        if (!coloured) {
            base::append(out, base::fixed3(selection_highlight[0]), ' ', base::fixed3(selection_highlight[1]), ' ',
                         base::fixed3(selection_highlight[2]), " rg\n");
            coloured = true;
        }
        const double top = inner.bottom + inner.height - vertical_padding - static_cast<double>(i) * row_height;
        base::append(out, base::fixed6(inner.left), ' ', base::fixed6(top - row_height), ' ',
                     base::fixed6(inner.width), ' ', base::fixed6(row_height), " re f\n");
    }
}

void append_rows(std::string& out, std::span<const row> rows, std::size_t shown, const inner_box& inner,
                 const layout_font& font, const list_request& request, double size, double row_height)
{
    const double ascent = font.ascent * size / 1000.0;
    const double descent = font.descent * size / 1000.0;
    // Each row's ascent-to-descent height centred in the row.
    const double first_baseline =
        inner.bottom + inner.height - vertical_padding - row_height + (row_height - (ascent - descent)) / 2 - descent;
    double x = 0;
    double y = 0;
    for (std::size_t i = 0; i < shown; ++i) {
        const double row_x = aligned_left(inner.left, inner.width, rows[i].units * size / 1000.0, request.alignment);
        const double row_y = first_baseline - static_cast<double>(i) * row_height;
        base::append(out, base::fixed6(row_x - x), ' ', base::fixed6(row_y - y), " Td\n");
        append_codes(out, rows[i].codes, font.code_bytes);
        out += " Tj\n";
        x = row_x;
        y = row_y;
    }
}

// The rows whose member text is one of values (sorted).
std::vector<std::int32_t> rows_holding(std::span<const list_option> options, const std::vector<std::u32string_view>& values,
                                       std::u32string list_option::*member)
{
    std::vector<std::int32_t> rows;
    for (std::size_t i = 0; i < options.size(); ++i)
        if (std::binary_search(values.begin(), values.end(), std::u32string_view(options[i].*member)))
            rows.push_back(static_cast<std::int32_t>(i));
    return rows;
}

}  // namespace

std::vector<std::int32_t> selected_rows(std::span<const list_option> options, std::span<const std::int64_t> indices,
                                        std::span<const std::u32string> values)
{
    std::vector<std::int32_t> rows;
    for (std::int64_t i : indices)
        if (i >= 0 && static_cast<std::uint64_t>(i) < options.size()) rows.push_back(static_cast<std::int32_t>(i));
    if (rows.empty()) {
        // Sorted, so that each option is one binary search, however many values V holds.
        std::vector<std::u32string_view> sorted(values.begin(), values.end());
        std::sort(sorted.begin(), sorted.end());
        rows = rows_holding(options, sorted, &list_option::export_value);
        if (rows.empty()) rows = rows_holding(options, sorted, &list_option::display);
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

text_appearance list_box_content(std::span<const list_option> options, const layout_font& font,
                                 const list_request& request)
{
    text_appearance result;
    const inner_box inner = inner_of(request.box);
    const std::vector<row> all = encoded_rows(options, font, result.substituted);
    const std::span<const row> rows = std::span(all).subspan(first_row(request.top_index, all.size()));
    const double requested = finite_or_zero(request.font_size);
    const double size =
        requested > 0 ? requested : auto_size(all, std::max(0.0, inner.width - 2 * horizontal_padding));
    const double row_height = size * line_height;
    const std::size_t shown = visible_count(rows.size(), inner, row_height);
    std::vector<std::int32_t> selected = request.selected;
    std::sort(selected.begin(), selected.end());
    std::string& out = result.content;
    open_marked_clip(out, inner.left, inner.bottom, inner.width, inner.height);
    append_highlights(out, rows, shown, selected, inner, row_height);
    out += "BT\n";
    append_name(out, font.resource_name);
    base::append(out, ' ', base::fixed3(size), " Tf\n");
    append_colour(out, request.text_colour);
    append_rows(out, rows, shown, inner, font, request, size, row_height);
    out += "ET\n";
    close_marked_clip(out);
    result.font_size = size;
    return result;
}

}  // namespace kestrin::generate
