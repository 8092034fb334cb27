#include "formats/td0_image.h"

#include <vector>

#include "base/little_endian.h"
#include "formats/td0_lzhuf.h"

namespace korve {
namespace {

using Bytes = std::span<const unsigned char>;

constexpr std::uint16_t kCrcPolynomial = 0xA097;
constexpr std::uint16_t kCrcTopBit = 0x8000;
constexpr unsigned char kLowByte = 0xFF;
constexpr std::size_t kFlagsOffset = 4;
constexpr std::size_t kDataCrcOffset = 5;
constexpr std::size_t kPatternSize = 2;

// Bounds no floppy comes near: 256 cylinders of two sides; more than an
// extra-density disk's 2.88 MB of sectors; and, packed, its tracks'
// headers and blocks besides.
constexpr std::size_t kMostTracks = 512;
constexpr std::size_t kMostSectorBytes = std::size_t{4} << 20;
constexpr std::size_t kMostUnpackedBytes = std::size_t{8} << 20;

unsigned char crc_low_byte(Bytes bytes) { return static_cast<unsigned char>(td0_crc(bytes) & kLowByte); }

// The bytes after the header, unpacked, and how far they were read.
struct Stream {
    Bytes bytes;
    std::size_t at = 0;

    bool has(std::size_t count) const { return bytes.size() - at >= count; }
    Bytes take(std::size_t count) {
        const Bytes taken = bytes.subspan(at, count);
        at += count;
        return taken;
    }
    Bytes rest() { return take(bytes.size() - at); }
};

// What a data block decodes to: the bytes appended to the image's decoded
// ones, `size` at most.
struct BlockData {
    std::size_t decoded = 0;  // counted on just past `size`, where there are more
    bool well_formed = true;  // a method known, and what it reads fills the block
};

// Appends `times` copies of `pattern` to a block's data.
void repeat(Bytes pattern, std::size_t times, std::size_t size, BlockData& data,
            std::vector<unsigned char>& decoded) {
    for (std::size_t i = 0; i < times && data.decoded <= size; ++i) {
        for (const unsigned char byte : pattern) {
            if (data.decoded < size) {
                decoded.push_back(byte);
            }
            ++data.decoded;
        }
    }
}

// Method 2's entries, to the block's end.
void decode_runs(Bytes entries, std::size_t size, BlockData& data, std::vector<unsigned char>& decoded) {
    for (std::size_t at = 0; at < entries.size() && data.decoded <= size;) {
        if (entries.size() - at < kPatternSize) {
            data.well_formed = false;
            return;
        }
        const std::size_t pattern_words = entries[at];
        const std::size_t count = entries[at + 1];
        at += kPatternSize;
        const std::size_t length = pattern_words == 0 ? count : kPatternSize * pattern_words;
        if (entries.size() - at < length) {
            // Cut: bytes as they are count as far as they go; a pattern not.
            if (pattern_words == 0) {
                repeat(entries.subspan(at), 1, size, data, decoded);
            }
            data.well_formed = false;
            return;
        }
        repeat(entries.subspan(at, length), pattern_words == 0 ? 1 : count, size, data, decoded);
        at += length;
    }
}

BlockData decode_block(Bytes block, std::size_t size, std::vector<unsigned char>& decoded) {
    BlockData data;
    if (block.empty()) {
        data.well_formed = false;
        return data;
    }
    const Bytes rest = block.subspan(1);
    switch (block[0]) {
        case kTd0Raw:
            repeat(rest, 1, size, data, decoded);
            break;
        case kTd0Pattern:
            if (rest.size() < kWordSize + kPatternSize) {
                data.well_formed = false;
                break;
            }
            repeat(rest.subspan(kWordSize, kPatternSize), read_little_endian(rest, 0, kWordSize), size, data,
                   decoded);
            data.well_formed = rest.size() == kWordSize + kPatternSize;
            break;
        case kTd0Runs:
            decode_runs(rest, size, data, decoded);
            break;
        default:
            data.well_formed = false;
    }
    return data;
}

// Reads a sector into `track`; false where the reading stops there, the
// image's problem saying why.
bool read_sector(Stream& stream, FloppyImage& floppy, FloppyTrack& track) {
    if (!stream.has(kTd0SectorHeaderSize)) {
        floppy.problem = FloppyProblem::CutShort;
        return false;
    }
    const Bytes header = stream.take(kTd0SectorHeaderSize);
    FloppySector& sector = track.sectors.emplace_back();
    sector.id = {header[0], header[1], header[2], header[3]};
    sector.data_ok = (header[kFlagsOffset] & kTd0CrcFailed) == 0;
    if ((header[kFlagsOffset] & (kTd0NotKept | kTd0NoData)) != 0 || sector.id.size_code > kTd0LargestSizeCode) {
        sector.has_data = false;
        return true;
    }
    const std::size_t size = sector_bytes(sector.id.size_code);
    if (kMostSectorBytes - floppy.decoded.size() < size) {
        floppy.problem = FloppyProblem::TooLarge;
        return false;
    }
    sector.data_offset = floppy.decoded.size();
    const bool length_cut = !stream.has(kWordSize);
    const std::size_t length = length_cut ? 0 : read_little_endian(stream.take(kWordSize), 0, kWordSize);
    const bool cut = length_cut || !stream.has(length);
    const Bytes block = cut ? stream.rest() : stream.take(length);
    const BlockData data = decode_block(length_cut ? Bytes() : block, size, floppy.decoded);
    if (cut) {
        sector.data_size = floppy.decoded.size() - sector.data_offset;
        sector.data_cut = true;
        sector.data_ok = false;
        floppy.problem = FloppyProblem::CutShort;
        return false;
    }
    floppy.decoded.resize(sector.data_offset + size);
    sector.data_size = size;
    const bool matches = crc_low_byte(Bytes(floppy.decoded).subspan(sector.data_offset)) == header[kDataCrcOffset];
    sector.data_ok = sector.data_ok && data.well_formed && data.decoded == size && matches;
    return true;
}

// Reads tracks up to the mark after the last one, or to where the reading
// must stop (the image's problem then says why).
void read_tracks(Stream& stream, FloppyImage& floppy) {
    for (;;) {
        if (stream.has(1) && stream.bytes[stream.at] == kTd0LastTrack) {
            return;
        }
        if (!stream.has(kTd0TrackHeaderSize)) {
            floppy.problem = FloppyProblem::CutShort;
            return;
        }
        const Bytes header = stream.take(kTd0TrackHeaderSize);
        if (crc_low_byte(header.first(kTd0TrackHeaderSize - 1)) != header.back()) {
            floppy.problem = FloppyProblem::BadHeader;
            return;
        }
        if (floppy.tracks.size() == kMostTracks) {
            floppy.problem = FloppyProblem::TooLarge;
            return;
        }
        FloppyTrack& track = floppy.tracks.emplace_back();
        track.cylinder = header[1];
        track.head = header[2] & static_cast<unsigned char>(~kTd0SingleDensity);
        for (std::size_t i = 0; i < header[0]; ++i) {
            if (!read_sector(stream, floppy, track)) {
                return;
            }
        }
    }
}

// An image given no tracks: not read, for `problem`.
FloppyImage refused(FloppyProblem problem) {
    FloppyImage floppy;
    floppy.problem = problem;
    return floppy;
}

// Steps over the comment block; false where the bytes end inside it.
bool skip_comment(Stream& stream) {
    if (!stream.has(kTd0CommentHeaderSize)) {
        return false;
    }
    const std::size_t length = read_little_endian(stream.take(kTd0CommentHeaderSize), kWordSize, kWordSize);
    if (!stream.has(length)) {
        return false;
    }
    stream.take(length);
    return true;
}

}  // namespace

std::uint16_t td0_crc(std::span<const unsigned char> bytes) {
    std::uint16_t crc = 0;
    for (const unsigned char byte : bytes) {
        crc = static_cast<std::uint16_t>(crc ^ (byte << kBitsPerByte));
        for (unsigned bit = 0; bit < kBitsPerByte; ++bit) {
            const bool top = (crc & kCrcTopBit) != 0;
            crc = static_cast<std::uint16_t>(crc << 1);
            if (top) {
                crc ^= kCrcPolynomial;
            }
        }
    }
    return crc;
}

bool is_td0_image(std::span<const unsigned char> start) {
    if (start.size() < kTd0HeaderSize) {
        return false;
    }
    const bool plain = start[0] == 'T' && start[1] == 'D';
    const bool packed = start[0] == 't' && start[1] == 'd';
    return (plain || packed) &&
           td0_crc(start.first(kTd0HeaderCrcOffset)) == read_little_endian(start, kTd0HeaderCrcOffset, kWordSize);
}

FloppyImage read_td0_image(std::span<const unsigned char> image) {
    if (!is_td0_image(image)) {
        return refused(FloppyProblem::NotAnImage);
    }
    Stream stream{image.subspan(kTd0HeaderSize)};
    Unpacked unpacked;
    if (image[0] == 't') {
        if (image[kTd0VersionOffset] < kTd0FirstPackedByLzhuf) {
            return refused(FloppyProblem::Unsupported);
        }
        unpacked = lzhuf_unpack(stream.bytes, kMostUnpackedBytes);
        stream = Stream{unpacked.bytes};
    }
    FloppyImage floppy;
    floppy.sectors_in_decoded = true;
    if ((image[kTd0SteppingOffset] & kTd0CommentFollows) != 0 && !skip_comment(stream)) {
        floppy.problem = FloppyProblem::CutShort;
    } else {
        read_tracks(stream, floppy);
    }
    if (floppy.problem == FloppyProblem::CutShort && unpacked.reached_most) {
        floppy.problem = FloppyProblem::TooLarge;
    }
    if (floppy.problem == FloppyProblem::TooLarge) {
        return refused(FloppyProblem::TooLarge);
    }
    return floppy;
}

}  // namespace korve
