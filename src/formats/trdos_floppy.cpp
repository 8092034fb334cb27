#include "formats/trdos_floppy.h"

#include <algorithm>
#include <array>

#include "formats/trdos_image.h"

namespace korve {
namespace {

using Bytes = std::span<const unsigned char>;

static_assert(sector_bytes(kTrdosSizeCode) == kSectorSize);
constexpr std::size_t kCylinders = 256;  // a cylinder is a byte
constexpr std::size_t kSides = 2;

// The disk-information sector's disk types, and what each says of the sides.
constexpr std::size_t kInformationSector = kDiskInformation / kSectorSize;
constexpr std::size_t kDiskTypeInSector = kDiskTypeOffset - kDiskInformation;
struct DiskType {
    unsigned char value;
    bool two_sides;
};
constexpr std::array<DiskType, 4> kDiskTypes{{
    {0x16, true},   // 80 tracks
    {0x17, true},   // 40 tracks
    {0x18, false},  // 80 tracks
    {0x19, false},  // 40 tracks
}};

// The floppy as its sectors are found: the bytes they lie in, and the tracks
// filed under each cylinder and head (of heads 0 and 1), in image order.
struct Floppy {
    const FloppyImage& image;
    Bytes source;
    std::vector<std::vector<std::size_t>> filed;

    Floppy(const FloppyImage& floppy, Bytes image_bytes)
        : image(floppy),
          source(floppy.sectors_in_decoded ? Bytes(floppy.decoded) : image_bytes),
          filed(kCylinders * kSides) {
        for (std::size_t i = 0; i < floppy.tracks.size(); ++i) {
            const FloppyTrack& track = floppy.tracks[i];
            if (track.head < kSides) {
                filed[track.cylinder * kSides + track.head].push_back(i);
            }
        }
    }

