// Helpers for hostile-input tests: isolated child runs with a memory bound and a hang guard,
// recognising the library's own failure messages, and generators of pathological PDF text.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace kestrin::test {

// How a child run ended. report is what the body returned ("" when all rules held).
struct child_outcome {
    bool exited = false;     // ended by _exit, not by a signal
    int signal = 0;          // the killing signal when !exited
    std::string report;      // the body's finding, or why the child could not run
    long max_rss_kib = 0;    // peak resident size of the child
};

// Runs body in a forked child whose address space is capped at memory_limit bytes (no cap when 0
// or when built with AddressSanitizer, whose shadow memory needs far more address space) and
// which is killed by SIGALRM after alarm_seconds. body must not use GoogleTest assertions.
child_outcome run_in_child(const std::function<std::string()>& body, std::uint64_t memory_limit,
                           unsigned alarm_seconds);

// "" when the child ended normally with an empty report; else a description naming the case.
std::string describe_failure(std::string_view case_name, const child_outcome& outcome);

// The usual cap for one input: 1 GiB plus four times the input.
std::uint64_t memory_cap_for(std::uint64_t input_size);

// True when text is one of the library's own failure messages, optionally behind "input: " or
// "flatten plan failed: ".
bool is_library_message(std::string_view text);

// depth copies of open, then core, then depth copies of close.
std::string nested(std::string_view open, std::string_view core, std::string_view close,
                   int depth);

// zlib stream of prefix followed by zero_count zero bytes, compressed at level 9 piecewise so
// that the decoded size never has to be held in memory.
std::string zlib_bomb(std::string_view prefix, std::uint64_t zero_count);

// A complete PDF: catalog 1 (catalog_extra), pages 2, page 3 (page_extra, no content) and the
// given objects text (complete "N 0 obj ... endobj" blocks), with a classic xref table that
// covers the objects of the scaffold.
std::string scaffold_pdf(std::string_view page_extra, std::string_view catalog_extra,
                         std::string_view objects);

// Writes the small generated inputs worth seeding a fuzzer with into dir/pdf and dir/inflate.
// Returns the number of files written.
int write_fuzz_seeds(const std::string& dir);

}  // namespace kestrin::test
