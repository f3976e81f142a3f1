// Appearances made from a form field's value, for the widgets the plan marks: their inputs read
// from the document (inherited through "Parent", falling back to the form's), their font found in
// the default resources, and their content laid out.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "load/doc.h"
#include "plan/plan.h"

namespace kestrin::generate {

// A form XObject's worth: content for the box [0 0 width height], the Matrix that turns that box
// onto the widget's rectangle (MK R), and the one font it names, if any.
struct generated_appearance {
    std::string content;
    double width = 0;
    double height = 0;
    std::array<double, 6> matrix{1, 0, 0, 1, 0, 0};
    std::string font_name;   // the resource name the content's Tf uses; empty: it shows no text
    std::string font_value;  // the font: "N G R" or a dictionary; empty: the output's Helvetica
    std::int32_t substituted = 0;  // characters the font's encoding lacks, drawn as a substitute

    bool uses_output_helvetica() const { return !font_name.empty() && font_value.empty(); }
};

// The appearance of the widget of item, made from its field's value.
generated_appearance generate_field_appearance(const load::doc& d, const plan::flatten_plan& plan,
                                               const plan::plan_item& item);

// The appearances made for a plan, found by the index of their XObject in the plan.
struct generated_appearances {
    std::vector<generated_appearance> list;   // in XObject order
    std::vector<std::int32_t> list_index;     // xobjects index -> index in list; -1 when not generated

    // The appearance of the XObject at xobject, or null when it is not generated.
    const generated_appearance* find(std::size_t xobject) const
    {
        if (xobject >= list_index.size() || list_index[xobject] < 0) return nullptr;
        return &list[static_cast<std::size_t>(list_index[xobject])];
    }
};

// None: the writer's input when nothing is generated.
inline const generated_appearances no_appearances{};

// The appearance of each XObject the plan marks as generated. Numbers the output's Helvetica
// when an appearance draws with it.
generated_appearances generate_appearances(const load::doc& d, plan::flatten_plan& plan);

}  // namespace kestrin::generate
