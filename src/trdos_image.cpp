#include "trdos_image.h"

#include <algorithm>
#include <numeric>
#include <optional>
#include <utility>

#include "hobeta_header.h"
#include "little_endian.h"

namespace korve {
namespace {

using Bytes = std::span<const unsigned char>;

constexpr std::size_t kWordSize = 2;
constexpr char kNamePadding = ' ';
static_assert(kHobetaCatalogueBytes <= kSclEntrySize);

// An entry's name, type and length; its data is yet to be given.
ImageEntry describe(Bytes fields) {
    ImageEntry entry;
    const Bytes name = fields.first(kCatalogueNameSize);
    entry.name.assign(name.begin(), name.end());
    entry.name.erase(entry.name.find_last_not_of(kNamePadding) + 1);
    entry.type = static_cast<char>(fields[kCatalogueTypeOffset]);
    entry.start = static_cast<std::uint16_t>(read_little_endian(fields, kCatalogueStartOffset, kWordSize));
    entry.length = static_cast<std::uint16_t>(read_little_endian(fields, kCatalogueLengthOffset, kWordSize));
    entry.sectors = fields[kCatalogueSectorsOffset];
    return entry;
}

// Gives an entry its data, `sectors`, as a Hobeta file.
void give_data(ImageEntry& entry, Bytes fields, Bytes sectors) {
    HobetaHeader header{};
    std::copy_n(fields.begin(), kHobetaCatalogueBytes, header.begin());
    header[kHobetaSectorCountOffset] = fields[kCatalogueSectorsOffset];
    set_hobeta_field(header, kHobetaChecksumOffset, hobeta_checksum(header));
    entry.hobeta.assign(header.begin(), header.end());
    entry.hobeta.append(sectors.begin(), sectors.end());
}

// Adds an entry, and its problem to the image's when it is the first.
void add(DiskImage& disk, ImageEntry entry) {
    if (disk.problem == ImageProblem::None) {
        disk.problem = entry.problem;
    }
    disk.entries.push_back(std::move(entry));
}

std::size_t data_size(Bytes fields) { return fields[kCatalogueSectorsOffset] * kSectorSize; }

DiskImage read_trd(Bytes image) {
    DiskImage disk;
    if (image.size() < kTrdEntries * kTrdEntrySize) {
        return {ImageProblem::CutShort, {}};
    }
    for (std::size_t i = 0; i < kTrdEntries; ++i) {
        const Bytes fields = image.subspan(i * kTrdEntrySize, kTrdEntrySize);
        if (fields[0] == kCatalogueEnd) {
            break;
        }
        if (fields[0] == kDeletedMark) {
            continue;
        }
        ImageEntry entry = describe(fields);
        const std::size_t first_sector =
            fields[kCatalogueFirstTrackOffset] * kSectorsPerTrack + fields[kCatalogueFirstSectorOffset];
        const std::size_t begin = first_sector * kSectorSize;
        const std::size_t end = begin + data_size(fields);
        if (end > kLargestDisk) {
            entry.problem = ImageProblem::PastTheDisk;
        } else if (end > image.size()) {
            entry.problem = ImageProblem::CutShort;
        } else {
            give_data(entry, fields, image.subspan(begin, end - begin));
        }
        add(disk, std::move(entry));
    }
    return disk;
}

std::size_t scl_entry_offset(std::size_t index) { return kSclEntriesOffset + index * kSclEntrySize; }

// Where an archive of its first `count` files would end, its checksum
// included; nothing when it ends among their entries.
std::optional<std::size_t> scl_end(Bytes archive, std::size_t count) {
    std::size_t end = scl_entry_offset(count);
    if (end > archive.size()) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < count; ++i) {
        end += data_size(archive.subspan(scl_entry_offset(i), kSclEntrySize));
    }
    return end + kSclChecksumSize;
}

DiskImage read_scl(Bytes archive) {
    if (archive.size() <= kSclCountOffset) {
        return {ImageProblem::CutShort, {}};
    }
    std::size_t count = archive[kSclCountOffset];
    const auto stated_end = scl_end(archive, count);
    ImageProblem problem = ImageProblem::None;
    if (!stated_end || *stated_end > archive.size()) {
        // Either the archive lost its end, or its count names files it never
        // held: then the files it does hold fill it exactly.
        problem = ImageProblem::CutShort;
        for (std::size_t fewer = 0; fewer < count; ++fewer) {
            if (scl_end(archive, fewer) == archive.size()) {
                count = fewer;
                problem = ImageProblem::CountTooLarge;
                break;
            }
        }
    } else {
        const std::size_t sum_end = *stated_end - kSclChecksumSize;
        const Bytes summed = archive.first(sum_end);
        const std::uint32_t sum = std::accumulate(summed.begin(), summed.end(), std::uint32_t{0});
        if (sum != read_little_endian(archive, sum_end, kSclChecksumSize)) {
            problem = ImageProblem::ChecksumMismatch;
        }
    }

    DiskImage disk{problem, {}};
    std::size_t data = scl_entry_offset(count);
    for (std::size_t i = 0; i < count && scl_entry_offset(i + 1) <= archive.size(); ++i) {
        const Bytes fields = archive.subspan(scl_entry_offset(i), kSclEntrySize);
        const std::size_t begin = data;
        data += data_size(fields);
        if (fields[0] == kDeletedMark) {
            continue;
        }
        ImageEntry entry = describe(fields);
        if (data > archive.size()) {
            entry.problem = ImageProblem::CutShort;
        } else {
            give_data(entry, fields, archive.subspan(begin, data - begin));
        }
        add(disk, std::move(entry));
    }
    return disk;
}

}  // namespace

bool has_scl_signature(std::span<const unsigned char> start) {
    return start.size() >= kSclSignature.size() &&
           std::equal(kSclSignature.begin(), kSclSignature.end(), start.begin());
}

bool has_trdos_mark(std::span<const unsigned char> start) {
    return start.size() > kTrdosMarkOffset && start[kTrdosMarkOffset] == kTrdosMark;
}

DiskImage read_trd_image(std::span<const unsigned char> image) {
    return image.size() > kLargestImage ? DiskImage{ImageProblem::NotAnImage, {}} : read_trd(image);
}

DiskImage read_scl_archive(std::span<const unsigned char> archive) {
    return archive.size() > kLargestImage ? DiskImage{ImageProblem::NotAnImage, {}}
                                          : read_scl(archive);
}

std::string full_name(const ImageEntry& entry) { return entry.name + '.' + entry.type; }

}  // namespace korve
