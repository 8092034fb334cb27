// TR-DOS disk images (.trd) and SCL archives (.scl): each one's catalogue,
// read once into values that reading and editing (disk_edit.h) share, and
// the files on it as views of the image's bytes.
//
// Both list their files with the same fields. A catalogue entry:
//
//   offset  size  content
//   0       8     name, padded with spaces. A first byte of 0x01 marks a
//                 deleted file; on a .trd, a first byte of 0x00 ends the
//                 catalogue
//   8       1     type: one character, as TR-DOS lists it after the name
//   9       2     start address, little-endian; carried into the Hobeta file
//   11      2     length in bytes, little-endian: where the file's data ends
//   13      1     length in sectors of 256 bytes: the data, in whole sectors
//   14      1     first sector within its track (.trd only)
//   15      1     first track (.trd only)
//
// A .trd is the disk's sectors in order, 16 to a track, the tracks of both
// sides counted as one run (cylinder 0 side 0, cylinder 0 side 1, ...), at
// most 80 cylinders of two sides: 640 KiB. A file's sectors follow each
// other from its first one, whatever track they fall on.
//
//   offset  size  content
//   0x000   2048  the catalogue: 128 entries of 16 bytes
//   0x800   256   the disk-information sector (track 0, the ninth sector)
//
// The disk-information sector, as TR-DOS keeps it (offsets within it):
//
//   offset  size  content
//   0x00    225   zero
//   0xE1    1     the first free sector, within its track
//   0xE2    1     the first free track: where TR-DOS puts the next file
//   0xE3    1     disk type: 0x16 for 80 tracks on two sides
//   0xE4    1     file count, deleted files included
//   0xE5    2     free sectors, little-endian
//   0xE7    1     0x10, the mark TR-DOS leaves on every disk it formats: the
//                 one field a reader relies on, and how a disk is recognised
//   0xE8    2     zero
//   0xEA    9     spaces
//   0xF3    1     zero
//   0xF4    1     deleted file count
//   0xF5    8     the disk's label, padded with spaces
//   0xFD    3     zero
//
// An .scl archive holds the files alone, back to back:
//
//   offset  size      content
//   0       8         "SINCLAIR", the archive's signature
//   8       1         file count N
//   9       14 × N    the files' catalogue entries, less the last two bytes:
//                     the archive places the data itself
//   then    sectors   each file's whole sectors, in the order of the entries
//   then    4         checksum: the sum of every byte before it, unsigned,
//                     32-bit, little-endian
//
// An archive shorter than its count calls for lost its end: its files are
// read as far as its bytes go, and the rest are lost. Only where its bytes
// hold a whole archive of fewer files, its checksum right, is the count
// taken to be wrong (CountTooLarge): a count is trusted as far as the
// archive's size and checksum bear it out.
//
// A new image is written whole, in the same layouts. A .trd is a disk as
// TR-DOS formats it for 80 tracks on two sides, all 640 KiB: the files in
// catalogue order from track 1 on, each in the sectors right after the one
// before, and the disk-information sector filled in (where the free space
// starts, how much is left, how many files, none deleted, the spaces, the
// mark, the label). An .scl holds the same entries and sectors. The last
// sector of a file is filled up with zero bytes. Names are refused, not cut:
// an empty one (or spaces alone, which read back as empty), one longer than
// 8 bytes, one holding a byte below 0x20 (0x00 would end the catalogue,
// 0x01 delete the file), and two files of one name and type, of which
// TR-DOS would only ever find the first.
//
// An image is read from memory, whole: a disk is small. Nothing outside the
// given bytes is ever read, and every count is bounded by a byte. What kind
// of image given bytes are is container.h's to say. A file's bytes are never
// copied out of the image: its entry names where they lie; a Hobeta file is
// made of them only where a file leaves the disk (hobeta_header_of).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "formats/hobeta_header.h"
#include "formats/trdos_name.h"

