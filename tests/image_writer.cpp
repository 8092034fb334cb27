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
