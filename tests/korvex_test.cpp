// Whole runs of the built korvex, in a temporary folder: its standard
// output, standard error, exit status and the files it writes, together.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#ifdef __linux__
#include <sys/sysmacros.h>
#endif

#include "alasm_writer.h"
#include "formats/trdos_image.h"
#include "image_writer.h"
#include "korvex_run.h"
#include "program_run.h"

namespace korve {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using testing::alasm_header;
using testing::alasm_record;
using testing::DiskFile;
using testing::hobeta_file;
using testing::ProgramRun;
using testing::scl_archive;
using testing::trd_image;
using testing::KorvexRun;
using testing::corpus;
using testing::file_bytes;
using testing::kAddressSanitizer;
using testing::kSource;
using testing::kStored;
using testing::manifest;
using testing::nops;
using testing::repeated;
using testing::short_disk;
using testing::with_crlf;

TEST_F(KorvexRun, AnswersHelpAndVersionOnStandardOutput) {
    const struct {
        std::vector<std::string> args;
        std::string starts;  // how standard output starts
    } cases[] = {
        {{"--version"}, "korvex " KORVE_VERSION "\n"},
        {{"--help"}, "korvex " KORVE_VERSION ": ALASM 5.x sources to text"},
        {{"help"}, "korvex " KORVE_VERSION ": ALASM 5.x sources to text"},
        {{"help", "text"}, "usage: korvex text [OPTION...] INPUT...\n"},
        {{"text", "--help"}, "usage: korvex text [OPTION...] INPUT...\n"},
        {{"text", "GAME.$h", "-h", "--frob"}, "usage: korvex text [OPTION...] INPUT...\n"},
        {{"help", "list"}, "usage: korvex list [--json] INPUT...\n"},
        {{"list", "--help"}, "usage: korvex list [--json] INPUT...\n"},
        {{"pack", "-h"}, "usage: korvex pack [OPTION...] -o OUT TEXT...\n"},
        {{"help", "show"}, "usage: korvex show [--charset CP] [--textconv] INPUT\n"},
        {{"diff", "--help"}, "usage: korvex diff [--charset CP] A B\n"},
        {{"lsp", "--help"}, "usage: korvex lsp\n"},
    };
    for (const auto& c : cases) {
        const auto result = korvex(c.args);
        EXPECT_TRUE(result.out.starts_with(native(c.starts))) << c.args[0] << ":\n" << result.out;
        EXPECT_EQ(result.err, "") << c.args[0];
        EXPECT_EQ(result.status, 0) << c.args[0];
    }
    const std::string text_help = korvex({"help", "text"}).out;
    for (const char* option :
         {"--output", "--force", "--charset CP866|CP1251|KOI8-R", "--eol lf|crlf",
          "--layout stored|tidy", "--dialect alasm|sjasmplus|pasmo", "--main NAME", "--quiet",
          "--verbose"}) {
        EXPECT_NE(text_help.find(option), std::string::npos) << option;
    }
    const std::string help = korvex({"--help"}).out;
    for (const char* verb : {"  text   write", "  put    store", "  get    copy", "  help   show"}) {
        EXPECT_NE(help.find(verb), std::string::npos) << verb;  // the summaries in one column
    }
    EXPECT_TRUE(files().empty());
}

TEST_F(KorvexRun, RefusesWrongUsageWithStatus2) {
    write("GAME.$h", hobeta_file(kSource));
    write("disk.trd", trd_image({{.name = "GAME", .type = 'H', .data = kSource}}));
    fs::create_directory(dir() / "folder");
    const std::string text_usage =
        "usage: korvex text [OPTION...] INPUT...\nTry 'korvex help text' for more.\n";
    const std::string usage =
        "usage: korvex text [OPTION...] INPUT...\n       korvex list [--json] INPUT...\n"
        "       korvex pack [OPTION...] -o OUT TEXT...\n"
        "       korvex put [OPTION...] DISK TEXT...\n"
        "       korvex get [--hobeta] [--force] [-o DIR] DISK [NAME.T...]\n"
        "       korvex show [--charset CP] [--textconv] INPUT\n"
        "       korvex diff [--charset CP] A B\n"
        "       korvex lsp\n"
        "       korvex help [VERB] | --help | --version\nTry 'korvex help' for more.\n";
    const struct {
        std::vector<std::string> args;
        std::string err;
    } cases[] = {
        {{}, "korvex: error: no verb given\n" + usage},
        {{"convert", "GAME.$h"}, "korvex: error: no verb 'convert'\n" + usage},
        {{"help", "convert"}, "korvex: error: no verb 'convert'\n" + usage},
        {{"text"}, "korvex: error: no INPUT given\n" + text_usage},
        {{"text", "--frob", "GAME.$h"}, "korvex: error: unknown option --frob\n" + text_usage},
        {{"text", "-x", "GAME.$h"}, "korvex: error: unknown option -x\n" + text_usage},
        {{"text", "GAME.$h", "-o"}, "korvex: error: -o takes DIR|FILE|-\n" + text_usage},
        {{"text", "GAME.$h", "-o", ""},
         "korvex: error: --output takes DIR|FILE|-, not ''\n" + text_usage},
        {{"text", "--force=yes", "GAME.$h"}, "korvex: error: --force takes nothing\n" + text_usage},
        {{"text", "--charset", "CP437", "GAME.$h"},
         "korvex: error: --charset takes CP866|CP1251|KOI8-R, not 'CP437'\n" + text_usage},
        {{"text", "--eol=cr", "GAME.$h"},
         "korvex: error: --eol takes lf|crlf, not 'cr'\n" + text_usage},
        {{"text", "--layout", "neat", "GAME.$h"},
         "korvex: error: --layout takes stored|tidy, not 'neat'\n" + text_usage},
        {{"text", "--dialect", "tasm", "GAME.$h"},
         "korvex: error: --dialect takes alasm|sjasmplus|pasmo, not 'tasm'\n" + text_usage},
        {{"text", "--main", "GAME", "disk.trd", "-o", "out"},
         "korvex: error: --main chooses what to translate: give --dialect too\n" + text_usage},
        {{"text", "-", "-"},
         "korvex: error: standard input (-) can be read only once\n" + text_usage},
        {{"list", "-o", "out", "GAME.$h"},
         "korvex: error: unknown option -o\n"
         "usage: korvex list [--json] INPUT...\nTry 'korvex help list' for more.\n"},
        {{"show", "GAME.$h", "disk.trd"},
         "korvex: error: show takes one INPUT\n"
         "usage: korvex show [--charset CP] [--textconv] INPUT\nTry 'korvex help show' for more.\n"},
        {{"diff", "GAME.$h"},
         "korvex: error: diff compares two inputs, A and B\n"
         "usage: korvex diff [--charset CP] A B\nTry 'korvex help diff' for more.\n"},
        {{"diff", "--textconv", "GAME.$h", "disk.trd"},
         "korvex: error: unknown option --textconv\n"
         "usage: korvex diff [--charset CP] A B\nTry 'korvex help diff' for more.\n"},
        {{"lsp", "GAME.$h"},
         "korvex: error: lsp takes no INPUT: the client names the texts\n"
         "usage: korvex lsp\nTry 'korvex help lsp' for more.\n"},
        {{"diff", "folder", "disk.trd"},
         "korvex: error: folder is a folder, and can be compared only with a folder\n"},
        // Usage that names no folder where one is needed.
        {{"text", "GAME.$h", "disk.trd"},
         "korvex: error: several inputs: name a folder to write their files into with -o DIR\n"},
        {{"text", "disk.trd"},
         "korvex: disk.trd: error: a disk image holds several files: "
         "name a folder to write its files into with -o DIR\n"},
        {{"text", "folder", "-o", "-"},
         "korvex: folder: error: a folder holds several files: "
         "name a folder to write its files into with -o DIR\n"},
        {{"text", "disk.trd", "-o", "GAME.$h"},
         "korvex: disk.trd: error: a disk image holds several files: "
         "GAME.$h is no folder, and its files need one\n"},
        {{"text", "disk.trd", "folder", "-o", "GAME.$h"},
         "korvex: error: GAME.$h is no folder, and several inputs need one\n"},
    };
    for (const auto& c : cases) {
        const auto result = korvex(c.args);
        EXPECT_EQ(result.err, native(c.err))
            << (c.args.empty() ? "" : c.args[0] + " " + c.args.back());
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.status, 2);
    }
    EXPECT_EQ(tree(), (std::vector<std::string>{"GAME.$h", "disk.trd"}));
}

