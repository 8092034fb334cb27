// Whole runs of the built korvex's show and diff, in a temporary folder: the
// text git compares a disk by, what diff says of two inputs, and git itself
// reading disks through show.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "alasm_writer.h"
#include "base/fnv_digest.h"
#include "base/little_endian.h"
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
using testing::kSource;
using testing::kStored;
using testing::nops;
using testing::ProgramRun;
using testing::scl_archive;
using testing::short_disk;
using testing::trd_image;

std::string fnv(const std::string& bytes) { return digest_hex(fnv1a_32(byte_span(bytes))); }

// A heading, as show writes it; `start` negative for none.
std::string heading(const std::string& name, int start, const std::string& data) {
    return "==== " + name + (start < 0 ? "" : "  start " + std::to_string(start)) + "  length " +
           std::to_string(data.size()) + "  fnv " + fnv(data) + "\n";
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        lines.push_back(line);
    }
    return lines;
}

// Lines a diff removes and adds, in order, less its "---" and "+++" lines.
std::vector<std::string> changes(const std::string& diff) {
    std::vector<std::string> changed;
    for (const std::string& line : lines_of(diff)) {
        if ((line.starts_with('-') || line.starts_with('+')) && !line.starts_with("--- ") &&
            !line.starts_with("+++ ")) {
            changed.push_back(line);
        }
    }
    return changed;
}

class ShowRun : public ProgramRun {
protected:
    void put(const std::string& name, const std::string& bytes) const {
        fs::create_directories((dir() / name).parent_path());
        write(name, bytes);
    }

