#include "formats/trdos_floppy.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "base/little_endian.h"
#include "formats/trdos_image.h"
#include "image_writer.h"

namespace korve {
namespace {

using testing::kInterleavedRecords;
using testing::trd_sector;

// A floppy built here, as a reader would give it: its sectors' bytes back to
// back in `bytes`, each track's in kInterleavedRecords' order.
struct Built {
    FloppyImage floppy;
    std::string bytes;
};

Built floppy_of(const std::string& trd, std::size_t cylinders, std::size_t sides) {
    Built built;
    for (std::size_t c = 0; c < cylinders; ++c) {
        for (std::size_t h = 0; h < sides; ++h) {
            FloppyTrack track{static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(h), {}};
            for (const unsigned char record : kInterleavedRecords) {
                const std::size_t logical = sides == 2 ? c * 2 + h : c;
                const SectorId id{static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(h), record, 1};
                track.sectors.push_back({id, built.bytes.size(), kSectorSize});
                built.bytes += trd_sector(trd, logical * kSectorsPerTrack + record - 1U);
            }
            built.floppy.tracks.push_back(std::move(track));
        }
    }
    return built;
}

// A disk of files, its disk type `type`, as long as `tracks` logical tracks:
// each sector's bytes its own.
std::string disk(unsigned char type, std::size_t tracks) {
    std::string trd = testing::trd_image({{.name = "CODE", .data = std::string(5000, '\x5A')}});
    trd.resize(tracks * kSectorsPerTrack * kSectorSize, '\0');
    for (std::size_t i = kFirstFileSector; i < trd.size() / kSectorSize; ++i) {
        trd[i * kSectorSize] = static_cast<char>(i);
        trd[i * kSectorSize + 1] = static_cast<char>(i >> 8);
    }
    trd[kDiskTypeOffset] = static_cast<char>(type);
    return trd;
}

// Sector `record` of track `track` of the floppy, as listed.
FloppySector& sector(Built& built, std::size_t track, unsigned char record) {
    for (FloppySector& found : built.floppy.tracks[track].sectors) {
        if (found.id.record == record) {
            return found;
        }
    }
    return built.floppy.tracks.at(track).sectors.at(99);
}

// Adds, on `track`, a sector of `id` whose data is `bytes`: before the
// sectors listed, or after them.
void add_sector(Built& built, std::size_t track, SectorId id, const std::string& bytes, bool ok, bool first) {
    std::vector<FloppySector>& sectors = built.floppy.tracks[track].sectors;
    const FloppySector added{id, built.bytes.size(), bytes.size(), true, ok};
    sectors.insert(first ? sectors.begin() : sectors.end(), added);
    built.bytes += bytes;
}

struct FloppyCase {
    const char* what;
    unsigned char type;          // the disk type the .trd holds
    std::size_t cylinders;       // of the floppy
    std::size_t sides;
    std::function<void(Built&)> change;
    bool two_sides;
    std::size_t tracks;          // logical
    std::map<std::size_t, SectorState> states;  // of the sectors not read whole
    std::map<std::size_t, std::string> bytes;   // of sectors unlike the .trd's
};

TEST(TrdosFloppy, ReadsTheDiskItsSectorsCarryByTheirIds) {
    const std::string other(kSectorSize, '\x77');
    const std::string zero(kSectorSize, '\0');
    // Logical sector 16 × T + S; 20 is record 5 of cylinder 0, head 1.
    const FloppyCase cases[] = {
        {"two sides, interleaved", 0x16, 80, 2, {}, true, 160, {}, {}},
        {"one side", 0x18, 80, 1, {}, false, 80, {}, {}},
        {"40 tracks, one side", 0x19, 40, 1, {}, false, 40, {}, {}},
        {"86 cylinders", 0x16, 86, 2, {}, true, 172, {}, {}},
        {"no useful type, a head 1", 0x00, 80, 2, {}, true, 160, {}, {}},
        {"no useful type, no head 1", 0x00, 80, 1, {}, false, 80, {}, {}},
        {"the type says one side, an image of two", 0x18, 80, 2, {}, false, 80, {}, {}},
        {"unformatted tracks past the disk", 0x16, 83, 2,
         [](Built& b) { b.floppy.tracks[163].sectors.clear(); b.floppy.tracks[164].sectors.clear(); b.floppy.tracks[165].sectors.clear(); },
         true, 163, {}, {}},
        {"a missing sector", 0x16, 80, 2, [](Built& b) { sector(b, 1, 5).id.record = 17; }, true, 160,
         {{20, SectorState::Missing}}, {{20, zero}}},
        {"an ID without data", 0x16, 80, 2, [](Built& b) { sector(b, 1, 5).has_data = false; }, true, 160,
         {{20, SectorState::Missing}}, {{20, zero}}},
        {"an ID of another cylinder", 0x16, 80, 2, [](Built& b) { sector(b, 1, 5).id.cylinder = 1; }, true, 160,
         {{20, SectorState::Missing}}, {{20, zero}}},
        {"an ID of 512 bytes", 0x16, 80, 2, [](Built& b) { sector(b, 1, 5).id.size_code = 2; }, true, 160,
         {{20, SectorState::Missing}}, {{20, zero}}},
        {"a head of 0 in the IDs of side 1", 0x16, 80, 2,
         [](Built& b) { for (FloppySector& s : b.floppy.tracks[1].sectors) { s.id.head = 0; } }, true, 160, {}, {}},
        {"a bad CRC", 0x16, 80, 2, [](Built& b) { sector(b, 1, 5).data_ok = false; }, true, 160,
         {{20, SectorState::BadCrc}}, {}},
        {"data cut", 0x16, 80, 2,
         [](Built& b) { FloppySector& s = sector(b, 1, 5); s.data_cut = true; s.data_size = 2; }, true, 160,
         {{20, SectorState::Cut}}, {{20, trd_sector(disk(0x16, 160), 20).substr(0, 2) + zero.substr(2)}}},
        {"data past the bytes", 0x16, 80, 2,
         [](Built& b) { b.bytes += 'Q'; sector(b, 1, 5).data_offset = b.bytes.size() - 1; }, true, 160,
         {{20, SectorState::Cut}}, {{20, "Q" + zero.substr(1)}}},
        {"a repeated ID: the first with good data wins", 0x16, 80, 2,
         [&](Built& b) {
             add_sector(b, 1, {0, 1, 5, 1}, other, false, true);
             add_sector(b, 1, {0, 1, 5, 1}, zero, true, false);
         },
         true, 160, {}, {}},
        {"a repeated ID, none good: the first that failed", 0x16, 80, 2,
         [&](Built& b) {
             sector(b, 1, 5).data_ok = false;
             add_sector(b, 1, {0, 1, 5, 1}, other, false, true);
         },
         true, 160, {{20, SectorState::BadCrc}}, {{20, other}}},
        {"an information sector that failed", 0x16, 80, 1, [](Built& b) { sector(b, 0, 9).data_ok = false; },
         false, 80, {{8, SectorState::BadCrc}}, {}},
    };
    for (const FloppyCase& c : cases) {
        const std::string trd = disk(c.type, c.cylinders * c.sides);
        Built built = floppy_of(trd, c.cylinders, c.sides);
        if (c.change) {
            c.change(built);
        }
        const TrdosFloppy read = read_trdos_floppy(built.floppy, byte_span(built.bytes));
        EXPECT_EQ(read.two_sides, c.two_sides) << c.what;
        ASSERT_EQ(read.trd.size(), c.tracks * kSectorsPerTrack * kSectorSize) << c.what;
        ASSERT_EQ(read.sectors.size(), c.tracks * kSectorsPerTrack) << c.what;
        // A disk read as one side of an image of two: its logical track T is
        // cylinder T's head 0, logical track 2T of the .trd.
        const std::size_t step = c.sides == 2 && !c.two_sides ? 2 : 1;
        for (std::size_t i = 0; i < read.sectors.size(); ++i) {
            const auto state = c.states.find(i);
            EXPECT_EQ(read.sectors[i].state, state == c.states.end() ? SectorState::Read : state->second)
                << c.what << ", sector " << i;
            const auto bytes = c.bytes.find(i);
            const std::string expected = bytes != c.bytes.end() ? bytes->second
                : trd_sector(trd, (i / kSectorsPerTrack * step) * kSectorsPerTrack + i % kSectorsPerTrack);
            EXPECT_EQ(read.trd.substr(i * kSectorSize, kSectorSize), expected) << c.what << ", sector " << i;
        }
    }
}

struct WriteBackCase {
    const char* what;
    std::vector<std::size_t> edited;  // sectors given other bytes
    std::size_t length;               // of the edited .trd: its sectors, its bytes past them
    std::vector<std::size_t> changed;
    RefusedSector refused;
};

TEST(TrdosFloppy, WritesBackTheSectorsAnEditChangesWhereTheyLie) {
    const std::string trd = disk(0x16, 160);
    Built built = floppy_of(trd, 80, 2);
    // On logical track 3 (cylinder 1, head 1): sector 1 failed its CRC,
    // sector 2 is missing, sector 3 is of 512 bytes, sector 4 cut, and sector
    // 5's data lies on sector 6's.
    sector(built, 3, 2).data_ok = false;
    sector(built, 3, 3).id.record = 17;
    sector(built, 3, 4).id.size_code = 2;
    sector(built, 3, 5).data_cut = true;
    sector(built, 3, 6).data_offset = sector(built, 3, 7).data_offset;
    const std::size_t whole = trd.size();
    const WriteBackCase cases[] = {
        {"nothing", {}, whole, {}, {}},
        {"a sector on each side, track 0's sector 1 too", {1, 17, 20}, whole, {1, 17, 20}, {}},
        {"a sector that failed its CRC", {49}, whole, {49}, {}},
        {"a missing sector", {20, 50}, whole, {20, 50}, {SectorRefusal::Missing, 50}},
        {"a sector of another size", {51}, whole, {51}, {SectorRefusal::OtherSize, 51}},
        {"a cut sector", {52}, whole, {52}, {SectorRefusal::Cut, 52}},
        {"a sector whose bytes another shares", {53}, whole, {53}, {SectorRefusal::Shared, 53}},
        {"a sector past the disk", {2560}, whole + kSectorSize, {2560}, {SectorRefusal::Missing, 2560}},
        {"zero bytes past the disk", {}, whole + 2 * kSectorSize, {}, {}},
        {"an edited disk that ends early", {}, whole / 2 + 10, {}, {}},
        {"an edited disk that ends inside a changed sector", {100}, 100 * kSectorSize + 1, {100}, {}},
    };
    for (const WriteBackCase& c : cases) {
        const TrdosFloppy read = read_trdos_floppy(built.floppy, byte_span(built.bytes));
        std::string edited = read.trd;
        edited.resize(c.length, '\0');
        for (const std::size_t number : c.edited) {
            edited[number * kSectorSize] = static_cast<char>(~edited[number * kSectorSize]);
        }
        const auto image = byte_span(built.bytes);
        const std::vector<std::size_t> changed = changed_sectors(built.floppy, image, byte_span(edited));
        EXPECT_EQ(changed, c.changed) << c.what;
        const RefusedSector refused = refuse_sector_changes(built.floppy, image, changed);
        EXPECT_EQ(refused.refusal, c.refused.refusal) << c.what;
        EXPECT_EQ(refused.sector, c.refused.sector) << c.what;

        const FloppyWriteBack plan = plan_write_back(built.floppy, image, byte_span(edited));
        EXPECT_EQ(plan.refused.refusal, c.refused.refusal) << c.what;
        ASSERT_EQ(plan.writes.size(), c.refused.refusal == SectorRefusal::None ? c.changed.size() : 0) << c.what;
        for (std::size_t i = 0; i < plan.writes.size(); ++i) {
            const SectorBytes& write = plan.writes[i];
            const std::size_t number = c.changed[i];
            const SectorId id = built.floppy.tracks[write.track].sectors[write.sector].id;
            EXPECT_EQ(id, (SectorId{static_cast<std::uint8_t>(number / 32), static_cast<std::uint8_t>(number / 16 % 2),
                                    static_cast<std::uint8_t>(number % 16 + 1), 1}))
                << c.what;
            std::string expected = read.trd.substr(number * kSectorSize, kSectorSize);
            expected[0] = static_cast<char>(~expected[0]);
            EXPECT_EQ(write.bytes, expected) << c.what;
        }
    }
}

}  // namespace
}  // namespace korve
