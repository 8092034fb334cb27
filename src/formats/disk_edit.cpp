#include "formats/disk_edit.h"

#include <algorithm>
#include <array>
#include <numeric>
#include <optional>

#include "base/little_endian.h"
#include "formats/hobeta_header.h"

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

// The name, type and start a catalogue entry's fields give; no data. The
// name loses the spaces that pad it: catalogue_entry pads it again.
TrdosFile file_of_fields(std::span<const unsigned char> fields) {
    TrdosFile file{{fields.begin(), fields.begin() + kCatalogueNameSize},
                   static_cast<char>(fields[kCatalogueTypeOffset]),
                   static_cast<std::uint16_t>(read_little_endian(fields, kCatalogueStartOffset, kWordSize)),
                   {}};
    file.name.erase(file.name.find_last_not_of(' ') + 1);
    return file;
}

// The sectors a file's entry gives: [first, first + count), 16 to a track.
struct Sectors {
    std::size_t first = 0;
    std::size_t count = 0;

    bool meets(Sectors other) const {
        return first < other.first + other.count && other.first < first + count;
    }
};

// Track 0's catalogue and information sector, which every change writes to.
constexpr Sectors kCatalogueSectors{0, kDiskInformation / kSectorSize + 1};

// A disk image being changed. Its entries are named by their catalogue
// slots, which no change shifts: a move marks an entry deleted and adds one
// at the end.
class TrdEditor {
public:
    explicit TrdEditor(std::span<const unsigned char> image) : bytes_(image.begin(), image.end()) {
        while (end_ < kTrdEntries && (end_ + 1) * kTrdEntrySize <= bytes_.size() &&
               static_cast<unsigned char>(bytes_[end_ * kTrdEntrySize]) != kCatalogueEnd) {
            ++end_;
        }
    }

    bool whole() const { return bytes_.size() > kDiskInformation + kSectorSize - 1; }

    // Whether a live file's sectors take in the catalogue: any change would
    // write into that file.
    bool file_on_catalogue() {
        for (std::size_t slot = 0; slot < end_; ++slot) {
            if (live(slot) && sectors_of_entry(slot).meets(kCatalogueSectors)) {
                return true;
            }
        }
        return false;
    }

    // Gives the live file at `slot` new data: in place where its sectors
    // hold the data and are its own, otherwise by moving it.
    EditProblem replace(std::size_t slot, std::string_view data, PlacedFile& placed) {
        if (slot >= end_ || !live(slot)) {
            return EditProblem::NoSuchFile;
        }
        if (data.size() > kLargestFile) {
            return EditProblem::FileTooLarge;
        }
        const Sectors old = sectors_of_entry(slot);
        placed.old_sectors = old.count;
        placed.first_sector = old.first;
        placed.slot = slot;
        if (old.first + old.count > kDiskSectors) {
            return EditProblem::Inconsistent;
        }
        const Sectors written{old.first, sectors_of(data.size())};
        if (written.count > old.count) {
            return move(slot, data, Placement::Moved, placed);
        }
        if (written.first < kFirstFileSector || meets_an_entry(written, slot)) {
            return move(slot, data, Placement::MovedOffShared, placed);
        }
        write_sectors(written.first, data);
        set_size(entry(slot), data.size());
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
        if (named_alike(file)) {
            return EditProblem::SameName;
        }
        const std::size_t free = read_little_endian(info, kFreeSectorsOffset, kWordSize);
        const Sectors taken{info[kFirstFreeTrackOffset] * kSectorsPerTrack + info[kFirstFreeSectorOffset],
                            sectors_of(file.data.size())};
        if (taken.count > free || taken.first + taken.count > kDiskSectors) {
            free_ = free;
            return EditProblem::DiskFull;
        }
        if (taken.first < kFirstFileSector || meets_an_entry(taken, end_)) {
            return EditProblem::Inconsistent;
        }
        write_sectors(taken.first, file.data);
        const CatalogueEntry fields = catalogue_entry(file, taken.first);
        std::copy(fields.begin(), fields.end(), entry(count).begin());
        const std::size_t next = taken.first + taken.count;
        const auto moved = writable_bytes(bytes_);  // writing may have grown the image
        moved[kFirstFreeSectorOffset] = static_cast<unsigned char>(next % kSectorsPerTrack);
        moved[kFirstFreeTrackOffset] = static_cast<unsigned char>(next / kSectorsPerTrack);
        moved[kFileCountOffset] = static_cast<unsigned char>(count + 1);
        write_little_endian(moved, kFreeSectorsOffset, kWordSize,
                            static_cast<std::uint32_t>(free - taken.count));
        placed.placement = Placement::Added;
        placed.slot = end_++;
        placed.first_sector = taken.first;
        return EditProblem::None;
    }

    std::string take() { return std::move(bytes_); }
    std::size_t free_sectors() const { return free_; }

private:
    std::span<unsigned char> entry(std::size_t slot) {
        return writable_bytes(bytes_).subspan(slot * kTrdEntrySize, kTrdEntrySize);
    }

