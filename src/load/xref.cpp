// The cross-reference data: classic tables, cross-reference streams (/W, /Index, PNG predictors),
// /Prev chains and hybrid /XRefStm, merged newest section first. The scan stays the base: this
// table only vouches for headers the scan rejected and decides between definitions it found, and
// only where it is intact (see check_xref_headers).
#include <algorithm>
#include <cstdint>
#include <string_view>
#include <vector>

#include "decode/inflate.h"
#include "load/stages.h"
#include "scan/frame.h"
#include "scan/keys.h"
#include "scan/token.h"

namespace kestrin::load {

namespace {

using scan::byte_at;
using scan::is_digit;
using scan::kw_at;
using scan::skip_ws;

// A /Prev chain visits at most this many sections; a longer one is taken for a loop.
constexpr int max_sections = 1024;
// A cross-reference stream decodes to at most this many bytes.
constexpr std::uint64_t max_xref_stream_bytes = 64u << 20;

// The integer value of top-level key name of the dictionary [dict, close), or -1.
std::int32_t dict_int(std::string_view file, std::int32_t dict, std::int32_t close, std::string_view name)
{
    const std::int32_t key = scan::find_top_level_key(file, dict, close, name);
    if (key < 0) return -1;
    std::int32_t pos = scan::value_start(file, key, name);
    std::int32_t v = -1;
    if (pos >= close || !scan::read_unsigned(file, pos, v)) return -1;
    return v;
}

// Up to out.size() integers of the array value of key name; how many were read, or -1 when the
// value is no array of integers.
std::int32_t dict_ints(std::string_view file, std::int32_t dict, std::int32_t close, std::string_view name,
                       std::vector<std::int32_t>& out, std::size_t most)
{
    const std::int32_t key = scan::find_top_level_key(file, dict, close, name);
    if (key < 0) return -1;
    std::int32_t pos = scan::value_start(file, key, name);
    if (pos >= close || file[static_cast<std::size_t>(pos)] != '[') return -1;
    ++pos;
    out.clear();
    for (;;) {
        pos = skip_ws(file, pos);
        if (pos >= close) return -1;
        if (file[static_cast<std::size_t>(pos)] == ']') return static_cast<std::int32_t>(out.size());
        std::int32_t v = 0;
        if (out.size() >= most || !scan::read_unsigned(file, pos, v)) return -1;
        out.push_back(v);
    }
}

class reader {
public:
    reader(std::string_view file, xref_table& x) : file_(file), x_(x)
    {
        cap_ = std::min(static_cast<std::int32_t>(file.size()), max_object_number);
    }

    void read_chain(std::int32_t offset)
    {
        std::vector<std::int32_t> visited;
        while (offset >= 0) {
            if (std::find(visited.begin(), visited.end(), offset) != visited.end() ||
                static_cast<int>(visited.size()) >= max_sections) {
                x_.ok = false;
                return;
            }
            visited.push_back(offset);
            offset = read_section(offset);
        }
    }

private:
    // Records one entry unless a newer section already listed the number.
    void note(std::int32_t num, std::uint8_t type, std::int32_t a, std::int32_t b)
    {
        if (num <= 0) return;  // object 0 heads the free list
        if (num > cap_) {
            x_.ok = false;
            return;
        }
        if (x_.entries.size() <= static_cast<std::size_t>(num)) x_.entries.resize(static_cast<std::size_t>(num) + 1);
        xref_entry& e = x_.entries[static_cast<std::size_t>(num)];
        if (e.type != xref_entry::none) return;
        e.type = type;
        e.a = a;
        e.b = b;
    }

    // Room for the numbers a subsection lists, taken at once instead of doubling entry by entry;
    // its count was checked against the bytes that hold it. Still at least doubled: an update's
    // sections list many short runs, and room for each run alone would copy the table per run.
    void make_room(std::int32_t first, std::int32_t count)
    {
        const std::int64_t limit = std::int64_t{cap_} + 1;
        const std::int64_t end = std::min<std::int64_t>(std::int64_t{first} + count, limit);
        const auto held = static_cast<std::int64_t>(x_.entries.capacity());
        if (first < 0 || end <= held) return;
        x_.entries.reserve(static_cast<std::size_t>(std::max(end, std::min(2 * held, limit))));
    }

