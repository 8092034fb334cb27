// The Hobeta header: 17 bytes that a file copied off a TR-DOS disk carries in
// front of its data, so that the data can travel outside the disk image.
//
//   offset  size  content
//   0       8     the file's TR-DOS name, padded with spaces
//   8       1     its type
//   9       2     its start address, little-endian (0 for a source)
//   11      2     length of the data after the header, unsigned, little-endian
//   13      1     zero
//   14      1     the data's length in whole sectors
//   15      2     checksum of bytes 0-14, unsigned, little-endian
//
// Bytes 0-12 are the first thirteen bytes of the file's TR-DOS catalogue
// entry as they stand, and the data that follows is the file's whole
// sectors (a new file's last one filled up with zero bytes). Reading ALASM
// data behind it, only the length and the checksum count, and the data
// starts at offset 17. The checksum adds 257 times each of the first fifteen
// bytes plus its offset, kept to 16 bits.
//
// This unit is the one reader and writer of the header: a value with its
// fields and its checksum's verdict, and the bytes of one.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "formats/trdos_name.h"

namespace korve {

inline constexpr std::size_t kHobetaHeaderSize = 17;

using HobetaBytes = std::array<unsigned char, kHobetaHeaderSize>;

struct HobetaHeader {
    TrdosName name;                 // as it stands
    std::uint16_t start = 0;
    std::uint16_t length = 0;       // of the data after the header
    unsigned char byte13 = 0;       // zero as written; kept as it stands
    unsigned char sectors = 0;      // the data's whole sectors
    std::uint16_t checksum = 0;     // as stored
    bool checksum_matches = false;  // whether it is what the bytes call for

    bool operator==(const HobetaHeader&) const = default;
};

// The header that `bytes` start with; bytes past their end read as zero.
HobetaHeader read_hobeta_header(std::span<const unsigned char> bytes);

// A header's bytes, its checksum what its fields call for (the stored one
// and the verdict do not count).
HobetaBytes hobeta_bytes(const HobetaHeader& header);

// The checksum the first fifteen bytes of a header call for.
std::uint16_t hobeta_checksum(const HobetaBytes& header);

// A Hobeta file: the header, its checksum right, then `data` as it is.
std::string hobeta_file(const HobetaHeader& header, std::span<const unsigned char> data);

}  // namespace korve
