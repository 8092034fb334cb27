#include "formats/udi_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "alasm_writer.h"
#include "base/little_endian.h"
#include "formats/trdos_image.h"
#include "image_writer.h"

namespace korve {
namespace {

using testing::DiskFile;
using testing::UdiShape;
using testing::udi_image;
using testing::with_crc;

constexpr std::size_t kNone = static_cast<std::size_t>(-1);
constexpr std::size_t kRecordsPerTrack = 16;
constexpr std::array<unsigned char, kRecordsPerTrack> kInterleaved = {1, 9,  2, 10, 3, 11, 4, 12,
                                                                      5, 13, 6, 14, 7, 15, 8, 16};

FloppyImage read(const std::string& image) { return read_udi(byte_span(image)); }

// zlib's CRC-32, which a UDI file does not end with.
std::uint32_t zlib_crc(std::string_view bytes) {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < table.size(); ++i) {
        std::uint32_t crc = i;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1) != 0 ? crc >> 1 ^ 0xEDB88320U : crc >> 1;
        }
        table[i] = crc;
    }
    std::uint32_t crc = 0xFFFFFFFFU;
    for (const char byte : bytes) {
        crc = table[(crc ^ static_cast<unsigned char>(byte)) & 0xFF] ^ crc >> 8;
    }
    return ~crc;
}

// A disk of a source and a code file over several tracks, whose data holds
// an ID field, its CRC right, as bytes alone: unmarked, it is no sector.
std::string disk() {
    std::string id("\xA1\xA1\xA1\xFE\x01\x00\x11\x01", 8);
    const std::uint16_t crc = testing::ccitt_crc(id);
    id += {static_cast<char>(crc >> 8), static_cast<char>(crc & 0xFF)};
    std::string code;
    for (std::size_t i = 0; i < 9000; ++i) {
        code += static_cast<char>(i * 7 + i / 256);
    }
    return testing::trd_image({{.name = "PGM", .type = 'H', .data = testing::alasm_header("PGM") + id},
                               {.name = "CODE", .data = code + id, .start = 0x6000}});
}

const std::string kDisk = disk();

// The .trd's bytes of track T's record R: zero past its end.
std::string trd_sector(std::size_t track, unsigned char record) {
    const std::size_t at = (track * kRecordsPerTrack + record - 1U) * kSectorSize;
    std::string bytes = at < kDisk.size() ? kDisk.substr(at, kSectorSize) : "";
    bytes.resize(kSectorSize, '\0');
    return bytes;
}

std::string data_of(const std::string& image, const FloppySector& sector) {
    return image.substr(sector.data_offset, sector.data_size);
}

// `image` with the byte at `offset` set, and the file's CRC made right.
std::string with_byte(std::string image, std::size_t offset, char byte) {
    image[offset] = byte;
    return with_crc(image);
}

// `image` with its size field saying `size`, and the file's CRC made right.
std::string with_size_field(std::string image, std::size_t size) {
    write_little_endian(writable_bytes(image), 4, 4, static_cast<std::uint32_t>(size));
    return with_crc(image);
}

enum class Held : unsigned char { Whole, Missing, DataCrcFailed, Cut };

struct Expected {
    std::size_t track;  // kNone: on every track
    unsigned char record;
    Held held;
};

struct Read {
    const char* what;
    std::string image;
    FloppyProblem problem;
    std::size_t tracks;
    std::size_t sides = 2;
    std::vector<Expected> sectors{};  // Whole where none is listed
    std::size_t unread = kNone;       // a track listed unread
};

Held expected(const Read& row, std::size_t track, unsigned char record) {
    for (const Expected& e : row.sectors) {
        if ((e.track == kNone || e.track == track) && e.record == record) {
            return e.held;
        }
    }
    return Held::Whole;
}

