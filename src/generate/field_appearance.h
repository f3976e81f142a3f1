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

// One entry per XObject of the plan: the appearance of each generated one, empty for the others.
// Numbers the output's Helvetica when an appearance draws with it.
std::vector<generated_appearance> generate_appearances(const load::doc& d, plan::flatten_plan& plan);

}  // namespace kestrin::generate
