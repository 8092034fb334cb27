// Whole runs of the built program, in a temporary folder: console text,
// exit status and output bytes together.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "program_run.h"

namespace korve {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using testing::ProgramRun;

const std::string kBanner =
    "\nKORVE v1.1 (ALASM5.X files converter)\n"
    " Written by the korve developers, 2026\n"
    "\t\tfor everyone who keeps ZX Spectrum sources\n"
    "\n";

// A bare ALASM header named TEST, then the given line records.
std::string bare(const std::string& records) {
    std::string header = "TEST" + std::string(60, '\0');
    header[47] = '\xD9';
    return header + records;
}

const std::string kFourRecords =
    "\x01"
    "\x09LOOP\xD4\xF5,\xA1"
    "\x03\x84;"
    "\x06\x05\x97\"hi";
const std::string kFourLines = "\nLOOP\tLD\tA,(HL)\n\tRLCA\t;\n     \tDEFB\t\"hi\"\n";
const std::string kNamedTest = "Name:TEST\n\n";

using KorveRun = ProgramRun;

TEST_F(KorveRun, ShowsUsageWithoutTwoPaths) {
    write("in.h", bare(kFourRecords));
    for (const auto& args : {std::vector<std::string>{}, std::vector<std::string>{"in.h"}}) {
        const auto result = korve(args);
        EXPECT_EQ(result.console, native(kBanner + "\n\nKORVE file.$h file.asm\n\n"));
        EXPECT_EQ(result.status, 1);
    }
    EXPECT_EQ(files(), std::vector<std::string>{"in.h"});
}

TEST_F(KorveRun, ConvertsBareData) {
    write("in.h", bare(kFourRecords));
    const auto result = korve({"in.h", "out.asm"});
    EXPECT_EQ(result.console, native(kBanner + kNamedTest + "OK!\n"));
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(read("out.asm"), native(kFourLines));
}

TEST_F(KorveRun, ConvertsAHeaderAloneToOneEmptyLine) {
    write("in.h", bare(""));
    const auto result = korve({"in.h", "out.asm"});
    EXPECT_EQ(result.console, native(kBanner + kNamedTest + "OK!\n"));
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(read("out.asm"), native("\n"));
}

TEST_F(KorveRun, EndsAtTheEndOfTheFileInsideARecord) {
    // The last record claims 16 bytes but the file holds two of them.
    write("in.h", bare("\x02\x84\x10" "AB"));
    const auto result = korve({"in.h", "out.asm"});
    EXPECT_EQ(result.console, native(kBanner + kNamedTest + "OK!\n"));
    EXPECT_EQ(read("out.asm"), native("\tRLCA\t\nAB\n"));
}

TEST_F(KorveRun, WritesTheLongestLineWhole) {
    std::string records;
    for (int i = 0; i < 3; ++i) {
        records += "\xFF" + std::string(254, '\x0F');
    }
    write("in.h", bare(records));
    const auto result = korve({"in.h", "out.asm"});
    EXPECT_EQ(result.status, 1);
    const std::string line = std::string(3810, ' ') + "\n";
    EXPECT_EQ(read("out.asm"), native(line + line + line));
}

TEST_F(KorveRun, RefusesInputThatIsNotAlasmData) {
    write("in.h", std::string(100, 'x'));
    const auto result = korve({"in.h", "out.asm"});
    EXPECT_EQ(result.console, native(kBanner + "Error! This is not ALASM file!\n"));
    EXPECT_EQ(result.status, 255);
    EXPECT_FALSE(exists("out.asm"));
}

TEST_F(KorveRun, StopsAtAnUndefinedToken) {
    write("in.h", bare("\x02\x84" "\x01" "\x03\xE7\xF5" "\x02\x84"));
    const auto result = korve({"in.h", "out.asm"});
    EXPECT_EQ(result.console, native(kBanner + kNamedTest + "\n\nError |0xE7|\n"));
    EXPECT_EQ(result.status, 3);
    EXPECT_EQ(read("out.asm"), native("\tRLCA\t\n\n"));
}

TEST_F(KorveRun, ReportsAnInputItCannotOpen) {
    fs::create_directory(dir() / "folder");
    for (const std::string input : {"missing.h", "folder"}) {
        const auto result = korve({input, "out.asm"});
        EXPECT_EQ(result.console, native(kBanner + "Error! Cannot open input file " + input + "\n"));
        EXPECT_EQ(result.status, 2);
        EXPECT_FALSE(exists("out.asm"));
    }
}

TEST_F(KorveRun, ReportsAnOutputItCannotCreate) {
    write("in.h", bare(kFourRecords));
    fs::create_directory(dir() / "folder");
    for (const std::string output : {"nowhere/out.asm", "folder"}) {
        const auto result = korve({"in.h", output});
        EXPECT_EQ(result.console,
                  native(kBanner + "Error! Cannot create output file " + output + "\n"));
        EXPECT_EQ(result.status, 2);
    }
    EXPECT_TRUE(fs::is_empty(dir() / "folder"));
}

TEST_F(KorveRun, NeverWritesOverItsInput) {
    const std::string input = bare(kFourRecords);
    write("in.h", input);
    fs::create_hard_link(dir() / "in.h", dir() / "hard.h");
    fs::create_symlink("in.h", dir() / "soft.h");
    for (const std::string output : {"in.h", "./in.h", "hard.h", "soft.h"}) {
        const auto result = korve({"in.h", output});
        EXPECT_EQ(result.console, native(kBanner + "Error! Output file is the input file!\n"))
            << output;
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(read("in.h"), input);
    }
}

TEST_F(KorveRun, ReportsAFailedWrite) {
    if (!fs::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full here";
    }
    write("in.h", bare(kFourRecords));
    const auto result = korve({"in.h", "/dev/full"});
    EXPECT_EQ(result.console,
              native(kBanner + kNamedTest + "Error! Cannot write output file /dev/full\n"));
    EXPECT_EQ(result.status, 2);
}

}  // namespace
}  // namespace korve
