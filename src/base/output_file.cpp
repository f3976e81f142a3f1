#include "base/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <system_error>
#include <utility>


namespace kestrin::base {

namespace {

// Names already taken by another writer are skipped; this many tries find a free one.
constexpr int temp_name_attempts = 100;
// One write call moves at most this much; the rest follows in further calls.
constexpr std::size_t write_chunk = std::size_t{1} << 30;

struct free_deleter {
    void operator()(char* p) const { std::free(p); }
};

// Where the bytes finally go: the file a symbolic link names, so that the link survives.
std::string destination_of(const char* path)
{
    struct stat st {};
    if (lstat(path, &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    std::unique_ptr<char, free_deleter> resolved(realpath(path, nullptr));
    return resolved ? std::string(resolved.get()) : std::string(path);
}

// Device files, pipes and the like cannot be replaced by a rename; they are written directly.
bool is_special_file(const std::string& path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode);
}

// A free name "<dest>.kestrin-<pid>-<i>", created and opened for writing; -1 when none is found.
int open_temp(const std::string& dest, std::string& name)
{
    const std::string base = dest + ".kestrin-" + std::to_string(getpid()) + "-";
    for (int i = 0; i < temp_name_attempts; ++i) {
        std::string candidate = base + std::to_string(i);
        const int fd = open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            name = std::move(candidate);
            return fd;
        }
        if (errno != EEXIST) return -1;
    }
    return -1;
}

// A replaced file keeps its permission bits.
void keep_mode(const std::string& dest, int fd)
{
    struct stat st {};
    if (stat(dest.c_str(), &st) == 0 && S_ISREG(st.st_mode)) fchmod(fd, st.st_mode & 07777);
}

bool write_all(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const std::size_t n = bytes.size() < write_chunk ? bytes.size() : write_chunk;
        const ssize_t done = write(fd, bytes.data(), n);
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(done));
    }
    return true;
}

// Starts the kernel's writeback of what was written so far without waiting for it. Replacing a
// file by rename makes some file systems (ext4) write the new file's data before the rename
// returns; begun early and on this side, that work mostly overlaps the building.
void start_writeback(int fd)
{
#ifdef SYNC_FILE_RANGE_WRITE
    sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
#else
    static_cast<void>(fd);
#endif
}

status write_in_place(const char* path, const std::string& dest, std::string_view bytes)
{
    const int fd = open(dest.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) return status::failure(std::string("cannot write ") + path);
    if (!write_all(fd, bytes)) {
        close(fd);
        return status::failure(std::string("short write to ") + path);
    }
    if (close(fd) != 0) return status::failure(std::string("close error on ") + path);
    return status::success();
}

}  // namespace

status write_output_file(const char* path, std::string_view bytes)
{
    output_stream stream;
    if (stream.open(path)) return stream.finish(path, bytes);
    const std::string dest = destination_of(path);
    if (is_special_file(dest)) return write_in_place(path, dest, bytes);
    return status::failure(std::string("cannot write ") + path);
}

output_stream::~output_stream()
{
    wait_behind();
    if (fd_ >= 0) close(fd_);
    if (!renamed_ && !temp_name_.empty()) unlink(temp_name_.c_str());
}

bool output_stream::open(const char* path)
{
    dest_ = destination_of(path);
    if (is_special_file(dest_)) return false;
    fd_ = open_temp(dest_, temp_name_);
    if (fd_ < 0) return false;
    keep_mode(dest_, fd_);
    return true;
}

void output_stream::write(std::string_view bytes)
{
    if (fd_ < 0 || write_failed_) return;
    if (!write_all(fd_, bytes)) write_failed_ = true;
}

void output_stream::wait_behind()
{
    if (!behind_.joinable()) return;
    behind_.join();
    if (behind_failed_) write_failed_ = true;
}

void output_stream::write_behind(byte_buffer& b)
{
    wait_behind();
    std::swap(b.data, in_flight_.data);
    std::swap(b.cap, in_flight_.cap);
    in_flight_.len = b.len;
    b.clear();
    if (fd_ < 0 || write_failed_) return;
    behind_failed_ = false;
    try {
        behind_ = std::thread([this] {
            behind_failed_ = !write_all(fd_, in_flight_.view());
            start_writeback(fd_);
        });
    } catch (const std::system_error&) {
        write(in_flight_.view());
    }
}

status output_stream::finish(const char* path, std::string_view rest)
{
    wait_behind();
    write(rest);
    if (fd_ < 0 || write_failed_) return status::failure(std::string("short write to ") + path);
    const int closed = close(fd_);
    fd_ = -1;
    if (closed != 0) return status::failure(std::string("close error on ") + path);
    if (std::rename(temp_name_.c_str(), dest_.c_str()) != 0) return status::failure(std::string("cannot write ") + path);
    renamed_ = true;
    return status::success();
}

}  // namespace kestrin::base
