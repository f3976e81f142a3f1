// kestrin flatten: one file, in place, through standard input and output, or a batch of files
// flattened in this process by N threads (the library takes overlapping calls).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "cli.h"
#include "kestrin.h"
#include "page_tally.h"

namespace kestrin_cli {

namespace {

namespace fs = std::filesystem;

constexpr const char* flatten_usage =
    "usage: kestrin flatten [OPTIONS] IN OUT\n"
    "       kestrin flatten [OPTIONS] --replace-input FILE\n"
    "       kestrin flatten [OPTIONS] [-j N] -o OUTDIR (IN... | -r DIR)\n"
    "OPTIONS: [--all|--forms|--annotations] [--keep-links] [--print-only [--keep-non-printing]]\n"
    "         [--no-generate-appearances] [--compact] [--json]\n";

constexpr const char* flatten_help =
    "\nWrites a copy of IN in which form fields (--forms), annotations (--annotations) or both\n"
    "(--all, the default) are drawn into the page content. '-' as IN reads standard input, '-' as\n"
    "OUT writes standard output. --replace-input flattens FILE in place; FILE is kept unchanged\n"
    "when flattening fails. With -o OUTDIR every IN (or every .pdf file under DIR with -r, keeping\n"
    "its relative path) is written to OUTDIR by N threads of this process (default: the number of\n"
    "cores).\n"
    "\n"
    "  --keep-links        Link annotations stay working annotations\n"
    "  --print-only        flatten only annotations with the Print flag; the others are removed\n"
    "  --keep-non-printing with --print-only: keep the non-printing annotations as annotations\n"
    "  --no-generate-appearances  never generate field appearances (by default a text field or\n"
    "                      combo box without one, or with NeedAppearances set, shows its value)\n"
    "  --compact           a smaller output that renders the same: appearances keep their\n"
    "                      compressed data, the old page content stays in its own streams and\n"
    "                      objects nothing refers to are left out\n"
    "  --json              one JSON object per file on standard output: {\"file\", \"output\",\n"
    "                      \"ok\": true, \"bytes\", \"pages\", \"seconds\"} or {\"file\", \"output\",\n"
    "                      \"ok\": false, \"error\"}; not with OUT '-'\n"
    "\n"
    "Exit status: 0 when all files succeeded, 1 when any failed, 2 for a usage error.\n";

struct flatten_options {
    kestrin_options lib = KESTRIN_OPTIONS_INIT;
    bool keep_non_printing = false;
    bool json = false;
    bool replace_input = false;
    std::optional<std::string> out_dir;
    std::optional<std::string> tree;
    int jobs = 0;
    std::vector<std::string> paths;
};

struct job {
    std::string in, out;
};

struct job_result {
    bool ok = false;
    long pages = 0;
    std::uint64_t bytes = 0;
    double seconds = 0;
    std::string error;
};

std::optional<int> parse_jobs(std::string_view text)
{
    int n = 0;
    for (char c : text) {
        if (c < '0' || c > '9' || n > 100000) return std::nullopt;
        n = n * 10 + (c - '0');
    }
    if (text.empty() || n < 1) return std::nullopt;
    return n;
}

// 0 options read, 1 help printed, 2 usage error.
int parse_flatten_args(const std::vector<std::string_view>& args, flatten_options& o)
{
    for (size_t i = 0; i < args.size(); ++i) {
        std::string_view a = args[i];
        bool has_value = i + 1 < args.size();
        if (a == "--help" || a == "-h") {
            std::fputs(flatten_usage, stdout);
            std::fputs(flatten_help, stdout);
            return 1;
        }
        if (a == "--all") {
            o.lib.flatten = KESTRIN_FLATTEN_ALL;
        } else if (a == "--forms") {
            o.lib.flatten = KESTRIN_FLATTEN_FORMS;
        } else if (a == "--annotations") {
            o.lib.flatten = KESTRIN_FLATTEN_ANNOTATIONS;
        } else if (a == "--keep-links") {
            o.lib.keep_links = 1;
        } else if (a == "--print-only") {
            o.lib.print_only = 1;
        } else if (a == "--keep-non-printing") {
            o.keep_non_printing = true;
            o.lib.non_printing = KESTRIN_NON_PRINTING_KEEP;
        } else if (a == "--no-generate-appearances") {
            o.lib.no_generate_appearances = 1;
        } else if (a == "--compact") {
            o.lib.compact = 1;
        } else if (a == "--json") {
            o.json = true;
        } else if (a == "--replace-input") {
            o.replace_input = true;
        } else if (a == "-o" && has_value) {
            o.out_dir = std::string(args[++i]);
        } else if (a == "-r" && has_value) {
            o.tree = std::string(args[++i]);
        } else if (a == "-j" && has_value) {
            auto n = parse_jobs(args[++i]);
            if (!n) return 2;
            o.jobs = *n;
        } else if (a.size() > 1 && a[0] == '-') {
            return 2;
        } else {
            o.paths.emplace_back(a);
        }
    }
    // Keeping the non-printing annotations only means something when they are singled out.
    if (o.keep_non_printing && o.lib.print_only == 0) return 2;
    return 0;
}

void report_failure(const std::string& file, const std::string& error)
{
    std::fprintf(stderr, "kestrin: %s: %s\n", file.c_str(), error.c_str());
}

void print_json(const job& j, const job_result& r)
{
    std::string line = "{\"file\": " + json_string(j.in) + ", \"output\": " + json_string(j.out);
    if (r.ok) {
        char tail[128];
        std::snprintf(tail, sizeof tail, ", \"ok\": true, \"bytes\": %llu, \"pages\": %ld, \"seconds\": %.3f}\n",
                      static_cast<unsigned long long>(r.bytes), r.pages, r.seconds);
        line += tail;
    } else {
        line += ", \"ok\": false, \"error\": " + json_string(r.error) + "}\n";
    }
    std::fputs(line.c_str(), stdout);
}

std::optional<std::string> read_all(std::istream& from)
{
    std::string bytes;
    if (!read_in_pieces(from, read_piece_size, [&bytes](std::string_view piece) { bytes.append(piece); }))
        return std::nullopt;
    return bytes;
}

double seconds_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Writes bytes to path through a temporary file renamed over it, as the library does: a new file
// gets 0666 less the umask, a replaced one keeps its mode.
bool write_file_atomically(const std::string& path, std::string_view bytes)
{
    std::string temp;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temp = path + ".kestrin-" + std::to_string(getpid()) + "-" + std::to_string(attempt);
        fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) return false;
    }
    if (fd < 0) return false;
    struct stat st {};
    if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) fchmod(fd, st.st_mode & 07777);
    bool ok = true;
    for (size_t done = 0; ok && done < bytes.size();) {
        ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) ok = false;
        else done += static_cast<size_t>(n);
    }
    if (close(fd) != 0) ok = false;
    if (ok && std::rename(temp.c_str(), path.c_str()) != 0) ok = false;
    if (!ok) std::remove(temp.c_str());
    return ok;
}

