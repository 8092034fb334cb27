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
// sectors (a new file's last one filled up with zero bytes). Reading, only
// the length and the checksum count. The checksum adds 257 times each of the first fifteen bytes plus
// its offset, kept to 16 bits. ALASM data behind the header starts at
// offset 17.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace korve {

inline constexpr std::size_t kHobetaHeaderSize = 17;
inline constexpr std::size_t kHobetaLengthOffset = 11;
inline constexpr std::size_t kHobetaSectorCountOffset = 14;
inline constexpr std::size_t kHobetaChecksumOffset = 15;
inline constexpr std::size_t kHobetaCatalogueBytes = 13;

using HobetaHeader = std::array<unsigned char, kHobetaHeaderSize>;

// The header of a file whose catalogue entry begins with `catalogue` (its
// name, type, start and length) and whose data takes `sectors` whole
// sectors, its checksum right: what a file carries off the disk.
HobetaHeader make_hobeta_header(std::span<const unsigned char, kHobetaCatalogueBytes> catalogue,
                                unsigned char sectors);

// The checksum the header's first fifteen bytes call for.
std::uint16_t hobeta_checksum(const HobetaHeader& header);

// The 16-bit little-endian field at `offset`.
std::uint16_t hobeta_field(const HobetaHeader& header, std::size_t offset);

// Writes `value` into the 16-bit little-endian field at `offset`.
void set_hobeta_field(HobetaHeader& header, std::size_t offset, std::uint16_t value);

}  // namespace korve