    const FloppySector& at(const LogicalSector& place) const {
        return image.tracks[place.track].sectors[place.sector];
    }
};

// The bytes of a sector's data that lie in the source: at most its size.
Bytes data_of(const Floppy& floppy, const FloppySector& sector) {
    if (!sector.has_data || sector.data_offset >= floppy.source.size()) {
        return {};
    }
    return floppy.source.subspan(sector.data_offset,
                                 std::min(sector.data_size, floppy.source.size() - sector.data_offset));
}

SectorState state_of(const Floppy& floppy, const FloppySector& sector) {
    if (!sector.has_data) {
        return SectorState::Missing;
    }
    if (sector.data_cut || data_of(floppy, sector).size() < kSectorSize) {
        return SectorState::Cut;
    }
    return sector.data_ok ? SectorState::Read : SectorState::BadCrc;
}

// Which of two states wins where an ID is repeated: the larger.
int rank(SectorState state) {
    switch (state) {
        case SectorState::Read: return 3;
        case SectorState::BadCrc: return 2;
        case SectorState::Cut: return 1;
        case SectorState::Missing: break;
    }
    return 0;
}

// The sector of `record` on the tracks filed under `cylinder` and `head`
// whose ID gives `cylinder` and `size_code`: the best of them, the first of
// the best.
LogicalSector find_sector(const Floppy& floppy, std::size_t cylinder, std::size_t head, std::size_t record,
                          std::uint8_t size_code = kTrdosSizeCode) {
    LogicalSector best;
    for (const std::size_t t : floppy.filed[cylinder * kSides + head]) {
        const std::vector<FloppySector>& sectors = floppy.image.tracks[t].sectors;
        for (std::size_t s = 0; s < sectors.size(); ++s) {
            const SectorId& id = sectors[s].id;
            if (id.cylinder != cylinder || id.record != record || id.size_code != size_code) {
                continue;
            }
            const SectorState state = state_of(floppy, sectors[s]);
            if (rank(state) > rank(best.state)) {
                best = {state, t, s};
            }
            if (state == SectorState::Read) {
                return best;
            }
        }
    }
    return best;
}

bool has_sectors(const FloppyTrack& track) { return !track.sectors.empty(); }

bool two_sided(const Floppy& floppy) {
    const LogicalSector information = find_sector(floppy, 0, 0, kInformationSector + 1);
    if (information.state == SectorState::Read) {
        const unsigned char type = data_of(floppy, floppy.at(information))[kDiskTypeInSector];
        for (const DiskType& known : kDiskTypes) {
            if (known.value == type) {
                return known.two_sides;
            }
        }
    }
    return std::any_of(floppy.image.tracks.begin(), floppy.image.tracks.end(),
                       [](const FloppyTrack& track) { return track.head == 1 && has_sectors(track); });
}

// How many logical tracks the floppy holds: to the last that holds a sector.
std::size_t logical_tracks(const FloppyImage& image, bool two_sides) {
    std::size_t count = 0;
    for (const FloppyTrack& track : image.tracks) {
        if (has_sectors(track) && track.head < (two_sides ? kSides : 1)) {
            count = std::max(count, (two_sides ? track.cylinder * kSides + track.head : track.cylinder) + std::size_t{1});
        }
    }
    return count;
}

// Where logical sector `number` lies: its cylinder and head, and its record.
struct Place {
    std::size_t cylinder;
    std::size_t head;
    std::size_t record;
};
Place place_of(std::size_t number, bool two_sides) {
    const std::size_t track = number / kSectorsPerTrack;
    const std::size_t record = number % kSectorsPerTrack + 1;
    return two_sides ? Place{track / kSides, track % kSides, record} : Place{track, 0, record};
}

TrdosFloppy read_disk(const Floppy& floppy) {
    TrdosFloppy disk;
    disk.two_sides = two_sided(floppy);
    const std::size_t count = logical_tracks(floppy.image, disk.two_sides) * kSectorsPerTrack;
    disk.trd.assign(count * kSectorSize, '\0');
    disk.sectors.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        const Place place = place_of(i, disk.two_sides);
        const LogicalSector found = find_sector(floppy, place.cylinder, place.head, place.record);
        disk.sectors[i] = found;
        if (found.state != SectorState::Missing) {
            const Bytes data = data_of(floppy, floppy.at(found));
            std::copy_n(data.begin(), std::min(data.size(), kSectorSize),
                        disk.trd.begin() + static_cast<std::ptrdiff_t>(i * kSectorSize));
        }
    }
    return disk;
}

// Sector `number` of `edited`, as far as it reaches; the floppy's own bytes
// past its end.
std::string edited_sector(const TrdosFloppy& disk, Bytes edited, std::size_t number) {
    std::string sector(kSectorSize, '\0');
    const std::size_t begin = number * kSectorSize;
    if (begin + kSectorSize <= disk.trd.size()) {
        sector = disk.trd.substr(begin, kSectorSize);
    }
    if (begin < edited.size()) {
        const Bytes reached = edited.subspan(begin, std::min(kSectorSize, edited.size() - begin));
        std::copy(reached.begin(), reached.end(), sector.begin());
    }
    return sector;
}

std::vector<std::size_t> changed(const TrdosFloppy& disk, Bytes edited) {
    std::vector<std::size_t> numbers;
    const std::size_t count = std::max(disk.trd.size(), edited.size() + kSectorSize - 1) / kSectorSize;
    for (std::size_t i = 0; i < count; ++i) {
        const std::string now = edited_sector(disk, edited, i);
        const bool was = i * kSectorSize < disk.trd.size();
        if (was ? disk.trd.compare(i * kSectorSize, kSectorSize, now) != 0
                : now.find_first_not_of('\0') != std::string::npos) {
            numbers.push_back(i);
        }
    }
    return numbers;
}

// Whether another of the image's sectors lies on any byte of `sector`'s data.
bool shares_bytes(const Floppy& floppy, const LogicalSector& place) {
    const FloppySector& sector = floppy.at(place);
    const std::size_t end = sector.data_offset + sector.data_size;
    for (std::size_t t = 0; t < floppy.image.tracks.size(); ++t) {
        const std::vector<FloppySector>& sectors = floppy.image.tracks[t].sectors;
        for (std::size_t s = 0; s < sectors.size(); ++s) {
            const FloppySector& other = sectors[s];
            const bool itself = t == place.track && s == place.sector;
            if (!itself && other.has_data && other.data_size > 0 && other.data_offset < end &&
                sector.data_offset < other.data_offset + other.data_size) {
                return true;
            }
        }
    }
    return false;
}

SectorRefusal refusal_of(const Floppy& floppy, const TrdosFloppy& disk, std::size_t number) {
    if (number >= disk.sectors.size()) {
        return SectorRefusal::Missing;
    }
    const LogicalSector& found = disk.sectors[number];
    switch (found.state) {
        case SectorState::Cut: return SectorRefusal::Cut;
        case SectorState::Missing: {
            const Place place = place_of(number, disk.two_sides);
            for (std::uint8_t size_code = 0; size_code < 8; ++size_code) {
                if (size_code != kTrdosSizeCode &&
                    find_sector(floppy, place.cylinder, place.head, place.record, size_code).state !=
                        SectorState::Missing) {
                    return SectorRefusal::OtherSize;
                }
            }
            return SectorRefusal::Missing;
        }
        case SectorState::Read:
        case SectorState::BadCrc: break;
    }
    return shares_bytes(floppy, found) ? SectorRefusal::Shared : SectorRefusal::None;
}

RefusedSector refuse(const Floppy& floppy, const TrdosFloppy& disk, std::span<const std::size_t> numbers) {
    for (const std::size_t number : numbers) {
        const SectorRefusal refusal = refusal_of(floppy, disk, number);
        if (refusal != SectorRefusal::None) {
            return {refusal, number};
        }
    }
    return {};
}

}  // namespace

