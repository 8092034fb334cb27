#include "disk_edit.h"

#include <algorithm>
#include <array>
#include <numeric>
#include <optional>

#include "hobeta_header.h"
#include "little_endian.h"

namespace korve {
namespace {

constexpr std::size_t kWordSize = 2;
constexpr std::size_t kLargestFile = kMostSectors * kSectorSize;

std::size_t sectors_of(std::size_t size) {
    return (size + kSectorSize - 1) / kSectorSize;
}

// `data` and the zero bytes that fill up its last sector.
std::string whole_sectors(std::string_view data) {
    std::string sectors(data);
    sectors.resize(sectors_of(data.size()) * kSectorSize, '\0');
    return sectors;
}

// Writes a replaced file's length and sector count into its entry's fields.
void set_size(std::span<unsigned char> fields, std::size_t size) {
    write_little_endian(fields, kCatalogueLengthOffset, kWordSize, static_cast<std::uint32_t>(size));
    fields[kCatalogueSectorsOffset] = static_cast<unsigned char>(sectors_of(size));
}

EditedImage refused(EditProblem problem, std::size_t change, std::size_t free_sectors = 0) {
    EditedImage edited;
    edited.problem = problem;
    edited.change = change;
    edited.free_sectors = free_sectors;
    return edited;
}

// A disk image being changed, its catalogue read once.
class TrdEditor {
public:
    explicit TrdEditor(std::span<const unsigned char> image) : bytes_(image.begin(), image.end()) {
        for (end_ = 0; end_ < kTrdEntries && (end_ + 1) * kTrdEntrySize <= bytes_.size(); ++end_) {
            const auto first = static_cast<unsigned char>(bytes_[end_ * kTrdEntrySize]);
            if (first == kCatalogueEnd) {
                break;
            }
            if (first != kDeletedMark) {
                live_.push_back(end_);
            }
        }
    }

    bool whole() const { return bytes_.size() > kDiskInformation + kSectorSize - 1; }

    // Gives a live file new data, in place or by moving it.
    EditProblem replace(std::size_t live, std::string_view data, PlacedFile& placed) {
        if (live >= live_.size()) {
            return EditProblem::NoSuchFile;
        }
        if (data.size() > kLargestFile) {
            return EditProblem::FileTooLarge;
        }
        const std::span<unsigned char> fields = entry(live_[live]);
        placed.old_sectors = fields[kCatalogueSectorsOffset];
        placed.first_sector = first_sector(fields);
        if (sectors_of(data.size()) > placed.old_sectors) {
            return move(live, data, placed);
        }
        if (placed.first_sector + placed.old_sectors > kDiskSectors) {
            return EditProblem::Inconsistent;
        }
        write_sectors(placed.first_sector, data);
        set_size(fields, data.size());
        placed.placement = Placement::InPlace;
        return EditProblem::None;
    }

    // Adds a file where TR-DOS puts the next one.
    EditProblem add(const TrdosFile& file, PlacedFile& placed) {
        if (file.data.size() > kLargestFile) {
            return EditProblem::FileTooLarge;
        }
        const auto info = writable_bytes(bytes_);
        const std::size_t count = info[kFileCountOffset];
        if (count != end_) {
            return EditProblem::Inconsistent;
        }
        if (count >= kTrdEntries) {
            return EditProblem::CatalogueFull;
        }
        const std::size_t needed = sectors_of(file.data.size());
        const std::size_t free = read_little_endian(info, kFreeSectorsOffset, kWordSize);
        const std::size_t first =
            info[kFirstFreeTrackOffset] * kSectorsPerTrack + info[kFirstFreeSectorOffset];
        if (needed > free || first + needed > kDiskSectors) {
            free_ = free;
            return EditProblem::DiskFull;
        }
        if (first < kFirstFileSector || overlaps_a_file(first, needed)) {
            return EditProblem::Inconsistent;
        }
        write_sectors(first, file.data);
        const CatalogueEntry fields = catalogue_entry(file, first);
        std::copy(fields.begin(), fields.end(), entry(count).begin());
        const std::size_t next = first + needed;
        const auto moved = writable_bytes(bytes_);  // writing may have grown the image
        moved[kFirstFreeSectorOffset] = static_cast<unsigned char>(next % kSectorsPerTrack);
        moved[kFirstFreeTrackOffset] = static_cast<unsigned char>(next / kSectorsPerTrack);
        moved[kFileCountOffset] = static_cast<unsigned char>(count + 1);
        write_little_endian(moved, kFreeSectorsOffset, kWordSize, static_cast<std::uint32_t>(free - needed));
        live_.push_back(end_++);
        placed.placement = placed.placement == Placement::Moved ? Placement::Moved : Placement::Added;
        placed.first_sector = first;
        return EditProblem::None;
    }

