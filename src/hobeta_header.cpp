#include "hobeta_header.h"

#include "alasm_lines.h"

namespace korve {

namespace {
constexpr std::size_t kChecksummedBytes = 15;
constexpr unsigned kByteWeight = 257;
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
    return static_cast<std::uint16_t>(high << 8U | low);
}

bool is_hobeta_wrapped(std::span<const unsigned char> start) {
    return has_alasm_mark(start, kHobetaHeaderSize);
}

}  // namespace korve