// Without options, korvex writes korve's bytes, wherever the text goes.
TEST_F(KorvexRun, WritesKorvesTextToStandardOutputOrAFile) {
    write("GAME.$h", hobeta_file(kSource));
    write("ИГРА.$h", hobeta_file(kSource));
    ASSERT_EQ(korve({"GAME.$h", "korve.asm"}).status, 1);
    const std::string korves = read("korve.asm");
    EXPECT_EQ(korves, native(kStored));
    const Piped through_stdin{hobeta_file(kSource), ""};
    const Piped through_fifo{hobeta_file(kSource), "in.fifo"};
    const struct {
        std::vector<std::string> args;
        const Piped* piped;
        std::string file;  // where the text is; empty: standard output
    } cases[] = {
        {{"text", "GAME.$h"}, nullptr, ""},
        {{"text", "-o", "-", "GAME.$h"}, nullptr, ""},
        {{"text", "-"}, &through_stdin, ""},
        {{"text", "GAME.$h", "-o", "out.asm"}, nullptr, "out.asm"},
        {{"text", "--output=out.asm", "GAME.$h"}, nullptr, "out.asm"},
        {{"text", "-", "-oout.asm"}, &through_stdin, "out.asm"},
        {{"text", "GAME.$h", "-o", "made/"}, nullptr, "made/GAME.$h.asm"},
        {{"text", "-", "-o", "made/"}, &through_stdin, "made/stdin.asm"},
        // Any file name, Cyrillic ones too, on every system.
        {{"text", "ИГРА.$h", "-o", "папка/"}, nullptr, "папка/ИГРА.$h.asm"},
        {{"text", "ИГРА.$h", "-o", "текст.asm"}, nullptr, "текст.asm"},
        {{"text", "--", "GAME.$h"}, nullptr, ""},
        {{"text", "in.fifo", "--dialect", "alasm", "--layout", "stored"}, &through_fifo, ""},
    };
    for (const auto& c : cases) {
        if (c.piped == &through_fifo && windows_build()) {
            continue;  // Windows names no pipe by a path
        }
        const auto result = korvex(c.args, c.piped);
        EXPECT_EQ(result.err, "") << c.args.back();
        EXPECT_EQ(result.status, 0) << c.args.back();
        EXPECT_EQ(c.file.empty() ? result.out : read(c.file), korves) << c.args.back();
        if (!c.file.empty()) {
            EXPECT_EQ(result.out, "");
            fs::remove_all(dir() / fs::path(c.file).begin()->string());
        }
        fs::remove(dir() / "in.fifo");
    }
    EXPECT_EQ(tree(), (std::vector<std::string>{"GAME.$h", "korve.asm", "ИГРА.$h"}));
}

// A 64 KiB source or a disk image may be held whole; nothing grows with
// the lines of an input, however it is converted.
TEST_F(KorvexRun, KeepsMemoryFlatWhateverTheInputSize) {
    if (kAddressSanitizer) {
        GTEST_SKIP() << "AddressSanitizer keeps freed memory in quarantine: peaks grow";
    }
    const std::string longest = "\xFF" + std::string(254, '\x0F');
    std::string records;
    for (int i = 0; i < 10000; ++i) {
        records += longest;
    }
    write("small.h", alasm_header("S") + records.substr(0, 1000 * longest.size()));
    write("large.h", alasm_header("L") + records);
    // A translation holds the whole source, in its stored form: within a
    // small multiple of the input; text holds a line.
    const long more_input_kib = static_cast<long>(9000 * longest.size() / 1024);
    const struct {
        std::vector<std::string> options;
        long most_growth_kib;
    } cases[] = {
        {{}, 1024},
        {{"--layout", "tidy", "--charset", "CP866"}, 1024},
        {{"--dialect", "sjasmplus"}, 3 * more_input_kib},
    };
    for (const auto& [options, most_growth_kib] : cases) {
        std::vector<std::string> small = {"text", "small.h", "-o", "small.asm", "--force"};
        std::vector<std::string> large = {"text", "large.h", "-o", "large.asm", "--force"};
        small.insert(small.end(), options.begin(), options.end());
        large.insert(large.end(), options.begin(), options.end());
        const auto small_run = korvex(small);
        const auto large_run = korvex(large);
        EXPECT_EQ(large_run.status, 0);
        const std::string text = read("large.asm");
        // sjasmplus's translation too: line for line, the heading on the first.
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 10000);
        EXPECT_LT(large_run.peak_memory_kib - small_run.peak_memory_kib, most_growth_kib)
            << small_run.peak_memory_kib << " KiB for 1,000 lines, " << large_run.peak_memory_kib
            << " KiB for 10,000";
    }
}

TEST_F(KorvexRun, ChangesLayoutCharacterSetAndLineEndsOnlyWhenAsked) {
    write("GAME.$h", hobeta_file(kSource));
    const std::string tidy = "LOOP\tLD\tA,(HL)\n\tRLCA\n\tNOP\n; \xE0\xE1\xE2\n\n";
    const struct {
        std::vector<std::string> options;
        std::string text;
    } cases[] = {
        {{}, native(kStored)},
        {{"--layout", "tidy"}, native(tidy)},
        {{"--charset", "CP866"},
         native("LOOP    \tLD\t   A,(HL)  \n\tRLCA\t\n     \tNOP\t  \n; рст\n\n")},
        {{"--charset=cp1251"},
         native("LOOP    \tLD\t   A,(HL)  \n\tRLCA\t\n     \tNOP\t  \n; абв\n\n")},
        {{"--charset", "KOI8-R"},
         native("LOOP    \tLD\t   A,(HL)  \n\tRLCA\t\n     \tNOP\t  \n; ЮАБ\n\n")},
        {{"--eol", "crlf"}, with_crlf(kStored)},
        {{"--eol", "lf"}, kStored},
        {{"--layout=tidy", "--charset", "CP866", "--eol", "crlf"},
         with_crlf("LOOP\tLD\tA,(HL)\n\tRLCA\n\tNOP\n; рст\n\n")},
        // The last of an option given twice counts.
        {{"--layout", "tidy", "--layout", "stored"}, native(kStored)},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"text", "GAME.$h"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const auto result = korvex(args);
        EXPECT_EQ(result.out, c.text) << args.back();
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.status, 0);
    }
}

// A disk of nine files cut short after the sixth.
std::string cut_disk() {
    std::vector<DiskFile> files;
    for (char n = '1'; n <= '9'; ++n) {
        files.push_back({.name = "F"s + n, .type = 'H', .data = alasm_header("F") + nops(2)});
    }
    const std::size_t first_lost = 16 + 6;  // track 1 on, a sector apiece
    return trd_image(files).substr(0, first_lost * 256);
}

