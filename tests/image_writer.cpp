#include "image_writer.h"

#include <array>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <numeric>

#include "base/little_endian.h"
#include "formats/trdos_image.h"

namespace korve::testing {
namespace {

constexpr std::size_t kWordSize = 2;

// `value` as `size` bytes, low byte first.
std::string little_endian(std::size_t value, std::size_t size) {
    std::array<unsigned char, sizeof(std::uint32_t)> bytes{};
    write_little_endian(bytes, 0, size, static_cast<std::uint32_t>(value));
    return {bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size)};
}

std::string sectors(const DiskFile& file) {
    std::string bytes = file.data + file.slack;
    bytes.resize((bytes.size() + kSectorSize - 1) / kSectorSize * kSectorSize, '\0');
    return bytes;
}

// The 16-byte catalogue entry of a file whose data starts at `first_sector`:
// TR-DOS's own, but for the sectors its slack takes and a deleted name.
std::string catalogue_entry(const DiskFile& file, std::size_t first_sector) {
    if (file.name.size() > kCatalogueNameSize) {
        std::fprintf(stderr, "image_writer: the name %s is too long\n", file.name.c_str());
        std::abort();
    }
    CatalogueEntry entry = korve::catalogue_entry(
        {.name = file.name, .type = file.type, .start = file.start, .data = file.data}, first_sector);
    entry[kCatalogueSectorsOffset] = static_cast<unsigned char>(sectors(file).size() / kSectorSize);
    if (file.deleted) {
        entry[0] = kDeletedMark;
    }
    return {entry.begin(), entry.end()};
}

}  // namespace

std::string trd_image(const std::vector<DiskFile>& files) {
    if (files.size() > kTrdEntries) {
        std::fputs("image_writer: too many files for a catalogue\n", stderr);
        std::abort();
    }
    std::string image(kFirstFileSector * kSectorSize, '\0');
    std::size_t next_sector = kFirstFileSector;
    std::size_t deleted = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::string entry = catalogue_entry(files[i], next_sector);
        image.replace(i * entry.size(), entry.size(), entry);
        image += sectors(files[i]);
        next_sector = image.size() / kSectorSize;
        deleted += files[i].deleted ? 1 : 0;
    }
    image[kFirstFreeSectorOffset] = static_cast<char>(next_sector % kSectorsPerTrack);
    image[kFirstFreeTrackOffset] = static_cast<char>(next_sector / kSectorsPerTrack);
    image[kDiskTypeOffset] = static_cast<char>(kEightyTracksTwoSides);
    image[kFileCountOffset] = static_cast<char>(files.size());
    write_little_endian(writable_bytes(image), kFreeSectorsOffset, kWordSize,
                        static_cast<std::uint32_t>(kDiskSectors - next_sector));
    image[kTrdosMarkOffset] = static_cast<char>(kTrdosMark);
    image[kDeletedCountOffset] = static_cast<char>(deleted);
    image.replace(kDiskLabelOffset, kDiskLabelSize, "KORVE   ");
    return image;
}

std::string scl_archive(const std::vector<DiskFile>& files) {
    std::string archive(kSclSignature);
    archive += static_cast<char>(files.size());
    for (const DiskFile& file : files) {
        archive += catalogue_entry(file, 0).substr(0, kSclEntrySize);
    }
    for (const DiskFile& file : files) {
        archive += sectors(file);
    }
    const std::size_t sum = std::accumulate(archive.begin(), archive.end(), std::size_t{0},
                                            [](std::size_t total, char byte) {
                                                return total + static_cast<unsigned char>(byte);
                                            });
    return archive + little_endian(sum, kSclChecksumSize);
}

namespace {

constexpr std::size_t kTrackBytes = kSectorsPerTrack * kSectorSize;
constexpr unsigned char kRecords[kSectorsPerTrack] = {1, 9, 2, 10, 3, 11, 4, 12, 5, 13, 6, 14, 7, 15, 8, 16};

// A track's raw bytes and the bytes written as marks.
struct MfmTrack {
    std::string bytes;
    std::vector<bool> marks;

