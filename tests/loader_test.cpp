// The loader's verdicts: bytes in; kind, what is kept and the problems out.
#include "inputs/loader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "alasm_writer.h"
#include "image_writer.h"

namespace korve {
namespace {

using testing::alasm_header;
using testing::alasm_record;
using testing::DiskFile;
using testing::scl_archive;
using testing::trd_image;
using testing::fdi_image;
using testing::td0_image;
using testing::td0_tracks;
using testing::udi_image;

// A .trd as whole tracks to the end of track 1: what a floppy of one
// cylinder holds.
std::string one_cylinder(std::string trd) {
    trd.resize(2 * kSectorsPerTrack * kSectorSize, '\0');
    return trd;
}

struct Said {
    Severity severity;
    std::string text;
    Status status;

    bool operator==(const Said&) const = default;
    friend void PrintTo(const Said& said, std::ostream* out) {
        *out << static_cast<int>(said.severity) << " " << said.text << " "
             << static_cast<int>(said.status);
    }
};

TEST(Loader, GradesEachInputOnce) {
    const std::string source = alasm_header("ONE") + alasm_record("{NOP}");
    const std::vector<DiskFile> files = {
        {.name = "ONE", .type = 'H', .data = source},
        {.name = "TWO", .type = 'H', .data = std::string(400, '\x01')},
    };
    const std::string trd = trd_image(files);
    const std::string scl = scl_archive(files);
    const std::string huge = scl + std::string(kLargestImage, '\0');
    std::string bad_file_crc = udi_image(trd, {.cylinders = 1});
    bad_file_crc.back() ^= 1;
    std::vector<testing::Td0Track> no_catalogue = td0_tracks(one_cylinder(trd), 2, true);
    std::erase_if(no_catalogue[0].sectors, [](const testing::Td0Sector& sector) { return sector.id.record == 1; });
    std::string unmarked = trd;
    unmarked[kTrdosMarkOffset] = 0;
    const std::string named_fdi = trd_image({{.name = "FDI", .type = 'H', .data = source}});
    const std::string named_udi = trd_image({{.name = "UDI!", .type = 'H', .data = source}});
    const Status fine = Status::Converted;
    const Status not_all = Status::NotAllConverted;
    const struct {
        const char* what;
        std::string bytes;
        bool walked;
        InputKind kind;
        bool read;
        std::vector<Said> said;
    } cases[] = {
        {"bare ALASM data", source, false, InputKind::BareAlasm, true, {}},
        {"a .trd", trd, false, InputKind::TrdosImage, true, {}},
        {"an .scl", scl, true, InputKind::SclArchive, true, {}},
        {"text, named", "notes", false, InputKind::None, true, {}},
        {"an .scl cut inside its second file", scl.substr(0, 9 + 2 * 14 + 256 + 10), false,
         InputKind::SclArchive, true,
         {{Severity::Warning, "cut short; 1 of its 2 files lost", fine}}},
        {"an .scl cut inside its second entry", scl.substr(0, 9 + 14 + 5), false,
         InputKind::SclArchive, true,
         {{Severity::Error, "cut short; 2 of its 2 files lost, the names of 1 of them too", not_all}}},
        {"larger than any image, named", huge, false, InputKind::None, false,
         {{Severity::Error, "holds no ALASM data and no disk image", not_all}}},
        {"larger than any image, walked", huge, true, InputKind::None, false, {}},
        {"an FDI", fdi_image(trd, 1, 2), false, InputKind::FdiImage, true, {}},
        {"a UDI whose file CRC alone is wrong", bad_file_crc, false, InputKind::UdiImage, true,
         {{Severity::Warning, "its file CRC does not match its bytes", fine}}},
        {"a TD0 without its first catalogue sector", td0_image(no_catalogue), true, InputKind::Td0Image, true,
         {{Severity::Error,
           "its catalogue is damaged: track 0, sector 0 missing: the files listed there are lost", not_all}}},
        {"an FDI of a disk that is not TR-DOS's", fdi_image(unmarked, 1, 2), false, InputKind::FdiImage, true,
         {{Severity::Error, "holds no TR-DOS disk: its disk-information sector lacks TR-DOS's mark", not_all}}},
        {"a .trd whose first file is named FDI", named_fdi, false, InputKind::TrdosImage, true, {}},
        {"a .trd whose first file is named UDI!", named_udi, false, InputKind::TrdosImage, true, {}},
    };
    for (const auto& c : cases) {
        const LoadedInput loaded =
            grade_input("in", std::vector<unsigned char>(c.bytes.begin(), c.bytes.end()), c.walked);
        EXPECT_EQ(loaded.kind, c.kind) << c.what;
        EXPECT_EQ(loaded.read, c.read) << c.what;
        EXPECT_EQ(loaded.file().size(), c.read ? c.bytes.size() : 0) << c.what;
        std::vector<Said> said;
        for (const Problem& problem : loaded.problems) {
            EXPECT_EQ(problem.where.input, "in") << c.what;
            said.push_back({problem.severity, problem.text, problem.status});
        }
        EXPECT_EQ(said, c.said) << c.what;
    }
}

// A floppy image cut at every length never loses a file unsaid: unless the
// load is an error, each live file of the whole image is listed, and read
// with its bytes or said to be lost (which every verb says as an error).
TEST(Loader, NeverLosesAFileOfACutFloppyImageUnsaid) {
    const std::string trd = one_cylinder(trd_image({
        {.name = "ONE", .type = 'H', .data = alasm_header("ONE") + alasm_record("{NOP}")},
        {.name = "TWO", .type = 'C', .data = std::string(700, '\x01')},
    }));
    for (const std::string& whole : {fdi_image(trd, 1, 2), udi_image(trd, {.cylinders = 1}),
                                     td0_image(td0_tracks(trd, 2, true)),
                                     td0_image(td0_tracks(trd, 2, true), {.packed = true})}) {
        const LoadedInput all = grade_input("in", std::vector<unsigned char>(whole.begin(), whole.end()), false);
        ASSERT_EQ(live_entries(all.image).size(), 2U);
        for (std::size_t size = 0; size < whole.size(); ++size) {
            const LoadedInput cut =
                grade_input("in", std::vector<unsigned char>(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size)), false);
            if (cut.kind == InputKind::None || cut.status() != Status::Converted) {
                continue;
            }
            std::size_t listed = 0;
            for (const CatalogueEntry& entry : live_entries(cut.image)) {
                const auto bytes = file_sectors(cut.bytes, entry);
                const auto was = file_sectors(all.bytes, all.image.entries.at(entry.slot));
                listed += entry.problem != ImageProblem::None ||
                                  std::equal(bytes.begin(), bytes.end(), was.begin(), was.end())
                              ? 1
                              : 0;
            }
            EXPECT_EQ(listed, 2U) << whole.substr(0, 3) << " cut to " << size;
        }
    }
}

}  // namespace
}  // namespace korve
