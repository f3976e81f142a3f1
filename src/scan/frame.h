// Object and stream framing: dictionary ends, the "stream" keyword, page-object types, "Length".
#pragma once

#include <cstdint>
#include <string_view>

namespace kestrin::scan {

// Index of the first '>' of the ">>" closing the dictionary opened by the first "<<" at or after
// start; -1 when none before stop (stop is also cut to text.size()).
std::int32_t find_dict_close(std::string_view text, std::int32_t start, std::int32_t stop);

// Index of the keyword "stream" that follows the dictionary opened at pos, or -1.
std::int32_t dict_stream_kw(std::string_view text, std::int32_t pos);

// The answers of obj_type.
inline constexpr int type_other = 0;
inline constexpr int type_page = 1;            // "/Type /Page"
inline constexpr int type_page_tree_node = 2;  // "/Type /Pages"

// Page type of the dictionary span [start, text.size()): type_page, type_page_tree_node or
// type_other. The caller passes the object's dictionary span (see load::doc::dict_span); start < 0
// gives type_other.
int obj_type(std::string_view span, std::int32_t start);

// "Length" of a stream dictionary in [start, stop): sets at most one of the outputs; the other
// stays -1. ref_num is the object number of an indirect length.
void parse_length(std::string_view text, std::int32_t start, std::int32_t stop,
                  std::int32_t& direct_len, std::int32_t& ref_num);

// The offset after the file's last "startxref", or -1 when there is none or it lies outside the
// file.
std::int32_t last_startxref_offset(std::string_view file);

}  // namespace kestrin::scan
