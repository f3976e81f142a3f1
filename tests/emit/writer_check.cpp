#include "writer_check.h"

#include <cstdlib>

#include "pdf_builder.h"

namespace kestrin::test {

namespace {

long number_at(const std::string& s, std::size_t pos) { return std::strtol(s.c_str() + pos, nullptr, 10); }

std::string check_layout(written_pdf& w)
{
    const std::string& s = w.bytes;
    if (s.rfind("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n", 0) != 0) return "header";
    if (s.size() < 7 || s.compare(s.size() - 7, 7, "\n%%EOF\n") != 0) return "end of file";
    const std::size_t sx = s.rfind("startxref ");
    if (sx == std::string::npos) return "no startxref";
    const auto xref = static_cast<std::size_t>(number_at(s, sx + 10));
    if (s.compare(xref, 7, "xref\n0 ") != 0) return "startxref does not point at xref";
    const long count = number_at(s, xref + 7);
    std::size_t entry = s.find('\n', xref + 7) + 1;
    for (long num = 0; num < count; ++num, entry += 20) {
        if (entry + 20 > s.size() || s[entry + 19] != '\n' || s[entry + 10] != ' ') return "entry shape";
        const long off = number_at(s, entry);
        const long gen = number_at(s, entry + 11);
        if (s[entry + 17] == 'f') continue;
        const std::string head = std::to_string(num) + " " + std::to_string(gen) + " obj\n";
        if (s.compare(static_cast<std::size_t>(off), head.size(), head) != 0)
            return "entry " + std::to_string(num) + " misses its object";
        w.in_use[num] = {off, gen};
    }
    if (s.compare(entry, 8, "trailer\n") != 0) return "trailer position";
    const std::size_t size_key = s.find("/Size ", entry);
    w.size = number_at(s, size_key + 6);
    if (w.size != count) return "size differs from entry count";
    return "";
}

}  // namespace

written_pdf read_written(const std::string& path)
{
    written_pdf w;
    w.bytes = read_file(path);
    w.problem = check_layout(w);
    return w;
}

std::string written_pdf::object(long num) const
{
    auto it = in_use.find(num);
    if (it == in_use.end()) return "";
    const auto start = static_cast<std::size_t>(it->second.first);
    const std::size_t end = bytes.find("\nendobj\n", start);
    return end == std::string::npos ? "" : bytes.substr(start, end - start);
}

std::string written_pdf::stream_data(long num) const
{
    const std::string text = object(num);
    const std::size_t start = text.find(">>\nstream\n");
    const std::size_t end = text.rfind("\nendstream");
    if (start == std::string::npos || end == std::string::npos || end < start + 10) return "";
    return text.substr(start + 10, end - start - 10);
}

}  // namespace kestrin::test