// One file. Standard input and output go through the library's memory functions.
int flatten_one(const flatten_options& o, const std::string& in, const std::string& out)
{
    const auto start = std::chrono::steady_clock::now();
    job j{in, out};
    job_result r;
    if (in != "-" && out != "-") {
        r.ok = kestrin_flatten(in.c_str(), out.c_str(), &o.lib) == 0;
        if (!r.ok) r.error = kestrin_last_error();
        if (r.ok && o.json) {
            const std::optional<file_tally> t = tally_file(out);
            r.bytes = t ? t->bytes : 0;
            r.pages = t ? t->pages : 0;
        }
    } else {
        std::optional<std::string> input;
        if (in == "-") {
            input = read_all(std::cin);
        } else {
            std::ifstream f(in, std::ios::binary);
            if (f) input = read_all(f);
        }
        if (!input) {
            report_failure(in, in == "-" ? "cannot read standard input" : "cannot open " + in);
            return 1;
        }
        void* flat = nullptr;
        size_t flat_len = 0;
        r.ok = kestrin_flatten_memory(input->data(), input->size(), &flat, &flat_len, &o.lib) == 0;
        if (!r.ok) {
            r.error = kestrin_last_error();
        } else {
            std::string_view bytes(static_cast<const char*>(flat), flat_len);
            r.bytes = flat_len;
            r.pages = o.json ? count_pages(bytes) : 0;
            if (out == "-") {
                std::cout.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
                std::cout.flush();
                if (!std::cout) {
                    r.ok = false;
                    r.error = "cannot write standard output";
                }
            } else if (!write_file_atomically(out, bytes)) {
                r.ok = false;
                r.error = "cannot write " + out;
            }
            kestrin_free(flat);
        }
    }
    r.seconds = seconds_since(start);
    if (!r.ok) report_failure(in, r.error);
    if (o.json) print_json(j, r);
    return r.ok ? 0 : 1;
}

