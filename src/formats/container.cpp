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

AlasmSetUp set_up_alasm(const AlasmPlace& place, ByteReader& input) {
    if (place.catalogued) {
        return {*place.catalogued, true};
    }
    if (place.kind != InputKind::HobetaAlasm) {
        return {kToEndOfInput, true};
    }
    // A bad checksum is only a warning: the length is taken as it stands.
    const HobetaHeader header = read_hobeta_header(input.take(kHobetaHeaderSize));
    return {header.length, header.checksum_matches};
}

DiskImage read_disk_image(std::span<const unsigned char> image) {
    const InputKind kind = recognise_input(image.first(std::min(image.size(), kRecognisedBytes)));
    if (!is_disk_image(kind)) {
        return not_an_image();
    }
    DiskImage disk = kind == InputKind::SclArchive ? read_scl_archive(image) : read_trd_image(image);
    for (CatalogueEntry& entry : disk.entries) {
        entry.alasm = has_alasm_mark(file_sectors(image, entry), 0);
    }
    return disk;
}

}  // namespace korve
