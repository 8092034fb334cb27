#include "formats/disk_edit.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "base/little_endian.h"
#include "formats/hobeta_header.h"

namespace korve {
namespace {

EditedImage refused(EditProblem problem, std::size_t change, std::size_t free_sectors = 0) {
    EditedImage edited;
    edited.problem = problem;
    edited.change = change;
    edited.free_sectors = free_sectors;
    return edited;
}

// Gives a replaced file's entry its new length, sector count and, where
// the change gives one, start.
void set_size(CatalogueEntry& entry, const FileChange& change) {
    entry.length = catalogue_length(change.file);
    entry.sectors = static_cast<unsigned char>(sectors_of(change.file.data.size()));
    if (change.new_start) {
        entry.start = change.file.start;
    }
}

// The sectors a file's entry gives: [first, first + count), 16 to a track.
struct Sectors {
    std::size_t first = 0;
    std::size_t count = 0;

    bool meets(Sectors other) const {
        return first < other.first + other.count && other.first < first + count;
    }
};

Sectors sectors_of_entry(const CatalogueEntry& entry) { return {entry.first_sector, entry.sectors}; }

// Track 0's catalogue and information sector, which every change writes to.
constexpr Sectors kCatalogueSectors{0, kDiskInformation / kSectorSize + 1};

// Whether a live entry has the name and type of `name`.
bool named_alike(std::span<const CatalogueEntry> entries, const TrdosName& name) {
    return std::any_of(entries.begin(), entries.end(),
                       [&name](const CatalogueEntry& entry) { return !entry.deleted && entry.name == name; });
}

// A disk image being changed: its catalogue's values, changed as TR-DOS
// changes them, and the sectors they name. Its entries are named by their
// catalogue slots, which no change shifts: a move marks an entry deleted
// and adds one at the end.
class TrdEditor {
public:
    explicit TrdEditor(std::span<const unsigned char> image)
        : read_(read_trd_image(image)), entries_(read_.entries), bytes_(image.begin(), image.end()) {}

    bool whole() const { return read_.information.has_value(); }

    // Whether a live file's sectors take in the catalogue: any change would
    // write into that file.
    bool file_on_catalogue() const {
        return std::any_of(entries_.begin(), entries_.end(), [](const CatalogueEntry& entry) {
            return !entry.deleted && sectors_of_entry(entry).meets(kCatalogueSectors);
        });
    }

    // Gives the live file at `slot` new data: in place where its sectors
    // hold the data and are its own, otherwise by moving it.
    EditProblem replace(std::size_t slot, const FileChange& change, PlacedFile& placed) {
        const std::string& data = change.file.data;
        if (slot >= entries_.size() || entries_[slot].deleted) {
            return EditProblem::NoSuchFile;
        }
        if (data.size() > kLargestFile) {
            return EditProblem::FileTooLarge;
        }
        const Sectors old = sectors_of_entry(entries_[slot]);
        placed.old_sectors = old.count;
        placed.first_sector = old.first;
        placed.slot = slot;
        if (old.first + old.count > kDiskSectors) {
            return EditProblem::Inconsistent;
        }
        const Sectors written{old.first, sectors_of(data.size())};
        if (written.count > old.count) {
            return move(slot, change, Placement::Moved, placed);
        }
        if (written.first < kFirstFileSector || meets_an_entry(written, slot)) {
            return move(slot, change, Placement::MovedOffShared, placed);
        }
        write_sectors(written.first, data);
        set_size(entries_[slot], change);
        placed.placement = Placement::InPlace;
        return EditProblem::None;
    }

    // Adds a file where TR-DOS puts the next one.
    EditProblem add(const TrdosFile& file, PlacedFile& placed) {
        if (file.data.size() > kLargestFile) {
            return EditProblem::FileTooLarge;
        }
        DiskInformation& info = information_;
        if (info.file_count != entries_.size()) {
            return EditProblem::Inconsistent;
        }
        if (info.file_count >= kTrdEntries) {
            return EditProblem::CatalogueFull;
        }
        if (named_alike(entries_, file.name)) {
            return EditProblem::SameName;
        }
        const Sectors taken{info.first_free, sectors_of(file.data.size())};
        if (taken.count > info.free_sectors || taken.first + taken.count > kDiskSectors) {
            free_ = info.free_sectors;
            return EditProblem::DiskFull;
        }
        if (taken.first < kFirstFileSector || meets_an_entry(taken, entries_.size())) {
            return EditProblem::Inconsistent;
        }
        write_sectors(taken.first, file.data);
        entries_.push_back(new_entry(file, entries_.size(), taken.first));
        info.first_free = taken.first + taken.count;
        info.file_count += 1;
        info.free_sectors -= taken.count;
        placed.placement = Placement::Added;
        placed.slot = entries_.size() - 1;
        placed.first_sector = taken.first;
        return EditProblem::None;
    }

    // The image with the changed entries and fields written in: of an entry
    // read, only the fields that changed; a new one whole.
    std::string take() {
        const auto image = writable_bytes(bytes_);
        for (const CatalogueEntry& entry : entries_) {
            const CatalogueFields now = catalogue_fields(entry);
            const auto fields = image.subspan(entry.slot * kTrdEntrySize, kTrdEntrySize);
            const bool read = entry.slot < read_.entries.size();
            const CatalogueFields before = read ? catalogue_fields(read_.entries[entry.slot]) : now;
            for (std::size_t i = 0; i < now.size(); ++i) {
                if (!read || now[i] != before[i]) {
                    fields[i] = now[i];
                }
            }
        }
        if (information_ != *read_.information) {
            write_disk_information(information_, image);
        }
        return std::move(bytes_);
    }

