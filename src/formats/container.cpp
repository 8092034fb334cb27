#include "formats/container.h"

#include <algorithm>
#include <array>
#include <utility>

#include "base/little_endian.h"

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

InputKind container_named(std::string_view file_name) {
    static constexpr std::array<std::pair<InputKind, std::string_view>, 3> kEndings = {{
        {InputKind::TrdosImage, ".trd"},
        {InputKind::SclArchive, ".scl"},
        {InputKind::HobetaAlasm, ".$h"},
    }};
    const auto small = [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    };
    for (const auto& [kind, ending] : kEndings) {
        if (file_name.size() > ending.size() &&
            std::equal(ending.begin(), ending.end(),
                       file_name.end() - static_cast<std::ptrdiff_t>(ending.size()),
                       [&small](char a, char b) { return a == small(b); })) {
            return kind;
        }
    }
    return InputKind::BareAlasm;
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
        const auto bytes = byte_span(entry.hobeta);
        entry.alasm = holds_alasm(recognise_input(bytes.first(std::min(bytes.size(), kAlasmRecognisedBytes))));
    }
    return disk;
}

}  // namespace korve