namespace korve {

// A catalogue entry's fields.
inline constexpr std::size_t kCatalogueStartOffset = 9;
inline constexpr std::size_t kCatalogueLengthOffset = 11;
inline constexpr std::size_t kCatalogueSectorsOffset = 13;
inline constexpr std::size_t kCatalogueFirstSectorOffset = 14;
inline constexpr std::size_t kCatalogueFirstTrackOffset = 15;
inline constexpr unsigned char kDeletedMark = 0x01;
inline constexpr unsigned char kCatalogueEnd = 0x00;

// A .trd.
inline constexpr std::size_t kSectorSize = 256;
inline constexpr std::size_t kSectorsPerTrack = 16;
// A sector's size code in the ID TR-DOS formats it with: 128 << 1 bytes.
inline constexpr std::uint8_t kTrdosSizeCode = 1;
inline constexpr std::size_t kLargestDisk = std::size_t{80} * 2 * kSectorsPerTrack * kSectorSize;
// Images of real floppies hold more tracks than TR-DOS formats (81, 86 or
// more cylinders): a catalogue entry's track is a byte, so a disk read may
// hold up to 256 tracks, and a file lies past the disk only beyond them.
inline constexpr std::size_t kFarthestDisk = std::size_t{256} * kSectorsPerTrack * kSectorSize;
inline constexpr std::size_t kTrdEntrySize = 16;
inline constexpr std::size_t kTrdEntries = 128;
inline constexpr std::size_t kDiskInformation = 0x800;
static_assert(kTrdEntries * kTrdEntrySize <= kDiskInformation);

// The disk-information sector's fields, as offsets into the image.
inline constexpr std::size_t kFirstFreeSectorOffset = kDiskInformation + 0xE1;
inline constexpr std::size_t kFirstFreeTrackOffset = kDiskInformation + 0xE2;
inline constexpr std::size_t kDiskTypeOffset = kDiskInformation + 0xE3;
inline constexpr unsigned char kEightyTracksTwoSides = 0x16;
inline constexpr std::size_t kFileCountOffset = kDiskInformation + 0xE4;
inline constexpr std::size_t kFreeSectorsOffset = kDiskInformation + 0xE5;
inline constexpr std::size_t kTrdosMarkOffset = kDiskInformation + 0xE7;
inline constexpr unsigned char kTrdosMark = 0x10;
inline constexpr std::size_t kDeletedCountOffset = kDiskInformation + 0xF4;
inline constexpr std::size_t kDiskLabelOffset = kDiskInformation + 0xF5;
inline constexpr std::size_t kDiskLabelSize = 8;
inline constexpr std::size_t kDiskSpacesOffset = kDiskInformation + 0xEA;
inline constexpr std::size_t kDiskSpacesSize = 9;

// Where a new disk keeps its files: every sector past track 0.
inline constexpr std::size_t kFirstFileSector = kSectorsPerTrack;
inline constexpr std::size_t kDiskSectors = kLargestDisk / kSectorSize;

// An .scl.
inline constexpr std::string_view kSclSignature = "SINCLAIR";
inline constexpr std::size_t kSclCountOffset = 8;
inline constexpr std::size_t kSclEntriesOffset = 9;
inline constexpr std::size_t kSclEntrySize = 14;
inline constexpr std::size_t kSclChecksumSize = 4;

// The largest file (a file's sector count is a byte) and the largest image
// there can be: an .scl of 255 files (its count is a byte) of 255 sectors
// each, about 16 MiB. Larger bytes are no image, and need not be read to
// know it.
inline constexpr std::size_t kMostFiles = 255;
inline constexpr std::size_t kMostSectors = 255;
inline constexpr std::size_t kLargestFile = kMostSectors * kSectorSize;
inline constexpr std::size_t kLargestImage =
    kSclEntriesOffset + kMostFiles * (kSclEntrySize + kLargestFile) + kSclChecksumSize;
static_assert(kLargestImage > kLargestDisk);

// Sector maths, for every unit: the whole sectors `size` bytes take, where a
// sector starts in a .trd, and a sector's number from its track and its
// place on the track, and back.
constexpr std::size_t sectors_of(std::size_t size) { return (size + kSectorSize - 1) / kSectorSize; }
constexpr std::size_t sector_offset(std::size_t sector) { return sector * kSectorSize; }
constexpr std::size_t sector_number(std::size_t track, std::size_t sector) {
    return track * kSectorsPerTrack + sector;
}
// `data` and the zero bytes that fill up its last sector.
std::string whole_sectors(std::string_view data);
constexpr std::size_t track_of(std::size_t sector) { return sector / kSectorsPerTrack; }
constexpr std::size_t sector_in_track(std::size_t sector) { return sector % kSectorsPerTrack; }

// What is wrong with an image, or with one of its files.
enum class ImageProblem : unsigned char {
    None,
    NotAnImage,        // neither a TR-DOS disk image nor an SCL archive
    CutShort,          // the bytes end before the files they list
    PastTheDisk,       // a catalogue entry points past the end of any disk
    CountTooLarge,     // an SCL file count larger than the archive holds
    ChecksumMismatch,  // an SCL archive whose checksum is not its bytes' sum
    SectorDamaged,     // a floppy image's sector of the file is missing, cut or failed its CRC
};

// A problem in words: of an image ("cut short"), and of one of its files
// ("its data is lost: ..."); and its fixed name, as the page and `list
// --json` name it ("cut-short"; "" for none).
std::string_view image_problem(ImageProblem problem);
std::string_view entry_problem(ImageProblem problem);
std::string_view problem_key(ImageProblem problem);

// Bytes of an image: where they start, and how many.
struct ByteRange {
    std::size_t offset = 0;
    std::size_t size = 0;

