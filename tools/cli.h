// Subcommands of the kestrin command-line program.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kestrin_cli {

// Prints usage to standard error; returns the usage-error exit status 2.
int usage_error(const char* usage);

// text as a JSON string literal, quotes included.
std::string json_string(std::string_view text);

int run_flatten(const std::vector<std::string_view>& args);
int run_count(const std::vector<std::string_view>& args);

}  // namespace kestrin_cli