    // Runs a shell command in `folder` under the temporary folder, with a
    // home of its own there, so that no git configuration of the machine's
    // counts: what it printed on both streams, and its status.
    std::pair<std::string, int> shell(const std::string& folder, const std::string& command) const {
        const std::string line = "cd '" + (dir() / folder).string() + "' && HOME='" +
                                 dir().string() + "' GIT_CONFIG_NOSYSTEM=1 " + command + " 2>&1";
        std::FILE* pipe = popen(line.c_str(), "r");  // NOLINT(cert-env33-c)
        if (pipe == nullptr) {
            return {"", -1};
        }
        std::string out;
        std::array<char, 4096> chunk{};
        for (std::size_t got; (got = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0;) {
            out.append(chunk.data(), got);
        }
        const int status = pclose(pipe);
        return {out, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
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
    const std::string short_words = "the data ends after line 224, 488 bytes short of its length";
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
        // A file named that holds neither is shown as a disk's code file is.
        {"notes.txt", "nothing to see", {"show", "notes.txt"},
         heading("notes.txt", -1, "nothing to see"), "", 0},
        // What cannot be read at all is said in the text too; git, which
        // shows nothing of a textconv that fails, gets it with status 0.
        {"GAME.$h", hobeta_file(kSource), {"show", "missing.trd"},
         "==== error: No such file or directory\n",
         "korvex: missing.trd: error: No such file or directory\n", 2},
        {"GAME.$h", hobeta_file(kSource), {"show", "--textconv", "missing.trd"},
         "==== error: No such file or directory\n", "", 0},
        // Data short of its catalogue's length is not read whole.
        {"short.trd", short_disk(), {"show", "short.trd"},
         "==== EVEN.H  start 0  length 1000  fnv " + fnv(alasm_header("EVEN") + nops(224)) + "\n" +
             testing::repeated("\tNOP\t\n", 224) + "==== EVEN.H: error: " + short_words + "\n",
         "korvex: short.trd:EVEN.H: error: " + short_words + "\n", 1},
        // A folder: each file by its path, what is neither ALASM data nor a
        // disk left out.
        {"in/sub/d.trd", trd_image({files[0]}), {"show", "in"},
         heading("in.h:GAME", -1, kSource) + kStored +
             "==== sub/d.trd:ZETA.C  start 32768  length 6  fnv bf9cf968\n",
         "", 0},
        // No name forges a heading or a line: a byte below 0x20 and the
        // backslash are written \xNN, in a folder's path too.
        {"in/odd\n==== FAKE\r/x\\y.h", kSource, {"show", "in"},
         heading("in.h:GAME", -1, kSource) + kStored +
             heading("odd\\x0A==== FAKE\\x0D/x\\x5Cy.h:GAME", -1, kSource) + kStored,
         "", 0},
    };
    for (const auto& c : cases) {
        if (windows_build() && c.name.find_first_of("\n\\") != std::string::npos) {
            continue;  // no such name on Windows
        }
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

// Two saves of the real PGMFLASH disk, between which one line of LOADFILE.H
// changed: the second saved as TR-DOS saves a file again (the old entry
// deleted, the new one last), with its code file changed too. git, reading
// the disks through show, sees those changes and nothing else; diff says
// the same.
TEST_F(ShowRun, LetsGitCompareDisksAsText) {
    const fs::path real = fs::path(KORVE_CORPUS_DIR) / "real" / "lvd2__ngs";
    const fs::path before = real / "z80--pgmflash--PGMFLASH.TRD@82ba337";
    const fs::path after = real / "z80--pgmflash--PGMFLASH.TRD@abf5dbf";
    if (!fs::exists(before) || !fs::exists(after)) {
        GTEST_SKIP() << "no real files at " << real;
    }
    if (windows_build() || shell(".", "git --version").second != 0) {
        GTEST_SKIP() << "git runs korvex here";
    }
    const auto source = [&](const fs::path& folder, const std::string& name) {
        put("real.h", "");
        fs::copy_file(folder / name, dir() / "real.h", fs::copy_options::overwrite_existing);
        return DiskFile{.name = name.substr(0, name.find('.')), .type = 'H', .data = read("real.h")};
    };
    const DiskFile loadfile = source(before, "LOADFILE.H");
    const DiskFile saved = source(after, "LOADFILE.H");
    const DiskFile code{.name = "PGMFLASH", .type = 'C', .data = std::string(300, '\xC9'),
                        .start = 24576};
    DiskFile changed_code = code;
    changed_code.data[7] = '\x00';
    DiskFile deleted = loadfile;
    deleted.deleted = true;
    const DiskFile flautils = source(before, "FLAUTILS.H");
    const DiskFile pgmflash = source(before, "PGMFLASH.H");
    const DiskFile scrutil = source(before, "SCRUTIL.H");
    const std::string first = trd_image({flautils, loadfile, pgmflash, scrutil, code});
    const std::string second =
        trd_image({flautils, deleted, pgmflash, scrutil, changed_code, saved});

    // The one line of LOADFILE.H that changed, as korvex text gives it.
    put("old.$h", hobeta_file(loadfile.data));
    put("new.$h", hobeta_file(saved.data));
    const auto old_lines = lines_of(korvex({"text", "--eol", "lf", "old.$h"}).out);
    const auto new_lines = lines_of(korvex({"text", "--eol", "lf", "new.$h"}).out);
    ASSERT_EQ(old_lines.size(), new_lines.size());
    std::vector<std::string> line_changes;
    for (std::size_t i = 0; i < old_lines.size(); ++i) {
        if (old_lines[i] != new_lines[i]) {
            line_changes.push_back("-" + old_lines[i]);
            line_changes.push_back("+" + new_lines[i]);
        }
    }
    ASSERT_EQ(line_changes.size(), 2U);

    // The README's recipe, with the korvex built here.
    const std::string korvex_binary = fs::absolute(KORVEX_BINARY).string();
    put("repo/.gitattributes", "*.trd diff=alasm\n*.scl diff=alasm\n*.$h diff=alasm\n*.$H diff=alasm\n");
    put("repo/pgmflash.trd", first);
    for (const std::string& command : std::vector<std::string>{
             "git init -q .", "git config user.name Tester", "git config user.email tester@example.org",
          "git config diff.alasm.textconv \"'" + korvex_binary + "' show --textconv\"",
          "git config diff.alasm.cachetextconv true", "git add .", "git commit -qm first"}) {
        ASSERT_EQ(shell("repo", command).second, 0) << command;
    }
    put("repo/pgmflash.trd", second);
    ASSERT_EQ(shell("repo", "git commit -qam second").second, 0);

    const auto [diff, diff_status] = shell("repo", "git diff -U0 HEAD~1 HEAD");
    EXPECT_EQ(diff_status, 0) << diff;
    const auto heading_line = [](const std::string& name, int start, const std::string& data) {
        const std::string line = heading(name, start, data);
        return line.substr(0, line.size() - 1);
    };
    const std::vector<std::string> wanted = {
        "-" + heading_line("LOADFILE.H", 0, loadfile.data),
        "+" + heading_line("LOADFILE.H", 0, saved.data),
        line_changes[0],
        line_changes[1],
        "-" + heading_line("PGMFLASH.C", 24576, code.data),
        "+" + heading_line("PGMFLASH.C", 24576, changed_code.data)};
    EXPECT_EQ(changes(diff), wanted) << diff;

    // git log -p and git blame read it too; git grep where asked.
    const std::string log = shell("repo", "git log -p").first;
    EXPECT_NE(log.find("\n" + line_changes[0] + "\n" + line_changes[1] + "\n"), std::string::npos);
    const std::string added = line_changes[1].substr(1);
    put("pattern", added + "\n");
    EXPECT_EQ(shell("repo", "git grep --textconv -h -F -f ../pattern HEAD -- pgmflash.trd").first,
              added + "\n");
    const std::string blame = shell("repo", "git blame -s pgmflash.trd").first;
    const std::string head = shell("repo", "git rev-parse --short HEAD").first;
    std::size_t blamed_on_head = 0;
    for (const std::string& line : lines_of(blame)) {
        blamed_on_head += line.starts_with(head.substr(0, head.size() - 1)) ? 1 : 0;
    }
    EXPECT_EQ(blamed_on_head, 3U) << blame;  // two headings and the line

    // korvex diff of the two disks: the same changes.
    put("first.trd", first);
    put("second.trd", second);
    const auto compared = korvex({"diff", "first.trd", "second.trd"});
    EXPECT_EQ(changes(compared.out), line_changes);
    EXPECT_NE(compared.out.find("--- first.trd:LOADFILE.H\n+++ second.trd:LOADFILE.H\n@@ "),
              std::string::npos);
    EXPECT_TRUE(compared.out.ends_with(
        "Files first.trd:PGMFLASH.C and second.trd:PGMFLASH.C differ\n"));
    EXPECT_EQ(compared.err, "");
    EXPECT_EQ(compared.status, 1);
    const auto same = korvex({"diff", "first.trd", "first.trd"});
    EXPECT_EQ(same.out + same.err, "");
    EXPECT_EQ(same.status, 0);
    const auto missing = korvex({"diff", "first.trd", "third.trd"});
    EXPECT_EQ(missing.err, native("korvex: third.trd: error: No such file or directory\n"));
    EXPECT_EQ(missing.status, 2);
}

// Every real file and disk image: its text, the same each time, without a
// word on standard error but for the one file cut short inside a line; a
// source's text is what text writes.
TEST_F(ShowRun, ShowsEveryRealFileTheSameEachTime) {
    const fs::path corpus = KORVE_CORPUS_DIR;
    if (!fs::exists(corpus / "real") || !fs::exists(corpus / "images")) {
        GTEST_SKIP() << "no real files at " << corpus;
    }
    std::size_t shown = 0;
    std::string cut_short;  // what the one real file its catalogue cut short makes show say
    for (const fs::path& folder : {corpus / "real", corpus / "images"}) {
        for (const auto& entry : fs::recursive_directory_iterator(folder)) {
            const std::string path = entry.path().string();
            if (!entry.is_regular_file() || entry.path().extension() == ".tsv") {
                continue;
            }
            const auto once = korvex({"show", path});
            const auto again = korvex({"show", path});
            if (path.find("catalog-length") == std::string::npos) {
                EXPECT_EQ(once.status, 0) << path;
                EXPECT_EQ(once.err, "") << path;
            } else {
                EXPECT_EQ(once.status, 1) << path;
                EXPECT_NE(once.err.find(": error: the data ends inside line "), std::string::npos);
                cut_short += once.err;
            }
            EXPECT_EQ(once.out, again.out) << path;
            EXPECT_TRUE(once.out.starts_with("==== ")) << path;
            const auto text = korvex({"text", "--eol", "lf", path});
            if (text.status == 0 && text.err.empty()) {
                EXPECT_EQ(once.out.substr(once.out.find('\n') + 1), text.out) << path;
            }
            ++shown;
        }
    }
    EXPECT_GT(shown, 100U);
    const auto whole = korvex({"show", corpus.string()});
    EXPECT_EQ(whole.status, cut_short.empty() ? 0 : 1);
    EXPECT_EQ(whole.err.size(), cut_short.size());
    EXPECT_EQ(whole.out, korvex({"show", corpus.string()}).out);
}

}  // namespace
}  // namespace korve
