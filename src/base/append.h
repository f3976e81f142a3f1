// Appending text and numbers to an output without a format string. Each piece's type says how it
// is written, so a piece of the wrong kind does not compile:
//   text       a string literal, std::string_view, std::string or NUL-terminated const char*
//   char       that one byte
//   integer    its decimal digits, as printf's "%d" and "%ld" write them
//   fixed6(v)  a real number with six digits after the point, fixed3(v) with three
// The output is a base::byte_buffer, a std::string or anything else with append(std::string_view).
#pragma once

#include <array>
#include <charconv>
#include <concepts>
#include <cstddef>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <type_traits>

#include "base/number_format.h"

namespace kestrin::base {

// A real number as printf's "%f" writes it in the C locale, after clamp_coordinate: coordinates,
// widths and matrices. Every real number the output writes is one the clamp keeps short.
struct fixed6 {
    explicit constexpr fixed6(double v) : value(v) {}
    double value;
};

// A real number as printf's "%.3f" writes it, after clamp_coordinate: colours and the font size.
struct fixed3 {
    explicit constexpr fixed3(double v) : value(v) {}
    double value;
};

namespace piece {

// Integers written as numbers; bool and the character types are not.
template <typename T>
concept integer = std::integral<T> && !std::same_as<T, bool> && !std::same_as<T, char> &&
                  !std::same_as<T, wchar_t> && !std::same_as<T, char8_t> &&
                  !std::same_as<T, char16_t> && !std::same_as<T, char32_t>;

// The longest text of a piece, for the kinds whose type bounds it.
template <typename T>
struct bound {
    static constexpr bool known = false;
};

template <std::size_t N>
struct bound<char[N]> {  // a literal: the bytes before its NUL
    static constexpr bool known = true;
    static constexpr std::size_t room = N - 1;
};

template <>
struct bound<char> {
    static constexpr bool known = true;
    static constexpr std::size_t room = 1;
};

template <>
struct bound<fixed6> {
    static constexpr bool known = true;
    static constexpr std::size_t room = fixed_room;
};

template <>
struct bound<fixed3> {
    static constexpr bool known = true;
    static constexpr std::size_t room = fixed_room;
};

template <integer T>
struct bound<T> {  // every digit and a sign
    static constexpr bool known = true;
    static constexpr std::size_t room = std::numeric_limits<T>::digits10 + 1 + std::is_signed_v<T>;
};

template <typename... Pieces>
concept all_bounded = sizeof...(Pieces) > 0 && (bound<Pieces>::known && ...);

// A piece of any kind: one with a bound, or text.
template <typename T>
concept any = bound<T>::known ||
              (std::is_convertible_v<const T&, std::string_view> && !std::same_as<T, std::nullptr_t>);

template <typename... Pieces>
inline constexpr std::size_t room_of = (bound<Pieces>::room + ...);

// Each write puts one piece at `at`, which has the piece's room, and returns the end of its text.
template <std::size_t N>
char* write(char* at, const char (&text)[N])
{
    const std::string_view bytes(text);
    std::memcpy(at, bytes.data(), bytes.size());
    return at + bytes.size();
}

inline char* write(char* at, char c)
{
    *at = c;
    return at + 1;
}

inline char* write(char* at, fixed6 v) { return write_fixed(at, v.value, 6); }

inline char* write(char* at, fixed3 v) { return write_fixed(at, v.value, 3); }

template <integer T>
char* write(char* at, T v)
{
    return std::to_chars(at, at + bound<T>::room, v).ptr;
}

}  // namespace piece

// Text of pieces that all have a bound, built on the stack: for text whose length must be known
// before it is written, without an allocation.
template <std::size_t Room>
class bounded_text {
public:
    template <typename... Pieces>
        requires piece::all_bounded<Pieces...>
    explicit bounded_text(const Pieces&... pieces)
    {
        static_assert(piece::room_of<Pieces...> <= Room);
        char* end = bytes_.data();
        ((end = piece::write(end, pieces)), ...);
        size_ = static_cast<std::size_t>(end - bytes_.data());
    }

    std::string_view view() const { return {bytes_.data(), size_}; }

private:
    std::array<char, Room> bytes_;
    std::size_t size_;
};

template <typename... Pieces>
bounded_text(const Pieces&...) -> bounded_text<piece::room_of<Pieces...>>;

namespace piece {

template <typename Out, typename T>
void append_one(Out& out, const T& p)
{
    if constexpr (bound<T>::known) {
        out.append(bounded_text(p).view());
    } else {
        out.append(std::string_view(p));
    }
}

}  // namespace piece

// Appends the pieces to out in order. When every piece has a bound they go in as one copy, the
// common case for drawing operators; text of any length goes in piece by piece, never cut.
template <typename Out, typename... Pieces>
    requires(sizeof...(Pieces) > 0 && (piece::any<Pieces> && ...))
void append(Out& out, const Pieces&... pieces)
{
    if constexpr (piece::all_bounded<Pieces...>) {
        out.append(bounded_text(pieces...).view());
    } else {
        (piece::append_one(out, pieces), ...);
    }
}

// The pieces as a std::string, for text that is kept.
template <typename... Pieces>
    requires(sizeof...(Pieces) > 0 && (piece::any<Pieces> && ...))
std::string to_text(const Pieces&... pieces)
{
    std::string text;
    append(text, pieces...);
    return text;
}

}  // namespace kestrin::base
