// Translates ALASM sources for sjasmplus or pasmo, for the checks that build
// real sources with the real assemblers:
//
//   korve_translate --dialect sjasmplus|pasmo -o DIR INPUT...
//
// An INPUT is ALASM data (bare or behind a Hobeta header), named as its
// TR-DOS file with its type ("SCRUTIL.H"), or a TR-DOS disk image or SCL
// archive, whose ALASM files are all taken. Each source goes to DIR/NAME.asm,
// and every INCLUDE among them names those files. Lines that cannot be
// translated are reported as `INPUT:LINE: cannot translate: what`; the exit
// status is then 1 (2 when an input cannot be read or an output written).
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "alasm_lines.h"
#include "alasm_translation.h"
#include "byte_reader.h"
#include "container.h"

namespace {

using namespace korve;

struct Source {
    std::string origin;  // as the user named it
    std::string key;     // TR-DOS name and type
    std::vector<DescribedLine> lines;
};

// The lines of ALASM data behind whatever container holds it.
bool read_lines(std::span<const unsigned char> bytes, std::vector<DescribedLine>& lines) {
    const InputKind kind = recognise_input(bytes.first(std::min(bytes.size(), kRecognisedBytes)));
    if (!holds_alasm(kind)) {
        return false;
    }
    ByteReader input(bytes);
    const AlasmSetUp setup = set_up_alasm(kind, input);
    read_alasm_name(input);
    std::int64_t left = setup.length - static_cast<std::int64_t>(kAlasmHeaderSize);
    while (left > 0 && !input.at_end()) {
        const TakenRecord record = take_record(input);
        lines.push_back(describe_record(record.content));
        left -= static_cast<std::int64_t>(record.record_size);
    }
    return true;
}

bool read_file(const std::string& path, std::vector<unsigned char>& bytes) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return !file.bad();
}

}  // namespace

int main(int argc, char** argv) {
    Dialect dialect = Dialect::Sjasmplus;
    std::filesystem::path folder;
    std::vector<std::string> inputs;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--dialect" && i + 1 < argc) {
            const std::string name = argv[++i];
            dialect = name == "pasmo" ? Dialect::Pasmo : Dialect::Sjasmplus;
        } else if (argument == "-o" && i + 1 < argc) {
            folder = argv[++i];
        } else {
            inputs.push_back(argument);
        }
    }
    if (folder.empty() || inputs.empty()) {
        std::fprintf(stderr, "usage: korve_translate --dialect sjasmplus|pasmo -o DIR INPUT...\n");
        return 2;
    }
    std::vector<Source> sources;
    for (const std::string& input : inputs) {
        std::vector<unsigned char> bytes;
        if (!read_file(input, bytes)) {
            std::fprintf(stderr, "%s: error: cannot read it\n", input.c_str());
            return 2;
        }
        Source source{input, std::filesystem::path(input).filename().string(), {}};
        if (read_lines(bytes, source.lines)) {
            sources.push_back(std::move(source));
            continue;
        }
        const DiskImage image = read_disk_image(bytes);
        for (const ImageEntry& entry : image.entries) {
            Source file{input + ":" + full_name(entry), full_name(entry), {}};
            const auto* data = reinterpret_cast<const unsigned char*>(entry.hobeta.data());
            if (entry.alasm && read_lines({data, entry.hobeta.size()}, file.lines)) {
                sources.push_back(std::move(file));
            }
        }
    }
    TranslationSetup setup;
    setup.dialect = dialect;
    for (const Source& source : sources) {
        setup.includes[source.key] = source.key + ".asm";
        collect_macros(source.lines, setup.macros);
    }
    std::filesystem::create_directories(folder);
    int status = 0;
    for (const Source& source : sources) {
        const Translation translation = translate_source(setup, source.lines);
        for (const TranslationProblem& problem : translation.problems) {
            std::fprintf(stderr, "%s:%zu: cannot translate: %s\n", source.origin.c_str(),
                         problem.line, problem.what.c_str());
            status = 1;
        }
        std::ofstream out(folder / (source.key + ".asm"), std::ios::binary);
        for (const TranslatedLine& line : translation.lines) {
            out << line.text << '\n';
        }
        if (!out.flush()) {
            std::fprintf(stderr, "%s: error: cannot write its translation\n", source.origin.c_str());
            return 2;
        }
    }
    return status;
}
