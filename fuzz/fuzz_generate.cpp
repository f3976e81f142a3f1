// libFuzzer target: the field-appearance generator.
#include <cstdio>
#include <cstdlib>

#include "fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string broke = kestrin::fuzz::check_generate(data, size);
    if (!broke.empty()) {
        std::fprintf(stderr, "rule broken: %s\n", broke.c_str());
        std::abort();
    }
    return 0;
}
