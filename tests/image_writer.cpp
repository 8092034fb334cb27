#include "image_writer.h"

#include <cstdio>
#include <cstdlib>
#include <numeric>

#include "trdos_image.h"

namespace korve::testing {
namespace {

constexpr std::size_t kFirstFileSector = kSectorsPerTrack;  // track 0 is TR-DOS's own
constexpr std::size_t kDiskSectors = kLargestDisk / kSectorSize;

// The fields of the disk-information sector that TR-DOS keeps, beside its mark.
constexpr std::size_t kFirstFreeSector = kDiskInformation + 0xE1;  // then its track
constexpr std::size_t kDiskType = kDiskInformation + 0xE3;
constexpr char kEightyTracksTwoSides = '\x16';
constexpr std::size_t kFileCount = kDiskInformation + 0xE4;
constexpr std::size_t kFreeSectors = kDiskInformation + 0xE5;
constexpr std::size_t kDeletedCount = kDiskInformation + 0xF4;
constexpr std::size_t kLabel = kDiskInformation + 0xF5;

// `value` as `size` bytes, low byte first.
std::string little_endian(std::size_t value, std::size_t size) {
    std::string bytes;
    for (std::size_t i = 0; i < size; ++i) {
        bytes += static_cast<char>(value >> (8 * i) & 0xFFU);
    }
    return bytes;
}

std::string sectors(const DiskFile& file) {
    std::string bytes = file.data + file.slack;
    bytes.resize((bytes.size() + kSectorSize - 1) / kSectorSize * kSectorSize, '\0');
    return bytes;
}

// The 16-byte catalogue entry of a file whose data starts at `first_sector`.
std::string catalogue_entry(const DiskFile& file, std::size_t first_sector) {
    if (file.name.size() > kCatalogueNameSize) {
        std::fprintf(stderr, "image_writer: the name %s is too long\n", file.name.c_str());
        std::abort();
    }
    std::string entry = file.name + std::string(kCatalogueNameSize - file.name.size(), ' ');
    if (file.deleted) {
        entry[0] = static_cast<char>(kDeletedMark);
    }
    return entry + file.type + little_endian(file.start, 2) + little_endian(file.data.size(), 2) +
           static_cast<char>(sectors(file).size() / kSectorSize) +
           static_cast<char>(first_sector % kSectorsPerTrack) +
           static_cast<char>(first_sector / kSectorsPerTrack);
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
    image[kFirstFreeSector] = static_cast<char>(next_sector % kSectorsPerTrack);
    image[kFirstFreeSector + 1] = static_cast<char>(next_sector / kSectorsPerTrack);
    image[kDiskType] = kEightyTracksTwoSides;
    image[kFileCount] = static_cast<char>(files.size());
    image.replace(kFreeSectors, 2, little_endian(kDiskSectors - next_sector, 2));
    image[kTrdosMarkOffset] = static_cast<char>(kTrdosMark);
    image[kDeletedCount] = static_cast<char>(deleted);
    image.replace(kLabel, kCatalogueNameSize, "KORVE   ");
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
    return archive + little_endian(sum, 4);
}

}  // namespace korve::testing
