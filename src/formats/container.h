// What an input is, told from its first bytes, and how the ALASM data in it
// is reached.
//
// Every kind is known by a mark at a fixed place, and the marks can meet in
// one file, so they are tried in this order and the first that holds wins:
//
//   kind          mark                                     where the data is
//   BareAlasm     0xD9 at offset 47, ALASM data's own      from offset 0 to the
//                 mark                                     end of the input
//   HobetaAlasm   0xD9 at offset 64: the same mark behind  from offset 17, as
//                 a 17-byte Hobeta header                  long as the header
//                                                          says
//   SclArchive    "SINCLAIR" at offset 0                   files, in the archive
//   FdiImage      "FDI" at offset 0, one or two heads      files, on the TR-DOS
//                 (a word at offset 6)                     disk the floppy
//   UdiImage      "UDI!" at offset 0, version 0 at 8       image carries
//   Td0Image      "TD" or "td" at offset 0, the header's   (floppy_disk.h)
//                 CRC right
//   TrdosImage    0x10 at offset 0x8E7, TR-DOS's mark in   files, on the disk
//                 its disk-information sector
//   AlasmText     none: a text is never told by its bytes  the data its text
//                 (a verb reads a file named *.asm so)     packs into (loader.h)
//   None          none of these
//
// ALASM data comes first: a file that korve converts stays a file, even
// when it also carries a disk's mark (each mark is one byte, or eight
// letters any source may begin with). Bare data comes before Hobeta data, as
// korve has always taken it. A floppy image's mark, several bytes at its
// start, comes before the TR-DOS mark's one byte, which a floppy image may
// hold at 0x8E7 among its sectors; a .trd whose first file is named "FDI"
// or "UDI!" still reads as a .trd, as the byte after holds no such word or
// version.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "base/byte_reader.h"
#include "formats/alasm_lines.h"
#include "formats/disk_edit.h"
#include "formats/floppy.h"
#include "formats/trdos_floppy.h"
#include "formats/hobeta_header.h"
#include "formats/trdos_image.h"

namespace korve {

enum class InputKind : unsigned char {
    None,
    BareAlasm,
    HobetaAlasm,
    SclArchive,
    FdiImage,
    UdiImage,
    Td0Image,
    TrdosImage,
    AlasmText,
};

// How many of an input's first bytes recognise_input needs: all of them tell
// every kind, the first kAlasmRecognisedBytes the two kinds of ALASM data.
inline constexpr std::size_t kAlasmRecognisedBytes = kHobetaHeaderSize + kAlasmMarkOffset + 1;
inline constexpr std::size_t kRecognisedBytes = kTrdosMarkOffset + 1;
static_assert(kRecognisedBytes <= kLongestLook);

// One row per kind, in the order of the table above (that order decides
// between marks that meet): the key list --json, the page and messages name
// it by, its words, the file name ending that calls for it, how it is
// recognised, its catalogue's reader (none for a kind that holds one file)
// and its editor, which puts changed files into an input's bytes (none for
// what is neither kind, and for a format put does not write). A floppy
// image's row also names its floppy reader: its catalogue is then read from
// the .trd the floppy carries (floppy_disk.h), and its editor takes the
// image's own bytes. A new kind is a row, its reader and its editor;
// every switch over kinds is exhaustive, so the compiler names each place
// that must learn it.
struct KindRow {
    InputKind kind;
    std::string_view key;
    std::string_view words;
    std::string_view suffix;  // "" where no name calls for it
    bool (*recognises)(std::span<const unsigned char> start);
    DiskImage (*read_catalogue)(std::span<const unsigned char> image);
    EditedImage (*edit)(std::span<const unsigned char> input, std::span<const FileChange> changes);
    FloppyImage (*read_floppy)(std::span<const unsigned char> image);  // none but for floppy images
};
const KindRow& kind_row(InputKind kind);

// The kind of an input whose first bytes (kRecognisedBytes of them, or all
// there are) are `start`.
InputKind recognise_input(std::span<const unsigned char> start);

constexpr bool holds_alasm(InputKind kind) {
    switch (kind) {
        case InputKind::BareAlasm:
        case InputKind::HobetaAlasm:
        case InputKind::AlasmText: return true;
        case InputKind::None:
        case InputKind::SclArchive:
        case InputKind::FdiImage:
        case InputKind::UdiImage:
        case InputKind::Td0Image:
        case InputKind::TrdosImage: return false;
    }
    return false;
}

// Whether the kind holds a catalogue of files (kind_row's reader).
bool is_disk_image(InputKind kind);

// The TR-DOS disk an input of `kind` carries, where it is a floppy image
// (kind_row's floppy reader), with the floppy the image's reader found.
struct FloppyDisk {
    FloppyImage floppy;
    TrdosFloppy disk;
};
std::optional<FloppyDisk> read_floppy_disk(InputKind kind, std::span<const unsigned char> image);

// The kind of file a name calls for, by its ending in any case: .trd a
// TR-DOS image, .scl an SCL archive, .fdi, .udi and .td0 floppy images,
// .$h a Hobeta file; any other name bare ALASM data.
InputKind container_named(std::string_view file_name);

// Where ALASM data stands in the bytes read: behind what an input of `kind`
// puts before it, or (`catalogued`) at the start of a disk file's sectors,
// its length the catalogue's.
struct AlasmPlace {
    InputKind kind = InputKind::BareAlasm;
    std::optional<std::uint16_t> catalogued;

    // cppcheck-suppress noExplicitConstructor
    AlasmPlace(InputKind input_kind) : kind(input_kind) {}  // NOLINT(google-explicit-constructor)
    static AlasmPlace on_disk(std::uint16_t length) {
        AlasmPlace place(InputKind::BareAlasm);
        place.catalogued = length;
        return place;
    }
};

// What the set-up of an ALASM container found.
struct AlasmSetUp {
    // The data's length, its 64-byte header included: at most to the end of
    // the input.
    std::int64_t length = 0;
    bool checksum_matches = true;  // a Hobeta header's; bare data has none
};

// Bare data starts the input and runs to its end, where the conversion
// stops anyway; so its length needs no measuring.
inline constexpr std::int64_t kToEndOfInput = INT64_MAX;

// Takes what comes before the ALASM data at `place` (an input that
// holds_alasm, or a disk's file) from `input`, which then stands at the
// data's first byte.
AlasmSetUp set_up_alasm(const AlasmPlace& place, ByteReader& input);

// Reads a disk image or an archive, recognised as above, and says of each
// file it gives whether that holds ALASM data. Bytes of any other kind are
// no image (ImageProblem::NotAnImage), and so are a floppy image's, whose
// files lie in the .trd it carries: the second form reads the catalogue of
// an input of a kind, a floppy's from that .trd's bytes.
DiskImage read_disk_image(std::span<const unsigned char> image);
DiskImage read_disk_image(InputKind kind, std::span<const unsigned char> image);

}  // namespace korve