TEST_F(KorvexRun, SaysWhatHappenedAndExitsWithItsStatus) {
    const std::string kStopped =
        "korvex: disk.trd:PGMFLASH.H:57: error: "
        "0xE7 is no mnemonic; the 56 lines before it were written\n";
    const std::string undefined_disk = trd_image({
        {.name = "PGMFLASH",
         .type = 'H',
         .data = alasm_header("PGMFLASH") + nops(56) + "\x02\xE7" + nops(3)},
        {.name = "PGMFLASH", .type = 'C', .data = std::string(300, '\xC9')},
    });
    const struct {
        std::string name;
        std::string bytes;
        std::vector<std::string> args;
        std::string err;
        int status;
        std::vector<std::string> written;  // files under out/
    } cases[] = {
        {"disk.trd",
         undefined_disk,
         {"text", "disk.trd", "-o", "out"},
         kStopped,
         1,
         {"PGMFLASH.H.asm"}},
        {"GAME.$h",
         hobeta_file(kSource, static_cast<unsigned>(kSource.size()), false),
         {"text", "GAME.$h", "-o", "out/"},
         "korvex: GAME.$h: warning: "
         "the Hobeta checksum does not match; converted as its length says\n",
         0,
         {"GAME.$h.asm"}},
        // Data not read whole is written as far as it goes, with status 1:
        // cut inside a line, inside its header, or short of its length.
        {"x.H",
         alasm_header("X") + nops(2) + "\x10" + "AB",
         {"text", "x.H", "-o", "out/"},
         "korvex: x.H: error: the data ends inside line 3\n",
         1,
         {"x.H.asm"}},
        {"x.H",
         alasm_header("X").substr(0, 48),
         {"text", "x.H", "-o", "out/"},
         "korvex: x.H: error: the data ends inside line 1\n",
         1,
         {"x.H.asm"}},
        {"short.trd",
         short_disk(),
         {"text", "-q", "short.trd", "-o", "out"},
         "korvex: short.trd:EVEN.H: error: the data ends after line 224, 488 bytes short of its "
         "length\n",
         1,
         {"EVEN.H.asm"}},
        // get copies what the sectors hold, as a Hobeta file or not.
        {"short.trd",
         short_disk(),
         {"get", "--hobeta", "short.trd", "-o", "out"},
         "korvex: short.trd:EVEN.H: error: "
         "its catalogue length passes its sectors: the 512 bytes they hold are written\n",
         1,
         {"EVEN.$H"}},
        {"old.trd",
         cut_disk(),
         {"text", "old.trd", "-o", "out"},
         "korvex: old.trd: warning: cut short; 3 of its 9 files lost\n"
         "korvex: old.trd:F7.H: error: its data is lost: the image ends before it\n"
         "korvex: old.trd:F8.H: error: its data is lost: the image ends before it\n"
         "korvex: old.trd:F9.H: error: its data is lost: the image ends before it\n",
         1,
         {"F1.H.asm", "F2.H.asm", "F3.H.asm", "F4.H.asm", "F5.H.asm", "F6.H.asm"}},
        {"GAME.$h",
         hobeta_file(kSource),
         {"text", "missing.h", "GAME.$h", "-o", "out"},
         "korvex: missing.h: error: No such file or directory\n",
         2,
         {"GAME.$h.asm"}},
        // An archive cut inside its catalogue, or before its count: the
        // files it lost without a name are counted, and make status 1.
        {"cut.scl",
         scl_archive({{.name = "ONE", .type = 'H', .data = kSource},
                      {.name = "TWO", .data = "\xC9"},
                      {.name = "THREE", .data = "\xC9"}})
             .substr(0, 9 + 14 + 5),
         {"text", "cut.scl", "-o", "out"},
         "korvex: cut.scl: error: cut short; 3 of its 3 files lost, the names of 2 of them too\n"
         "korvex: cut.scl:ONE.H: error: its data is lost: the image ends before it\n",
         1,
         {}},
        {"sig.scl",
         "SINCLAIR",
         {"text", "sig.scl", "-o", "out"},
         "korvex: sig.scl: error: cut short before its file count: whatever it held is lost\n",
         1,
         {}},
        {"notes.txt",
         "nothing to see",
         {"text", "notes.txt", "-o", "out"},
         "korvex: notes.txt: error: holds no ALASM data and no disk image\n",
         1,
         {}},
        // Stopped on its first line (DS, then no operand): no file of nothing.
        {"bad.h",
         alasm_header("BAD") + "\x03\xA4\x80",
         {"text", "bad.h", "-o", "out/"},
         "korvex: bad.h:1: error: 0x80 is no operand; nothing was written\n",
         1,
         {}},
        // -q keeps errors only; -v names each file written.
        {"GAME.$h",
         hobeta_file(kSource, static_cast<unsigned>(kSource.size()), false),
         {"text", "-q", "GAME.$h", "-o", "out/"},
         "",
         0,
         {"GAME.$h.asm"}},
        {"disk.trd",
         undefined_disk,
         {"text", "--quiet", "disk.trd", "-o", "out"},
         kStopped,
         1,
         {"PGMFLASH.H.asm"}},
        {"GAME.$h",
         hobeta_file(kSource),
         {"text", "-v", "GAME.$h", "disk.scl", "-o", "out"},
         "korvex: GAME.$h: converted 5 lines into out/GAME.$h.asm\n"
         "korvex: disk.scl:PGMFLASH.H: converted 59 lines into out/disk.scl/PGMFLASH.H.asm\n"
         "korvex: disk.scl:PGMFLASH.C: skipped: not ALASM data\n",
         0,
         {"GAME.$h.asm", "disk.scl/PGMFLASH.H.asm"}},
    };
    for (const auto& c : cases) {
        clear();
        write(c.name, c.bytes);
        write("disk.scl",
              scl_archive({{.name = "PGMFLASH", .type = 'H', .data = alasm_header("P") + nops(59)},
                           {.name = "PGMFLASH", .type = 'C', .data = "\xC9"}}));
        const auto result = korvex(c.args);
        EXPECT_EQ(result.err, native(c.err)) << c.name;
        EXPECT_EQ(result.out, "") << c.name;
        EXPECT_EQ(result.status, c.status) << c.name;
        EXPECT_EQ(exists("out") ? tree("out") : std::vector<std::string>{}, c.written) << c.name;
    }
    // The lines before an undefined token are written, as korve writes them.
    clear();
    write("disk.trd", undefined_disk);
    korvex({"text", "disk.trd", "-o", "out"});
    EXPECT_EQ(read("out/PGMFLASH.H.asm"), native(repeated("\tNOP\t\n", 56)));
}

TEST_F(KorvexRun, NeverWritesOverAFileUnasked) {
    write("GAME.$h", hobeta_file(kSource));
    write("disk.trd", trd_image({{.name = "GAME", .type = 'H', .data = kSource}}));
    fs::create_directory(dir() / "out");
    const std::string old = "keep me\n";
    write("out.asm", old);
    write("out/GAME.H.asm", old);
    for (const auto& args : {std::vector<std::string>{"text", "GAME.$h", "-o", "out.asm"},
                             std::vector<std::string>{"text", "disk.trd", "-o", "out"}}) {
        const std::string target = args[3] == "out" ? "out/GAME.H.asm" : "out.asm";
        const auto refused = korvex(args);
        const std::string from = args[1] == "disk.trd" ? "disk.trd:GAME.H" : "GAME.$h";
        EXPECT_EQ(refused.err, native("korvex: " + from + ": error: " + target +
                                      " exists; --force writes over it\n"));
        EXPECT_EQ(refused.status, 2);
        EXPECT_EQ(read(target), old);

        std::vector<std::string> forced = args;
        forced.push_back("--force");
        const auto replaced = korvex(forced);
        EXPECT_EQ(replaced.err, "");
        EXPECT_EQ(replaced.status, 0);
        EXPECT_EQ(read(target), native(kStored));
    }
    // Nothing is left beside the outputs: no temporary file.
    EXPECT_EQ(tree(),
              (std::vector<std::string>{"GAME.$h", "disk.trd", "out.asm", "out/GAME.H.asm"}));
}

