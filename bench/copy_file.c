/* The floor that korve's cost per file is measured against: a static C
   program that starts, copies one file to another through the C library's
   streams, as korve reads and writes, and ends. bench/run builds and times it.

     copy_file IN OUT */
#include <stdio.h>
#include <stdlib.h>

enum { kBlock = 64 * 1024 };

int main(int argc, char** argv) {
    static char block[kBlock];
    FILE* input = NULL;
    FILE* output = NULL;
    size_t got = 0;
    int copied = 1;

    if (argc != 3) {
        fputs("usage: copy_file IN OUT\n", stderr);
        return EXIT_FAILURE;
    }
    input = fopen(argv[1], "rb");
    output = input != NULL ? fopen(argv[2], "w") : NULL;
    if (output == NULL) {
        if (input != NULL) {
            fclose(input);
        }
        return EXIT_FAILURE;
    }
    while ((got = fread(block, 1, kBlock, input)) > 0) {
        copied = copied && fwrite(block, 1, got, output) == got;
    }
    copied = copied && !ferror(input);
    fclose(input);
    copied = fclose(output) == 0 && copied;
    return copied ? EXIT_SUCCESS : EXIT_FAILURE;
}
