// The dictionary keys, names and keywords the library acts on, each spelled once.
#pragma once

#include <string_view>

namespace kestrin::scan {

namespace key {
inline constexpr std::string_view acroform = "AcroForm";
inline constexpr std::string_view annots = "Annots";
inline constexpr std::string_view appearance = "AP";
inline constexpr std::string_view appearance_state = "AS";
inline constexpr std::string_view bbox = "BBox";
inline constexpr std::string_view border = "Border";
inline constexpr std::string_view base_encoding = "BaseEncoding";
inline constexpr std::string_view base_font = "BaseFont";
inline constexpr std::string_view border_style = "BS";
inline constexpr std::string_view border_style_name = "S";    // in a border style dictionary
inline constexpr std::string_view dash_pattern = "D";         // in a border style dictionary
inline constexpr std::string_view characteristics = "MK";
inline constexpr std::string_view background_colour = "BG";  // in MK
inline constexpr std::string_view border_colour = "BC";       // in MK
inline constexpr std::string_view caption = "CA";             // in MK
inline constexpr std::string_view rotation = "R";             // in MK
inline constexpr std::string_view colour = "C";
inline constexpr std::string_view contents = "Contents";
inline constexpr std::string_view decode_parms = "DecodeParms";
inline constexpr std::string_view default_width = "DW";  // in a CIDFont
inline constexpr std::string_view default_appearance = "DA";
inline constexpr std::string_view default_resources = "DR";
inline constexpr std::string_view descendant_fonts = "DescendantFonts";
inline constexpr std::string_view differences = "Differences";
inline constexpr std::string_view encoding = "Encoding";
inline constexpr std::string_view encrypt = "Encrypt";
inline constexpr std::string_view field_type = "FT";
inline constexpr std::string_view field_flags = "Ff";
inline constexpr std::string_view fields = "Fields";
inline constexpr std::string_view first_char = "FirstChar";
inline constexpr std::string_view font_descriptor = "FontDescriptor";
inline constexpr std::string_view filter = "Filter";
inline constexpr std::string_view flags = "F";
inline constexpr std::string_view id = "ID";
inline constexpr std::string_view info = "Info";
inline constexpr std::string_view selected_indices = "I";  // of a list box
inline constexpr std::string_view ink_list = "InkList";
inline constexpr std::string_view ink_list_old = "VK";  // written by some early tools
inline constexpr std::string_view interior_colour = "IC";
inline constexpr std::string_view kids = "Kids";
inline constexpr std::string_view length = "Length";
inline constexpr std::string_view line = "L";
inline constexpr std::string_view line_old = "P";  // written by some early tools
inline constexpr std::string_view matrix = "Matrix";
inline constexpr std::string_view max_len = "MaxLen";
inline constexpr std::string_view need_appearances = "NeedAppearances";
inline constexpr std::string_view normal_appearance = "N";
inline constexpr std::string_view options = "Opt";
inline constexpr std::string_view pages = "Pages";
inline constexpr std::string_view parent = "Parent";
inline constexpr std::string_view predictor = "Predictor";
inline constexpr std::string_view prev = "Prev";
inline constexpr std::string_view quad_points = "QuadPoints";
inline constexpr std::string_view quadding = "Q";
inline constexpr std::string_view rect = "Rect";
inline constexpr std::string_view resources = "Resources";
inline constexpr std::string_view root = "Root";
inline constexpr std::string_view subtype = "Subtype";
inline constexpr std::string_view to_unicode = "ToUnicode";
inline constexpr std::string_view top_index = "TI";
inline constexpr std::string_view type = "Type";
inline constexpr std::string_view value = "V";
inline constexpr std::string_view vertices = "Vertices";
inline constexpr std::string_view width = "W";  // in a border style; in a CIDFont, its glyph widths
inline constexpr std::string_view widths = "Widths";
// In a font descriptor.
inline constexpr std::string_view ascent = "Ascent";
inline constexpr std::string_view descent = "Descent";
// Resource categories.
inline constexpr std::string_view ext_g_state = "ExtGState";
inline constexpr std::string_view font = "Font";
inline constexpr std::string_view xobject = "XObject";
// Entries of a form XObject that do not change how it draws.
inline constexpr std::string_view form_type = "FormType";
inline constexpr std::string_view decoded_length = "DL";
inline constexpr std::string_view xobject_name = "Name";
inline constexpr std::string_view last_modified = "LastModified";
inline constexpr std::string_view metadata = "Metadata";
inline constexpr std::string_view piece_info = "PieceInfo";
inline constexpr std::string_view struct_parent = "StructParent";
inline constexpr std::string_view struct_parents = "StructParents";
}  // namespace key

namespace name {
inline constexpr std::string_view annot = "Annot";
inline constexpr std::string_view button_field = "Btn";
inline constexpr std::string_view catalog = "Catalog";
inline constexpr std::string_view choice_field = "Ch";
inline constexpr std::string_view composite_font = "Type0";
inline constexpr std::string_view flate_decode = "FlateDecode";
inline constexpr std::string_view identity_horizontal = "Identity-H";  // a composite font's CMap
inline constexpr std::string_view form = "Form";
inline constexpr std::string_view object_stream = "ObjStm";
inline constexpr std::string_view off_state = "Off";
inline constexpr std::string_view page = "Page";
inline constexpr std::string_view text_field = "Tx";
inline constexpr std::string_view widget = "Widget";
inline constexpr std::string_view xref = "XRef";
}  // namespace name

namespace keyword {
inline constexpr std::string_view endobj = "endobj";
inline constexpr std::string_view endstream = "endstream";
inline constexpr std::string_view null = "null";
inline constexpr std::string_view true_value = "true";
inline constexpr std::string_view obj = "obj";
inline constexpr std::string_view reference = "R";
inline constexpr std::string_view startxref = "startxref";
inline constexpr std::string_view stream = "stream";
inline constexpr std::string_view trailer = "trailer";
}  // namespace keyword

// The operators of a CMap's data that delimit the sections the library reads.
namespace cmap_op {
inline constexpr std::string_view begin_codespace = "begincodespacerange";
inline constexpr std::string_view end_codespace = "endcodespacerange";
inline constexpr std::string_view begin_char = "beginbfchar";
inline constexpr std::string_view end_char = "endbfchar";
inline constexpr std::string_view begin_range = "beginbfrange";
inline constexpr std::string_view end_range = "endbfrange";
}  // namespace cmap_op

// Content-stream operators whose pairing decides where the page's old content ends.
namespace op {
inline constexpr std::string_view save = "q";
inline constexpr std::string_view restore = "Q";
inline constexpr std::string_view begin_text = "BT";
inline constexpr std::string_view end_text = "ET";
inline constexpr std::string_view begin_marked = "BMC";
inline constexpr std::string_view begin_marked_with_properties = "BDC";
inline constexpr std::string_view end_marked = "EMC";
inline constexpr std::string_view begin_image = "BI";
inline constexpr std::string_view image_data = "ID";
inline constexpr std::string_view end_image = "EI";
}  // namespace op

}  // namespace kestrin::scan
