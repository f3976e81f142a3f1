// The tokens of a content stream, as far as the library reads them: operators and numbers
// (regular tokens) apart from strings, names, arrays and dictionaries, with comments and inline
// image data passed over.
#pragma once

#include <cstdint>
#include <string_view>

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

// Index past the "EI" that ends the inline image whose dictionary starts at pos (after "BI").
// Image data is binary: "EI" counts only with white space before it and a token break after it.
std::int32_t skip_inline_image(std::string_view s, std::int32_t pos);

// Number of "q" operators that content leaves open (strings, comments and inline images skipped;
// a stray "Q" never takes the count below zero).
std::int32_t open_q_count(std::string_view content);

}  // namespace kestrin::scan
