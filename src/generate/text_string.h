// Text strings (ISO 32000-1 7.9.2.2; ISO 32000-2 adds UTF-8): the characters of a string's bytes,
// after its literal or hex escapes are undone.
#pragma once

#include <string>
#include <string_view>

namespace kestrin::generate {

// The characters of a text string: UTF-16BE after FE FF, UTF-8 after EF BB BF, else PDFDocEncoding.
// What cannot be read (a lone surrogate, an odd last byte, a malformed UTF-8 sequence, a code that
// PDFDocEncoding leaves undefined) becomes U+FFFD; NUL characters and the language escapes of
// UTF-16 (U+001B, a language code, U+001B) are dropped, as nothing shows them.
std::u32string decode_text_string(std::string_view bytes);

}  // namespace kestrin::generate
