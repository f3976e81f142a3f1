// The document model: one loaded PDF held whole in memory, its object table, the arena of decoded
// object streams and the page list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/large_block.h"
#include "base/status.h"

namespace kestrin::load {

// Where one object's text lies: a range of the file, or a slice of a decoded object stream.
struct obj_entry {
    std::int32_t num = 0;
    std::int32_t gen = 0;
    std::int32_t hdr_pos = -1;     // first digit of N in "N G obj"; -1 inside an object stream
    std::int32_t dict_pos = -1;    // the "<<" opening the body, when the body is a dictionary
    std::int32_t stream_pos = -1;  // the keyword "stream"
    std::int32_t data_start = -1;
    std::int32_t data_end = -1;
    std::int32_t endobj_pos = -1;
    std::int32_t obj_end = -1;
    bool is_stream = false;
    bool in_object_stream = false;
    const char* text = nullptr;  // borrowed from the doc's arena; valid as long as the doc
    std::int32_t text_len = 0;
    std::int32_t container_pos = -1;  // inside an object stream: the header of that stream
};

// Entries of the object table: hundreds of thousands in a large file.
using entry_list = base::large_vector<obj_entry>;

// The object table. Lookups keep the meaning "first entry with the number" but are answered
// through an index that reindex() rebuilds whenever the entries change.
struct object_table {
    entry_list entries;
    base::large_vector<std::int32_t> first_index;  // object number -> position of its first entry, or -1

    void reindex();
    const obj_entry* find(std::int32_t num) const;
    std::int32_t count() const { return static_cast<std::int32_t>(entries.size()); }
    // A table that cannot grow loses the entry; loading goes on without it.
    void push(const obj_entry& e);
};

// Owned buffers of decoded object streams. Blocks never move, so entries may point into them.
struct arena {
    std::vector<base::large_block_owner> blocks;
    std::uint64_t total = 0;  // bytes held, for the per-document decoding limit

    // A new block of size bytes, or null when it cannot be had.
    char* allocate(std::uint64_t size);
};

// The range in which an object's dictionary is searched: text cut at the span's limit, and the
// index where the dictionary starts. Empty (start -1) when the object has no dictionary.
struct dict_span {
    std::string_view text;
    std::int32_t start = -1;
    explicit operator bool() const { return start >= 0; }
};

struct doc {
    base::large_block_owner data;
    std::int32_t len = 0;
    std::int32_t trailer_root = -1;
    std::int32_t trailer_info = -1;
    bool encrypted = false;
    // The file's permanent identifier, the first string of the newest trailer's "ID", as bytes;
    // empty when the file has none.
    std::string permanent_id;
    object_table objs;  // sorted by object number once loading is done
    load::arena arena;  // qualified, or the member would change what "arena" means here
    std::vector<std::int32_t> pages;  // page object numbers, in page order
    std::int32_t root = -1;
    std::int32_t info = -1;
    std::int32_t max_obj = 0;
    // Highest object number any object header of the file uses (also of objects left out of the
    // table), so that new objects never collide with a surviving reference.
    std::int32_t max_header_num = 0;

    std::string_view file() const { return {data.get(), static_cast<std::size_t>(len)}; }
    dict_span span_of(const obj_entry& e) const;
};

// The document at path, or why it cannot be loaded.
base::result<doc> load_document(const char* path);

// The name of an input given as bytes, in the loader's messages.
inline constexpr const char* memory_input_name = "(input bytes)";

// The document in length bytes at bytes (copied; the caller keeps its buffer), or why it cannot be
// loaded. Everything after reading is the same as for a file.
base::result<doc> load_document_bytes(const char* bytes, std::size_t length);

}  // namespace kestrin::load
