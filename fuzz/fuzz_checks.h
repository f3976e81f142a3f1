// Rules that every run of the library must obey, checked by the fuzz targets and replayed by the
// test suite on saved inputs. Each check returns an empty string when the rules hold, else what
// broke.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kestrin::fuzz {

// The decoder against itself: the result is 0 or -1, a failure reports length 0, success reports
// at most the capacity, and decoding again with exactly the reported capacity gives the same bytes.
std::string check_inflate(const std::uint8_t* data, std::size_t size);

// Both counting queries on data as a file: a count of 0 or more with an empty error text, or -1
// with a message.
std::string check_load(const std::uint8_t* data, std::size_t size);

// One flatten mode (1 forms, 2 annotations, 3 all) on data as a file: failure leaves a message
// and no output file; success writes a file whose structure holds (see check_output_file), with
// the input's page count and, in annotations mode, its field count.
std::string check_flatten(const std::uint8_t* data, std::size_t size, int mode);

// Structure of a written file: starts with "%PDF-1.4", every in-use cross-reference entry points
// at its "N G obj" line, "startxref" points at "xref", and the file loads again.
std::string check_output_file(const std::string& path);

// The appearance generator on data read as a DA string, a value, a caption, list options, the
// selection, a ToUnicode CMap and the box's geometry and flags: every content it builds has finite
// numbers in range, known operators only and balanced q/Q, BT/ET and BMC/EMC; a password never
// shows; an off button draws no caption; the MK R box maps onto the rectangle; the CMap reader keeps
// its limits and the composite font's codes show their characters.
std::string check_generate(const std::uint8_t* data, std::size_t size);

// The content-stream rules of check_generate alone.
std::string check_generator_content(std::string_view content);

}  // namespace kestrin::fuzz
