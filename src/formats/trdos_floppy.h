// The TR-DOS disk a floppy carries: the bytes a .trd of it holds, taken from
// the sectors an image (FDI, UDI, TD0) gives as a FloppyImage (floppy.h); and,
// to write an edited .trd back, which of the image's sectors each of its
// sectors is.
//
// TR-DOS formats a track as 16 sectors of 256 bytes, their IDs numbered
// (record) 1 to 16, size code 1. Its logical track T lies on cylinder T / 2,
// head T % 2 of a disk of two sides, and on cylinder T, head 0 of a disk of
// one side; logical sector S of a track is the one whose ID's record is
// S + 1. A .trd holds the logical tracks in order, 16 × 256 bytes each
// (trdos_image.h).
//
// Which sides the disk has, its disk type says: the byte at 0xE3 of the
// disk-information sector (logical track 0, sector 8, record 9):
//
//   value  disk
//   0x16   80 tracks, two sides
//   0x17   40 tracks, two sides
//   0x18   80 tracks, one side
//   0x19   40 tracks, one side
//
// Where it holds another value, or that sector did not read whole with its
// CRC right, the disk has two sides where any track the image files under
// head 1 holds a sector. The track counts are TR-DOS's, not the image's: the
// disk holds every logical track the image holds, to the last that holds a
// sector (40, 80, 81, 86 cylinders, and more).
//
// A sector is found by its ID, wherever it lies on its track (real disks
// interleave them): among the sectors of the tracks the image files under
// its cylinder and head, one whose ID gives that cylinder, its record and
// size code 1. The ID's head is not compared, as TR-DOS does not ask the
// controller to compare it (formatters write 0 or the side there). Where an
// ID is repeated (copy-protected disks repeat them), the first such sector
// whose data reads whole with its CRC right wins; failing one, the first
// whose data failed its CRC, then the first the image cuts, and without any
// of these the sector is missing.
//
// A sector missing gives zero bytes, one cut the bytes the image holds and
// zero for the rest, one that failed its CRC the bytes as they were read:
// each says so, and whoever reads a file off the disk tells what it lost. A
// sector's bytes are read from the image's bytes, or from the floppy's
// decoded bytes where its reader unpacked them, never outside either: a
// sector that reaches past them is cut.
//
// Writing back: changed_sectors lists the logical sectors an edited .trd
// changes, refuse_sector_changes tells why one of them cannot be written,
// and plan_write_back does both and gives the new bytes, each for the
// image's sector it goes into, for the image's writer (SectorBytes,
// floppy.h). Nothing else of the image is touched.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "formats/floppy.h"

namespace korve {

// How a logical sector was read.
enum class SectorState : unsigned char {
    Read,     // whole, its CRC right
    Missing,  // no ID of it with size code 1, or no data field behind it
    BadCrc,   // its data failed its CRC: given as it was read
    Cut,      // the image ends inside its data
};

// A logical sector, and where the image keeps it (but for a missing one):
// its track's index in FloppyImage::tracks, and its own in that track's
// sectors.
struct LogicalSector {
    SectorState state = SectorState::Missing;
    std::size_t track = 0;
    std::size_t sector = 0;

    bool operator==(const LogicalSector&) const = default;
};

struct TrdosFloppy {
    bool two_sides = true;
    std::string trd;                     // the .trd's bytes: whole logical tracks
    std::vector<LogicalSector> sectors;  // one per 256 bytes of `trd`, in order

    bool operator==(const TrdosFloppy&) const = default;
};

// The TR-DOS disk `floppy` carries, read from `image`, the bytes it was read
// from.
TrdosFloppy read_trdos_floppy(const FloppyImage& floppy, std::span<const unsigned char> image);

// The logical sectors (counted from the disk's start: track × 16 + sector)
// whose bytes the edited .trd `edited` changes, in order. Past the floppy's
// last track, a sector changes where any of its bytes is not zero (zero is
// what a missing sector reads as); the bytes past `edited`'s end are kept as
// the floppy holds them.
std::vector<std::size_t> changed_sectors(const FloppyImage& floppy, std::span<const unsigned char> image,
                                         std::span<const unsigned char> edited);

// Why a logical sector cannot take new bytes.
enum class SectorRefusal : unsigned char {
    None,
    Missing,    // no ID of it on the disk, no data field behind it, or past the disk's tracks
    OtherSize,  // its ID gives another size than 256 bytes
    Cut,        // the image ends inside its data
    Shared,     // another of the image's sectors lies on its bytes: writing it would change both
};

struct RefusedSector {
    SectorRefusal refusal = SectorRefusal::None;
    std::size_t sector = 0;  // the first logical sector refused
};

// The first of `numbers` (logical sectors) that cannot be written.
RefusedSector refuse_sector_changes(const FloppyImage& floppy, std::span<const unsigned char> image,
                                    std::span<const std::size_t> numbers);

// What an edited .trd changes in the image: the first sector refused, or,
// where none is, each changed sector's new bytes.
struct FloppyWriteBack {
    RefusedSector refused;
    std::vector<SectorBytes> writes;
};
FloppyWriteBack plan_write_back(const FloppyImage& floppy, std::span<const unsigned char> image,
                                std::span<const unsigned char> edited);

// In words, for messages: a sector's state ("failed its CRC"; "" for read)
// and a refusal ("the image ends inside it").
std::string_view sector_state_text(SectorState state);
std::string_view sector_refusal_text(SectorRefusal refusal);

}  // namespace korve
