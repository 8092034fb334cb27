// Whole runs of the built korvex's put and get, in a temporary folder: a
// disk given back unchanged is the same bytes, an edited line changes its
// record and what its length moves, and get's files are what the catalogue
// holds.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

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
using testing::corpus;
using testing::DiskFile;
using testing::file_bytes;
using testing::hobeta_file;
using testing::KorvexRun;
using testing::kSource;
using testing::kStored;
using testing::nops;
using testing::repeated;
using testing::ProgramRun;
using testing::scl_archive;
using testing::trd_image;

// Text given back unchanged leaves a disk, an archive, a Hobeta file and
// bare data byte for byte as they were, and so does text an editor only
// tidied; an edited comment comes back as edited, and a new text goes in
// beside the files that were there.
TEST_F(KorvexRun, PutsTextBackIntoTheFileItCameFrom) {
    for (const std::string example : {"greet.trd", "greet.scl", "greet.$h", "greet.h"}) {
        clear();
        const std::string original = file_bytes(fs::path(KORVE_EXAMPLES) / example);
        write(example, original);
        fs::permissions(dir() / example, fs::perms::owner_read | fs::perms::owner_write);
        ASSERT_EQ(korvex({"text", example, "-o", "d/"}).status, 0) << example;
        const std::string text = "d/" + tree("d").front();
        const auto copied = korvex({"put", example, text, "-o", "copy"});
        EXPECT_EQ(copied.out + copied.err, "") << example;
        EXPECT_EQ(copied.status, 0) << example;
        EXPECT_EQ(read("copy"), original) << example;
        const auto same = korvex({"put", "-v", example, text});
        const std::string file = example.ends_with("h") ? example : "GREET.H";
        EXPECT_EQ(same.err, native("korvex: " + example + ": nothing changed: it is left as it was\nkorvex: " + text +
                                   ": " + file + " is unchanged\n"))
            << example;

        std::string edited = read(text);
        edited.replace(edited.find("a greeting"), 10, "a welcome, edited");
        write(text, edited);
        const auto put = korvex({"put", example, text});
        EXPECT_EQ(put.out + put.err, "") << example;
        EXPECT_EQ(put.status, 0) << example;
        ASSERT_EQ(korvex({"text", example, "-o", "back/"}).status, 0) << example;
        EXPECT_EQ(read("back/" + tree("d").front()), edited) << example;
        if (!windows_build()) {  // Windows keeps no POSIX permissions to carry over
            EXPECT_EQ(fs::status(dir() / example).permissions(),
                      fs::perms::owner_read | fs::perms::owner_write)
                << example;
        }
        if (example.ends_with("h")) {
            continue;
        }
        write("NEW.H.asm", "\tRET\t\n\n");
        EXPECT_EQ(korvex({"put", example, "NEW.H.asm"}).status, 0) << example;
        ASSERT_EQ(korvex({"get", example, "GREET.C", "-o", "new"}).status, 0) << example;
        ASSERT_EQ(korvex({"get", "copy", "GREET.C", "-o", "old"}).status, 0) << example;
        EXPECT_EQ(read("new/GREET.C"), read("old/GREET.C")) << example;
        fs::remove_all(dir() / "back");
        ASSERT_EQ(korvex({"text", example, "-o", "back/"}).status, 0) << example;
        EXPECT_EQ(tree("back"), (std::vector<std::string>{"GREET.H.asm", "NEW.H.asm"})) << example;
        EXPECT_EQ(read("back/NEW.H.asm"), native("\tRET\t\n\n")) << example;
        EXPECT_EQ(read("back/GREET.H.asm"), edited) << example;
    }

    // Trailing blank space trimmed, tabs expanded at 4: every record kept,
    // whether a line is edited too or not. Edited, the disk is the one the
    // untidied edit gives.
    clear();
    write("disk.trd", trd_image({{.name = "GAME", .type = 'H', .data = kSource}}));
    write("GAME.H.asm", "LOOP    \tLD\t   A,(HL)  \n\tRRCA\t\n     \tNOP\t  \n; \xE0\xE1\xE2\n\n");
    ASSERT_EQ(korvex({"put", "disk.trd", "GAME.H.asm", "-o", "edited.trd"}).status, 0);
    const struct {
        std::string text;
        std::string disk;
        std::string err;
    } tidied[] = {
        {"LOOP    \tLD\t   A,(HL)\n\tRLCA\n     \tNOP\n; \xE0\xE1\xE2\n\n", "disk.trd",
         "GAME.H is unchanged; records kept for 3 lines tidied only in blank space"},
        {"LOOP        LD     A,(HL)  \n    RLCA    \n        NOP   \n; \xE0\xE1\xE2\n\n", "disk.trd",
         "GAME.H is unchanged; records kept for 3 lines tidied only in blank space"},
        {"LOOP        LD     A,(HL)\n    RRCA\n        NOP\n; \xE0\xE1\xE2\n\n", "edited.trd",
         "put 5 lines into GAME.H on tidied.trd: 4 kept, 1 stored anew, 1 removed; 1 of them will read back in "
         "korve's layout; records kept for 2 lines tidied only in blank space"},
    };
    for (const auto& c : tidied) {
        write("GAME.H.asm", c.text);
        const auto put = korvex({"put", "-v", "--force", "disk.trd", "GAME.H.asm", "-o", "tidied.trd"});
        EXPECT_EQ(put.err, native("korvex: GAME.H.asm: " + c.err + "\n")) << c.text;
        EXPECT_EQ(put.status, 0) << c.text;
        EXPECT_EQ(read("tidied.trd"), read(c.disk)) << c.text;
    }
}

