#include "hostile.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <vector>

#include "pdf_builder.h"

#if defined(__SANITIZE_ADDRESS__)
#define KESTRIN_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KESTRIN_TEST_ASAN 1
#endif
#endif

namespace kestrin::test {

namespace {

constexpr std::uint64_t gib = 1ull << 30;

// Exit statuses of the child; anything else means the child died in an unexpected way.
constexpr int child_clean = 0;
constexpr int child_reported = 1;

void limit_address_space(std::uint64_t bytes)
{
#ifndef KESTRIN_TEST_ASAN
    if (bytes == 0) return;
    rlimit lim{static_cast<rlim_t>(bytes), static_cast<rlim_t>(bytes)};
    setrlimit(RLIMIT_AS, &lim);
#else
    (void)bytes;
#endif
}

void write_all(int fd, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

[[noreturn]] void child_main(int fd, const std::function<std::string()>& body,
                             std::uint64_t memory_limit, unsigned alarm_seconds)
{
    limit_address_space(memory_limit);
    alarm(alarm_seconds);
    std::string report;
    try {
        report = body();
    } catch (const std::bad_alloc&) {
        report = "std::bad_alloc escaped";
    } catch (const std::exception& e) {
        report = std::string("exception escaped: ") + e.what();
    }
    write_all(fd, report);
    close(fd);
    // _exit: the child must not run the parent's atexit handlers or flush GoogleTest's output.
    _exit(report.empty() ? child_clean : child_reported);
}

std::string read_all(int fd)
{
    std::string text;
    std::array<char, 4096> chunk{};
    for (;;) {
        ssize_t n = read(fd, chunk.data(), chunk.size());
        if (n <= 0) break;
        text.append(chunk.data(), static_cast<std::size_t>(n));
    }
    return text;
}

void deflate_piece(z_stream& zs, const char* data, std::size_t len, int flush, std::string& out)
{
    std::array<unsigned char, 65536> chunk{};
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
    zs.avail_in = static_cast<uInt>(len);
    do {
        zs.next_out = chunk.data();
        zs.avail_out = static_cast<uInt>(chunk.size());
        int rc = deflate(&zs, flush);
        if (rc == Z_STREAM_ERROR) throw std::runtime_error("deflate failed");
        out.append(reinterpret_cast<char*>(chunk.data()), chunk.size() - zs.avail_out);
    } while (zs.avail_out == 0 || zs.avail_in != 0);
}

std::string xref_table(const std::vector<long>& offsets)
{
    std::string out = "xref\n0 " + std::to_string(offsets.size() + 1) + "\n0000000000 65535 f \n";
    char line[32];
    for (long off : offsets) {
        std::snprintf(line, sizeof line, "%010ld 00000 n \n", off);
        out += line;
    }
    return out;
}

void save(const std::filesystem::path& path, std::string_view bytes)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

child_outcome run_in_child(const std::function<std::string()>& body, std::uint64_t memory_limit,
                           unsigned alarm_seconds)
{
    child_outcome result;
    int fds[2];
    if (pipe(fds) != 0) {
        result.report = "pipe failed";
        return result;
    }
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid < 0) {
        close(fds[0]);
        close(fds[1]);
        result.report = "fork failed";
        return result;
    }
    if (pid == 0) {
        close(fds[0]);
        child_main(fds[1], body, memory_limit, alarm_seconds);
    }
    close(fds[1]);
    result.report = read_all(fds[0]);
    close(fds[0]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    result.max_rss_kib = usage.ru_maxrss;
    result.exited = WIFEXITED(status);
    result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    if (result.exited && WEXITSTATUS(status) != child_clean && result.report.empty())
        result.report = "child exited with status " + std::to_string(WEXITSTATUS(status));
    return result;
}

std::string describe_failure(std::string_view case_name, const child_outcome& outcome)
{
    std::string name(case_name);
    if (!outcome.exited) {
        std::string why = outcome.signal == SIGALRM ? " (hang guard)" : "";
        return name + ": killed by signal " + std::to_string(outcome.signal) + why +
               (outcome.report.empty() ? "" : " after: " + outcome.report);
    }
    return outcome.report.empty() ? std::string() : name + ": " + outcome.report;
}

std::uint64_t memory_cap_for(std::uint64_t input_size) { return gib + 4 * input_size; }

bool is_library_message(std::string_view text)
{
    // Prefixes the run driver puts before a stage's message.
    for (std::string_view prefix : {"input: ", "flatten plan failed: "}) {
        if (text.substr(0, prefix.size()) == prefix) {
            text.remove_prefix(prefix.size());
            // The planner may fail without a cause of its own.
            if (prefix == "flatten plan failed: " && text.empty()) return true;
            break;
        }
    }
    static constexpr std::string_view messages[] = {
        "NULL input path", "NULL output path", "NULL path argument", "cannot open ",
        "empty input file: ", "input file too large: ", "read error on ", "object number ",
        "no PDF objects found", "encrypted PDFs are not supported",
        "page tree uses inline page dictionaries", "could not resolve the page tree",
        "no document catalog",
        "page object ", "out of memory", "failed to build output", "cannot write ",
        "short write to ", "close error on "};
    for (std::string_view m : messages)
        if (text.substr(0, m.size()) == m) return true;
    return false;
}

std::string nested(std::string_view open, std::string_view core, std::string_view close,
                   int depth)
{
    std::string out;
    out.reserve((open.size() + close.size()) * static_cast<std::size_t>(depth) + core.size());
    for (int i = 0; i < depth; ++i) out += open;
    out += core;
    for (int i = 0; i < depth; ++i) out += close;
    return out;
}

std::string zlib_bomb(std::string_view prefix, std::uint64_t zero_count)
{
    z_stream zs{};
    if (deflateInit(&zs, 9) != Z_OK) throw std::runtime_error("deflateInit failed");
    std::string out;
    deflate_piece(zs, prefix.data(), prefix.size(), Z_NO_FLUSH, out);
    const std::vector<char> zeros(1 << 20, '\0');
    for (std::uint64_t left = zero_count; left > 0;) {
        std::size_t n = left < zeros.size() ? static_cast<std::size_t>(left) : zeros.size();
        deflate_piece(zs, zeros.data(), n, Z_NO_FLUSH, out);
        left -= n;
    }
    deflate_piece(zs, nullptr, 0, Z_FINISH, out);
    deflateEnd(&zs);
    return out;
}

std::string scaffold_pdf(std::string_view page_extra, std::string_view catalog_extra,
                         std::string_view objects)
{
    std::string out = "%PDF-1.7\n%\xE2\xE3\xCF\xD3\n";
    std::vector<long> offsets;
    const std::string bodies[] = {
        "<< /Type /Catalog /Pages 2 0 R " + std::string(catalog_extra) + " >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] " + std::string(page_extra) + " >>"};
    for (int i = 0; i < 3; ++i) {
        offsets.push_back(static_cast<long>(out.size()));
        out += std::to_string(i + 1) + " 0 obj\n" + bodies[i] + "\nendobj\n";
    }
    out += objects;
    long xref = static_cast<long>(out.size());
    out += xref_table(offsets) + "trailer\n<< /Size 4 /Root 1 0 R >>\nstartxref\n" +
           std::to_string(xref) + "\n%%EOF\n";
    return out;
}

int write_fuzz_seeds(const std::string& dir)
{
    namespace fs = std::filesystem;
    const fs::path pdf_dir = fs::path(dir) / "pdf", inflate_dir = fs::path(dir) / "inflate";
    fs::create_directories(pdf_dir);
    fs::create_directories(inflate_dir);
    const std::string square_ap = "5 0 obj\n<< /Type /Annot /Subtype /Square /Rect [10 10 90 60] "
                                  "/AP << /N 6 0 R >> >>\nendobj\n";
    const std::string fallbacks =
        "5 0 obj\n<< /Type /Annot /Subtype /Circle /Rect [10 10 90 60] /C [1 0 0] >>\nendobj\n"
        "6 0 obj\n<< /Type /Annot /Subtype /Line /Rect [0 0 99 99] /L [5 5 90 90] >>\nendobj\n"
        "7 0 obj\n<< /Type /Annot /Subtype /Ink /Rect [0 0 99 99] /InkList [[1 1 50 50 90 10]] >>\nendobj\n"
        "8 0 obj\n<< /Type /Annot /Subtype /Highlight /Rect [0 0 99 99] /QuadPoints [0 9 9 9 0 0 9 0] >>\nendobj\n"
        "9 0 obj\n<< /Type /Annot /Subtype /FreeText /Rect [0 0 99 99] /Contents (Hi \\(there\\)) /DA (/Helv 9 Tf) >>\nendobj\n";
    const std::string form =
        "5 0 obj\n<< /FT /Tx /T (name) /Kids [6 0 R 7 0 R] >>\nendobj\n"
        "6 0 obj\n<< /Type /Annot /Subtype /Widget /Parent 5 0 R /Rect [0 0 50 20] /AP << /N 8 0 R >> >>\nendobj\n"
        "7 0 obj\n<< /Type /Annot /Subtype /Widget /Parent 5 0 R /Rect [0 30 50 50] /AS /Off "
        "/AP << /N << /On 8 0 R /Off 8 0 R >> >> >>\nendobj\n"
        "8 0 obj\n<< /Type /XObject /Subtype /Form /BBox [0 0 50 20] /Length 8 >>\nstream\n0 0 m S\n\nendstream\nendobj\n";
    const std::string ap_stream =
        "6 0 obj\n<< /Type /XObject /Subtype /Form /BBox [0 0 80 50] /Length 24 >>\nstream\n"
        "1 0 0 rg 0 0 80 50 re f\n\nendstream\nendobj\n";
    const std::string small_bomb = zlib_bomb("0 0 1 rg 0 0 9 9 re f\n", 1 << 20);
    const std::pair<const char*, std::string> pdfs[] = {
        {"square_ap.pdf", scaffold_pdf("/Annots [5 0 R]", "", square_ap + ap_stream)},
        {"fallbacks.pdf", scaffold_pdf("/Annots [5 0 R 6 0 R 7 0 R 8 0 R 9 0 R]", "", fallbacks)},
        {"form.pdf", scaffold_pdf("/Annots [6 0 R 7 0 R]", "/AcroForm << /Fields [5 0 R] >>", form)},
        {"objstm_xref_stream.pdf",
         pdf_builder()
             .object(1, "<< /Type /Catalog /Pages 2 0 R >>")
             .object_stream(9, {{2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>"},
                                {3, "<< /Type /Page /Parent 2 0 R /Annots [5 0 R] >>"},
                                {5, "<< /Subtype /Square /Rect [1 1 20 20] >>"}})
             .trailer("/Root 1 0 R")
             .build(true)},
        {"parent_loop.pdf",
         scaffold_pdf("/Annots [5 0 R]", "/AcroForm << /Fields [6 0 R] >>",
                      "5 0 obj\n<< /Subtype /Widget /Rect [0 0 9 9] /Parent 6 0 R >>\nendobj\n"
                      "6 0 obj\n<< /Kids [5 0 R] /Parent 5 0 R >>\nendobj\n")},
        {"small_bomb_content.pdf",
         scaffold_pdf("/Contents 5 0 R", "",
                      "5 0 obj\n<< /Filter /FlateDecode /Length " + std::to_string(small_bomb.size()) +
                          " >>\nstream\n" + small_bomb + "\nendstream\nendobj\n")},
    };
    const std::string text = "BT /F1 12 Tf 72 712 Td (A line of text, a line of text.) Tj ET\n";
    const std::pair<const char*, std::string> streams[] = {
        {"stored.z", zlib_compress(text, 0)},
        {"fast.z", zlib_compress(text, 1)},
        {"best_repeats.z", zlib_compress(text + text + text + text, 9)},
        {"small_bomb.z", small_bomb},
    };
    int written = 0;
    for (const auto& [name, bytes] : pdfs) save(pdf_dir / name, bytes), ++written;
    for (const auto& [name, bytes] : streams) save(inflate_dir / name, bytes), ++written;
    return written;
}

}  // namespace kestrin::test
