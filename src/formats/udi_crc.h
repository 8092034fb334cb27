// The two CRCs of a UDI image: CRC-16-CCITT over each ID and data field of
// an MFM track, as a floppy controller computes it, and the CRC-32 the file
// ends with, as the emulators that write UDI compute it (udi_image.h says
// how each is laid out). Both go eight bytes at a time from tables the
// compiler works out.
#pragma once

#include <cstdint>
#include <span>

namespace korve {

// CRC-16-CCITT (polynomial 0x1021, starting at 0xFFFF, the high bit first)
// of a field from its first A1 sync on.
std::uint16_t mfm_field_crc(std::span<const unsigned char> bytes);

// The CRC-32 a UDI file ends with, of `bytes`.
std::uint32_t udi_file_crc(std::span<const unsigned char> bytes);

}  // namespace korve
