#include "formats/fdi_image.h"

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "base/little_endian.h"
#include "formats/trdos_image.h"

namespace korve {
namespace {

using Bytes = std::span<const unsigned char>;

constexpr std::string_view kFdiMark = "FDI";
constexpr std::size_t kCylindersOffset = 4;
constexpr std::size_t kHeadsOffset = 6;
constexpr std::size_t kTextOffset = 8;
constexpr std::size_t kDataAreaOffset = 10;
constexpr std::size_t kExtraLengthOffset = 12;
constexpr std::size_t kMostCylinders = 256;  // a cylinder is a byte of an ID
constexpr std::size_t kMostHeads = 256;

// A track header's fields, and a sector's within it.
constexpr std::size_t kTrackDataOffset = 0;
constexpr std::size_t kTrackDataSize = 4;
constexpr std::size_t kSectorCountOffset = 6;
constexpr std::size_t kTrackHeaderSize = 7;
constexpr std::size_t kSectorEntrySize = 7;
constexpr std::size_t kFlagsOffset = 4;
constexpr std::size_t kSectorDataOffset = 5;
constexpr unsigned kCrcGoodBits = 6;  // bits 0 to 5, one per size code
constexpr unsigned char kCrcGoodFlags = (1U << kCrcGoodBits) - 1;

// An image as read, with where each track's header lies and where the
// headers end: what the writer needs of the layout.
struct Layout {
    FloppyImage floppy;
    std::vector<std::size_t> track_headers;
    std::size_t headers_end = 0;
};

void note(FloppyImage& floppy, FloppyProblem problem) {
    if (floppy.problem == FloppyProblem::None) {
        floppy.problem = problem;
    }
}

// The sector whose 7 bytes are `entry`, its track's data at `track_data`.
// Offsets are counted in 64 bits, as a track's offset alone fills 32.
FloppySector read_sector(Bytes entry, std::uint64_t track_data, FloppyImage& floppy, Bytes image) {
    FloppySector sector;
    sector.id = {entry[0], entry[1], entry[2], entry[3]};
    const unsigned char flags = entry[kFlagsOffset];
    sector.data_ok = (flags & kCrcGoodFlags) != 0;
    const std::uint64_t begin = track_data + read_little_endian(entry, kSectorDataOffset, kWordSize);
    const std::size_t size = sector_bytes(sector.id.size_code);
    if (begin >= image.size()) {
        sector.has_data = flags != 0;
        if (sector.has_data) {
            sector.data_cut = true;
            sector.data_offset = image.size();
            note(floppy, FloppyProblem::CutShort);
        }
        return sector;
    }
    sector.data_offset = static_cast<std::size_t>(begin);
    sector.data_size = std::min(size, image.size() - sector.data_offset);
    if (sector.data_size < size) {
        sector.data_cut = true;
        note(floppy, FloppyProblem::CutShort);
    }
    return sector;
}

// The track whose header is at `at`, as far as the image holds its header.
FloppyTrack read_track(Bytes image, std::size_t at, std::size_t data_area, FloppyImage& floppy) {
    FloppyTrack track;
    const std::uint64_t data = data_area + std::uint64_t{read_little_endian(image, at + kTrackDataOffset, kTrackDataSize)};
    const std::size_t count = image[at + kSectorCountOffset];
    const std::size_t entries = at + kTrackHeaderSize;
    const std::size_t whole = std::min(count, (image.size() - entries) / kSectorEntrySize);
    if (whole < count) {
        note(floppy, FloppyProblem::CutShort);
    }
    for (std::size_t i = 0; i < whole; ++i) {
        track.sectors.push_back(read_sector(image.subspan(entries + i * kSectorEntrySize, kSectorEntrySize), data, floppy, image));
    }
    return track;
}

Layout read_layout(Bytes image) {
    Layout layout;
    FloppyImage& floppy = layout.floppy;
    if (image.size() < kFdiHeaderSize || !has_fdi_mark(image)) {
        floppy.problem = FloppyProblem::NotAnImage;
        return layout;
    }
    const std::size_t cylinders = read_little_endian(image, kCylindersOffset, kWordSize);
    const std::size_t heads = read_little_endian(image, kHeadsOffset, kWordSize);
    const std::size_t data_area = read_little_endian(image, kDataAreaOffset, kWordSize);
    std::size_t at = kFdiHeaderSize + read_little_endian(image, kExtraLengthOffset, kWordSize);
    if (cylinders > kMostCylinders || heads > kMostHeads) {
        floppy.problem = FloppyProblem::BadHeader;
        return layout;
    }
    for (std::size_t c = 0; c < cylinders; ++c) {
        for (std::size_t h = 0; h < heads; ++h) {
            if (at + kTrackHeaderSize > image.size()) {
                note(floppy, FloppyProblem::CutShort);
                layout.headers_end = image.size();
                return layout;
            }
            FloppyTrack track = read_track(image, at, data_area, floppy);
            track.cylinder = static_cast<std::uint8_t>(c);
            track.head = static_cast<std::uint8_t>(h);
            layout.track_headers.push_back(at);
            at += kTrackHeaderSize + track.sectors.size() * kSectorEntrySize;
            floppy.tracks.push_back(std::move(track));
        }
    }
    layout.headers_end = std::min(at, image.size());
    return layout;
}

// Whether `write` can go in: a whole sector of data past the headers, and
// as many bytes as it holds.
bool can_write(const Layout& layout, const SectorBytes& write) {
    const std::vector<FloppyTrack>& tracks = layout.floppy.tracks;
    if (write.track >= tracks.size() || write.sector >= tracks[write.track].sectors.size()) {
        return false;
    }
    const FloppySector& sector = tracks[write.track].sectors[write.sector];
    return sector.has_data && !sector.data_cut && sector.data_size == sector_bytes(sector.id.size_code) &&
           write.bytes.size() == sector.data_size && sector.data_offset >= layout.headers_end &&
           (sector.data_ok || sector.id.size_code < kCrcGoodBits);
}

// A word, or a track's data offset, into `bytes` at `at`.
void put_field(std::string& bytes, std::size_t at, std::size_t size, std::size_t value) {
    write_little_endian(writable_bytes(bytes), at, size, static_cast<std::uint32_t>(value));
}

}  // namespace

bool has_fdi_mark(std::span<const unsigned char> start) {
    return start.size() >= kFdiMark.size() && std::equal(kFdiMark.begin(), kFdiMark.end(), start.begin());
}

FloppyImage read_fdi(std::span<const unsigned char> image) { return read_layout(image).floppy; }

std::optional<std::string> write_fdi(std::span<const unsigned char> image, const FloppyImage& floppy,
                                     std::span<const SectorBytes> writes) {
    const Layout layout = read_layout(image);
    if (!(layout.floppy == floppy)) {
        return std::nullopt;
    }
    std::string written(image.begin(), image.end());
    for (const SectorBytes& write : writes) {
        if (!can_write(layout, write)) {
            return std::nullopt;
        }
        const FloppySector& sector = floppy.tracks[write.track].sectors[write.sector];
        written.replace(sector.data_offset, sector.data_size, write.bytes);
        const std::size_t flags =
            layout.track_headers[write.track] + kTrackHeaderSize + write.sector * kSectorEntrySize + kFlagsOffset;
        if (!sector.data_ok) {
            written[flags] = static_cast<char>(static_cast<unsigned char>(written[flags]) | 1U << sector.id.size_code);
        }
    }
    return written;
}

std::string new_fdi_image(std::span<const unsigned char> trd) {
    constexpr std::size_t kHeads = 2;
    constexpr std::size_t kTrackBytes = kSectorsPerTrack * kSectorSize;
    const std::size_t tracks = (trd.size() + kTrackBytes - 1) / kTrackBytes;
    const std::size_t cylinders = (tracks + kHeads - 1) / kHeads;
    const std::size_t header = kTrackHeaderSize + kSectorsPerTrack * kSectorEntrySize;
    const std::size_t text = kFdiHeaderSize + cylinders * kHeads * header;
    const std::size_t data = text + 1;  // the description: an empty text, its ending zero
    std::string image(data, '\0');
    image.replace(0, kFdiMark.size(), kFdiMark);
    put_field(image, kCylindersOffset, kWordSize, cylinders);
    put_field(image, kHeadsOffset, kWordSize, kHeads);
    put_field(image, kTextOffset, kWordSize, text);
    put_field(image, kDataAreaOffset, kWordSize, data);
    for (std::size_t track = 0; track < cylinders * kHeads; ++track) {
        const std::size_t at = kFdiHeaderSize + track * header;
        put_field(image, at + kTrackDataOffset, kTrackDataSize, track * kTrackBytes);
        image[at + kSectorCountOffset] = static_cast<char>(kSectorsPerTrack);
        for (std::size_t sector = 0; sector < kSectorsPerTrack; ++sector) {
            const std::size_t entry = at + kTrackHeaderSize + sector * kSectorEntrySize;
            image[entry] = static_cast<char>(track / kHeads);
            image[entry + 1] = static_cast<char>(track % kHeads);
            image[entry + 2] = static_cast<char>(sector + 1);
            image[entry + 3] = static_cast<char>(kTrdosSizeCode);
            image[entry + kFlagsOffset] = static_cast<char>(1U << kTrdosSizeCode);
            put_field(image, entry + kSectorDataOffset, kWordSize, sector * kSectorSize);
        }
    }
    image.append(trd.begin(), trd.end());
    image.resize(data + cylinders * kHeads * kTrackBytes, '\0');
    return image;
}

}  // namespace korve
