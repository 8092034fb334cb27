#include "floppy_check.h"

#include <algorithm>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "base/little_endian.h"
#include "formats/container.h"
#include "formats/fdi_image.h"
#include "formats/td0_image.h"
#include "formats/td0_lzhuf.h"
#include "formats/udi_image.h"
#include "formats/trdos_floppy.h"
#include "formats/trdos_image.h"
#include "inputs/loader.h"

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

// The sectors of a UDI image whose data fields are whole and hold, each
// with its own bytes.
std::vector<korve::SectorBytes> own_bytes(std::span<const unsigned char> image, const korve::FloppyImage& floppy) {
    std::vector<korve::SectorBytes> writes;
    for (std::size_t t = 0; t < floppy.tracks.size(); ++t) {
        const std::vector<korve::FloppySector>& sectors = floppy.tracks[t].sectors;
        for (std::size_t s = 0; s < sectors.size(); ++s) {
            if (sectors[s].has_data && sectors[s].data_ok && !sectors[s].data_cut) {
                const auto data = image.subspan(sectors[s].data_offset, sectors[s].data_size);
                writes.push_back({t, s, std::string(data.begin(), data.end())});
            }
        }
    }
    return writes;
}

// Whether `now` differs from `image` only in [begin, end) and the file's CRC.
bool differs_only_in(std::span<const unsigned char> image, const std::string& now, std::size_t begin,
                     std::size_t end) {
    const std::size_t crc = image.size() - 4;
    const auto bytes = korve::byte_span(now);
    return bytes.size() == image.size() && std::ranges::equal(image.first(begin), bytes.first(begin)) &&
           std::ranges::equal(image.subspan(end, crc - end), bytes.subspan(end, crc - end));
}

// Whether logical sectors [first, first + count) of the disk all read whole.
bool read_whole(const korve::TrdosFloppy& disk, std::size_t first, std::size_t count) {
    for (std::size_t number = first; number < first + count; ++number) {
        if (number >= disk.sectors.size() || disk.sectors[number].state != korve::SectorState::Read) {
            return false;
        }
    }
    return true;
}

// A floppy image's files as the loader gave them: lost where a sector of
// theirs did not read whole, and the run's status not 0 where one is lost
// or the catalogue's own sectors are damaged.
const char* check_lost(const korve::LoadedInput& loaded, const korve::TrdosFloppy& disk) {
    korve::Status status = loaded.status();
    bool lost = false;
    for (const korve::CatalogueEntry& entry : korve::live_entries(loaded.image)) {
        if (entry.problem == korve::ImageProblem::None) {
            if (!read_whole(disk, entry.first_sector, entry.sectors)) {
                return "a floppy's file on a sector not read whole was not said to be lost";
            }
            continue;
        }
        if (entry.data.size != 0 || korve::entry_problem_text(entry).empty() ||
            (entry.problem == korve::ImageProblem::SectorDamaged && entry.damage.empty())) {
            return "a floppy's file lost kept bytes, or was not named lost with its problem and sector";
        }
        lost = true;
        status = korve::worse(status, korve::Status::NotAllConverted);  // each verb's error for it
    }
    // The catalogue was read through the slot that ended it, or whole.
    const std::size_t last_slot = std::min(loaded.image.entries.size(), korve::kTrdEntries - 1);
    const bool catalogue = read_whole(disk, 0, last_slot * korve::kTrdEntrySize / korve::kSectorSize + 1);
    if ((lost || !catalogue) && status == korve::Status::Converted) {
        return "a floppy image lost files, or its catalogue, and the run would end with status 0";
    }
    return nullptr;
}

}  // namespace

const char* check_loaded(std::span<const unsigned char> bytes) {
    const korve::LoadedInput loaded =
        korve::grade_input("fuzz", std::vector<unsigned char>(bytes.begin(), bytes.end()), false);
    if (!loaded.read) {
        return nullptr;
    }
    if (!std::ranges::equal(loaded.file(), bytes)) {
        return "the loader did not keep the input's own bytes";
    }
    const korve::InputKind kind =
        korve::recognise_input(bytes.first(std::min(bytes.size(), korve::kRecognisedBytes)));
    const auto read = korve::kind_row(kind).read_floppy;
    if (read == nullptr) {
        return nullptr;
    }
    const korve::FloppyImage floppy = read(bytes);
    if (floppy.problem == korve::FloppyProblem::NotAnImage || loaded.kind == korve::InputKind::None) {
        return floppy.problem == korve::FloppyProblem::NotAnImage && loaded.kind == korve::InputKind::None
                   ? nullptr
                   : "a floppy image its reader takes was graded as neither kind, or one it does not as one";
    }
    const korve::TrdosFloppy disk = korve::read_trdos_floppy(floppy, bytes);
    if (loaded.kind != kind || !std::ranges::equal(loaded.bytes, korve::byte_span(disk.trd))) {
        return "a floppy image's .trd is not the disk read_trdos_floppy gives of it";
    }
    const std::string said(korve::floppy_problem_text(floppy.problem));
    if (floppy.problem != korve::FloppyProblem::None &&
        std::ranges::none_of(loaded.problems, [&](const korve::Problem& problem) { return problem.text == said; })) {
        return "a floppy image's own problem was not said";
    }
    return check_lost(loaded, disk);
}

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

