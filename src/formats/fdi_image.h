// FDI floppy images: a header, a header per track listing its sectors'
// IDs and where their data lies, then the data. Read into a FloppyImage
// (floppy.h), whose TR-DOS disk trdos_floppy.h finds; written back with new
// bytes in given sectors.
//
// Every field is little-endian. The header:
//
//   offset  size  content
//   0       3     "FDI", the image's mark
//   3       1     write protection: nonzero where the disk is protected
//   4       2     cylinders
//   6       2     heads
//   8       2     where the description text starts (text ending in 0)
//   10      2     where the data area starts
//   12      2     the length E of extra header bytes
//   14      E     the extra header bytes
//
// Then, from 14 + E, a track header per track, cylinder by cylinder and,
// within a cylinder, head by head:
//
//   offset  size    content
//   0       4       where the track's data starts, from the data area's start
//   4       2       zero
//   6       1       sector count S
//   7       7 × S   the sectors, in the order they lie on the track:
//
//     offset  size  content
//     0       1     C: the cylinder its ID gives
//     1       1     H: the head its ID gives
//     2       1     R: its record
//     3       1     N: its size code, the sector holding 128 << N bytes
//     4       1     flags: bit k (k = 0 to 5) set where its data was read
//                   with its CRC right as 128 << k bytes; none of bits 0 to 5
//                   set, its CRC failed; bit 7 set, its data field was marked
//                   deleted (which TR-DOS does not tell apart)
//     5       2     where its data starts, from the track's data start
//
// A sector's data lies at the data area's start plus its track's offset
// plus its own. A sector whose flags are 0 and whose data would start at or
// past the image's end has no data field (the ID alone was found).
//
// Reading never reaches outside the bytes: an image that ends inside its
// track headers gives the tracks and sectors whose headers it holds whole,
// one that ends inside a sector's data gives that sector cut; either is
// CutShort. More than 256 cylinders or heads (a cylinder and a head are
// each a byte in an ID) is BadHeader, and no tracks. The description text,
// the extra header bytes and the write protection are kept, never read.
//
// Writing puts new bytes into given sectors' data and changes nothing else
// but one thing: a sector whose CRC had failed, given new bytes, gets the
// flag of its size code set (bit N), as its new bytes are whole.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>

#include "formats/floppy.h"

namespace korve {

inline constexpr std::size_t kFdiHeaderSize = 14;

// Whether bytes start with FDI's mark.
bool has_fdi_mark(std::span<const unsigned char> start);

FloppyImage read_fdi(std::span<const unsigned char> image);

// `image` with each of `writes` put into its sector's data; nothing where
// `floppy` is not what read_fdi reads from `image`, or a write names no
// sector, one without data, cut, or lying on the image's headers, or has
// another count of bytes than its sector holds, or failed its CRC with a
// size code no flag stands for (above 5).
std::optional<std::string> write_fdi(std::span<const unsigned char> image, const FloppyImage& floppy,
                                     std::span<const SectorBytes> writes);

// A new FDI image of the TR-DOS disk `trd` (whole tracks of 16 sectors of
// 256 bytes, the last filled up with zero bytes) on two sides, its logical
// track T on cylinder T / 2, head T % 2: each track's sectors in the order
// 1 to 16, every CRC right, an empty description text, no extra header
// bytes, not write-protected. read_trdos_floppy gives `trd` back.
std::string new_fdi_image(std::span<const unsigned char> trd);

}  // namespace korve