    // Reads the section at offset; the /Prev offset to read next, or -1.
    std::int32_t read_section(std::int32_t offset)
    {
        const auto n = static_cast<std::int32_t>(file_.size());
        if (offset >= n) return fail();
        std::int32_t pos = skip_ws(file_, offset);
        if (kw_at(file_, pos, "xref")) return read_table(pos + 4);
        std::int32_t prev = -1;
        if (!read_stream(pos, &prev)) return fail();
        return prev;
    }

    std::int32_t fail()
    {
        x_.ok = false;
        return -1;
    }

    // A classic table from just after "xref"; its trailer's /XRefStm is read before its /Prev.
    std::int32_t read_table(std::int32_t pos)
    {
        for (;;) {
            pos = skip_ws(file_, pos);
            if (kw_at(file_, pos, "trailer")) break;
            std::int32_t first = 0, count = 0;
            if (!scan::read_unsigned(file_, pos, first)) return fail();
            pos = skip_ws(file_, pos);
            if (!scan::read_unsigned(file_, pos, count)) return fail();
            // Each entry takes at least six bytes: a table larger than the rest of the file lies.
            if (count > (static_cast<std::int32_t>(file_.size()) - pos) / 6 + 1) return fail();
            make_room(first, count);
            for (std::int32_t k = 0; k < count; ++k) {
                std::int32_t off = 0, gen = 0;
                pos = skip_ws(file_, pos);
                if (!scan::read_unsigned(file_, pos, off)) return fail();
                pos = skip_ws(file_, pos);
                if (!scan::read_unsigned(file_, pos, gen)) return fail();
                pos = skip_ws(file_, pos);
                if (pos >= static_cast<std::int32_t>(file_.size())) return fail();
                const char kind = file_[static_cast<std::size_t>(pos)];
                ++pos;
                if (kind == 'n')
                    note(first + k, xref_entry::in_use, off, gen);
                else if (kind == 'f')
                    note(first + k, xref_entry::free, 0, gen);
                else
                    return fail();
                if (first > cap_ - k) return fail();
            }
        }
        const std::int32_t dict = skip_ws(file_, pos + 7);
        if (!scan::opens_dictionary(file_, dict)) return fail();
        const std::int32_t close = scan::find_dict_close(file_, dict, static_cast<std::int32_t>(file_.size()));
        if (close < 0) return fail();
        const std::int32_t stm = dict_int(file_, dict, close, "XRefStm");
        if (stm >= 0 && !read_stream(skip_ws(file_, stm), nullptr)) return fail();
        return dict_int(file_, dict, close, scan::key::prev);
    }

