#include "inputs/put_plan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "alasm_writer.h"
#include "base/little_endian.h"
#include "files/output_names.h"
#include "formats/trdos_name.h"
#include "image_writer.h"
#include "inputs/source_text.h"

namespace korve {
namespace {

using namespace std::string_literals;
using testing::alasm_header;
using testing::alasm_record;
using testing::DiskFile;
using testing::trd_image;

// ALASM data named `name` holding `records`.
std::string data_of(const std::string& name, const std::string& records) {
    std::string data = alasm_header(name) + records;
    write_little_endian(writable_bytes(data), kAlasmRecordsLengthOffset, 2,
                        static_cast<std::uint32_t>(records.size()));
    return data;
}

// GAME.H (one NOP: a sector) right before OTHER.H (one RLCA), and CODE.C,
// no ALASM data.
std::string disk_image() {
    return trd_image({{.name = "GAME", .type = 'H', .data = data_of("GAME", alasm_record("{NOP}") + "\0"s)},
                      {.name = "OTHER", .type = 'H', .data = data_of("OTHER", alasm_record("{RLCA}") + "\0"s)},
                      {.name = "CODE", .type = 'C', .data = "\xC9"}});
}

// GAME.H's text, grown past its one sector.
std::vector<std::string> grown() {
    std::vector<std::string> lines(200, "\tNOP\t");
    lines.emplace_back();
    return lines;
}

// A change as the table reads it: "GAME.H replaced, moved".
std::string summary(const PutChange& change) {
    std::string said = shown_name(change.name) + (change.entry ? " replaced" : " added");
    if (change.unchanged) {
        said += ", unchanged";
    }
    if (change.placed && change.placed->placement == Placement::Moved) {
        said += ", moved";
    }
    return said;
}

TEST(PutPlan, ReplacesAddsAndRefusesAsEachTextsNameSays) {
    const struct {
        const char* what;
        std::vector<PutText> texts;
        std::optional<std::string> name;
        std::vector<std::string> changes;   // summaries, the disk edited
        std::vector<std::string> problems;  // "WHERE: TEXT"
    } cases[] = {
        {"a file replaced", {{{"t/GAME.H.asm", "GAME.H.asm", "t/GAME.H.asm"}, {"\tRLCA\t", ""}}}, {},
         {"GAME.H replaced"}, {}},
        {"a file added", {{{"NEW.H.asm", "NEW.H.asm", "NEW.H.asm"}, {"\tRET\t", ""}}}, {}, {"NEW.H added"}, {}},
        {"a file that outgrows its sectors moves", {{{"GAME.H.asm", "GAME.H.asm", "GAME.H.asm"}, grown()}}, {},
         {"GAME.H replaced, moved"}, {}},
        {"two texts, the first moving",
         {{{"GAME.H.asm", "GAME.H.asm", "GAME.H.asm"}, grown()},
          {{"OTHER.H.asm", "OTHER.H.asm", "o"}, {"\tRET\t", ""}}},
         {}, {"GAME.H replaced, moved", "OTHER.H replaced"}, {}},
        {"an unchanged text, by --name", {{{"-", "-", ""}, {"\tNOP\t", ""}}}, "GAME",
         {"GAME.H replaced, unchanged"}, {}},
        {"a file without ALASM data refused, and one named twice",
         {{{"CODE.C.asm", "CODE.C.asm", "CODE.C.asm"}, {"\tRET\t"}},
          {{"a/OTHER.H.asm", "OTHER.H.asm", "a"}, {"\tRET\t"}},
          {{"b/OTHER.H.asm", "OTHER.H.asm", "b"}, {"\tNOP\t"}}},
         {}, {"OTHER.H replaced"},
         {"CODE.C.asm: CODE.C on D.trd holds no ALASM data: put replaces only ALASM sources",
          "b/OTHER.H.asm: a TEXT before it puts the same file, OTHER.H"}},
    };
    const std::string bytes = disk_image();
    const DiskImage image = read_disk_image(byte_span(bytes));
    ASSERT_EQ(image.problem, ImageProblem::None);
    PutDisk disk{"D.trd", byte_span(bytes), byte_span(bytes), InputKind::TrdosImage, live_entries(image), {}};
    disk.names = image_file_names(disk.files);
    for (const auto& c : cases) {
        PutPlan plan = plan_put(disk, c.texts, {c.name, TextLayout::Stored, std::nullopt});
        std::vector<std::string> problems;
        for (const Problem& problem : plan.problems) {
            problems.push_back(where_shown(problem.where) + ": " + problem.text);
        }
        EXPECT_EQ(problems, c.problems) << c.what;
        const EditedDisk edited = edit_disk(disk, c.texts, plan);
        EXPECT_FALSE(edited.problem.has_value()) << c.what;
        std::vector<std::string> changes;
        for (const PutChange& change : plan.changes) {
            changes.push_back(summary(change));
        }
        EXPECT_EQ(changes, c.changes) << c.what;
        const bool unchanged = c.changes.size() == 1 && c.changes[0].ends_with("unchanged");
        EXPECT_EQ(edited.bytes == bytes, unchanged) << c.what;
    }
}

}  // namespace
}  // namespace korve