    void add(std::size_t count, char byte, bool mark = false) {
        bytes.append(count, byte);
        marks.insert(marks.end(), count, mark);
    }
    // 12 zero bytes and three marked syncs, then the field's mark and
    // `content`, and its CRC (wrong where `fault`).
    void field(char sync, char mark, const std::string& content, bool fault) {
        add(12, '\0');
        const std::size_t begin = bytes.size();
        add(3, sync, true);
        add(1, mark);
        bytes += content;
        marks.insert(marks.end(), content.size(), false);
        const std::uint16_t crc = ccitt_crc(std::string_view(bytes).substr(begin)) ^ (fault ? 1 : 0);
        add(1, static_cast<char>(crc >> 8));
        add(1, static_cast<char>(crc & 0xFF));
    }
};

bool has_fault(const UdiShape& shape, std::size_t track, unsigned char record, bool in_id) {
    for (const UdiFault& fault : shape.faults) {
        if (fault.track == track && fault.record == record && fault.in_id == in_id) {
            return true;
        }
    }
    return false;
}

// The image's track `index`, holding the .trd's sectors of track `index`.
std::string udi_track(const std::string& trd, const UdiShape& shape, std::size_t index) {
    std::string sectors = index * kTrackBytes < trd.size() ? trd.substr(index * kTrackBytes, kTrackBytes) : "";
    sectors.resize(kTrackBytes, '\0');
    MfmTrack track;
    track.add(80, '\x4E');
    track.add(12, '\0');
    track.add(3, '\xC2', true);
    track.add(1, '\xFC');
    track.add(50, '\x4E');
    for (const unsigned char record : kRecords) {
        const std::string id = {static_cast<char>(index / shape.sides), static_cast<char>(index % shape.sides),
                                static_cast<char>(record), '\x01'};
        track.field('\xA1', '\xFE', id, has_fault(shape, index, record, true));
        track.add(22, '\x4E');
        track.field('\xA1', '\xFB', sectors.substr((record - 1) * kSectorSize, kSectorSize),
                    has_fault(shape, index, record, false));
        track.add(54, '\x4E');
    }
    track.add(shape.track_length > track.bytes.size() ? shape.track_length - track.bytes.size() : 0, '\x4E');
    track.bytes.resize(shape.track_length);
    std::string marks((shape.track_length + 7) / 8, '\0');
    for (std::size_t i = 0; i < shape.track_length; ++i) {
        marks[i / 8] = static_cast<char>(marks[i / 8] | (track.marks[i] ? 1 << (i % 8) : 0));
    }
    return '\0' + little_endian(shape.track_length, 2) + track.bytes + marks;
}

}  // namespace

std::string udi_image(const std::string& trd, const UdiShape& shape) {
    std::string image = "UDI!" + little_endian(0, 4) + '\0' + static_cast<char>(shape.cylinders - 1) +
                        static_cast<char>(shape.sides - 1) + '\0' +
                        little_endian(shape.extra_header.size(), 4) + shape.extra_header;
    for (std::size_t track = 0; track < shape.cylinders * shape.sides; ++track) {
        image += udi_track(trd, shape, track);
    }
    image.replace(4, 4, little_endian(image.size(), 4));
    return with_crc(image + std::string(4, '\0'));
}

std::uint16_t ccitt_crc(std::string_view bytes) {
    std::uint16_t crc = 0xFFFF;
    for (const char byte : bytes) {
        crc ^= static_cast<std::uint16_t>(static_cast<unsigned char>(byte) << 8);
        for (int bit = 0; bit < 8; ++bit) {
            crc = static_cast<std::uint16_t>((crc & 0x8000) != 0 ? (crc << 1) ^ 0x1021 : crc << 1);
        }
    }
    return crc;
}

// Word for word as the emulators compute it: >> on a negative register
// keeps its sign.
std::uint32_t udi_crc(std::string_view bytes) {
    std::int32_t crc = -1;
    for (const char byte : bytes) {
        crc ^= -1 ^ static_cast<unsigned char>(byte);
        for (int bit = 0; bit < 8; ++bit) {
            const std::int32_t temp = -(crc & 1);
            crc >>= 1;
            crc ^= static_cast<std::int32_t>(0xEDB88320U) & temp;
        }
        crc ^= -1;
    }
    return static_cast<std::uint32_t>(crc);
}

std::string with_crc(std::string udi, std::uint32_t (*crc)(std::string_view)) {
    const std::size_t end = udi.size() - 4;
    return udi.replace(end, 4, little_endian(crc(std::string_view(udi).substr(0, end)), 4));
}

}  // namespace korve::testing
