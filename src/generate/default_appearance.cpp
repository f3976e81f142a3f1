#include "generate/default_appearance.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

#include "scan/content_tokens.h"
#include "scan/strings.h"
#include "scan/value.h"

namespace kestrin::generate {

namespace {

// Tf sizes past this are taken for mistakes, as a field is never that tall.
constexpr double largest_size = 1000.0;
// The operands kept before an operator: k, the operator with the most, has four.
constexpr std::size_t kept_operands = 4;

// One operand before an operator: a number, or a name (without its '/', escapes decoded).
struct operand {
    std::optional<double> number;
    std::optional<std::string> name;
};

operand operand_of(std::string_view da, const scan::token& t)
{
    const std::string_view text = da.substr(t.start, t.end - t.start);
    if (text.starts_with('/')) return {std::nullopt, scan::decode_name(text.substr(1))};
    std::int32_t pos = 0;
    const auto number = scan::read_real(text, pos);
    if (number && pos == static_cast<std::int32_t>(text.size())) return {number, std::nullopt};
    return {};
}

// The last n operands as numbers, or nothing when there are fewer or one is not a number.
std::optional<std::vector<double>> last_numbers(const std::vector<operand>& operands, std::size_t n)
{
    if (operands.size() < n) return std::nullopt;
    std::vector<double> numbers;
    for (auto it = operands.end() - static_cast<std::ptrdiff_t>(n); it != operands.end(); ++it) {
        if (!it->number) return std::nullopt;
        numbers.push_back(*it->number);
    }
    return numbers;
}

void apply_tf(default_appearance& da, const std::vector<operand>& operands)
{
    if (operands.size() < 2) return;
    const operand& name = operands[operands.size() - 2];
    const operand& size = operands.back();
    if (!name.name || !size.number) return;
    da.font_name = *name.name;
    const double s = *size.number;
    da.font_size = std::isfinite(s) && s > 0 && s <= largest_size ? s : 0;
}

void apply_colour(default_appearance& da, const std::vector<operand>& operands, std::int32_t components)
{
    const auto numbers = last_numbers(operands, static_cast<std::size_t>(components));
    if (!numbers) return;
    colour c;
    c.components = components;
    for (std::size_t i = 0; i < numbers->size(); ++i) {
        const double v = (*numbers)[i];
        c.values[i] = std::isfinite(v) ? std::clamp(v, 0.0, 1.0) : 0.0;
    }
    da.text_colour = c;
}

void apply_operator(default_appearance& da, std::string_view op, const std::vector<operand>& operands)
{
    if (op == "Tf") apply_tf(da, operands);
    else if (op == "g") apply_colour(da, operands, 1);
    else if (op == "rg") apply_colour(da, operands, 3);
    else if (op == "k") apply_colour(da, operands, 4);
}

bool is_operator(std::string_view da, const scan::token& t)
{
    const char first = da[t.start];
    return t.regular && !(first >= '0' && first <= '9') && first != '-' && first != '+' && first != '.';
}

}  // namespace

default_appearance parse_default_appearance(std::string_view da)
{
    default_appearance result;
    std::vector<operand> operands;
    const auto size = static_cast<std::int32_t>(da.size());
    for (scan::token t = scan::next_token(da, 0); t.start < size; t = scan::next_token(da, t.end)) {
        if (t.end <= t.start) break;
        if (is_operator(da, t)) {
            apply_operator(result, da.substr(t.start, t.end - t.start), operands);
            operands.clear();
            continue;
        }
        if (operands.size() == kept_operands) operands.erase(operands.begin());
        operands.push_back(operand_of(da, t));
    }
    return result;
}

}  // namespace kestrin::generate
