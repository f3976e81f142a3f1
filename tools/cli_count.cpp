// kestrin count: field and annotation counts of one or more files, as text or JSON lines.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "cli.h"
#include "kestrin.h"

namespace kestrin_cli {

namespace {

constexpr const char* count_usage = "usage: kestrin count [--fields|--annotations] [--json] FILE...\n";

constexpr const char* count_help =
    "\nPrints, for each FILE, its number of terminal form fields and of annotations, followed by\n"
    "the file name (like wc). --fields or --annotations prints only that count. --json prints\n"
    "one JSON object per line: {\"file\":..., \"fields\":N, \"annotations\":N} or {\"file\":..., \"error\":...}.\n"
    "Exit status: 0 when every file was read, 1 when any failed, 2 for a usage error.\n";

struct count_options {
    bool fields = true;
    bool annotations = true;
    bool json = false;
    std::vector<std::string> files;
};

// 0 options read, 1 help printed, 2 usage error.
int parse_count_args(const std::vector<std::string_view>& args, count_options& o)
{
    for (std::string_view a : args) {
        if (a == "--help" || a == "-h") {
            std::fputs(count_usage, stdout);
            std::fputs(count_help, stdout);
            return 1;
        }
        if (a == "--fields") {
            o.annotations = false;
            o.fields = true;
        } else if (a == "--annotations") {
            o.fields = false;
            o.annotations = true;
        } else if (a == "--json") {
            o.json = true;
        } else if (a.size() > 1 && a[0] == '-') {
            return 2;
        } else {
            o.files.emplace_back(a);
        }
    }
    return o.files.empty() ? 2 : 0;
}

bool print_one(const count_options& o, const std::string& file)
{
    int32_t fields = o.fields ? kestrin_field_count(file.c_str()) : 0;
    int32_t annots = (fields >= 0 && o.annotations) ? kestrin_annotation_count(file.c_str()) : 0;
    if (fields < 0 || annots < 0) {
        if (o.json)
            std::printf("{\"file\": %s, \"error\": %s}\n", json_string(file).c_str(),
                        json_string(kestrin_last_error()).c_str());
        else
            std::fprintf(stderr, "kestrin: %s: %s\n", file.c_str(), kestrin_last_error());
        return false;
    }
    if (o.json) {
        std::printf("{\"file\": %s", json_string(file).c_str());
        if (o.fields) std::printf(", \"fields\": %d", static_cast<int>(fields));
        if (o.annotations) std::printf(", \"annotations\": %d", static_cast<int>(annots));
        std::printf("}\n");
    } else {
        if (o.fields) std::printf("%d ", static_cast<int>(fields));
        if (o.annotations) std::printf("%d ", static_cast<int>(annots));
        std::printf("%s\n", file.c_str());
    }
    return true;
}

}  // namespace

int run_count(const std::vector<std::string_view>& args)
{
    count_options o;
    int parsed = parse_count_args(args, o);
    if (parsed == 1) return 0;
    if (parsed == 2) return usage_error(count_usage);
    bool all_ok = true;
    for (const std::string& f : o.files) all_ok = print_one(o, f) && all_ok;
    return all_ok ? 0 : 1;
}

}  // namespace kestrin_cli