TEST(UdiImage, FindsEverySectorByItsIdAndSaysWhatIsWrong) {
    const std::string whole = udi_image(kDisk, {});
    const std::string crc_wrong = whole.substr(0, whole.size() - 1) + static_cast<char>(whole.back() ^ 1);
    const std::size_t size_field = whole.size() - 4;
    std::vector<Expected> short_tracks = {{kNone, 12, Held::Cut}};
    for (const unsigned char record : {5, 13, 6, 14, 7, 15, 8, 16}) {
        short_tracks.push_back({kNone, record, Held::Missing});
    }
    std::vector<Expected> fm_track;
    for (unsigned char record = 1; record <= kRecordsPerTrack; ++record) {
        fm_track.push_back({0, record, Held::Missing});
    }

    const Read rows[] = {
        {"80 cylinders, two sides", whole, FloppyProblem::None, 160},
        {"86 cylinders, two sides", udi_image(kDisk, {.cylinders = 86}), FloppyProblem::None, 172},
        {"80 cylinders, one side", udi_image(kDisk, {.sides = 1}), FloppyProblem::None, 80, 1},
        {"86 cylinders, one side", udi_image(kDisk, {.cylinders = 86, .sides = 1}), FloppyProblem::None, 86, 1},
        {"an extra header", udi_image(kDisk, {.extra_header = "made by a test"}), FloppyProblem::None, 160},
        {"a data CRC failed", udi_image(kDisk, {.faults = {{.track = 3, .record = 10}}}), FloppyProblem::None,
         160, 2, {{3, 10, Held::DataCrcFailed}}},
        {"an ID's CRC failed", udi_image(kDisk, {.faults = {{.track = 1, .record = 2, .in_id = true}}}),
         FloppyProblem::None, 160, 2, {{1, 2, Held::Missing}}},
        // Fields from byte 146 on, 372 bytes each: the eighth's data,
        // 2810 to 3066, is cut at 3000.
        {"tracks of 3000 bytes", udi_image(kDisk, {.track_length = 3000}), FloppyProblem::None, 160, 2,
         short_tracks},
        {"a track of FM", with_byte(whole, 16, 1), FloppyProblem::None, 160, 2, fm_track, 0},
        {"a wrong file CRC", crc_wrong, FloppyProblem::FileCrcWrong, 160},
        {"zlib's file CRC", with_crc(whole, zlib_crc), FloppyProblem::FileCrcWrong, 160},
        {"a cylinder more than it holds", with_byte(whole, 9, 80), FloppyProblem::BadHeader, 160},
        {"a size field short of the file", with_size_field(whole, size_field - 1),
         FloppyProblem::BadHeader, 160},
        {"a size field past the file", with_size_field(whole, size_field + 1),
         FloppyProblem::CutShort, 160},
        {"another version", with_byte(whole, 8, 1), FloppyProblem::BadHeader, 0},
        {"a .trd", kDisk, FloppyProblem::NotAnImage, 0},
    };
    for (const Read& row : rows) {
        const FloppyImage floppy = read(row.image);
        EXPECT_EQ(floppy.problem, row.problem) << row.what;
        ASSERT_EQ(floppy.tracks.size(), row.tracks) << row.what;
        for (std::size_t t = 0; t < floppy.tracks.size(); ++t) {
            const FloppyTrack& track = floppy.tracks[t];
            ASSERT_EQ(track.cylinder, t / row.sides) << row.what;
            ASSERT_EQ(track.head, t % row.sides) << row.what;
            ASSERT_EQ(track.unread, t == row.unread) << row.what;
            // In the order met on the track, and nothing more: no ID out of
            // a file's data.
            std::vector<unsigned char> records;
            for (const FloppySector& sector : track.sectors) {
                records.push_back(sector.id.record);
            }
            std::vector<unsigned char> order;
            std::copy_if(kInterleaved.begin(), kInterleaved.end(), std::back_inserter(order),
                         [&](unsigned char r) { return expected(row, t, r) != Held::Missing; });
            ASSERT_EQ(records, order) << row.what << ", track " << t;
            for (const FloppySector& sector : track.sectors) {
                const Held held = expected(row, t, sector.id.record);
                const std::string what = std::string(row.what) + ", track " + std::to_string(t) + " record " +
                                         std::to_string(sector.id.record);
                ASSERT_EQ(sector.id, (SectorId{track.cylinder, track.head, sector.id.record, 1})) << what;
                ASSERT_TRUE(sector.has_data) << what;
                ASSERT_EQ(sector.data_ok, held == Held::Whole) << what;
                ASSERT_EQ(sector.data_cut, held == Held::Cut) << what;
                ASSERT_EQ(data_of(row.image, sector), trd_sector(t, sector.id.record).substr(0, sector.data_size))
                    << what;
                ASSERT_EQ(sector.data_size, held == Held::Cut ? 190U : kSectorSize) << what;
            }
        }
    }
}

