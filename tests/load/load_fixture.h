// Loading of PDF bytes written by the tests, and small readers of the resulting table.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "load/doc.h"
#include "load/stages.h"
#include "pdf_builder.h"

namespace kestrin::test {

// The file with its "startxref" pointing at the file's first byte, where no cross-reference
// section stands: the cross-reference data is damaged, so the scan alone decides.
inline std::string scan_only(std::string bytes)
{
    const std::size_t at = bytes.rfind("startxref");
    if (at == std::string::npos) return bytes;
    const std::size_t digits = bytes.find_first_of("0123456789", at);
    const std::size_t end = bytes.find_first_not_of("0123456789", digits);
    bytes.replace(digits, end - digits, std::string(end - digits, '0'));
    return bytes;
}

// A document loaded from bytes; the record is released at scope exit.
struct loaded_doc {
    temp_dir dir;
    std::string path;
    load::doc d;
    int rc = 0;
    std::string error;

    explicit loaded_doc(std::string_view bytes, std::string_view name = "in.pdf")
    {
        path = dir.write(name, bytes);
        base::result<load::doc> loaded = load::load_document(path.c_str());
        rc = loaded ? 0 : -1;
        error = loaded.message();
        if (loaded) d = std::move(loaded.value());
    }
    loaded_doc(const loaded_doc&) = delete;
    loaded_doc& operator=(const loaded_doc&) = delete;

    const load::obj_entry* obj(std::int32_t num) const { return d.objs.find(num); }

    // The object's text: its decoded slice, or the file from after "obj" to "endobj".
    std::string text(std::int32_t num) const
    {
        const load::obj_entry* e = obj(num);
        if (e == nullptr) return "<missing>";
        if (e->in_object_stream) return std::string(e->text, static_cast<std::size_t>(e->text_len));
        std::int32_t end = e->endobj_pos >= 0 ? e->endobj_pos : d.len;
        return std::string(d.file().substr(static_cast<std::size_t>(e->hdr_pos),
                                           static_cast<std::size_t>(end - e->hdr_pos)));
    }

    std::string stream_data(std::int32_t num) const
    {
        const load::obj_entry* e = obj(num);
        if (e == nullptr || !e->is_stream) return "<no stream>";
        return std::string(d.file().substr(static_cast<std::size_t>(e->data_start),
                                           static_cast<std::size_t>(e->data_end - e->data_start)));
    }

    std::vector<std::int32_t> page_numbers() const
    {
        return d.pages;
    }
};

inline constexpr std::string_view pdf_head = "%PDF-1.4\n";

// A document holding bytes and nothing else yet: the input of the loader's first stages.
inline load::doc document_of(std::string_view bytes)
{
    load::doc d;
    d.data = base::allocate_large_block(bytes.size());
    std::copy(bytes.begin(), bytes.end(), d.data.get());
    d.len = static_cast<std::int32_t>(bytes.size());
    return d;
}

// Root, Info and the encryption flag as the trailer stage reads them from bytes.
inline load::doc trailers_of(std::string_view bytes)
{
    load::doc d = document_of(bytes);
    load::read_trailers(d);
    return d;
}

// Ends a hand-written file with "startxref" naming the section at section_pos.
inline std::string with_startxref(std::string body, std::size_t section_pos)
{
    return body + "startxref\n" + std::to_string(section_pos) + "\n%%EOF\n";
}

inline const char* const em_dash = "\xE2\x80\x94";

inline std::string no_objects_message(const std::string& path)
{
    return std::string("no PDF objects found ") + em_dash + " not a PDF: " + path;
}

inline std::string inline_kids_message()
{
    return std::string("page tree uses inline page dictionaries in /Kids ") + em_dash +
           " pages must be indirect objects";
}

inline std::string broken_tree_message(long root)
{
    return "could not resolve the page tree (obj " + std::to_string(root) +
           " is not a /Pages or /Page object, or tree is broken)";
}

}  // namespace kestrin::test
