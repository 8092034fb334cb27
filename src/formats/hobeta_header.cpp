#include "formats/hobeta_header.h"

#include <algorithm>

#include "base/little_endian.h"

namespace korve {

namespace {
constexpr std::size_t kStartOffset = 9;
constexpr std::size_t kLengthOffset = 11;
constexpr std::size_t kByte13Offset = 13;
constexpr std::size_t kSectorsOffset = 14;
constexpr std::size_t kChecksumOffset = 15;
constexpr std::size_t kChecksummedBytes = 15;
constexpr unsigned kByteWeight = 257;
constexpr std::size_t kFieldSize = 2;

std::uint16_t field(const HobetaBytes& bytes, std::size_t offset) {
    return static_cast<std::uint16_t>(read_little_endian(bytes, offset, kFieldSize));
}
}  // namespace

std::uint16_t hobeta_checksum(const HobetaBytes& header) {
    unsigned sum = 0;
    for (std::size_t offset = 0; offset < kChecksummedBytes; ++offset) {
        sum += kByteWeight * header[offset] + static_cast<unsigned>(offset);
    }
    return static_cast<std::uint16_t>(sum);
}

HobetaHeader read_hobeta_header(std::span<const unsigned char> bytes) {
    HobetaBytes stored{};
    std::copy_n(bytes.begin(), std::min(bytes.size(), stored.size()), stored.begin());
    HobetaHeader header;
    header.name = catalogue_name(stored);
    header.start = field(stored, kStartOffset);
    header.length = field(stored, kLengthOffset);
    header.byte13 = stored[kByte13Offset];
    header.sectors = stored[kSectorsOffset];
    header.checksum = field(stored, kChecksumOffset);
    header.checksum_matches = hobeta_checksum(stored) == header.checksum;
    return header;
}

HobetaBytes hobeta_bytes(const HobetaHeader& header) {
    HobetaBytes bytes{};
    write_trdos_name(header.name, bytes);
    write_little_endian(bytes, kStartOffset, kFieldSize, header.start);
    write_little_endian(bytes, kLengthOffset, kFieldSize, header.length);
    bytes[kByte13Offset] = header.byte13;
    bytes[kSectorsOffset] = header.sectors;
    write_little_endian(bytes, kChecksumOffset, kFieldSize, hobeta_checksum(bytes));
    return bytes;
}

std::string hobeta_file(const HobetaHeader& header, std::span<const unsigned char> data) {
    const HobetaBytes bytes = hobeta_bytes(header);
    std::string file(kHobetaHeaderSize + data.size(), '\0');
    std::copy(bytes.begin(), bytes.end(), file.begin());
    std::copy(data.begin(), data.end(), file.begin() + static_cast<std::ptrdiff_t>(kHobetaHeaderSize));
    return file;
}

}  // namespace korve
