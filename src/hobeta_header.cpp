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

bool probe_hobeta(std::FILE* input) {
    return has_alasm_mark(input, static_cast<long>(kHobetaHeaderSize));
}

std::int64_t set_up_hobeta(std::FILE* input, std::FILE* console) {
    std::fputs("Reading HOBBETA-header...\n", console);
    HobetaHeader header{};
    std::fread(header.data(), 1, header.size(), input);
    if (hobeta_checksum(header) != hobeta_field(header, kHobetaChecksumOffset)) {
        std::fputs("Illegal checksum in header of hobeta!\n\n", console);
    }
    return hobeta_field(header, kHobetaLengthOffset);
}

}  // namespace korve