// Whatever --force says: nothing but a regular file or a new name, never an
// input, never through a link, and never out of the folder written into.
TEST_F(KorvexRun, WritesOnlyFilesThatAreNeitherInputsNorLinks) {
    if (windows_build()) {
        GTEST_SKIP() << "FIFOs, links and devices are made here with POSIX calls";
    }
    write("a.h", alasm_header("A") + nops(2));
    write("t.asm", "\tNOP\n");
    write("disk.trd", trd_image({{.name = "GAME", .type = 'H', .data = kSource}}));
    ASSERT_EQ(mkfifo((dir() / "fifo").c_str(), S_IRUSR | S_IWUSR), 0);
    fs::create_symlink("a.h", dir() / "link.h");
    fs::create_hard_link(dir() / "a.h", dir() / "hard.h");
    fs::create_directories(dir() / "elsewhere");
    fs::create_directories(dir() / "out");
    fs::create_directory_symlink("../elsewhere", dir() / "out/disk.trd");
    const bool device =
        running_as_root() &&
        mknod((dir() / "null").c_str(), S_IFCHR | S_IRUSR | S_IWUSR, makedev(1, 3)) == 0;
    const struct {
        std::vector<std::string> args;
        std::string err;
    } cases[] = {
        {{"text", "--force", "a.h", "-o", "fifo"},
         "korvex: a.h: error: fifo is no regular file: korvex writes only files\n"},
        {{"pack", "--force", "t.asm", "-o", "fifo"},
         "korvex: error: fifo is no regular file: korvex writes only files\n"},
        {{"text", "--force", "a.h", "-o", "a.h"},
         "korvex: a.h: error: a.h is an input: korvex never writes over its inputs\n"},
        {{"text", "--force", "a.h", "-o", "hard.h"},
         "korvex: a.h: error: hard.h is an input: korvex never writes over its inputs\n"},
        {{"text", "--force", "a.h", "-o", "link.h"},
         "korvex: a.h: error: link.h is a symbolic link: korvex writes nothing through a link\n"},
        {{"text", "disk.trd", "a.h", "-o", "out"},
         "korvex: disk.trd:GAME.H: error: cannot make the folder out/disk.trd: it is a symbolic link, "
         "which may lead out of the folder written into\n"},
        {{"text", "--force", "a.h", "-o", device ? "null" : "fifo"},
         "korvex: a.h: error: "s + (device ? "null" : "fifo") +
             " is no regular file: korvex writes only files\n"},
    };
    for (const auto& c : cases) {
        const auto result = korvex(c.args);
        EXPECT_EQ(result.err, c.err) << c.args.back();
        EXPECT_EQ(result.status, 2) << c.args.back();
    }
    EXPECT_EQ(read("a.h"), alasm_header("A") + nops(2));
    EXPECT_TRUE(fs::is_fifo(dir() / "fifo"));
    EXPECT_TRUE(!device || fs::is_character_file(dir() / "null"));
    EXPECT_TRUE(fs::is_empty(dir() / "elsewhere"));
    EXPECT_EQ(tree("out"), std::vector<std::string>{"a.h.asm"});
}

// A run stopped by a signal takes its temporary file with it, and what runs
// killed outright leave behind stands in no later run's way.
TEST_F(KorvexRun, LeavesNoTemporaryFileBehind) {
    if (windows_build()) {
        GTEST_SKIP() << "signals are sent here with POSIX calls";
    }
    fs::create_directory(dir() / "out");
    for (int number = 0; number < 1000; ++number) {
        write("out/.korvex-" + std::to_string(number) + ".tmp", "");
    }
    write("a.h", alasm_header("A") + nops(2));
    EXPECT_EQ(korvex({"text", "a.h", "-o", "out/a.asm"}).status, 0);
    clear();
    std::string records;
    while (records.size() < std::size_t{256} * 1024) {
        records += nops(1);
    }
    for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
        ASSERT_EQ(mkfifo((dir() / "in.h").c_str(), S_IRUSR | S_IWUSR), 0);
        const pid_t run = start_korvex({"text", "in.h", "-o", "out.asm"});
        // Half the input, and then the run waits for more, its file open.
        std::ofstream fifo(dir() / "in.h", std::ios::binary);
        fifo << alasm_header("A") << records << std::flush;
        const auto temporary = [this] {
            return std::any_of(fs::directory_iterator(dir()), fs::directory_iterator(),
                               [](const auto& entry) {
                                   return entry.path().filename().string().starts_with(".korvex-");
                               });
        };
        for (int wait = 0; wait < 3000 && !temporary(); ++wait) {
            usleep(10000);
        }
        EXPECT_TRUE(temporary()) << signal_number;
        kill(run, signal_number);
        fifo.close();  // a signal ignored where the test runs lets the run end
        int status = 0;
        ASSERT_EQ(waitpid(run, &status, 0), run);
        if (WIFSIGNALED(status)) {
            EXPECT_EQ(WTERMSIG(status), signal_number);
            EXPECT_EQ(files(), std::vector<std::string>{"in.h"}) << signal_number;
        }
        clear();
    }
}

// Names that differ only in case keep their ".asm"; a name that is no UTF-8
// keeps its bytes in JSON; what is no file is counted apart from files.
TEST_F(KorvexRun, NamesAndCountsWhatItFindsExactly) {
    if (windows_build()) {
        GTEST_SKIP() << "names that differ only in case, and FIFOs, are made here";
    }
    write("x.h", alasm_header("X") + nops(1));
    write("X.h", alasm_header("X") + nops(1));
    EXPECT_EQ(korvex({"text", "x.h", "X.h", "-o", "out"}).status, 0);
    EXPECT_EQ(tree("out"), (std::vector<std::string>{"X.h (2).asm", "x.h.asm"}));
    clear();
    write("\xFF.h", alasm_header("X") + nops(1));
    EXPECT_NE(korvex({"list", "--json", "\xFF.h"}).out.find(R"("input": "\uDCFF.h")"),
              std::string::npos);
    clear();
    fs::create_directory(dir() / "in");
    write("in/notes.txt", "notes");
    ASSERT_EQ(mkfifo((dir() / "in/fifo").c_str(), S_IRUSR | S_IWUSR), 0);
    fs::create_symlink("gone", dir() / "in/broken");
    const auto walked = korvex({"text", "in", "-o", "out"});
    EXPECT_EQ(walked.err, "korvex: in: note: 1 file skipped: neither ALASM data nor a disk image\n"
                          "korvex: in: note: 2 skipped: not files\n");
}

TEST_F(KorvexRun, ReportsFilesItCannotReadOrWrite) {
    write("GAME.$h", hobeta_file(kSource));
    write("big.h", alasm_header("BIG") + nops(5000));  // more text than a stream buffers
    write("short.h", alasm_header("BIG") + nops(2000));
    // Listed so often that the list outgrows what a stream buffers.
    const std::vector<std::string> many_lists(300, "GAME.$h");
    std::vector<std::string> list_args{"list"};
    list_args.insert(list_args.end(), many_lists.begin(), many_lists.end());
    const struct {
        std::vector<std::string> args;
        std::string stdout_path;
        std::string err;
        bool posix_only;
    } cases[] = {
        {{"text", "GAME.$h"},
         "/dev/full",
         "korvex: GAME.$h: error: cannot write standard output: No space left on device\n",
         true},
        {{"help"},
         "/dev/full",
         "korvex: error: cannot write standard output: No space left on device\n",
         true},
        {{"show", "big.h"},
         "/dev/full",
         "korvex: big.h: error: cannot write standard output: No space left on device\n",
         true},
        {list_args,
         "/dev/full",
         "korvex: error: cannot write standard output: No space left on device\n",
         true},
        {{"diff", "big.h", "short.h"},
         "/dev/full",
         "korvex: error: cannot write standard output: No space left on device\n",
         true},
        {{"text", "/proc/self/mem", "-o", "out"},
         "",
         "korvex: /proc/self/mem: error: reading failed: Input/output error\n",
         true},
        {{"text", "GAME.$h", "-o", "nowhere/out.asm"},
         "",
         "korvex: GAME.$h: error: cannot write nowhere/out.asm: No such file or directory\n",
         false},
        {{"text", "GAME.$h", "-o", "GAME.$h/"},
         "",
         "korvex: GAME.$h: error: cannot make the folder GAME.$h/: a file has its name\n",
         false},
    };
    for (const auto& c : cases) {
        if (c.posix_only &&
            (windows_build() || !fs::exists(c.stdout_path.empty() ? c.args[1] : c.stdout_path))) {
            continue;
        }
        const auto result = korvex(c.args, nullptr, c.stdout_path);
        EXPECT_EQ(result.err, native(c.err)) << c.args[1];
        EXPECT_EQ(result.status, 2) << c.args[1];
    }
    EXPECT_EQ(tree(), (std::vector<std::string>{"GAME.$h", "big.h", "short.h"}));
}

