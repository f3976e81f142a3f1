// Writing the finished output to its path without ever costing the caller an existing file.
#pragma once

#include <string>
#include <string_view>

namespace kestrin::emit {

// Writes bytes to path through a temporary file in the same directory, renamed over path only
// after a complete write and close. 0 on success; -1 with the error text set, the temporary file
// removed and any existing file at path untouched.
int write_output_file(const char* path, std::string_view bytes);

// An output written while it is built: the bytes go to a temporary file beside the destination,
// which replaces the destination only in finish(). Destroyed unfinished, it removes the temporary
// file and leaves the destination untouched.
class output_stream {
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

    // Writes rest, closes and renames over the destination; 0, or -1 with the error text set as
    // write_output_file sets it.
    int finish(const char* path, std::string_view rest);

private:
    std::string dest_;
    std::string temp_name_;
    int fd_ = -1;
    bool write_failed_ = false;
    bool renamed_ = false;
};

}  // namespace kestrin::emit