// A file goes onto a disk as it is, as TR-DOS would save it: a build by
// --name NAME.T and --start, a Hobeta file as its header names it (the
// sectors past its length too: a BASIC program's autostart line). A file
// replaced keeps its start without --start; pack stores them alike.
TEST_F(KorvexRun, StoresAFileAsItIs) {
    write("disk.trd", trd_image({{.name = "GAME", .type = 'H', .data = kSource},
                                 {.name = "BOOT", .type = 'B', .data = "\0\x0A\x02\0\xEF\x0D"s,
                                  .slack = "\x80\xAA\x0A\0"s, .start = 6}}));
    ASSERT_EQ(korvex({"get", "disk.trd", "BOOT.B", "--hobeta", "-o", "got/"}).status, 0);
    write("game.bin", repeated("\xC9", 300));
    write("bigger.bin", repeated("\xAF", 600));
    const struct {
        std::vector<std::string> args;
        std::string err;
    } runs[] = {
        {{"put", "-v", "disk.trd", "game.bin", "--name", "CODE.C", "--start", "#8000"},
         "korvex: game.bin: added CODE.C to disk.trd: 300 bytes\n"},
        {{"put", "-v", "disk.trd", "bigger.bin", "--name", "CODE.C"},
         "korvex: bigger.bin: note: CODE.C outgrew its 2 sectors: moved to track 1, sector 4, its old entry marked "
         "deleted\nkorvex: bigger.bin: stored 600 bytes into CODE.C on disk.trd\n"},
        {{"put", "-v", "disk.trd", "got/BOOT.$B"},
         "korvex: disk.trd: nothing changed: it is left as it was\nkorvex: got/BOOT.$B: BOOT.B is unchanged\n"},
        {{"pack", "-v", "-o", "new.scl", "got/BOOT.$B"}, "korvex: got/BOOT.$B: stored 6 bytes into new.scl as BOOT.B\n"},
        {{"get", "new.scl", "BOOT.B", "--hobeta", "-o", "again/"}, ""},
    };
    for (const auto& run : runs) {
        const auto result = korvex(run.args);
        EXPECT_EQ(result.err, native(run.err)) << run.args[3];
        EXPECT_EQ(result.status, 0) << run.args[3];
    }
    EXPECT_NE(korvex({"list", "disk.trd"}).out.find("  CODE      C     32768     600        3  no"), std::string::npos);
    EXPECT_EQ(read("again/BOOT.$B"), read("got/BOOT.$B"));
    EXPECT_EQ(read("got/BOOT.$B").substr(17 + 6, 4), "\x80\xAA\x0A\0"s);
}

