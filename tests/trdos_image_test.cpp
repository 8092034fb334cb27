#include "formats/trdos_image.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "alasm_writer.h"
#include "formats/container.h"
#include "image_writer.h"
#include "program_run.h"

namespace korve {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using testing::alasm_header;
using testing::alasm_record;
using testing::DiskFile;
using testing::ProgramRun;
using testing::scl_archive;
using testing::trd_image;

// A live file read off an image, as these tests look at it: its entry, and
// the Hobeta file it leaves the disk as (empty where its data is lost).
struct ReadFile : CatalogueEntry {
    std::string hobeta;
};

struct ReadImage {
    DiskImage disk;
    ImageProblem problem = ImageProblem::None;
    std::vector<ReadFile> entries;
    std::size_t unlisted = 0;
    bool count_lost = false;
};

ReadImage read_image(const std::string& image) {
    const auto bytes = std::span(reinterpret_cast<const unsigned char*>(image.data()), image.size());
    ReadImage read{read_disk_image(bytes), {}, {}, {}, {}};
    read.problem = read.disk.problem;
    read.unlisted = read.disk.unlisted;
    read.count_lost = read.disk.count_lost;
    for (const CatalogueEntry& entry : live_entries(read.disk)) {
        ReadFile file{entry, {}};
        if (entry.problem == ImageProblem::None) {
            file.hobeta = hobeta_file(hobeta_header_of(entry), file_sectors(bytes, entry));
        }
        read.entries.push_back(file);
    }
    return read;
}

std::string full_name(const CatalogueEntry& entry) { return catalogue_text(entry.name); }

// ALASM data whose catalogue length ends inside its last record: the rest of
// the record lies in the slack of its sector.
const std::string kLastRecord = alasm_record("{RLCA};");
const DiskFile kSource = {
    .name = "PGM",
    .type = 'H',
    .data = alasm_header("PGM") + alasm_record("LOOP{LD}{A},{(HL)}") + kLastRecord.substr(0, 2),
    .slack = kLastRecord.substr(2),
};
const DiskFile kDeleted = {.name = "OLD", .type = 'H', .data = alasm_header("OLD"), .deleted = true};
const DiskFile kCode = {.name = "PGM", .data = std::string(300, '\xC9'), .start = 0x6000};

using ImageRun = ProgramRun;

TEST_F(ImageRun, GivesEachLiveFileAsItsHobetaFile) {
    std::string trd = trd_image({kSource, kDeleted, kCode});
    // Past the first empty entry, the catalogue holds nothing.
    const std::size_t entry_size = 16;
    trd.replace(4 * entry_size, entry_size, trd.substr(0, entry_size));
    for (const std::string& image : {trd, scl_archive({kSource, kDeleted, kCode})}) {
        const ReadImage disk = read_image(image);
        EXPECT_EQ(disk.problem, ImageProblem::None);
        ASSERT_EQ(disk.entries.size(), 2U);
        const ReadFile& source = disk.entries[0];
        const ReadFile& code = disk.entries[1];
        EXPECT_EQ(full_name(source), "PGM.H");
        EXPECT_EQ(source.length, 75);
        EXPECT_TRUE(source.alasm);
        const std::string sector = kSource.data + kSource.slack;
        EXPECT_EQ(source.hobeta, "PGM     H\0\0\x4B\0\0\x01\x81\x1A"s + sector +
                                     std::string(256 - sector.size(), '\0'));
        EXPECT_EQ(full_name(code), "PGM.C");
        EXPECT_EQ(code.length, 300);
        EXPECT_EQ(code.start, 0x6000);
        EXPECT_EQ(code.sectors, 2);
        EXPECT_FALSE(code.alasm);
        EXPECT_EQ(code.hobeta.size(), 17U + 2 * 256);

        // The Hobeta file converts as far as the catalogue's length, and so
        // the last record runs on into the rest of its sector.
        write("in.$h", source.hobeta);
        const auto korve_run = korve({"in.$h", "out.asm"});
        EXPECT_EQ(korve_run.status, 1);
        EXPECT_EQ(read("out.asm"), native("LOOP\tLD\tA,(HL)\n\tRLCA\t;\n"));
    }
}

struct Broken {
    const char* what;
    std::string image;
    ImageProblem problem;
    std::vector<std::string> given;  // entries whose data was read
    std::vector<std::string> lost;   // entries listed without it
    std::size_t unlisted = 0;        // files counted whose entries are lost too
};

// An archive whose count byte says `count`, its checksum made right again,
// as a writer that miscounts would write it.
std::string recounted(std::string scl, char count) {
    scl[8] = count;
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 4 < scl.size(); ++i) {
        sum += static_cast<unsigned char>(scl[i]);
    }
    for (std::size_t i = 0; i < 4; ++i) {
        scl[scl.size() - 4 + i] = static_cast<char>(sum >> (8 * i));
    }
    return scl;
}