    // A cross-reference stream whose header is at pos; its /Prev into prev when asked for.
    bool read_stream(std::int32_t pos, std::int32_t* prev)
    {
        std::int32_t p = pos, num = 0, gen = 0;
        if (!scan::read_unsigned(file_, p, num)) return false;
        p = skip_ws(file_, p);
        if (!scan::read_unsigned(file_, p, gen)) return false;
        p = skip_ws(file_, p);
        if (!kw_at(file_, p, scan::keyword::obj)) return false;
        const std::int32_t dict = skip_ws(file_, p + 3);
        if (!scan::opens_dictionary(file_, dict)) return false;
        const std::int32_t close = scan::find_dict_close(file_, dict, static_cast<std::int32_t>(file_.size()));
        if (close < 0) return false;
        const std::int32_t stream = scan::dict_stream_kw(file_, dict);
        if (stream < 0) return false;
        if (scan::find_key_anywhere(file_, dict, close, "XRef") < 0) return false;
        std::vector<std::int32_t> w, index;
        if (dict_ints(file_, dict, close, "W", w, 3) != 3) return false;
        const std::int32_t size = dict_int(file_, dict, close, "Size");
        const std::int32_t got = dict_ints(file_, dict, close, "Index", index, 2 * 65536);
        if (got < 0) {
            if (size < 0) return false;
            index = {0, size};
        } else if (got % 2 != 0) {
            return false;
        }
        for (std::int32_t width : w)
            if (width > 8) return false;
        const std::int32_t row = w[0] + w[1] + w[2];
        if (row <= 0) return false;
        std::string_view data;
        decode::inflated decoded;
        if (!stream_data(dict, close, stream, data, decoded)) return false;
        if (!undo_predictor(dict, close, row, decoded, data)) return false;
        std::int64_t at = 0;
        for (std::size_t s = 0; s + 1 < index.size(); s += 2) {
            const std::int32_t first = index[s], count = index[s + 1];
            if (count > static_cast<std::int64_t>(data.size()) / row + 1) return false;
            make_room(first, count);
            for (std::int32_t k = 0; k < count; ++k, at += row) {
                if (at + row > static_cast<std::int64_t>(data.size())) return false;
                if (first > cap_ - k) return false;
                const unsigned char* r = reinterpret_cast<const unsigned char*>(data.data()) + at;
                std::uint64_t f[3];
                for (int i = 0, o = 0; i < 3; o += w[static_cast<std::size_t>(i)], ++i) {
                    f[i] = 0;
                    for (std::int32_t b = 0; b < w[static_cast<std::size_t>(i)]; ++b) f[i] = f[i] << 8 | r[o + b];
                }
                const std::uint64_t type = w[0] == 0 ? 1 : f[0];
                if (f[1] > 0x7fffffff || f[2] > 0x7fffffff) return false;
                const auto a = static_cast<std::int32_t>(f[1]), b = static_cast<std::int32_t>(f[2]);
                if (type == 0)
                    note(first + k, xref_entry::free, 0, b);
                else if (type == 1)
                    note(first + k, xref_entry::in_use, a, b);
                else if (type == 2)
                    note(first + k, xref_entry::packed, a, b);
                // Other types are to be ignored (the object is taken for null by readers).
            }
        }
        if (prev != nullptr) *prev = dict_int(file_, dict, close, scan::key::prev);
        return true;
    }

    // The data of the stream whose keyword is at stream: the file's bytes, or decoded into decoded.
    bool stream_data(std::int32_t dict, std::int32_t close, std::int32_t stream, std::string_view& data,
                     decode::inflated& decoded)
    {
        const auto n = static_cast<std::int32_t>(file_.size());
        std::int32_t start = stream + 6;
        if (start < n && byte_at(file_, start) == '\r') ++start;
        if (start < n && byte_at(file_, start) == '\n') ++start;
        std::int32_t length = dict_int(file_, dict, close, scan::key::length);
        if (length < 0 || length > n - start) {
            const std::int32_t end = scan::find_kw(file_, start, scan::keyword::endstream);
            if (end < 0) return false;
            length = end - start;
        }
        const std::string_view raw = file_.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(length));
        const std::int32_t filter = scan::find_top_level_key(file_, dict, close, "Filter");
        if (filter < 0) {
            data = raw;
            return true;
        }
        // Only a lone FlateDecode is read; any other filter leaves the data unread.
        std::int32_t value = scan::value_start(file_, filter, "Filter");
        const bool array = value < close && file_[static_cast<std::size_t>(value)] == '[';
        if (array) value = skip_ws(file_, value + 1);
        constexpr std::string_view flate = "/FlateDecode";
        if (file_.substr(static_cast<std::size_t>(value)).substr(0, flate.size()) != flate) return false;
        value += static_cast<std::int32_t>(flate.size());
        if (value < close && scan::is_name_cont(byte_at(file_, value))) return false;
        if (array && (value = skip_ws(file_, value)) < close && file_[static_cast<std::size_t>(value)] != ']')
            return false;
        const std::uint64_t max_out = std::min<std::uint64_t>(max_xref_stream_bytes, decode::decode_budget(n));
        if (decode::inflate_growing(raw, std::min<std::uint64_t>(8 * raw.size() + 64, max_out), max_out, decoded) != 0 ||
            !decoded.data)
            return false;
        data = std::string_view(decoded.data.get(), static_cast<std::size_t>(decoded.len));
        return true;
    }