// Nothing is written where a text cannot go in, and the reason is said.
TEST_F(KorvexRun, RefusesToPutWhatItCannotStoreAndWritesNothing) {
    const std::string bad = alasm_header("BAD") + nops(1) + "\x02\xE7\x00"s;
    write("disk.trd", trd_image({{.name = "GAME", .type = 'H', .data = kSource},
                                 {.name = "BAD", .type = 'H', .data = bad},
                                 {.name = "CODE", .type = 'C', .data = "\xC9"}}));
    std::string full = read("disk.trd");
    full[kFreeSectorsOffset] = full[kFreeSectorsOffset + 1] = '\0';
    write("full.trd", full);
    std::string short_length = read("disk.trd");
    short_length[kCatalogueLengthOffset + 1] = '\x02';  // 512 bytes, where GAME.H has 1 sector
    write("short.trd", short_length);
    write("GAME.$h", hobeta_file(kSource));
    fs::create_symlink("disk.trd", dir() / "link.trd");
    fs::create_directories(dir() / "sub");
    for (const std::string text :
         {"GAME.H.asm", "sub/GAME.H.asm", "GAME.asm", "GAME .H.asm", "BAD.H.asm", "CODE.C.asm"}) {
        write(text, kStored);
    }
    write("t.asm", "; Translated by korvex for sjasmplus: GAME.H\n");
    write("t2.asm", "\tNOP ; Translated by korvex for sjasmplus: not ALASM's own dialect (korvex text "
                    "without --dialect gives that)\n");  // the heading ending line 1
    write("euro.asm", "; 5 €\n");
    write("huge.asm", testing::repeated(";\n", 4'000'000));  // no more read than could fit
    write("big.bin", std::string(65281, '\xC9'));
    write("cut.$C", hobeta_file(kSource).substr(0, 100));
    write("linked.trd", read("disk.trd"));
    fs::create_hard_link(dir() / "linked.trd", dir() / "alias.trd");
    const std::string usage = "usage: korvex put [OPTION...] DISK TEXT...\nTry 'korvex help put' for more.\n";
    const struct {
        std::vector<std::string> args;
        std::string err;
        int status;
    } cases[] = {
        {{"put", "disk.trd"}, "korvex: error: put takes a DISK and at least one TEXT\n" + usage, 2},
        {{"put", "-", "GAME.H.asm"}, "korvex: error: put changes a DISK file: standard input cannot be one\n" + usage, 2},
        {{"put", "GAME.$h", "GAME.H.asm", "CODE.C.asm"}, "korvex: GAME.$h: error: holds one source: give it one TEXT\n", 2},
        {{"put", "disk.trd", "t.asm"},
         "korvex: t.asm:1: error: korvex translated this text for sjasmplus: only ALASM's own text goes back, as "
         "korvex text writes it without --dialect\n",
         1},
        {{"put", "disk.trd", "t2.asm"},
         "korvex: t2.asm:1: error: korvex translated this text for sjasmplus: only ALASM's own text goes back, as "
         "korvex text writes it without --dialect\n",
         1},
        {{"put", "disk.trd", "BAD.H.asm"},
         "korvex: disk.trd:BAD.H:2: error: 0xE7 is no mnemonic: put replaces only a source it reads whole\n", 1},
        {{"put", "short.trd", "GAME.H.asm"},
         "korvex: short.trd:GAME.H: error: the data ends after line 171, 346 bytes short of its length: put "
         "replaces only a source it reads whole\n",
         1},
        {{"put", "disk.trd", "CODE.C.asm"},
         "korvex: CODE.C.asm: error: CODE.C on disk.trd holds no ALASM data: put replaces only ALASM sources\n", 1},
        {{"put", "disk.trd", "GAME.asm"},
         "korvex: GAME.asm: error: disk.trd holds a file GAME.H that this text is not named for: give --name GAME.H "
         "to replace it\n",
         1},
        {{"put", "disk.trd", "GAME.H.asm", "sub/GAME.H.asm"},
         "korvex: sub/GAME.H.asm: error: a TEXT before it puts the same file, GAME.H\n"
         "korvex: disk.trd: error: not written: 1 of its 2 texts cannot go in\n",
         1},
        {{"put", "disk.trd", "GAME .H.asm"},
         "korvex: GAME .H.asm: error: disk.trd holds a file GAME.H that this text is not named for: give --name "
         "GAME.H to replace it\n",
         1},
        {{"put", "full.trd", "--name", "NEW", "GAME.asm"},
         "korvex: GAME.asm: error: cannot put NEW.H on full.trd: the disk is full: the file takes 1 sector, and 0 "
         "are free\n",
         1},
        {{"put", "disk.trd", "big.bin", "--name", "NEW.C"},
         "korvex: big.bin: error: is larger than the 65,280 bytes (255 sectors) a TR-DOS file holds\n", 1},
        {{"put", "disk.trd", "cut.$C"},
         "korvex: cut.$C: error: is cut short: its Hobeta header gives 90 bytes of data, it holds 83\n", 1},
        {{"put", "disk.trd", "CODE.C.asm", "--name", "NEW.C"},
         "korvex: CODE.C.asm: error: NEW.C is a new code file: give the address it loads at with --start ADDR\n", 2},
        {{"put", "disk.trd", "GAME.asm", "--start", "0"},
         "korvex: GAME.asm: error: is a text, stored as a source, which has no start: --start gives a file's\n", 2},
        {{"put", "full.trd", "--name", "NEW.C", "--start", "0", "GAME.asm"},
         "korvex: GAME.asm: error: cannot put NEW.C on full.trd: the disk is full: the file takes 1 sector, and 0 "
         "are free\n",
         1},
        {{"put", "--charset", "CP866", "disk.trd", "euro.asm"},
         "korvex: euro.asm:1:5: error: '€' (U+20AC) has no byte in CP866\n", 1},
        {{"put", "disk.trd", "huge.asm"},
         "korvex: huge.asm:65217: error: the source needs more than 65280 bytes, the 255 sectors of the largest "
         "TR-DOS file\n",
         1},
        {{"put", "linked.trd", "GAME.H.asm"},
         "korvex: error: linked.trd has other names (hard links), which would keep its old bytes: --force changes "
         "it under this name alone\n",
         2},
        {{"put", "link.trd", "GAME.H.asm"},
         "korvex: error: link.trd is a symbolic link: korvex writes nothing through a link\n", 2},
        {{"put", "disk.trd", "GAME.H.asm", "-o", "GAME.$h"}, "korvex: error: GAME.$h exists; --force writes over it\n",
         2},
        {{"put", "--force", "disk.trd", "GAME.H.asm", "-o", "GAME.H.asm"},
         "korvex: error: GAME.H.asm is an input: korvex never writes over its inputs\n", 2},
        {{"put", "--force", "disk.trd", "GAME.H.asm", "-o", "disk.trd"},
         "korvex: error: disk.trd is an input: korvex never writes over its inputs\n", 2},
    };
    std::map<std::string, std::string> before;
    for (const std::string& file : tree()) {
        before[file] = read(file);
    }
    for (const auto& c : cases) {
        std::vector<std::string> args = c.args;
        if (windows_build() && (args[1] == "link.trd" || args[1] == "linked.trd")) {
            continue;  // under Wine a Windows build sees a link as the file it names
        }
        if (args.size() > 2 && args[2] == "GAME.H.asm") {
            write("GAME.H.asm", kStored + "\tNOP\t\n");  // changed, so that a write is due
        }
        const auto result = korvex(args);
        EXPECT_EQ(result.err, native(c.err)) << args[1] << " " << args.back();
        EXPECT_EQ(result.status, c.status) << args[1] << " " << args.back();
        if (args.back() == "huge.asm" && !windows_build() && !testing::kAddressSanitizer) {
            EXPECT_LT(result.peak_memory_kib, 64 * 1024);  // 8 MB read whole took a gigabyte
        }
        write("GAME.H.asm", kStored);
    }
    std::map<std::string, std::string> after;
    for (const std::string& file : tree()) {
        after[file] = read(file);
    }
    EXPECT_EQ(after, before);
}

