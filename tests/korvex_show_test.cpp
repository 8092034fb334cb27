// Whole runs of the built korvex's show and diff, in a temporary folder: the
// text git compares a disk by, and what diff says of two inputs.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "alasm_writer.h"
#include "fnv_digest.h"
#include "image_writer.h"
#include "little_endian.h"
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

// A source whose lines keep stored spaces and a comment in CP866 ("рст").
const std::string kSource = alasm_header("GAME") + alasm_record("LOOP    {LD}   {A},{(HL)}  ") +
                            alasm_record("{RLCA}") + alasm_record("     {NOP}{ }{ }") +
                            alasm_record("; \xE0\xE1\xE2") + "\x00"s;
const std::string kStored = "LOOP    \tLD\t   A,(HL)  \n\tRLCA\t\n     \tNOP\t  \n; \xE0\xE1\xE2\n\n";

std::string fnv(const std::string& bytes) { return digest_hex(fnv1a_32(byte_span(bytes))); }

// A heading, as show writes it; `start` negative for none.
std::string heading(const std::string& name, int start, const std::string& data) {
    return "==== " + name + (start < 0 ? "" : "  start " + std::to_string(start)) + "  length " +
           std::to_string(data.size()) + "  fnv " + fnv(data) + "\n";
}

std::string nops(std::size_t lines) {
    std::string records;
    for (std::size_t i = 0; i < lines; ++i) {
        records += alasm_record("{NOP}");
    }
    return records;
}

class ShowRun : public ProgramRun {
protected:
    void put(const std::string& name, const std::string& bytes) const {
        fs::create_directories((dir() / name).parent_path());
        write(name, bytes);
    }

};

TEST_F(ShowRun, ShowsEachFileUnderItsHeadingInNameOrder) {
    const std::string stopped = alasm_header("BAD") + nops(2) + "\x02\xE7" + nops(1);
    const std::string lost_error = "its data is lost: the image ends before it";
    const std::vector<DiskFile> files = {
        {.name = "ZETA", .type = 'C', .data = "foobar", .start = 32768},
        {.name = "GAME", .type = 'H', .data = kSource},
        {.name = "A\x02" "B", .type = 'C', .data = "\xC9"},
        {.name = "GAME", .type = 'C', .data = "\xC9"},
    };
    const std::string listed = heading("A\\x02B.C", 0, "\xC9") + heading("GAME.C", 0, "\xC9") +
                               heading("GAME.H", 0, kSource) + kStored +
                               // FNV-1a's own check value for "foobar"
                               "==== ZETA.C  start 32768  length 6  fnv bf9cf968\n";
    const std::string archive = scl_archive({{.name = "ONE", .type = 'H', .data = kSource},
                                             {.name = "TWO", .data = "\xC9"}});
    const struct {
        std::string name;
        std::string bytes;
        std::vector<std::string> args;
        std::string out;
        std::string err;
        int status;
    } cases[] = {
        {"disk.trd", trd_image(files), {"show", "disk.trd"}, listed, "", 0},
        // The same files saved in another order, into an archive.
        {"disk.scl", scl_archive({files[3], files[1], files[0], files[2]}), {"show", "disk.scl"},
         listed, "", 0},
        {"GAME.$h", hobeta_file(kSource), {"show", "GAME.$h"},
         heading("GREET.H", 0, kSource) + kStored, "", 0},
        {"x.h", kSource, {"show", "x.h"}, heading("GAME", -1, kSource) + kStored, "", 0},
        {"GAME.$h", hobeta_file(kSource), {"show", "--charset", "CP866", "GAME.$h"},
         heading("GREET.H", 0, kSource) + kStored.substr(0, kStored.size() - 5) + "рст\n\n", "",
         0},
        {"GAME.$h", hobeta_file(kSource, static_cast<unsigned>(kSource.size()), false),
         {"show", "GAME.$h"},
         heading("GREET.H", 0, kSource) + "==== GREET.H: warning: the Hobeta checksum does not match\n" +
             kStored,
         "", 0},
        {"disk.trd", trd_image({{.name = "BAD", .type = 'H', .data = stopped}}), {"show", "disk.trd"},
         heading("BAD.H", 0, stopped) + "\tNOP\t\n\tNOP\t\n" +
             "==== BAD.H:3: error: 0xE7 is no mnemonic; the text stops before it\n",
         "korvex: disk.trd:BAD.H:3: error: 0xE7 is no mnemonic; the text stops before it\n", 1},
        // For git, which shows no text of a textconv that fails.
        {"disk.trd", trd_image({{.name = "BAD", .type = 'H', .data = stopped}}),
         {"show", "--textconv", "disk.trd"},
         heading("BAD.H", 0, stopped) + "\tNOP\t\n\tNOP\t\n" +
             "==== BAD.H:3: error: 0xE7 is no mnemonic; the text stops before it\n",
         "", 0},
        {"cut.scl", archive.substr(0, archive.size() - 4 - 256), {"show", "cut.scl"},
         "==== warning: cut short; 1 of its 2 files lost\n" + heading("ONE.H", 0, kSource) +
             kStored + "==== TWO.C  start 0  length 1\n==== TWO.C: error: " + lost_error + "\n",
         "korvex: cut.scl:TWO.C: error: " + lost_error + "\n", 1},
        {"notes.txt", "nothing to see", {"show", "notes.txt"},
         heading("notes.txt", -1, "nothing to see") +
             "==== notes.txt: error: holds no ALASM data and no disk image\n",
         "korvex: notes.txt: error: holds no ALASM data and no disk image\n", 1},
        {"GAME.$h", hobeta_file(kSource), {"show", "missing.trd"}, "",
         "korvex: missing.trd: error: No such file or directory\n", 2},
        // A folder: each file by its path, what is neither ALASM data nor a
        // disk left out.
        {"in/sub/d.trd", trd_image({files[0]}), {"show", "in"},
         heading("in.h:GAME", -1, kSource) + kStored +
             "==== sub/d.trd:ZETA.C  start 32768  length 6  fnv bf9cf968\n",
         "", 0},
    };
    for (const auto& c : cases) {
        fs::remove_all(dir() / "in");
        put(c.name, c.bytes);
        put("in/in.h", kSource);
        put("in/notes.txt", "nothing to see");
        const auto result = korvex(c.args);
        EXPECT_EQ(result.out, c.out) << c.name;
        EXPECT_EQ(result.err, native(c.err)) << c.name;
        EXPECT_EQ(result.status, c.status) << c.name;
    }
}