    bool operator==(const ByteRange&) const = default;
};

// One slot of the catalogue, deleted or live.
struct CatalogueEntry {
    // Its place in the catalogue, deleted entries counted: its identity,
    // which no change shifts (disk_edit.h names files by it).
    std::size_t slot = 0;
    TrdosName name;  // a deleted entry's begins with kDeletedMark
    std::uint16_t start = 0;
    std::uint16_t length = 0;    // where the file's data ends
    unsigned char sectors = 0;   // the data, in whole sectors
    std::size_t first_sector = 0;  // a .trd's, sector_number's count; 0 in an .scl
    ByteRange data;              // its whole sectors in the image; empty where lost
    bool deleted = false;
    ImageProblem problem = ImageProblem::None;  // why its data could not be read
    // SectorDamaged: the first of its sectors a floppy image lost, in words
    // ("track 5, sector 3 failed its CRC").
    std::string damage;
    // Whether its data is ALASM data: read_disk_image (container.h) tells.
    bool alasm = false;

    bool operator==(const CatalogueEntry&) const = default;
};

// A file's problem in words, naming the damaged sector where one lost it:
// "its data is lost: track 5, sector 3 failed its CRC".
std::string entry_problem_text(const CatalogueEntry& entry);

// The fields of a .trd's disk-information sector that a change moves.
struct DiskInformation {
    std::size_t first_free = 0;  // the first free sector, sector_number's count
    std::size_t file_count = 0;  // deleted files included
    std::size_t free_sectors = 0;
    std::size_t deleted_count = 0;

    bool operator==(const DiskInformation&) const = default;
};

struct DiskImage {
    ImageProblem problem = ImageProblem::None;  // the first one a live file or the image met
    // Every slot read, in catalogue order, deleted ones too: on a .trd up to
    // the catalogue's end; in an .scl as many as its count (or its bytes).
    std::vector<CatalogueEntry> entries;
    // Files an archive cut short counts but holds no catalogue entry of: their
    // names are lost with their data.
    std::size_t unlisted = 0;
    // An archive cut short before its file count: whatever it held is lost.
    bool count_lost = false;
    // A .trd's disk-information sector, where the image holds it.
    std::optional<DiskInformation> information;
    // Where the bytes the catalogue accounts for end: an .scl's checksum's
    // end (or the image's, if sooner); a .trd's size.
    std::size_t end = 0;