TEST_F(KorvexRun, WalksFoldersInSortedOrderAndMirrorsThem) {
    fs::create_directories(dir() / "disks" / "sub");
    write("disks/b.h", alasm_header("B") + nops(1));
    write("disks/A.$h", hobeta_file(alasm_header("A") + nops(2)));
    write("disks/notes.txt", "not ALASM data");
    write("disks/sub/game.trd",
          trd_image({{.name = "GAME", .type = 'H', .data = alasm_header("G") + nops(3)},
                     {.name = "game", .type = 'H', .data = alasm_header("g") + nops(4)}}));
    write("disks/sub/readme", "");
    write("loose.h", alasm_header("L") + nops(5));

    const auto one = korvex({"text", "-v", "disks", "-o", "out"});
    EXPECT_EQ(
        one.err,
        native("korvex: disks/A.$h: converted 2 lines into out/A.$h.asm\n"
               "korvex: disks/b.h: converted 1 line into out/b.h.asm\n"
               "korvex: disks/notes.txt: skipped: neither ALASM data nor a disk image\n"
               "korvex: disks/sub/game.trd:GAME.H: converted 3 lines into "
               "out/sub/game.trd/GAME.H.asm\n"
               "korvex: disks/sub/game.trd:game.H (2): converted 4 lines into "
               "out/sub/game.trd/game.H (2).asm\n"
               "korvex: disks/sub/readme: skipped: neither ALASM data nor a disk image\n"
               "korvex: disks: note: 2 files skipped: neither ALASM data nor a disk image\n"));
    EXPECT_EQ(one.status, 0);
    EXPECT_EQ(tree("out"),
              (std::vector<std::string>{"A.$h.asm", "b.h.asm", "sub/game.trd/GAME.H.asm",
                                        "sub/game.trd/game.H (2).asm"}));
    EXPECT_EQ(read("out/sub/game.trd/game.H (2).asm"), native(repeated("\tNOP\t\n", 4)));

    // Several inputs: each image and folder in a folder of its own.
    const auto several = korvex({"text", "loose.h", "disks", "disks/sub/game.trd", "-o", "all"});
    EXPECT_EQ(
        several.err,
        native("korvex: disks: note: 2 files skipped: neither ALASM data nor a disk image\n"));
    EXPECT_EQ(several.status, 0);
    EXPECT_EQ(tree("all"), (std::vector<std::string>{
                               "disks/A.$h.asm", "disks/b.h.asm", "disks/sub/game.trd/GAME.H.asm",
                               "disks/sub/game.trd/game.H (2).asm", "game.trd/GAME.H.asm",
                               "game.trd/game.H (2).asm", "loose.h.asm"}));

    // list walks folders alike, and names every file it finds.
    const auto listed = korvex({"list", "disks/sub"});
    EXPECT_EQ(listed.out, native("disks/sub/game.trd: TR-DOS disk image, 2 files\n"
                                 "  NAME      TYPE  START  LENGTH  SECTORS  ALASM  LINES  PROBLEM\n"
                                 "  GAME      H         0      70        1  yes        3\n"
                                 "  game      H         0      72        1  yes        4\n"
                                 "disks/sub/readme: neither ALASM data nor a disk image\n"));
    EXPECT_EQ(listed.status, 0);

    // A folder written into within the walked one is not walked again.
    const auto inside = korvex({"text", "disks", "-o", "disks/text"});
    EXPECT_EQ(inside.status, 0);
    EXPECT_EQ(korvex({"text", "disks", "-o", "disks/text"}).status, 2);  // it holds them now
    EXPECT_EQ(tree("disks/text"), tree("out"));
}

TEST_F(KorvexRun, ListsWhatEachInputHolds) {
    write("disk.trd",
          trd_image({{.name = "GAME", .type = 'H', .data = alasm_header("GAME") + nops(2)},
                     {.name = "\x8F\xE0\xA8", .type = 'C', .data = "\xC9", .start = 0x6000}}));
    write("GAME.$h", hobeta_file(kSource, static_cast<unsigned>(kSource.size()), false));
    write("bad.h", alasm_header("BAD") + nops(2) + "\x02\xE7");
    write("notes.txt", "nothing");
    write("code.$c", write_hobeta_file({trdos_name("CODE", 'C'), 0x6000, "\xC9"}).bytes);
    write("old.trd", cut_disk());
    write("short.trd", short_disk());
    const std::vector<std::string> inputs = {"disk.trd", "GAME.$h", "bad.h",     "notes.txt",
                                             "code.$c",  "old.trd", "short.trd", "missing"};

    std::vector<std::string> args = {"list"};
    args.insert(args.end(), inputs.begin(), inputs.end());
    const auto table = korvex(args);
    std::string old_rows;
    for (char n = '1'; n <= '9'; ++n) {
        old_rows += "  F"s + n + "        H         0      68        1  " +
                    (n <= '6' ? "yes        2\n"
                              : "              its data is lost: the image ends before it\n");
    }
    EXPECT_EQ(table.out, native(R"(disk.trd: TR-DOS disk image, 2 files
  NAME      TYPE  START  LENGTH  SECTORS  ALASM  LINES  PROBLEM
  GAME      H         0      68        1  yes        2
  При       C     24576       1        1  no
GAME.$h: ALASM data behind a Hobeta header, named GAME: 90 bytes, 5 lines; the Hobeta checksum does not match
bad.h: ALASM data, named BAD: 70 bytes, 2 lines; 0xE7 is no mnemonic on line 3
notes.txt: neither ALASM data nor a disk image
code.$c: Hobeta file, not ALASM data, named CODE.C: start 24576, 1 byte, 1 sector
old.trd: TR-DOS disk image, 9 files; cut short; 3 of its 9 files lost
  NAME      TYPE  START  LENGTH  SECTORS  ALASM  LINES  PROBLEM
)" + old_rows + R"(short.trd: TR-DOS disk image, 1 file
  NAME      TYPE  START  LENGTH  SECTORS  ALASM  LINES  PROBLEM
  EVEN      H         0    1000        2  yes      224  the data ends after line 224, 488 bytes short of its length
)"));
    EXPECT_EQ(table.err, native("korvex: missing: error: No such file or directory\n"));
    EXPECT_EQ(table.status, 2);

    args.insert(args.begin() + 1, "--json");
    args.pop_back();
    const auto json = korvex(args);
    std::string old_files;
    for (char n = '1'; n <= '9'; ++n) {
        const std::string name = "F"s + n;
        old_files += n == '1' ? "\n    " : ",\n    ";
        old_files += R"({"name": ")" + name +
                     R"(", "type": "H", "start": 0, "length": 68, "sectors": 1, )";
        old_files += n <= '6' ? R"("alasm": true, "lines": 2, "output": ")" + name +
                                    R"(.H.asm", "problems": []})"
                              : R"("alasm": null, "problems": [{"key": "cut-short", )"
                                R"("text": "its data is lost: the image ends before it"}]})"s;
    }
    EXPECT_EQ(json.out, native(R"({"inputs": [
  {"input": "disk.trd", "kind": "trd", "problems": [], "files": [
    {"name": "GAME", "type": "H", "start": 0, "length": 68, "sectors": 1, "alasm": true, "lines": 2, "output": "GAME.H.asm", "problems": []},
    {"name": "При", "type": "C", "start": 24576, "length": 1, "sectors": 1, "alasm": false, "problems": []}]},
  {"input": "GAME.$h", "kind": "hobeta", "name": "GAME", "length": 90, "lines": 5, "output": "GAME.$h.asm", "problems": [{"key": "hobeta-checksum-mismatch", "text": "the Hobeta checksum does not match"}]},
  {"input": "bad.h", "kind": "alasm", "name": "BAD", "length": 70, "lines": 2, "output": "bad.h.asm", "problems": [{"key": "undefined-token", "text": "0xE7 is no mnemonic on line 3", "line": 3}]},
  {"input": "notes.txt", "kind": "none"},
  {"input": "code.$c", "kind": "hobeta-file", "name": "CODE", "type": "C", "start": 24576, "length": 1, "sectors": 1},
  {"input": "old.trd", "kind": "trd", "problems": [{"key": "cut-short", "text": "cut short; 3 of its 9 files lost"}], "files": [)" +
                               old_files + R"(]},
  {"input": "short.trd", "kind": "trd", "problems": [], "files": [
    {"name": "EVEN", "type": "H", "start": 0, "length": 1000, "sectors": 2, "alasm": true, "lines": 224, "output": "EVEN.H.asm", "problems": [{"key": "data-ends-short", "text": "the data ends after line 224, 488 bytes short of its length"}]}]}
]}
)"));
    EXPECT_EQ(json.err, "");
    EXPECT_EQ(json.status, 0);

    const Piped image{read("disk.trd"), ""};
    const auto piped = korvex({"list", "-"}, &image);
    EXPECT_TRUE(piped.out.starts_with(native("<stdin>: TR-DOS disk image, 2 files\n")))
        << piped.out;
}

