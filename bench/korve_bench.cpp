// The benchmark program: writes generated ALASM data to a file, or converts
// it from memory to a null sink and prints how fast that went; or compares
// texts far apart, line by line.
//
//   korve_bench generate SET SIZE SEED FILE   write SIZE bytes of ALASM data
//   korve_bench decode SET SIZE SEED RUNS     convert SIZE bytes RUNS times
//                                             and print the median MB/s, and
//                                             the slowest and fastest run's
//   korve_bench disks COUNT SEED DIR          write COUNT disk images into
//                                             DIR/images (NNNN.trd), each
//                                             again as a UDI image into
//                                             DIR/udi (NNNN.udi), and each
//                                             source on them as the Hobeta
//                                             file it gives into
//                                             DIR/hobeta/NNNN.trd/NAME.H
//   korve_bench diff LINES RUNS               compare LINES lines against
//                                             LINES, with none, half and 1
//                                             in 7 of them in common, RUNS
//                                             times each, and print the
//                                             median seconds
//   korve_bench floppy TRD CYLINDERS FILE     write the .trd TRD as a floppy
//                                             image of CYLINDERS cylinders
//                                             on two sides, an FDI, UDI or
//                                             TD0 as FILE's name ends (the
//                                             web checks' images)
//
// SET is real-shaped or rich (see alasm_generator.h). bench/run builds it
// and times the whole program around it.
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "alasm_generator.h"
#include "alasm_writer.h"
#include "image_writer.h"
#include "base/file.h"
#include "base/line_diff.h"
#include "formats/container.h"
#include "formats/trdos_image.h"
#include "korve/driver.h"

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
    std::printf("decoding %.1f MB of %s data from memory, %zu runs: median %.0f MB/s (%.0f-%.0f)\n",
                megabytes, set_name, runs, megabytes / seconds[runs / 2],
                megabytes / seconds.back(), megabytes / seconds.front());
    return EXIT_SUCCESS;
}

// A disk as a UDI image, as an emulator writes the floppy: both sides of
// as many cylinders as its tracks take, each track a whole MFM track.
std::string udi_of(const std::string& trd) {
    constexpr std::size_t kSides = 2;
    constexpr std::size_t kTrackBytes = korve::kSectorsPerTrack * korve::kSectorSize;
    const std::size_t tracks = (trd.size() + kTrackBytes - 1) / kTrackBytes;
    return korve::testing::udi_image(trd, {.cylinders = (tracks + kSides - 1) / kSides, .sides = kSides});
}

// Disk images, each again as a UDI image, and beside them the sources they
// hold as Hobeta files: the same files for korvex to take off the disks of
// either form and for korve to convert one by one.
int disks(std::size_t count, std::size_t seed, const char* folder) {
    namespace fs = std::filesystem;
    constexpr int kNumberWidth = 4;
    const fs::path root(folder);
    std::error_code error;
    fs::create_directories(root / "images", error);
    fs::create_directories(root / "udi", error);
    for (std::size_t i = 0; i < count && !error; ++i) {
        std::array<char, 32> name{};
        std::array<char, 32> udi_name{};
        std::snprintf(name.data(), name.size(), "%0*zu.trd", kNumberWidth, i + 1);
        std::snprintf(udi_name.data(), udi_name.size(), "%0*zu.udi", kNumberWidth, i + 1);
        const std::string image = korve::bench::generate_disk(seed + i);
        if (!korve::testing::write_file(root / "images" / name.data(), image) ||
            !korve::testing::write_file(root / "udi" / udi_name.data(), udi_of(image))) {
            error = std::make_error_code(std::errc::io_error);
            break;
        }
        const fs::path sources = root / "hobeta" / name.data();
        fs::create_directories(sources, error);
        const auto bytes = std::span(reinterpret_cast<const unsigned char*>(image.data()), image.size());
        const auto disk = korve::read_disk_image(bytes);
        for (const korve::CatalogueEntry& entry : korve::live_entries(disk)) {
            const std::string hobeta =
                korve::hobeta_file(korve::hobeta_header_of(entry), korve::file_sectors(bytes, entry));
            if (entry.alasm && !korve::testing::write_file(sources / korve::catalogue_text(entry.name), hobeta)) {
                error = std::make_error_code(std::errc::io_error);
            }
        }
    }
    if (error || !fs::exists(root / "images")) {
        std::fprintf(stderr, "korve_bench: cannot write the disks into %s\n", folder);
        return EXIT_FAILURE;
    }
    return EXIT_SUCCESS;
}