const char* check_udi(std::span<const unsigned char> image) {
    const korve::FloppyImage floppy = korve::read_udi(image);
    for (const korve::FloppyTrack& track : floppy.tracks) {
        for (const korve::FloppySector& sector : track.sectors) {
            if (sector.data_offset > image.size() || sector.data_size > image.size() - sector.data_offset ||
                (sector.has_data && !sector.data_cut && sector.data_size != korve::sector_bytes(sector.id.size_code))) {
                return "a UDI sector lies outside the image, or is cut without saying so";
            }
        }
    }
    if (korve::read_udi(image) != floppy) {
        return "the same UDI image was read differently";
    }
    if (floppy.problem != korve::FloppyProblem::None && floppy.problem != korve::FloppyProblem::FileCrcWrong) {
        if (korve::write_udi(image, floppy, {}).problem != korve::UdiWriteProblem::DamagedImage) {
            return "a damaged UDI image was written to";
        }
        return nullptr;
    }
    // A sector whose data covers another field's marks is refused: left out.
    std::vector<korve::SectorBytes> writes = own_bytes(image, floppy);
    korve::UdiWritten same = korve::write_udi(image, floppy, writes);
    while (same.problem == korve::UdiWriteProblem::CoversMarks && same.bytes.empty()) {
        writes.erase(writes.begin() + static_cast<std::ptrdiff_t>(same.refused));
        same = korve::write_udi(image, floppy, writes);
    }
    korve::FloppyImage expected = floppy;
    expected.problem = writes.empty() ? floppy.problem : korve::FloppyProblem::None;
    if (same.problem != korve::UdiWriteProblem::None || !differs_only_in(image, same.bytes, 0, 0) ||
        korve::read_udi(korve::byte_span(same.bytes)) != expected) {
        return "UDI sectors written back with their own bytes changed the image";
    }
    if (writes.empty()) {
        return nullptr;
    }
    const korve::SectorBytes& first = writes.front();
    std::string changed(first.bytes.begin(), first.bytes.end());
    for (char& byte : changed) {
        byte = static_cast<char>(~byte);
    }
    const korve::SectorBytes change[] = {{first.track, first.sector, changed}};
    const korve::UdiWritten written = korve::write_udi(image, floppy, change);
    const std::size_t begin = floppy.tracks[first.track].sectors[first.sector].data_offset;
    const std::size_t end = begin + changed.size() + 2;
    if (written.problem != korve::UdiWriteProblem::None || !differs_only_in(image, written.bytes, begin, end) ||
        written.bytes.compare(begin, changed.size(), changed) != 0 ||
        korve::read_udi(korve::byte_span(written.bytes)).problem != korve::FloppyProblem::None) {
        return "a UDI sector written with new bytes changed more than its field and the file's CRC";
    }
    return nullptr;
}

const char* check_td0(std::span<const unsigned char> bytes) {
    const korve::FloppyImage floppy = korve::read_td0_image(bytes);
    for (const korve::FloppyTrack& track : floppy.tracks) {
        for (const korve::FloppySector& sector : track.sectors) {
            const std::size_t whole = sector.has_data ? korve::sector_bytes(sector.id.size_code) : 0;
            if (sector.data_offset > floppy.decoded.size() ||
                floppy.decoded.size() - sector.data_offset < sector.data_size ||
                (sector.data_cut ? sector.data_size > whole || sector.data_ok : sector.data_size != whole)) {
                return "a Teledisk sector's data is not its size, or lies outside the decoded bytes, or "
                     "is cut and said to be whole";
            }
        }
    }
    if (korve::read_td0_image(bytes) != floppy) {
        return "the same Teledisk image was read differently";
    }
    // Far more than the fuzzer's inputs can unpack to: no stop at the most.
    constexpr std::size_t most = std::size_t{1} << 24;
    const korve::Unpacked all = korve::lzhuf_unpack(bytes, most);
    const korve::Unpacked half = korve::lzhuf_unpack(bytes.first(bytes.size() / 2), most);
    if (half.bytes.size() > all.bytes.size() ||
        !std::equal(half.bytes.begin(), half.bytes.end(), all.bytes.begin())) {
        return "packed bytes cut short unpacked to other bytes than the whole's first";
    }
    return nullptr;
}

}  // namespace korve_fuzz
