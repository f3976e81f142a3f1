// Character classes of PDF text. Our own tables: <cctype> depends on the locale and files hold NULs.
#pragma once

#include <array>
#include <cstdint>

namespace kestrin::scan {

namespace detail {
enum : std::uint8_t {
    pdf_ws = 1,      // NUL, TAB, LF, FF, CR, space
    ascii_ws = 2,    // space, TAB, LF, VT, FF, CR
    alnum = 4,       // A-Z, a-z, 0-9
    digit = 8,       // 0-9
    name_cont = 16,  // alnum, '+', '-', '_'
    delimiter = 32,  // ( ) < > [ ] { } / %
};

constexpr std::array<std::uint8_t, 256> make_classes()
{
    std::array<std::uint8_t, 256> t{};
    for (int c : {0x00, 0x09, 0x0A, 0x0C, 0x0D, 0x20}) t[c] |= pdf_ws;
    for (int c : {0x20, 0x09, 0x0A, 0x0B, 0x0C, 0x0D}) t[c] |= ascii_ws;
    for (int c = '0'; c <= '9'; ++c) t[c] |= alnum | digit | name_cont;
    for (int c = 'A'; c <= 'Z'; ++c) t[c] |= alnum | name_cont;
    for (int c = 'a'; c <= 'z'; ++c) t[c] |= alnum | name_cont;
    for (int c : {'+', '-', '_'}) t[c] |= name_cont;
    for (int c : {'(', ')', '<', '>', '[', ']', '{', '}', '/', '%'}) t[c] |= delimiter;
    return t;
}

inline constexpr std::array<std::uint8_t, 256> classes = make_classes();
}  // namespace detail

constexpr bool is_pdf_ws(unsigned char c) { return detail::classes[c] & detail::pdf_ws; }
constexpr bool is_ascii_ws(unsigned char c) { return detail::classes[c] & detail::ascii_ws; }
constexpr bool is_alnum(unsigned char c) { return detail::classes[c] & detail::alnum; }
constexpr bool is_digit(unsigned char c) { return detail::classes[c] & detail::digit; }
constexpr bool is_name_cont(unsigned char c) { return detail::classes[c] & detail::name_cont; }
constexpr bool is_delimiter(unsigned char c) { return detail::classes[c] & detail::delimiter; }
// A byte of an operator, number or name: neither white space nor a delimiter.
constexpr bool is_regular(unsigned char c) { return !is_pdf_ws(c) && !is_delimiter(c); }

}  // namespace kestrin::scan
