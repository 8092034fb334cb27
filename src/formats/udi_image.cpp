#include "formats/udi_image.h"

#include <algorithm>
#include <array>
#include <vector>

#include "base/little_endian.h"
#include "formats/trdos_image.h"
#include "formats/udi_crc.h"

namespace korve {
namespace {

using Bytes = std::span<const unsigned char>;

// The header's fields.
constexpr std::size_t kSizeOffset = 4;
constexpr std::size_t kVersionOffset = 8;
constexpr std::size_t kCylindersOffset = 9;
constexpr std::size_t kHeadsOffset = 10;
constexpr std::size_t kExtraLengthOffset = 12;
constexpr std::size_t kHeaderSize = 16;
constexpr unsigned char kVersion = 0;

// A track's header: its type and length.
constexpr std::size_t kTrackHeaderSize = 3;
constexpr unsigned char kMfmTrack = 0;

// The fields on a track.
constexpr unsigned char kSync = 0xA1;
constexpr std::size_t kSyncs = 3;
constexpr unsigned char kIdMark = 0xFE;
constexpr unsigned char kDataMark = 0xFB;
constexpr unsigned char kDeletedDataMark = 0xF8;
constexpr std::size_t kIdSize = 4;  // C, H, R, N
constexpr std::size_t kFieldCrcSize = 2;
// How far past the ID's last byte a controller looks for the data mark.
constexpr std::size_t kDataMarkWithin = 43;


// Where a track's bytes lie in the image; those of a track the image ends
// inside are as many as it holds.
struct RawTrack {
    std::uint8_t cylinder = 0;
    std::uint8_t head = 0;
    unsigned char type = kMfmTrack;
    std::size_t begin = 0;  // the raw bytes
    std::size_t size = 0;
    std::size_t marks = 0;  // the bitmap
    std::size_t marks_size = 0;
};

// The tracks as the header and their own headers lay them out.
struct Layout {
    FloppyProblem problem = FloppyProblem::None;
    std::size_t crc_offset = 0;  // where the file's CRC lies, in a whole file
    std::vector<RawTrack> tracks;
};

bool marked(Bytes image, const RawTrack& track, std::size_t at) {
    const std::size_t byte = at / kBitsPerByte;
    return byte < track.marks_size && ((image[track.marks + byte] >> (at % kBitsPerByte)) & 1U) != 0;
}

bool marked_sync(Bytes image, const RawTrack& track, std::size_t at) {
    return image[track.begin + at] == kSync && marked(image, track, at);
}

// Walks the tracks from `at`, none past `end`: a track the end cuts is
// given as far as it goes, and the walk says whether it ran out.
bool walk_tracks(Bytes image, std::size_t at, std::size_t end, Layout& layout) {
    const unsigned cylinders = image[kCylindersOffset] + 1U;
    const unsigned heads = image[kHeadsOffset] + 1U;
    for (unsigned cylinder = 0; cylinder < cylinders; ++cylinder) {
        for (unsigned head = 0; head < heads; ++head) {
            if (end - at < kTrackHeaderSize) {
                return false;
            }
            RawTrack track;
            track.cylinder = static_cast<std::uint8_t>(cylinder);
            track.head = static_cast<std::uint8_t>(head);
            track.type = image[at];
            const std::size_t length = read_little_endian(image, at + 1, kWordSize);
            track.begin = at + kTrackHeaderSize;
            track.size = std::min(length, end - track.begin);
            track.marks = track.begin + track.size;
            const std::size_t marks_size = (length + kBitsPerByte - 1) / kBitsPerByte;
            track.marks_size = track.size < length ? 0 : std::min(marks_size, end - track.marks);
            layout.tracks.push_back(track);
            if (track.size < length || track.marks_size < marks_size) {
                return false;
            }
            at = track.marks + marks_size;
        }
    }
    return true;
}

Layout layout_of(Bytes image) {
    if (image.size() < kUdiSignature.size() ||
        !std::equal(kUdiSignature.begin(), kUdiSignature.end(), image.begin())) {
        return {FloppyProblem::NotAnImage, 0, {}};
    }
    if (image.size() < kHeaderSize) {
        return {FloppyProblem::CutShort, 0, {}};
    }
    if (image[kVersionOffset] != kVersion) {
        return {FloppyProblem::BadHeader, 0, {}};
    }
    // Sizes as 64 bits, so that a field near 4 GiB cannot wrap round.
    const std::uint64_t stated = read_little_endian(image, kSizeOffset, kDwordSize);
    const bool cut = image.size() < stated + kDwordSize;
    Layout layout;
    layout.crc_offset = image.size() - kDwordSize;
    if (image.size() > stated + kDwordSize) {
        layout.problem = FloppyProblem::BadHeader;
    }
    // The tracks end where the file's CRC starts, or where a cut file ends.
    const std::size_t end = cut ? static_cast<std::size_t>(std::min<std::uint64_t>(stated, image.size()))
                                : layout.crc_offset;
    const std::uint64_t tracks = kHeaderSize + std::uint64_t{read_little_endian(image, kExtraLengthOffset, kDwordSize)};
    if (tracks > end || !walk_tracks(image, static_cast<std::size_t>(tracks), end, layout)) {
        layout.problem = cut ? FloppyProblem::CutShort : FloppyProblem::BadHeader;
    } else if (cut) {
        layout.problem = FloppyProblem::CutShort;
    }
    if (layout.problem == FloppyProblem::None &&
        udi_file_crc(image.first(layout.crc_offset)) !=
            read_little_endian(image, layout.crc_offset, kDwordSize)) {
        layout.problem = FloppyProblem::FileCrcWrong;
    }
    return layout;
}

// Whether the byte at `at` is a mark behind three marked A1s: a field's,
// or another's.
bool field_mark(Bytes image, const RawTrack& track, std::size_t at) {
    return at >= kSyncs && at < track.size && marked_sync(image, track, at - kSyncs) &&
           marked_sync(image, track, at - 2) && marked_sync(image, track, at - 1) &&
           !marked_sync(image, track, at);
}

// The places of the marks on a track, in order. The marked bytes are few:
// a byte of the bitmap at a time, most are none.
std::vector<std::size_t> field_marks(Bytes image, const RawTrack& track) {
    std::vector<std::size_t> marks;
    for (std::size_t byte = 0; byte < track.marks_size; ++byte) {
        if (image[track.marks + byte] == 0) {
            continue;
        }
        for (std::size_t at = byte * kBitsPerByte; at < (byte + 1) * kBitsPerByte; ++at) {
            if (field_mark(image, track, at + kSyncs)) {
                marks.push_back(at + kSyncs);
            }
        }
    }
    return marks;
}

// The data field whose mark is at `mark`, given to `sector`.
void read_data(Bytes image, const RawTrack& track, std::size_t mark, FloppySector& sector) {
    const Bytes raw = image.subspan(track.begin, track.size);
    const std::size_t begin = mark + 1;
    const std::size_t size = sector_bytes(sector.id.size_code);
    sector.data_offset = track.begin + begin;
    sector.data_size = std::min(size, raw.size() - begin);
    sector.data_cut = sector.data_size < size;
    sector.data_ok = raw.size() - begin >= size + kFieldCrcSize &&
                     mfm_field_crc(raw.subspan(mark - kSyncs, kSyncs + 1 + size)) ==
                         (raw[begin + size] << kBitsPerByte | raw[begin + size + 1]);
}

// The sectors of an MFM track: each ID whose CRC holds, with the data field
// that follows it in time.
std::vector<FloppySector> read_sectors(Bytes image, const RawTrack& track) {
    const Bytes raw = image.subspan(track.begin, track.size);
    const std::vector<std::size_t> marks = field_marks(image, track);
    std::vector<FloppySector> sectors;
    for (std::size_t i = 0; i < marks.size(); ++i) {
        const std::size_t mark = marks[i];
        const std::size_t crc = mark + 1 + kIdSize;
        if (raw[mark] != kIdMark || crc + kFieldCrcSize > raw.size() ||
            mfm_field_crc(raw.subspan(mark - kSyncs, crc - (mark - kSyncs))) !=
                (raw[crc] << kBitsPerByte | raw[crc + 1])) {
            continue;
        }
        FloppySector sector;
        sector.id = {raw[mark + 1], raw[mark + 2], raw[mark + 3], raw[mark + 4]};
        const std::size_t id_end = crc + 1;
        const bool data = i + 1 < marks.size() && marks[i + 1] - id_end <= kDataMarkWithin &&
                          (raw[marks[i + 1]] == kDataMark || raw[marks[i + 1]] == kDeletedDataMark);
        if (data) {
            read_data(image, track, marks[i + 1], sector);
        } else {
            sector.has_data = false;
            sector.data_ok = false;
        }
        sectors.push_back(sector);
    }
    return sectors;
}

// Why `write` cannot go into the image laid out as `layout`, read as
// `floppy`; None where it can.
UdiWriteProblem check_write(Bytes image, const Layout& layout, const FloppyImage& floppy,
                            const SectorBytes& write) {
    if (write.track >= floppy.tracks.size() || write.track >= layout.tracks.size() ||
        write.sector >= floppy.tracks[write.track].sectors.size()) {
        return UdiWriteProblem::NoSuchSector;
    }
    const FloppySector& sector = floppy.tracks[write.track].sectors[write.sector];
    if (!sector.has_data || sector.data_cut) {
        return UdiWriteProblem::NoData;
    }
    if (write.bytes.size() != sector.data_size) {
        return UdiWriteProblem::WrongSize;
    }
    // The sector must be one this image has: a data mark behind its syncs,
    // the data and its CRC on the track.
    const RawTrack& track = layout.tracks[write.track];
    if (sector.data_offset <= track.begin || sector.data_offset - track.begin > track.size ||
        track.size - (sector.data_offset - track.begin) < sector.data_size + kFieldCrcSize) {
        return UdiWriteProblem::NoSuchSector;
    }
    const std::size_t begin = sector.data_offset - track.begin;
    const unsigned char mark = image[sector.data_offset - 1];
    if (!field_mark(image, track, begin - 1) || (mark != kDataMark && mark != kDeletedDataMark)) {
        return UdiWriteProblem::NoSuchSector;
    }
    for (std::size_t at = begin; at < begin + sector.data_size + kFieldCrcSize; ++at) {
        if (marked(image, track, at)) {
            return UdiWriteProblem::CoversMarks;
        }
    }
    return UdiWriteProblem::None;
}

// A new MFM track's raw bytes and the bitmap of its marks, as TR-DOS's
// format lays it out: 6,250 bytes a turn at 250 kbit/s and 300 turns a
// minute; records one apart, so that a sector read leaves time to ask for
// the next.
constexpr std::size_t kNewTrackSize = 6250;
constexpr std::array<std::uint8_t, kSectorsPerTrack> kTrdosRecords = {1, 9, 2, 10, 3, 11, 4, 12,
                                                                     5, 13, 6, 14, 7, 15, 8, 16};
constexpr unsigned char kGap = 0x4E;
constexpr unsigned char kIndexSync = 0xC2;
constexpr unsigned char kIndexMark = 0xFC;

struct NewTrack {
    std::string bytes;
    std::vector<bool> marks;