TrdosFloppy read_trdos_floppy(const FloppyImage& floppy, std::span<const unsigned char> image) {
    return read_disk(Floppy(floppy, image));
}

std::vector<std::size_t> changed_sectors(const FloppyImage& floppy, std::span<const unsigned char> image,
                                         std::span<const unsigned char> edited) {
    return changed(read_trdos_floppy(floppy, image), edited);
}

RefusedSector refuse_sector_changes(const FloppyImage& floppy, std::span<const unsigned char> image,
                                    std::span<const std::size_t> numbers) {
    const Floppy found(floppy, image);
    return refuse(found, read_disk(found), numbers);
}

FloppyWriteBack plan_write_back(const FloppyImage& floppy, std::span<const unsigned char> image,
                                std::span<const unsigned char> edited) {
    const Floppy found(floppy, image);
    const TrdosFloppy disk = read_disk(found);
    const std::vector<std::size_t> numbers = changed(disk, edited);
    FloppyWriteBack plan{refuse(found, disk, numbers), {}};
    if (plan.refused.refusal != SectorRefusal::None) {
        return plan;
    }
    for (const std::size_t number : numbers) {
        const LogicalSector& place = disk.sectors[number];
        plan.writes.push_back({place.track, place.sector, edited_sector(disk, edited, number)});
    }
    return plan;
}

std::string_view sector_state_text(SectorState state) {
    switch (state) {
        case SectorState::Read: break;
        case SectorState::Missing: return "missing";
        case SectorState::BadCrc: return "failed its CRC";
        case SectorState::Cut: return "cut short";
    }
    return "";
}

std::string_view sector_refusal_text(SectorRefusal refusal) {
    switch (refusal) {
        case SectorRefusal::None: break;
        case SectorRefusal::Missing: return "the image holds no such sector";
        case SectorRefusal::OtherSize: return "its ID gives another size than 256 bytes";
        case SectorRefusal::Cut: return "the image ends inside it";
        case SectorRefusal::Shared: return "another sector of the image lies on its bytes";
    }
    return "";
}

}  // namespace korve
