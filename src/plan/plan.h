// The flatten plan: per page, which annotations are flattened, kept or dropped, and the numbers of
// the objects the output adds.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "base/status.h"
#include "load/doc.h"
#include "plan/form.h"
#include "plan/refs.h"

namespace kestrin::plan {

// What a flatten run draws into the pages: form fields, other annotations, or both.
enum class flatten_mode { forms, annotations, all };

// The caller's choices that change what is flattened, kept or removed. The defaults are the
// choices of the original calls (kestrin_all, kestrin_forms, kestrin_annotations).
struct plan_choices {
    flatten_mode mode = flatten_mode::all;
    bool keep_links = false;  // Link annotations stay working annotations
    // Only annotations with the Print flag are flattened. The others are kept as annotations
    // (keep_non_printing) or removed without being drawn; a non-printing field widget is always
    // removed with its form.
    bool print_only = false;
    bool keep_non_printing = false;
    // Text and choice widgets without an appearance, or all of them when the form says its
    // appearances are stale, get one made from their value; check boxes and radio buttons whose
    // appearance lacks their state get one made from it.
    bool generate_appearances = true;
};

enum annot_kind : std::int32_t {
    kind_none = 0,
    kind_text = 1,
    kind_highlight = 2,
    kind_underline = 3,
    kind_squiggly = 4,
    kind_strikeout = 5,
    kind_freetext = 6,
    kind_link = 7,
    kind_stamp = 8,
    kind_ink = 9,
    kind_line = 10,
    kind_square = 11,
    kind_circle = 12,
    kind_polygon = 13,
    kind_polyline = 14,
    kind_caret = 15,
    kind_fileattachment = 16,
    kind_3d = 17,
    kind_signature = 18,
};

struct page_plan {
    std::int32_t page_obj = 0;
    std::int32_t item_count = 0;
    std::int32_t first_item = 0;
    bool annots_changed = false;
    std::vector<annotation_ref> kept;  // every annotation that stays, in "Annots" order
    bool needs_content = false;
    std::int32_t content_obj = 0;  // number of the new content stream, when it needs one
};

// One flattened annotation of one page.
struct plan_item {
    std::int32_t obj = 0;     // 0 for a dictionary written in "Annots" itself
    std::string_view direct;  // that dictionary's text
    bool is_field = false;
    bool is_annot = false;
    std::int32_t kind = kind_none;
    double x = 0, y = 0, w = 0, h = 0;  // the rectangle; all 0 when it cannot be read
    std::int32_t ap_obj = -1;
    bool hidden = false;  // "F" has the Hidden bit: removed, but nothing is drawn
    bool generate = false;  // a widget drawn through an appearance made from its value
};

// What fallback pictures draw with besides the page itself: the translucent graphics state of
// Highlight marks and the Helvetica of FreeText texts. They use no other resource.
struct fallback_resources {
    bool translucent_state = false;
    bool font = false;
};

// One form XObject made from an appearance stream, for the item that first places it.
struct xobject_entry {
    std::int32_t obj = 0;     // its number in the output
    std::int32_t ap_obj = 0;  // the appearance stream it is made from; 0 when generated
    std::int32_t item = 0;    // index in items
    bool generated = false;   // made from the field's value instead of an appearance stream
};

struct flatten_plan {
    flatten_mode mode = flatten_mode::all;
    std::optional<form_location> form;  // the catalog's interactive form, when it names one
    std::vector<page_plan> pages;       // one per page, in page order
    base::large_vector<plan_item> items;
    base::large_vector<std::uint8_t> dropped;  // one byte per object number 0..max_obj; 1 = left out
    std::vector<xobject_entry> xobjects;
    std::vector<std::int32_t> xobject_of_item;  // items index -> xobjects index placing it, or -1
    // Helvetica of the fallback texts and of generated appearances whose font the form lacks; 0
    // when nothing uses it.
    std::int32_t font_obj = 0;
    std::int32_t gs_obj = 0;        // the translucent graphics state of fallback pictures; 0 likewise
    std::int32_t next_free_obj = 0;  // the first number no input or new object uses

    bool is_dropped(std::int32_t num) const
    {
        return num >= 0 && static_cast<std::size_t>(num) < dropped.size() &&
               dropped[static_cast<std::size_t>(num)] != 0;
    }
    // The XObject placing item, or null.
    const xobject_entry* xobject_of(std::int32_t item) const;
    // What the fallback pictures of items [first, first + count) use: those of the items shown
    // that no XObject places.
    fallback_resources fallback_resources_of(std::int32_t first, std::int32_t count) const;
};

// Numbers the Helvetica font object when nothing numbered it yet: for generated appearances,
// which learn whether they need it only once they read their field's fonts.
void number_font(flatten_plan& plan);

// The dictionary of the item's annotation: its object's, or the one written in "Annots".
load::dict_span annotation_dictionary(const load::doc& d, const plan_item& item);

// The plan for d in the given mode, or the page that cannot be read.
base::result<flatten_plan> make_plan(const load::doc& d, flatten_mode mode);

// The plan for d with the caller's choices; with only a mode, the same plan as above.
base::result<flatten_plan> make_plan(const load::doc& d, const plan_choices& choices);

// True when an occurrence of the key "Subtype" at or after start has the value /name.
bool text_has_subtype(std::string_view text, std::int32_t start, std::string_view name);

}  // namespace kestrin::plan
