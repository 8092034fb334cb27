// Whole runs of the built korvex on floppy images (FDI, UDI, TD0) made by
// the test writers from the project's example disk: every verb reads one as
// the .trd it carries, put writes back into FDI and UDI exactly the sectors
// it changes on the .trd, and a damaged sector loses its file, said.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/little_endian.h"
#include "formats/fdi_image.h"
#include "formats/td0_image.h"
#include "formats/trdos_floppy.h"
#include "formats/trdos_image.h"
#include "formats/udi_image.h"
#include "image_writer.h"
#include "korvex_run.h"

namespace korve {
namespace {

namespace fs = std::filesystem;
using testing::fdi_image;
using testing::file_bytes;
using testing::KorvexRun;
using testing::td0_image;
using testing::td0_tracks;
using testing::udi_image;

// The example disk, whole tracks to `tracks` (a .trd ends after its last
// file; a floppy holds every track), its disk type `type`.
std::string example_disk(std::size_t tracks, unsigned char type) {
    std::string trd = file_bytes(fs::path(KORVE_EXAMPLES) / "greet.trd");
    trd.resize(tracks * kSectorsPerTrack * kSectorSize, '\0');
    trd[kDiskTypeOffset] = static_cast<char>(type);
    return trd;
}

// The .trd a floppy image carries, as korvex reads it.
std::string carried(const std::string& image) {
    const auto bytes = byte_span(image);
    FloppyImage floppy;
    if (image.starts_with("FDI")) {
        floppy = read_fdi(bytes);
    } else if (image.starts_with("UDI!")) {
        floppy = read_udi(bytes);
    } else {
        floppy = read_td0_image(bytes);
    }
    return read_trdos_floppy(floppy, bytes).trd;
}

struct Image {
    std::string name;
    std::string trd;    // the disk it carries
    std::string bytes;  // the image
};

std::vector<Image> images() {
    const std::string two = example_disk(160, 0x16);
    const std::string far = example_disk(172, 0x16);
    const std::string one = example_disk(80, 0x18);
    return {
        {"disk.fdi", two, fdi_image(two, 80, 2)},
        {"far.fdi", far, fdi_image(far, 86, 2)},
        {"one.fdi", one, fdi_image(one, 80, 1)},
        {"disk.udi", two, udi_image(two, {})},
        {"one.udi", one, udi_image(one, {.sides = 1})},
        {"disk.td0", two, td0_image(td0_tracks(two, 2, true))},
        {"packed.td0", two, td0_image(td0_tracks(two, 2, false), {.packed = true})},
    };
}

// `text` with each `from` made `to`.
std::string replaced(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

TEST_F(KorvexRun, ReadsAFloppyImageAsTheTrdItCarries) {
    for (const Image& image : images()) {
        clear();
        write("disk.trd", image.trd);
        write(image.name, image.bytes);
        const std::string kind = image.name.substr(image.name.size() - 3);
        const auto as_trd = [&](const std::string& said) {
            return replaced(replaced(said, "disk.trd", image.name), "\"trd\"", "\"" + kind + "\"");
        };
        const auto listed = korvex({"list", "--json", image.name});
        EXPECT_EQ(listed.out, as_trd(korvex({"list", "--json", "disk.trd"}).out)) << image.name;
        EXPECT_EQ(listed.err + std::to_string(listed.status), "0") << image.name;
        EXPECT_EQ(korvex({"show", image.name}).out, korvex({"show", "disk.trd"}).out) << image.name;
        for (const std::string verb : {"text", "get"}) {
            ASSERT_EQ(korvex({verb, "disk.trd", "-o", "trd/"}).status, 0) << image.name;
            const auto run = korvex({verb, image.name, "-o", "image/"});
            EXPECT_EQ(run.err + std::to_string(run.status), "0") << image.name << verb;
            EXPECT_EQ(tree("image"), tree("trd")) << image.name << verb;
            for (const std::string& file : tree("trd")) {
                EXPECT_EQ(read("image/" + file), read("trd/" + file)) << image.name << file;
            }
            fs::remove_all(dir() / "trd");
            fs::remove_all(dir() / "image");
        }
    }
}

// put onto FDI and UDI: a text given back unchanged leaves the image as it
// was; an edit leaves an image that carries what the same edit makes of the
// .trd, and as long as it was. TD0 is refused, and left as it was.
TEST_F(KorvexRun, PutsIntoAFloppyImageWhatItPutsIntoTheTrd) {
    for (const Image& image : images()) {
        clear();
        write("disk.trd", image.trd);
        write(image.name, image.bytes);
        ASSERT_EQ(korvex({"text", "disk.trd", "-o", "d/"}).status, 0);
        const std::string edited = replaced(read("d/GREET.H.asm"), "a greeting", "a welcome, edited");
        write("GREET.H.asm", edited);
        const auto same = korvex({"put", image.name, "d/GREET.H.asm", "-o", "same"});
        const auto put = korvex({"put", image.name, "GREET.H.asm"});
        if (image.name.ends_with(".td0")) {
            EXPECT_EQ(put.err, native("korvex: " + image.name +
                                      ": error: is a TD0 (Teledisk) floppy image, which put does not write: "
                                      "nothing written\n"));
            EXPECT_EQ(put.status, 1);
            EXPECT_TRUE(read(image.name) == image.bytes);
            continue;
        }
        EXPECT_EQ(same.err + std::to_string(same.status), "0") << image.name;
        EXPECT_TRUE(read("same") == image.bytes) << image.name;

        EXPECT_EQ(put.err + std::to_string(put.status), "0") << image.name;
        ASSERT_EQ(korvex({"put", "disk.trd", "GREET.H.asm"}).status, 0);
        const std::string after = read(image.name);
        EXPECT_EQ(after.size(), image.bytes.size()) << image.name;
        EXPECT_TRUE(carried(after) == read("disk.trd")) << image.name;
        EXPECT_FALSE(after == image.bytes) << image.name;
        if (image.name.ends_with(".udi")) {
            EXPECT_EQ(read_udi(byte_span(after)).problem, FloppyProblem::None) << image.name;
        }
        ASSERT_EQ(korvex({"text", image.name, "-o", "back/"}).status, 0);
        EXPECT_EQ(read("back/GREET.H.asm"), edited) << image.name;
    }
}

// pack -o NAME.fdi and NAME.udi: a new floppy of the .trd pack makes of the
// same texts, its every CRC right; a Teledisk image is not written.
TEST_F(KorvexRun, PacksAFloppyOfTheTrdItWouldPack) {
    write("disk.trd", example_disk(160, 0x16));
    ASSERT_EQ(korvex({"text", "disk.trd", "-o", "d/"}).status, 0);
    ASSERT_EQ(korvex({"pack", "d/GREET.H.asm", "-o", "new.trd"}).status, 0);
    for (const std::string name : {"new.fdi", "new.udi"}) {
        const auto packed = korvex({"pack", "d/GREET.H.asm", "-o", name});
        EXPECT_EQ(packed.err + std::to_string(packed.status), "0") << name;
        EXPECT_TRUE(carried(read(name)) == read("new.trd")) << name;
    }
    EXPECT_EQ(read_udi(byte_span(read("new.udi"))).problem, FloppyProblem::None);
    const auto td0 = korvex({"pack", "d/GREET.H.asm", "-o", "new.td0"});
    EXPECT_TRUE(td0.err.starts_with(native("korvex: error: pack writes a .trd, an .scl, an .fdi, a .udi, a Hobeta "
                                           "file or bare data, not a TD0 (Teledisk) floppy image\n")))
        << td0.err;
    EXPECT_EQ(td0.status, 2);
}

// A damaged sector loses the file it holds, named with the sector, status
// 1; one of the catalogue, the files listed there. A UDI whose file CRC
// alone is wrong is read whole, with a warning.
TEST_F(KorvexRun, SaysWhichFileADamagedSectorLoses) {
    const std::string trd = example_disk(160, 0x16);
    // GREET.H takes track 1, sectors 0 and 1: records 1 and 2 of cylinder 0, head 1.
    std::vector<testing::Td0Track> missing = td0_tracks(trd, 2, true);
    std::erase_if(missing[1].sectors, [](const testing::Td0Sector& sector) { return sector.id.record == 2; });
    std::vector<testing::Td0Track> no_catalogue = td0_tracks(trd, 2, true);
    std::erase_if(no_catalogue[0].sectors,
                  [](const testing::Td0Sector& sector) { return sector.id.record == 1; });
    std::string wrong_crc = udi_image(trd, {});
    wrong_crc.back() ^= 1;
    struct Damaged {
        std::string name;
        std::string bytes;
        std::string said;
        int status;
        int listed;  // list's: a lost file is in its table, a lost catalogue said
    };
    const std::string lost = ": error: its data is lost: track 1, sector ";
    const Damaged cases[] = {
        {"bad.udi", udi_image(trd, {.faults = {{1, 1, false}}}),
         "korvex: bad.udi: warning: damaged sectors; 1 of its 2 files lost\nkorvex: bad.udi:GREET.H" + lost +
             "0 failed its CRC\n",
         1, 0},
        {"missing.td0", td0_image(missing),
         "korvex: missing.td0: warning: damaged sectors; 1 of its 2 files lost\nkorvex: missing.td0:GREET.H" +
             lost + "1 missing\n",
         1, 0},
        {"cut.fdi", fdi_image(trd, 80, 2).substr(0, 20000),
         "korvex: cut.fdi: warning: cut short\nkorvex: cut.fdi: warning: damaged sectors; 2 of its 2 files "
         "lost\nkorvex: cut.fdi:GREET.H" +
             lost + "0 cut short\nkorvex: cut.fdi:GREET.C" + lost + "2 cut short\n",
         1, 0},
        {"nocat.td0", td0_image(no_catalogue),
         "korvex: nocat.td0: error: its catalogue is damaged: track 0, sector 0 missing: the files listed "
         "there are lost\n",
         1, 1},
        {"crc.udi", wrong_crc, "korvex: crc.udi: warning: its file CRC does not match its bytes\n", 0, 0},
    };
    for (const Damaged& c : cases) {
        clear();
        write(c.name, c.bytes);
        const auto run = korvex({"text", c.name, "-o", "d/"});
        EXPECT_EQ(run.err, native(c.said)) << c.name;
        EXPECT_EQ(run.status, c.status) << c.name;
        const auto listed = korvex({"list", c.name});  // a table, and what it cannot show said
        EXPECT_EQ(listed.status, c.listed) << c.name;
        if (c.status == 0) {
            EXPECT_EQ(tree("d"), std::vector<std::string>{"GREET.H.asm"}) << c.name;
            write("d/GREET.H.asm", read("d/GREET.H.asm") + "\tNOP\t\n");
            const auto put = korvex({"put", c.name, "d/GREET.H.asm"});  // said again, and written right
            EXPECT_EQ(put.err + std::to_string(put.status), native(c.said) + "0") << c.name;
            EXPECT_EQ(read_udi(byte_span(read(c.name))).problem, FloppyProblem::None) << c.name;
        } else {
            EXPECT_FALSE(fs::exists(dir() / "d" / "GREET.H.asm")) << c.name;
        }
    }
}

}  // namespace
}  // namespace korve
