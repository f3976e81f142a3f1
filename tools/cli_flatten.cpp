// kestrin flatten: one file, in place, through standard input and output, or a batch of files
// spread over worker processes (the library serves one call at a time per process).
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli.h"
#include "kestrin.h"

namespace kestrin_cli {

namespace {

namespace fs = std::filesystem;

constexpr const char* flatten_usage =
    "usage: kestrin flatten [--all|--forms|--annotations] IN OUT\n"
    "       kestrin flatten [--all|--forms|--annotations] --replace-input FILE\n"
    "       kestrin flatten [--all|--forms|--annotations] [-j N] -o OUTDIR (IN... | -r DIR)\n";

constexpr const char* flatten_help =
    "\nWrites a copy of IN in which form fields (--forms), annotations (--annotations) or both\n"
    "(--all, the default) are drawn into the page content. '-' as IN reads standard input, '-' as\n"
    "OUT writes standard output. --replace-input flattens FILE in place; FILE is kept unchanged\n"
    "when flattening fails. With -o OUTDIR every IN (or every .pdf file under DIR with -r, keeping\n"
    "its relative path) is written to OUTDIR by N worker processes (default: the number of cores).\n"
    "Exit status: 0 when all files succeeded, 1 when any failed, 2 for a usage error.\n";

using flatten_fn = int32_t (*)(const char*, const char*);

struct flatten_options {
    flatten_fn run = kestrin_all;
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
            o.run = kestrin_all;
        } else if (a == "--forms") {
            o.run = kestrin_forms;
        } else if (a == "--annotations") {
            o.run = kestrin_annotations;
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
    return 0;
}

void report_failure(const std::string& file, const std::string& error)
{
    std::fprintf(stderr, "kestrin: %s: %s\n", file.c_str(), error.c_str());
}

std::optional<std::string> make_temp_file(const std::string& dir)
{
    std::string pattern = dir + "/kestrin-XXXXXX";
    int fd = mkstemp(pattern.data());
    if (fd < 0) return std::nullopt;
    close(fd);
    return pattern;
}

std::string temp_directory()
{
    const char* t = std::getenv("TMPDIR");
    return (t != nullptr && *t != '\0') ? t : "/tmp";
}

bool copy_stream(std::istream& from, std::ostream& to)
{
    to << from.rdbuf();
    to.flush();
    return static_cast<bool>(to);
}

// Standard input and output go through temporary files, since the library takes paths.
int flatten_one(const flatten_options& o, const std::string& in, const std::string& out)
{
    std::optional<std::string> tmp_in, tmp_out;
    std::string src = in, dst = out;
    if (in == "-") {
        tmp_in = make_temp_file(temp_directory());
        std::ofstream f(tmp_in.value_or(""), std::ios::binary);
        if (!tmp_in || !copy_stream(std::cin, f)) {
            report_failure("-", "cannot buffer standard input");
            if (tmp_in) std::remove(tmp_in->c_str());
            return 1;
        }
        src = *tmp_in;
    }
    if (out == "-") {
        tmp_out = make_temp_file(temp_directory());
        if (!tmp_out) {
            report_failure("-", "cannot create a temporary file");
            if (tmp_in) std::remove(tmp_in->c_str());
            return 1;
        }
        dst = *tmp_out;
    }
    int status = 0;
    if (o.run(src.c_str(), dst.c_str()) != 0) {
        report_failure(in, kestrin_last_error());
        status = 1;
    } else if (tmp_out) {
        std::ifstream f(*tmp_out, std::ios::binary);
        if (!copy_stream(f, std::cout)) {
            report_failure("-", "cannot write standard output");
            status = 1;
        }
    }
    if (tmp_in) std::remove(tmp_in->c_str());
    if (tmp_out) std::remove(tmp_out->c_str());
    return status;
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

bool is_alnum(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Pages of a file the library wrote: its objects are all plain, so page dictionaries can be
// counted in the bytes. Only feeds the progress rate.
long count_output_pages(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    long pages = 0;
    for (size_t at = bytes.find("/Type"); at != std::string::npos; at = bytes.find("/Type", at + 5)) {
        size_t v = at + 5;
        while (v < bytes.size() && (bytes[v] == ' ' || bytes[v] == '\n' || bytes[v] == '\r')) ++v;
        if (bytes.compare(v, 5, "/Page") == 0 &&
            (v + 5 >= bytes.size() || !is_alnum(bytes[v + 5])))
            ++pages;
    }
    return pages;
}

// Runs in the worker process: flattens one file and writes "ok pages" or "error text".
void work_in_child(const flatten_options& o, const job& j, int fd)
{
    std::error_code ec;
    fs::create_directories(fs::path(j.out).parent_path(), ec);
    std::string message;
    if (o.run(j.in.c_str(), j.out.c_str()) == 0)
        message = "0 " + std::to_string(count_output_pages(j.out));
    else
        message = std::string("1 ") + kestrin_last_error();
    for (size_t done = 0; done < message.size();) {
        ssize_t n = write(fd, message.data() + done, message.size() - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
}

job_result parse_child_message(const std::string& message)
{
    job_result r;
    if (message.size() < 2) {
        r.error = "worker process failed";
        return r;
    }
    r.ok = message[0] == '0';
    if (r.ok)
        r.pages = std::strtol(message.c_str() + 2, nullptr, 10);
    else
        r.error = message.substr(2);
    return r;
}

struct worker {
    pid_t pid;
    int fd;
    size_t job_index;
    std::string message;
};

class batch_runner {
public:
    batch_runner(const flatten_options& o, std::vector<job> jobs)
        : options_(o), jobs_(std::move(jobs)), results_(jobs_.size()), tty_(isatty(STDERR_FILENO))
    {
    }

    int run(int parallel)
    {
        start_ = std::chrono::steady_clock::now();
        while (next_ < jobs_.size() || !workers_.empty()) {
            while (next_ < jobs_.size() && static_cast<int>(workers_.size()) < parallel) spawn(next_++);
            wait_for_one();
            show_progress();
        }
        return summarise();
    }

private:
    void spawn(size_t index)
    {
        int fds[2];
        if (pipe(fds) != 0) {
            results_[index].error = std::strerror(errno);
            ++done_;
            return;
        }
        std::fflush(nullptr);
        pid_t pid = fork();
        if (pid == 0) {
            close(fds[0]);
            work_in_child(options_, jobs_[index], fds[1]);
            close(fds[1]);
            _exit(0);
        }
        close(fds[1]);
        if (pid < 0) {
            close(fds[0]);
            results_[index].error = std::strerror(errno);
            ++done_;
            return;
        }
        workers_.push_back({pid, fds[0], index, {}});
    }

    void wait_for_one()
    {
        if (workers_.empty()) return;
        std::vector<pollfd> fds;
        for (const worker& w : workers_) fds.push_back({w.fd, POLLIN, 0});
        if (poll(fds.data(), fds.size(), 500) <= 0) return;
        for (size_t i = fds.size(); i-- > 0;) {
            if (fds[i].revents == 0) continue;
            worker& w = workers_[i];
            char chunk[4096];
            ssize_t n = read(w.fd, chunk, sizeof chunk);
            if (n > 0) {
                w.message.append(chunk, static_cast<size_t>(n));
                continue;
            }
            finish(i);
        }
    }

    void finish(size_t i)
    {
        worker w = workers_[i];
        workers_.erase(workers_.begin() + static_cast<long>(i));
        close(w.fd);
        int status = 0;
        waitpid(w.pid, &status, 0);
        results_[w.job_index] = parse_child_message(w.message);
        if (!results_[w.job_index].ok) ++failed_;
        pages_ += results_[w.job_index].pages;
        ++done_;
    }

    double elapsed() const
    {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    }

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
        for (size_t i = 0; i < jobs_.size(); ++i)
            if (!results_[i].ok) report_failure(jobs_[i].in, results_[i].error);
        std::fprintf(stderr, "kestrin: flattened %zu of %zu files (%ld pages) in %.1f s, %zu failed\n",
                     jobs_.size() - failed_, jobs_.size(), pages_, elapsed(), failed_);
        return failed_ == 0 ? 0 : 1;
    }

    const flatten_options& options_;
    std::vector<job> jobs_;
    std::vector<job_result> results_;
    std::vector<worker> workers_;
    size_t next_ = 0, done_ = 0, failed_ = 0;
    long pages_ = 0;
    bool tty_;
    std::chrono::steady_clock::time_point start_;
};

int default_jobs()
{
    long n = sysconf(_SC_NPROCESSORS_ONLN);
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
    return flatten_one(o, o.paths[0], o.paths[1]);
}

}  // namespace kestrin_cli
