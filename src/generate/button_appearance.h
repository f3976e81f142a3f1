// The appearance of a check box or radio button that has none (ISO 32000-1 12.7.4.2.3, 12.5.6.19
// MK): the MK BG and BC frame and, when on, the MK CA caption in ZapfDingbats.
#pragma once

#include <string>
#include <string_view>

#include "generate/default_appearance.h"
#include "generate/widget_frame.h"

namespace kestrin::generate {

enum class button_kind { check_box, radio };

// The ZapfDingbats code of the caption a check box without MK CA shows: the check mark a19, what
// viewers draw for such a box.
inline constexpr char check_mark_caption = '3';

struct button_request {
    button_kind kind = button_kind::check_box;
    double width = 0;   // the box, after any MK R rotation swapped width and height
    double height = 0;
    bool on = false;
    // MK CA: ZapfDingbats codes, one byte each. Empty: a check box shows the check mark, a radio a
    // filled circle drawn as a path.
    std::string caption;
    std::string font_resource;  // the name the caption's ZapfDingbats font has in the resources
    double font_size = 0;       // DA's size; 0 sizes the caption to the box
    colour caption_colour;      // DA's colour
    widget_colours colours;
    border frame_border;
};

struct button_appearance {
    std::string content;
    bool uses_font = false;  // the content shows text in font_resource
    double font_size = 0;    // the caption's size, when it shows one
};

// Off draws the frame alone; on draws the frame and the caption centred inside the border and
// clipped to it. A radio's frame is round, a check box's square.
button_appearance button_content(const button_request& request);

}  // namespace kestrin::generate
