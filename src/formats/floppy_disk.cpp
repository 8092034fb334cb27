#include "formats/floppy_disk.h"

#include <algorithm>
#include <utility>

#include "base/little_endian.h"
#include "formats/fdi_image.h"
#include "formats/udi_image.h"

namespace korve {
namespace {

using Bytes = std::span<const unsigned char>;

// How a logical sector was read: past the floppy's last track, missing.
SectorState state_of(const TrdosFloppy& floppy, std::size_t number) {
    return number < floppy.sectors.size() ? floppy.sectors[number].state : SectorState::Missing;
}

// The first of `count` sectors from `first` on that the floppy did not read
// whole.
std::optional<std::size_t> first_damaged(const TrdosFloppy& floppy, std::size_t first, std::size_t count) {
    for (std::size_t number = first; number < first + count; ++number) {
        if (state_of(floppy, number) != SectorState::Read) {
            return number;
        }
    }
    return std::nullopt;
}

// The sector of `changes` a sector refused belongs to: the first placed
// file whose sectors take it in, else the first change.
std::size_t change_of_sector(const EditedImage& edited, std::span<const FileChange> changes, std::size_t sector) {
    for (std::size_t i = 0; i < edited.placed.size() && i < changes.size(); ++i) {
        const std::size_t first = edited.placed[i].first_sector;
        if (sector >= first && sector < first + sectors_of(changes[i].file.data.size())) {
            return i;
        }
    }
    return 0;
}

EditedImage unwritable(EditedImage edited, std::span<const FileChange> changes, std::size_t sector,
                       std::string why) {
    edited.change = change_of_sector(edited, changes, sector);
    edited.problem = EditProblem::SectorUnwritable;
    edited.sector = sector;
    edited.unwritable = std::move(why);
    edited.bytes.clear();
    return edited;
}

// The writer of an image's format: the new image, or why a write (by its
// index) was refused.
struct FloppyWritten {
    std::optional<std::string> bytes;
    std::size_t refused = 0;
    std::string why;
};
using FloppyReader = FloppyImage (*)(Bytes);
using FloppyWriter = FloppyWritten (*)(Bytes, const FloppyImage&, std::span<const SectorBytes>);

FloppyWritten fdi_writer(Bytes image, const FloppyImage& floppy, std::span<const SectorBytes> writes) {
    return {write_fdi(image, floppy, writes), 0, "the FDI image cannot take it"};
}

FloppyWritten udi_writer(Bytes image, const FloppyImage& floppy, std::span<const SectorBytes> writes) {
    UdiWritten written = write_udi(image, floppy, writes);
    if (written.problem != UdiWriteProblem::None) {
        return {std::nullopt, written.refused, std::string(udi_write_problem_text(written.problem))};
    }
    return {std::move(written.bytes), 0, {}};
}

// The logical sector a write goes into.
std::size_t logical_of(const TrdosFloppy& disk, const SectorBytes& write) {
    const auto found = std::find_if(disk.sectors.begin(), disk.sectors.end(), [&](const LogicalSector& sector) {
        return sector.state != SectorState::Missing && sector.track == write.track && sector.sector == write.sector;
    });
    return static_cast<std::size_t>(found - disk.sectors.begin());
}

EditedImage edit_floppy(Bytes image, std::span<const FileChange> changes, FloppyReader read, FloppyWriter write) {
    const FloppyImage floppy = read(image);
    const TrdosFloppy disk = read_trdos_floppy(floppy, image);
    EditedImage edited = edit_trd_image(byte_span(disk.trd), changes);
    if (edited.problem != EditProblem::None) {
        return edited;
    }
    const FloppyWriteBack plan = plan_write_back(floppy, image, byte_span(edited.bytes));
    if (plan.refused.refusal != SectorRefusal::None) {
        return unwritable(std::move(edited), changes, plan.refused.sector,
                          std::string(sector_refusal_text(plan.refused.refusal)));
    }
    FloppyWritten written = write(image, floppy, plan.writes);
    if (!written.bytes) {
        const std::size_t sector =
            written.refused < plan.writes.size() ? logical_of(disk, plan.writes[written.refused]) : 0;
        return unwritable(std::move(edited), changes, sector, written.why);
    }
    edited.bytes = std::move(*written.bytes);
    return edited;
}

}  // namespace

std::string logical_sector_text(std::size_t number) {
    return "track " + std::to_string(track_of(number)) + ", sector " + std::to_string(sector_in_track(number));
}

std::string damaged_sector_text(const TrdosFloppy& floppy, std::size_t number) {
    return logical_sector_text(number) + " " + std::string(sector_state_text(state_of(floppy, number)));
}

void mark_damaged_files(DiskImage& disk, const TrdosFloppy& floppy) {
    for (CatalogueEntry& entry : disk.entries) {
        if (entry.deleted || entry.problem != ImageProblem::None) {
            continue;
        }
        if (const auto damaged = first_damaged(floppy, entry.first_sector, entry.sectors)) {
            entry.problem = ImageProblem::SectorDamaged;
            entry.damage = damaged_sector_text(floppy, *damaged);
            entry.data = {};
            entry.alasm = false;
        }
        if (disk.problem == ImageProblem::None) {
            disk.problem = entry.problem;
        }
    }
}

std::optional<std::size_t> damaged_catalogue_sector(const DiskImage& disk, const TrdosFloppy& floppy) {
    // The catalogue was read up to the slot that ended it, or through all of it.
    const std::size_t last_slot = std::min(disk.entries.size(), kTrdEntries - 1);
    return first_damaged(floppy, 0, last_slot * kTrdEntrySize / kSectorSize + 1);
}

EditedImage edit_fdi_image(Bytes image, std::span<const FileChange> changes) {
    return edit_floppy(image, changes, read_fdi, fdi_writer);
}

EditedImage edit_udi_image(Bytes image, std::span<const FileChange> changes) {
    return edit_floppy(image, changes, read_udi, udi_writer);
}

}  // namespace korve
