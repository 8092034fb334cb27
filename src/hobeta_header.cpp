#include "hobeta_header.h"

#include "alasm_lines.h"

namespace korve {

namespace {
constexpr std::size_t kChecksummedBytes = 15;
constexpr unsigned kByteWeight = 257;
constexpr unsigned kBitsPerByte = 8;
constexpr unsigned kLowByte = 0xFFU;
}  // namespace

std::uint16_t hobeta_checksum(const HobetaHeader& header) {
    unsigned sum = 0;
    for (std::size_t offset = 0; offset < kChecksummedBytes; ++offset) {
        sum += kByteWeight * header[offset] + static_cast<unsigned>(offset);
    }
    return static_cast<std::uint16_t>(sum);
}

std::uint16_t hobeta_field(const HobetaHeader& header, std::size_t offset) {
    const unsigned low = header[offset];
    const unsigned high = header[offset + 1];
    return static_cast<std::uint16_t>(high << kBitsPerByte | low);
}

void set_hobeta_field(HobetaHeader& header, std::size_t offset, std::uint16_t value) {
    header[offset] = static_cast<unsigned char>(value & kLowByte);
    header[offset + 1] = static_cast<unsigned char>(value >> kBitsPerByte & kLowByte);
}

bool is_hobeta_wrapped(std::span<const unsigned char> start) {
    return has_alasm_mark(start, kHobetaHeaderSize);
}

}  // namespace korve