TEST(TrdosImage, GivesWhatABrokenImageStillHolds) {
    const std::vector<DiskFile> files = {
        {.name = "ONE", .type = 'H', .data = alasm_header("ONE") + alasm_record("{NOP}")},
        {.name = "TWO", .type = 'H', .data = std::string(400, '\x01')},
        {.name = "THREE", .data = "\xC9"},
    };
    const std::string trd = trd_image(files);
    const std::string scl = scl_archive(files);
    const std::size_t two_on_trd = 17 * kSectorSize;
    const std::size_t three_in_scl = 9 + 3 * 14 + 3 * kSectorSize;
    std::string trd_past = trd;
    trd_past[16 + 14] = '\xFF';  // TWO's first sector and track, 255 and 255: past any disk's 256 tracks
    trd_past[16 + 15] = '\xFF';
    // A disk of 86 cylinders, as images of real floppies hold, TWO on track 170.
    std::string trd_far = trd;
    trd_far.resize(172 * kSectorsPerTrack * kSectorSize, '\0');
    trd_far.replace(170 * kSectorsPerTrack * kSectorSize, 2 * kSectorSize, trd.substr(two_on_trd, 2 * kSectorSize));
    trd_far[16 + 14] = '\0';
    trd_far[16 + 15] = '\xAA';
    std::string scl_sum = scl;
    scl_sum.back() ^= 1;
    const std::string scl_count = recounted(scl, 5);
    const std::string scl_count_255 = recounted(scl, '\xFF');
    // A code file and a source: cut where one file's archive would end, as
    // if it held the code file's data from byte 23 on.
    const std::string code_and_source =
        scl_archive({{.name = "CODE", .data = std::string(33, '\0') + "\xD9"}, files[0]});

    const ImageProblem cut = ImageProblem::CutShort;
    const ImageProblem not_image = ImageProblem::NotAnImage;
    const Broken cases[] = {
        {"a .trd cut inside its second file", trd.substr(0, two_on_trd + 256), cut, {"ONE.H"},
         {"TWO.H", "THREE.C"}},
        {"a .trd whose entry points past the disk", trd_past,
         ImageProblem::PastTheDisk, {"ONE.H", "THREE.C"}, {"TWO.H"}},
        {"a .trd of 86 cylinders, a file past track 160", trd_far, ImageProblem::None,
         {"ONE.H", "TWO.H", "THREE.C"}, {}},
        {"a .trd cut before track 170, where a file lies", trd_far.substr(0, 168 * kSectorsPerTrack * kSectorSize), cut,
         {"ONE.H", "THREE.C"}, {"TWO.H"}},
        {"a .trd cut before TR-DOS's mark", trd.substr(0, 0x8E7), not_image, {}, {}},
        {"nothing", "", not_image, {}, {}},
        {"ALASM data", alasm_header("ONE") + std::string(0x900, '\x10'), not_image, {}, {}},
        {"ALASM data that spells SINCLAIR", "SINCLAIR" + alasm_header("ONE").substr(8) + scl.substr(64),
         not_image, {}, {}},
        {"an .scl whose checksum does not match", scl_sum,
         ImageProblem::ChecksumMismatch, {"ONE.H", "TWO.H", "THREE.C"}, {}},
        {"an .scl counting two files it lacks", scl_count,
         ImageProblem::CountTooLarge, {"ONE.H", "TWO.H", "THREE.C"}, {}},
        {"an .scl counting 255 files", scl_count_255,
         ImageProblem::CountTooLarge, {"ONE.H", "TWO.H", "THREE.C"}, {}},
        {"an .scl cut inside its last file", scl.substr(0, three_in_scl + 100), cut,
         {"ONE.H", "TWO.H"}, {"THREE.C"}},
        {"an .scl cut inside its checksum", scl.substr(0, scl.size() - 2), cut,
         {"ONE.H", "TWO.H", "THREE.C"}, {}},
        {"an .scl cut inside its second entry", scl.substr(0, 9 + 14 + 5), cut, {}, {"ONE.H"}, 2},
        {"an .scl signature alone", "SINCLAIR", cut, {}, {}},
        {"an .scl cut where fewer files would end", code_and_source.substr(0, 9 + 14 + 256 + 4), cut,
         {}, {"CODE.C", "ONE.H"}},
        {"more bytes than any image holds", scl + std::string(kLargestImage, '\0'), not_image, {}, {}},
    };

    std::map<std::string, std::string> whole;
    for (const ReadFile& entry : read_image(trd).entries) {
        whole[full_name(entry)] = entry.hobeta;
    }
    for (const Broken& c : cases) {
        const ReadImage disk = read_image(c.image);
        EXPECT_EQ(disk.problem, c.problem) << c.what;
        std::vector<std::string> given;
        std::vector<std::string> lost;
        for (const ReadFile& entry : disk.entries) {
            (entry.hobeta.empty() ? lost : given).push_back(full_name(entry));
            if (!entry.hobeta.empty()) {
                EXPECT_EQ(entry.hobeta, whole[full_name(entry)]) << c.what;
            }
        }
        EXPECT_EQ(given, c.given) << c.what;
        EXPECT_EQ(lost, c.lost) << c.what;
        EXPECT_EQ(disk.unlisted, c.unlisted) << c.what;
    }
}

