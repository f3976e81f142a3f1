#include "load/doc.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <vector>
#include <sys/types.h>

#include "base/two_threads.h"
#include "load/pages.h"
#include "load/stages.h"

namespace kestrin::load {

void object_table::reindex()
{
    std::int32_t top = 0;
    for (const obj_entry& e : entries)
        if (e.num > top && e.num <= max_object_number) top = e.num;
    first_index.assign(static_cast<std::size_t>(top) + 1, -1);
    for (std::int32_t i = 0; i < count(); ++i) {
        std::int32_t num = entries[static_cast<std::size_t>(i)].num;
        if (num <= 0 || num > max_object_number) continue;
        std::int32_t& slot = first_index[static_cast<std::size_t>(num)];
        if (slot < 0) slot = i;
    }
}

const obj_entry* object_table::find(std::int32_t num) const
{
    if (num <= 0 || static_cast<std::size_t>(num) >= first_index.size()) return nullptr;
    std::int32_t i = first_index[static_cast<std::size_t>(num)];
    if (i < 0 || i >= count()) return nullptr;
    return &entries[static_cast<std::size_t>(i)];
}

void object_table::push(const obj_entry& e)
{
    try {
        entries.push_back(e);
    } catch (const std::bad_alloc&) {
    }
}

char* arena::allocate(std::uint64_t size)
{
    if (size == 0 || size > std::numeric_limits<std::size_t>::max()) return nullptr;
    base::large_block_owner block = base::allocate_large_block(static_cast<std::size_t>(size));
    if (!block) return nullptr;
    try {
        blocks.push_back(std::move(block));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    total += size;
    return blocks.back().get();
}

dict_span doc::span_of(const obj_entry& e) const
{
    if (e.in_object_stream) {
        if (e.text == nullptr || e.text_len <= 0) return {};
        return {std::string_view(e.text, static_cast<std::size_t>(e.text_len)), 0};
    }
    if (e.dict_pos < 0 || e.dict_pos >= len) return {};
    std::int32_t limit = len;
    if (e.stream_pos > 0)
        limit = e.stream_pos;
    else if (e.endobj_pos > 0)
        limit = e.endobj_pos;
    if (limit < e.dict_pos || limit > len) return {};
    return {file().substr(0, static_cast<std::size_t>(limit)), e.dict_pos};
}

namespace {

struct file_closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using file_ptr = std::unique_ptr<std::FILE, file_closer>;

// Length of an open file, or -1 when it cannot be measured.
std::int64_t file_length(std::FILE* f)
{
    if (fseeko(f, 0, SEEK_END) != 0) return -1;
    off_t end = ftello(f);
    if (end < 0 || fseeko(f, 0, SEEK_SET) != 0) return -1;
    return static_cast<std::int64_t>(end);
}

// Reads length bytes at offset at of the file into to; false on an error or an early end.
bool read_range(int fd, char* to, std::int64_t at, std::int64_t length)
{
    while (length > 0) {
        const ssize_t got = pread(fd, to, static_cast<std::size_t>(length), static_cast<off_t>(at));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        to += got;
        at += got;
        length -= got;
    }
    return true;
}

// A large file is read in two halves at once: the kernel's copy into fresh memory comes before
// every other step, and two threads take about half its time.
bool read_whole(std::FILE* f, char* to, std::int64_t length)
{
    const int fd = fileno(f);
    if (static_cast<std::uint64_t>(length) < base::min_bytes_for_two_threads) return read_range(fd, to, 0, length);
    const std::int64_t half = length / 2;
    bool first = false;
    bool second = false;
    base::run_on_two_threads([&] { second = read_range(fd, to + half, half, length - half); },
               [&] { first = read_range(fd, to, 0, half); });
    return first && second;
}

base::status read_file(const char* path, doc& d)
{
    using base::status;
    if (path == nullptr) return status::failure("NULL path argument");
    file_ptr f(std::fopen(path, "rb"));
    if (!f) return status::failure(std::string("cannot open ") + path);
    std::int64_t length = file_length(f.get());
    if (length < 1) return status::failure(std::string("empty input file: ") + path);
    // Every offset of the document is a 32-bit signed index.
    if (length > std::numeric_limits<std::int32_t>::max())
        return status::failure(std::string("input file too large: ") + path);
    d.data = base::allocate_large_block(static_cast<std::size_t>(length));
    if (!d.data || !read_whole(f.get(), d.data.get(), length)) {
        d.data.reset();
        return status::failure(std::string("read error on ") + path);
    }
    d.len = static_cast<std::int32_t>(length);
    return status::success();
}

base::status check_table(const doc& d, const char* path)
{
    using base::status;
    std::int32_t limit = d.len < max_object_number + 1 ? d.len : max_object_number + 1;
    if (d.max_obj > limit)
        return status::failure("object number " + std::to_string(d.max_obj) + " out of range for a " +
                               std::to_string(d.len) + "-byte file");
    if (d.objs.entries.empty())
        return status::failure(std::string("no PDF objects found \xE2\x80\x94 not a PDF: ") + path);
    if (d.encrypted) return status::failure(std::string("encrypted PDFs are not supported: ") + path);
    return status::success();
}

// Entries with distinct numbers placed by number in one pass, or false when numbers repeat.
bool place_by_number(doc& d)
{
    entry_list& entries = d.objs.entries;
    std::vector<std::int32_t> at(static_cast<std::size_t>(std::max(d.max_obj, 0)) + 1, -1);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::int32_t num = entries[i].num;
        if (num < 0 || num > d.max_obj || at[static_cast<std::size_t>(num)] >= 0) return false;
        at[static_cast<std::size_t>(num)] = static_cast<std::int32_t>(i);
    }
    entry_list placed;
    placed.reserve(entries.size());
    for (std::int32_t i : at)
        if (i >= 0) placed.push_back(entries[static_cast<std::size_t>(i)]);
    entries = std::move(placed);
    return true;
}

// The output copies objects in the table's order, so the table ends sorted by number.
void sort_by_number(doc& d)
{
    const auto by_number = [](const obj_entry& a, const obj_entry& b) { return a.num < b.num; };
    if (std::is_sorted(d.objs.entries.begin(), d.objs.entries.end(), by_number)) return;
    if (!place_by_number(d)) std::stable_sort(d.objs.entries.begin(), d.objs.entries.end(), by_number);
    d.objs.reindex();
}

// Everything after the bytes are in d; path names the input in messages.
base::result<doc> load_read_document(doc d, const char* path)
{
    read_trailers(d);
    xref_table xref = read_xref(d);
    keyword_marks marks;
    scan_objects(d, marks);
    check_xref_headers(d, marks, xref);
    std::vector<std::int32_t> unresolved;
    measure_streams(d, marks, unresolved);
    prune_objects(d);
    unpack_object_streams(d);
    if (remeasure_streams(d, marks, unresolved)) prune_objects(d);
    select_objects(d, xref);
    if (base::status checked = check_table(d, path); !checked) return checked;
    find_catalog(d);
    if (base::status walked = resolve_page_tree(d); !walked) return walked;
    sort_by_number(d);
    return d;
}

}  // namespace

base::result<doc> load_document(const char* path)
{
    doc d;
    if (base::status read = read_file(path, d); !read) return read;
    return load_read_document(std::move(d), path);
}

base::result<doc> load_document_bytes(const char* bytes, std::size_t length)
{
    using base::status;
    if (bytes == nullptr && length > 0) return status::failure("NULL input buffer with a non-zero length");
    if (length < 1) return status::failure("empty input buffer");
    if (length > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
        return status::failure("input buffer too large: " + std::to_string(length) +
                               " bytes (the limit is 2 GiB - 1)");
    doc d;
    d.data = base::allocate_large_block(length);
    if (!d.data) return status::failure("out of memory");
    std::memcpy(d.data.get(), bytes, length);
    d.len = static_cast<std::int32_t>(length);
    return load_read_document(std::move(d), memory_input_name);
}

}  // namespace kestrin::load
