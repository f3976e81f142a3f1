// The object check: every object the writer finishes is held to rules under which the loader
// frames it exactly as written, and says what the loader read from the input (its page-tree type,
// a node's kids, the catalog's page tree); an object that fails is written again in a normalised
// form. Also the text helpers that keep copied text from framing objects of its own.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "emit/writer.h"

namespace kestrin::emit {

// Checks the open object, complete now, as the loader will frame it in the output: it must take
// exactly the object written and keep what the loader read from the input: its page-tree type, a
// node's kids, the catalog's page tree. An object that fails is written again in a normalised
// form: every framing keyword blanked, its dictionary closed, that meaning stated and its
// stream's length written directly first. This holds whatever text a damaged input brings; the
// checks are cheap for objects that need no change.
void check_open_object(writer& w);

// How the loader frames an object written as text (header at 0, body from index body, keyword
// "stream" at stream_kw or -1, ending "\nendobj\n" or "\nendstream\nendobj\n"): true when it
// takes exactly that object, its stream data included, whatever is written around it.
bool frames_as_written(std::string_view text, std::int32_t body, std::int32_t stream_kw);

// Removes every "Length" of a stream dictionary: a reader takes the first it can read, so one
// left behind could override the length added after.
void strip_every_length(std::string& dict);

// Whether text holds bytes of a framing keyword ("obj" or "stream"): a cheap test before the
// exact ones.
bool may_hold_framing_keyword(std::string_view text);

// Whether text holds a framing keyword as a whole word, as the loader finds them.
bool holds_framing_keyword(std::string_view text);

// text with no framing keyword left: blanked out where they stand in the open (comments
// included), escaped inside literal strings.
std::string blank_framing_keywords(std::string_view text);

// Appends what closes the dictionaries text leaves open (and a string left open inside them).
void close_dictionaries(std::string& text);

// body, or a copy in scratch that closes the dictionary body opens and leaves open.
std::string_view closed_text(std::string_view body, std::string& scratch);

// Text of a dictionary or value as it may stand in an output object: when it holds keywords that
// frame objects ("N G obj", "endobj", "stream", "endstream"), a copy with them blanked out, or
// escaped inside strings so that no value changes. A damaged input can put such bytes anywhere.
std::string_view with_framing_keywords_blanked(std::string_view text, std::string& scratch);

// For a copy of an object the page tree counts (type an answer of scan::obj_type): when a reader
// would no longer find that type in text (a damaged dictionary that was rebuilt or cut), it is
// stated first.
void keep_type(std::string& text, int type);

}  // namespace kestrin::emit
