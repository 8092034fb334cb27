// What the whole-program tests of korvex share: a source whose text every
// option changes, a fixture that lists and clears its temporary folder, and
// readers of the real files beside the project.
#pragma once

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "alasm_writer.h"
#include "image_writer.h"
#include "program_run.h"

namespace korve::testing {

// A source with what layouts and code pages change: stored space runs
// beside the tabs and at the ends of lines, a mnemonic without operands,
// trailing space tokens, and a comment in Cyrillic (CP866's "рст").
inline const std::string kSource = alasm_header("GAME") + alasm_record("LOOP    {LD}   {A},{(HL)}  ") +
                            alasm_record("{RLCA}") + alasm_record("     {NOP}{ }{ }") +
                            alasm_record("; \xE0\xE1\xE2") + std::string(1, '\0');
inline const std::string kStored =
    "LOOP    \tLD\t   A,(HL)  \n\tRLCA\t\n     \tNOP\t  \n; \xE0\xE1\xE2\n\n";

// `lines` lines of one NOP each, in a record apiece.
inline std::string nops(std::size_t lines) {
    std::string records;
    for (std::size_t i = 0; i < lines; ++i) {
        records += alasm_record("{NOP}");
    }
    return records;
}

// A disk whose one file, EVEN.H, 224 lines that fill its two sectors to the
// last byte, has a catalogue length of 1000: 488 bytes past its sectors.
inline std::string short_disk() {
    std::string disk =
        trd_image({{.name = "EVEN", .type = 'H', .data = alasm_header("EVEN") + nops(224)}});
    disk[11] = static_cast<char>(1000 % 256);  // the catalogue's length, low byte first
    disk[12] = static_cast<char>(1000 / 256);
    return disk;
}

inline std::string repeated(const std::string& line, std::size_t times) {
    std::string text;
    for (std::size_t i = 0; i < times; ++i) {
        text += line;
    }
    return text;
}

inline std::string with_crlf(const std::string& text) {
    std::string converted;
    for (const char c : text) {
        converted += c == '\n' ? "\r\n" : std::string(1, c);
    }
    return converted;
}

// Whether the tests (and so the programs) are built with AddressSanitizer.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

class KorvexRun : public ProgramRun {
protected:
    // Every file under the folder, as relative paths, sorted.
    std::vector<std::string> tree(const std::string& folder = ".") const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(dir() / folder)) {
            if (!entry.is_directory()) {
                names.push_back(std::filesystem::relative(entry.path(), dir() / folder).generic_string());
            }
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    void clear() const {
        for (const auto& entry : std::filesystem::directory_iterator(dir())) {
            std::filesystem::remove_all(entry.path());
        }
    }
};

inline std::filesystem::path corpus() { return KORVE_CORPUS_DIR; }

inline std::string file_bytes(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// Rows of a tab-separated manifest, less its heading.
inline std::vector<std::vector<std::string>> manifest(const std::filesystem::path& path) {
    std::ifstream file(path);
    std::vector<std::vector<std::string>> rows;
    std::string line;
    std::getline(file, line);
    while (std::getline(file, line)) {
        std::vector<std::string> columns;
        std::istringstream tab_separated(line);
        for (std::string column; std::getline(tab_separated, column, '\t');) {
            columns.push_back(column);
        }
        rows.push_back(columns);
    }
    return rows;
}

}  // namespace korve::testing
