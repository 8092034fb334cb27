#include "formats/disk_edit.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/little_endian.h"
#include "formats/hobeta_header.h"
#include "image_writer.h"

namespace korve {
namespace {

using testing::DiskFile;
using testing::scl_archive;
using testing::trd_image;

std::string sector_filled(std::size_t size, char fill) {
    return std::string(size, fill);
}

unsigned char at(const std::string& bytes, std::size_t offset) {
    return static_cast<unsigned char>(bytes[offset]);
}

std::string bytes_of(std::span<const unsigned char> bytes) { return {bytes.begin(), bytes.end()}; }

std::size_t word_at(const std::string& bytes, std::size_t offset) {
    return read_little_endian(byte_span(bytes), offset, 2);
}

// A's data, B's and a deleted file's: A takes sectors 16-17, the deleted
// file 18, B 19; the first free sector is 20.
std::string disk() {
    return trd_image({{.name = "A", .type = 'H', .data = sector_filled(300, 'a'), .slack = "slack"},
                      {.name = "GONE", .type = 'C', .data = "x", .deleted = true},
                      {.name = "B", .type = 'C', .data = sector_filled(10, 'b'), .start = 0x6000}});
}

std::string with_field(std::string bytes, std::size_t offset, std::size_t size, std::uint32_t value) {
    write_little_endian(writable_bytes(bytes), offset, size, value);
    return bytes;
}

TEST(DiskEdit, ChangesADiskAsTRDOSDoes) {
    const std::string old = disk();
    const std::string info = old.substr(kDiskInformation, kSectorSize);
    const TrdosFile added{trdos_name("NEW", 'H'), 0, sector_filled(600, 'n')};
    std::string full_catalogue;
    {
        std::vector<DiskFile> files(kTrdEntries, DiskFile{.name = "F", .data = "f"});
        full_catalogue = trd_image(files);
    }
    const struct {
        const char* what;
        std::string image;
        FileChange change;
        EditProblem problem;
        Placement placement;
        std::size_t first_sector;  // where the changed file's data now starts
    } cases[] = {
        {"fits: in place",
         old,
         {0, {.data = sector_filled(400, 'A')}},
         EditProblem::None,
         Placement::InPlace,
         16},
        {"shrinks: in place", old, {0, {.data = "tiny"}}, EditProblem::None, Placement::InPlace, 16},
        {"outgrows: moved",
         old,
         {0, {.data = sector_filled(600, 'A')}},
         EditProblem::None,
         Placement::Moved,
         20},
        {"a new file", old, {std::nullopt, added}, EditProblem::None, Placement::Added, 20},
        {"no free sectors",
         with_field(old, kFreeSectorsOffset, 2, 1),
         {std::nullopt, added},
         EditProblem::DiskFull,
         Placement::Added,
         0},
        {"no free entry",
         full_catalogue,
         {std::nullopt, added},
         EditProblem::CatalogueFull,
         Placement::Added,
         0},
        {"a count that is not the catalogue's",
         with_field(old, kFileCountOffset, 1, 2),
         {0, {.data = sector_filled(600, 'A')}},
         EditProblem::Inconsistent,
         Placement::Moved,
         0},
        {"free space among the files",
         with_field(old, kFirstFreeSectorOffset, 1, 3),
         {std::nullopt, added},
         EditProblem::Inconsistent,
         Placement::Added,
         0},
        {"no such file", old, {3, {.data = "x"}}, EditProblem::NoSuchFile, Placement::InPlace, 0},
        {"a deleted entry's slot", old, {1, {.data = "x"}}, EditProblem::NoSuchFile, Placement::InPlace, 0},
        {"a new file of a file's name, padded",
         old,
         {std::nullopt, {trdos_name("B ", 'C'), 0, "x"}},
         EditProblem::SameName,
         Placement::Added,
         0},
        // B's entry made to start at sector 17, A's second.
        {"fits, but another file shares its sectors: moved",
         with_field(old, 2 * kTrdEntrySize + kCatalogueFirstSectorOffset, 1, 1),
         {0, {.data = sector_filled(400, 'A')}},
         EditProblem::None,
         Placement::MovedOffShared,
         20},
        {"shrinks off the shared sector: in place",
         with_field(old, 2 * kTrdEntrySize + kCatalogueFirstSectorOffset, 1, 1),
         {0, {.data = "tiny"}},
         EditProblem::None,
         Placement::InPlace,
         16},
        {"a file over the catalogue, which every change writes to",
         with_field(old, 2 * kTrdEntrySize + kCatalogueFirstSectorOffset, 2, 0),
         {0, {.data = "tiny"}},
         EditProblem::FileOnCatalogue,
         Placement::InPlace,
         0},
    };
    for (const auto& c : cases) {
        const EditedImage edited = edit_trd_image(byte_span(c.image), {&c.change, 1});
        ASSERT_EQ(edited.problem, c.problem) << c.what;
        if (c.problem != EditProblem::None) {
            EXPECT_TRUE(edited.bytes.empty()) << c.what;
            continue;
        }
        ASSERT_EQ(edited.placed.size(), 1U);
        EXPECT_EQ(edited.placed[0].placement, c.placement) << c.what;
        EXPECT_EQ(edited.placed[0].first_sector, c.first_sector) << c.what;
        // Read back as any reader reads it: B as it was, the change's data
        // filling up its last sector with zero bytes.
        const DiskImage image = read_trd_image(byte_span(edited.bytes));
        ASSERT_EQ(image.problem, ImageProblem::None) << c.what;
        const std::vector<CatalogueEntry> files = live_entries(image);
        const std::string& data = c.change.file.data;
        const bool added = c.placement == Placement::Added;
        const bool moved = c.placement == Placement::Moved || c.placement == Placement::MovedOffShared;
        const std::size_t changed = c.placement == Placement::InPlace ? 0 : moved ? 1 : 2;
        ASSERT_EQ(files.size(), added ? 3U : 2U) << c.what;
        EXPECT_EQ(files[changed].slot, edited.placed[0].slot) << c.what;
        EXPECT_EQ(bytes_of(file_sectors(byte_span(edited.bytes), files[changed])),
                  data + std::string((kSectorSize - data.size() % kSectorSize) % kSectorSize, '\0'))
            << c.what;
        EXPECT_EQ(files[changed].length, data.size()) << c.what;
        EXPECT_EQ(files[moved ? 0 : 1], live_entries(read_trd_image(byte_span(c.image)))[1]) << c.what;
        const std::size_t boot = kDiskInformation + kSectorSize;
        EXPECT_EQ(edited.bytes.substr(boot, kFirstFileSector * kSectorSize - boot),
                  old.substr(boot, kFirstFileSector * kSectorSize - boot))
            << c.what;
        if (c.placement == Placement::InPlace) {
            // The sectors it no longer needs, and the disk's fields, as they were.
            const std::size_t used =
                (kFirstFileSector + (data.size() + kSectorSize - 1) / kSectorSize) * kSectorSize;
            EXPECT_EQ(edited.bytes.substr(used), c.image.substr(used)) << c.what;
            EXPECT_EQ(edited.bytes.substr(kDiskInformation, kSectorSize), info) << c.what;
            continue;
        }
        // Moved or added: an entry at the end, the free space past it, the
        // file count up; a moved file's old entry deleted, counted and kept.
        const std::size_t needed = (data.size() + kSectorSize - 1) / kSectorSize;
        EXPECT_EQ(at(edited.bytes, kFirstFreeSectorOffset) + at(edited.bytes, kFirstFreeTrackOffset) * 16U,
                  20 + needed);
        EXPECT_EQ(word_at(edited.bytes, kFreeSectorsOffset), word_at(old, kFreeSectorsOffset) - needed);
        EXPECT_EQ(at(edited.bytes, kFileCountOffset), 4U);
        EXPECT_EQ(at(edited.bytes, kDeletedCountOffset), moved ? 2U : 1U);
        EXPECT_EQ(edited.bytes.substr(1, kTrdEntrySize - 1), old.substr(1, kTrdEntrySize - 1));
        EXPECT_EQ(at(edited.bytes, 0), moved ? kDeletedMark : at(old, 0));
        EXPECT_EQ(edited.bytes.substr(3 * kTrdEntrySize, kCatalogueLengthOffset),
                  moved ? old.substr(0, kCatalogueLengthOffset) : std::string("NEW     H\0\0", 11));
        EXPECT_EQ(edited.bytes.size(), (20 + needed) * kSectorSize) << "the image grows by what it needs";
    }
}

// Several changes, each naming its file by its catalogue slot: A moves
// first, and B, past the deleted entry and A's, is still the file changed.
TEST(DiskEdit, ChangesEachFileByItsSlotWhileAnotherMoves) {
    const std::vector<FileChange> changes = {{0, {.data = sector_filled(600, 'A')}},
                                             {2, {.data = "bee"}},
                                             {std::nullopt, {trdos_name("NEW", 'H'), 0, "new"}}};
    const EditedImage edited = edit_trd_image(byte_span(disk()), changes);
    ASSERT_EQ(edited.problem, EditProblem::None);
    const std::vector<CatalogueEntry> files = live_entries(read_trd_image(byte_span(edited.bytes)));
    ASSERT_EQ(files.size(), 3U);
    const struct {
        std::size_t slot;
        const char* name;
        std::string data;
    } expected[] = {{2, "B", "bee"}, {3, "A", sector_filled(600, 'A')}, {4, "NEW", "new"}};
    for (std::size_t i = 0; i < files.size(); ++i) {
        const CatalogueEntry& entry = files[i];
        EXPECT_EQ(entry.slot, expected[i].slot);
        EXPECT_EQ(name_bytes(entry.name), expected[i].name);
        EXPECT_EQ(bytes_of(file_bytes(byte_span(edited.bytes), entry)), expected[i].data) << expected[i].name;
    }
    EXPECT_EQ(edited.placed[1].placement, Placement::InPlace);
    // A moved file's old slot names no file: a second change of it is refused.
    const FileChange twice[] = {changes[0], {0, {.data = "again"}}};
    const EditedImage refused = edit_trd_image(byte_span(disk()), twice);
    EXPECT_EQ(refused.problem, EditProblem::NoSuchFile);
    EXPECT_EQ(refused.change, 1U);
}

TEST(DiskEdit, WritesAnArchiveAgainAndAHobetaFileAnew) {
    const std::vector<DiskFile> files = {{.name = "A", .type = 'H', .data = sector_filled(300, 'a')},
                                         {.name = "GONE", .type = 'C', .data = "x", .deleted = true},
                                         {.name = "B", .type = 'C', .data = "b", .start = 0x6000}};
    const std::string old = scl_archive(files) + "tail";
    const std::vector<FileChange> changes = {{0, {.data = sector_filled(600, 'A')}},
                                             {2, {.data = "bee"}},
                                             {std::nullopt, {trdos_name("NEW", 'H'), 0, "new"}}};
    const EditedImage edited = edit_scl_archive(byte_span(old), changes);
    ASSERT_EQ(edited.problem, EditProblem::None);
    // A and B changed in their places (B named by its slot, the deleted entry
    // counted), the deleted entry kept, NEW last; the checksum right and the
    // bytes after it kept.
    const std::string expected = scl_archive({{.name = "A", .type = 'H', .data = sector_filled(600, 'A')},
                                              files[1],
                                              {.name = "B", .type = 'C', .data = "bee", .start = 0x6000},
                                              {.name = "NEW", .type = 'H', .data = "new"}});
    EXPECT_EQ(edited.bytes, expected + "tail");
    EXPECT_EQ(read_scl_archive(byte_span(expected)).problem, ImageProblem::None);
    for (const FileChange& refused : {FileChange{1, {.data = "x"}}, FileChange{std::nullopt, {trdos_name("B ", 'C'), 0, "x"}}}) {
        EXPECT_NE(edit_scl_archive(byte_span(old), {&refused, 1}).problem, EditProblem::None) << shown_name(refused.file.name);
    }

    const std::string hobeta = write_hobeta_file({trdos_name("CODE", 'C'), 0x6000, sector_filled(300, 'c')}).bytes;
    const EditedImage file = edit_hobeta_file(byte_span(hobeta), "short");
    EXPECT_EQ(file.bytes, write_hobeta_file({trdos_name("CODE", 'C'), 0x6000, "short"}).bytes);
    EXPECT_EQ(edit_hobeta_file(byte_span(hobeta), sector_filled(kMostSectors * kSectorSize + 1, 'x')).problem,
              EditProblem::FileTooLarge);
}

}  // namespace
}  // namespace korve