    // Undoes a PNG predictor of /DecodeParms in place (the decoded bytes are owned); false for a
    // predictor this reader does not know.
    bool undo_predictor(std::int32_t dict, std::int32_t close, std::int32_t row, decode::inflated& decoded,
                        std::string_view& data)
    {
        const std::int32_t parms = scan::find_top_level_key(file_, dict, close, "DecodeParms");
        if (parms < 0) return true;
        const std::int32_t pstart = scan::value_start(file_, parms, "DecodeParms");
        if (!scan::opens_dictionary(file_, pstart)) return false;
        const std::int32_t pclose = scan::find_dict_close(file_, pstart, close + 2);
        if (pclose < 0) return false;
        std::int32_t predictor = dict_int(file_, pstart, pclose, "Predictor");
        if (predictor < 0) predictor = 1;
        if (predictor == 1) return true;
        if (predictor < 10 || !decoded.data) return false;
        std::int32_t columns = dict_int(file_, pstart, pclose, "Columns");
        if (columns < 0) columns = 1;
        const std::int32_t colors = dict_int(file_, pstart, pclose, "Colors");
        const std::int32_t bits = dict_int(file_, pstart, pclose, "BitsPerComponent");
        if ((colors >= 0 && colors != 1) || (bits >= 0 && bits != 8) || columns != row) return false;
        auto* bytes = reinterpret_cast<unsigned char*>(decoded.data.get());
        const std::size_t stride = static_cast<std::size_t>(row) + 1;
        const std::size_t rows = static_cast<std::size_t>(decoded.len) / stride;
        std::vector<unsigned char> prior(static_cast<std::size_t>(row), 0);
        std::size_t out = 0;
        for (std::size_t r = 0; r < rows; ++r) {
            const unsigned char kind = bytes[r * stride];
            unsigned char* line = bytes + r * stride + 1;
            for (std::size_t i = 0; i < static_cast<std::size_t>(row); ++i) {
                const unsigned left = i > 0 ? bytes[out + i - 1] : 0;
                const unsigned up = prior[i], upleft = i > 0 ? prior[i - 1] : 0;
                unsigned v = line[i];
                switch (kind) {
                case 0: break;
                case 1: v += left; break;
                case 2: v += up; break;
                case 3: v += (left + up) / 2; break;
                case 4: {
                    const int p = static_cast<int>(left + up) - static_cast<int>(upleft);
                    const int pa = std::abs(p - static_cast<int>(left)), pb = std::abs(p - static_cast<int>(up)),
                              pc = std::abs(p - static_cast<int>(upleft));
                    v += pa <= pb && pa <= pc ? left : pb <= pc ? up : upleft;
                    break;
                }
                default: return false;
                }
                bytes[out + i] = static_cast<unsigned char>(v);
            }
            std::copy(bytes + out, bytes + out + row, prior.begin());
            out += static_cast<std::size_t>(row);
        }
        data = std::string_view(decoded.data.get(), out);
        return true;
    }

    std::string_view file_;
    xref_table& x_;
    std::int32_t cap_ = 0;
};

}  // namespace

xref_table read_xref(const doc& d)
{
    xref_table x;
    const std::int32_t start = scan::last_startxref_offset(d.file());
    if (start < 0) return x;
    x.ok = true;
    reader(d.file(), x).read_chain(start);
    if (!x.ok) x.entries.clear();
    return x;
}

bool header_at(std::string_view file, std::int32_t pos, std::int32_t num, std::int32_t gen, std::int32_t* obj_end)
{
    std::int32_t p = pos, n = 0, g = 0;
    if (pos < 0 || !scan::read_unsigned(file, p, n) || n != num) return false;
    const std::int32_t after_n = p;
    p = skip_ws(file, p);
    if (p == after_n || !scan::read_unsigned(file, p, g) || g != gen) return false;
    const std::int32_t after_g = p;
    p = skip_ws(file, p);
    if (p == after_g || !kw_at(file, p, scan::keyword::obj)) return false;
    if (obj_end != nullptr) *obj_end = p + 3;
    return true;
}

}  // namespace kestrin::load