// A disk changed in place keeps its mode and owner, and is written only
// while it holds what put read: another program's change made meanwhile
// stays (the text comes through a FIFO, which put opens once it has read
// the disk). With --force, a disk's other names keep its old bytes.
TEST_F(KorvexRun, ChangesADiskInPlaceOnlyWhileItHoldsWhatWasRead) {
    if (windows_build()) {
        GTEST_SKIP() << "FIFOs, owners and modes are made here with POSIX calls";
    }
    const std::string old = trd_image({{.name = "GAME", .type = 'H', .data = kSource}});
    const std::string theirs = trd_image({{.name = "GAME", .type = 'H', .data = kSource + nops(1)}});
    write("disk.trd", old);
    const Piped edited{kStored + "\tNOP\t\n", "GAME.H.asm", [this, &theirs] { write("disk.trd", theirs); }};
    const auto raced = korvex({"put", "disk.trd", "GAME.H.asm"}, &edited);
    EXPECT_EQ(raced.err, "korvex: error: disk.trd changed after korvex read it (another program wrote it "
                         "meanwhile): nothing is written, so that change is not lost; run again\n");
    EXPECT_EQ(raced.status, 2);
    EXPECT_EQ(read("disk.trd"), theirs);
    fs::remove(dir() / "GAME.H.asm");
    EXPECT_EQ(files(), std::vector<std::string>{"disk.trd"});

    write("disk.trd", old);
    write("GAME.H.asm", kStored + "\tNOP\t\n");
    fs::create_hard_link(dir() / "disk.trd", dir() / "alias.trd");
    fs::permissions(dir() / "disk.trd", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    const bool chowned = running_as_root() && chown((dir() / "disk.trd").c_str(), 4321, 4322) == 0;
    const auto forced = korvex({"put", "--force", "disk.trd", "GAME.H.asm"});
    EXPECT_EQ(forced.err, "");
    EXPECT_EQ(forced.status, 0);
    EXPECT_EQ(read("alias.trd"), old);
    EXPECT_EQ(korvex({"text", "disk.trd", "-o", "back/"}).status, 0);
    EXPECT_EQ(read("back/GAME.H.asm"), kStored + "\tNOP\t\n\n");
    struct stat kept{};
    ASSERT_EQ(stat((dir() / "disk.trd").c_str(), &kept), 0);
    EXPECT_EQ(kept.st_mode & 07777U, 0640U);
    EXPECT_EQ(std::make_pair(kept.st_uid, kept.st_gid),
              chowned ? std::make_pair(uid_t{4321}, gid_t{4322}) : std::make_pair(getuid(), getgid()));
}

// Each text goes into its own file and no other, whatever moves: a file
// that outgrows its sectors before another text's, one named with the
// spaces that pad it, one whose sectors another entry shares.
TEST_F(KorvexRun, PutsEachTextIntoItsOwnFileAndNoOther) {
    const std::string code(300, '\xC9');
    const std::vector<DiskFile> files = {{.name = "GAME", .type = 'H', .data = kSource},
                                         {.name = "OLD", .type = 'H', .data = kSource, .deleted = true},
                                         {.name = "SECOND", .type = 'H', .data = kSource},
                                         {.name = "CODE", .type = 'C', .data = code}};
    std::string shared = trd_image(files);
    shared[3 * 16 + 14] = 0;  // CODE's entry starts at GAME's sector, 16
    const std::string body = kStored.substr(0, kStored.size() - 1);  // less the final 0x00's empty line
    const std::string grown = body + repeated("; a comment that makes GAME outgrow its sector\n", 8) + "\n";
    const std::string edited = body + "\tRET\t\n\n";
    const struct {
        std::string disk;
        std::vector<std::string> args;  // after "put disk.trd"; the last is the one text, or the second
        std::string game;               // GAME's text put, and then read back
        std::string second;             // SECOND's
        std::string note;
    } cases[] = {
        {trd_image(files),
         {"GAME.H.asm", "SECOND.H.asm"},
         grown,
         edited,
         "korvex: GAME.H.asm: note: GAME.H outgrew its 1 sector: moved to track 1, sector 5, its old entry "
         "marked deleted\n"},
        {trd_image(files), {"--name", "GAME ", "GAME.asm"}, edited, kStored, ""},
        {shared,
         {"GAME.H.asm"},
         edited,
         kStored,
         "korvex: GAME.H.asm: note: GAME.H shares its sectors with another file, or with track 0: moved to track "
         "1, sector 5, its old entry marked deleted\n"},
    };
    for (const auto& c : cases) {
        clear();
        write("disk.trd", c.disk);
        ASSERT_EQ(korvex({"get", "disk.trd", "CODE.C", "-o", "before"}).status, 0) << c.args.back();
        write(c.args.back() == "GAME.asm" ? "GAME.asm" : "GAME.H.asm", c.game);
        write("SECOND.H.asm", c.second);
        std::vector<std::string> args = {"put", "disk.trd"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const auto put = korvex(args);
        EXPECT_EQ(put.err, native(c.note)) << c.args.back();
        EXPECT_EQ(put.status, 0) << c.args.back();
        korvex({"text", "disk.trd", "-o", "back/"});  // CODE on GAME's sector reads as cut ALASM data
        std::vector<std::string> sources = tree("back");
        std::erase(sources, "CODE.C.asm");
        EXPECT_EQ(sources, (std::vector<std::string>{"GAME.H.asm", "SECOND.H.asm"})) << c.args.back();
        EXPECT_EQ(read("back/GAME.H.asm"), native(c.game)) << c.args.back();
        EXPECT_EQ(read("back/SECOND.H.asm"), native(c.second)) << c.args.back();
        ASSERT_EQ(korvex({"get", "disk.trd", "CODE.C", "-o", "after"}).status, 0) << c.args.back();
        EXPECT_EQ(read("after/CODE.C"), read("before/CODE.C")) << c.args.back();
    }
}

// A file's place on a disk or in an archive, read as TR-DOS lays it out.
struct CatalogueFile {
    std::string entry;    // its first thirteen catalogue bytes: name, type, start, length
    std::string sectors;  // its whole sectors
};

std::vector<CatalogueFile> catalogue_files(const std::string& image) {
    std::vector<CatalogueFile> files;
    const auto byte = [&image](std::size_t at) { return static_cast<unsigned char>(image[at]); };
    if (image.starts_with("SINCLAIR")) {
        std::size_t data = 9 + 14 * std::size_t{byte(8)};
        for (std::size_t i = 0; i < byte(8); ++i) {
            const std::size_t size = 256 * std::size_t{byte(9 + 14 * i + 13)};
            files.push_back({image.substr(9 + 14 * i, 13), image.substr(data, size)});
            data += size;
        }
        return files;
    }
    for (std::size_t i = 0; i < 128 && byte(16 * i) != 0; ++i) {
        const std::size_t first = 16 * std::size_t{byte(16 * i + 15)} + byte(16 * i + 14);
        files.push_back({image.substr(16 * i, 13), image.substr(256 * first, 256 * std::size_t{byte(16 * i + 13)})});
    }
    return files;
}

// "NAME.T", as korvex names a file of ASCII letters.
std::string file_name_of(const CatalogueFile& file) {
    std::string name = file.entry.substr(0, 8);
    name.erase(name.find_last_not_of(' ') + 1);
    return name + "." + file.entry[8];
}

// Every file of a disk or an archive, by get, is what its catalogue gives;
// a code file's Hobeta file is its entry, its sector count, their checksum
// and its sectors.
TEST_F(KorvexRun, GetsFilesOffADiskAsItsCatalogueHoldsThem) {
    std::vector<fs::path> disks = {fs::path(KORVE_EXAMPLES) / "greet.trd", fs::path(KORVE_EXAMPLES) / "greet.scl"};
    for (const std::string name : {"pgmflash.trd", "pgmflash.scl", "znmt.trd", "znmt.scl", "depack.trd", "depack.scl"}) {
        if (fs::exists(corpus() / "images" / name)) {
            disks.push_back(corpus() / "images" / name);
        }
    }
    for (const fs::path& disk : disks) {
        clear();
        ASSERT_EQ(korvex({"get", disk.string(), "-o", "all"}).status, 0) << disk;
        ASSERT_EQ(korvex({"get", "--hobeta", disk.string(), "-o", "hobeta"}).status, 0) << disk;
        std::size_t got = 0;
        for (const CatalogueFile& file : catalogue_files(file_bytes(disk))) {
            if (file.entry[0] == '\x01') {
                continue;
            }
            const std::string name = file_name_of(file);
            const std::size_t length = static_cast<unsigned char>(file.entry[11]) +
                                       256 * std::size_t{static_cast<unsigned char>(file.entry[12])};
            EXPECT_EQ(read("all/" + name), file.sectors.substr(0, length)) << disk << name;
            std::string hobeta = file.entry + '\0' + static_cast<char>(file.sectors.size() / 256);
            unsigned sum = 0;
            for (std::size_t i = 0; i < 15; ++i) {
                sum += 257 * static_cast<unsigned char>(hobeta[i]) + static_cast<unsigned>(i);
            }
            hobeta += std::string{static_cast<char>(sum & 0xFF), static_cast<char>((sum >> 8) & 0xFF)};
            EXPECT_EQ(read("hobeta/" + name.substr(0, name.size() - 1) + "$" + name.back()), hobeta + file.sectors)
                << disk << name;
            ++got;
        }
        EXPECT_EQ(tree("all").size(), got) << disk;
    }
    // Files named; one that is not there, and one that is there already.
    const std::string greet = (fs::path(KORVE_EXAMPLES) / "greet.trd").string();
    const auto named = korvex({"get", "-v", greet, "GREET.C", "NOPE.X", "-o", "one"});
    EXPECT_EQ(named.err, native("korvex: " + greet + ": error: no file NOPE.X on it\nkorvex: " + greet +
                                ":GREET.C: written to one/GREET.C\n"));
    EXPECT_EQ(named.status, 1);
    EXPECT_EQ(tree("one"), std::vector<std::string>{"GREET.C"});
    EXPECT_EQ(korvex({"get", greet, "GREET.C", "-o", "one"}).status, 2);
    EXPECT_EQ(korvex({"get", "--force", greet, "GREET.C", "-o", "one"}).status, 0);
}


// The line records of ALASM data, each whole.
std::vector<std::string> records_of(const std::string& data) {
    std::vector<std::string> records;
    for (std::size_t at = 64; at < data.size();) {
        const std::size_t size = std::max<std::size_t>(1, static_cast<unsigned char>(data[at]));
        records.push_back(data.substr(at, size));
        at += size;
    }
    return records;
}

// Edits the first comment that has room: `grow` more characters; in a text
// without one, the first line gains one.
std::string with_comment_grown(std::string text, std::size_t grow) {
    for (const bool comment_only : {true, false}) {
        for (std::size_t begin = 0; begin < text.size();) {
            const std::size_t end = text.find('\n', begin);
            if (end == std::string::npos) {
                break;
            }
            const bool comment = text.find(';', begin) < end;
            // Before the line's end, CR LF as a Windows build writes it or LF.
            const std::size_t at = end > begin && text[end - 1] == '\r' ? end - 1 : end;
            if ((comment || !comment_only) && at > begin && at - begin + grow < 250) {
                return text.insert(at, (comment ? "" : ";") + std::string(grow, 'x'));
            }
            begin = end + 1;
        }
    }
    ADD_FAILURE() << "no line to edit";
    return text;
}

// How many records of two ALASM data differ, where they have as many.
std::size_t records_differing(const std::string& old_data, const std::string& new_data) {
    const std::vector<std::string> old_records = records_of(old_data);
    const std::vector<std::string> new_records = records_of(new_data);
    EXPECT_EQ(new_records.size(), old_records.size());
    std::size_t differing = 0;
    for (std::size_t i = 0; i < std::min(old_records.size(), new_records.size()); ++i) {
        differing += new_records[i] != old_records[i] ? 1 : 0;
    }
    return differing;
}

// What putting one edited line into `file` may change on a disk: the line's
// record, the header's records length, the file's length, sectors and
// entry, and for a move the old entry's deleted mark, the new entry and the
// free-space fields; every other byte stays.
void expect_one_record_changed(const std::string& old, const std::string& now, std::size_t file) {
    const std::vector<CatalogueFile> before = catalogue_files(old);
    const std::vector<CatalogueFile> after = catalogue_files(now);
    const bool moved = after.size() > before.size();
    const CatalogueFile& edited = moved ? after.back() : after[file];
    for (std::size_t i = 0; i < before.size(); ++i) {
        if (i != file) {
            EXPECT_EQ(after[i].entry, before[i].entry);
            EXPECT_EQ(after[i].sectors, before[i].sectors);
        }
    }
    EXPECT_EQ(edited.entry.substr(0, 11), before[file].entry.substr(0, 11));
    const auto length = [](const CatalogueFile& f) {
        return static_cast<unsigned char>(f.entry[11]) + 256 * std::size_t{static_cast<unsigned char>(f.entry[12])};
    };
    const std::string old_data = before[file].sectors.substr(0, length(before[file]));
    const std::string new_data = edited.sectors.substr(0, length(edited));
    EXPECT_EQ(edited.sectors.substr(new_data.size()), std::string(edited.sectors.size() - new_data.size(), '\0'));
    EXPECT_EQ(new_data.substr(0, 33) + new_data.substr(35, 29), old_data.substr(0, 33) + old_data.substr(35, 29));
    EXPECT_EQ(records_differing(old_data, new_data), 1U);
    if (old.starts_with("SINCLAIR")) {
        return;
    }
    // The disk's own sectors: the catalogue entries checked above, and its
    // information sector, where only a move changes the free space, the file
    // count and the deleted-file count.
    EXPECT_EQ(after[file].entry.substr(1, 10), before[file].entry.substr(1, 10));
    EXPECT_EQ(after[file].entry[0], moved ? '\x01' : before[file].entry[0]);
    std::string old_info = old.substr(0x800, 0x800);
    std::string new_info = now.substr(0x800, 0x800);
    for (const std::size_t field : {0xE1, 0xE2, 0xE4, 0xE5, 0xE6, 0xF4}) {
        if (moved) {
            old_info[field] = new_info[field];
        }
    }
    EXPECT_EQ(new_info, old_info);
    // Sectors past track 0: the file's, old and new, alone differ.
    const auto first = [](const std::string& image, std::size_t index) {
        return 16 * std::size_t{static_cast<unsigned char>(image[16 * index + 15])} +
               static_cast<unsigned char>(image[16 * index + 14]);
    };
    const std::size_t old_first = first(old, file);
    const std::size_t new_first = first(now, moved ? after.size() - 1 : file);
    for (std::size_t sector = 16; sector < std::max(old.size(), now.size()) / 256; ++sector) {
        const bool its = (sector >= old_first && sector < old_first + before[file].sectors.size() / 256) ||
                         (sector >= new_first && sector < new_first + edited.sectors.size() / 256);
        if (!its && !(moved && sector < old_first + before[file].sectors.size() / 256)) {
            EXPECT_EQ(now.substr(256 * sector, 256), old.substr(256 * sector, 256)) << "sector " << sector;
        }
    }
}

// Every real disk, archive and Hobeta file: its texts put back unchanged
// give back its bytes; one comment edited changes that line's record and
// what its length moves, in place or by moving the file, and reads back as
// edited, the other files as they were.
TEST_F(KorvexRun, PutsEveryRealDiskBackAsItWasAndChangesOnlyTheEditedLine) {
    std::vector<fs::path> every;
    if (!fs::is_directory(corpus())) {
        GTEST_SKIP() << "no real files at " << corpus();
    }
    for (const auto& entry : fs::recursive_directory_iterator(corpus(), fs::directory_options::skip_permission_denied)) {
        const std::string extension = entry.path().extension().string();
        if (extension == ".trd" || extension == ".scl" || extension == ".$H" || extension == ".$h") {
            every.push_back(entry.path());
        }
    }
    if (every.empty()) {
        GTEST_SKIP() << "no real disks at " << corpus();
    }
    std::sort(every.begin(), every.end());
    std::vector<fs::path> inputs;
    for (std::size_t i = 0; i < every.size(); ++i) {
        const std::string extension = every[i].extension().string();
        if (in_sample(i, extension == ".trd" || extension == ".scl" || extension == ".$h")) {
            inputs.push_back(every[i]);
        }
    }
    std::size_t identical = 0;
    std::size_t edited = 0;
    std::size_t moved = 0;
    for (const fs::path& input : inputs) {
        clear();
        const std::string original = file_bytes(input);
        const bool image = input.extension() == ".trd" || input.extension() == ".scl";
        fs::create_directories(dir() / "d");
        ASSERT_EQ(korvex({"text", input.string(), "-o", image ? "d/" : "d/source.asm"}).status, 0) << input;
        std::vector<std::string> args = {"put", input.string(), "-o", "same"};
        for (const std::string& text : tree("d")) {
            args.push_back("d/" + text);
        }
        EXPECT_EQ(korvex(args).status, 0) << input;
        identical += read("same") == original ? 1 : 0;
        EXPECT_EQ(read("same"), original) << input;
        // The third text, edited a little, then much: in place, then moved.
        const std::vector<std::string> texts = tree("d");
        const std::size_t chosen = std::min<std::size_t>(2, texts.size() - 1);
        const std::string text = "d/" + texts[chosen];
        const std::string unedited = read(text);
        for (const std::size_t grow : {std::size_t{3}, std::size_t{image ? 200U : 30U}}) {
            write(text, with_comment_grown(unedited, grow));
            ASSERT_EQ(korvex({"put", "--force", input.string(), text, "-o", "new"}).status, 0) << input;
            fs::remove_all(dir() / "back");
            fs::create_directories(dir() / "back");
            ASSERT_EQ(korvex({"text", "new", "-o", image ? "back/" : "back/source.asm"}).status, 0) << input;
            for (const std::string& other : texts) {
                EXPECT_EQ(read("back/" + other), read("d/" + other)) << input << ":" << other;
            }
            if (image) {
                const std::vector<CatalogueFile> files = catalogue_files(original);
                std::size_t file = 0;
                while (file < files.size() &&
                       (files[file].entry[0] == '\x01' || file_name_of(files[file]) + ".asm" != texts[chosen])) {
                    ++file;
                }
                ASSERT_LT(file, files.size()) << input;
                expect_one_record_changed(original, read("new"), file);
                moved += catalogue_files(read("new")).size() > files.size() ? 1 : 0;
            } else {
                const auto data = [](const std::string& hobeta) {
                    const std::size_t length = static_cast<unsigned char>(hobeta[11]) +
                                               256 * std::size_t{static_cast<unsigned char>(hobeta[12])};
                    return hobeta.substr(17, length);
                };
                EXPECT_EQ(records_differing(data(original), data(read("new"))), 1U) << input;
            }
            ++edited;
        }
    }
    std::cout << "[ figures  ] " << identical << " of " << inputs.size() << " real disks, archives and Hobeta "
              << "files (of " << every.size() << ") put back identical; " << edited << " one-line edits checked, " << moved
              << " of them moving the file\n";
    EXPECT_EQ(identical, inputs.size());
}


}  // namespace
}  // namespace korve