    std::size_t free_sectors() const { return free_; }

private:
    // Marks the file's entry deleted, then adds it anew: TR-DOS saving it again.
    EditProblem move(std::size_t slot, const FileChange& change, Placement why, PlacedFile& placed) {
        TrdosFile file = change.file;
        file.name = entries_[slot].name;
        file.start = change.new_start ? change.file.start : entries_[slot].start;
        const std::vector<CatalogueEntry> entries_before = entries_;
        const DiskInformation information_before = information_;
        const std::string bytes_before = bytes_;
        entries_[slot].name.name[0] = kDeletedMark;
        entries_[slot].deleted = true;
        information_.deleted_count = (information_.deleted_count + 1) & 0xFFU;
        const EditProblem problem = add(file, placed);
        if (problem != EditProblem::None) {
            entries_ = entries_before;
            information_ = information_before;
            bytes_ = bytes_before;
        }
        placed.placement = why;
        return problem;
    }

    // Whether `sectors` meet those of any entry but the one at `except`,
    // deleted ones included.
    bool meets_an_entry(Sectors sectors, std::size_t except) const {
        return std::any_of(entries_.begin(), entries_.end(), [&](const CatalogueEntry& entry) {
            return entry.slot != except && sectors.meets(sectors_of_entry(entry));
        });
    }

    // Writes data from sector `first` on, its last sector filled up with zero
    // bytes, growing an image that ends before them.
    void write_sectors(std::size_t first, std::string_view data) {
        const std::string sectors = whole_sectors(data);
        const std::size_t begin = sector_offset(first);
        if (bytes_.size() < begin + sectors.size()) {
            bytes_.resize(begin + sectors.size(), '\0');
        }
        bytes_.replace(begin, sectors.size(), sectors);
    }

    DiskImage read_;
    std::vector<CatalogueEntry> entries_;
    DiskInformation information_ = read_.information.value_or(DiskInformation{});
    std::string bytes_;
    std::size_t free_ = 0;
};

// Whether an archive's bytes hold every file it lists: its checksum alone
// may be wrong, as its bytes are summed anew.
bool whole_archive(const DiskImage& archive) {
    return (archive.problem == ImageProblem::None || archive.problem == ImageProblem::ChecksumMismatch) &&
           archive.unlisted == 0 && !archive.count_lost;
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
                                        ? editor.replace(*change.replaced, change, placed)
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
    const DiskImage read = read_scl_archive(archive);
    if (!whole_archive(read)) {
        return refused(EditProblem::NotWhole, 0);
    }
    std::vector<CatalogueEntry> entries = read.entries;
    std::vector<std::string> data;
    for (const CatalogueEntry& entry : entries) {
        const auto sectors = file_sectors(archive, entry);
        data.emplace_back(sectors.begin(), sectors.end());
    }
    EditedImage edited;
    for (std::size_t i = 0; i < changes.size(); ++i) {
        const FileChange& change = changes[i];
        const std::optional<std::size_t> slot = change.replaced;
        EditProblem problem = EditProblem::None;
        if (change.file.data.size() > kLargestFile) {
            problem = EditProblem::FileTooLarge;
        } else if (slot && (*slot >= entries.size() || entries[*slot].deleted)) {
            problem = EditProblem::NoSuchFile;
        } else if (!slot && entries.size() >= kMostFiles) {
            problem = EditProblem::CatalogueFull;
        } else if (!slot && named_alike(entries, change.file.name)) {
            problem = EditProblem::SameName;
        }
        if (problem != EditProblem::None) {
            return refused(problem, i);
        }
        PlacedFile& placed = edited.placed.emplace_back();
        placed.placement = slot ? Placement::InPlace : Placement::Added;
        placed.slot = slot ? *slot : entries.size();
        if (slot) {
            placed.old_sectors = entries[*slot].sectors;
            set_size(entries[*slot], change);
            data[*slot] = whole_sectors(change.file.data);
        } else {
            entries.push_back(new_entry(change.file, entries.size(), 0));
            data.push_back(whole_sectors(change.file.data));
        }
    }
    edited.bytes = scl_archive_bytes(entries, data);
    edited.bytes.append(archive.begin() + static_cast<std::ptrdiff_t>(read.end), archive.end());
    return edited;
}

EditedImage edit_hobeta_file(std::span<const unsigned char> hobeta, std::string_view data) {
    if (hobeta.size() < kHobetaHeaderSize) {
        return refused(EditProblem::NotWhole, 0);
    }
    if (data.size() > kLargestFile) {
        return refused(EditProblem::FileTooLarge, 0);
    }
    HobetaHeader header = read_hobeta_header(hobeta);
    header.length = static_cast<std::uint16_t>(data.size());
    header.sectors = static_cast<unsigned char>(sectors_of(data.size()));
    const std::string sectors = whole_sectors(data);
    EditedImage edited;
    edited.bytes = hobeta_file(header, byte_span(sectors));
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
        case EditProblem::SectorUnwritable:
            return "track " + std::to_string(track_of(edited.sector)) + ", sector " +
                   std::to_string(sector_in_track(edited.sector)) + " of the image cannot be written: " +
                   edited.unwritable;
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
    return why + ": moved to track " + std::to_string(track_of(placed.first_sector)) + ", sector " +
           std::to_string(sector_in_track(placed.first_sector)) + ", its old entry marked deleted";
}

}  // namespace korve
