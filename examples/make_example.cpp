// Writes the example ALASM files into the folder it is given: greet.h, a
// short ZX Spectrum routine that clears the screen and prints a greeting;
// greet.$h, the same data behind a Hobeta header; and greet.trd and
// greet.scl, a TR-DOS disk and its SCL archive that hold it as GREET.H beside
// a code file, GREET.C.
//
//   make_example examples
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "alasm_writer.h"
#include "image_writer.h"

namespace {

using korve::testing::alasm_header;
using korve::testing::alasm_record;
using korve::testing::DiskFile;
using korve::testing::hobeta_file;
using korve::testing::scl_archive;
using korve::testing::trd_image;
using korve::testing::write_file;

// Where the code runs: the source's ORG.
constexpr std::uint16_t kCodeStart = 0x8000;
// The code file holds returns only: it is there to be listed, not converted.
constexpr std::size_t kCodeSize = 64;
constexpr char kRet = '\xC9';

// {WORD} marks a keyword, {RAW} the marker after which a line is kept as typed.
constexpr std::string_view kSource[] = {
    "; GREET: clear the screen, colour it and print a greeting",
    "",
    "{ORG}#8000",
    "SCREEN{EQU}#4000",
    "ATTRS{EQU}#5800",
    "",
    "START{DI}",
    "{LD}{HL},SCREEN       ; wipe the bitmap",
    "{LD}{DE},SCREEN+1",
    "{LD}{BC},6143",
    "{LD}{(HL)},0",
    "{LDIR}",
    "{LD}{IX},ATTRS",
    "{LD}{B},24              ; one row of colours at a time",
    "ROW{LD}{(IX}+0),#38",
    "{INC}{IX}",
    "{DJNZ}ROW",
    "{EI}",
    "{LD}{HL},TEXT",
    "{CALL}PRINT",
    "{LD}{A},{I}",
    "{JR}{NZ},DONE",
    "{EX}{AF},{AF'}",
    "DONE{RET}",
    "",
    "; print the text at HL up to its zero byte",
    "PRINT{LD}{A},{(HL)}",
    "{OR}{A}",
    "{RET}{Z}",
    "{PUSH}{HL}",
    "{RST}#10",
    "{POP}{HL}",
    "{INC}{HL}",
    "{JR}PRINT",
    "",
    "TEXT{DEFB}\"Hello from korve\",13,0",
    "{RAW}BUFFER DS 32 ; kept as typed",
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: make_example FOLDER\n", stderr);
        return 2;
    }
    std::string data = alasm_header("GREET");
    for (const auto line : kSource) {
        data += alasm_record(line);
    }
    data += '\0';  // ALASM ends its data with a zero byte

    const std::filesystem::path folder = argv[1];
    const std::vector<DiskFile> disk = {
        {.name = "GREET", .type = 'H', .data = data},
        {.name = "GREET", .type = 'C', .data = std::string(kCodeSize, kRet), .start = kCodeStart},
    };
    const bool written = write_file(folder / "greet.h", data) &&
                         write_file(folder / "greet.$h", hobeta_file(data)) &&
                         write_file(folder / "greet.trd", trd_image(disk)) &&
                         write_file(folder / "greet.scl", scl_archive(disk));
    return written ? 0 : 1;
}