bool is_pdf_name(const fs::path& p)
{
    std::string ext = p.extension().string();
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return ext == ".pdf";
}

std::vector<job> collect_jobs(const flatten_options& o)
{
    std::vector<job> jobs;
    fs::path out_dir(*o.out_dir);
    if (o.tree) {
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(*o.tree, ec);
             !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
            if (it->is_regular_file() && is_pdf_name(it->path()))
                jobs.push_back({it->path().string(),
                                (out_dir / fs::relative(it->path(), *o.tree)).string()});
        }
        std::sort(jobs.begin(), jobs.end(), [](const job& a, const job& b) { return a.in < b.in; });
    }
    for (const std::string& p : o.paths)
        jobs.push_back({p, (out_dir / fs::path(p).filename()).string()});
    return jobs;
}

// Flattens one file of a batch on the calling thread.
job_result flatten_job(const flatten_options& o, const job& j)
{
    const auto start = std::chrono::steady_clock::now();
    job_result r;
    std::error_code ec;
    fs::create_directories(fs::path(j.out).parent_path(), ec);
    if (kestrin_flatten(j.in.c_str(), j.out.c_str(), &o.lib) == 0) {
        r.ok = true;
        if (const std::optional<file_tally> t = tally_file(j.out)) {
            r.bytes = t->bytes;
            r.pages = t->pages;
        }
    } else {
        r.error = kestrin_last_error();  // this thread's own message
    }
    r.seconds = seconds_since(start);
    return r;
}

// The batch: N threads take the next file in turn; the main thread shows the progress.
class batch_runner {
public:
    batch_runner(const flatten_options& o, std::vector<job> jobs)
        : options_(o), jobs_(std::move(jobs)), results_(jobs_.size()), order_(largest_first(jobs_)),
          tty_(isatty(STDERR_FILENO))
    {
    }

