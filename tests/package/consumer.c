/* A tiny C host: counts the fields of the PDF named on the command line. */
#include <stdio.h>

#include <kestrin.h>

int main(int argc, char** argv)
{
    if (argc != 2) return 2;
    /* The options record and its initialiser are plain C. */
    kestrin_options options = KESTRIN_OPTIONS_INIT;
    if (options.size != sizeof options || kestrin_version()[0] == '\0') return 3;
    int32_t fields = kestrin_field_count(argv[1]);
    if (fields < 0) {
        fprintf(stderr, "%s\n", kestrin_last_error());
        return 1;
    }
    printf("%d\n", (int)fields);
    return 0;
}
