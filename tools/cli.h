// Subcommands of the kestrin command-line program.
#pragma once

#include <string_view>
#include <vector>

namespace kestrin_cli {

// Prints usage to standard error; returns the usage-error exit status 2.
int usage_error(const char* usage);

int run_flatten(const std::vector<std::string_view>& args);
int run_count(const std::vector<std::string_view>& args);

}  // namespace kestrin_cli
