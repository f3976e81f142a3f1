// Reading back the files the writer produced: cross-reference table, trailer and object texts.
#pragma once

#include <map>
#include <string>
#include <utility>

namespace kestrin::test {

struct written_pdf {
    std::string bytes;
    std::string problem;  // empty when the layout checks passed
    long size = 0;        // /Size of the trailer
    std::map<long, std::pair<long, long>> in_use;  // object number -> (offset, generation)

    // Text of object num from its "N G obj" line up to its "endobj", or empty.
    std::string object(long num) const;
    // Data between "stream\n" and "\nendstream" of object num.
    std::string stream_data(long num) const;
};

// Parses and checks the layout: header, every in-use entry pointing at its "N G obj" line,
// 20-byte entries, startxref pointing at "xref", /Size equal to the entry count, "%%EOF" at the end.
written_pdf read_written(const std::string& path);

}  // namespace kestrin::test
