#include "formats/fdi_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "alasm_writer.h"
#include "base/little_endian.h"
#include "formats/trdos_floppy.h"
#include "formats/trdos_image.h"
#include "image_writer.h"

namespace korve {
namespace {

using testing::fdi_image;
using testing::kInterleavedRecords;
using testing::trd_sector;

constexpr std::size_t kTrackHeader = 7 + 16 * 7;

// A disk of a source and a code file, its disk type `type`, as long as
// `tracks` logical tracks, its last sector marked.
std::string disk(unsigned char type, std::size_t tracks) {
    std::string trd = testing::trd_image({
        {.name = "SOURCE", .type = 'H', .data = testing::alasm_header("SOURCE") + testing::alasm_record("{NOP}")},
        {.name = "CODE", .data = std::string(5000, '\xC9'), .start = 0x6000},
    });
    trd[kDiskTypeOffset] = static_cast<char>(type);
    trd.resize(tracks * kSectorsPerTrack * kSectorSize, '\0');
    trd.replace(trd.size() - kSectorSize, 4, "LAST");
    return trd;
}

// Where the 7 bytes of the sector of `record` on the FDI's `track` lie.
std::size_t entry_of(std::size_t track, unsigned char record) {
    std::size_t index = 0;
    while (kInterleavedRecords[index] != record) {
        ++index;
    }
    return kFdiHeaderSize + track * kTrackHeader + 7 + index * 7;
}

TrdosFloppy trdos_of(const std::string& fdi) {
    return read_trdos_floppy(read_fdi(byte_span(fdi)), byte_span(fdi));
}

struct Shape {
    std::size_t cylinders;
    std::size_t sides;
    unsigned char type;
};

TEST(FdiImage, ReadsTheDiskAsTheTrdItWasMadeOf) {
    for (const Shape shape : {Shape{80, 2, 0x16}, Shape{86, 2, 0x16}, Shape{80, 1, 0x18}, Shape{40, 1, 0x19},
                              Shape{81, 2, 0x00}}) {
        const std::string trd = disk(shape.type, shape.cylinders * shape.sides);
        const std::string fdi = fdi_image(trd, shape.cylinders, shape.sides);
        const FloppyImage floppy = read_fdi(byte_span(fdi));
        EXPECT_EQ(floppy.problem, FloppyProblem::None);
        ASSERT_EQ(floppy.tracks.size(), shape.cylinders * shape.sides);
        EXPECT_EQ(floppy.tracks.back().cylinder, shape.cylinders - 1);
        EXPECT_EQ(floppy.tracks.back().head, shape.sides - 1);
        const TrdosFloppy read = read_trdos_floppy(floppy, byte_span(fdi));
        EXPECT_EQ(read.two_sides, shape.sides == 2);
        EXPECT_TRUE(read.trd == trd) << shape.cylinders << " cylinders, " << shape.sides << " sides";
        for (const LogicalSector& sector : read.sectors) {
            EXPECT_EQ(sector.state, SectorState::Read);
        }
    }
}

struct Damaged {
    const char* what;
    std::function<void(std::string&)> damage;
    FloppyProblem problem;
    std::map<std::size_t, SectorState> states;  // of the sectors not read whole
};

TEST(FdiImage, SaysWhatADamagedImageLost) {
    const std::string trd = disk(0x16, 160);
    const std::string whole = fdi_image(trd, 80, 2);
    const auto set = [](std::size_t at, const std::string& bytes) {
        return [at, bytes](std::string& fdi) { fdi.replace(at, bytes.size(), bytes); };
    };
    // Logical sector 16 × T + S: 20 is record 5 of cylinder 0, head 1; 2559
    // the last track's record 16, whose data lies last in the image.
    const std::size_t last = entry_of(159, 16);
    std::map<std::size_t, SectorState> last_track;
    for (std::size_t i = std::size_t{159} * 16; i < std::size_t{160} * 16; ++i) {
        last_track[i] = SectorState::Cut;
    }
    const Damaged cases[] = {
        {"a sector whose CRC failed", set(entry_of(1, 5) + 4, std::string(1, '\0')), FloppyProblem::None,
         {{20, SectorState::BadCrc}}},
        {"a sector missing", set(entry_of(1, 5) + 2, "\x20"), FloppyProblem::None, {{20, SectorState::Missing}}},
        {"an ID whose data lies past the end, flagged 0", set(last + 4, std::string("\0\xFF\xFF", 3)),
         FloppyProblem::None, {{2559, SectorState::Missing}}},
        {"an ID whose data lies past the end, flagged good", set(last + 5, "\xFF\xFF"), FloppyProblem::CutShort,
         {{2559, SectorState::Cut}}},
        {"a track's data past the end", set(kFdiHeaderSize + 159 * kTrackHeader, "\xFF\xFF\xFF\xFF"),
         FloppyProblem::CutShort, last_track},
        {"more cylinders than IDs number", set(4, std::string("\x01\x01", 2)), FloppyProblem::BadHeader, {}},
        {"another mark", set(0, "FDX"), FloppyProblem::NotAnImage, {}},
    };
    for (const Damaged& c : cases) {
        std::string fdi = whole;
        c.damage(fdi);
        const FloppyImage floppy = read_fdi(byte_span(fdi));
        EXPECT_EQ(floppy.problem, c.problem) << c.what;
        const TrdosFloppy read = read_trdos_floppy(floppy, byte_span(fdi));
        if (floppy.tracks.empty()) {
            EXPECT_TRUE(read.sectors.empty()) << c.what;
            continue;
        }
        ASSERT_EQ(read.trd.size(), trd.size()) << c.what;
        for (std::size_t i = 0; i < read.sectors.size(); ++i) {
            const auto state = c.states.find(i);
            const SectorState expected = state == c.states.end() ? SectorState::Read : state->second;
            EXPECT_EQ(read.sectors[i].state, expected) << c.what << ", sector " << i;
            if (expected == SectorState::Read || expected == SectorState::BadCrc) {
                EXPECT_EQ(read.trd.substr(i * kSectorSize, kSectorSize), trd_sector(trd, i)) << c.what;
            }
        }
    }
}

// Cut at every length, an image never reads outside its bytes, says it is
// cut, and gives every sector it still holds whole as it was; the others
// are cut or missing.
TEST(FdiImage, GivesWhatACutImageHoldsWhereverItIsCut) {
    const std::string trd = disk(0x16, 2);
    const std::string whole = fdi_image(trd, 1, 2);
    const FloppyImage whole_floppy = read_fdi(byte_span(whole));
    const TrdosFloppy whole_disk = read_trdos_floppy(whole_floppy, byte_span(whole));
    ASSERT_TRUE(whole_disk.trd == trd);
    for (std::size_t size = 0; size < whole.size(); ++size) {
        const std::string fdi = whole.substr(0, size);
        const FloppyImage floppy = read_fdi(byte_span(fdi));
        EXPECT_EQ(floppy.problem, size < kFdiHeaderSize ? FloppyProblem::NotAnImage : FloppyProblem::CutShort)
            << size;
        for (const FloppyTrack& track : floppy.tracks) {
            for (const FloppySector& sector : track.sectors) {
                ASSERT_LE(sector.data_offset + sector.data_size, size);
            }
        }
        const TrdosFloppy read = read_trdos_floppy(floppy, byte_span(fdi));
        ASSERT_LE(read.sectors.size(), whole_disk.sectors.size()) << size;
        for (std::size_t i = 0; i < read.sectors.size(); ++i) {
            const FloppySector& in_whole = whole_floppy.tracks[whole_disk.sectors[i].track].sectors[whole_disk.sectors[i].sector];
            const bool held = in_whole.data_offset + kSectorSize <= size;
            if (read.sectors[i].state == SectorState::Read) {
                EXPECT_TRUE(held) << size << ", sector " << i;
                EXPECT_EQ(read.trd.substr(i * kSectorSize, kSectorSize), trd_sector(trd, i)) << size;
            } else {
                EXPECT_TRUE(read.sectors[i].state == SectorState::Cut || read.sectors[i].state == SectorState::Missing)
                    << size;
                EXPECT_FALSE(held) << size << ", sector " << i;
            }
        }
    }
}

// A changed .trd written back changes the bytes of the sectors it changed
// and nothing else: but for the flag that a sector whose CRC had failed
// now holds whole data.
TEST(FdiImage, WritesBackOnlyTheSectorsChanged) {
    const std::string trd = disk(0x16, 160);
    std::string fdi = fdi_image(trd, 80, 2);
    const std::size_t failed_flags = entry_of(3, 2) + 4;  // logical sector 49
    fdi[failed_flags] = '\0';
    const FloppyImage floppy = read_fdi(byte_span(fdi));
    const TrdosFloppy before = read_trdos_floppy(floppy, byte_span(fdi));

    const FloppyWriteBack same = plan_write_back(floppy, byte_span(fdi), byte_span(before.trd));
    EXPECT_TRUE(same.writes.empty());
    EXPECT_EQ(write_fdi(byte_span(fdi), floppy, same.writes), fdi);

    std::string edited = before.trd;
    for (const std::size_t number : {std::size_t{8}, std::size_t{21}, std::size_t{49}, std::size_t{2559}}) {
        edited.replace(number * kSectorSize + 7, 3, "NEW");
    }
    const FloppyWriteBack plan = plan_write_back(floppy, byte_span(fdi), byte_span(edited));
    ASSERT_EQ(plan.refused.refusal, SectorRefusal::None);
    ASSERT_EQ(plan.writes.size(), 4U);
    const auto written = write_fdi(byte_span(fdi), floppy, plan.writes);
    ASSERT_TRUE(written);
    ASSERT_EQ(written->size(), fdi.size());
    std::vector<std::size_t> differ;
    for (std::size_t i = 0; i < fdi.size(); ++i) {
        if ((*written)[i] != fdi[i]) {
            differ.push_back(i);
        }
    }
    std::vector<std::size_t> expected = {failed_flags};
    for (const SectorBytes& write : plan.writes) {
        expected.push_back(floppy.tracks[write.track].sectors[write.sector].data_offset + 7);
        expected.push_back(expected.back() + 1);
        expected.push_back(expected.back() + 1);
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(differ, expected);
    EXPECT_EQ((*written)[failed_flags], '\x02');
    const TrdosFloppy after = trdos_of(*written);
    EXPECT_TRUE(after.trd == edited);
    EXPECT_EQ(after.sectors[49].state, SectorState::Read);

    // A write the image cannot take writes nothing.
    std::vector<SectorBytes> short_write = plan.writes;
    short_write[1].bytes.pop_back();
    EXPECT_FALSE(write_fdi(byte_span(fdi), floppy, short_write));
    EXPECT_FALSE(write_fdi(byte_span(*written), floppy, plan.writes));
}

}  // namespace
}  // namespace korve
