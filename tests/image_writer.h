// Writes TR-DOS disk images and SCL archives holding given files, as TR-DOS
// lays them out, for the tests and the fuzzer's seeds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
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

}  // namespace korve::testing
