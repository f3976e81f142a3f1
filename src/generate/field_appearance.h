// Appearances made from a form field's value, for the widgets the plan marks: their inputs read
// from the document (inherited through "Parent", falling back to the form's), their font found in
// the default resources, and their content laid out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "load/doc.h"
#include "plan/plan.h"

namespace kestrin::generate {

// A form XObject's worth: content for the box [0 0 width height] and the one font it names.
struct generated_appearance {
    std::string content;
    double width = 0;
    double height = 0;
    std::string font_name;   // the resource name the content's Tf uses
    std::string font_value;  // the form's font: "N G R" or a dictionary; empty: the output's Helvetica
    std::int32_t substituted = 0;  // characters the font's encoding lacks, drawn as a substitute
};

// The appearance of the widget of item, made from its field's value.
generated_appearance generate_field_appearance(const load::doc& d, const plan::flatten_plan& plan,
                                               const plan::plan_item& item);

// One entry per XObject of the plan: the appearance of each generated one, empty for the others.
// Numbers the output's Helvetica when an appearance draws with it.
std::vector<generated_appearance> generate_appearances(const load::doc& d, plan::flatten_plan& plan);

}  // namespace kestrin::generate