    bool operator==(const DiskImage&) const = default;
};

// The live files of an image, in catalogue order: what every reader of its
// files lists.
std::vector<CatalogueEntry> live_entries(const DiskImage& image);

// How many of the files an image lists or counts it lost: those whose data
// could not be read, and those whose entries are lost too.
std::size_t lost_files(const DiskImage& image);

// Whether an image lost files it cannot name: their entries, or its count.
bool loses_unnamed_files(const DiskImage& image);

// What is wrong with an image as a whole, and what it lost, in words: "cut
// short; 3 of its 9 files lost"; empty for nothing.
std::string image_problem_text(const DiskImage& image);

// Whether bytes start with the signature of an SCL archive.
bool has_scl_signature(std::span<const unsigned char> start);

// Whether bytes hold TR-DOS's mark where a disk image keeps it.
bool has_trdos_mark(std::span<const unsigned char> start);

// What bytes that are no image read as: NotAnImage, and nothing in it.
DiskImage not_an_image();

// Reads bytes as a .trd, or as an .scl. A broken image still gives every
// file that can be read.
DiskImage read_trd_image(std::span<const unsigned char> image);
DiskImage read_scl_archive(std::span<const unsigned char> archive);

// A file's whole sectors in `image` (the bytes its catalogue was read
// from), and the bytes its catalogue length gives, as many as its sectors
// hold; empty where its data is lost.
std::span<const unsigned char> file_sectors(std::span<const unsigned char> image, const CatalogueEntry& entry);
std::span<const unsigned char> file_bytes(std::span<const unsigned char> image, const CatalogueEntry& entry);

// The Hobeta header a file carries off the disk: its entry's name, type,
// start and length, and its sector count.
HobetaHeader hobeta_header_of(const CatalogueEntry& entry);

// A .trd's disk-information sector's fields written into its bytes.
void write_disk_information(const DiskInformation& information, std::span<unsigned char> image);

// An .scl of `entries` (deleted ones as they are) and each one's whole
// sectors, in order, its checksum the sum of its bytes.
std::string scl_archive_bytes(std::span<const CatalogueEntry> entries, std::span<const std::string> sectors);

// A file to write into a new image, or behind a Hobeta header.
struct TrdosFile {
    TrdosName name{};
    std::uint16_t start = 0;
    std::string data{};  // at most kLargestFile bytes, what its sectors hold
    // The catalogue's length, where its sectors hold more than the file (a
    // Hobeta file's whole sectors: a BASIC program's autostart line lies past
    // its length); none: data's size.
    std::optional<std::uint16_t> length{};
};

// The length a file's catalogue entry gives.
std::uint16_t catalogue_length(const TrdosFile& file);

enum class WriteProblem : unsigned char {
    None,
    BadName,       // check_trdos_name refuses it
    FileTooLarge,  // more than kMostSectors sectors
    SameName,      // the name and type of a file before it
    TooManyFiles,  // more than the catalogue holds: 128 on a .trd, 255 in an .scl
    DiskFull,      // more sectors than a disk has free
};

// A written file or image, or the problem of the first file (by index) that
// could not go in; then no bytes.
struct WrittenImage {
    std::string bytes;
    WriteProblem problem = WriteProblem::None;
    std::size_t file = 0;
};

// The bytes of a catalogue entry: a .trd's 16 (an .scl keeps the first
// kSclEntrySize).
using CatalogueFields = std::array<unsigned char, kTrdEntrySize>;
CatalogueFields catalogue_fields(const CatalogueEntry& entry);

// A new file's entry, its data from `first_sector` of a disk on.
CatalogueEntry new_entry(const TrdosFile& file, std::size_t slot, std::size_t first_sector);

// Why `file` could not go in, in words, for messages.
std::string write_problem_text(WriteProblem problem, const TrdosFile& file);

WrittenImage write_hobeta_file(const TrdosFile& file);
// `label`: the disk's, padded with spaces, or cut, to 8 bytes.
WrittenImage write_trd_image(std::span<const TrdosFile> files, std::string_view label);
WrittenImage write_scl_archive(std::span<const TrdosFile> files);

}  // namespace korve
