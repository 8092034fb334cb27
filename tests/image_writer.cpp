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

}  // namespace korve::testing
