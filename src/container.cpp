#include "container.h"

#include <algorithm>

namespace korve {

InputKind recognise_input(std::span<const unsigned char> start) {
    if (has_alasm_mark(start, 0)) {
        return InputKind::BareAlasm;
    }
    if (has_alasm_mark(start, kHobetaHeaderSize)) {
        return InputKind::HobetaAlasm;
    }
    if (has_scl_signature(start)) {
        return InputKind::SclArchive;
    }
    if (has_trdos_mark(start)) {
        return InputKind::TrdosImage;
    }
    return InputKind::None;
}

AlasmSetUp set_up_alasm(InputKind kind, ByteReader& input) {
    if (kind != InputKind::HobetaAlasm) {
        return {kToEndOfInput, true};
    }
    // A bad checksum is only a warning: the length is taken as it stands.
    HobetaHeader header{};
    const auto bytes = input.take(header.size());
    std::copy(bytes.begin(), bytes.end(), header.begin());
    return {hobeta_field(header, kHobetaLengthOffset),
            hobeta_checksum(header) == hobeta_field(header, kHobetaChecksumOffset)};
}

DiskImage read_disk_image(std::span<const unsigned char> image) {
    const InputKind kind = recognise_input(image.first(std::min(image.size(), kRecognisedBytes)));
    if (!is_disk_image(kind)) {
        return {ImageProblem::NotAnImage, {}};
    }
    DiskImage disk = kind == InputKind::SclArchive ? read_scl_archive(image) : read_trd_image(image);
    for (ImageEntry& entry : disk.entries) {
        const auto* const bytes = reinterpret_cast<const unsigned char*>(entry.hobeta.data());
        const std::size_t seen = std::min(entry.hobeta.size(), kAlasmRecognisedBytes);
        entry.alasm = holds_alasm(recognise_input({bytes, seen}));
    }
    return disk;
}

}  // namespace korve
