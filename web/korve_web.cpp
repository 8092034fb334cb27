// The web page's way into korve: the whole program, run on files in the
// in-memory file system that WebAssembly gives it, exactly as the command
// line runs it. The page's script writes the input there, calls
// korve_web_run and reads back the console text and the output. korvex's
// runs and the reading view come through korve_web_korvex.cpp.
//
// What an input is, and what the header of its ALASM data says, comes from
// the core's own units through korve_web_read_input: the script puts the
// input's first bytes in WebAssembly's memory and reads the answer through
// the korve_web_input_* functions. Disk images come through memory too:
// korve_web_read_image reads one into a DiskImage on the heap, the script
// reads what it needs through the korve_web_image_* and korve_web_entry_*
// functions; a floppy image (FDI, UDI, TD0) reads as the .trd it carries,
// and what the loader says of the image comes as korvex's problems, which
// korve_web_image_said_* give. Where korve stops on ALASM data comes through
// korve_web_read_stop, and the names of the files korvex writes through
// korve_web_text_name and korve_web_hobeta_name, so that the script neither
// reads korve's words nor makes names of its own. Bytes (a name, a Hobeta
// file) are read through the korve_web_bytes_* functions. Whatever a
// korve_web_read_* function gives is the script's, to give back to the
// matching korve_web_free_* function. Each entry's Hobeta file then converts
// through korve_web_run, as any file.
#include <emscripten/emscripten.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <iterator>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "alasm/alasm_text.h"
#include "base/byte_reader.h"
#include "base/file.h"
#include "files/output_names.h"
#include "formats/alasm_tokens.h"
#include "formats/container.h"
#include "formats/hobeta_header.h"
#include "formats/trdos_image.h"
#include "inputs/catalogue.h"
#include "inputs/loader.h"
#include "korve/driver.h"
#include "korve_web.h"