std::string example(const char* name) {
    std::ifstream file(std::filesystem::path(KORVE_EXAMPLES) / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// Cut at every length, an image gives each file it still holds as it was,
// and counts the others lost: never a loss unsaid, never a file made of
// another's bytes.
TEST(TrdosImage, LosesNoFileUnsaidWhereverItIsCut) {
    const std::vector<DiskFile> sources = {
        {.name = "CODE", .data = std::string(33, '\0') + "\xD9" + std::string(300, '\xC9')},
        {.name = "ONE", .type = 'H', .data = alasm_header("ONE") + alasm_record("{NOP}")},
        {.name = "TWO", .type = 'H', .data = alasm_header("TWO") + std::string(600, '\x01')},
    };
    for (const std::string& image : {example("greet.trd"), example("greet.scl"), scl_archive(sources)}) {
        const ReadImage whole = read_image(image);
        ASSERT_EQ(whole.problem, ImageProblem::None);
        std::map<std::string, std::string> files;
        for (const ReadFile& entry : whole.entries) {
            files[full_name(entry)] = entry.hobeta;
        }
        for (std::size_t size = 0; size < image.size(); ++size) {
            const ReadImage cut = read_image(image.substr(0, size));
            std::size_t kept = 0;
            for (const ReadFile& entry : cut.entries) {
                if (!entry.hobeta.empty()) {
                    ASSERT_EQ(entry.hobeta, files[full_name(entry)]) << "cut at " << size;
                    ++kept;
                }
            }
            const bool recognised = cut.problem != ImageProblem::NotAnImage;
            ASSERT_TRUE(!recognised || kept == files.size() || lost_files(cut.disk) > 0 || cut.count_lost)
                << "cut at " << size;
        }
    }
}

// A source and a code file of one name, as korve's own writers put them.
const TrdosFile kWrittenSource = {
    .name = trdos_name("GREET", 'H'), .data = alasm_header("GREET") + alasm_record("LOOP{LD}{A},{(HL)}") + '\0'};
const TrdosFile kWrittenCode = {.name = trdos_name("GREET", 'C'), .start = 0x6000, .data = std::string(300, '\xC9')};

TEST_F(ImageRun, WritesImagesThatReadBackAsTheyWent) {
    const std::vector<TrdosFile> files = {kWrittenSource, kWrittenCode};
    const WrittenImage hobeta = write_hobeta_file(kWrittenSource);
    ASSERT_EQ(hobeta.problem, WriteProblem::None);
    // 74 bytes in one sector; 257 * 618 + 105 = 158931, kept to 16 bits 0x6CD3.
    EXPECT_EQ(hobeta.bytes, "GREET   H\0\0\x4A\0\0\x01\xD3\x6C"s + kWrittenSource.data +
                                std::string(256 - 74, '\0'));

    const WrittenImage trd = write_trd_image(files, "DISK");
    ASSERT_EQ(trd.problem, WriteProblem::None);
    ASSERT_EQ(trd.bytes.size(), kLargestDisk);
    EXPECT_EQ(trd.bytes.substr(0, 48), "GREET   H\0\0\x4A\0\x01\x00\x01"
                                       "GREET   C\x00\x60\x2C\x01\x02\x01\x01"s + std::string(16, '\0'));
    // Free from track 1, sector 3: 2560 - 19 = 2541 sectors; 2 files.
    EXPECT_EQ(trd.bytes.substr(0x8E1, 0x1F), "\x03\x01\x16\x02\xED\x09\x10\0\0         \0\0DISK    \0\0\0"s);
    EXPECT_EQ(trd.bytes.substr(0x1000, 74), kWrittenSource.data);

    const WrittenImage scl = write_scl_archive(files);
    ASSERT_EQ(scl.problem, WriteProblem::None);
    EXPECT_EQ(scl.bytes.substr(0, 9 + 28), "SINCLAIR\x02GREET   H\0\0\x4A\0\x01GREET   C\x00\x60\x2C\x01\x02"s);
    EXPECT_EQ(scl.bytes.size(), 9 + 28 + 3 * 256 + 4);

    for (const std::string& image : {trd.bytes, scl.bytes}) {
        const ReadImage disk = read_image(image);
        EXPECT_EQ(disk.problem, ImageProblem::None);
        ASSERT_EQ(disk.entries.size(), 2U);
        EXPECT_EQ(full_name(disk.entries[0]), "GREET.H");
        EXPECT_TRUE(disk.entries[0].alasm);
        EXPECT_EQ(disk.entries[0].hobeta, hobeta.bytes);
        EXPECT_EQ(full_name(disk.entries[1]), "GREET.C");
        EXPECT_EQ(disk.entries[1].start, 0x6000);
        EXPECT_EQ(disk.entries[1].length, 300);
        EXPECT_EQ(disk.entries[1].hobeta, write_hobeta_file(kWrittenCode).bytes);
    }
    write("in.$h", hobeta.bytes);
    EXPECT_EQ(korve({"in.$h", "out.asm"}).status, 1);
    EXPECT_EQ(read("out.asm"), native("LOOP\tLD\tA,(HL)\n\n"));
}

struct Unwritable {
    const char* what;
    std::vector<TrdosFile> files;
    WriteProblem on_disk;
    WriteProblem in_archive;
    std::size_t file;          // the one refused
    std::size_t archive_file = 0;  // the one an archive refuses, where it differs
};

std::vector<TrdosFile> numbered(std::size_t count, std::size_t size) {
    std::vector<TrdosFile> files;
    for (std::size_t i = 0; i < count; ++i) {
        files.push_back({.name = trdos_name("F" + std::to_string(i), 'C'), .data = std::string(size, 'x')});
    }
    return files;
}

TEST(TrdosImage, RefusesFilesNoImageHolds) {
    const auto none = WriteProblem::None;
    const auto bad_name = WriteProblem::BadName;
    const Unwritable cases[] = {
        {"an empty name", {{.name = trdos_name("", 'C')}}, bad_name, bad_name, 0},
        {"a name that reads as deleted", {{.name = trdos_name("\x01OLD", 'C')}}, bad_name, bad_name, 0},
        {"a name holding a zero", {{.name = trdos_name("A\0B"s, 'C')}}, bad_name, bad_name, 0},
        {"the largest file", {{.name = trdos_name("A", 'C'), .data = std::string(65280, 'x')}}, none, none, 0},
        {"a file of 256 sectors", {{.name = trdos_name("A", 'C'), .data = std::string(65281, 'x')}},
         WriteProblem::FileTooLarge, WriteProblem::FileTooLarge, 0},
        {"one name twice, once padded", {{.name = trdos_name("A", 'H')}, {.name = trdos_name("B", 'C')}, {.name = trdos_name("A ", 'H')}},
         WriteProblem::SameName, WriteProblem::SameName, 2},
        {"one name of two types", {{.name = trdos_name("A", 'H')}, {.name = trdos_name("A", 'C')}}, none, none, 0},
        {"128 files", numbered(128, 1), none, none, 0},
        {"129 files", numbered(129, 1), WriteProblem::TooManyFiles, none, 128},
        {"256 files", numbered(256, 1), WriteProblem::TooManyFiles, WriteProblem::TooManyFiles, 128, 255},
        // 16 + 9 * 255 sectors leave 249 free: not enough for the tenth.
        {"ten of the largest files", numbered(10, 65280), WriteProblem::DiskFull, none, 9},
    };
    for (const Unwritable& c : cases) {
        const WrittenImage trd = write_trd_image(c.files, "");
        EXPECT_EQ(trd.problem, c.on_disk) << c.what;
        const WrittenImage scl = write_scl_archive(c.files);
        EXPECT_EQ(scl.problem, c.in_archive) << c.what;
        for (const WrittenImage* written : {&trd, &scl}) {
            if (written->problem == none) {
                EXPECT_EQ(read_image(written->bytes).entries.size(), c.files.size()) << c.what;
            } else {
                EXPECT_EQ(written->file, written == &scl && c.archive_file ? c.archive_file : c.file) << c.what;
                EXPECT_TRUE(written->bytes.empty()) << c.what;
            }
        }
    }
    EXPECT_EQ(check_trdos_name("PGMFLASH"), NameProblem::None);
    // Names only: GCC 12 takes a table of whole files for uninitialised
    // when it optimises this unit alone.
    struct Reason {
        WriteProblem problem;
        TrdosName name;
        std::string text;
    };
    const Reason reasons[] = {
        {WriteProblem::BadName, trdos_name("", 'C'),
         "the name is empty, or spaces alone, which TR-DOS pads names with"},
        {WriteProblem::BadName, trdos_name("\x01OLD", 'C'), "the name holds a control byte, which a TR-DOS name cannot"},
        {WriteProblem::FileTooLarge, {}, "the file is larger than the 65280 bytes (255 sectors) a TR-DOS file holds"},
        {WriteProblem::SameName, {}, "a file before it has the same name and type"},
        {WriteProblem::TooManyFiles, {}, "the catalogue is full: a disk holds 128 files, an archive 255"},
        {WriteProblem::DiskFull, {}, "the disk is full: its 2544 free sectors hold the files before it"},
    };
    for (const Reason& reason : reasons) {
        EXPECT_EQ(write_problem_text(reason.problem, TrdosFile{.name = reason.name}), reason.text);
    }
    EXPECT_EQ(name_problem_text(check_trdos_name("PGMFLASH1")),
              "the name is longer than the 8 bytes of a TR-DOS name");
}

std::string file_bytes(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// The real images beside the checkout, where they are: each lists the live
// entries its manifest names, and each of them converts exactly as korve
// converts the real file of the same bytes, in its Hobeta form.
TEST_F(ImageRun, ConvertsRealImagesAsTheirRealFiles) {
    const fs::path images = KORVE_IMAGES;
    std::ifstream manifest(images / "MANIFEST.tsv");
    if (!manifest) {
        GTEST_SKIP() << "no images at " << images;
    }
    // image, entry, kind, length, same_data_as: a row per live entry.
    std::map<std::string, std::vector<std::vector<std::string>>> listed;
    std::string row;
    std::getline(manifest, row);  // the column names
    while (std::getline(manifest, row)) {
        std::vector<std::string> columns;
        std::istringstream tab_separated(row);
        for (std::string column; std::getline(tab_separated, column, '\t');) {
            columns.push_back(column);
        }
        ASSERT_EQ(columns.size(), 5U) << row;
        listed[columns[0]].push_back(columns);
    }
    ASSERT_FALSE(listed.empty());

    for (const auto& [image, rows] : listed) {
        const ReadImage disk = read_image(file_bytes(images / image));
        EXPECT_EQ(disk.problem, ImageProblem::None) << image;
        std::vector<std::string> wanted;
        std::vector<std::string> got;
        for (const auto& columns : rows) {
            wanted.push_back(columns[1] + ' ' + columns[2] + ' ' + columns[3]);
        }
        for (const ReadFile& entry : disk.entries) {
            got.push_back(full_name(entry) + (entry.alasm ? " ALASM " : " not ALASM ") +
                          std::to_string(entry.length));
        }
        ASSERT_EQ(got, wanted) << image;

        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (!disk.entries[i].alasm) {
                continue;
            }
            const fs::path real = images.parent_path() / "real" /
                                  fs::path(rows[i][4]).replace_extension(".$H");
            const auto real_run = korve({real.string(), "real.asm"});
            write("entry.$h", disk.entries[i].hobeta);
            const auto entry_run = korve({"entry.$h", "entry.asm"});
            EXPECT_EQ(entry_run.status, real_run.status) << real;
            EXPECT_EQ(entry_run.console, real_run.console) << real;
            EXPECT_EQ(read("entry.asm"), read("real.asm")) << real;
        }
    }
}

}  // namespace
}  // namespace korve
