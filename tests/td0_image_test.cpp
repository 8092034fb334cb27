#include "formats/td0_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "alasm_writer.h"
#include "base/little_endian.h"
#include "formats/trdos_image.h"
#include "image_writer.h"

namespace korve {
namespace {

using testing::alasm_header;
using testing::alasm_record;
using testing::Td0Options;
using testing::Td0Sector;
using testing::Td0Track;
using testing::td0_image;
using testing::td0_tracks;

constexpr std::size_t kTrackSize = kSectorsPerTrack * kSectorSize;

// A sector as reading the image should give it.
enum class Given : unsigned char { Whole, Failed, NoData };

struct Expected {
    SectorId id;
    std::string data{};  // where Whole
    Given given = Given::Whole;
};

// The sectors of a disk whose bytes are in a .trd's order, all whole.
std::vector<Expected> trdos_sectors(std::string_view disk, unsigned sides) {
    std::vector<Expected> sectors;
    for (std::size_t at = 0; at < disk.size(); at += kSectorSize) {
        const std::size_t track = at / kTrackSize;
        sectors.push_back({{static_cast<std::uint8_t>(track / sides), static_cast<std::uint8_t>(track % sides),
                            static_cast<std::uint8_t>(at % kTrackSize / kSectorSize + 1), 1},
                           std::string(disk.substr(at, kSectorSize))});
    }
    return sectors;
}

// `sectors`, with the one of record `record` given as `given`.
std::vector<Expected> with(std::vector<Expected> sectors, std::uint8_t record, Given given) {
    for (Expected& sector : sectors) {
        sector.given = sector.id.record == record ? given : sector.given;
    }
    return sectors;
}

// A disk of `cylinders` on `sides`: two files as the test writers put them
// on a .trd, zero bytes after them, and the last sector saying where it is.
std::string disk(std::size_t cylinders, unsigned sides) {
    const std::string source = alasm_header("LOOP") + alasm_record("LOOP{LD}{A},{(HL)}") + alasm_record("{RLCA};");
    std::string bytes = testing::trd_image(
        {{.name = "LOOP", .type = 'H', .data = source}, {.name = "CODE", .data = std::string(300, '\xC9')}});
    bytes.resize(cylinders * sides * kTrackSize, '\0');
    bytes.replace(bytes.size() - kSectorSize, 11, "LAST SECTOR");
    return bytes;
}

// One track, its records interleaved: the catalogue (record 1) and the
// disk-information sector (9) by method 2, text (2) by method 0, and zero
// bytes (the rest) by method 1.
const std::string kTrack = [] {
    std::string track = disk(1, 1);
    track.replace(kSectorSize, 25, "STORED AS IT IS, RECORD 2");
    return track;
}();
const std::vector<Td0Track> kTracks = td0_tracks(kTrack, 1, true);

// kTracks with the sector of `record` changed by `change`.
template <typename Change>
std::vector<Td0Track> changed(std::uint8_t record, Change change) {
    std::vector<Td0Track> tracks = kTracks;
    for (Td0Sector& sector : tracks[0].sectors) {
        if (sector.id.record == record) {
            change(sector);
        }
    }
    return tracks;
}

std::string with_crc_fixed(std::string image, std::size_t header, std::size_t size) {
    image[header + size - 1] = static_cast<char>(td0_crc(byte_span(image).subspan(header, size - 1)) & 0xFF);
    return image;
}

// LZHUF's bits, written as text, packed from each byte's top bit down.
std::string from_bits(std::initializer_list<std::string_view> codes) {
    std::string bits;
    for (const std::string_view code : codes) {
        bits += code;
    }
    bits.resize((bits.size() + 7) / 8 * 8, '0');
    std::string bytes;
    for (std::size_t at = 0; at < bits.size(); at += 8) {
        bytes += static_cast<char>(std::stoi(bits.substr(at, 8), nullptr, 2));
    }
    return bytes;
}

// A packed image whose bits were worked out by hand, with back-references.
// Unpacked it is one track (01 00 00 94: one sector, cylinder 0, head 0,
// CRC) of one sector (00 00 01 00 00 00: record 1 of 128 bytes, its CRC
// byte 0x00) whose data block (81 00 00: 129 bytes, method 0) holds 128
// spaces, then the end (FF).
//
// A symbol's code is its leaf's path from the root. At first, symbol S's
// leaf is node S and the parent of node K is node 314 + K / 2, up to the
// root, 626; a node at an odd place is a second child, a 1 bit. So 0x01's
// nodes up from its leaf are 1 314 471 549 588 608 618 623 625, and their
// places' oddness, read from the root down, is 110001101. Counting a
// symbol then trades places: the node of the leaf counted with the last
// node whose count is below its new one, and so on up (trades listed as
// "A>B"). The positions' codes are the fixed ones of td0_lzhuf.h: 100 is
// upper bits 1 (0010) and lower bits 100100; 4000 is 62 (11111110) and
// 100000.
//
//   symbol              code       nodes from the leaf up       trades
//   0x01                110001101  1 314 471 549 588 ... 625    1>313
//   0x00                110001100  0 314 471 549 588 ... 625    0>312
//   0x00                11000100   312 470 549 588 ... 625      312>469
//   0x94                00100000   148 388 508 568 598 613 620 624
//                                                               148>311 312>468
//   0x00                1100001    469 548 588 ... 625          -
//   0x00                1100001    469 548 588 ... 625          469>547
//   256: 3 bytes, 5     10001100   256 442 535 581 604 616 622 625
//                                  and 000 000101               256>310
//   0x00                101111     547 587 607 617 622 625      -
//   0x81                00001101   129 378 503 565 596 612 620 624
//                                                          129>309 312>467 469>546
//   0x00, twice         101111     547 587 607 617 622 625      -
//   313: 60 bytes, 100  110001101  1 314 471 ... 625 (0x01's first place)
//                                  and 0010 100100              1>308
//   313: 60 bytes, 0    10111010   308 467 546 587 607 617 622 625
//                                  and 000 000000               308>466
//   261: 8 bytes, 4000  10010001   261 444 536 582 605 616 622 625
//                                  and 11111110 100000     261>307 312>465 469>545
//   0xFF                10001011   255 441 534 581 604 616 622 625
//
// The first match copies the 01 00 00 five bytes back; the second, 60 of
// the spaces the ring starts with; the third repeats the space it has just
// written; the last reaches round the ring's end to spaces never written
// over. Three zero bits fill the last byte.
std::string hand_packed_image() {
    const std::string header = td0_image({}, {.packed = true}).substr(0, kTd0HeaderSize);
    return header + from_bits({"110001101", "110001100", "11000100", "00100000", "1100001", "1100001",
                               "10001100", "000000101", "101111", "00001101", "101111", "101111",
                               "110001101", "0010100100", "10111010", "000000000",
                               "10010001", "11111110100000", "10001011"});
}

struct Row {
    const char* what;
    std::string image;
    FloppyProblem problem = FloppyProblem::None;
    std::vector<Expected> sectors;  // every sector the image gives, in any order
};

std::vector<Row> rows() {
    const std::string disk80 = disk(80, 2);
    const std::string disk86 = disk(86, 1);
    const std::string disk86x2 = disk(86, 2);
    const std::vector<Expected> track = trdos_sectors(kTrack, 1);
    const std::string plain = td0_image(kTracks);
    std::string header_crc = plain;
    header_crc[9] ^= 1;
    std::string changed_byte = plain;
    changed_byte[changed_byte.find("STORED")] ^= 1;
    std::string counted_past = plain;
    counted_past[kTd0HeaderSize] = 17;
    const std::vector<Td0Track> two = td0_tracks(disk(1, 2), 2, false);
    std::string track_crc = td0_image(two);
    std::vector<Expected> first_track = trdos_sectors(disk(1, 2), 2);
    first_track.resize(kSectorsPerTrack);
    track_crc[td0_image({two[0]}).size() - 1 + 3] ^= 1;
    std::vector<Td0Track> single_density = kTracks;
    single_density[0].head |= kTd0SingleDensity;
    std::vector<Td0Track> no_data = changed(6, [](Td0Sector& s) { s.flags = kTd0NoData; });
    no_data[0].sectors[1].flags = kTd0NotKept;
    no_data[0].sectors.push_back({.id = {0, 0, 17, 7}});
    std::vector<Expected> no_data_given = with(with(track, 6, Given::NoData), no_data[0].sectors[1].id.record,
                                               Given::NoData);
    no_data_given.push_back({.id = {0, 0, 17, 7}, .given = Given::NoData});
    const std::vector<Td0Track> many_tracks(513);
    // 300 tracks of two 8 KiB sectors: 4.7 MiB.
    const Td0Sector eight_kib{.id = {0, 0, 1, 6}, .method = kTd0Pattern, .data = std::string(8192, 'x')};
    const std::vector<Td0Track> large(300, {.sectors = {eight_kib, eight_kib}});
    return {
        {"plain, 80 cylinders, two sides, interleaved", td0_image(td0_tracks(disk80, 2, true)),
         FloppyProblem::None, trdos_sectors(disk80, 2)},
        {"plain, 86 cylinders, one side, a comment",
         td0_image(td0_tracks(disk86, 1, false), {.comment = std::string("A DISK\0OF TESTS", 15)}),
         FloppyProblem::None, trdos_sectors(disk86, 1)},
        {"packed, 86 cylinders, two sides, interleaved, a comment",
         td0_image(td0_tracks(disk86x2, 2, true), {.packed = true, .comment = "A PACKED DISK"}),
         FloppyProblem::None, trdos_sectors(disk86x2, 2)},
        {"packed, one track", td0_image(kTracks, {.packed = true}), FloppyProblem::None, track},
        {"packed by hand, with back-references", hand_packed_image(), FloppyProblem::None,
         {{.id = {0, 0, 1, 0}, .data = std::string(128, ' ')}}},
        {"a single-density track", td0_image(single_density), FloppyProblem::None, track},
        {"sectors without data: no field, not kept, size code 7", td0_image(no_data), FloppyProblem::None,
         no_data_given},
        // Damaged sectors: read, and said to be.
        {"method 0, a byte short", td0_image(changed(2, [](Td0Sector& s) { s.data.pop_back(); })),
         FloppyProblem::None, with(track, 2, Given::Failed)},
        {"method 2, two bytes more", td0_image(changed(1, [](Td0Sector& s) { s.data += "\1\1"; })),
         FloppyProblem::None, with(track, 1, Given::Failed)},
        {"method 1, counted past the sector",
         td0_image(changed(3, [](Td0Sector& s) { s.data += std::string(2, '\0'); })), FloppyProblem::None,
         with(track, 3, Given::Failed)},
        {"a method unknown", td0_image(changed(4, [](Td0Sector& s) { s.method = 3; })), FloppyProblem::None,
         with(track, 4, Given::Failed)},
        {"flagged with a CRC error", td0_image(changed(5, [](Td0Sector& s) { s.flags = kTd0CrcFailed; })),
         FloppyProblem::None, with(track, 5, Given::Failed)},
        {"a byte changed in the data", changed_byte, FloppyProblem::None, with(track, 2, Given::Failed)},
        // Damaged images.
        {"a sector count past the track", with_crc_fixed(counted_past, kTd0HeaderSize, kTd0TrackHeaderSize),
         FloppyProblem::CutShort, track},
        {"a track header's CRC wrong", track_crc, FloppyProblem::BadHeader, first_track},
        {"the header's CRC wrong", header_crc, FloppyProblem::NotAnImage, {}},
        {"a text starting TD", "TD is a text, not an image\n", FloppyProblem::NotAnImage, {}},
        {"packed by version 1.5", td0_image(kTracks, {.packed = true, .version = 15}), FloppyProblem::Unsupported,
         {}},
        {"513 tracks", td0_image(many_tracks), FloppyProblem::TooLarge, {}},
        {"more than 4 MiB of sectors", td0_image(large), FloppyProblem::TooLarge, {}},
    };
}

std::string data_of(const FloppyImage& floppy, const FloppySector& sector) {
    EXPECT_LE(sector.data_offset + sector.data_size, floppy.decoded.size());
    const auto begin = floppy.decoded.begin() + static_cast<std::ptrdiff_t>(sector.data_offset);
    return {begin, begin + static_cast<std::ptrdiff_t>(sector.data_size)};
}

std::vector<FloppySector> all_sectors(const FloppyImage& floppy) {
    std::vector<FloppySector> sectors;
    for (const FloppyTrack& track : floppy.tracks) {
        for (const FloppySector& sector : track.sectors) {
            EXPECT_EQ(sector.id.cylinder, track.cylinder);
            EXPECT_EQ(sector.id.head, track.head);
            sectors.push_back(sector);
        }
    }
    return sectors;
}

TEST(Td0Image, ReadsEverySectorByItsId) {
    for (const Row& row : rows()) {
        SCOPED_TRACE(row.what);
        const FloppyImage floppy = read_td0_image(byte_span(row.image));
        EXPECT_EQ(floppy.problem, row.problem);
        const std::vector<FloppySector> sectors = all_sectors(floppy);
        ASSERT_EQ(sectors.size(), row.sectors.size());
        for (const Expected& expected : row.sectors) {
            const auto found = std::find_if(sectors.begin(), sectors.end(),
                                            [&](const FloppySector& sector) { return sector.id == expected.id; });
            ASSERT_NE(found, sectors.end()) << int{expected.id.cylinder} << "/" << int{expected.id.record};
            EXPECT_EQ(found->has_data, expected.given != Given::NoData);
            if (expected.given != Given::NoData) {
                EXPECT_EQ(found->data_ok, expected.given == Given::Whole);
            }
            EXPECT_FALSE(found->data_cut);
            if (expected.given == Given::Whole) {
                EXPECT_EQ(data_of(floppy, *found), expected.data) << int{expected.id.record};
            }
        }
    }
}

// Cut anywhere, an image gives the sectors before the cut as they are, and
// the one it cuts as far as its bytes go.
TEST(Td0Image, GivesWhatACutImageHolds) {
    const Td0Options plain{.comment = "CUT"};
    const Td0Options packed{.packed = true, .comment = "CUT"};
    for (const Td0Options& options : {plain, packed}) {
        const std::string image = td0_image(kTracks, options);
        const FloppyImage whole = read_td0_image(byte_span(image));
        ASSERT_EQ(whole.problem, FloppyProblem::None);
        const std::vector<FloppySector> all = all_sectors(whole);
        std::size_t given_before = 0;
        for (std::size_t size = 0; size < image.size(); ++size) {
            SCOPED_TRACE(std::to_string(size) + (options.packed ? " bytes, packed" : " bytes"));
            const FloppyImage cut = read_td0_image(byte_span(image).first(size));
            // The packed bytes' last one holds the end's mark and padding.
            if (options.packed && size + 1 == image.size() && cut.problem == FloppyProblem::None) {
                continue;
            }
            ASSERT_EQ(cut.problem, size < kTd0HeaderSize ? FloppyProblem::NotAnImage : FloppyProblem::CutShort);
            const std::vector<FloppySector> given = all_sectors(cut);
            ASSERT_LE(given.size(), all.size());
            ASSERT_GE(given.size() + 1, given_before + (given.empty() || !given.back().data_cut ? 1 : 0));
            for (std::size_t i = 0; i < given.size(); ++i) {
                const std::string data = data_of(cut, given[i]);
                const std::string whole_data = data_of(whole, all[i]);
                EXPECT_EQ(given[i].id, all[i].id);
                EXPECT_EQ(given[i].data_cut, i + 1 == given.size() && data.size() < whole_data.size());
                EXPECT_FALSE(given[i].data_cut && given[i].data_ok);
                EXPECT_EQ(data, whole_data.substr(0, data.size()));
            }
            given_before = given.size() - (!given.empty() && given.back().data_cut ? 1 : 0);
        }
    }
}

}  // namespace
}  // namespace korve
