#include "image_writer.h"

#include <array>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <numeric>

#include "base/little_endian.h"
#include "formats/td0_lzhuf.h"
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
    if (file.name.size() > kTrdosNameSize) {
        std::fprintf(stderr, "image_writer: the name %s is too long\n", file.name.c_str());
        std::abort();
    }
    CatalogueEntry entry = new_entry(
        {.name = trdos_name(file.name, static_cast<unsigned char>(file.type)), .start = file.start, .data = file.data},
        0, first_sector);
    entry.sectors = static_cast<unsigned char>(sectors(file).size() / kSectorSize);
    if (file.deleted) {
        entry.name.name[0] = kDeletedMark;
    }
    const CatalogueFields fields = catalogue_fields(entry);
    return {fields.begin(), fields.end()};
}

// Teledisk's fields of a disk TR-DOS formats: 256-byte sectors, a double
// density 3.5" drive, and a made-up check signature and date.
constexpr unsigned char kTrdosSizeCode = 1;
constexpr std::string_view kTd0DiskFields("\x00\x03", 2);  // data rate, drive type
constexpr unsigned char kTd0CheckSignature = 0x5A;
constexpr std::string_view kTd0Date("\x58\x04\x15\x0C\x00\x00", 6);
constexpr std::size_t kLongestRun = 255;

char low_crc_byte(std::string_view bytes) {
    return static_cast<char>(td0_crc(byte_span(bytes)) & 0xFF);
}

// Whether `data` is one pair of bytes, repeated.
bool one_pattern(std::string_view data) {
    if (data.size() < 2 || data.size() % 2 != 0) {
        return false;
    }
    for (std::size_t i = 2; i < data.size(); ++i) {
        if (data[i] != data[i - 2]) {
            return false;
        }
    }
    return true;
}

// How many times the pair of bytes at `from` repeats there, at most 255.
std::size_t pair_repeats(std::string_view data, std::size_t from) {
    std::size_t times = 0;
    while (times < kLongestRun && from + 2 * (times + 1) <= data.size() &&
           data.substr(from + 2 * times, 2) == data.substr(from, 2)) {
        ++times;
    }
    return times;
}

// Method 2's entries for `data`: a run of a pair where it repeats, the bytes
// between as they are.
std::string runs(std::string_view data) {
    std::string entries;
    for (std::size_t at = 0; at < data.size();) {
        const std::size_t times = pair_repeats(data, at);
        if (times >= 2) {
            entries += '\1';
            entries += static_cast<char>(times);
            entries += data.substr(at, 2);
            at += 2 * times;
            continue;
        }
        std::size_t end = at + 1;
        while (end < data.size() && end - at < kLongestRun && pair_repeats(data, end) < 2) {
            ++end;
        }
        entries += '\0';
        entries += static_cast<char>(end - at);
        entries += data.substr(at, end - at);
        at = end;
    }
    return entries;
}

