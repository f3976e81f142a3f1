// Micro-benchmarks of the hot primitives: keyword and name search, the whole load (object scan,
// object streams, page tree) and inflate against zlib on the same content streams.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "decode/inflate.h"
#include "base/append.h"
#include "base/byte_buffer.h"
#include "base/number_format.h"
#include "load/doc.h"
#include "scan/token.h"

namespace {

// A generated document shared by all benchmarks: 2000 pages, 20 annotations each, object streams.
const std::string& bench_file()
{
    static const std::string path = [] {
        std::string p = "/tmp/kestrin-micro-bench.pdf";
        std::string cmd = std::string("python3 ") + KESTRIN_GEN_BENCH + " -n 2000 -k 20 --objstm " + p +
                          " > /dev/null";
        if (std::system(cmd.c_str()) != 0) std::abort();
        return p;
    }();
    return path;
}

const std::string& bench_bytes()
{
    static const std::string bytes = [] {
        std::ifstream f(bench_file(), std::ios::binary);
        std::ostringstream s;
        s << f.rdbuf();
        return s.str();
    }();
    return bytes;
}

// Page-content-like text: operators and numbers, compressed at zlib's default level.
const std::string& content_text()
{
    static const std::string text = [] {
        std::string t;
        char line[128];
        for (int i = 0; i < 40000; ++i) {
            std::snprintf(line, sizeof line, "BT /F1 %d Tf %d.%02d %d.%02d Td (Line %d of the page) Tj ET\n",
                          8 + i % 5, i % 612, i % 100, (i * 7) % 792, (i * 3) % 100, i);
            t += line;
        }
        return t;
    }();
    return text;
}

std::string compress_default(const std::string& data)
{
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::string out(size, '\0');
    compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.data()),
              static_cast<uLong>(data.size()), Z_DEFAULT_COMPRESSION);
    out.resize(size);
    return out;
}