    int run(int parallel)
    {
        start_ = std::chrono::steady_clock::now();
        const size_t threads = std::min(static_cast<size_t>(parallel), jobs_.size());
        std::vector<std::thread> workers;
        for (size_t t = 0; t < threads; ++t) workers.emplace_back([this] { work(); });
        {
            std::unique_lock<std::mutex> lock(mutex_);
            while (done_ < jobs_.size()) {
                show_progress();
                changed_.wait_for(lock, std::chrono::milliseconds(200));
            }
            show_progress();
        }
        for (std::thread& w : workers) w.join();
        return summarise();
    }

private:
    // The order the threads take the jobs in: the largest inputs first, so that no long job
    // starts last and leaves the other threads idle at the end.
    static std::vector<size_t> largest_first(const std::vector<job>& jobs)
    {
        std::vector<std::uintmax_t> sizes(jobs.size(), 0);
        for (size_t i = 0; i < jobs.size(); ++i) {
            std::error_code ec;
            const std::uintmax_t size = fs::file_size(jobs[i].in, ec);
            sizes[i] = ec ? 0 : size;
        }
        std::vector<size_t> order(jobs.size());
        for (size_t i = 0; i < order.size(); ++i) order[i] = i;
        std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return sizes[a] > sizes[b]; });
        return order;
    }

    void work()
    {
        for (size_t k = next_++; k < jobs_.size(); k = next_++) {
            const size_t i = order_[k];
            job_result r = flatten_job(options_, jobs_[i]);
            std::lock_guard<std::mutex> lock(mutex_);
            if (!r.ok) ++failed_;
            pages_ += r.pages;
            ++done_;
            results_[i] = std::move(r);
            changed_.notify_one();
        }
    }

    double elapsed() const { return seconds_since(start_); }

    // Called with mutex_ held.
    void show_progress() const
    {
        if (!tty_) return;
        double secs = elapsed();
        std::fprintf(stderr, "\r%zu/%zu files, %.0f pages/s, %zu failed ", done_, jobs_.size(),
                     secs > 0 ? double(pages_) / secs : 0.0, failed_);
    }

    int summarise() const
    {
        if (tty_) std::fputc('\n', stderr);
        for (size_t i = 0; i < jobs_.size(); ++i) {
            if (!results_[i].ok) report_failure(jobs_[i].in, results_[i].error);
            if (options_.json) print_json(jobs_[i], results_[i]);
        }
        std::fprintf(stderr, "kestrin: flattened %zu of %zu files (%ld pages) in %.1f s, %zu failed\n",
                     jobs_.size() - failed_, jobs_.size(), pages_, elapsed(), failed_);
        return failed_ == 0 ? 0 : 1;
    }

    const flatten_options& options_;
    std::vector<job> jobs_;
    std::vector<job_result> results_;
    std::vector<size_t> order_;  // job indexes in the order they are taken
    std::atomic<size_t> next_{0};
    std::mutex mutex_;
    std::condition_variable changed_;
    size_t done_ = 0, failed_ = 0;  // guarded by mutex_
    long pages_ = 0;                // guarded by mutex_
    bool tty_;
    std::chrono::steady_clock::time_point start_;
};

int default_jobs()
{
    unsigned n = std::thread::hardware_concurrency();
    return n > 0 ? static_cast<int>(n) : 1;
}

int run_batch(const flatten_options& o)
{
    if (o.tree && !fs::is_directory(*o.tree)) {
        report_failure(*o.tree, "not a directory");
        return 1;
    }
    std::vector<job> jobs = collect_jobs(o);
    if (jobs.empty()) {
        std::fprintf(stderr, "kestrin: no PDF files to flatten\n");
        return 1;
    }
    std::error_code ec;
    fs::create_directories(*o.out_dir, ec);
    batch_runner runner(o, std::move(jobs));
    return runner.run(o.jobs > 0 ? o.jobs : default_jobs());
}

}  // namespace

int run_flatten(const std::vector<std::string_view>& args)
{
    flatten_options o;
    int parsed = parse_flatten_args(args, o);
    if (parsed == 1) return 0;
    if (parsed == 2) return usage_error(flatten_usage);
    if (o.out_dir) {
        if (o.replace_input || (o.paths.empty() && !o.tree)) return usage_error(flatten_usage);
        return run_batch(o);
    }
    if (o.tree) return usage_error(flatten_usage);
    if (o.replace_input) {
        // The library writes through a temporary file renamed over the destination, so the input
        // survives any failure.
        if (o.paths.size() != 1 || o.paths[0] == "-") return usage_error(flatten_usage);
        return flatten_one(o, o.paths[0], o.paths[0]);
    }
    if (o.paths.size() != 2) return usage_error(flatten_usage);
    // Standard output carries the PDF, so it cannot carry the JSON too.
    if (o.json && o.paths[1] == "-") return usage_error(flatten_usage);
    return flatten_one(o, o.paths[0], o.paths[1]);
}

}  // namespace kestrin_cli