    std::string take() { return std::move(bytes_); }
    std::size_t free_sectors() const { return free_; }

private:
    std::span<unsigned char> entry(std::size_t index) {
        return writable_bytes(bytes_).subspan(index * kTrdEntrySize, kTrdEntrySize);
    }

    static std::size_t first_sector(std::span<const unsigned char> fields) {
        return fields[kCatalogueFirstTrackOffset] * kSectorsPerTrack + fields[kCatalogueFirstSectorOffset];
    }

    // Marks the file's entry deleted, then adds it anew: TR-DOS saving it again.
    EditProblem move(std::size_t live, std::string_view data, PlacedFile& placed) {
        const std::size_t index = live_[live];
        const std::span<const unsigned char> fields = entry(index);
        TrdosFile file{
            {fields.begin(), fields.begin() + kCatalogueNameSize},
            static_cast<char>(fields[kCatalogueTypeOffset]),
            static_cast<std::uint16_t>(read_little_endian(fields, kCatalogueStartOffset, kWordSize)),
            std::string(data)};
        placed.placement = Placement::Moved;
        std::string before = bytes_;
        bytes_[index * kTrdEntrySize] = static_cast<char>(kDeletedMark);
        auto& deleted = bytes_[kDeletedCountOffset];
        deleted = static_cast<char>(static_cast<unsigned char>(deleted) + 1);
        // The name as stored, padding and all: catalogue_entry pads it again.
        file.name.erase(file.name.find_last_not_of(' ') + 1);
        const EditProblem problem = add(file, placed);
        if (problem != EditProblem::None) {
            bytes_ = std::move(before);
        } else {
            live_.erase(live_.begin() + static_cast<std::ptrdiff_t>(live));
        }
        return problem;
    }

    // Whether sectors [first, first + count) meet any entry's, deleted ones
    // included.
    bool overlaps_a_file(std::size_t first, std::size_t count) {
        for (std::size_t i = 0; i < end_; ++i) {
            const std::span<const unsigned char> fields = entry(i);
            const std::size_t begin = first_sector(fields);
            const std::size_t end = begin + fields[kCatalogueSectorsOffset];
            if (begin < first + count && first < end) {
                return true;
            }
        }
        return false;
    }

    // Writes data from sector `first` on, its last sector filled up with zero
    // bytes, growing an image that ends before them.
    void write_sectors(std::size_t first, std::string_view data) {
        const std::string sectors = whole_sectors(data);
        const std::size_t begin = first * kSectorSize;
        if (bytes_.size() < begin + sectors.size()) {
            bytes_.resize(begin + sectors.size(), '\0');
        }
        bytes_.replace(begin, sectors.size(), sectors);
    }

    std::string bytes_;
    std::vector<std::size_t> live_;  // the catalogue indexes of the live entries
    std::size_t end_ = 0;            // the catalogue's first unused entry
    std::size_t free_ = 0;
};

// An archive's files: each entry's fields and whole sectors.
struct SclFile {
    std::array<unsigned char, kSclEntrySize> fields{};
    std::string sectors;
};

// An archive's files as it holds them; nothing where its bytes end before
// them. `end`: where its checksum ends.
std::optional<std::vector<SclFile>> scl_files(std::span<const unsigned char> archive, std::size_t& end) {
    if (archive.size() <= kSclCountOffset) {
        return std::nullopt;
    }
    std::vector<SclFile> files(archive[kSclCountOffset]);
    std::size_t data = kSclEntriesOffset + files.size() * kSclEntrySize;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::size_t at = kSclEntriesOffset + i * kSclEntrySize;
        if (at + kSclEntrySize > archive.size()) {
            return std::nullopt;
        }
        const std::size_t size = archive[at + kCatalogueSectorsOffset] * kSectorSize;
        if (data + size > archive.size()) {
            return std::nullopt;
        }
        std::copy_n(archive.begin() + static_cast<std::ptrdiff_t>(at), kSclEntrySize,
                    files[i].fields.begin());
        files[i].sectors.assign(archive.begin() + static_cast<std::ptrdiff_t>(data),
                                archive.begin() + static_cast<std::ptrdiff_t>(data + size));
        data += size;
    }
    end = std::min(archive.size(), data + kSclChecksumSize);
    return files;
}

// An archive of `files`, its checksum the sum of its bytes.
std::string scl_bytes(const std::vector<SclFile>& files) {
    std::string bytes(kSclSignature);
    bytes += static_cast<char>(files.size());
    for (const SclFile& file : files) {
        bytes.append(file.fields.begin(), file.fields.end());
    }
    for (const SclFile& file : files) {
        bytes += file.sectors;
    }
    const auto summed = byte_span(bytes);
    const std::uint32_t sum = std::accumulate(summed.begin(), summed.end(), std::uint32_t{0});
    bytes.append(kSclChecksumSize, '\0');
    write_little_endian(writable_bytes(bytes), bytes.size() - kSclChecksumSize, kSclChecksumSize, sum);
    return bytes;
}

}  // namespace

