// kestrin: command-line host of libkestrin, linked through the public header only.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "cli.h"
#include "kestrin.h"

namespace kestrin_cli {

namespace {



constexpr const char* main_usage =
    "usage: kestrin flatten [OPTIONS] IN OUT\n"
    "       kestrin flatten [OPTIONS] --replace-input FILE\n"
    "       kestrin flatten [OPTIONS] [-j N] -o OUTDIR (IN... | -r DIR)\n"
    "       kestrin count [--fields|--annotations] [--json] FILE...\n"
    "       kestrin fields FILE\n"
    "       kestrin annotations FILE\n"
    "       kestrin --help | --version\n";

constexpr const char* main_help =
    "\n"
    "Flattens the form fields and annotations of PDF files into their page content, or counts them.\n"
    "\n"
    "  flatten    write a flattened copy (see 'kestrin flatten --help')\n"
    "  count      print field and annotation counts (see 'kestrin count --help')\n"
    "  fields     print the number of terminal form fields of FILE\n"
    "  annotations  print the number of annotations of FILE\n"
    "\n"
    "Exit status: 0 on success, 1 when a file failed, 2 for a usage error.\n";

int print_single_count(const std::vector<std::string_view>& args, bool fields)
{
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::printf("usage: kestrin %s FILE\n", fields ? "fields" : "annotations");
        return 0;
    }
    if (args.size() != 1) return usage_error(main_usage);
    std::string path(args[0]);
    int32_t n = fields ? kestrin_field_count(path.c_str()) : kestrin_annotation_count(path.c_str());
    if (n < 0) {
        std::fprintf(stderr, "kestrin: %s: %s\n", path.c_str(), kestrin_last_error());
        return 1;
    }
    std::printf("%d\n", static_cast<int>(n));
    return 0;
}

}  // namespace

std::string json_string(std::string_view text)
{
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", c);
            out += esc;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

int usage_error(const char* usage)
{
    std::fputs(usage, stderr);
    return 2;
}

}  // namespace kestrin_cli

int main(int argc, char** argv)
{
    using namespace kestrin_cli;
    std::vector<std::string_view> args(argv + 1, argv + argc);
    if (args.empty()) return usage_error(main_usage);
    std::string_view command = args.front();
    std::vector<std::string_view> rest(args.begin() + 1, args.end());
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(main_usage, stdout);
        std::fputs(main_help, stdout);
        return 0;
    }
    if (command == "--version") {
        std::printf("kestrin %s\n", kestrin_version());
        return 0;
    }
    if (command == "flatten") return run_flatten(rest);
    if (command == "count") return run_count(rest);
    if (command == "fields") return print_single_count(rest, true);
    if (command == "annotations") return print_single_count(rest, false);
    return usage_error(main_usage);
}
