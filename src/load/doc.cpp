#include "load/doc.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <limits>
#include <new>
#include <sys/types.h>

#include "interface/error.h"
#include "load/beside.h"
#include "load/pages.h"
#include "load/stages.h"

namespace kestrin::load {

using interface::set_error;

void objvec::reindex()
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

const obj_entry* objvec::find(std::int32_t num) const
{
    if (num <= 0 || static_cast<std::size_t>(num) >= first_index.size()) return nullptr;
    std::int32_t i = first_index[static_cast<std::size_t>(num)];
    if (i < 0 || i >= count()) return nullptr;
    return &entries[static_cast<std::size_t>(i)];
}

void objvec_push(objvec& v, const obj_entry& e)
{
    // A table that cannot grow loses the object; loading goes on without it.
    try {
        v.entries.push_back(e);
    } catch (const std::bad_alloc&) {
    }
}

char* arena_alloc(arena& a, std::uint64_t size)
{
    if (size == 0 || size > std::numeric_limits<std::size_t>::max()) return nullptr;
    std::unique_ptr<char[]> block(new (std::nothrow) char[static_cast<std::size_t>(size)]);
    if (!block) return nullptr;
    try {
        a.blocks.push_back(std::move(block));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    a.total += size;
    return a.blocks.back().get();
}

void pagevec_push(pagevec& v, const pageinfo& p)
{
    try {
        v.items.push_back(p);
    } catch (const std::bad_alloc&) {
    }
}

dict_span doc::span_of(const obj_entry& e) const
{
    if (e.in_objstm) {
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

void doc_free(doc& d) { d = doc{}; }

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
    if (static_cast<std::uint64_t>(length) < min_file_beside) return read_range(fd, to, 0, length);
    const std::int64_t half = length / 2;
    bool first = false;
    bool second = false;
    run_beside([&] { second = read_range(fd, to + half, half, length - half); },
               [&] { first = read_range(fd, to, 0, half); });
    return first && second;
}

int read_file(const char* path, doc& d)
{
    if (path == nullptr) {
        set_error("NULL path argument");
        return -1;
    }
    file_ptr f(std::fopen(path, "rb"));
    if (!f) {
        set_error("cannot open %s", path);
        return -1;
    }
    std::int64_t length = file_length(f.get());
    if (length < 1) {
        set_error("empty input file: %s", path);
        return -1;
    }
    // Every offset of the document is a 32-bit signed index.
    if (length > std::numeric_limits<std::int32_t>::max()) {
        set_error("input file too large: %s", path);
        return -1;
    }
    d.data.reset(new (std::nothrow) char[static_cast<std::size_t>(length)]);
    if (!d.data) {
        set_error("read error on %s", path);
        return -1;
    }
    if (!read_whole(f.get(), d.data.get(), length)) {
        d.data.reset();
        set_error("read error on %s", path);
        return -1;
    }
    d.len = static_cast<std::int32_t>(length);
    return 0;
}

int check_table(const doc& d, const char* path)
{
    std::int32_t limit = d.len < max_object_number + 1 ? d.len : max_object_number + 1;
    if (d.max_obj > limit) {
        set_error("object number %ld out of range for a %ld-byte file",
                  static_cast<long>(d.max_obj), static_cast<long>(d.len));
        return -1;
    }
    if (d.objs.entries.empty()) {
        set_error("no PDF objects found \xE2\x80\x94 not a PDF: %s", path);
        return -1;
    }
    if (d.encrypted) {
        set_error("encrypted PDFs are not supported: %s", path);
        return -1;
    }
    return 0;
}

}  // namespace

int doc_load(const char* path, doc& d)
{
    d = doc{};
    if (read_file(path, d) != 0) return -1;
    read_trailers(d);
    keyword_marks marks;
    scan_objects(d, marks);
    measure_streams(d, marks);
    prune_objects(d);
    unpack_object_streams(d);
    select_objects(d);
    if (check_table(d, path) != 0) return -1;
    find_catalog(d);
    return resolve_page_tree(d);
}

}  // namespace kestrin::load
