// Feeds arbitrary bytes to the converter as a whole input file, through the
// same path a run takes (container recognition, both containers, header and
// every record), with the output and the console kept in memory. Checks, for
// every input, and aborts when one fails:
//  - the output holds at most 16 bytes per input byte plus 2: a stored byte
//    grows at most to a run of 15 spaces, and a line adds its newline and a
//    closing quote;
//  - converting the same bytes twice gives the same output and outcome;
//  - input that is not recognised opens no output at all;
//  - a finished conversion writes at least one line, and whole lines.
//
// fmemopen and open_memstream are POSIX: the fuzzer runs on Linux.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "driver.h"

namespace {

struct Conversion {
    korve::Outcome outcome;
    bool opened_output = false;
    std::string output;
};

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "korve_fuzz: %s\n", what);
    std::abort();
}

Conversion convert(const std::uint8_t* data, std::size_t size) {
    // An empty buffer cannot back a stream everywhere; /dev/null reads empty.
    std::FILE* input = size > 0 ? fmemopen(const_cast<std::uint8_t*>(data), size, "rb")
                                : std::fopen("/dev/null", "rb");
    std::FILE* console = std::fopen("/dev/null", "w");
    char* text = nullptr;
    std::size_t text_size = 0;
    std::FILE* output = nullptr;
    if (input == nullptr || console == nullptr) {
        fail("cannot open the streams");
    }
    Conversion result{};
    result.outcome = korve::convert(
        input,
        [&]() {
            result.opened_output = true;
            output = open_memstream(&text, &text_size);
            return output;
        },
        console);
    if (output != nullptr && std::fclose(output) == 0) {
        result.output.assign(text, text_size);
    }
    std::free(text);
    std::fclose(console);
    std::fclose(input);
    return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Conversion first = convert(data, size);
    if (first.output.size() > 16 * size + 2) {
        fail("the output is longer than the input can expand to");
    }
    if (first.outcome == korve::Outcome::NotAlasm && first.opened_output) {
        fail("unrecognised input opened the output");
    }
    if (first.outcome == korve::Outcome::Converted &&
        (first.output.empty() || first.output.back() != '\n')) {
        fail("a finished conversion wrote no whole line");
    }
    const Conversion second = convert(data, size);
    if (second.outcome != first.outcome || second.output != first.output) {
        fail("the same input converted differently");
    }
    return 0;
}
