// The tokens of a content stream, as far as the library reads them: operators and numbers
// (regular tokens) apart from strings, names, arrays and dictionaries, with comments and inline
// image data passed over.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestrin::scan {

// One lexical token of a content stream: [start, end), regular when it is an operator or number.
struct token {
    std::int32_t start = 0;
    std::int32_t end = 0;
    bool regular = false;
};

// The token at or after pos (white space and comments skipped); start == end == the text's size
// at its end. A string, hex string or name left open runs to the end of the text.
token next_token(std::string_view s, std::int32_t pos);

// True when t is the regular token word.
bool token_is(std::string_view s, const token& t, std::string_view word);

// Index past the "EI" that ends the inline image whose dictionary starts at pos (after "BI"), or
// the text's size. "ID" counts outside the dictionary's nested arrays and dictionaries only. Image
// data is binary: "EI" counts only with white space before it and a token break after it.
std::int32_t skip_inline_image(std::string_view s, std::int32_t pos);

// How a content stream ends, read the way viewers read it: operators count only outside strings,
// comments, arrays, dictionaries and inline images.
struct content_ending {
    // "q" operators left open.
    std::int32_t open_q = 0;
    // Positions of the "Q" operators that have no "q" to restore. Viewers ignore them; inside a
    // wrapping "q" they would restore the wrapper's state instead.
    std::vector<std::int32_t> stray_q;
    // Text that closes what the content leaves open, innermost first: a literal or hex string,
    // arrays and dictionaries, an inline image, marked-content sequences and a text object. It is
    // meant to follow a line feed, which ends an open comment or name and a pending escape.
    std::string closing;
};

content_ending read_content_ending(std::string_view content);

// True when every token from pos to the end of content is the operator "Q".
bool only_restores_from(std::string_view content, std::int32_t pos);

}  // namespace kestrin::scan
