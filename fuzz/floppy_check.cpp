#include "floppy_check.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "base/little_endian.h"
#include "formats/fdi_image.h"
#include "formats/trdos_floppy.h"
#include "formats/trdos_image.h"

namespace korve_fuzz {
namespace {

using Bytes = std::span<const unsigned char>;

const char* check_sectors(const korve::FloppyImage& floppy, std::size_t size) {
    bool cut = false;
    for (const korve::FloppyTrack& track : floppy.tracks) {
        for (const korve::FloppySector& sector : track.sectors) {
            if (!sector.has_data) {
                continue;
            }
            if (sector.data_offset > size || sector.data_size > size - sector.data_offset) {
                return "a floppy's sector lies outside its bytes";
            }
            if (sector.data_cut != (sector.data_size < korve::sector_bytes(sector.id.size_code))) {
                return "a floppy's sector is cut and not said to be, or said to be and whole";
            }
            cut = cut || sector.data_cut;
        }
    }
    return cut && floppy.problem == korve::FloppyProblem::None ? "a floppy cut a sector and said nothing"
                                                               : nullptr;
}

const char* check_disk(const korve::FloppyImage& floppy, const korve::TrdosFloppy& disk) {
    if (disk.trd.size() != disk.sectors.size() * korve::kSectorSize) {
        return "a floppy's TR-DOS disk is not its sectors' bytes";
    }
    for (const korve::LogicalSector& sector : disk.sectors) {
        if (sector.state != korve::SectorState::Missing &&
            (sector.track >= floppy.tracks.size() || sector.sector >= floppy.tracks[sector.track].sectors.size())) {
            return "a floppy's TR-DOS sector names no sector of it";
        }
    }
    return nullptr;
}

// Each sector read whole, given its own bytes again.
std::vector<korve::SectorBytes> same_bytes(const korve::TrdosFloppy& disk) {
    std::vector<korve::SectorBytes> writes;
    for (std::size_t i = 0; i < disk.sectors.size(); ++i) {
        const korve::LogicalSector& sector = disk.sectors[i];
        if (sector.state == korve::SectorState::Read) {
            writes.push_back({sector.track, sector.sector, disk.trd.substr(i * korve::kSectorSize, korve::kSectorSize)});
        }
    }
    return writes;
}

// The sectors read, whole or failed, but the disk information sector.
std::vector<std::size_t> changeable(const korve::TrdosFloppy& disk) {
    std::vector<std::size_t> numbers;
    for (std::size_t i = 0; i < disk.sectors.size(); ++i) {
        const korve::SectorState state = disk.sectors[i].state;
        if (i != korve::kDiskInformation / korve::kSectorSize &&
            (state == korve::SectorState::Read || state == korve::SectorState::BadCrc)) {
            numbers.push_back(i);
        }
    }
    return numbers;
}

const char* check_change(Bytes bytes, const korve::FloppyImage& floppy, const korve::TrdosFloppy& disk) {
    const std::vector<std::size_t> numbers = changeable(disk);
    if (numbers.empty()) {
        return nullptr;
    }
    const std::size_t number = numbers[bytes.back() % numbers.size()];
    std::string edited = disk.trd;
    edited[number * korve::kSectorSize] = static_cast<char>(~edited[number * korve::kSectorSize]);
    const korve::FloppyWriteBack plan = korve::plan_write_back(floppy, bytes, korve::byte_span(edited));
    if (plan.refused.refusal != korve::SectorRefusal::None) {
        return nullptr;
    }
    const std::optional<std::string> written = korve::write_fdi(bytes, floppy, plan.writes);
    if (!written) {
        return nullptr;
    }
    const Bytes now = korve::byte_span(*written);
    if (korve::read_trdos_floppy(korve::read_fdi(now), now).trd != edited) {
        return "a changed FDI does not read back as the edited disk";
    }
    const korve::LogicalSector& place = disk.sectors[number];
    const korve::FloppySector& sector = floppy.tracks[place.track].sectors[place.sector];
    std::size_t outside = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const bool in_data = i >= sector.data_offset && i - sector.data_offset < sector.data_size;
        outside += !in_data && now[i] != bytes[i] ? 1 : 0;
    }
    return written->size() != bytes.size() || outside > 1 ? "a changed FDI changed more than its sector" : nullptr;
}

}  // namespace

const char* check_fdi(std::span<const unsigned char> bytes) {
    if (!korve::has_fdi_mark(bytes)) {
        return nullptr;
    }
    const korve::FloppyImage floppy = korve::read_fdi(bytes);
    if (!(korve::read_fdi(bytes) == floppy)) {
        return "the same FDI was read differently";
    }
    const korve::TrdosFloppy disk = korve::read_trdos_floppy(floppy, bytes);
    if (!(korve::read_trdos_floppy(floppy, bytes) == disk)) {
        return "the same floppy gave two TR-DOS disks";
    }
    const char* failed = check_sectors(floppy, bytes.size());
    failed = failed != nullptr ? failed : check_disk(floppy, disk);
    if (failed != nullptr) {
        return failed;
    }
    // A sector whose data lies on the headers the writer refuses.
    const std::optional<std::string> same = korve::write_fdi(bytes, floppy, same_bytes(disk));
    if (same && *same != std::string(bytes.begin(), bytes.end())) {
        return "an FDI's sectors written back with their own bytes changed it";
    }
    return check_change(bytes, floppy, disk);
}

}  // namespace korve_fuzz
