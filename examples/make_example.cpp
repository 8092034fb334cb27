// Writes the example ALASM files into the folder it is given: greet.h, a
// short ZX Spectrum routine that clears the screen and prints a greeting, and
// greet.$h, the same data behind a Hobeta header.
//
//   make_example examples
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

#include "alasm_writer.h"

namespace {

using korve::testing::alasm_header;
using korve::testing::alasm_record;
using korve::testing::hobeta_file;
using korve::testing::write_file;

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
    const bool written = write_file(folder / "greet.h", data) &&
                         write_file(folder / "greet.$h", hobeta_file(data));
    return written ? 0 : 1;
}
