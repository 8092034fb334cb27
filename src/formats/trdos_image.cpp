#include "formats/trdos_image.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <numeric>
#include <optional>
#include <utility>

#include "base/little_endian.h"

namespace korve {
namespace {

using Bytes = std::span<const unsigned char>;


// The entry in `slot` as its fields give it; its data is yet to be placed.
CatalogueEntry describe(Bytes fields, std::size_t slot) {
    CatalogueEntry entry;
    entry.slot = slot;
    entry.name = catalogue_name(fields);
    entry.start = static_cast<std::uint16_t>(read_little_endian(fields, kCatalogueStartOffset, kWordSize));
    entry.length = static_cast<std::uint16_t>(read_little_endian(fields, kCatalogueLengthOffset, kWordSize));
    entry.sectors = fields[kCatalogueSectorsOffset];
    entry.deleted = fields[0] == kDeletedMark;
    return entry;
}

// Adds an entry, and a live one's problem to the image's when it is the first.
void add(DiskImage& disk, CatalogueEntry entry) {
    if (disk.problem == ImageProblem::None && !entry.deleted) {
        disk.problem = entry.problem;
    }
    disk.entries.push_back(std::move(entry));
}

std::size_t data_size(Bytes fields) { return fields[kCatalogueSectorsOffset] * kSectorSize; }

DiskInformation read_information(Bytes image) {
    DiskInformation information;
    information.first_free = sector_number(image[kFirstFreeTrackOffset], image[kFirstFreeSectorOffset]);
    information.file_count = image[kFileCountOffset];
    information.free_sectors = read_little_endian(image, kFreeSectorsOffset, kWordSize);
    information.deleted_count = image[kDeletedCountOffset];
    return information;
}

DiskImage read_trd(Bytes image) {
    DiskImage disk;
    disk.end = image.size();
    if (image.size() < kTrdEntries * kTrdEntrySize) {
        disk.problem = ImageProblem::CutShort;
        return disk;
    }
    if (image.size() >= kDiskInformation + kSectorSize) {
        disk.information = read_information(image);
    }
    for (std::size_t slot = 0; slot < kTrdEntries; ++slot) {
        const Bytes fields = image.subspan(slot * kTrdEntrySize, kTrdEntrySize);
        if (fields[0] == kCatalogueEnd) {
            break;
        }
        CatalogueEntry entry = describe(fields, slot);
        entry.first_sector = sector_number(fields[kCatalogueFirstTrackOffset], fields[kCatalogueFirstSectorOffset]);
        const std::size_t begin = sector_offset(entry.first_sector);
        const std::size_t end = begin + data_size(fields);
        if (end > kFarthestDisk) {
            entry.problem = ImageProblem::PastTheDisk;
        } else if (end > image.size()) {
            entry.problem = ImageProblem::CutShort;
        } else {
            entry.data = {begin, end - begin};
        }
        add(disk, entry);
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

// The problem of an archive as a whole, and the count of files it holds.
ImageProblem scl_problem(Bytes archive, std::size_t& count) {
    const auto stated_end = scl_end(archive, count);
    if (!stated_end || *stated_end > archive.size()) {
        // Either the archive lost its end, or its count names files it never
        // held: then the files it does hold make a whole archive.
        if (const auto fewer = whole_with_fewer(archive, count)) {
            count = *fewer;
            return ImageProblem::CountTooLarge;
        }
        return ImageProblem::CutShort;
    }
    return checksum_matches(archive, *stated_end - kSclChecksumSize) ? ImageProblem::None
                                                                      : ImageProblem::ChecksumMismatch;
}

DiskImage read_scl(Bytes archive) {
    DiskImage disk;
    disk.end = archive.size();
    if (archive.size() <= kSclCountOffset) {
        disk.problem = ImageProblem::CutShort;
        disk.count_lost = true;
        return disk;
    }
    std::size_t count = archive[kSclCountOffset];
    disk.problem = scl_problem(archive, count);
    std::size_t data = scl_entry_offset(count);
    for (std::size_t slot = 0; slot < count; ++slot) {
        if (scl_entry_offset(slot + 1) > archive.size()) {
            disk.unlisted = count - slot;
            break;
        }
        const Bytes fields = archive.subspan(scl_entry_offset(slot), kSclEntrySize);
        CatalogueEntry entry = describe(fields, slot);
        const std::size_t begin = data;
        data += data_size(fields);
        if (data > archive.size()) {
            entry.problem = ImageProblem::CutShort;
        } else {
            entry.data = {begin, data - begin};
        }
        add(disk, entry);
    }
    disk.end = std::min(archive.size(), data + kSclChecksumSize);
    return disk;
}

constexpr std::size_t kMostTrdFiles = kTrdEntries;

// The first problem of `files` that no image could hold, or of their count.
WrittenImage check_files(std::span<const TrdosFile> files, std::size_t most) {
    for (std::size_t i = 0; i < files.size(); ++i) {
        const TrdosFile& file = files[i];
        WriteProblem problem = WriteProblem::None;
        if (check_trdos_name(name_bytes(file.name)) != NameProblem::None) {
            problem = WriteProblem::BadName;
        } else if (file.data.size() > kLargestFile) {
            problem = WriteProblem::FileTooLarge;
        } else if (std::any_of(files.begin(), files.begin() + static_cast<std::ptrdiff_t>(i),
                               [&file](const TrdosFile& before) { return before.name == file.name; })) {
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

std::string whole_sectors(std::string_view data) {
    std::string sectors(data);
    sectors.resize(sector_offset(sectors_of(data.size())), '\0');
    return sectors;
}

DiskImage not_an_image() {
    DiskImage image;
    image.problem = ImageProblem::NotAnImage;
    return image;
}

bool has_trdos_mark(std::span<const unsigned char> start) {
    return start.size() > kTrdosMarkOffset && start[kTrdosMarkOffset] == kTrdosMark;
}

DiskImage read_trd_image(std::span<const unsigned char> image) {
    return image.size() > kLargestImage ? not_an_image() : read_trd(image);
}

DiskImage read_scl_archive(std::span<const unsigned char> archive) {
    return archive.size() > kLargestImage ? not_an_image() : read_scl(archive);
}

std::vector<CatalogueEntry> live_entries(const DiskImage& image) {
    std::vector<CatalogueEntry> live;
    std::copy_if(image.entries.begin(), image.entries.end(), std::back_inserter(live),
                 [](const CatalogueEntry& entry) { return !entry.deleted; });
    return live;
}

std::span<const unsigned char> file_sectors(std::span<const unsigned char> image, const CatalogueEntry& entry) {
    return image.subspan(entry.data.offset, entry.data.size);
}

std::span<const unsigned char> file_bytes(std::span<const unsigned char> image, const CatalogueEntry& entry) {
    const auto sectors = file_sectors(image, entry);
    return sectors.first(std::min<std::size_t>(entry.length, sectors.size()));
}

HobetaHeader hobeta_header_of(const CatalogueEntry& entry) {
    return {entry.name, entry.start, entry.length, 0, entry.sectors, 0, true};
}

std::size_t lost_files(const DiskImage& image) {
    const auto lost = std::count_if(image.entries.begin(), image.entries.end(), [](const CatalogueEntry& entry) {
        return !entry.deleted && entry.problem != ImageProblem::None;
    });
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
constexpr std::array<ProblemWords, 7> kProblems = {{
    {ImageProblem::None, "", "", ""},
    {ImageProblem::NotAnImage, "", "", ""},
    {ImageProblem::CutShort, "cut-short", "cut short",
     "its data is lost: the image ends before it"},
    {ImageProblem::PastTheDisk, "past-the-disk",
     "a catalogue entry points past the end of the disk",
     "its data is lost: it lies past the end of the disk"},
    {ImageProblem::CountTooLarge, "count-too-large", "its file count is larger than it holds", ""},
    {ImageProblem::ChecksumMismatch, "checksum-mismatch", "the SCL checksum does not match", ""},
    {ImageProblem::SectorDamaged, "sector-damaged", "damaged sectors",
     "its data is lost: a sector of it is damaged"},
}};

constexpr std::size_t row_of(ImageProblem problem) { return static_cast<std::size_t>(problem); }
static_assert(kProblems[row_of(ImageProblem::SectorDamaged)].problem == ImageProblem::SectorDamaged);

}  // namespace

std::string_view image_problem(ImageProblem problem) { return kProblems[row_of(problem)].image; }

std::string_view entry_problem(ImageProblem problem) { return kProblems[row_of(problem)].entry; }

std::string_view problem_key(ImageProblem problem) { return kProblems[row_of(problem)].key; }

std::string entry_problem_text(const CatalogueEntry& entry) {
    if (entry.problem == ImageProblem::SectorDamaged && !entry.damage.empty()) {
        return "its data is lost: " + entry.damage;
    }
    return std::string(entry_problem(entry.problem));
}

bool loses_unnamed_files(const DiskImage& image) { return image.unlisted > 0 || image.count_lost; }

std::string image_problem_text(const DiskImage& image) {
    std::string text(image_problem(image.problem));
    if (image.count_lost) {
        return text + " before its file count: whatever it held is lost";
    }
    const std::size_t lost = lost_files(image);
    if (lost > 0) {
        const auto live = std::count_if(image.entries.begin(), image.entries.end(),
                                        [](const CatalogueEntry& entry) { return !entry.deleted; });
        text += "; " + std::to_string(lost) + " of its " +
                std::to_string(static_cast<std::size_t>(live) + image.unlisted) + " files lost";
    }
    if (image.unlisted > 0) {
        text += ", the names of " + std::to_string(image.unlisted) + " of them too";
    }
    return text;
}

CatalogueFields catalogue_fields(const CatalogueEntry& entry) {
    CatalogueFields fields{};
    write_trdos_name(entry.name, fields);
    write_little_endian(fields, kCatalogueStartOffset, kWordSize, entry.start);
    write_little_endian(fields, kCatalogueLengthOffset, kWordSize, entry.length);
    fields[kCatalogueSectorsOffset] = entry.sectors;
    fields[kCatalogueFirstSectorOffset] = static_cast<unsigned char>(sector_in_track(entry.first_sector));
    fields[kCatalogueFirstTrackOffset] = static_cast<unsigned char>(track_of(entry.first_sector));
    return fields;
}

std::uint16_t catalogue_length(const TrdosFile& file) {
    return file.length.value_or(static_cast<std::uint16_t>(file.data.size()));
}

CatalogueEntry new_entry(const TrdosFile& file, std::size_t slot, std::size_t first_sector) {
    CatalogueEntry entry;
    entry.slot = slot;
    entry.name = file.name;
    entry.start = file.start;
    entry.length = catalogue_length(file);
    entry.sectors = static_cast<unsigned char>(sectors_of(file.data.size()));
    entry.first_sector = first_sector;
    entry.data = {sector_offset(first_sector), sector_offset(entry.sectors)};
    return entry;
}

void write_disk_information(const DiskInformation& information, std::span<unsigned char> image) {
    image[kFirstFreeSectorOffset] = static_cast<unsigned char>(sector_in_track(information.first_free));
    image[kFirstFreeTrackOffset] = static_cast<unsigned char>(track_of(information.first_free));
    image[kFileCountOffset] = static_cast<unsigned char>(information.file_count);
    write_little_endian(image, kFreeSectorsOffset, kWordSize, static_cast<std::uint32_t>(information.free_sectors));
    image[kDeletedCountOffset] = static_cast<unsigned char>(information.deleted_count);
}

std::string scl_archive_bytes(std::span<const CatalogueEntry> entries, std::span<const std::string> sectors) {
    std::string archive(kSclSignature);
    archive += static_cast<char>(entries.size());
    for (const CatalogueEntry& entry : entries) {
        const CatalogueFields fields = catalogue_fields(entry);
        archive.append(fields.begin(), fields.begin() + kSclEntrySize);
    }
    for (const auto& file : sectors) {
        archive.append(file.begin(), file.end());
    }
    const auto summed = byte_span(archive);
    const std::uint32_t sum = std::accumulate(summed.begin(), summed.end(), std::uint32_t{0});
    archive.append(kSclChecksumSize, '\0');
    write_little_endian(writable_bytes(archive), archive.size() - kSclChecksumSize, kSclChecksumSize, sum);
    return archive;
}

std::string write_problem_text(WriteProblem problem, const TrdosFile& file) {
    switch (problem) {
        case WriteProblem::None: break;
        case WriteProblem::BadName: return name_problem_text(check_trdos_name(name_bytes(file.name)));
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
        const std::string sectors = whole_sectors(file.data);
        written.bytes = hobeta_file(hobeta_header_of(new_entry(file, 0, 0)), byte_span(sectors));
    }
    return written;
}

WrittenImage write_trd_image(std::span<const TrdosFile> files, std::string_view label) {
    WrittenImage written = check_files(files, kMostTrdFiles);
    if (written.problem != WriteProblem::None) {
        return written;
    }
    std::string& disk = written.bytes;
    disk.assign(sector_offset(kFirstFileSector), '\0');
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::size_t first_sector = disk.size() / kSectorSize;
        if (first_sector + sectors_of(files[i].data.size()) > kDiskSectors) {
            return {{}, WriteProblem::DiskFull, i};
        }
        const CatalogueFields fields = catalogue_fields(new_entry(files[i], i, first_sector));
        std::copy(fields.begin(), fields.end(), disk.begin() + static_cast<std::ptrdiff_t>(i * kTrdEntrySize));
        disk += whole_sectors(files[i].data);
    }
    const std::size_t free_sector = disk.size() / kSectorSize;
    disk.resize(kLargestDisk, '\0');
    const auto bytes = writable_bytes(disk);
    write_disk_information({free_sector, files.size(), kDiskSectors - free_sector, 0}, bytes);
    bytes[kDiskTypeOffset] = kEightyTracksTwoSides;
    bytes[kTrdosMarkOffset] = kTrdosMark;
    disk.replace(kDiskSpacesOffset, kDiskSpacesSize, kDiskSpacesSize, static_cast<char>(kNamePadding));
    const std::string_view cut = label.substr(0, kDiskLabelSize);
    disk.replace(kDiskLabelOffset, kDiskLabelSize,
                 std::string(cut) + std::string(kDiskLabelSize - cut.size(), static_cast<char>(kNamePadding)));
    return written;
}

WrittenImage write_scl_archive(std::span<const TrdosFile> files) {
    WrittenImage written = check_files(files, kMostFiles);
    if (written.problem != WriteProblem::None) {
        return written;
    }
    std::vector<CatalogueEntry> entries;
    std::vector<std::string> data;
    for (std::size_t i = 0; i < files.size(); ++i) {
        entries.push_back(new_entry(files[i], i, 0));
        data.push_back(whole_sectors(files[i].data));
    }
    written.bytes = scl_archive_bytes(entries, data);
    return written;
}

}  // namespace korve
