#include "formats/trdos_image.h"

#include <algorithm>
#include <array>
#include <numeric>
#include <optional>
#include <utility>

#include "base/little_endian.h"
#include "formats/hobeta_header.h"

namespace korve {
namespace {

using Bytes = std::span<const unsigned char>;

constexpr std::size_t kWordSize = 2;
constexpr char kNamePadding = ' ';
static_assert(kHobetaCatalogueBytes <= kSclEntrySize);

// The entry at `slot`: its name, type and length; its data is yet to be
// given.
ImageEntry describe(Bytes fields, std::size_t slot) {
    ImageEntry entry;
    entry.slot = slot;
    const Bytes name = fields.first(kCatalogueNameSize);
    entry.name.assign(name.begin(), name.end());
    entry.name.erase(entry.name.find_last_not_of(kNamePadding) + 1);
    entry.type = static_cast<char>(fields[kCatalogueTypeOffset]);
    entry.start = static_cast<std::uint16_t>(read_little_endian(fields, kCatalogueStartOffset, kWordSize));
    entry.length = static_cast<std::uint16_t>(read_little_endian(fields, kCatalogueLengthOffset, kWordSize));
    entry.sectors = fields[kCatalogueSectorsOffset];
    return entry;
}

// The Hobeta header of the file whose catalogue fields are `fields`.
HobetaHeader hobeta_header_of(Bytes fields) {
    return make_hobeta_header(fields.first<kHobetaCatalogueBytes>(), fields[kCatalogueSectorsOffset]);
}

// Gives an entry its data, `sectors`, as a Hobeta file.
void give_data(ImageEntry& entry, Bytes fields, Bytes sectors) {
    const HobetaHeader header = hobeta_header_of(fields);
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
        ImageEntry entry = describe(fields, i);
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

// Whether the checksum after the first `sum_end` bytes is their sum.
bool checksum_matches(Bytes archive, std::size_t sum_end) {
    const Bytes summed = archive.first(sum_end);
    const std::uint32_t sum = std::accumulate(summed.begin(), summed.end(), std::uint32_t{0});
    return sum == read_little_endian(archive, sum_end, kSclChecksumSize);
}

// The count of files the archive's bytes hold whole, where it says more.
std::optional<std::size_t> whole_with_fewer(Bytes archive, std::size_t count) {
    for (std::size_t fewer = 0; fewer < count; ++fewer) {
        if (scl_end(archive, fewer) == archive.size() &&
            checksum_matches(archive, archive.size() - kSclChecksumSize)) {
            return fewer;
        }
    }
    return std::nullopt;
}

DiskImage read_scl(Bytes archive) {
    if (archive.size() <= kSclCountOffset) {
        DiskImage lost{ImageProblem::CutShort, {}};
        lost.count_lost = true;
        return lost;
    }
    std::size_t count = archive[kSclCountOffset];
    const auto stated_end = scl_end(archive, count);
    ImageProblem problem = ImageProblem::None;
    if (!stated_end || *stated_end > archive.size()) {
        // Either the archive lost its end, or its count names files it never
        // held: then the files it does hold make a whole archive.
        problem = ImageProblem::CutShort;
        if (const auto fewer = whole_with_fewer(archive, count)) {
            count = *fewer;
            problem = ImageProblem::CountTooLarge;
        }
    } else if (!checksum_matches(archive, *stated_end - kSclChecksumSize)) {
        problem = ImageProblem::ChecksumMismatch;
    }

    DiskImage disk{problem, {}};
    std::size_t data = scl_entry_offset(count);
    for (std::size_t i = 0; i < count; ++i) {
        if (scl_entry_offset(i + 1) > archive.size()) {
            disk.unlisted = count - i;
            break;
        }
        const Bytes fields = archive.subspan(scl_entry_offset(i), kSclEntrySize);
        const std::size_t begin = data;
        data += data_size(fields);
        if (fields[0] == kDeletedMark) {
            continue;
        }
        ImageEntry entry = describe(fields, i);
        if (data > archive.size()) {
            entry.problem = ImageProblem::CutShort;
        } else {
            give_data(entry, fields, archive.subspan(begin, data - begin));
        }
        add(disk, std::move(entry));
    }
    return disk;
}

constexpr std::size_t kMostTrdFiles = kTrdEntries;
constexpr std::size_t kLargestFile = kMostSectors * kSectorSize;
constexpr unsigned char kFirstPrintable = 0x20;

std::size_t sectors_of(std::size_t size) { return (size + kSectorSize - 1) / kSectorSize; }

// The file's data, its last sector filled up with zero bytes.
void append_sectors(std::string& bytes, const TrdosFile& file) {
    bytes += file.data;
    bytes.append(sectors_of(file.data.size()) * kSectorSize - file.data.size(), '\0');
}

// The first problem of `files` that no image could hold, or of their count.
WrittenImage check_files(std::span<const TrdosFile> files, std::size_t most) {
    for (std::size_t i = 0; i < files.size(); ++i) {
        const TrdosFile& file = files[i];
        WriteProblem problem = WriteProblem::None;
        if (check_trdos_name(file.name) != NameProblem::None) {
            problem = WriteProblem::BadName;
        } else if (file.data.size() > kLargestFile) {
            problem = WriteProblem::FileTooLarge;
        } else if (std::any_of(files.begin(), files.begin() + static_cast<std::ptrdiff_t>(i),
                               [&file](const TrdosFile& before) { return same_catalogue_name(before, file); })) {
            problem = WriteProblem::SameName;
        } else if (i >= most) {
            problem = WriteProblem::TooManyFiles;
        }
        if (problem != WriteProblem::None) {
            return {{}, problem, i};
        }
    }
    return {};
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

std::size_t lost_files(const DiskImage& image) {
    const auto lost = std::count_if(image.entries.begin(), image.entries.end(),
                                    [](const ImageEntry& entry) { return entry.problem != ImageProblem::None; });
    return static_cast<std::size_t>(lost) + image.unlisted;
}

namespace {

// What is wrong with an image or one of its files: a fixed name, and words
// for the image and for the file.
struct ProblemWords {
    ImageProblem problem;
    std::string_view key;
    std::string_view image;
    std::string_view entry;
};
constexpr std::array<ProblemWords, 6> kProblems = {{
    {ImageProblem::None, "", "", ""},
    {ImageProblem::NotAnImage, "", "", ""},
    {ImageProblem::CutShort, "cut-short", "cut short",
     "its data is lost: the image ends before it"},
    {ImageProblem::PastTheDisk, "past-the-disk",
     "a catalogue entry points past the end of the disk",
     "its data is lost: it lies past the end of the disk"},
    {ImageProblem::CountTooLarge, "count-too-large", "its file count is larger than it holds", ""},
    {ImageProblem::ChecksumMismatch, "checksum-mismatch", "the SCL checksum does not match", ""},
}};

constexpr std::size_t row_of(ImageProblem problem) { return static_cast<std::size_t>(problem); }
static_assert(kProblems[row_of(ImageProblem::ChecksumMismatch)].problem ==
              ImageProblem::ChecksumMismatch);

}  // namespace

std::string_view image_problem(ImageProblem problem) { return kProblems[row_of(problem)].image; }

std::string_view entry_problem(ImageProblem problem) { return kProblems[row_of(problem)].entry; }

std::string_view problem_key(ImageProblem problem) { return kProblems[row_of(problem)].key; }

bool loses_unnamed_files(const DiskImage& image) { return image.unlisted > 0 || image.count_lost; }

std::string image_problem_text(const DiskImage& image) {
    std::string text(image_problem(image.problem));
    if (image.count_lost) {
        return text + " before its file count: whatever it held is lost";
    }
    const std::size_t lost = lost_files(image);
    if (lost > 0) {
        text += "; " + std::to_string(lost) + " of its " +
                std::to_string(image.entries.size() + image.unlisted) + " files lost";
    }
    if (image.unlisted > 0) {
        text += ", the names of " + std::to_string(image.unlisted) + " of them too";
    }
    return text;
}

}  // namespace korve

namespace korve {

NameProblem check_trdos_name(std::string_view name) {
    if (name.find_first_not_of(kNamePadding) == std::string_view::npos) {
        return NameProblem::Empty;
    }
    if (name.size() > kCatalogueNameSize) {
        return NameProblem::TooLong;
    }
    const bool control = std::any_of(name.begin(), name.end(), [](char c) {
        return static_cast<unsigned char>(c) < kFirstPrintable;
    });
    return control ? NameProblem::ControlByte : NameProblem::None;
}

bool same_catalogue_name(const TrdosFile& one, const TrdosFile& other) {
    const CatalogueEntry a = catalogue_entry(one, 0);
    const CatalogueEntry b = catalogue_entry(other, 0);
    return std::equal(a.begin(), a.begin() + kCatalogueStartOffset, b.begin());
}

CatalogueEntry catalogue_entry(const TrdosFile& file, std::size_t first_sector) {
    CatalogueEntry entry{};
    std::fill_n(entry.begin(), kCatalogueNameSize, static_cast<unsigned char>(kNamePadding));
    std::copy_n(file.name.begin(), std::min(file.name.size(), kCatalogueNameSize), entry.begin());
    entry[kCatalogueTypeOffset] = static_cast<unsigned char>(file.type);
    write_little_endian(entry, kCatalogueStartOffset, kWordSize, file.start);
    write_little_endian(entry, kCatalogueLengthOffset, kWordSize,
                        static_cast<std::uint32_t>(file.data.size()));
    entry[kCatalogueSectorsOffset] = static_cast<unsigned char>(sectors_of(file.data.size()));
    entry[kCatalogueFirstSectorOffset] = static_cast<unsigned char>(first_sector % kSectorsPerTrack);
    entry[kCatalogueFirstTrackOffset] = static_cast<unsigned char>(first_sector / kSectorsPerTrack);
    return entry;
}

std::string name_problem_text(NameProblem problem) {
    switch (problem) {
        case NameProblem::None: break;
        case NameProblem::Empty: return "the name is empty, or spaces alone, which TR-DOS pads names with";
        case NameProblem::TooLong:
            return "the name is longer than the " + std::to_string(kCatalogueNameSize) +
                   " bytes of a TR-DOS name";
        case NameProblem::ControlByte: return "the name holds a control byte, which a TR-DOS name cannot";
    }
    return {};
}

std::string write_problem_text(WriteProblem problem, const TrdosFile& file) {
    switch (problem) {
        case WriteProblem::None: break;
        case WriteProblem::BadName: return name_problem_text(check_trdos_name(file.name));
        case WriteProblem::FileTooLarge:
            return "the file is larger than the " + std::to_string(kLargestFile) +
                   " bytes (255 sectors) a TR-DOS file holds";
        case WriteProblem::SameName: return "a file before it has the same name and type";
        case WriteProblem::TooManyFiles:
            return "the catalogue is full: a disk holds 128 files, an archive 255";
        case WriteProblem::DiskFull:
            return "the disk is full: its " + std::to_string(kDiskSectors - kFirstFileSector) +
                   " free sectors hold the files before it";
    }
    return {};
}

WrittenImage write_hobeta_file(const TrdosFile& file) {
    WrittenImage written = check_files({&file, 1}, 1);
    if (written.problem == WriteProblem::None) {
        const CatalogueEntry entry = catalogue_entry(file, 0);
        const HobetaHeader header = hobeta_header_of(entry);
        written.bytes.assign(header.begin(), header.end());
        append_sectors(written.bytes, file);
    }
    return written;
}

WrittenImage write_trd_image(std::span<const TrdosFile> files, std::string_view label) {
    WrittenImage written = check_files(files, kMostTrdFiles);
    if (written.problem != WriteProblem::None) {
        return written;
    }
    std::string& disk = written.bytes;
    disk.assign(kFirstFileSector * kSectorSize, '\0');
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::size_t first_sector = disk.size() / kSectorSize;
        if (first_sector + sectors_of(files[i].data.size()) > kDiskSectors) {
            return {{}, WriteProblem::DiskFull, i};
        }
        const CatalogueEntry entry = catalogue_entry(files[i], first_sector);
        std::copy(entry.begin(), entry.end(), disk.begin() + static_cast<std::ptrdiff_t>(i * kTrdEntrySize));
        append_sectors(disk, files[i]);
    }
    const std::size_t free_sector = disk.size() / kSectorSize;
    disk.resize(kLargestDisk, '\0');
    const auto bytes = writable_bytes(disk);
    bytes[kFirstFreeSectorOffset] = static_cast<unsigned char>(free_sector % kSectorsPerTrack);
    bytes[kFirstFreeTrackOffset] = static_cast<unsigned char>(free_sector / kSectorsPerTrack);
    bytes[kDiskTypeOffset] = kEightyTracksTwoSides;
    bytes[kFileCountOffset] = static_cast<unsigned char>(files.size());
    write_little_endian(bytes, kFreeSectorsOffset, kWordSize,
                        static_cast<std::uint32_t>(kDiskSectors - free_sector));
    bytes[kTrdosMarkOffset] = kTrdosMark;
    disk.replace(kDiskSpacesOffset, kDiskSpacesSize, kDiskSpacesSize, kNamePadding);
    const std::string_view cut = label.substr(0, kDiskLabelSize);
    disk.replace(kDiskLabelOffset, kDiskLabelSize, std::string(cut) + std::string(kDiskLabelSize - cut.size(), kNamePadding));
    return written;
}

WrittenImage write_scl_archive(std::span<const TrdosFile> files) {
    WrittenImage written = check_files(files, kMostFiles);
    if (written.problem != WriteProblem::None) {
        return written;
    }
    std::string& archive = written.bytes;
    archive.assign(kSclSignature);
    archive += static_cast<char>(files.size());
    for (const TrdosFile& file : files) {
        const CatalogueEntry entry = catalogue_entry(file, 0);
        archive.append(entry.begin(), entry.begin() + kSclEntrySize);
    }
    for (const TrdosFile& file : files) {
        append_sectors(archive, file);
    }
    const auto summed = writable_bytes(archive);
    const std::uint32_t sum = std::accumulate(summed.begin(), summed.end(), std::uint32_t{0});
    archive.append(kSclChecksumSize, '\0');
    write_little_endian(writable_bytes(archive), archive.size() - kSclChecksumSize, kSclChecksumSize, sum);
    return written;
}

}  // namespace korve
