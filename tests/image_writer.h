// Writes TR-DOS disk images and SCL archives holding given files, as TR-DOS
// lays them out, and Teledisk and UDI images of such disks, for the tests
// and the fuzzer's seeds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "formats/floppy.h"
#include "formats/td0_image.h"

namespace korve::testing {

// A file on a disk. Its catalogue length is the size of its data; it takes
// whole sectors, the last one filled up with `slack`, then with zero bytes.
struct DiskFile {
    std::string name{};  // at most eight characters, padded with spaces
    char type = 'C';
    std::string data{};
    std::string slack{};
    bool deleted = false;  // kept, but with 0x01 as its name's first byte
    std::uint16_t start = 0;
};

// A .trd with `files` in its catalogue and their sectors from track 1 on,
// ending after the last of them (trimmed, as some tools keep small disks).
std::string trd_image(const std::vector<DiskFile>& files);

// An .scl archive of `files`, its checksum right.
std::string scl_archive(const std::vector<DiskFile>& files);

// A sector of a Teledisk image: its header, and its data as the data block
// stores it (none where the flags or the size code say so). The data is
// stored whatever its size, and its CRC byte made from it; a method the
// reader does not know stores it as it is.
struct Td0Sector {
    SectorId id{};
    unsigned char flags = 0;
    unsigned char method = kTd0Raw;
    std::string data{};
};

struct Td0Track {
    std::uint8_t cylinder = 0;
    std::uint8_t head = 0;
    std::vector<Td0Sector> sectors{};
};

struct Td0Options {
    bool packed = false;         // "td": everything after the header packed
    std::string comment{};       // its text, where there is a comment block
    unsigned char version = 21;  // 2.1
};

// The tracks of a disk whose sectors are `disk` in a .trd's order (whole
// tracks of 16 sectors of 256 bytes), on one side or two: each track's
// records in the order 1, 9, 2, 10 ... 8, 16 where `interleaved`, and each
// sector stored by method 1 where its data is one two-byte pattern, else
// by method 2 for an odd record and 0 for an even one.
std::vector<Td0Track> td0_tracks(std::string_view disk, unsigned sides, bool interleaved);

// A Teledisk image of `tracks`, its CRCs right.
std::string td0_image(const std::vector<Td0Track>& tracks, const Td0Options& options = {});

// `bytes` packed as LZHUF packs them (formats/td0_lzhuf.h), but each byte a
// literal: its code in the model as it stands, then counted.
std::string lzhuf_literals(std::string_view bytes);

// A fault made in one sector of a UDI image: its ID's CRC, or its data's,
// made wrong.
struct UdiFault {
    std::size_t track = 0;  // in the image's order
    unsigned char record = 1;
    bool in_id = false;
};

// The tracks of a UDI image, and what is made wrong on them.
struct UdiShape {
    std::size_t cylinders = 80;
    std::size_t sides = 2;
    std::size_t track_length = 6250;  // shorter than the fields, it cuts them
    std::string extra_header{};
    std::vector<UdiFault> faults{};
};

// A UDI image of the TR-DOS disk `trd`: its track T (of 16 sectors, zero
// past the end of `trd`) the image's Tth, cylinder T / 2 and head T % 2 on
// two sides, cylinder T on one. Each is an MFM track as TR-DOS formats it:
// the index mark, then the records 1, 9, 2, 10 ... 8, 16 of 256 bytes, each
// field behind 12 zero bytes and three marked A1s, gaps of 4E.
std::string udi_image(const std::string& trd, const UdiShape& shape);

// CRC-16-CCITT as a controller computes it over a field.
std::uint16_t ccitt_crc(std::string_view bytes);

// The CRC-32 a UDI file ends with, as the emulators that write UDI compute
// it, on a signed register.
std::uint32_t udi_crc(std::string_view bytes);

// `udi` with its last four bytes made `crc` of the bytes before them.
std::string with_crc(std::string udi, std::uint32_t (*crc)(std::string_view) = udi_crc);
// The order TR-DOS lays a track's records in, one apart: 1, 9, 2, 10, ...
extern const std::vector<unsigned char> kInterleavedRecords;

// The bytes of logical sector `sector` (track × 16 + sector) of a .trd,
// zero past its end: what a disk formatted whole holds there.
std::string trd_sector(const std::string& trd, std::size_t sector);

// An FDI image of a .trd on `cylinders` cylinders of `sides` sides (logical
// track T on cylinder T / 2, head T % 2 of two, cylinder T of one): each
// track's sectors listed in kInterleavedRecords' order, their data in that
// order too, every sector's CRC right; a description text between the
// headers and the data.
std::string fdi_image(const std::string& trd, std::size_t cylinders, std::size_t sides);

}  // namespace korve::testing
