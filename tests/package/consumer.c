/* A tiny C host: counts the fields of the PDF named on the command line. */
#include <stdio.h>

#include <kestrin.h>

int main(int argc, char** argv)
{
    if (argc != 2) return 2;
    int32_t fields = kestrin_field_count(argv[1]);
    if (fields < 0) {
        fprintf(stderr, "%s\n", kestrin_last_error());
        return 1;
    }
    printf("%d\n", (int)fields);
    return 0;
}
