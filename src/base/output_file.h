// Writing the finished output to its path without ever costing the caller an existing file.
#pragma once

#include <string>
#include <string_view>
#include <thread>

#include "base/byte_buffer.h"
#include "base/status.h"
#include "base/output_sink.h"

namespace kestrin::base {

// Writes bytes to path through a temporary file in the same directory, renamed over path only
// after a complete write and close. On failure the temporary file is removed and any existing
// file at path is untouched.
status write_output_file(const char* path, std::string_view bytes);

// An output written while it is built: the bytes go to a temporary file beside the destination,
// which replaces the destination only in finish(). Destroyed unfinished, it removes the temporary
// file and leaves the destination untouched.
class output_stream final : public output_sink {
public:
    output_stream() = default;
    output_stream(const output_stream&) = delete;
    output_stream& operator=(const output_stream&) = delete;
    ~output_stream();

    // False, with nothing reported, when the destination is a device or pipe (written in place
    // at the end instead) or no temporary file can be made.
    bool open(const char* path);

    // After a failed write nothing more is written; finish() reports it.
    void write(std::string_view bytes);

    // Takes the bytes of b and gives b a free block back (or none, to be reserved anew): a second
    // thread writes them while the caller goes on building, so the kernel's copy overlaps the
    // work. Written in place when no thread can be started.
    void write_behind(byte_buffer& b);
    void take(byte_buffer& b) override { write_behind(b); }

    // Writes rest, closes and renames over the destination; fails as write_output_file fails.
    status finish(const char* path, std::string_view rest);

private:
    // Waits for the bytes in flight; a failure counts as a failed write.
    void wait_behind();

    std::string dest_;
    std::string temp_name_;
    int fd_ = -1;
    bool write_failed_ = false;
    bool renamed_ = false;
    byte_buffer in_flight_;                // bytes being written by behind_, then a free block
    std::thread behind_;
    bool behind_failed_ = false;  // set by behind_, read after joining it
};

}  // namespace kestrin::base