TEST(UdiImage, ComputesItsFileCrcAsTheEmulatorsDoNotAsZlib) {
    const std::string udi = udi_image(kDisk, {.cylinders = 2});
    // Eight bytes at once and the rest one by one: a whole block alone, its
    // high bits set, and blocks with a rest.
    const std::string block("\x80\x01\xFE\x7F\xC3\x3C\xA5\x5A", 8);
    for (const std::string& bytes : {std::string(), block, std::string("123456789"), std::string(300, '\xFF'), udi}) {
        EXPECT_EQ(udi_file_crc(byte_span(bytes)), testing::udi_crc(bytes)) << bytes.size();
    }
    EXPECT_EQ(zlib_crc("123456789"), 0xCBF43926U);
    EXPECT_NE(testing::udi_crc("123456789"), zlib_crc("123456789"));
}

// Cut at every length, an image gives the sectors before the cut as they
// were, one last one at most less whole, and none from past it.
TEST(UdiImage, ReadsWhatACutImageHolds) {
    const std::string image = udi_image(kDisk, {.cylinders = 2, .sides = 1});
    const FloppyImage whole = read(image);
    std::vector<FloppySector> sectors;
    for (const FloppyTrack& track : whole.tracks) {
        sectors.insert(sectors.end(), track.sectors.begin(), track.sectors.end());
    }
    // Track 0 ends with its bitmap: 6250 bytes and 782 of marks.
    const std::size_t first_track_end = 16 + 3 + 6250 + 782;
    for (std::size_t size = 0; size < image.size(); ++size) {
        const FloppyImage cut = read(image.substr(0, size));
        ASSERT_EQ(cut.problem, size < 4 ? FloppyProblem::NotAnImage : FloppyProblem::CutShort) << size;
        std::vector<FloppySector> held;
        for (const FloppyTrack& track : cut.tracks) {
            held.insert(held.end(), track.sectors.begin(), track.sectors.end());
        }
        ASSERT_LE(held.size(), sectors.size()) << size;
        ASSERT_GE(held.size(), size < first_track_end ? 0U : kRecordsPerTrack) << size;
        for (std::size_t i = 0; i < held.size(); ++i) {
            const FloppySector& sector = held[i];
            ASSERT_EQ(sector.id, sectors[i].id) << size;
            ASSERT_LE(sector.data_offset + sector.data_size + (sector.data_ok ? 2 : 0), size) << size;
            if (i + 1 < held.size() || (size >= first_track_end && i < kRecordsPerTrack)) {
                ASSERT_TRUE(sector == sectors[i]) << size;
            } else if (!(sector == sectors[i])) {
                ASSERT_TRUE(!sector.has_data || sector.data_cut || !sector.data_ok) << size;
            }
        }
    }
}

const FloppySector* sector_of(const FloppyImage& floppy, std::size_t track, unsigned char record, std::size_t& index) {
    const std::vector<FloppySector>& sectors = floppy.tracks[track].sectors;
    for (index = 0; index < sectors.size(); ++index) {
        if (sectors[index].id.record == record) {
            return &sectors[index];
        }
    }
    return nullptr;
}