// Sources for other assemblers: what ALASM builds, a report where that
// cannot be promised, and INCLUDEs naming the files written beside them.
TEST_F(KorvexRun, TranslatesForTheDialectAsked) {
    const std::string main = alasm_header("MAIN") + alasm_record("{INCLUDE}\"SUB\"") +
                             alasm_record("{RUN}#8000") + alasm_record("X=#4000+32*8") +
                             alasm_record("LOOP{JNZ}LOOP") + std::string(1, '\0');
    const std::string sub = alasm_header("SUB") + alasm_record("SUBR{EXD}") + std::string(1, '\0');
    const std::string other = alasm_header("OTHER") + alasm_record("{RUN}0") + std::string(1, '\0');
    write("disk.trd", trd_image({{.name = "MAIN", .type = 'H', .data = main},
                                 {.name = "SUB", .type = 'H', .data = sub},
                                 {.name = "OTHER", .type = 'H', .data = other}}));
    write("MAIN.H", main);
    // sjasmplus's heading ends the first line, so that each line keeps its number.
    const std::string sjasmplus =
        " ; Translated by korvex for sjasmplus: not ALASM's own dialect (korvex text without "
        "--dialect gives that)\n";
    const std::string pasmo =
        "; Translated by korvex for pasmo: not ALASM's own dialect (korvex text without "
        "--dialect gives that)\n";
    const std::string run_line =
        ";! cannot translate: RUN calls machine code while ALASM assembles\n"
        ";!\tRUN\t#8000\n";
    const std::string sjasmplus_run_line =
        ";! cannot translate: RUN calls machine code while ALASM assembles ;!\tRUN\t#8000\n";
    const struct {
        std::vector<std::string> args;
        std::string text;  // of MAIN.H's translation
        std::string err;
        int status;
    } cases[] = {
        {{"text", "--dialect", "sjasmplus", "disk.trd", "-o", "out"},
         "\tINCLUDE\t\"SUB.H.asm\"" + sjasmplus + sjasmplus_run_line + "X = (#4000+32)*8&#FFFF\nLOOP\tJR\tNZ,LOOP\n\n",
         "korvex: disk.trd:MAIN.H:2: cannot translate: RUN calls machine code while ALASM "
         "assembles\n"
         "korvex: disk.trd:OTHER.H:1: cannot translate: RUN calls machine code while ALASM "
         "assembles\n",
         1},
        {{"text", "--dialect=pasmo", "MAIN.H"},
         pasmo + "\tINCLUDE\t\"SUB.H.asm\"\n" + run_line + "X\tEQU\t(#4000+32)*8\nLOOP\tJR\tNZ,LOOP\n\n",
         "korvex: MAIN.H:2: cannot translate: RUN calls machine code while ALASM assembles\n",
         1},
        {{"text", "-q", "--dialect", "pasmo", "--charset", "CP866", "MAIN.H"},
         pasmo + "\tINCLUDE\t\"SUB.H.asm\"\n" + run_line + "X\tEQU\t(#4000+32)*8\nLOOP\tJR\tNZ,LOOP\n\n",
         "korvex: MAIN.H:2: cannot translate: RUN calls machine code while ALASM assembles\n",
         1},
        // Only MAIN.H and what it includes: OTHER is left out.
        {{"text", "--dialect", "sjasmplus", "--main", "MAIN", "disk.trd", "-o", "main"},
         "\tINCLUDE\t\"SUB.H.asm\"" + sjasmplus + sjasmplus_run_line + "X = (#4000+32)*8&#FFFF\nLOOP\tJR\tNZ,LOOP\n\n",
         "korvex: disk.trd:MAIN.H:2: cannot translate: RUN calls machine code while ALASM "
         "assembles\n",
         1},
        {{"text", "--dialect", "sjasmplus", "--main", "SUB.H", "disk.trd", "-o", "sub"}, "", "", 0},
        {{"text", "--dialect", "sjasmplus", "--main", "NONE", "disk.trd", "-o", "none"},
         "",
         "korvex: error: no input holds NONE.H, the source --main names\n",
         2},
        {{"text", "--dialect", "alasm", "MAIN.H"},
         "\tINCLUDE\t\"SUB\"\n\tRUN\t#8000\nX=#4000+32*8\nLOOP\tJNZ\tLOOP\n\n",
         "",
         0},
    };
    for (const auto& c : cases) {
        const auto result = korvex(c.args);
        const std::string folder = c.args.back();
        const bool written = folder == "out" || folder == "main";
        EXPECT_EQ(written ? read(folder + "/MAIN.H.asm") : result.out, native(c.text))
            << c.args[2];
        EXPECT_EQ(result.err, native(c.err)) << c.args[2];
        EXPECT_EQ(result.status, c.status) << c.args[2];
    }
    EXPECT_EQ(read("out/SUB.H.asm"), native("SUBR\tEX\tDE,HL" + sjasmplus + "\n"));
    EXPECT_TRUE(fs::exists(dir() / "out/OTHER.H.asm"));
    EXPECT_EQ(read("main/SUB.H.asm"), read("out/SUB.H.asm"));
    EXPECT_FALSE(fs::exists(dir() / "main/OTHER.H.asm"));
    EXPECT_EQ(read("sub/SUB.H.asm"), read("out/SUB.H.asm"));
    EXPECT_FALSE(fs::exists(dir() / "sub/MAIN.H.asm"));
    EXPECT_FALSE(fs::exists(dir() / "none"));
    // A translation does not go back as ALASM's text.
    write("MAIN.asm", read("out/MAIN.H.asm"));
    EXPECT_EQ(korvex({"pack", "MAIN.asm", "-o", "MAIN.$h"}).err,
              native("korvex: MAIN.asm:1: error: korvex translated this text for sjasmplus: only "
                     "ALASM's own text goes back, as korvex text writes it without --dialect\n"));
}

