#include "page_tally.h"

#include <fstream>
#include <vector>

namespace kestrin_cli {

namespace {

constexpr std::string_view type_key = "/Type";
constexpr std::string_view page_name = "/Page";

bool is_alnum(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool is_space(char c) { return c == ' ' || c == '\n' || c == '\r'; }

// A window that starts with an entry cut after "/Type" keeps one byte of the white space that
// follows: the count reads any run alike, and a long run would be read again with every piece.
void shorten_cut_entry(std::string& window)
{
    if (!std::string_view(window).starts_with(type_key)) return;
    std::size_t v = type_key.size();
    while (v < window.size() && is_space(window[v])) ++v;
    if (v > type_key.size() + 1) window.erase(type_key.size() + 1, v - type_key.size() - 1);
}

}  // namespace

bool read_in_pieces(std::istream& from, std::size_t piece_size,
                    const std::function<void(std::string_view)>& take)
{
    std::vector<char> piece(piece_size);
    while (from && piece_size > 0) {
        from.read(piece.data(), static_cast<std::streamsize>(piece_size));
        take(std::string_view(piece.data(), static_cast<std::size_t>(from.gcount())));
    }
    return !from.bad();
}

std::size_t count_decided_pages(std::string_view text, bool whole, long& pages)
{
    for (std::size_t at = text.find(type_key); at != std::string_view::npos;
         at = text.find(type_key, at + type_key.size())) {
        std::size_t v = at + type_key.size();
        while (v < text.size() && is_space(text[v])) ++v;
        // The byte after "/Page" must be seen before the match is decided.
        if (!whole && v + page_name.size() >= text.size()) return at;
        if (text.compare(v, page_name.size(), page_name) == 0 &&
            (v + page_name.size() >= text.size() || !is_alnum(text[v + page_name.size()])))
            ++pages;
    }
    if (whole) return text.size();
    // A "/Type" cut by the end starts in its last four bytes.
    const std::size_t may_begin = type_key.size() - 1;
    return text.size() > may_begin ? text.size() - may_begin : 0;
}

long count_pages(std::string_view bytes)
{
    long pages = 0;
    count_decided_pages(bytes, true, pages);
    return pages;
}

std::optional<file_tally> tally_file(const std::string& path, std::size_t piece_size)
{
    std::ifstream f(path, std::ios::binary);
    if (!f || piece_size == 0) return std::nullopt;
    file_tally t;
    std::string window;
    const bool read = read_in_pieces(f, piece_size, [&](std::string_view piece) {
        t.bytes += piece.size();
        window.append(piece);
        window.erase(0, count_decided_pages(window, false, t.pages));
        shorten_cut_entry(window);
    });
    if (!read) return std::nullopt;
    count_decided_pages(window, true, t.pages);
    return t;
}

}  // namespace kestrin_cli
