// Helpers for tests: small PDF files written by the tests themselves, zlib fixtures, temp files.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "kestrin.h"

namespace kestrin::test {

// zlib-wrapped DEFLATE of data (test fixtures only; the library has its own decoder).
std::string zlib_compress(std::string_view data, int level = 6);

// Builds a PDF file from object bodies, in the order they are added.
class pdf_builder {
public:
    // "num gen obj\n" body "\nendobj\n"
    pdf_builder& object(int num, std::string_view body, int gen = 0);
    // A stream object; "/Length n" is added to dict_entries (e.g. "/Filter /FlateDecode").
    pdf_builder& stream(int num, std::string_view dict_entries, std::string_view data,
                        bool flate = false);
    // An object stream holding the given (number, body) objects.
    pdf_builder& object_stream(int num, const std::vector<std::pair<int, std::string>>& objs,
                               bool flate = true);
    // Raw bytes appended as they are (comments, junk, incremental sections).
    pdf_builder& raw(std::string_view bytes);
    // Trailer entries such as "/Root 1 0 R /Info 9 0 R".
    pdf_builder& trailer(std::string_view entries);
    // Ends the file with a classic xref table and trailer, or with a cross-reference stream.
    std::string build(bool xref_stream = false) const;

private:
    std::string body_;
    std::vector<std::pair<int, long>> offsets_;
    std::string trailer_;
};

// A one-page document: 1 catalog (extra entries in catalog_extra), 2 pages, 3 page with
// page_extra entries, 4 its content stream. Further objects are added by the caller from 5.
pdf_builder one_page_doc(std::string_view page_extra = "", std::string_view catalog_extra = "",
                         std::string_view content = "0 0 1 rg 10 10 50 50 re f\n");

// A temporary directory removed at scope exit.
class temp_dir {
public:
    temp_dir();
    ~temp_dir();
    temp_dir(const temp_dir&) = delete;
    temp_dir& operator=(const temp_dir&) = delete;
    std::filesystem::path path() const { return path_; }
    std::string file(std::string_view name) const { return (path_ / name).string(); }
    // Writes bytes to name and returns the full path.
    std::string write(std::string_view name, std::string_view bytes) const;

private:
    std::filesystem::path path_;
};

std::string read_file(const std::string& path);

// Runs a shell command; returns its exit status and fills output with stdout+stderr.
int run_command(const std::string& command, std::string* output = nullptr);

// A grey (P5) or colour (P6) picture as pdftoppm and mutool write it: one byte per channel, rows
// from the top.
struct image {
    int width = 0, height = 0, channels = 1;
    std::vector<unsigned char> pixels;
};

// The picture in a PNM file; no pixels when the file is not one with 8-bit channels.
image read_pnm(const std::filesystem::path& path);

// The output of a flatten call of the C interface (kestrin_all by default) on pdf, through files;
// empty when the call fails.
std::string flattened_by(const std::string& pdf, std::int32_t (*flatten)(const char*, const char*) = kestrin_all);

// Appends the UTF-8 bytes of the code point c (nothing for one beyond Unicode).
void append_utf8(std::string& out, std::uint32_t c);

// The colour of pixel (x, y from the top) of the first page of pdf rendered by pdftoppm at 72 dpi,
// as "r,g,b", or what went wrong.
std::string pixel(const std::string& pdf, int x, int y);

}  // namespace kestrin::test
