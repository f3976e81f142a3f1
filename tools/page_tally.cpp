#include "page_tally.h"

#include <fstream>
#include <vector>

namespace kestrin_cli {

namespace {

bool is_alnum(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool is_space(char c) { return c == ' ' || c == '\n' || c == '\r'; }

// A window that starts with an entry cut after "/Type" keeps one byte of the white space that
// follows: the count reads any run alike, and a long run would be read again with every piece.
void shorten_cut_entry(std::string& window)
{
    constexpr std::string_view type = "/Type";
    if (!std::string_view(window).starts_with(type)) return;
    std::size_t v = type.size();
    while (v < window.size() && is_space(window[v])) ++v;
    if (v > type.size() + 1) window.erase(type.size() + 1, v - type.size() - 1);
}

}  // namespace

std::size_t count_decided_pages(std::string_view text, bool whole, long& pages)
{
    constexpr std::string_view type = "/Type";
    constexpr std::string_view page = "/Page";
    for (std::size_t at = text.find(type); at != std::string_view::npos; at = text.find(type, at + type.size())) {
        std::size_t v = at + type.size();
        while (v < text.size() && is_space(text[v])) ++v;
        // The byte after "/Page" must be seen before the match is decided.
        if (!whole && v + page.size() >= text.size()) return at;
        if (text.compare(v, page.size(), page) == 0 &&
            (v + page.size() >= text.size() || !is_alnum(text[v + page.size()])))
            ++pages;
    }
    if (whole) return text.size();
    // A "/Type" cut by the end starts in its last four bytes.
    const std::size_t may_begin = type.size() - 1;
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
    std::vector<char> piece(piece_size);
    for (bool end = false; !end;) {
        f.read(piece.data(), static_cast<std::streamsize>(piece_size));
        const auto got = static_cast<std::size_t>(f.gcount());
        end = got < piece_size;
        t.bytes += got;
        window.append(piece.data(), got);
        window.erase(0, count_decided_pages(window, end, t.pages));
        shorten_cut_entry(window);
    }
    if (f.bad()) return std::nullopt;
    return t;
}

}  // namespace kestrin_cli
