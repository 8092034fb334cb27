#include "formats/container.h"

#include <algorithm>
#include <array>

#include "base/little_endian.h"
#include "formats/fdi_image.h"
#include "formats/floppy_disk.h"
#include "formats/td0_image.h"
#include "formats/udi_image.h"

namespace korve {

namespace {

bool bare_alasm(std::span<const unsigned char> start) { return has_alasm_mark(start, 0); }
bool hobeta_alasm(std::span<const unsigned char> start) { return has_alasm_mark(start, kHobetaHeaderSize); }
bool nothing(std::span<const unsigned char> /*start*/) { return false; }

// A floppy image's mark, and a header word or byte beside it that a .trd's
// first catalogue entry, named alike, does not hold there: a head count of
// one or two (a name's letters give more), a UDI version of 0 (a type).
constexpr std::size_t kFdiHeadsOffset = 6;
constexpr std::size_t kUdiVersionOffset = 8;
bool fdi_image(std::span<const unsigned char> start) {
    if (!has_fdi_mark(start) || start.size() < kFdiHeaderSize) {
        return false;
    }
    const std::size_t heads = read_little_endian(start, kFdiHeadsOffset, 2);
    return heads == 1 || heads == 2;
}
bool udi_image(std::span<const unsigned char> start) {
    return start.size() > kUdiVersionOffset &&
           std::equal(kUdiSignature.begin(), kUdiSignature.end(), start.begin()) && start[kUdiVersionOffset] == 0;
}

// An input that holds one source takes one change: its data.
EditedImage edit_bare_alasm(std::span<const unsigned char> /*input*/, std::span<const FileChange> changes) {
    EditedImage edited;
    edited.bytes = changes.front().file.data;
    return edited;
}
EditedImage edit_hobeta_alasm(std::span<const unsigned char> input, std::span<const FileChange> changes) {
    return edit_hobeta_file(input, changes.front().file.data);
}

// In the order marks are tried; None, which every input is that no other
// row recognises, last.
constexpr std::array<KindRow, 9> kKinds = {{
    {InputKind::BareAlasm, "alasm", "ALASM data", "", bare_alasm, nullptr, edit_bare_alasm, nullptr},
    {InputKind::HobetaAlasm, "hobeta", "ALASM data behind a Hobeta header", ".$h", hobeta_alasm, nullptr,
     edit_hobeta_alasm, nullptr},
    {InputKind::SclArchive, "scl", "SCL archive", ".scl", has_scl_signature, read_scl_archive, edit_scl_archive,
     nullptr},
    {InputKind::FdiImage, "fdi", "FDI floppy image", ".fdi", fdi_image, read_trd_image, edit_fdi_image, read_fdi},
    {InputKind::UdiImage, "udi", "UDI floppy image", ".udi", udi_image, read_trd_image, edit_udi_image, read_udi},
    // Teledisk images are read only: put does not write them.
    {InputKind::Td0Image, "td0", "TD0 (Teledisk) floppy image", ".td0", is_td0_image, read_trd_image, nullptr,
     read_td0_image},
    {InputKind::TrdosImage, "trd", "TR-DOS disk image", ".trd", has_trdos_mark, read_trd_image, edit_trd_image,
     nullptr},
    // Packed in memory from a text the loader reads as such: bare data then.
    {InputKind::AlasmText, "alasm-text", "ALASM text", "", nothing, nullptr, nullptr, nullptr},
    {InputKind::None, "none", "neither ALASM data nor a disk image", "", nothing, nullptr, nullptr, nullptr},
}};

char small(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool ends_in(std::string_view name, std::string_view suffix) {
    return !suffix.empty() && name.size() > suffix.size() &&
           std::equal(suffix.begin(), suffix.end(), name.end() - static_cast<std::ptrdiff_t>(suffix.size()),
                      [](char a, char b) { return a == small(b); });
}

}  // namespace

const KindRow& kind_row(InputKind kind) {
    const auto found = std::find_if(kKinds.begin(), kKinds.end(), [kind](const KindRow& row) { return row.kind == kind; });
    return found != kKinds.end() ? *found : kKinds.back();
}

bool is_disk_image(InputKind kind) { return kind_row(kind).read_catalogue != nullptr; }

InputKind recognise_input(std::span<const unsigned char> start) {
    const auto found =
        std::find_if(kKinds.begin(), kKinds.end(), [start](const KindRow& row) { return row.recognises(start); });
    return found != kKinds.end() ? found->kind : InputKind::None;
}

InputKind container_named(std::string_view file_name) {
    const auto found = std::find_if(kKinds.begin(), kKinds.end(),
                                    [file_name](const KindRow& row) { return ends_in(file_name, row.suffix); });
    return found != kKinds.end() ? found->kind : InputKind::BareAlasm;
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

std::optional<FloppyDisk> read_floppy_disk(InputKind kind, std::span<const unsigned char> image) {
    const auto read = kind_row(kind).read_floppy;
    if (read == nullptr) {
        return std::nullopt;
    }
    FloppyDisk found{read(image), {}};
    found.disk = read_trdos_floppy(found.floppy, image);
    return found;
}

DiskImage read_disk_image(std::span<const unsigned char> image) {
    const InputKind kind = recognise_input(image.first(std::min(image.size(), kRecognisedBytes)));
    return kind_row(kind).read_floppy != nullptr ? not_an_image() : read_disk_image(kind, image);
}

DiskImage read_disk_image(InputKind kind, std::span<const unsigned char> image) {
    const auto read = kind_row(kind).read_catalogue;
    if (read == nullptr) {
        return not_an_image();
    }
    DiskImage disk = read(image);
    for (CatalogueEntry& entry : disk.entries) {
        entry.alasm = has_alasm_mark(file_sectors(image, entry), 0);
    }
    return disk;
}

}  // namespace korve
