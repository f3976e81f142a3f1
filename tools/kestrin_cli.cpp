// kestrin: command-line host of libkestrin, linked through the public header only.
#include <cstdio>
#include <cstring>
#include <string_view>

#include "kestrin.h"

namespace {

constexpr const char* version_text = "kestrin 0.1.0";

constexpr const char* usage_text =
    "usage: kestrin fields FILE\n"
    "       kestrin annotations FILE\n"
    "       kestrin flatten --all|--forms|--annotations IN OUT\n"
    "       kestrin --help | --version\n";

int fail(const char* what)
{
    std::fprintf(stderr, "kestrin: %s: %s\n", what, kestrin_last_error());
    return 1;
}

int print_count(int32_t count, const char* path)
{
    if (count < 0) return fail(path);
    std::printf("%d\n", static_cast<int>(count));
    return 0;
}

int flatten(std::string_view mode, const char* in, const char* out)
{
    int32_t rc;
    if (mode == "--all")
        rc = kestrin_all(in, out);
    else if (mode == "--forms")
        rc = kestrin_forms(in, out);
    else if (mode == "--annotations")
        rc = kestrin_annotations(in, out);
    else {
        std::fputs(usage_text, stderr);
        return 2;
    }
    return rc == 0 ? 0 : fail(in);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(usage_text, stdout);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::puts(version_text);
        return 0;
    }
    if (argc == 3 && std::strcmp(argv[1], "fields") == 0)
        return print_count(kestrin_field_count(argv[2]), argv[2]);
    if (argc == 3 && std::strcmp(argv[1], "annotations") == 0)
        return print_count(kestrin_annotation_count(argv[2]), argv[2]);
    if (argc == 5 && std::strcmp(argv[1], "flatten") == 0) return flatten(argv[2], argv[3], argv[4]);
    std::fputs(usage_text, stderr);
    return 2;
}
