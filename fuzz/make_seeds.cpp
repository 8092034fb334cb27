// Writes the fuzzer's seed files into the folder it is given: one small file
// per case the tests single out, so the fuzzer starts from every corner.
//
//   make_seeds fuzz/corpus
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "alasm/alasm_packer.h"
#include "alasm_writer.h"
#include "base/byte_reader.h"
#include "base/little_endian.h"
#include "formats/alasm_lines.h"
#include "formats/fdi_image.h"
#include "formats/trdos_image.h"
#include "image_writer.h"

namespace {

using korve::testing::alasm_header;
using korve::testing::alasm_record;
using korve::testing::DiskFile;
using korve::testing::hobeta_file;
using korve::testing::scl_archive;
using korve::testing::td0_image;
using korve::testing::td0_tracks;
using korve::testing::trd_image;
using korve::testing::udi_image;
using korve::testing::write_file;

std::string bare(const std::string& records) { return alasm_header("SEED") + records; }

std::string longest_lines() {
    std::string records;
    for (int i = 0; i < 4; ++i) {
        records += '\xFF' + std::string(254, '\x0F');
    }
    return records;
}

// A disk of an ALASM source, a deleted file and a code file.
std::vector<DiskFile> disk_files(const std::string& records) {
    return {
        {.name = "SOURCE", .type = 'H', .data = alasm_header("SOURCE") + records},
        {.name = "OLD", .type = 'H', .data = alasm_header("OLD"), .deleted = true},
        {.name = "CODE", .data = std::string(300, '\xC9'), .start = 0x6000},
    };
}

// An archive whose count names two more files than it holds, its checksum
// made right again, as a writer that miscounts would write it.
std::string scl_overcounted(const std::string& records) {
    std::string archive = scl_archive(disk_files(records));
    archive[korve::kSclCountOffset] = static_cast<char>(archive[korve::kSclCountOffset] + 2);
    const std::size_t sum_end = archive.size() - korve::kSclChecksumSize;
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < sum_end; ++i) {
        sum += static_cast<unsigned char>(archive[i]);
    }
    korve::write_little_endian(korve::writable_bytes(archive), sum_end, korve::kSclChecksumSize, sum);
    return archive;
}

// korve's text of `records`, from the decoder's own description of each:
// the text the packer must take back.
std::string text_of(std::string_view records) {
    std::string text;
    for (std::size_t at = 0; at < records.size();) {
        const std::size_t size = korve::record_size(static_cast<unsigned char>(records[at]));
        const std::string_view content = records.substr(at + 1, size - 1);
        text += korve::describe_record(
                    {reinterpret_cast<const unsigned char*>(content.data()), content.size()})
                    .text +
                '\n';
        at += size;
    }
    return text + '\n';
}

// A source as a person types it, packed by korve's own writers.
constexpr std::string_view kTyped =
    "LOOP ld a,(hl)\n\tdjnz\tloop\nX\t= 5 ; a tab\n  ret  \n\tDEFB\t\"open\n\n";

korve::TrdosFile packed_source() {
    korve::ByteReader text({reinterpret_cast<const unsigned char*>(kTyped.data()), kTyped.size()});
    return {.name = korve::trdos_name("TYPED", korve::kAlasmType), .data = korve::pack_text(text, "TYPED").data};
}

std::string packed_archive() {
    const korve::TrdosFile files[] = {packed_source(), {.name = korve::trdos_name("CODE", 'C'), .data = std::string(300, '\xC9')}};
    return korve::write_scl_archive(files).bytes;
}

// An image followed by the changes the fuzz target's check of put makes to
// it (korve_fuzz.cpp's put_changes): WHAT, NAME and the size, low byte first.
struct PutChange {
    unsigned char what;
    unsigned char name;
    std::uint16_t size;
};

std::string with_put_changes(std::string image, const std::vector<PutChange>& changes) {
    for (const PutChange& change : changes) {
        image += static_cast<char>(change.what);
        image += static_cast<char>(change.name);
        image += static_cast<char>(change.size & 0xFF);
        image += static_cast<char>(change.size >> 8);
    }
    return image + static_cast<char>(changes.size());
}

// A disk whose CODE file's entry starts at SOURCE's sector, 16.
std::string shared_sectors(const std::string& records) {
    std::string disk = trd_image(disk_files(records));
    disk[2 * korve::kTrdEntrySize + korve::kCatalogueFirstSectorOffset] = 0;
    return disk;
}

// The first two tracks of a disk (catalogue, and the files' first sectors),
// as a Teledisk image: records interleaved, every data method, and in the
// packed one a comment.
std::string td0_disk(const std::string& records, bool packed) {
    std::string disk = trd_image(disk_files(records));
    disk.resize(2 * korve::kSectorsPerTrack * korve::kSectorSize, '\0');
    return td0_image(td0_tracks(disk, 2, true), {.packed = packed, .comment = packed ? "SEED" : ""});
}

// A two-sided cylinder of short tracks, record 9's data CRC failed on the
// first, record 2's ID CRC on the second, and the file's CRC wrong.
std::string udi_damaged(const std::string& trd) {
    std::string udi = udi_image(trd, {.cylinders = 1,
                                      .track_length = 3000,
                                      .faults = {{.track = 0, .record = 9}, {.track = 1, .record = 2, .in_id = true}}});
    udi.back() = static_cast<char>(udi.back() ^ 1);
    return udi;
}

