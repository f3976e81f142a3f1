// The state of one output writer: what it reads (the document and the plan, both const) and
// what it builds. Every step of the writer works on it; the functions live in the steps' files.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/byte_buffer.h"
#include "base/digest.h"
#include "base/output_sink.h"
#include "emit/resources.h"
#include "generate/field_appearance.h"
#include "load/doc.h"
#include "plan/plan.h"
#include "scan/value.h"

namespace kestrin::emit {

// The frame of an appearance: its box (BBox, else 0 0 w h of the annotation's rectangle, so that
// nothing is clipped) and its Matrix (identity when absent or unreadable).
struct appearance_frame {
    scan::box bbox;
    std::array<double, 6> matrix{1, 0, 0, 1, 0, 0};
};

// How the compact output writes the form XObject of one appearance.
enum class compact_form : std::uint8_t {
    as_default,   // decoded and written plain in its clip, as the default output does
    appearance,   // the appearance object itself serves: nothing is written
    stored_copy,  // a new XObject with the appearance's stored data, Filter and DecodeParms
};

// The old content of a changed page, as the page step found it.
struct old_content {
    std::vector<std::int32_t> pieces;  // stream objects of "Contents", in order
    std::string_view inline_data;      // stored data of a stream written inline in "Contents"
    // Some piece is in a form we do not decode: every piece stays referenced from the page.
    bool by_reference = false;
    // Compact output: the pieces stay referenced as they are, after leading_q references to the
    // stream "q\n", and the new stream starts with ending, which closes what they leave open.
    // leading_q is 0 when the pieces hold no content: they are left out.
    bool in_place = false;
    std::int32_t leading_q = 0;
    std::string ending;
    // The old content as the new stream starts, kept from the page step so that it is decoded
    // once; absent when it is by reference or the writer holds too much already.
    std::optional<std::string> block;
};

// The object being written: once it is complete it is checked the way the loader will frame it.
struct open_object {
    bool open = false;
    std::uint64_t start = 0;      // index in out of its header
    std::uint64_t body = 0;       // index in out just past its header
    std::int64_t stream_kw = -1;  // index in out of its keyword "stream"; -1 for a plain object
    std::int32_t num = 0;
    std::int32_t gen = 0;
};

// How far under its buffer's capacity a piece of output is handed on: a little, so that the
// buffer is handed on before its block fills, instead of doubling to hold one more object.
inline constexpr std::uint64_t piece_slack = std::uint64_t{64} << 10;
inline constexpr std::uint64_t default_piece_size = (std::uint64_t{1} << 20) - piece_slack;

struct writer {
    writer(const load::doc& d, const plan::flatten_plan& p,
           const generate::generated_appearances& g = generate::no_appearances, bool compact_output = false)
        : doc(d), plan(p), generated(g), compact(compact_output)
    {
    }

    const load::doc& doc;
    const plan::flatten_plan& plan;
    const generate::generated_appearances& generated;
    const bool compact;
    std::vector<compact_form> compact_forms;  // compact output: per xobjects index, settled first
    // Compact output: per input object number, 1 when the output refers to it; empty: all are.
    base::large_vector<std::uint8_t> referenced;
    base::byte_buffer out;
    base::large_vector<std::int32_t> offsets;  // object number -> byte offset in out, -1 when unused
    std::unordered_map<std::int32_t, std::int32_t> plan_of_page;  // page object -> first plan
    base::large_vector<std::optional<appearance_frame>> frames;  // xobjects index -> its frame once written
    std::vector<old_content> contents;                    // one per page plan
    std::vector<std::optional<std::string>> page_texts;   // per page plan: its new dictionary
    std::vector<page_names> names;                        // per page plan: what its new content names
    std::uint64_t held_blocks = 0;                        // bytes of the contents' blocks
    overrides replaced;     // input objects written with another text
    pending_merges merges;  // entries for resources and category objects, until every page is done
    open_object current;
    // Shared stream "q\n" before undecodable old content, or old content kept in place; 0 when unused.
    std::int32_t q_obj = 0;
    // Where finished objects go once out has grown past a few MiB; null when the output is built
    // whole and written at the end.
    base::output_sink* sink = nullptr;
    std::uint64_t piece_size = default_piece_size;  // the size of those pieces, about
    base::file_digest handed_on;  // digest of the bytes given to sink, in order
};

}  // namespace kestrin::emit