namespace {
using korve_web::kConsoleLost;

// What an input is, told from its first bytes, and what its ALASM data's
// header says.
struct InputFacts {
    korve::InputKind kind = korve::InputKind::None;
    bool checksum_matches = true;  // a Hobeta header's
    std::string name;              // the header's name, for ALASM data, as korve prints it
    // The same name as a person reads it: korve prints the header's bytes up
    // to the first zero, and so a name of all eight bytes runs on into the
    // type letter after it ("PGMFLASHH"). Here the name stops at its eight
    // bytes, less the spaces that pad it, and the type is told apart.
    std::string plain_name;
    std::string type;  // the type letter where korve's name shows it; else empty
};

// The first kRecognisedBytes tell an input's kind, and hold its ALASM
// header, behind a Hobeta header or not.
static_assert(korve::kHobetaHeaderSize + korve::kAlasmHeaderSize <= korve::kRecognisedBytes);

// A disk image, the name TR-DOS shows for each of its entries, the name
// korvex gives each entry's files, and the name of its text file; its kind
// as the loader graded it, and what the loader said of it, as korvex says it.
struct WebImage {
    korve::InputKind kind = korve::InputKind::None;
    std::vector<korve::Problem> said;
    std::vector<unsigned char> bytes;  // a floppy image's: the .trd it carries
    korve::DiskImage disk;
    std::vector<korve::CatalogueEntry> files;  // its live files
    std::vector<std::string> names;            // their names' bytes, less padding
    std::vector<std::string> hobeta;           // each one's Hobeta file, once asked for
    std::vector<std::string> full_names;
    std::vector<std::string> file_names;
    std::vector<std::string> text_names;
};

// Where korve stops on ALASM data: the undefined token, as korve's message
// names it ("|0xE7|"), and its line; nothing where it converts every line.
struct StopFacts {
    bool stopped = false;
    std::string token;
    std::size_t line = 0;
};

// An input's kind as the script names it: as `korvex list --json` does.
// Its keys are string literals, so each ends in a zero.
const char* kind_name(korve::InputKind kind) { return korve::kind_row(kind).key.data(); }

// A problem as the script names it, as `korvex list` does: "" for none. The
// catalogue's keys are string literals, so each ends in a zero.
const char* problem_name(korve::ImageProblem problem) {
    return korve::problem_key(problem).data();
}

const korve::CatalogueEntry& entry_of(const WebImage* image, std::size_t index) {
    return image->files[index];
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

// korve's exit status as the script names it; "" for a number that is none.
extern "C" EMSCRIPTEN_KEEPALIVE const char* korve_web_status_name(int status) {
    switch (static_cast<korve::ExitStatus>(status)) {
        case korve::ExitStatus::Converted:  // also Usage, which the page never meets
            return "converted";
        case korve::ExitStatus::FileError:
            return "file-error";
        case korve::ExitStatus::UndefinedToken:
            return "undefined-token";
        case korve::ExitStatus::NotAlasm:
            return "not-alasm";
    }
    return "";
}

// How many of an input's first bytes korve_web_read_input needs: the script
// need not copy more.
extern "C" EMSCRIPTEN_KEEPALIVE std::size_t korve_web_recognised_bytes() {
    return korve::kRecognisedBytes;
}

// Tells what the input whose first bytes (up to korve_web_recognised_bytes,
// or all there are) are the `size` at `bytes` is, and reads its ALASM header
// as korve does.
extern "C" EMSCRIPTEN_KEEPALIVE InputFacts* korve_web_read_input(const unsigned char* bytes,
                                                                std::size_t size) {
    const std::span<const unsigned char> start(bytes, std::min(size, korve::kRecognisedBytes));
    auto* const facts = new InputFacts;
    facts->kind = korve::recognise_input(start);
    if (korve::holds_alasm(facts->kind)) {
        korve::ByteReader reader(start);
        facts->checksum_matches = korve::set_up_alasm(facts->kind, reader).checksum_matches;
        facts->name = korve::read_alasm_name(reader);
        const std::string_view name = facts->name;
        facts->plain_name = name.substr(0, korve::kAlasmNameSize);
        facts->plain_name.erase(facts->plain_name.find_last_not_of(' ') + 1);
        if (name.size() > korve::kAlasmTypeOffset) {
            facts->type = name.substr(korve::kAlasmTypeOffset, 1);
        }
    }
    return facts;
}

extern "C" EMSCRIPTEN_KEEPALIVE void korve_web_free_input(const InputFacts* facts) { delete facts; }

extern "C" EMSCRIPTEN_KEEPALIVE const char* korve_web_input_kind(const InputFacts* facts) {
    return kind_name(facts->kind);
}

extern "C" EMSCRIPTEN_KEEPALIVE bool korve_web_input_checksum_matches(const InputFacts* facts) {
    return facts->checksum_matches;
}

// The name in the ALASM data's header, empty for other input.
extern "C" EMSCRIPTEN_KEEPALIVE const std::string* korve_web_input_name(const InputFacts* facts) {
    return &facts->name;
}

extern "C" EMSCRIPTEN_KEEPALIVE const std::string* korve_web_input_plain_name(
    const InputFacts* facts) {
    return &facts->plain_name;
}

extern "C" EMSCRIPTEN_KEEPALIVE const std::string* korve_web_input_type(const InputFacts* facts) {
    return &facts->type;
}

// Reads the `size` bytes at `bytes` as a disk image, through the loader as
// korvex reads one: `bytes` are then the disk's, as its catalogue counts them.
extern "C" EMSCRIPTEN_KEEPALIVE WebImage* korve_web_read_image(const unsigned char* bytes,
                                                              std::size_t size) {
    auto* const image = new WebImage{};
    korve::LoadedInput loaded = korve::grade_input("", std::vector<unsigned char>(bytes, bytes + size), false);
    image->kind = korve::is_disk_image(loaded.kind) ? loaded.kind : korve::InputKind::None;
    image->said = std::move(loaded.problems);
    image->bytes = std::move(loaded.bytes);
    image->disk = std::move(loaded.image);
    if (!loaded.read) {
        image->disk.problem = korve::ImageProblem::NotAnImage;  // larger than any image
    }
    image->files = korve::live_entries(image->disk);
    image->hobeta.resize(image->files.size());
    for (const korve::CatalogueEntry& entry : image->files) {
        image->names.push_back(korve::name_bytes(entry.name));
        image->full_names.push_back(korve::catalogue_text(entry.name));
    }
    image->file_names = korve::image_file_names(image->files);
    for (const std::string& name : image->file_names) {
        image->text_names.push_back(name + std::string(korve::kTextSuffix));
    }
    return image;
}

// The most bytes an image can hold: the script need not copy more to know
// that a file is no image.
extern "C" EMSCRIPTEN_KEEPALIVE std::size_t korve_web_largest_image() { return korve::kLargestImage; }

extern "C" EMSCRIPTEN_KEEPALIVE void korve_web_free_image(const WebImage* image) { delete image; }

// What the bytes are as the loader graded them: an image's kind, or "none"
// for bytes that are no image (ALASM data among them, and a floppy image
// whose reader found none).
extern "C" EMSCRIPTEN_KEEPALIVE const char* korve_web_image_kind(const WebImage* image) {
    return kind_name(image->kind);
}

extern "C" EMSCRIPTEN_KEEPALIVE const char* korve_web_image_problem(const WebImage* image) {
    return problem_name(image->disk.problem);
}

// What korvex says of the image itself, in order (a floppy's damage, a
// catalogue lost): how bad, as korve_web_korvex_problem_severity words it,
// and its text; `index` below korve_web_image_said.
extern "C" EMSCRIPTEN_KEEPALIVE std::size_t korve_web_image_said(const WebImage* image) {
    return image->said.size();
}

extern "C" EMSCRIPTEN_KEEPALIVE const char* korve_web_image_said_severity(const WebImage* image,
                                                                         std::size_t index) {
    return korve_web::severity_word(image->said[index].severity);
}

extern "C" EMSCRIPTEN_KEEPALIVE const std::string* korve_web_image_said_text(const WebImage* image,
                                                                           std::size_t index) {
    return &image->said[index].text;
}

extern "C" EMSCRIPTEN_KEEPALIVE std::size_t korve_web_image_entries(const WebImage* image) {
    return image->files.size();
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
extern "C" EMSCRIPTEN_KEEPALIVE const std::string* korve_web_entry_name(const WebImage* image,
                                                                      std::size_t index) {
    return &image->names[index];
}

// The name, a dot and the type, as TR-DOS shows them.
extern "C" EMSCRIPTEN_KEEPALIVE const std::string* korve_web_entry_full_name(const WebImage* image,
                                                                           std::size_t index) {
    return &image->full_names[index];
}

extern "C" EMSCRIPTEN_KEEPALIVE unsigned char korve_web_entry_type(const WebImage* image,
                                                                   std::size_t index) {
    return entry_of(image, index).name.type;
}

extern "C" EMSCRIPTEN_KEEPALIVE unsigned korve_web_entry_length(const WebImage* image,
                                                                std::size_t index) {
    return entry_of(image, index).length;
}

extern "C" EMSCRIPTEN_KEEPALIVE const char* korve_web_entry_problem(const WebImage* image,
                                                                    std::size_t index) {
    return problem_name(entry_of(image, index).problem);
}

// The sector a floppy image lost of the entry's data, as korvex names it
// ("track 1, sector 3 failed its CRC"); empty for any other entry.
extern "C" EMSCRIPTEN_KEEPALIVE const std::string* korve_web_entry_damage(const WebImage* image,
                                                                        std::size_t index) {
    return &entry_of(image, index).damage;
}

extern "C" EMSCRIPTEN_KEEPALIVE bool korve_web_entry_alasm(const WebImage* image,
                                                           std::size_t index) {
    return entry_of(image, index).alasm;
}

// The entry's Hobeta file, made as it leaves the disk; empty when its data
// could not be read.
extern "C" EMSCRIPTEN_KEEPALIVE const std::string* korve_web_entry_hobeta(WebImage* image, std::size_t index) {
    const korve::CatalogueEntry& entry = entry_of(image, index);
    std::string& hobeta = image->hobeta[index];
    if (hobeta.empty() && entry.problem == korve::ImageProblem::None) {
        hobeta = korve::hobeta_file(korve::hobeta_header_of(entry), korve::file_sectors(image->bytes, entry));
    }
    return &hobeta;
}

// The name korvex gives the entry's files, in UTF-8: PGMFLASH.H.
extern "C" EMSCRIPTEN_KEEPALIVE const std::string* korve_web_entry_file_name(
    const WebImage* image, std::size_t index) {
    return &image->file_names[index];
}

// The name of the text file of an entry: PGMFLASH.H.asm.
extern "C" EMSCRIPTEN_KEEPALIVE const std::string* korve_web_entry_text_name(
    const WebImage* image, std::size_t index) {
    return &image->text_names[index];
}

// The name of the Hobeta file the text file named `name` (UTF-8) goes back
// into: GAME.$h.asm gives GAME.$h, PGMFLASH.H.asm PGMFLASH.$h. The script
// frees it with korve_web_free_bytes.
extern "C" EMSCRIPTEN_KEEPALIVE std::string* korve_web_hobeta_name(const char* name) {
    return new std::string(korve::hobeta_file_name(name));
}

// The name of the text file written for the file named `name` (UTF-8):
// GAME.$h gives GAME.$h.asm. The script frees it with korve_web_free_bytes.
extern "C" EMSCRIPTEN_KEEPALIVE std::string* korve_web_text_name(const char* name) {
    return new std::string(std::string(name) + std::string(korve::kTextSuffix));
}

extern "C" EMSCRIPTEN_KEEPALIVE void korve_web_free_bytes(const std::string* bytes) { delete bytes; }

// Where korve stops on the ALASM data (bare or behind a Hobeta header) that
// is the `size` bytes at `bytes`; null for bytes that hold no ALASM data.
extern "C" EMSCRIPTEN_KEEPALIVE StopFacts* korve_web_read_stop(const unsigned char* bytes,
                                                              std::size_t size) {
    const std::span<const unsigned char> input(bytes, size);
    const std::optional<korve::InputKind> kind = korve_web::alasm_kind(input);
    if (!kind) {
        return nullptr;
    }
    korve::ByteReader reader(input);
    const korve::TextReport report = korve::convert_to_text(reader, *kind, {}, nullptr);
    auto* const stop = new StopFacts;
    if (report.end.undefined) {
        const std::string text =
            korve::undefined_token_text(report.end.undefined->byte, report.end.undefined->mode);
        stop->stopped = true;
        stop->token = text.substr(text.find_first_not_of(' '));
        stop->line = report.end.lines + 1;
    }
    return stop;
}

extern "C" EMSCRIPTEN_KEEPALIVE void korve_web_free_stop(const StopFacts* stop) { delete stop; }

extern "C" EMSCRIPTEN_KEEPALIVE bool korve_web_stop_stopped(const StopFacts* stop) {
    return stop->stopped;
}

extern "C" EMSCRIPTEN_KEEPALIVE const std::string* korve_web_stop_token(const StopFacts* stop) {
    return &stop->token;
}

extern "C" EMSCRIPTEN_KEEPALIVE std::size_t korve_web_stop_line(const StopFacts* stop) {
    return stop->line;
}

