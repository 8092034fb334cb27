// The TR-DOS disk on a floppy image (FDI, UDI, TD0) as the rest of the
// program takes it: the .trd it carries, its catalogue read as a .trd's,
// and what the image's damage costs the files on it; and put's editor of an
// FDI or UDI image, which edits that .trd as a .trd is edited
// (disk_edit.h) and writes back the sectors the edit changed, each into the
// image's own sector (trdos_floppy.h), so that nothing else of the image
// moves and an image given no change comes back byte for byte.
//
// Damage: a sector missing, cut or failed its CRC loses the data of every
// live file whose sectors take it in (SectorDamaged, naming the first such
// sector), as a file a .trd cuts short is lost: no text is made from bytes
// a floppy could not read. A damaged sector of the catalogue, among those
// the catalogue was read from, may have lost files with their names: the
// image is then said to lose files it cannot name.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>

#include "formats/disk_edit.h"
#include "formats/floppy.h"
#include "formats/trdos_floppy.h"
#include "formats/trdos_image.h"

namespace korve {

// A logical sector (track × 16 + sector) in words: "track 5, sector 3".
std::string logical_sector_text(std::size_t number);
// And how the floppy read it: "track 0, sector 3 failed its CRC" (past its
// last track, missing).
std::string damaged_sector_text(const TrdosFloppy& floppy, std::size_t number);

// Gives each live file of `disk` (read from `floppy.trd`) that takes in a
// sector `floppy` did not read whole its SectorDamaged problem, its data
// lost; the image's problem becomes the first live file's, as read_trd_image
// keeps it.
void mark_damaged_files(DiskImage& disk, const TrdosFloppy& floppy);

// The first catalogue sector (of track 0's first 8, as far as `disk`'s
// catalogue was read, the sector that ended it included) that `floppy` did
// not read whole; none where the catalogue read whole.
std::optional<std::size_t> damaged_catalogue_sector(const DiskImage& disk, const TrdosFloppy& floppy);

// put's editors of a floppy image's files: `changes` made to the .trd the
// image carries, and written back into the image.
EditedImage edit_fdi_image(std::span<const unsigned char> image, std::span<const FileChange> changes);
EditedImage edit_udi_image(std::span<const unsigned char> image, std::span<const FileChange> changes);

}  // namespace korve
