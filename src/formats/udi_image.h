// UDI images (version 1.0): a floppy as its raw tracks, every byte the
// controller would read, with a bit for each byte that was written as a
// mark. Emulators that keep copy-protected disks faithfully write them.
//
//   offset  size  content
//   0       4     "UDI!"
//   4       4     the file's size less 4: where its CRC lies, little-endian
//   8       1     version: 0 (no other is read)
//   9       1     the highest cylinder number: cylinders less 1
//   10      1     the highest head number: sides less 1
//   11      1     reserved: 0
//   12      4     E, the extra header's length, little-endian
//   16      E     the extra header's bytes (skipped)
//   then          the tracks, cylinder by cylinder, head by head
//   then    4     the file's CRC-32, little-endian (below)
//
// A track:
//
//   offset  size         content
//   0       1            type: 0 for MFM. A track of another type (FM, or
//                        FM and MFM mixed) is listed unread, with no sectors
//   1       2            L, the track's length in bytes, little-endian
//   3       L            the raw bytes, from the index on
//   3 + L   (L + 7) / 8  a bit for each raw byte, byte i's in bit i % 8 of
//                        byte i / 8 (the lowest first): set where the byte
//                        was written as a mark, a sync byte without its
//                        clock bit (the A1 before an ID or data mark, the
//                        C2 of the index mark)
//
// The sectors of an MFM track lie in fields, each behind three marked A1
// bytes, as a controller formats them:
//
//   ID field:    A1 A1 A1  FE  C H R N                CRC-16
//   data field:  A1 A1 A1  FB  128 << N bytes of data  CRC-16
//
// F8 in place of FB marks deleted data, read as data (TR-DOS reads both).
// Each CRC-16 is CCITT's (polynomial 0x1021, starting at 0xFFFF, the high
// bit first) over the field from its first A1, and is stored high byte
// first. Only a marked A1 is a sync: data may hold A1 A1 A1 FE of its own.
// An ID whose CRC fails is no sector. A data field is the ID's before it
// where its mark comes within 43 bytes of the ID's end, as long as a
// controller waits for it; an ID followed first by another field, or by
// none in time, has no data. A data field whose CRC fails is read, not ok.
// A track's bytes do not wrap round: a field running past its end is cut
// there. Sectors are listed in the order met on the track, their data's
// offsets in the image's own bytes.
//
// The file's CRC-32 covers every byte before it, computed as the emulators
// that write UDI compute it, which is not zlib's CRC-32: the reflected
// polynomial 0xEDB88320 over a register kept as a signed 32-bit integer,
// so that shifting it right keeps its sign bit, and inverted before and
// after each byte.
//
// What is wrong with an image (FloppyImage::problem; the tracks before the
// trouble are read either way):
//   - NotAnImage: it does not start "UDI!";
//   - CutShort: the file is shorter than its size field says, and the
//     tracks it lists, or their fields, are read as far as its bytes go;
//   - BadHeader: another version; a file longer than its size field says;
//     tracks (from the cylinder and head counts, or a track's length) past
//     the end of a file as long as it says;
//   - FileCrcWrong: the file's CRC does not hold, every track is read, and
//     it is a warning: the sectors' own CRCs still vouch for their data.
//
// The writer puts new bytes into sectors' data fields and rewrites their
// CRC-16 and the file's CRC-32; every other byte of every track (gaps,
// marks, the order of sectors, anything between them) stays as it was. A
// sector whose data CRC failed (data_ok false) gets a good CRC once
// written, and a file whose CRC was wrong a good one: the caller, which
// knows both from the image it read, says so. Nothing is read or written
// outside the given bytes.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "formats/floppy.h"
#include "formats/udi_crc.h"

namespace korve {

inline constexpr std::string_view kUdiSignature = "UDI!";

// The floppy a UDI image holds; its problem says what is wrong with it.
FloppyImage read_udi(std::span<const unsigned char> image);


// Why sectors were not written.
enum class UdiWriteProblem : unsigned char {
    None,
    DamagedImage,  // the image is cut short or its header does not hold
    NoSuchSector,  // a write names a sector the image read does not have
    NoData,        // the sector has no data field, or the track cuts it
    WrongSize,     // the new bytes are not the sector's data_size
    CoversMarks,   // the data field covers another field's marks: writing
                   // it would wipe out that field, as on a real disk
};

struct UdiWritten {
    std::string bytes;  // the new image; empty where refused
    UdiWriteProblem problem = UdiWriteProblem::None;
    std::size_t refused = 0;  // the write refused, where one was
};

// `image`, read as `floppy`, with each of `writes` put into its sector, or
// nothing written at all. No writes give the image as it was.
UdiWritten write_udi(std::span<const unsigned char> image, const FloppyImage& floppy,
                     std::span<const SectorBytes> writes);

// The problem in words, for a message naming the image and the sector.
constexpr std::string_view udi_write_problem_text(UdiWriteProblem problem) {
    switch (problem) {
        case UdiWriteProblem::None: break;
        case UdiWriteProblem::DamagedImage: return "the image is cut short or its header is damaged";
        case UdiWriteProblem::NoSuchSector: return "the image has no such sector";
        case UdiWriteProblem::NoData: return "the sector has no whole data field to write into";
        case UdiWriteProblem::WrongSize: return "the new bytes are not the sector's size";
        case UdiWriteProblem::CoversMarks: return "the sector's data covers the marks of another field";
    }
    return "";
}

// A new UDI image of the TR-DOS disk `trd` (whole tracks of 16 sectors of
// 256 bytes, the last filled up with zero bytes) on two sides, its logical
// track T on cylinder T / 2, head T % 2: each an MFM track of 6,250 bytes
// as TR-DOS formats it, the index mark, then the records 1, 9, 2, 10 ... 8,
// 16, each field behind 12 zero bytes and three marked A1s, gaps of 4E, every
// CRC right, no extra header. read_trdos_floppy gives `trd` back.
std::string new_udi_image(std::span<const unsigned char> trd);

}  // namespace korve
