// A floppy disk as the images that keep real disks describe it (FDI, UDI,
// TD0): tracks, each a list of sectors found by their ID field, never by
// their place on the track (real disks interleave them, and copy-protected
// ones repeat or leave out IDs).
//
// Every such image's reader gives this value and nothing else, so that one
// unit (trdos_floppy.h) finds the TR-DOS disk the sectors carry, whatever
// the image's format. A sector's bytes are not copied: it names where they
// lie, in the image's own bytes or, for an image whose bytes must be
// unpacked first, in the bytes its reader decoded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korve {

// A sector's ID field: cylinder, head, record (its number on the track) and
// size code, the sector holding 128 << size code bytes.
struct SectorId {
    std::uint8_t cylinder = 0;
    std::uint8_t head = 0;
    std::uint8_t record = 0;
    std::uint8_t size_code = 0;

    bool operator==(const SectorId&) const = default;
};

// The bytes a size code gives a sector; at most 128 << 7, as a controller
// reads codes above 7.
constexpr std::size_t sector_bytes(std::uint8_t size_code) {
    return std::size_t{128} << (size_code > 7 ? 7 : size_code);
}

struct FloppySector {
    SectorId id;
    // Where its data lies: in the image's bytes, or in FloppyImage::decoded
    // where the image had to be unpacked. data_size is sector_bytes(id) but
    // where the image ends first (then data_cut).
    std::size_t data_offset = 0;
    std::size_t data_size = 0;
    bool has_data = true;   // a data field follows the ID: without one, no bytes
    bool data_ok = true;    // the data field's CRC holds (or the image says it did)
    bool data_cut = false;  // the image ends inside the data

    bool operator==(const FloppySector&) const = default;
};

// A track as the image gives it: the cylinder and head the image files it
// under, and its sectors in the order met on it.
struct FloppyTrack {
    std::uint8_t cylinder = 0;
    std::uint8_t head = 0;
    std::vector<FloppySector> sectors;
    // The image keeps the track in a form its reader does not take apart
    // (a UDI track of FM): it lists no sectors, whatever the track holds.
    bool unread = false;

    bool operator==(const FloppyTrack&) const = default;
};

// What is wrong with an image as a whole.
enum class FloppyProblem : unsigned char {
    None,
    NotAnImage,     // its mark, or a header field, says it is none of these
    CutShort,       // the bytes end before the tracks or data the image lists
    BadHeader,      // a header field points outside the image, or its CRC fails
    FileCrcWrong,   // the whole file's CRC does not hold (UDI): a warning
    Unsupported,    // a form of the format that is not read (TD0 1.x's packing)
    TooLarge,       // it holds or unpacks to more than any floppy: refused unread
};

struct FloppyImage {
    FloppyProblem problem = FloppyProblem::None;
    std::vector<FloppyTrack> tracks;  // in the image's order
    // The sectors' bytes where the image's own are packed (TD0); empty
    // where sectors lie in the image's bytes.
    std::vector<unsigned char> decoded;
    bool sectors_in_decoded = false;

    bool operator==(const FloppyImage&) const = default;
};

// New bytes for one of an image's sectors, as its writer takes them: the
// sector by its track's index in FloppyImage::tracks and its own in that
// track's sectors, and exactly as many bytes as the sector holds.
struct SectorBytes {
    std::size_t track = 0;
    std::size_t sector = 0;
    std::string bytes;

    bool operator==(const SectorBytes&) const = default;
};

// The problem in words, for a message naming the image: "cut short".
constexpr std::string_view floppy_problem_text(FloppyProblem problem) {
    switch (problem) {
        case FloppyProblem::None: break;
        case FloppyProblem::NotAnImage: return "not a disk image";
        case FloppyProblem::CutShort: return "cut short";
        case FloppyProblem::BadHeader: return "its header is damaged";
        case FloppyProblem::FileCrcWrong: return "its file CRC does not match its bytes";
        case FloppyProblem::Unsupported: return "it is in a form of its format that is not read";
        case FloppyProblem::TooLarge: return "it holds more than any floppy disk";
    }
    return "";
}

}  // namespace korve
