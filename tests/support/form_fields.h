// The widgets of a form's terminal fields as an independent tool reads them: qpdf's JSON
// (version 2 with the keys acroform, pages and qpdf) gives each field's type, flags, value and
// appearance state as qpdf inherits them through Parent; the widget's rectangle, MK and normal
// appearance, and a choice field's options, are read from the objects of the same JSON.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "annotation_regions.h"
#include "json_reader.h"

namespace kestrin::test {

enum class field_kind { text, password, combo_box, list_box, check_box, radio, push_button, other };

// "text", "combo box", ...
const char* field_kind_name(field_kind kind);

struct field_widget {
    std::string field;   // the field's full name
    std::string widget;  // the widget annotation, "12 0 R"
    field_kind kind = field_kind::other;
    int page = 0;  // from 1; 0 when the widget is on no page
    std::optional<pdf_rect> rect;
    // Text and choice fields: each value as UTF-8, a choice by the display string its options give
    // it; a list box may hold several. Values that are not text strings are left out.
    std::vector<std::string> values;
    // "12 0 R" when the value is a text stream, whose bytes the JSON does not hold.
    std::string value_stream;
    // Buttons: the appearance state (AS) and the value (V) without the slash; empty when absent.
    std::string state, value_state;
    // The state names of the normal appearance: nullopt without /AP /N, empty when /N is one stream.
    std::optional<std::vector<std::string>> appearance_states;
    std::optional<std::array<double, 3>> background;  // MK BG as red, green, blue in 0..1
    int rotation = 0;                                 // MK R
};

struct form_reading {
    bool need_appearances = false;
    std::vector<field_widget> widgets;  // in qpdf's order
};

// nullopt when the JSON is not qpdf's version 2 with acroform and qpdf.
std::optional<form_reading> form_from_qpdf_json(const json_value& json);

// Whether a button widget shows an on state: AS names one that is not Off, or, without AS, V
// names one that the widget's appearance has (or the widget has no states to choose from).
bool button_is_on(const field_widget& w);

// The UTF-8 text of a PDF text string's bytes: UTF-16BE or UTF-8 after their byte order marks,
// else PDFDocEncoding (taken as Latin-1, which it matches in every printable code but a few
// typographic marks).
std::string text_string_to_utf8(std::string_view bytes);

}  // namespace kestrin::test