    bool live(std::size_t slot) const {
        return static_cast<unsigned char>(bytes_[slot * kTrdEntrySize]) != kDeletedMark;
    }

    Sectors sectors_of_entry(std::size_t slot) {
        const std::span<const unsigned char> fields = entry(slot);
        return {fields[kCatalogueFirstTrackOffset] * kSectorsPerTrack + fields[kCatalogueFirstSectorOffset],
                fields[kCatalogueSectorsOffset]};
    }

    // Marks the file's entry deleted, then adds it anew: TR-DOS saving it again.
    EditProblem move(std::size_t slot, std::string_view data, Placement why, PlacedFile& placed) {
        TrdosFile file = file_at(slot);
        file.data = data;
        std::string before = bytes_;
        bytes_[slot * kTrdEntrySize] = static_cast<char>(kDeletedMark);
        auto& deleted = bytes_[kDeletedCountOffset];
        deleted = static_cast<char>(static_cast<unsigned char>(deleted) + 1);
        const EditProblem problem = add(file, placed);
        if (problem != EditProblem::None) {
            bytes_ = std::move(before);
        }
        placed.placement = why;
        return problem;
    }

    // Whether `sectors` meet those of any entry but the one at `except`,
    // deleted ones included.
    bool meets_an_entry(Sectors sectors, std::size_t except) {
        for (std::size_t slot = 0; slot < end_; ++slot) {
            if (slot != except && sectors.meets(sectors_of_entry(slot))) {
                return true;
            }
        }
        return false;
    }

    // The name, type and start of the file at `slot`; no data.
    TrdosFile file_at(std::size_t slot) {
        return file_of_fields(entry(slot));
    }

    // Whether a live entry has the file's name and type.
    bool named_alike(const TrdosFile& file) {
        for (std::size_t slot = 0; slot < end_; ++slot) {
            if (live(slot) && same_catalogue_name(file_at(slot), file)) {
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
    std::size_t end_ = 0;  // the catalogue's first unused slot
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

// Whether a live file of an archive has the file's name and type.
bool named_alike(const std::vector<SclFile>& files, const TrdosFile& file) {
    return std::any_of(files.begin(), files.end(), [&file](const SclFile& other) {
        return other.fields[0] != kDeletedMark && same_catalogue_name(file_of_fields(other.fields), file);
    });
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
    if (!changes.empty() && editor.file_on_catalogue()) {
        return refused(EditProblem::FileOnCatalogue, 0);
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
    EditedImage edited;
    for (std::size_t i = 0; i < changes.size(); ++i) {
        const FileChange& change = changes[i];
        const std::optional<std::size_t> slot = change.replaced;
        EditProblem problem = EditProblem::None;
        if (change.file.data.size() > kLargestFile) {
            problem = EditProblem::FileTooLarge;
        } else if (slot && (*slot >= files.size() || files[*slot].fields[0] == kDeletedMark)) {
            problem = EditProblem::NoSuchFile;
        } else if (!slot && files.size() >= kMostFiles) {
            problem = EditProblem::CatalogueFull;
        } else if (!slot && named_alike(files, change.file)) {
            problem = EditProblem::SameName;
        }
        if (problem != EditProblem::None) {
            return refused(problem, i);
        }
        PlacedFile& placed = edited.placed.emplace_back();
        placed.placement = slot ? Placement::InPlace : Placement::Added;
        placed.slot = slot ? *slot : files.size();
        SclFile& file = slot ? files[*slot] : files.emplace_back();
        if (slot) {
            placed.old_sectors = file.fields[kCatalogueSectorsOffset];
            set_size(file.fields, change.file.data.size());
        } else {
            const CatalogueEntry fields = catalogue_entry(change.file, 0);
            std::copy_n(fields.begin(), kSclEntrySize, file.fields.begin());
        }
        file.sectors = whole_sectors(change.file.data);
    }
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
        case EditProblem::SameName:
            return "a file of that name and type is there already, and TR-DOS would only ever find the first";
        case EditProblem::FileOnCatalogue:
            return "a file on it lies over its catalogue on track 0, which any change writes to";
    }
    return {};
}

std::string move_text(const PlacedFile& placed) {
    std::string why;
    switch (placed.placement) {
        case Placement::InPlace:
        case Placement::Added: return {};
        case Placement::Moved:
            why = "outgrew its " + std::to_string(placed.old_sectors) +
                  (placed.old_sectors == 1 ? " sector" : " sectors");
            break;
        case Placement::MovedOffShared: why = "shares its sectors with another file, or with track 0"; break;
    }
    return why + ": moved to track " + std::to_string(placed.first_sector / kSectorsPerTrack) + ", sector " +
           std::to_string(placed.first_sector % kSectorsPerTrack) + ", its old entry marked deleted";
}

}  // namespace korve
