#include "fuzz_checks.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "decode/inflate.h"
#include "kestrin.h"
#include "load/doc.h"

namespace kestrin::fuzz {

namespace {

// Bounded so that a fuzz input cannot make one check allocate without end.
constexpr std::uint64_t inflate_capacity = 1u << 20;

std::string scratch_path(const char* name)
{
    return (std::filesystem::temp_directory_path() /
            ("kestrin-fuzz-" + std::to_string(getpid()) + "-" + name))
        .string();
}

void write_bytes(const std::string& path, const std::uint8_t* data, std::size_t size)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

std::string read_bytes(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

std::string check_count(std::int32_t n, const char* what)
{
    std::string error = kestrin_last_error();
    if (n >= 0 && !error.empty()) return std::string(what) + " succeeded with error text " + error;
    if (n < -1) return std::string(what) + " returned " + std::to_string(n);
    if (n == -1 && error.empty()) return std::string(what) + " failed without a message";
    return {};
}

// Parses the unsigned decimal at pos; -1 when none.
long read_number(const std::string& s, std::size_t& pos)
{
    if (pos >= s.size() || s[pos] < '0' || s[pos] > '9') return -1;
    long v = 0;
    while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9' && v < 100000000000L) v = v * 10 + (s[pos++] - '0');
    return v;
}

std::string check_xref_entries(const std::string& pdf, std::size_t xref)
{
    std::size_t pos = xref + 5;  // "xref\n"
    if (pdf.compare(pos, 2, "0 ") != 0) return "xref does not start at object 0";
    pos += 2;
    long count = read_number(pdf, pos);
    if (count < 1 || pdf.compare(pos, 1, "\n") != 0) return "bad xref count line";
    ++pos;
    if (static_cast<std::size_t>(count) > (pdf.size() - pos) / 20) return "xref runs past the file";
    for (long num = 0; num < count; ++num, pos += 20) {
        if (pdf.compare(pos + 17, 3, "n \n") != 0) continue;
        std::size_t p = pos;
        long offset = read_number(pdf, p);
        p = pos + 11;
        long gen = read_number(pdf, p);
        std::string header = std::to_string(num) + " " + std::to_string(gen) + " obj\n";
        if (offset < 0 || pdf.compare(static_cast<std::size_t>(offset), header.size(), header) != 0)
            return "xref entry of object " + std::to_string(num) + " misses its header";
    }
    return {};
}

}  // namespace

std::string check_inflate(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::uint8_t> out(inflate_capacity);
    std::uint64_t len = 12345;
    int rc = decode::inflate_decompress(data, size, out.data(), out.size(), &len);
    if (rc != 0 && rc != -1) return "result " + std::to_string(rc);
    if (rc == -1) return len == 0 ? std::string() : "failure with a length";
    if (len > out.size()) return "length beyond the capacity";
    std::vector<std::uint8_t> again(len + 1);
    std::uint64_t len2 = 0;
    if (decode::inflate_decompress(data, size, again.data(), len, &len2) != 0 || len2 != len)
        return "not repeatable at the exact capacity";
    if (!std::equal(again.begin(), again.begin() + static_cast<long>(len), out.begin()))
        return "different bytes at the exact capacity";
    return {};
}

std::string check_load(const std::uint8_t* data, std::size_t size)
{
    std::string path = scratch_path("in.pdf");
    write_bytes(path, data, size);
    std::string broke = check_count(kestrin_field_count(path.c_str()), "field count");
    if (broke.empty()) broke = check_count(kestrin_annotation_count(path.c_str()), "annotation count");
    std::remove(path.c_str());
    return broke;
}

std::string check_output_file(const std::string& path)
{
    std::string pdf = read_bytes(path);
    if (pdf.rfind("%PDF-1.4\n", 0) != 0) return "output does not start with %PDF-1.4";
    std::size_t sx = pdf.rfind("startxref ");
    if (sx == std::string::npos) return "no startxref";
    std::size_t p = sx + 10;
    long xref = read_number(pdf, p);
    if (xref < 0 || pdf.compare(static_cast<std::size_t>(xref), 5, "xref\n") != 0)
        return "startxref does not point at xref";
    if (pdf.compare(p, 7, "\n%%EOF\n") != 0 || p + 7 != pdf.size()) return "bad end of file";
    std::string broke = check_xref_entries(pdf, static_cast<std::size_t>(xref));
    if (!broke.empty()) return broke;
    const base::result<load::doc> reloaded = load::load_document(path.c_str());
    return reloaded ? std::string() : "output does not load: " + reloaded.message();
}

std::string check_flatten(const std::uint8_t* data, std::size_t size, int mode)
{
    using flatten_fn = std::int32_t (*)(const char*, const char*);
    constexpr flatten_fn runs[] = {kestrin_forms, kestrin_annotations, kestrin_all};
    std::string in = scratch_path("in.pdf"), out = scratch_path("out.pdf");
    write_bytes(in, data, size);
    std::remove(out.c_str());
    std::string broke;
    const base::result<load::doc> input = load::load_document(in.c_str());
    const std::int32_t in_fields = kestrin_field_count(in.c_str());
    if (runs[(mode - 1) % 3](in.c_str(), out.c_str()) != 0) {
        if (std::string(kestrin_last_error()).empty()) broke = "failure without a message";
        if (std::filesystem::exists(out)) broke = "failure left an output file";
    } else {
        if (!std::string(kestrin_last_error()).empty()) broke = "success with an error text";
        if (broke.empty()) broke = check_output_file(out);
        // The output keeps the input's pages and, in annotations mode, its fields.
        if (broke.empty() && input) {
            const base::result<load::doc> output = load::load_document(out.c_str());
            if (output && output->pages.size() != input->pages.size())
                broke = "output has " + std::to_string(output->pages.size()) + " pages, input " +
                        std::to_string(input->pages.size());
        }
        if (broke.empty() && (mode - 1) % 3 == 1 && kestrin_field_count(out.c_str()) != in_fields)
            broke = "annotations mode changed the field count";
    }
    std::remove(in.c_str());
    std::remove(out.c_str());
    return broke;
}

}  // namespace kestrin::fuzz