std::string sector_record(const Td0Sector& sector) {
    std::string header{static_cast<char>(sector.id.cylinder), static_cast<char>(sector.id.head),
                       static_cast<char>(sector.id.record), static_cast<char>(sector.id.size_code),
                       static_cast<char>(sector.flags), low_crc_byte(sector.data)};
    if ((sector.flags & (kTd0NotKept | kTd0NoData)) != 0 || sector.id.size_code > kTd0LargestSizeCode) {
        return header;
    }
    std::string body = sector.data;
    if (sector.method == kTd0Pattern) {
        body = little_endian(sector.data.size() / 2, kWordSize) + sector.data.substr(0, 2);
    } else if (sector.method == kTd0Runs) {
        body = runs(sector.data);
    }
    return header + little_endian(body.size() + 1, kWordSize) + static_cast<char>(sector.method) + body;
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

std::vector<Td0Track> td0_tracks(std::string_view disk, unsigned sides, bool interleaved) {
    const std::size_t track_size = kSectorsPerTrack * kSectorSize;
    std::vector<Td0Track> tracks;
    for (std::size_t t = 0; t * track_size < disk.size(); ++t) {
        Td0Track& track = tracks.emplace_back();
        track.cylinder = static_cast<std::uint8_t>(t / sides);
        track.head = static_cast<std::uint8_t>(t % sides);
        for (std::size_t i = 0; i < kSectorsPerTrack; ++i) {
            const std::size_t record = interleaved ? kInterleavedRecords[i] : 1 + i;
            Td0Sector sector{.id = {track.cylinder, track.head, static_cast<std::uint8_t>(record), kTrdosSizeCode}};
            sector.data = disk.substr(t * track_size + (record - 1) * kSectorSize, kSectorSize);
            sector.method = one_pattern(sector.data) ? kTd0Pattern : record % 2 == 1 ? kTd0Runs : kTd0Raw;
            track.sectors.push_back(sector);
        }
    }
    return tracks;
}

std::string td0_image(const std::vector<Td0Track>& tracks, const Td0Options& options) {
    std::string stream;
    if (!options.comment.empty()) {
        const std::string fields = little_endian(options.comment.size() + 1, kWordSize) + std::string(kTd0Date) +
                                   options.comment + '\0';
        stream += little_endian(td0_crc(byte_span(fields)), kWordSize) + fields;
    }
    bool two_sides = false;
    for (const Td0Track& track : tracks) {
        std::string header{static_cast<char>(track.sectors.size()), static_cast<char>(track.cylinder),
                           static_cast<char>(track.head)};
        stream += header + low_crc_byte(header);
        for (const Td0Sector& sector : track.sectors) {
            stream += sector_record(sector);
        }
        two_sides = two_sides || track.head == 1;
    }
    stream += static_cast<char>(kTd0LastTrack);
    std::string header = options.packed ? "td" : "TD";
    header += {'\0', static_cast<char>(kTd0CheckSignature), static_cast<char>(options.version)};
    header += kTd0DiskFields;
    header += {static_cast<char>(options.comment.empty() ? 0 : kTd0CommentFollows), '\0', two_sides ? '\2' : '\1'};
    header += little_endian(td0_crc(byte_span(header)), kWordSize);
    return header + (options.packed ? lzhuf_literals(stream) : stream);
}

std::string lzhuf_literals(std::string_view bytes) {
    LzhufModel model = lzhuf_model();
    std::string packed;
    unsigned byte = 0;
    unsigned bits = 0;
    for (const char c : bytes) {
        const auto symbol = static_cast<unsigned char>(c);
        for (const bool bit : lzhuf_code(model, symbol)) {
            byte = (byte << 1) | (bit ? 1U : 0U);
            if (++bits == 8) {
                packed += static_cast<char>(byte);
                byte = 0;
                bits = 0;
            }
        }
        lzhuf_count(model, symbol);
    }
    if (bits > 0) {
        packed += static_cast<char>(byte << (8 - bits));
    }
    return packed;
}

namespace {

constexpr std::size_t kTrackBytes = kSectorsPerTrack * kSectorSize;

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
    for (const unsigned char record : kInterleavedRecords) {
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

const std::vector<unsigned char> kInterleavedRecords = {1, 9, 2, 10, 3, 11, 4, 12, 5, 13, 6, 14, 7, 15, 8, 16};

std::string trd_sector(const std::string& trd, std::size_t sector) {
    std::string bytes = sector * kSectorSize < trd.size() ? trd.substr(sector * kSectorSize, kSectorSize) : "";
    bytes.resize(kSectorSize, '\0');
    return bytes;
}

std::string fdi_image(const std::string& trd, std::size_t cylinders, std::size_t sides) {
    const std::string description = "korve test disk";
    const std::size_t tracks = cylinders * sides;
    const std::size_t track_header = 7 + kSectorsPerTrack * 7;
    const std::size_t text = 14 + tracks * track_header;
    const std::size_t data = text + description.size() + 1;
    std::string image = "FDI" + std::string(1, '\0') + little_endian(cylinders, kWordSize) +
                        little_endian(sides, kWordSize) + little_endian(text, kWordSize) +
                        little_endian(data, kWordSize) + little_endian(0, kWordSize);
    std::string sectors;
    for (std::size_t c = 0; c < cylinders; ++c) {
        for (std::size_t h = 0; h < sides; ++h) {
            const std::size_t logical = sides == 2 ? c * 2 + h : c;
            image += little_endian(sectors.size(), 4) + little_endian(0, kWordSize) +
                     static_cast<char>(kSectorsPerTrack);
            for (std::size_t i = 0; i < kInterleavedRecords.size(); ++i) {
                const unsigned char record = kInterleavedRecords[i];
                const char id[] = {static_cast<char>(c), static_cast<char>(h), static_cast<char>(record), 1,
                                   0x02};
                image.append(id, sizeof id);
                image += little_endian(i * kSectorSize, kWordSize);
            }
            for (const unsigned char record : kInterleavedRecords) {
                sectors += trd_sector(trd, logical * kSectorsPerTrack + record - 1U);
            }
        }
    }
    return image + description + '\0' + sectors;
}

}  // namespace korve::testing
