// Finding the indirect references a text makes.
#pragma once

#include <cstdint>
#include <string_view>

namespace kestrin::scan {

// The highest object number N of a reference "N G R" in text whose N is at most cap, or 0.
// Purely textual, like the other scanners: references inside strings and content count too.
std::int32_t highest_reference(std::string_view text, std::int32_t cap);

}  // namespace kestrin::scan