double median_of(std::vector<double> seconds) {
    std::sort(seconds.begin(), seconds.end());
    return seconds[seconds.size() / 2];
}

// The unified diff, as korvex diff prints it, of `lines` lines of their own
// against as many that keep every `kept_every`th of them (none where 0), and
// replace the others with lines of their own.
int diff(std::size_t lines, std::size_t runs) {
    constexpr struct {
        const char* name;
        std::size_t kept_every;
    } kShapes[] = {{"none in common", 0}, {"half", 2}, {"1 in 7", 7}};
    if (runs == 0) {
        return EXIT_FAILURE;
    }
    std::vector<std::string> before;
    for (std::size_t i = 0; i < lines; ++i) {
        before.push_back("OLD" + std::to_string(i) + "\tLD\tA,(IX+" + std::to_string(i % 128) + ")");
    }
    std::printf("diff of %zu lines against %zu, median of %zu runs:", lines, lines, runs);
    for (const auto& shape : kShapes) {
        std::vector<std::string> after = before;
        for (std::size_t i = 0; i < lines; ++i) {
            if (shape.kept_every == 0 || i % shape.kept_every != 0) {
                after[i] = "NEW" + std::to_string(i) + "\tLD\tA,(IY+" + std::to_string(i % 128) + ")";
            }
        }
        std::vector<double> seconds;
        for (std::size_t run = 0; run < runs; ++run) {
            const auto start = std::chrono::steady_clock::now();
            const std::string hunks = korve::unified_diff(before, after, "old", "new");
            const std::chrono::duration<double> taken = std::chrono::steady_clock::now() - start;
            if (hunks.empty()) {
                std::fputs("\nkorve_bench: the texts compared the same\n", stderr);
                return EXIT_FAILURE;
            }
            seconds.push_back(taken.count());
        }
        std::printf("%s %s %.3f s", &shape == kShapes ? "" : ",", shape.name, median_of(seconds));
    }
    std::printf("\n");
    return EXIT_SUCCESS;
}

// The .trd at `trd_path` as the floppy image `path` names (.fdi, .udi,
// .td0), written by the tests' writers: each track's records interleaved,
// as TR-DOS formats a disk.
int floppy(const char* trd_path, std::size_t cylinders, const char* path) {
    namespace testing = korve::testing;
    constexpr unsigned kSides = 2;
    std::ifstream in(trd_path, std::ios::binary);
    const std::string trd{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const std::size_t sectors = cylinders * kSides * korve::kSectorsPerTrack;
    std::string image;
    switch (korve::container_named(path)) {
        case korve::InputKind::FdiImage:
            image = testing::fdi_image(trd, cylinders, kSides);
            break;
        case korve::InputKind::UdiImage:
            image = testing::udi_image(trd, {.cylinders = cylinders, .sides = kSides});
            break;
        case korve::InputKind::Td0Image: {
            std::string disk;
            for (std::size_t sector = 0; sector < sectors; ++sector) {
                disk += testing::trd_sector(trd, sector);
            }
            image = testing::td0_image(testing::td0_tracks(disk, kSides, true));
            break;
        }
        default:
            break;
    }
    if (!in || trd.empty() || image.empty() || !testing::write_file(path, image)) {
        std::fprintf(stderr, "korve_bench: cannot write %s of %s\n", path, trd_path);
        return EXIT_FAILURE;
    }
    return EXIT_SUCCESS;
}

int usage() {
    std::fputs(
        "usage: korve_bench generate SET SIZE SEED FILE\n"
        "       korve_bench decode SET SIZE SEED RUNS\n"
        "       korve_bench disks COUNT SEED DIR\n"
        "       korve_bench diff LINES RUNS\n"
        "       korve_bench floppy TRD CYLINDERS FILE\n"
        "SET is real-shaped or rich\n",
        stderr);
    return EXIT_FAILURE;
}

}  // namespace

int main(int argc, char** argv) {
    std::size_t size = 0;
    std::size_t seed = 0;
    std::size_t count = 0;
    if (argc == 5 && std::string_view(argv[1]) == "disks" && parse_size(argv[2], count) &&
        parse_size(argv[3], seed)) {
        return disks(count, seed, argv[4]);
    }
    if (argc == 4 && std::string_view(argv[1]) == "diff" && parse_size(argv[2], size) &&
        parse_size(argv[3], count)) {
        return diff(size, count);
    }
    if (argc == 5 && std::string_view(argv[1]) == "floppy" && parse_size(argv[3], count)) {
        return floppy(argv[2], count, argv[4]);
    }
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
