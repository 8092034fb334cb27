#include "formats/hobeta_header.h"

#include <algorithm>

#include "base/little_endian.h"

namespace korve {

namespace {
constexpr std::size_t kChecksummedBytes = 15;
constexpr unsigned kByteWeight = 257;
constexpr std::size_t kFieldSize = 2;
}  // namespace

std::uint16_t hobeta_checksum(const HobetaHeader& header) {
    unsigned sum = 0;
    for (std::size_t offset = 0; offset < kChecksummedBytes; ++offset) {
        sum += kByteWeight * header[offset] + static_cast<unsigned>(offset);
    }
    return static_cast<std::uint16_t>(sum);
}

HobetaHeader make_hobeta_header(std::span<const unsigned char, kHobetaCatalogueBytes> catalogue,
                                unsigned char sectors) {
    HobetaHeader header{};
    std::copy(catalogue.begin(), catalogue.end(), header.begin());
    header[kHobetaSectorCountOffset] = sectors;
    set_hobeta_field(header, kHobetaChecksumOffset, hobeta_checksum(header));
    return header;
}

std::uint16_t hobeta_field(const HobetaHeader& header, std::size_t offset) {
    return static_cast<std::uint16_t>(read_little_endian(header, offset, kFieldSize));
}

void set_hobeta_field(HobetaHeader& header, std::size_t offset, std::uint16_t value) {
    write_little_endian(header, offset, kFieldSize, value);
}

}  // namespace korve
