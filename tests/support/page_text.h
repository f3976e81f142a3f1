// Where independent tools find text on rendered pages: the words of poppler's
// `pdftotext -cropbox -bbox` and the characters of MuPDF's `mutool draw -F stext`. Both place
// text in points from the top-left corner of the page as it is shown (crop box turned by the
// page's rotation), as shown_rect does.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "annotation_regions.h"

namespace kestrin::test {

struct placed_text {
    pdf_rect box;      // x0, y0 from the shown page's left and top edges
    std::string text;  // UTF-8
};

// One list per page, from page 1.
using page_texts = std::vector<std::vector<placed_text>>;

page_texts words_from_pdftotext(std::string_view xhtml);
page_texts characters_from_mutool(std::string_view xml);

// The text of the items whose centres lie inside box grown by margin on every side, in the
// order the tool printed them, without white space.
std::string text_within(const std::vector<placed_text>& items, const pdf_rect& box, double margin);

// text without ASCII white space.
std::string without_white_space(std::string_view text);

}  // namespace kestrin::test