    void add(std::size_t count, unsigned char byte, bool mark = false) {
        bytes.append(count, static_cast<char>(byte));
        marks.insert(marks.end(), count, mark);
    }
    // 12 zero bytes and three marked syncs, then the field's mark, `content`
    // and its CRC.
    void field(unsigned char mark, Bytes content) {
        add(12, 0);
        const std::size_t begin = bytes.size();
        add(kSyncs, kSync, true);
        add(1, mark);
        bytes.append(content.begin(), content.end());
        marks.insert(marks.end(), content.size(), false);
        const std::uint16_t crc = mfm_field_crc(byte_span(bytes).subspan(begin));
        add(1, static_cast<unsigned char>(crc >> kBitsPerByte));
        add(1, static_cast<unsigned char>(crc));
    }
};

// Logical track `index` of `trd` as a UDI track: its header, raw bytes and
// marks.
std::string new_track(Bytes trd, std::size_t index) {
    constexpr std::size_t kTrackBytes = kSectorsPerTrack * kSectorSize;
    std::vector<unsigned char> sectors(kTrackBytes, 0);
    const std::size_t from = std::min(trd.size(), index * kTrackBytes);
    const std::size_t size = std::min(trd.size() - from, kTrackBytes);
    std::copy_n(trd.begin() + static_cast<std::ptrdiff_t>(from), size, sectors.begin());
    NewTrack track;
    track.add(80, kGap);
    track.add(12, 0);
    track.add(kSyncs, kIndexSync, true);
    track.add(1, kIndexMark);
    track.add(50, kGap);
    for (const std::uint8_t record : kTrdosRecords) {
        const std::array<unsigned char, kIdSize> id = {static_cast<unsigned char>(index / 2),
                                                       static_cast<unsigned char>(index % 2), record,
                                                       kTrdosSizeCode};
        track.field(kIdMark, id);
        track.add(22, kGap);
        track.field(kDataMark, Bytes(sectors).subspan((record - 1U) * kSectorSize, kSectorSize));
        track.add(54, kGap);
    }
    track.add(kNewTrackSize - track.bytes.size(), kGap);
    std::string raw(kTrackHeaderSize, '\0');
    raw[0] = static_cast<char>(kMfmTrack);
    write_little_endian(writable_bytes(raw), 1, kWordSize, kNewTrackSize);
    raw += track.bytes;
    std::string marks((kNewTrackSize + kBitsPerByte - 1) / kBitsPerByte, '\0');
    for (std::size_t i = 0; i < kNewTrackSize; ++i) {
        marks[i / kBitsPerByte] = static_cast<char>(marks[i / kBitsPerByte] | (track.marks[i] ? 1 << (i % kBitsPerByte) : 0));
    }
    return raw + marks;
}

}  // namespace

FloppyImage read_udi(std::span<const unsigned char> image) {
    const Layout layout = layout_of(image);
    FloppyImage floppy;
    floppy.problem = layout.problem;
    for (const RawTrack& raw : layout.tracks) {
        FloppyTrack& track = floppy.tracks.emplace_back();
        track.cylinder = raw.cylinder;
        track.head = raw.head;
        track.unread = raw.type != kMfmTrack;
        if (!track.unread) {
            track.sectors = read_sectors(image, raw);
        }
    }
    return floppy;
}

UdiWritten write_udi(std::span<const unsigned char> image, const FloppyImage& floppy,
                     std::span<const SectorBytes> writes) {
    UdiWritten written;
    const Layout layout = layout_of(image);
    if (layout.problem != FloppyProblem::None && layout.problem != FloppyProblem::FileCrcWrong) {
        written.problem = UdiWriteProblem::DamagedImage;
        return written;
    }
    for (std::size_t i = 0; i < writes.size(); ++i) {
        written.problem = check_write(image, layout, floppy, writes[i]);
        if (written.problem != UdiWriteProblem::None) {
            written.refused = i;
            return written;
        }
    }
    written.bytes.assign(image.begin(), image.end());
    if (writes.empty()) {
        return written;
    }
    const std::span<unsigned char> bytes = writable_bytes(written.bytes);
    for (const SectorBytes& write : writes) {
        const FloppySector& sector = floppy.tracks[write.track].sectors[write.sector];
        std::copy(write.bytes.begin(), write.bytes.end(),
                  bytes.begin() + static_cast<std::ptrdiff_t>(sector.data_offset));
        const std::size_t field = sector.data_offset - 1 - kSyncs;
        const std::size_t crc_at = sector.data_offset + sector.data_size;
        const std::uint16_t crc = mfm_field_crc(bytes.subspan(field, crc_at - field));
        bytes[crc_at] = static_cast<unsigned char>(crc >> kBitsPerByte);
        bytes[crc_at + 1] = static_cast<unsigned char>(crc);
    }
    write_little_endian(bytes, layout.crc_offset, kDwordSize, udi_file_crc(bytes.first(layout.crc_offset)));
    return written;
}

std::string new_udi_image(std::span<const unsigned char> trd) {
    constexpr std::size_t kHeads = 2;
    constexpr std::size_t kTrackBytes = kSectorsPerTrack * kSectorSize;
    const std::size_t tracks = (trd.size() + kTrackBytes - 1) / kTrackBytes;
    const std::size_t cylinders = std::max<std::size_t>((tracks + kHeads - 1) / kHeads, 1);
    std::string image(kHeaderSize, '\0');
    image.replace(0, kUdiSignature.size(), kUdiSignature);
    image[kVersionOffset] = static_cast<char>(kVersion);
    image[kCylindersOffset] = static_cast<char>(cylinders - 1);
    image[kHeadsOffset] = static_cast<char>(kHeads - 1);
    for (std::size_t track = 0; track < cylinders * kHeads; ++track) {
        image += new_track(trd, track);
    }
    write_little_endian(writable_bytes(image), kSizeOffset, kDwordSize, static_cast<std::uint32_t>(image.size()));
    image.append(kDwordSize, '\0');
    const std::span<unsigned char> bytes = writable_bytes(image);
    write_little_endian(bytes, image.size() - kDwordSize, kDwordSize,
                        udi_file_crc(bytes.first(image.size() - kDwordSize)));
    return image;
}

}  // namespace korve