TEST_F(ShowRun, DiffsTwoInputsFileByFile) {
    const std::string changed = alasm_header("GAME") + alasm_record("LOOP    {LD}   {A},{(HL)}  ") +
                                alasm_record("{RRCA}") + alasm_record("     {NOP}{ }{ }") +
                                alasm_record("; \xE0\xE1\xE2") + "\x00"s;
    const std::string stopped = alasm_header("GAME") + alasm_record("LOOP    {LD}   {A},{(HL)}  ") +
                                "\x02\xE7";
    const DiskFile game{.name = "GAME", .type = 'H', .data = kSource};
    const DiskFile zeta{.name = "ZETA", .type = 'C', .data = "foobar", .start = 32768};
    const std::string disk = trd_image({game, zeta, {.name = "OLD", .data = "\xC9"}});
    const std::string hunk = "@@ -1,5 +1,5 @@\n LOOP    \tLD\t   A,(HL)  \n-\tRLCA\t\n+\tRRCA\t\n"
                             "      \tNOP\t  \n ; \xE0\xE1\xE2\n \n";
    const struct {
        std::string a;
        std::string b;
        std::vector<std::string> args;
        std::string out;
        std::string err;
        int status;
    } cases[] = {
        {disk, disk, {"diff", "a.trd", "a.trd"}, "", "", 0},
        // Saved in another order, into an archive: the same files.
        {disk, scl_archive({{.name = "OLD", .data = "\xC9"}, zeta, game}),
         {"diff", "a.trd", "b.scl"}, "", "", 0},
        {disk,
         trd_image({{.name = "NEW", .data = "\xC9"},
                    {.name = "GAME", .type = 'H', .data = changed},
                    {.name = "ZETA", .type = 'C', .data = "foobaz", .start = 32768}}),
         {"diff", "a.trd", "b.scl"},
         "--- a.trd:GAME.H\n+++ b.scl:GAME.H\n" + hunk +
             "Only in b.scl: NEW.C\nOnly in a.trd: OLD.C\n"
             "Files a.trd:ZETA.C and b.scl:ZETA.C differ\n",
         "", 1},
        {hobeta_file(kSource), hobeta_file(changed), {"diff", "a.trd", "b.scl"},
         "--- a.trd\n+++ b.scl\n" + hunk, "", 1},
        // Another name in the header: the same text, not the same bytes.
        {kSource, alasm_header("GAMF") + kSource.substr(64), {"diff", "a.trd", "b.scl"},
         "Files a.trd and b.scl differ; their texts are the same\n", "", 1},
        {disk, hobeta_file(kSource), {"diff", "a.trd", "b.scl"},
         "Files a.trd and b.scl differ\n", "", 1},
        {trd_image({game}), trd_image({{.name = "GAME", .type = 'H', .data = stopped}}),
         {"diff", "a.trd", "b.scl"},
         "--- a.trd:GAME.H\n+++ b.scl:GAME.H\n@@ -1,5 +1,2 @@\n LOOP    \tLD\t   A,(HL)  \n"
         "-\tRLCA\t\n-     \tNOP\t  \n-; \xE0\xE1\xE2\n-\n"
         "+==== GAME.H:2: error: 0xE7 is no mnemonic; the text stops before it\n",
         "korvex: b.scl:GAME.H:2: error: 0xE7 is no mnemonic; the text stops before it\n", 2},
        {disk, disk, {"diff", "a.trd", "missing.trd"}, "",
         "korvex: missing.trd: error: No such file or directory\n", 2},
        // Folders, walked: what is neither ALASM data nor a disk left out.
        {disk, disk, {"diff", "one", "two"},
         "Only in one: only.$h\nOnly in two/sub: only.h\n", "", 1},
    };
    for (const auto& c : cases) {
        put("a.trd", c.a);
        put("b.scl", c.b);
        for (const std::string folder : {"one", "two"}) {
            put(folder + "/a.trd", c.a);
            put(folder + "/notes.txt", folder);
        }
        put("one/only.$h", hobeta_file(kSource));
        put("two/sub/only.h", kSource);
        const auto result = korvex(c.args);
        EXPECT_EQ(result.out, c.out) << c.args[1] << " " << c.args[2];
        EXPECT_EQ(result.err, native(c.err)) << c.args[1] << " " << c.args[2];
        EXPECT_EQ(result.status, c.status) << c.args[1] << " " << c.args[2];
    }
}

}  // namespace
}  // namespace korve
