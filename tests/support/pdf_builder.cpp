#include "pdf_builder.h"

#include <zlib.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace kestrin::test {

std::string zlib_compress(std::string_view data, int level)
{
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::string out(size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                  reinterpret_cast<const Bytef*>(data.data()), static_cast<uLong>(data.size()),
                  level) != Z_OK)
        throw std::runtime_error("compress2 failed");
    out.resize(size);
    return out;
}

pdf_builder& pdf_builder::object(int num, std::string_view body, int gen)
{
    if (body_.empty()) body_ = "%PDF-1.7\n%\xE2\xE3\xCF\xD3\n";
    offsets_.emplace_back(num, static_cast<long>(body_.size()));
    body_ += std::to_string(num) + " " + std::to_string(gen) + " obj\n";
    body_ += body;
    body_ += "\nendobj\n";
    return *this;
}

pdf_builder& pdf_builder::stream(int num, std::string_view dict_entries, std::string_view data,
                                 bool flate)
{
    std::string bytes = flate ? zlib_compress(data) : std::string(data);
    std::string body = "<< " + std::string(dict_entries) + (flate ? " /Filter /FlateDecode" : "") +
                       " /Length " + std::to_string(bytes.size()) + " >>\nstream\n" + bytes +
                       "\nendstream";
    return object(num, body);
}

pdf_builder& pdf_builder::object_stream(int num, const std::vector<std::pair<int, std::string>>& objs,
                                        bool flate)
{
    std::string header, bodies;
    for (const auto& [n, b] : objs) {
        header += std::to_string(n) + " " + std::to_string(bodies.size()) + " ";
        bodies += b + "\n";
    }
    std::string data = header + bodies;
    std::string entries = "/Type /ObjStm /N " + std::to_string(objs.size()) + " /First " +
                          std::to_string(header.size());
    return stream(num, entries, data, flate);
}

pdf_builder& pdf_builder::raw(std::string_view bytes)
{
    if (body_.empty()) body_ = "%PDF-1.7\n%\xE2\xE3\xCF\xD3\n";
    body_ += bytes;
    return *this;
}

pdf_builder& pdf_builder::trailer(std::string_view entries)
{
    trailer_ = entries;
    return *this;
}

std::string pdf_builder::build(bool xref_stream) const
{
    std::string out = body_.empty() ? "%PDF-1.7\n" : body_;
    int size = 1;
    for (const auto& [n, off] : offsets_) size = std::max(size, n + 1);
    long xref_pos = static_cast<long>(out.size());
    if (xref_stream) {
        int self = size;
        std::string entries = "/Type /XRef /Size " + std::to_string(self + 1) + " " + trailer_;
        out += std::to_string(self) + " 0 obj\n<< " + entries + " /W [1 4 2] /Length 0 >>\nstream\n\nendstream\nendobj\n";
    } else {
        std::vector<long> table(size, -1);
        for (const auto& [n, off] : offsets_) table[n] = off;
        out += "xref\n0 " + std::to_string(size) + "\n";
        char line[32];
        for (int i = 0; i < size; ++i) {
            if (table[i] < 0)
                std::snprintf(line, sizeof line, "%010d 65535 f \n", 0);
            else
                std::snprintf(line, sizeof line, "%010ld 00000 n \n", table[i]);
            out += line;
        }
        out += "trailer\n<< /Size " + std::to_string(size) + " " + trailer_ + " >>\n";
    }
    out += "startxref\n" + std::to_string(xref_pos) + "\n%%EOF\n";
    return out;
}

pdf_builder one_page_doc(std::string_view page_extra, std::string_view catalog_extra,
                         std::string_view content)
{
    pdf_builder b;
    b.object(1, "<< /Type /Catalog /Pages 2 0 R " + std::string(catalog_extra) + " >>");
    b.object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    b.object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 4 0 R " +
                    std::string(page_extra) + " >>");
    b.stream(4, "", content);
    b.trailer("/Root 1 0 R");
    return b;
}

temp_dir::temp_dir()
{
    std::random_device rd;
    auto base = std::filesystem::temp_directory_path();
    for (;;) {
        path_ = base / ("kestrin-test-" + std::to_string(rd()));
        if (std::filesystem::create_directory(path_)) break;
    }
}

temp_dir::~temp_dir()
{
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string temp_dir::write(std::string_view name, std::string_view bytes) const
{
    std::string p = file(name);
    std::ofstream f(p, std::ios::binary);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return p;
}

std::string read_file(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

int run_command(const std::string& command, std::string* output)
{
    FILE* p = popen((command + " 2>&1").c_str(), "r");
    if (p == nullptr) return -1;
    std::string text;
    char chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, p)) > 0) text.append(chunk, n);
    int status = pclose(p);
    if (output != nullptr) *output = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

image read_pnm(const std::filesystem::path& path)
{
    std::ifstream f(path, std::ios::binary);
    std::string magic;
    int maxval = 0;
    image img;
    f >> magic >> img.width >> img.height >> maxval;
    f.get();
    img.channels = magic == "P6" ? 3 : 1;
    if ((magic != "P5" && magic != "P6") || maxval != 255 || img.width <= 0 || img.height <= 0 ||
        img.width > 100000 || img.height > 100000)
        return {};
    img.pixels.resize(static_cast<size_t>(img.width) * img.height * img.channels);
    f.read(reinterpret_cast<char*>(img.pixels.data()), static_cast<std::streamsize>(img.pixels.size()));
    if (f.gcount() != static_cast<std::streamsize>(img.pixels.size())) return {};
    return img;
}

void append_utf8(std::string& out, std::uint32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x110000) {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

std::string flattened_by(const std::string& pdf, std::int32_t (*flatten)(const char*, const char*))
{
    temp_dir dir;
    const std::string in = dir.write("in.pdf", pdf);
    const std::string out = dir.file("out.pdf");
    if (flatten(in.c_str(), out.c_str()) != 0) return "";
    return read_file(out);
}

std::string pixel(const std::string& pdf, int x, int y)
{
    temp_dir dir;
    const std::string in = dir.write("page.pdf", pdf);
    if (run_command("pdftoppm -q -r 72 -f 1 -l 1 -singlefile '" + in + "' '" + dir.file("page") + "'") != 0)
        return "render failed";
    const std::string ppm = read_file(dir.file("page.ppm"));
    int w = 0, h = 0, max = 0, header = 0;
    if (std::sscanf(ppm.c_str(), "P6 %d %d %d%n", &w, &h, &max, &header) != 3) return "bad ppm";
    if (x < 0 || y < 0 || x >= w || y >= h) return "out of page";
    const std::size_t at = static_cast<std::size_t>(header + 1) + 3 * static_cast<std::size_t>(y * w + x);
    if (at + 3 > ppm.size()) return "out of page";
    return std::to_string(static_cast<unsigned char>(ppm[at])) + "," +
           std::to_string(static_cast<unsigned char>(ppm[at + 1])) + "," +
           std::to_string(static_cast<unsigned char>(ppm[at + 2]));
}

}  // namespace kestrin::test