void BM_find_kw(benchmark::State& state)
{
    std::string_view text = bench_bytes();
    for (auto _ : state) {
        std::int32_t hits = 0;
        for (std::int32_t p = kestrin::scan::find_kw(text, 0, "endobj"); p >= 0;
             p = kestrin::scan::find_kw(text, p + 6, "endobj"))
            ++hits;
        benchmark::DoNotOptimize(hits);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_find_kw);

void BM_find_name(benchmark::State& state)
{
    std::string_view text = bench_bytes();
    auto size = static_cast<std::int32_t>(text.size());
    for (auto _ : state) {
        std::int32_t hits = 0;
        for (std::int32_t p = kestrin::scan::find_key_anywhere(text, 0, size, "Subtype"); p >= 0;
             p = kestrin::scan::find_key_anywhere(text, p + 1, size, "Subtype"))
            ++hits;
        benchmark::DoNotOptimize(hits);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_find_name);

void BM_load_document(benchmark::State& state)
{
    const std::string& path = bench_file();
    for (auto _ : state) {
        const auto d = kestrin::load::load_document(path.c_str());
        if (!d) state.SkipWithError("load failed");
        benchmark::DoNotOptimize(d ? d->pages.size() : 0);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(bench_bytes().size()));
}
BENCHMARK(BM_load_document)->Unit(benchmark::kMillisecond);

void BM_inflate_kestrin(benchmark::State& state)
{
    const std::string& plain = content_text();
    std::string packed = compress_default(plain);
    std::vector<std::uint8_t> out(plain.size());
    for (auto _ : state) {
        std::uint64_t len = 0;
        kestrin::decode::inflate_decompress(reinterpret_cast<const std::uint8_t*>(packed.data()),
                                            packed.size(), out.data(), out.size(), &len);
        if (len != plain.size()) state.SkipWithError("wrong length");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(plain.size()));
}
BENCHMARK(BM_inflate_kestrin);

void BM_inflate_zlib(benchmark::State& state)
{
    const std::string& plain = content_text();
    std::string packed = compress_default(plain);
    std::vector<Bytef> out(plain.size());
    for (auto _ : state) {
        uLongf len = static_cast<uLongf>(out.size());
        uncompress(out.data(), &len, reinterpret_cast<const Bytef*>(packed.data()),
                   static_cast<uLong>(packed.size()));
        if (len != plain.size()) state.SkipWithError("wrong length");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(plain.size()));
}
BENCHMARK(BM_inflate_zlib);

// Many small streams: the set-up of each block's tables dominates.
void BM_inflate_small_streams(benchmark::State& state)
{
    const std::string plain = "q 1 0 0 RG 2 w 0 0 100 28 re S Q\nBT /F1 9 Tf 2 8 Td (p1_t7) Tj ET\n";
    const std::string packed = compress_default(plain);
    std::vector<std::uint8_t> out(plain.size());
    for (auto _ : state) {
        std::uint64_t len = 0;
        kestrin::decode::inflate_decompress(reinterpret_cast<const std::uint8_t*>(packed.data()),
                                            packed.size(), out.data(), out.size(), &len);
        if (len != plain.size()) state.SkipWithError("wrong length");
    }
}
BENCHMARK(BM_inflate_small_streams);

// The placements and boxes of every flattened annotation are written as fixed6 numbers.
void BM_append_fixed(benchmark::State& state)
{
    using kestrin::base::fixed3;
    using kestrin::base::fixed6;
    kestrin::base::byte_buffer out;
    double v = 0.125;
    for (auto _ : state) {
        out.clear();
        kestrin::base::append(out, fixed6(v), ' ', fixed6(v * 3.7), ' ', fixed3(v / 3));
        benchmark::DoNotOptimize(out.data.get());
        v += 0.37;
        if (v > 1000) v = 0.125;
    }
}
BENCHMARK(BM_append_fixed);

// One object header and one cross-reference line per object of the output.
void BM_object_header_and_xref_line(benchmark::State& state)
{
    char room[kestrin::base::obj_header_room];
    char line[kestrin::base::xref_line_size];
    long num = 1;
    for (auto _ : state) {
        benchmark::DoNotOptimize(kestrin::base::obj_header(room, num, 0));
        kestrin::base::xref_line(line, num * 731, 0);
        benchmark::DoNotOptimize(line);
        ++num;
    }
}
BENCHMARK(BM_object_header_and_xref_line);

}  // namespace

BENCHMARK_MAIN();

// ---------------------------------------------------------------------------------------------
// Decoding the generated document's own Flate streams the way the program does: appearance and
// content streams (mostly a few dozen bytes) into one scratch buffer, object streams (some 20 KiB
// each) into a block of their own.
namespace {

struct file_streams {
    std::vector<std::string_view> small;  // decoded size under 1 KiB
    std::vector<std::string_view> large;
};

std::uint64_t zlib_decoded_size(std::string_view raw)
{
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return 0;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(raw.data()));
    z.avail_in = static_cast<uInt>(raw.size());
    std::vector<Bytef> room(1 << 16);
    int rc = Z_OK;
    while (rc == Z_OK) {
        z.next_out = room.data();
        z.avail_out = static_cast<uInt>(room.size());
        rc = inflate(&z, Z_NO_FLUSH);
    }
    const std::uint64_t size = rc == Z_STREAM_END ? z.total_out : 0;
    inflateEnd(&z);
    return size;
}

const file_streams& bench_streams()
{
    static const file_streams streams = [] {
        file_streams s;
        std::string_view text = bench_bytes();
        for (std::size_t p = text.find("stream\n"); p != std::string_view::npos;
             p = text.find("stream\n", p + 1)) {
            if (p >= 3 && text.substr(p - 3, 3) == "end") continue;
            const std::size_t start = p + 7;
            const std::size_t stop = text.find("endstream", start);
            if (stop == std::string_view::npos) break;
            std::string_view raw = text.substr(start, stop - start);
            const std::uint64_t size = zlib_decoded_size(raw);
            if (size == 0) continue;
            (size < 1024 ? s.small : s.large).push_back(raw);
        }
        return s;
    }();
    return streams;
}

void BM_inflate_file_small_streams(benchmark::State& state)
{
    const auto& raws = bench_streams().small;
    kestrin::base::byte_buffer scratch;
    std::uint64_t total = 0;
    for (auto _ : state) {
        scratch.len = 0;
        for (std::string_view raw : raws) {
            std::uint64_t len = 0;
            if (kestrin::decode::inflate_growing(raw, 20 * raw.size() + 4096, 1u << 26, scratch,
                                                 &len) != 0)
                state.SkipWithError("decoding failed");
            total += len;
        }
    }
    benchmark::DoNotOptimize(total);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(raws.size()));
    state.SetBytesProcessed(static_cast<int64_t>(total));
}
BENCHMARK(BM_inflate_file_small_streams)->Unit(benchmark::kMillisecond);

