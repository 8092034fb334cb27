// Writes TR-DOS disk images and SCL archives holding given files, as TR-DOS
// lays them out, for the tests and the fuzzer's seeds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

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
