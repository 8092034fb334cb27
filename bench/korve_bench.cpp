// The benchmark program: writes generated ALASM data to a file, or converts
// it from memory to a null sink and prints how fast that went.
//
//   korve_bench generate SET SIZE SEED FILE   write SIZE bytes of ALASM data
//   korve_bench decode SET SIZE SEED RUNS     convert SIZE bytes RUNS times
//                                             and print the best and median MB/s
//
// SET is real-shaped or rich (see alasm_generator.h). bench/run builds it
// and times the whole program around it.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "alasm_generator.h"
#include "alasm_writer.h"
#include "driver.h"
#include "file.h"

namespace {

using korve::bench::DataSet;
using korve::bench::generate_alasm;

#ifdef _WIN32
constexpr const char* kNullDevice = "NUL";
#else
constexpr const char* kNullDevice = "/dev/null";
#endif
constexpr double kBytesPerMegabyte = 1e6;

using korve::File;

// A stream that reads `data`; from memory where the C library can, else
// from a temporary file, which the page cache holds.
File memory_stream(const std::string& data) {
#ifdef _WIN32
    File file(std::tmpfile());
    if (file && std::fwrite(data.data(), 1, data.size(), file.get()) == data.size()) {
        std::rewind(file.get());
        return file;
    }
    return nullptr;
#else
    return File(fmemopen(const_cast<char*>(data.data()), data.size(), "rb"));
#endif
}

bool parse_size(const char* text, std::size_t& value) {
    char* end = nullptr;
    const unsigned long long parsed = std::strtoull(text, &end, 10);
    value = static_cast<std::size_t>(parsed);
    return end != text && *end == '\0';
}

int generate(DataSet set, std::size_t size, std::size_t seed, const char* path) {
    if (!korve::testing::write_file(path, generate_alasm(set, size, seed))) {
        std::fprintf(stderr, "korve_bench: cannot write %s\n", path);
        return EXIT_FAILURE;
    }
    return EXIT_SUCCESS;
}

// Seconds for one conversion of `data`, or a negative number if it failed.
double time_conversion(const std::string& data, std::FILE* sink) {
    File input = memory_stream(data);
    if (!input) {
        return -1;
    }
    const auto start = std::chrono::steady_clock::now();
    const auto outcome = korve::convert(input.get(), [sink] { return sink; }, sink);
    const std::chrono::duration<double> taken = std::chrono::steady_clock::now() - start;
    return outcome == korve::Outcome::Converted ? taken.count() : -1;
}

int decode(DataSet set, const char* set_name, std::size_t size, std::size_t seed,
           std::size_t runs) {
    const std::string data = generate_alasm(set, size, seed);
    File sink(std::fopen(kNullDevice, "w"));
    if (!sink || runs == 0) {
        std::fputs("korve_bench: cannot open the null device\n", stderr);
        return EXIT_FAILURE;
    }
    std::vector<double> seconds;
    for (std::size_t run = 0; run < runs; ++run) {
        const double taken = time_conversion(data, sink.get());
        if (taken < 0) {
            std::fputs("korve_bench: the conversion failed\n", stderr);
            return EXIT_FAILURE;
        }
        seconds.push_back(taken);
    }
    std::sort(seconds.begin(), seconds.end());
    const double megabytes = static_cast<double>(data.size()) / kBytesPerMegabyte;
    std::printf("decoding %.1f MB of %s data from memory, %zu runs: best %.0f MB/s, median %.0f MB/s\n",
                megabytes, set_name, runs, megabytes / seconds.front(),
                megabytes / seconds[runs / 2]);
    return EXIT_SUCCESS;
}

int usage() {
    std::fputs(
        "usage: korve_bench generate SET SIZE SEED FILE\n"
        "       korve_bench decode SET SIZE SEED RUNS\n"
        "SET is real-shaped or rich\n",
        stderr);
    return EXIT_FAILURE;
}

}  // namespace

int main(int argc, char** argv) {
    std::size_t size = 0;
    std::size_t seed = 0;
    std::size_t count = 0;
    if (argc != 6 || !parse_size(argv[3], size) || !parse_size(argv[4], seed)) {
        return usage();
    }
    const std::string_view command = argv[1];
    const auto set = korve::bench::data_set_named(argv[2]);
    if (!set) {
        return usage();
    }
    if (command == "generate") {
        return generate(*set, size, seed, argv[5]);
    }
    if (command == "decode" && parse_size(argv[5], count)) {
        return decode(*set, argv[2], size, seed, count);
    }
    return usage();
}
