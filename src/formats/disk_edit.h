// Changes to the files of an existing TR-DOS disk image, SCL archive or
// Hobeta file, made the way TR-DOS makes them: every byte that belongs to no
// changed file stays as it was, and so do the other files' entries and
// places, the disk's label, its boot track, its deleted entries and, but for
// what a change moves, its free-space fields. The layouts are trdos_image.h's.
//
// A changed file is named by its catalogue slot (CatalogueEntry::slot), which
// no other change shifts: a file moved before it leaves the others where
// they were.
//
// On a .trd:
//
//   - A file whose new data still fits the sectors its entry gives, and
//     whose sectors are its own, is written in place: its data from its
//     first sector on, the rest of its last sector zero, its catalogue
//     length and sector count updated. The sectors it no longer needs are
//     left as they are, as TR-DOS leaves a deleted file's: the free-space
//     fields do not count them.
//   - A file that outgrows its sectors moves, as TR-DOS moves a file saved
//     again: its entry is marked deleted (its first name byte 0x01, the
//     deleted-file count up by one), and it is added anew with its name,
//     type and start. So does a file whose new data would go into sectors
//     another entry (a deleted one too) gives, or into track 0: written in
//     place, it would change that file or the catalogue.
//   - A new file goes where TR-DOS puts the next one: its entry at the end
//     of the catalogue, where the file count points, its data from the first
//     free sector and track on; the first free sector and track, the free
//     sector count and the file count move on past it. An image that ends
//     after its last file (as some tools keep small disks) grows by the
//     sectors the file takes.
//   - Refused, with nothing changed: a 129th catalogue entry, more sectors
//     than the disk has free, a disk whose information sector does not
//     match its catalogue (the count is not where the catalogue ends, the
//     first free sector lies on track 0 or among a file's sectors): writing
//     where it points would write over a file; a disk on which a live file
//     takes in the catalogue or the information sector, which every change
//     writes to; and a new file of a live file's name and type (padded with
//     spaces alike), of which TR-DOS would only ever find the first.
//
// An .scl is written again with its entries in order: a changed file keeps
// its place, new files come last, deleted entries stay, and the checksum is
// the sum of the new bytes. Bytes after the checksum are kept. A new file of
// a live file's name and type is refused there too.
//
// A Hobeta file keeps its header's name, type, start and byte 13; its length,
// sector count and checksum are the new data's, and the data is filled up
// with zero bytes to whole sectors.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "formats/trdos_image.h"

namespace korve {

// One file to change: a live file given new data, or a new file.
struct FileChange {
    // The live file replaced, by its catalogue slot (CatalogueEntry::slot); none
    // for a new file. Each file is changed once: a second change of a file
    // moved finds its old entry deleted (NoSuchFile).
    std::optional<std::size_t> replaced;
    TrdosFile file;  // of a replaced file, its data and length count
    bool new_start = false;  // a replaced file takes file.start, else keeps its own
};

enum class EditProblem : unsigned char {
    None,
    NoSuchFile,     // `replaced` names no live entry
    FileTooLarge,   // more than kMostSectors sectors
    CatalogueFull,  // no free entry: 128 on a disk, 255 in an archive
    DiskFull,       // fewer free sectors than the file takes
    Inconsistent,   // the disk-information sector does not match the catalogue
    NotWhole,       // the bytes do not hold the whole archive or disk they list
    SameName,       // a new file has a live file's name and type
    FileOnCatalogue,  // a live file's sectors take in track 0's catalogue
    SectorUnwritable,  // a floppy image cannot take a changed sector's new bytes
};

// Where a change went on a disk: in place, moved (having outgrown its
// sectors, or off sectors it shares), or added.
enum class Placement : unsigned char { InPlace, Moved, MovedOffShared, Added };

struct PlacedFile {
    Placement placement = Placement::InPlace;
    std::size_t slot = 0;          // its catalogue entry now
    std::size_t first_sector = 0;  // a .trd's, counted from the disk's first, 16 to a track
    std::size_t old_sectors = 0;   // a replaced file's, before the change
};

// The changed image, or the problem of the first change (by index) that
// could not be made; then no bytes.
struct EditedImage {
    std::string bytes;
    EditProblem problem = EditProblem::None;
    std::size_t change = 0;
    std::size_t free_sectors = 0;    // DiskFull: what the disk had left
    std::vector<PlacedFile> placed;  // one per change, in order
    // SectorUnwritable: the sector (a .trd's count) and why, in words.
    std::size_t sector = 0;
    std::string unwritable;
};

// The changes made, in order, to a .trd's bytes or an .scl's.
EditedImage edit_trd_image(std::span<const unsigned char> image, std::span<const FileChange> changes);
EditedImage edit_scl_archive(std::span<const unsigned char> archive, std::span<const FileChange> changes);

// A Hobeta file whose data is now `data`.
EditedImage edit_hobeta_file(std::span<const unsigned char> hobeta, std::string_view data);

// Why a change could not be made, in words, for a message naming the file.
std::string edit_problem_text(const EditedImage& edited, std::size_t sectors_needed);

// Why and where a file moved, in words, for a note naming it: "outgrew its
// 12 sectors: moved to track 5, sector 2, its old entry marked deleted";
// empty for a file written in place or added.
std::string move_text(const PlacedFile& placed);

}  // namespace korve
