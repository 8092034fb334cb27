// The web page's way into korve: the whole program, run on files in the
// in-memory file system that WebAssembly gives it, exactly as the command
// line runs it. The page's script writes the input there, calls
// korve_web_run and reads back the console text and the output.
//
// Disk images come through memory instead: the script puts an image's bytes
// in WebAssembly's memory, korve_web_read_image reads it into a DiskImage on
// the heap, the script reads what it needs through the korve_web_image_*,
// korve_web_entry_* and korve_web_bytes_* functions, and gives it back to
// korve_web_free_image.
// Each entry's Hobeta file then converts through korve_web_run, as any file.
#include <emscripten/emscripten.h>

#include <cstddef>
#include <cstdio>
#include <iterator>
#include <string>

#include "container.h"
#include "driver.h"
#include "file.h"
#include "trdos_image.h"

namespace {
// Returned instead of an exit status when the console text could not be kept.
constexpr int kConsoleLost = -1;

// A problem as the script names it: a fixed name, for the page's words in
// each language; "" for none.
const char* problem_name(korve::ImageProblem problem) {
    switch (problem) {
        case korve::ImageProblem::None:
            return "";
        case korve::ImageProblem::NotAnImage:
            return "not-an-image";
        case korve::ImageProblem::CutShort:
            return "cut-short";
        case korve::ImageProblem::PastTheDisk:
            return "past-the-disk";
        case korve::ImageProblem::CountTooLarge:
            return "count-too-large";
        case korve::ImageProblem::ChecksumMismatch:
            return "checksum-mismatch";
    }
    return "";
}

const korve::ImageEntry& entry_of(const korve::DiskImage* image, std::size_t index) {
    return image->entries[index];
}
}  // namespace

// Runs `korve INPUT OUTPUT` (paths as the command line takes them), writing
// what it prints to the file CONSOLE. Gives korve's exit status.
extern "C" EMSCRIPTEN_KEEPALIVE int korve_web_run(const char* input, const char* output,
                                                  const char* console) {
    korve::File console_file(std::fopen(console, "wb"));
    if (!console_file) {
        return kConsoleLost;
    }
    const char* const argv[] = {"korve", input, output, nullptr};
    const int argc = static_cast<int>(std::size(argv)) - 1;  // argv ends in a null pointer
    const korve::ExitStatus status = korve::run(argc, argv, console_file.get());
    return std::fclose(console_file.release()) == 0 ? static_cast<int>(status) : kConsoleLost;
}

// Reads the `size` bytes at `bytes` as a .trd or an .scl. The result is the
// caller's, to give back to korve_web_free_image.
extern "C" EMSCRIPTEN_KEEPALIVE korve::DiskImage* korve_web_read_image(const unsigned char* bytes,
                                                                      std::size_t size) {
    return new korve::DiskImage(korve::read_disk_image({bytes, size}));
}

// The most bytes an image can hold: the script need not copy more to know
// that a file is no image.
extern "C" EMSCRIPTEN_KEEPALIVE std::size_t korve_web_largest_image() { return korve::kLargestImage; }

extern "C" EMSCRIPTEN_KEEPALIVE void korve_web_free_image(const korve::DiskImage* image) {
    delete image;
}

extern "C" EMSCRIPTEN_KEEPALIVE const char* korve_web_image_problem(const korve::DiskImage* image) {
    return problem_name(image->problem);
}

extern "C" EMSCRIPTEN_KEEPALIVE std::size_t korve_web_image_entries(const korve::DiskImage* image) {
    return image->entries.size();
}

// Bytes the reader gave, which may hold any byte, a zero among them: the
// script reads them as their place and their size.
extern "C" EMSCRIPTEN_KEEPALIVE const char* korve_web_bytes_data(const std::string* bytes) {
    return bytes->data();
}

extern "C" EMSCRIPTEN_KEEPALIVE std::size_t korve_web_bytes_size(const std::string* bytes) {
    return bytes->size();
}

// An entry's fields; `index` below korve_web_image_entries.
extern "C" EMSCRIPTEN_KEEPALIVE const std::string* korve_web_entry_name(
    const korve::DiskImage* image, std::size_t index) {
    return &entry_of(image, index).name;
}

extern "C" EMSCRIPTEN_KEEPALIVE unsigned char korve_web_entry_type(const korve::DiskImage* image,
                                                                   std::size_t index) {
    return static_cast<unsigned char>(entry_of(image, index).type);
}

extern "C" EMSCRIPTEN_KEEPALIVE unsigned korve_web_entry_length(const korve::DiskImage* image,
                                                                std::size_t index) {
    return entry_of(image, index).length;
}

extern "C" EMSCRIPTEN_KEEPALIVE const char* korve_web_entry_problem(const korve::DiskImage* image,
                                                                    std::size_t index) {
    return problem_name(entry_of(image, index).problem);
}

extern "C" EMSCRIPTEN_KEEPALIVE bool korve_web_entry_alasm(const korve::DiskImage* image,
                                                           std::size_t index) {
    return entry_of(image, index).alasm;
}

// The entry's Hobeta file, empty when its data could not be read.
extern "C" EMSCRIPTEN_KEEPALIVE const std::string* korve_web_entry_hobeta(
    const korve::DiskImage* image, std::size_t index) {
    return &entry_of(image, index).hobeta;
}
