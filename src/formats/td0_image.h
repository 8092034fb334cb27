// Teledisk images (.td0): a floppy's tracks and sectors as the Teledisk
// program saved them, read into a FloppyImage (floppy.h).
//
// The image starts with a header of 12 bytes (words are little-endian):
//
//   offset  size  content
//   0       2     "TD", or "td" where everything after these 12 bytes is
//                 packed ("advanced compression", td0_lzhuf.h)
//   2       1     volume sequence: 0 for the first file of a set
//   3       1     check signature, the same in every file of a set
//   4       1     Teledisk's version: 10 for 1.0 ... 21 for 2.1
//   5       1     data rate (bit 7: single density)
//   6       1     drive type
//   7       1     stepping; bit 7 set where a comment block follows
//   8       1     DOS allocation flag: only the sectors DOS uses were kept
//   9       1     sides
//   10      2     CRC (below) of the first 10 bytes
//
// The header's CRC is what tells an image from a stray file that starts
// "TD": where it fails, the bytes are no image (NotAnImage). Version 1.x
// packed its "td" images with an older, LZW-based method, which is not read
// (Unsupported). Every CRC is CRC-16 with the polynomial 0xA097, started at
// 0, the bits taken from each byte's top bit down (not reflected), and not
// inverted at the end.
//
// Then, packed or not, the comment block where the stepping byte says so:
//
//   offset  size  content
//   0       2     CRC of the 8 bytes after it and the text
//   2       2     the text's length
//   4       6     date and time: year - 1900, month, day, hour, minute,
//                 second
//   10      text  the text: lines, each ending in a zero byte
//
// Its text is not kept, and its CRC not relied on: the track header that
// follows checks that its length was right.
//
// Then the tracks, each a track header and its sectors; a track header
// whose sector count is 0xFF ends the image:
//
//   offset  size  content
//   0       1     sector count
//   1       1     cylinder
//   2       1     head (bit 7 set for a single-density track: not kept)
//   3       1     the low byte of the CRC of the three bytes before it
//
// A sector: a header of 6 bytes, and a data block unless flags bit 4 or 5
// is set or the size code is above 6 (then the sector holds no data):
//
//   offset  size  content
//   0       4     the ID field: cylinder, head, record, size code N
//   4       1     flags: bit 1, the data's CRC failed on the disk; bit 2,
//                 deleted data; bit 4, not kept (DOS allocation); bit 5, an
//                 ID with no data field
//   5       1     the low byte of the CRC of the data, decoded
//
// A data block: its length (a word, counting the method byte after it), a
// method byte, and what the method reads:
//
//   method  what follows
//   0       the data, as it is
//   1       a count (word), then two bytes: those two repeated count times
//   2       entries to the block's end, each a byte L and a count K: where
//           L is 0, K bytes as they are; otherwise 2L bytes, repeated K
//           times
//
// The data decodes to exactly 128 << N bytes. A sector whose data decodes
// to more or fewer, or whose method is none of these or whose entries do
// not fill the block, or whose CRC byte does not match, is read
// (data_ok = false, its bytes as far as they decoded, then zero bytes); so
// is one flagged with a CRC error.
//
// The sectors' data goes into FloppyImage::decoded, a sector after another.
// A file that ends early gives the tracks and sectors read up to there and
// CutShort; a sector whose data block the end cuts holds as much of its
// data as decodes from the bytes there are, all of it at most, and is
// data_cut and not data_ok: its CRC byte cannot vouch for it. A track header
// whose CRC fails ends the reading with the tracks before it (BadHeader):
// nothing after it can be found. Nothing outside the given bytes is read,
// every count is bounded by them, and an image that would hold more than
// any floppy is refused whole (TooLarge): more than 512 tracks, more than
// 4 MiB of sectors, or packed bytes that unpack to more than 8 MiB.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "formats/floppy.h"

namespace korve {

inline constexpr std::size_t kTd0HeaderSize = 12;
inline constexpr std::size_t kTd0HeaderCrcOffset = 10;
inline constexpr std::size_t kTd0VersionOffset = 4;
inline constexpr std::size_t kTd0SteppingOffset = 7;
inline constexpr unsigned char kTd0CommentFollows = 0x80;
inline constexpr unsigned char kTd0FirstPackedByLzhuf = 20;  // version 2.0
inline constexpr std::size_t kTd0CommentHeaderSize = 10;
inline constexpr std::size_t kTd0TrackHeaderSize = 4;
inline constexpr unsigned char kTd0LastTrack = 0xFF;
inline constexpr unsigned char kTd0SingleDensity = 0x80;
inline constexpr std::size_t kTd0SectorHeaderSize = 6;
inline constexpr unsigned char kTd0CrcFailed = 0x02;
inline constexpr unsigned char kTd0NotKept = 0x10;
inline constexpr unsigned char kTd0NoData = 0x20;
inline constexpr unsigned char kTd0LargestSizeCode = 6;
inline constexpr unsigned char kTd0Raw = 0;
inline constexpr unsigned char kTd0Pattern = 1;
inline constexpr unsigned char kTd0Runs = 2;

// Teledisk's CRC-16 of `bytes`.
std::uint16_t td0_crc(std::span<const unsigned char> bytes);

// Whether `start`, an input's first bytes, begins a Teledisk image: "TD" or
// "td" and a header CRC that holds.
bool is_td0_image(std::span<const unsigned char> start);

// The floppy a Teledisk image holds; its sectors' bytes in `decoded`.
FloppyImage read_td0_image(std::span<const unsigned char> image);

}  // namespace korve