// ALASM text as people keep it: a folder of *.asm files, typed by hand or
// as korvex writes them, is one project as a disk is; what is no ALASM text
// is skipped, a translation with a note, and what pack refuses is said at
// its line and column.
TEST_F(KorvexRun, ReadsAFolderOfAlasmTextAsOneProject) {
    fs::create_directory(dir() / "texts");
    write("texts/MAIN.asm", "\tINCLUDE\t\"SUB\"\nX=#4000+32*8\nloop jnz loop\n");
    write("texts/sub.asm", "subr ex de,hl\n");
    write("texts/NOTES.txt", "notes\n");
    write("bad.asm", "x\tDB\t1\n\tJP\tno\x01way\n");
    const std::string heading =
        " ; Translated by korvex for sjasmplus: not ALASM's own dialect (korvex text without "
        "--dialect gives that)\n";
    const auto translated = korvex({"text", "--dialect", "sjasmplus", "texts", "-o", "out"});
    EXPECT_EQ(translated.err, native("korvex: texts: note: 1 file skipped: neither ALASM data nor a disk image\n"));
    EXPECT_EQ(translated.status, 0);
    EXPECT_EQ(read("out/MAIN.asm"),
              native("\tINCLUDE\t\"sub.asm\"" + heading + "X = (#4000+32)*8&#FFFF\nloop\tJR\tNZ,loop\n\n"));
    EXPECT_EQ(read("out/sub.asm"), native("subr\tEX\tDE,HL" + heading + "\n"));
    write("texts/old.asm", read("out/sub.asm"));
    const struct {
        std::vector<std::string> args;
        std::string out;
        std::string err;
        int status;
    } cases[] = {
        {{"text", "texts/sub.asm"}, "subr\tEX\tDE,HL\n\n", "", 0},
        {{"text", "--dialect", "pasmo", "texts", "-o", "pasmo"},
         "",
         "korvex: texts/old.asm: note: skipped: korvex's translation for sjasmplus, not ALASM text\n"
         "korvex: texts: note: 1 file skipped: neither ALASM data nor a disk image\n",
         0},
        {{"list", "texts/sub.asm"}, "texts/sub.asm: ALASM text, named sub.H: 74 bytes, 2 lines\n", "", 0},
        {{"text", "bad.asm"}, "", "korvex: bad.asm:2:7: error: the control byte 0x01 cannot be stored\n", 1},
        {{"text", "--alasm-text", "-"}, "\tRET\t\n\n", "", 0},
    };
    const Piped typed{"  ret\n", ""};
    for (const auto& c : cases) {
        const auto result = korvex(c.args, &typed);
        EXPECT_EQ(result.out, native(c.out)) << c.args.back();
        EXPECT_EQ(result.err, native(c.err)) << c.args.back();
        EXPECT_EQ(result.status, c.status) << c.args.back();
    }
    // show's lines end in LF everywhere.
    const auto shown = korvex({"show", "bad.asm"});
    EXPECT_EQ(shown.out, "==== bad.asm  length 0\n==== bad.asm:2:7: error: the control byte 0x01 cannot be stored\n");
    EXPECT_EQ(shown.err, native("korvex: bad.asm:2:7: error: the control byte 0x01 cannot be stored\n"));
    EXPECT_EQ(shown.status, 1);
}

// Text back to ALASM data: each container by the output's name, and the
// text it gives back is the text that went in.
TEST_F(KorvexRun, PacksTextIntoTheContainerItsOutputNames) {
    write("GAME.$h", hobeta_file(kSource));
    ASSERT_EQ(korvex({"text", "GAME.$h", "-o", "GAME.H.asm"}).status, 0);
    const std::string text = read("GAME.H.asm");
    const struct {
        std::string output;
        std::string listed;  // how korvex list starts on it
    } cases[] = {
        {"disk.trd", "disk.trd: TR-DOS disk image, 1 file\n"},
        {"DISK.SCL", "DISK.SCL: SCL archive, 1 file\n"},
        {"disk.fdi", "disk.fdi: FDI floppy image, 1 file\n"},
        {"one.$h", "one.$h: ALASM data behind a Hobeta header, named GAME"},
        {"TWO.$H", "TWO.$H: ALASM data behind a Hobeta header, named GAME"},
        {"game.bin", "game.bin: ALASM data, named GAME"},
    };
    for (const auto& c : cases) {
        const auto packed = korvex({"pack", "GAME.H.asm", "-o", c.output});
        EXPECT_EQ(packed.err, "") << c.output;
        EXPECT_EQ(packed.status, 0) << c.output;
        EXPECT_TRUE(korvex({"list", c.output}).out.starts_with(native(c.listed))) << c.output;
        korvex({"text", c.output, "-o", "back"});
        const std::string back = c.listed.find("image") != std::string::npos ||
                                         c.listed.find("archive") != std::string::npos
                                     ? "back/GAME.H.asm"
                                     : "back";
        EXPECT_EQ(read(back), text) << c.output;
        fs::remove_all(dir() / "back");
    }
    // Several texts on one disk, standard input named by --name; -v says
    // what went where.
    write("LOOP.H.asm", "LOOP\tDJNZ\tLOOP\n");
    const Piped typed{"start   ld a,1\n", ""};
    const auto two = korvex({"pack", "-v", "LOOP.H.asm", "-o", "two.trd"});
    EXPECT_EQ(two.err, native("korvex: LOOP.H.asm: packed 1 line into two.trd as LOOP.H\n"));
    const auto named = korvex({"pack", "-v", "--name", "START", "-", "-o", "start.$h"}, &typed);
    EXPECT_EQ(named.err, native("korvex: <stdin>: packed 1 line into start.$h as START.H; "
                                "it will read back in korve's layout\n"));
    korvex({"text", "start.$h", "-o", "start.asm"});
    EXPECT_EQ(read("start.asm"), native("start\tLD\tA,1\n\n"));
}

TEST_F(KorvexRun, StoresUtf8InACodePageAndSaysWhatItCannotStore) {
    write("hi.asm", "\tNOP\t; привет\n\n");
    ASSERT_EQ(korvex({"pack", "--charset", "CP866", "hi.asm", "-o", "hi.h"}).status, 0);
    EXPECT_EQ(korvex({"text", "hi.h"}).out, native("\tNOP\t; \xAF\xE0\xA8\xA2\xA5\xE2\n\n"));
    EXPECT_EQ(korvex({"text", "--charset", "CP866", "hi.h"}).out, native("\tNOP\t; привет\n\n"));
    // Text such as ALASM's help, bytes it would read as keywords outside
    // strings and comments: raw text, one warning for the file.
    const std::string help = " Справка\n\tDB\t1,\"x\" два\n\tNOP\t; ok\n  LD A,B  загрузка\n\n";
    write("help.asm", help);
    const auto raw = korvex({"pack", "--charset", "CP866", "help.asm", "-o", "help.h"});
    EXPECT_EQ(raw.err, native("korvex: help.asm:1: warning: 3 lines, this the first, hold a byte ALASM would "
                              "read as a keyword outside strings and comments: they are stored as raw text "
                              "after the raw-rest marker 0x10, which reads back as it stands\n"));
    EXPECT_EQ(raw.status, 0);
    EXPECT_EQ(korvex({"text", "--charset", "CP866", "help.h"}).out, native(help));

    write("ok.asm", "\tNOP\t\n");
    const struct {
        std::string name;
        std::string text;
        std::vector<std::string> options;
        std::string err;
    } cases[] = {
        {"euro.asm",
         "\tNOP\n\tNOP\t; 5 €\n",
         {"--charset", "CP866"},
         "korvex: euro.asm:2:10: error: '€' (U+20AC) has no byte in CP866\n"},
        {"bad.asm",
         "\tNOP\t; \xFF\n",
         {"--charset", "KOI8-R"},
         "korvex: bad.asm:1:8: error: the bytes here are no UTF-8\n"},
        {"frob.asm",
         "\tFROB\tA\n",
         {},
         "korvex: frob.asm:1:2: error: 'FROB' between the tabs is no mnemonic or directive of "
         "ALASM\n"},
        // A control byte in a message is shown, not sent to the terminal.
        {"cr.asm",
         "\tNOP\r\tNOP\r",
         {},
         "korvex: cr.asm:1:2: error: 'NOP\\r' between the tabs is no mnemonic or directive of "
         "ALASM\n"},
        {"LONGNAME1.asm",
         "\tNOP\t\n",
         {},
         "korvex: LONGNAME1.asm: error: the name is longer than the 8 bytes of a TR-DOS name "
         "(from LONGNAME1.asm); give one with --name\n"},
        {"ИМЯ€.asm",
         "\tNOP\t\n",
         {},
         "korvex: ИМЯ€.asm: error: the name ИМЯ€.asm holds a character TR-DOS names cannot (they "
         "are CP866)\n"},
    };
    for (const auto& c : cases) {
        write(c.name, c.text);
        // Nothing is written, alone or beside a text that packs: a disk
        // holds all its texts or is not written.
        for (const std::string output : {"one.h", "both.trd"}) {
            std::vector<std::string> args = {"pack", c.name, "-o", output};
            std::string err = c.err;
            if (output == "both.trd") {
                args.insert(args.begin() + 1, "ok.asm");
                err += "korvex: both.trd: error: not written: 1 of its 2 texts cannot go in\n";
            }
            args.insert(args.end(), c.options.begin(), c.options.end());
            const auto result = korvex(args);
            EXPECT_EQ(result.err, native(err)) << c.name;
            EXPECT_EQ(result.status, 1) << c.name;
            EXPECT_FALSE(exists(output)) << c.name;
        }
    }
}