// An FDI of the disk, its two tracks on cylinder 0's two sides; with
// `damaged`, SOURCE's first sector failed its CRC and the image cut inside
// its last sector. FDI is "FDI", then 10 bytes of the header, then a track
// header of 7 bytes and 7 for each sector of its 16, listed in
// korve::testing::kInterleavedRecords' order.
std::string fdi_disk(const std::string& records, bool damaged) {
    std::string fdi = korve::testing::fdi_image(trd_image(disk_files(records)), 1, 2);
    if (damaged) {
        constexpr std::size_t kSectorEntry = 7;
        constexpr std::size_t kTrackHeader = 7 + 16 * kSectorEntry;
        // Record 1 of the second track, listed first: logical sector 16.
        fdi[korve::kFdiHeaderSize + kTrackHeader + 7 + 4] = 0;
        fdi.resize(fdi.size() - 100);
    }
    return fdi;
}

struct Seed {
    const char* name;
    std::string bytes;
};

std::vector<Seed> seeds() {
    const std::string lines = alasm_record("LOOP{LD}{A},{(HL)}") + alasm_record("{RLCA};") +
                              alasm_record("     {DEFB}\"hi") + alasm_record("");
    // Text after the raw-rest marker can be no text that packs.
    const std::string strings = alasm_record("{DEFB}\";\",{A}") + alasm_record(";\"");
    const std::string operands = alasm_record("{LD}{A},{(IX}+5)") + alasm_record(";x{LD}");
    const std::string comments_strings = strings + alasm_record("{RAW}{LD}") + operands;
    return {
        {"header-only.h", bare("")},
        {"lines.h", bare(lines)},
        {"comments-strings.h", bare(comments_strings)},
        {"longest-lines.h", bare(longest_lines())},
        {"short-records.h", bare(std::string("\x00\x01\x02\x84\x00", 5))},
        {"undefined-first.h", bare(lines + "\x02\xE7")},
        {"undefined-operand.h", bare(lines + "\x03\xD4\x80")},
        {"past-the-end.h", bare(lines + "\x40" "AB")},
        {"short-header.h", alasm_header("SEED").substr(0, 50)},
        {"both-marks.h", bare('\xD9' + std::string(216, 'x'))},
        {"not-alasm", std::string(100, 'x')},
        {"hobeta.$h", hobeta_file(bare(lines))},
        {"hobeta-bad-checksum.$h", hobeta_file(bare(lines), 64 + lines.size(), false)},
        {"hobeta-length-0.$h", hobeta_file(bare(lines), 0)},
        {"hobeta-length-448.$h", hobeta_file(bare(lines), 0x01C0)},
        {"hobeta-length-65535.$h", hobeta_file(bare(lines), 0xFFFF)},
        {"disk.trd", trd_image(disk_files(lines))},
        {"disk.scl", scl_archive(disk_files(lines))},
        {"overcounted.scl", scl_overcounted(lines)},
        {"disk.td0", td0_disk(lines, false)},
        {"packed.td0", td0_disk(lines, true)},
        {"korve-text.txt", text_of(lines + strings + operands)},
        {"typed.txt", std::string(kTyped)},
        {"packed.$h", korve::write_hobeta_file(packed_source()).bytes},
        {"packed.scl", packed_archive()},
        // SOURCE outgrows its sector and moves, then CODE, after it, changes
        // in place, and a file C is added.
        {"put-move-then-replace.trd",
         with_put_changes(trd_image(disk_files(lines)), {{0x00, 0, 2304}, {0x01, 0, 64}, {0x80, 2, 10}})},
        {"put-shared-sectors.trd", with_put_changes(shared_sectors(lines), {{0x00, 0, 32}})},
        // "SOURCE " added beside SOURCE.H: one name once padded.
        {"put-padded-name.scl", with_put_changes(scl_archive(disk_files(lines)), {{0xC0, 0xC0, 5}})},
        {"put-built-disk", with_put_changes(std::string(300, 'x'), {{0x02, 0, 700}, {0x81, 7, 3}})},
        // Tracks of 3000 bytes, which cut record 12 and hold none after it;
        // one side, where the disk's type says two: its files are lost.
        {"disk.udi", udi_image(trd_image(disk_files(lines)), {.cylinders = 2, .sides = 1, .track_length = 3000})},
        // Both sides of cylinder 0, as the disk's type asks: the catalogue and
        // every file read whole, each sector's CRC and the file's right.
        {"whole.udi", udi_image(trd_image(disk_files(lines)), {.cylinders = 1, .track_length = 3000})},
        // A data CRC failed, an ID's too, and a wrong file CRC.
        {"damaged.udi", udi_damaged(trd_image(disk_files(lines)))},
        {"disk.fdi", fdi_disk(lines, false)},
        {"damaged.fdi", fdi_disk(lines, true)},
    };
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: make_seeds FOLDER\n", stderr);
        return 2;
    }
    for (const Seed& seed : seeds()) {
        if (!write_file(std::filesystem::path(argv[1]) / seed.name, seed.bytes)) {
            std::fprintf(stderr, "make_seeds: cannot write %s\n", seed.name);
            return 1;
        }
    }
    return 0;
}