// Written back, an image changes in the sectors written, their CRCs and its
// own CRC alone, every sector read as before and a failed one good now.
TEST(UdiImage, WritesSectorsBackKeepingEveryOtherByte) {
    const std::string image = udi_image(kDisk, {.faults = {{.track = 3, .record = 10}}});
    const FloppyImage floppy = read(image);
    const std::string catalogue(kSectorSize, 'c');
    const std::string failed(kSectorSize, 'f');
    const std::string last(kSectorSize, 'l');
    struct Change {
        std::size_t track;
        unsigned char record;
        const std::string& bytes;
    };
    std::vector<SectorBytes> writes;
    for (const Change& change : {Change{0, 1, catalogue}, Change{3, 10, failed}, Change{159, 16, last}}) {
        std::size_t sector = 0;
        ASSERT_NE(sector_of(floppy, change.track, change.record, sector), nullptr);
        writes.push_back({change.track, sector, change.bytes});
    }
    const UdiWritten written = write_udi(byte_span(image), floppy, writes);
    ASSERT_EQ(written.problem, UdiWriteProblem::None);
    ASSERT_EQ(written.bytes.size(), image.size());
    EXPECT_EQ(with_crc(written.bytes), written.bytes);

    FloppyImage expected = floppy;
    std::vector<bool> may_differ(image.size(), false);
    std::fill(may_differ.end() - 4, may_differ.end(), true);
    for (const SectorBytes& write : writes) {
        FloppySector& sector = expected.tracks[write.track].sectors[write.sector];
        sector.data_ok = true;
        std::fill_n(may_differ.begin() + static_cast<std::ptrdiff_t>(sector.data_offset), kSectorSize + 2, true);
        EXPECT_EQ(data_of(written.bytes, sector), write.bytes);
        EXPECT_NE(written.bytes.substr(sector.data_offset + kSectorSize, 2),
                  image.substr(sector.data_offset + kSectorSize, 2));
    }
    EXPECT_EQ(read(written.bytes), expected);
    for (std::size_t i = 0; i < image.size(); ++i) {
        ASSERT_TRUE(may_differ[i] || written.bytes[i] == image[i]) << i;
    }

    // Every sector of a sound image written with its own bytes: the same
    // image.
    const std::string sound = udi_image(kDisk, {.cylinders = 81});
    const FloppyImage sound_floppy = read(sound);
    std::vector<SectorBytes> same;
    for (std::size_t t = 0; t < sound_floppy.tracks.size(); ++t) {
        for (std::size_t s = 0; s < sound_floppy.tracks[t].sectors.size(); ++s) {
            const FloppySector& sector = sound_floppy.tracks[t].sectors[s];
            same.push_back({t, s, sound.substr(sector.data_offset, sector.data_size)});
        }
    }
    const UdiWritten again = write_udi(byte_span(sound), sound_floppy, same);
    EXPECT_EQ(again.problem, UdiWriteProblem::None);
    EXPECT_TRUE(again.bytes == sound);
}

TEST(UdiImage, RefusesAWriteThatWouldLoseData) {
    const std::string image = udi_image(kDisk, {.cylinders = 2, .track_length = 3000});
    const FloppyImage floppy = read(image);
    // Tracks of 3001 bytes put track 1 two bytes further on.
    const FloppyImage other = read(udi_image(kDisk, {.cylinders = 2, .track_length = 3001}));
    std::size_t cut = 0;
    std::size_t first = 0;
    ASSERT_NE(sector_of(floppy, 1, 12, cut), nullptr);
    const FloppySector* sector = sector_of(floppy, 1, 1, first);
    ASSERT_NE(sector, nullptr);
    // Record 1 made 512 bytes long: its data runs over record 9's ID.
    std::string longer = image;
    const std::size_t id = sector->data_offset - 48;
    longer[id + 7] = 2;
    const std::uint16_t crc = testing::ccitt_crc(std::string_view(longer).substr(id, 8));
    longer[id + 8] = static_cast<char>(crc >> 8);
    longer[id + 9] = static_cast<char>(crc & 0xFF);
    longer = with_crc(longer);
    const FloppyImage longer_floppy = read(longer);
    ASSERT_EQ(longer_floppy.tracks[1].sectors[first].data_size, 512U);

    const std::string bytes(kSectorSize, 'n');
    const std::string long_bytes(512, 'n');
    const struct {
        const char* what;
        const std::string& image;
        const FloppyImage& floppy;
        SectorBytes write;
        UdiWriteProblem problem;
    } rows[] = {
        {"a sector past the track's", image, floppy, {1, 8, bytes}, UdiWriteProblem::NoSuchSector},
        {"a track past the image's", image, floppy, {4, 0, bytes}, UdiWriteProblem::NoSuchSector},
        {"a sector the track cuts", image, floppy, {1, cut, bytes}, UdiWriteProblem::NoData},
        {"a byte short", image, floppy, {1, first, bytes.substr(0, 255)}, UdiWriteProblem::WrongSize},
        {"a cut image", image.substr(0, image.size() - 1), floppy, {1, first, bytes},
         UdiWriteProblem::DamagedImage},
        {"another image's sector", image, other, {1, first, bytes}, UdiWriteProblem::NoSuchSector},
        {"data over another ID", longer, longer_floppy, {1, first, long_bytes},
         UdiWriteProblem::CoversMarks},
    };
    for (const auto& row : rows) {
        const SectorBytes writes[] = {{0, 0, bytes}, row.write};
        const UdiWritten written = write_udi(byte_span(row.image), row.floppy, writes);
        EXPECT_EQ(written.problem, row.problem) << row.what;
        EXPECT_EQ(written.refused, row.problem == UdiWriteProblem::DamagedImage ? 0U : 1U) << row.what;
        EXPECT_TRUE(written.bytes.empty()) << row.what;
    }
}

}  // namespace
}  // namespace korve