TEST_F(KorvexRun, RefusesToPackWithoutWhatItNeeds) {
    write("A.H.asm", "\tNOP\t\n");
    write("B.H.asm", "\tRLCA\t\n");
    fs::create_directories(dir() / "sub");
    write("sub/A.H.asm", "\tNOP\t\n");
    const std::string usage =
        "usage: korvex pack [OPTION...] -o OUT TEXT...\n"
        "Try 'korvex help pack' for more.\n";
    const struct {
        std::vector<std::string> args;
        std::string err;
        int status;
    } cases[] = {
        {{"pack", "A.H.asm"},
         "korvex: error: pack writes a file: name it with -o OUT\n" + usage,
         2},
        {{"pack", "A.H.asm", "-o", "-"},
         "korvex: error: pack writes a file: name it with -o OUT\n" + usage,
         2},
        {{"pack", "A.H.asm", "B.H.asm", "-o", "two.$h"},
         "korvex: error: a Hobeta file or bare data holds one TEXT; several need a .trd or an "
         ".scl\n" +
             usage,
         2},
        {{"pack", "--name", "X", "A.H.asm", "B.H.asm", "-o", "two.trd"},
         "korvex: error: --name names one TEXT\n" + usage,
         2},
        {{"pack", "-", "-o", "in.h"},
         "korvex: error: standard input has no name: give it one with --name\n" + usage,
         2},
        {{"pack", "sub", "-o", "in.h"}, "korvex: sub: error: is a folder: name its texts\n", 2},
        {{"pack", "--name", " ", "A.H.asm", "-o", "blank.$h"},
         "korvex: A.H.asm: error: the name is empty, or spaces alone, which TR-DOS pads names with "
         "(from  )\n",
         1},
        {{"pack", "missing.asm", "-o", "in.h"},
         "korvex: missing.asm: error: No such file or directory\n",
         2},
        // An input is never written over, --force or not.
        {{"pack", "--force", "A.H.asm", "-o", "A.H.asm"},
         "korvex: error: A.H.asm is an input: korvex never writes over its inputs\n",
         2},
        // The same name and type twice on one disk: a disk holds all its
        // texts, or is not written.
        {{"pack", "A.H.asm", "sub/A.H.asm", "-o", "two.scl"},
         "korvex: sub/A.H.asm: error: a file before it has the same name and type\n"
         "korvex: two.scl: error: not written: 1 of its 2 texts cannot go in\n",
         1},
    };
    for (const auto& c : cases) {
        const auto result = korvex(c.args);
        EXPECT_EQ(result.err, native(c.err)) << c.args.back();
        EXPECT_EQ(result.status, c.status) << c.args.back();
    }
    EXPECT_EQ(read("A.H.asm"), "\tNOP\t\n");
    EXPECT_EQ(tree(), (std::vector<std::string>{"A.H.asm", "B.H.asm", "sub/A.H.asm"}));
    const auto forced = korvex({"pack", "--force", "B.H.asm", "-o", "A.H.asm"});
    EXPECT_EQ(forced.status, 0);
    EXPECT_EQ(korvex({"text", "A.H.asm"}).out, native("\tRLCA\t\n\n"));
}


// Every real disk image: a text file per ALASM entry, each korve's text of
// the real file with the same bytes (in its Hobeta form), and nothing for
// the code file.
TEST_F(KorvexRun, ConvertsEveryRealImageAsKorveConvertsItsFiles) {
    const auto rows = manifest(corpus() / "images" / "MANIFEST.tsv");
    if (rows.empty()) {
        GTEST_SKIP() << "no images at " << corpus() / "images";
    }
    std::map<std::string, std::vector<std::vector<std::string>>> images;
    for (const auto& row : rows) {
        ASSERT_EQ(row.size(), 5U);
        images[row[0]].push_back(row);
    }
    std::size_t compared = 0;
    for (const auto& [image, entries] : images) {
        clear();
        const auto result = korvex({"text", (corpus() / "images" / image).string(), "-o", "out"});
        EXPECT_EQ(result.status, 0) << image;
        EXPECT_EQ(result.out + result.err, "") << image;
        std::vector<std::string> wanted;
        for (const auto& entry : entries) {
            if (entry[2] != "ALASM") {
                continue;
            }
            wanted.push_back(entry[1] + ".asm");
            const fs::path real = corpus() / "real" / fs::path(entry[4]).replace_extension(".$H");
            ASSERT_EQ(korve({real.string(), "korve.asm"}).status, 1) << real;
            EXPECT_EQ(read("out/" + entry[1] + ".asm"), read("korve.asm"))
                << image << ":" << entry[1];
            ++compared;
        }
        std::sort(wanted.begin(), wanted.end());
        EXPECT_EQ(tree("out"), wanted) << image;
        // Packed again, on a disk and in an archive, each gives back its text.
        for (const std::string packed : {"again.trd", "again.scl"}) {
            std::vector<std::string> args = {"pack", "-o", packed};
            for (const std::string& file : wanted) {
                args.push_back("out/" + file);
            }
            const auto pack = korvex(args);
            EXPECT_EQ(pack.status, 0) << image << " " << pack.err;
            ASSERT_EQ(korvex({"text", packed, "-o", "back"}).status, 0) << image;
            EXPECT_EQ(tree("back"), wanted) << image;
            for (const std::string& file : wanted) {
                EXPECT_EQ(read("back/" + file), read("out/" + file)) << packed << ":" << file;
            }
            fs::remove_all(dir() / "back");
        }
    }
    EXPECT_GT(compared, 0U);
}

// Every real file: korvex's text on standard output is korve's.
TEST_F(KorvexRun, ConvertsEveryRealFileAsKorve) {
    const auto rows = manifest(corpus() / "real" / "MANIFEST.tsv");
    if (rows.empty()) {
        GTEST_SKIP() << "no real files at " << corpus() / "real";
    }
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto& row = rows[i];
        if (!in_sample(i, row[0].find("catalog-length") != std::string::npos)) {
            continue;
        }
        const fs::path real = corpus() / "real" / row[0];
        ASSERT_EQ(korve({real.string(), "korve.asm"}).status, 1) << real;
        const auto result = korvex({"text", real.string()});
        EXPECT_EQ(result.out, read("korve.asm")) << real;
        // One real file stops inside a record, where its catalogue said it
        // ends: not read whole.
        if (row[0].find("catalog-length") == std::string::npos) {
            EXPECT_EQ(result.status, 0) << real;
            EXPECT_EQ(result.err, "") << real;
        } else {
            EXPECT_EQ(result.status, 1) << real;
            EXPECT_NE(result.err.find(": error: the data ends inside line "), std::string::npos)
                << real;
        }
    }
}

}  // namespace
}  // namespace korve
