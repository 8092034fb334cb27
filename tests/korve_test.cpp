// Whole runs of the built program, in a temporary folder: console text,
// exit status and output bytes together.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "alasm_writer.h"
#include "korve/driver.h"
#include "program_run.h"

namespace korve {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using testing::hobeta_file;
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
const std::string kReadingHobeta = "Reading HOBBETA-header...\n";

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

TEST_F(KorveRun, KeepsMemoryFlatWhateverTheInputSize) {
    const std::string longest = "\xFF" + std::string(254, '\x0F');
    std::string records;
    for (int i = 0; i < 1000; ++i) {
        records += longest;
    }
    write("small.h", bare(records));
    for (int i = 0; i < 9; ++i) {
        records += records.substr(0, 1000 * longest.size());
    }
    write("large.h", bare(records));
    const auto small = korve({"small.h", "small.asm"});
    const auto large = korve({"large.h", "large.asm"});
    EXPECT_EQ(large.status, 1);
    EXPECT_EQ(fs::file_size(dir() / "large.asm"),
              native(std::string(3810, ' ') + "\n").size() * 10000);
    EXPECT_LT(large.peak_memory_kib - small.peak_memory_kib, 1024)
        << small.peak_memory_kib << " KiB for 1,000 lines, " << large.peak_memory_kib
        << " KiB for 10,000";
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

TEST_F(KorveRun, ConvertsHobetaWrappedData) {
    // Many people keep their sources under Cyrillic names.
    write("ИСХОДНИК.$h", hobeta_file(bare(kFourRecords)));
    write("wrong.$h", hobeta_file(bare(kFourRecords), 64 + kFourRecords.size(), false));
    const auto right = korve({"ИСХОДНИК.$h", "ВЫХОД.asm"});
    EXPECT_EQ(right.console, native(kBanner + kReadingHobeta + kNamedTest + "OK!\n"));
    EXPECT_EQ(right.status, 1);
    const auto wrong = korve({"wrong.$h", "wrong.asm"});
    EXPECT_EQ(wrong.console,
              native(kBanner + kReadingHobeta + "Illegal checksum in header of hobeta!\n\n" +
                     kNamedTest + "OK!\n"));
    EXPECT_EQ(wrong.status, 1);
    EXPECT_EQ(read("ВЫХОД.asm"), native(kFourLines));
    EXPECT_EQ(read("wrong.asm"), native(kFourLines));
}

TEST_F(KorveRun, ConvertsAsMuchAsTheHobetaLengthSays) {
    std::string records;
    std::string lines;
    for (int i = 0; i < 128; ++i) {
        records += "\x03\x84;";
        lines += "\tRLCA\t;\n";
    }
    const struct {
        unsigned length;
        std::string records;
        std::string text;
    } cases[] = {
        // 0x01C0 = 64 + 128 * 3: the records after the length are left out.
        {0x01C0, records + "\x02\xC2\x02\xC2", lines},
        // The header uses the length up, yet one record is always converted.
        {0, "\x02\x84\x02\xC2", "\tRLCA\t\n"},
        // A length past the end of the file ends at the end of the file, with
        // no empty line per missing byte, however large the length.
        {1000, "\x02\x84\x02\xC2", "\tRLCA\t\n\tNEG\t\n"},
        {0x9000, "\x02\x84\x02\xC2", "\tRLCA\t\n\tNEG\t\n"},
        {0xFFFF, "\x02\x84\x02\xC2", "\tRLCA\t\n\tNEG\t\n"},
        // 65,535 bytes said, 200 in the file: 17 + 64 + 119 bytes of records.
        {0xFFFF, std::string(119, '\x01'), std::string(119, '\n')},
        // The last record read runs past the length to its own end.
        {67, "\x02\x84\x03\xC2;\x02\x84", "\tRLCA\t\n\tNEG\t;\n"},
    };
    for (const auto& c : cases) {
        write("in.$h", hobeta_file(bare(c.records), c.length));
        const auto result = korve({"in.$h", "out.asm"});
        EXPECT_EQ(result.console, native(kBanner + kReadingHobeta + kNamedTest + "OK!\n"))
            << c.length;
        EXPECT_EQ(read("out.asm"), native(c.text)) << c.length;
    }
}

TEST_F(KorveRun, ReadsPipesAsItReadsFiles) {
    if (windows_build()) {
        GTEST_SKIP() << "Windows names no pipe by a path";
    }
    std::string many;  // more than a pipe holds at once
    for (int i = 0; i < 8000; ++i) {
        many += kFourRecords;
    }
    const std::string inputs[] = {
        bare(kFourRecords),
        bare(many),
        hobeta_file(bare(many)),
        hobeta_file(bare(kFourRecords), 64 + 10, false),
        bare("\x02\x84" "\x03\xE7\xF5"),
        std::string(100, 'x'),
        bare("").substr(0, 50),               // ends inside the ALASM header
        hobeta_file(bare("")).substr(0, 70),  // ends inside it, behind a Hobeta header
        "",
    };
    for (const std::string& input : inputs) {
        write("in.h", input);
        const auto file = korve({"in.h", "file.asm"});
        const Piped through_stdin{input, ""};
        const Piped through_fifo{input, "in.fifo"};
        const std::pair<Result, std::string> piped_runs[] = {
            {korve({"/dev/stdin", "stdin.asm"}, &through_stdin), "stdin.asm"},
            {korve({"in.fifo", "fifo.asm"}, &through_fifo), "fifo.asm"},
        };
        for (const auto& [piped, output] : piped_runs) {
            EXPECT_EQ(piped.console, file.console) << output << ", " << input.size() << " bytes";
            EXPECT_EQ(piped.status, file.status) << output << ", " << input.size() << " bytes";
            EXPECT_EQ(exists(output), exists("file.asm")) << output;
            EXPECT_EQ(read(output), read("file.asm")) << output << ", " << input.size() << " bytes";
        }
        for (const auto& name : files()) {
            fs::remove(dir() / name);
        }
    }
}

TEST_F(KorveRun, TakesDataMarkedAsBareAsBare) {
    // Byte 64, the first record's length, also holds the mark.
    write("in.h", bare("\xD9" + std::string(216, 'x')));
    const auto result = korve({"in.h", "out.asm"});
    EXPECT_EQ(result.console, native(kBanner + kNamedTest + "OK!\n"));
    EXPECT_EQ(read("out.asm"), native(std::string(216, 'x') + "\n"));
}

TEST_F(KorveRun, ReportsAnInputItCannotOpen) {
    fs::create_directory(dir() / "folder");
    for (const std::string input : {"missing.h", "folder", "НЕТ ТАКОГО.$h"}) {
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

TEST_F(KorveRun, ReportsFilesItIsNotAllowedToUse) {
    if (running_as_root()) {
        GTEST_SKIP() << "file permissions do not bind root";
    }
    write("locked.h", bare(kFourRecords));
    fs::permissions(dir() / "locked.h", fs::perms::none);
    const auto input = korve({"locked.h", "out.asm"});
    EXPECT_EQ(input.console, native(kBanner + "Error! Cannot open input file locked.h\n"));
    EXPECT_EQ(input.status, 2);
    EXPECT_FALSE(exists("out.asm"));

    write("in.h", bare(kFourRecords));
    fs::create_directory(dir() / "shut");
    fs::permissions(dir() / "shut", fs::perms::owner_read | fs::perms::owner_exec);
    const auto output = korve({"in.h", "shut/out.asm"});
    EXPECT_EQ(output.console,
              native(kBanner + "Error! Cannot create output file shut/out.asm\n"));
    EXPECT_EQ(output.status, 2);
    fs::permissions(dir() / "shut", fs::perms::owner_all);
}

TEST_F(KorveRun, NeverWritesOverItsInput) {
    const std::string data = bare(kFourRecords);
    const struct {
        std::string input;
        std::vector<std::string> outputs;
        std::vector<std::string> windows_outputs;  // where names differ in case and separator only
    } cases[] = {
        {"in.h", {"in.h", "./in.h", "hard.h", "soft.h"}, {"IN.H", ".\\in.h"}},
        {"ИСХОДНИК.h", {"ИСХОДНИК.h", "./ИСХОДНИК.h", "hard.h", "soft.h"}, {"исходник.h", ".\\ИСХОДНИК.h"}},
    };
    for (const auto& c : cases) {
        write(c.input, data);
        fs::create_hard_link(dir() / c.input, dir() / "hard.h");
        fs::create_symlink(c.input, dir() / "soft.h");
        std::vector<std::string> outputs = c.outputs;
        if (windows_build()) {
            outputs.insert(outputs.end(), c.windows_outputs.begin(), c.windows_outputs.end());
        }
        for (const std::string& output : outputs) {
            const auto result = korve({c.input, output});
            EXPECT_EQ(result.console, native(kBanner + "Error! Output file is the input file!\n"))
                << output;
            EXPECT_EQ(result.status, 2);
            EXPECT_EQ(read(c.input), data);
        }
        fs::remove(dir() / "hard.h");
        fs::remove(dir() / "soft.h");
    }
}

TEST_F(KorveRun, ReportsAnInputItCannotRead) {
    // The file opens, but reading its first byte fails.
    if (windows_build() || !fs::exists("/proc/self/mem")) {
        GTEST_SKIP() << "no /proc/self/mem here";
    }
    const auto result = korve({"/proc/self/mem", "out.asm"});
    EXPECT_EQ(result.console, native(kBanner + "Error! Cannot read input file /proc/self/mem\n"));
    EXPECT_EQ(result.status, 2);
    EXPECT_FALSE(exists("out.asm"));
}

// Converts `input` in this process, as `korve in out` would, and gives the
// status and the output's lines.
std::pair<int, std::vector<std::string>> convert_here(const fs::path& dir, const std::string& input) {
    const fs::path in = dir / "in";
    const fs::path out = dir / "out";
    testing::write_file(in, input);
    fs::remove(out);
    const std::string in_path = in.string();
    const std::string out_path = out.string();
    const char* const argv[] = {"korve", in_path.c_str(), out_path.c_str()};
    std::FILE* console = std::tmpfile();
    const int status = static_cast<int>(run(3, argv, console));
    std::fclose(console);
    std::vector<std::string> lines;
    std::ifstream text(out, std::ios::binary);
    for (std::string line; std::getline(text, line);) {
        lines.push_back(line);
    }
    return {status, lines};
}

TEST_F(KorveRun, ConvertsTheExampleCutAtEveryLength) {
    // Cut anywhere, the example still converts, and only its last line can
    // differ from the whole file's; before the mark it is no ALASM data.
    for (const auto& [name, mark_end] : {std::pair{"greet.h", 48U}, std::pair{"greet.$h", 65U}}) {
        std::ifstream file(fs::path(KORVE_EXAMPLES) / name, std::ios::binary);
        const std::string whole{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
        const auto [whole_status, whole_lines] = convert_here(dir(), whole);
        ASSERT_EQ(whole_status, 1) << name;
        for (std::size_t size = 0; size < whole.size(); ++size) {
            const auto [status, lines] = convert_here(dir(), whole.substr(0, size));
            ASSERT_EQ(status, size < mark_end ? 255 : 1) << name << " cut at " << size;
            ASSERT_LE(lines.size(), whole_lines.size()) << name << " cut at " << size;
            for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
                ASSERT_EQ(lines[i], whole_lines[i]) << name << " cut at " << size << ", line " << i + 1;
            }
        }
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