void BM_inflate_file_object_streams(benchmark::State& state)
{
    const auto& raws = bench_streams().large;
    std::uint64_t total = 0;
    for (auto _ : state) {
        for (std::string_view raw : raws) {
            kestrin::decode::inflated out;
            if (kestrin::decode::inflate_growing(raw, 8 * raw.size() + 64, 1u << 26, out) != 0)
                state.SkipWithError("decoding failed");
            total += out.len;
        }
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(raws.size()));
    state.SetBytesProcessed(static_cast<int64_t>(total));
}
BENCHMARK(BM_inflate_file_object_streams)->Unit(benchmark::kMillisecond);

}  // namespace

// ---------------------------------------------------------------------------------------------
// Search primitives on short dictionaries: the way the planner and the writer call them, many
// times on each annotation, page and form dictionary of the benchmark file.

#include <span>

#include "scan/frame.h"

namespace {

namespace scan = kestrin::scan;
using kestrin::load::dict_span;

// The dictionary text of every object of the benchmark file that has one.
const std::vector<dict_span>& bench_dicts()
{
    static kestrin::load::doc d;
    static const std::vector<dict_span> spans = [] {
        std::vector<dict_span> out;
        auto loaded = kestrin::load::load_document(bench_file().c_str());
        if (!loaded) std::abort();
        d = std::move(loaded.value());
        for (const kestrin::load::obj_entry& e : d.objs.entries)
            if (const dict_span s = d.span_of(e)) out.push_back(s);
        return out;
    }();
    return spans;
}

void count_items(benchmark::State& state, std::size_t per_iteration)
{
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(per_iteration));
}

void BM_find_name_dicts(benchmark::State& state)
{
    constexpr std::string_view keys[] = {"Subtype", "Rect", "AP", "Parent", "MK", "FT"};
    const auto& dicts = bench_dicts();
    for (auto _ : state) {
        std::int32_t hits = 0;
        for (const dict_span& s : dicts)
            for (std::string_view key : keys)
                hits += scan::find_key_anywhere(s.text, s.start, scan::text_limit(s.text), key) >= 0;
        benchmark::DoNotOptimize(hits);
    }
    count_items(state, dicts.size() * std::size(keys));
}
BENCHMARK(BM_find_name_dicts);

void BM_obj_type_dicts(benchmark::State& state)
{
    const auto& dicts = bench_dicts();
    for (auto _ : state) {
        int pages = 0;
        for (const dict_span& s : dicts) pages += scan::obj_type(s.text, s.start) == 1;
        benchmark::DoNotOptimize(pages);
    }
    count_items(state, dicts.size());
}
BENCHMARK(BM_obj_type_dicts);

void BM_find_dict_close_dicts(benchmark::State& state)
{
    const auto& dicts = bench_dicts();
    for (auto _ : state) {
        std::int64_t sum = 0;
        for (const dict_span& s : dicts)
            sum += scan::find_dict_close(s.text, s.start, scan::text_limit(s.text));
        benchmark::DoNotOptimize(sum);
    }
    count_items(state, dicts.size());
}
BENCHMARK(BM_find_dict_close_dicts);

// Keys of which most dictionaries hold only some, as the writer asks for them.
void BM_find_names_top_dicts(benchmark::State& state)
{
    constexpr std::string_view keys[] = {"Type", "Subtype", "Resources", "BBox"};
    const auto& dicts = bench_dicts();
    std::int32_t found[std::size(keys)];
    for (auto _ : state) {
        std::int64_t sum = 0;
        for (const dict_span& s : dicts) {
            scan::find_top_level_keys(s.text, s.start, scan::text_limit(s.text), keys, found);
            sum += found[0] + found[3];
        }
        benchmark::DoNotOptimize(sum);
    }
    count_items(state, dicts.size());
}
BENCHMARK(BM_find_names_top_dicts);

}  // namespace
