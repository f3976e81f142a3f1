// Reading a file in pieces, and counting the pages of one the library wrote for the command
// line's progress rate and --json: its objects are all plain, so page dictionaries can be counted
// in the bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <istream>
#include <optional>
#include <string>
#include <string_view>

namespace kestrin_cli {

constexpr std::size_t read_piece_size = std::size_t{1} << 20;

// Reads from to its end in pieces of piece_size bytes, handing each to take: a character at a
// time, a large file took longer to read than to flatten. False on a read error.
bool read_in_pieces(std::istream& from, std::size_t piece_size,
                    const std::function<void(std::string_view)>& take);

// Adds to pages the "/Type /Page" entries that text decides and returns where the undecided
// rest starts: a match whose white space or following byte runs into the end, or the last bytes
// that may begin one. When text is whole (the end of the file), everything is decided.
std::size_t count_decided_pages(std::string_view text, bool whole, long& pages);

long count_pages(std::string_view bytes);

struct file_tally {
    std::uint64_t bytes = 0;
    long pages = 0;
};

// The size and pages of a file, read piece by piece of piece_size bytes: an output may be far
// larger than the memory a second copy of it should take. nullopt when it cannot be read.
std::optional<file_tally> tally_file(const std::string& path, std::size_t piece_size = read_piece_size);

}  // namespace kestrin_cli