EditedImage edit_trd_image(std::span<const unsigned char> image, std::span<const FileChange> changes) {
    TrdEditor editor(image);
    if (!editor.whole()) {
        return refused(EditProblem::NotWhole, 0);
    }
    EditedImage edited;
    for (std::size_t i = 0; i < changes.size(); ++i) {
        const FileChange& change = changes[i];
        PlacedFile placed;
        const EditProblem problem = change.replaced
                                        ? editor.replace(*change.replaced, change.file.data, placed)
                                        : editor.add(change.file, placed);
        if (problem != EditProblem::None) {
            return refused(problem, i, editor.free_sectors());
        }
        edited.placed.push_back(placed);
    }
    edited.bytes = editor.take();
    return edited;
}

EditedImage edit_scl_archive(std::span<const unsigned char> archive, std::span<const FileChange> changes) {
    std::size_t end = 0;
    std::optional<std::vector<SclFile>> read = scl_files(archive, end);
    if (!read) {
        return refused(EditProblem::NotWhole, 0);
    }
    std::vector<SclFile>& files = *read;
    std::vector<std::size_t> live;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (files[i].fields[0] != kDeletedMark) {
            live.push_back(i);
        }
    }
    for (std::size_t i = 0; i < changes.size(); ++i) {
        const FileChange& change = changes[i];
        if (change.file.data.size() > kLargestFile) {
            return refused(EditProblem::FileTooLarge, i);
        }
        if (change.replaced && *change.replaced >= live.size()) {
            return refused(EditProblem::NoSuchFile, i);
        }
        if (!change.replaced && files.size() >= kMostFiles) {
            return refused(EditProblem::CatalogueFull, i);
        }
        SclFile& file = change.replaced ? files[live[*change.replaced]] : files.emplace_back();
        if (change.replaced) {
            set_size(file.fields, change.file.data.size());
        } else {
            const CatalogueEntry fields = catalogue_entry(change.file, 0);
            std::copy_n(fields.begin(), kSclEntrySize, file.fields.begin());
            live.push_back(files.size() - 1);
        }
        file.sectors = whole_sectors(change.file.data);
    }
    EditedImage edited;
    edited.bytes = scl_bytes(files);
    edited.bytes.append(archive.begin() + static_cast<std::ptrdiff_t>(end), archive.end());
    return edited;
}

EditedImage edit_hobeta_file(std::span<const unsigned char> hobeta, std::string_view data) {
    if (hobeta.size() < kHobetaHeaderSize) {
        return refused(EditProblem::NotWhole, 0);
    }
    if (data.size() > kLargestFile) {
        return refused(EditProblem::FileTooLarge, 0);
    }
    HobetaHeader header{};
    std::copy_n(hobeta.begin(), header.size(), header.begin());
    set_hobeta_field(header, kHobetaLengthOffset, static_cast<std::uint16_t>(data.size()));
    header[kHobetaSectorCountOffset] = static_cast<unsigned char>(sectors_of(data.size()));
    set_hobeta_field(header, kHobetaChecksumOffset, hobeta_checksum(header));
    EditedImage edited;
    edited.bytes.assign(header.begin(), header.end());
    edited.bytes += whole_sectors(data);
    return edited;
}

std::string edit_problem_text(const EditedImage& edited, std::size_t sectors_needed) {
    switch (edited.problem) {
        case EditProblem::None: break;
        case EditProblem::NoSuchFile: return "the file is not on the disk";
        case EditProblem::FileTooLarge:
            return "the file is larger than the " + std::to_string(kLargestFile) +
                   " bytes (255 sectors) a TR-DOS file holds";
        case EditProblem::CatalogueFull:
            return "the catalogue is full: a disk holds 128 files, an archive 255";
        case EditProblem::DiskFull:
            return "the disk is full: the file takes " + std::to_string(sectors_needed) +
                   (sectors_needed == 1 ? " sector, and " : " sectors, and ") +
                   std::to_string(edited.free_sectors) +
                   (edited.free_sectors == 1 ? " is free" : " are free");
        case EditProblem::Inconsistent:
            return "the disk's information sector does not match its catalogue (its file count, or "
                   "where its free space starts): writing there could overwrite a file";
        case EditProblem::NotWhole: return "the image does not hold all it lists";
    }
    return {};
}

}  // namespace korve
