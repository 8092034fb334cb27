#include "formats/container.h"

#include <gtest/gtest.h>

#include <string>

#include "alasm_writer.h"
#include "image_writer.h"

namespace korve {
namespace {

using testing::alasm_header;
using testing::hobeta_file;

std::string with_byte(std::string bytes, std::size_t offset, char byte) {
    bytes.resize(std::max(bytes.size(), offset + 1), '\0');
    bytes[offset] = byte;
    return bytes;
}

TEST(Container, RecognisesEachKindInItsOrder) {
    const std::string bare = alasm_header("TEST") + "\x02\x84";
    const std::string trd = testing::trd_image({{.name = "GAME", .type = 'H', .data = bare}});
    const std::string scl = testing::scl_archive({{.name = "GAME", .type = 'H', .data = bare}});
    const struct {
        std::string name;
        std::string start;
        InputKind kind;
    } cases[] = {
        {"bare", bare, InputKind::BareAlasm},
        {"Hobeta", hobeta_file(bare), InputKind::HobetaAlasm},
        {"SCL", scl, InputKind::SclArchive},
        {"TR-DOS", trd, InputKind::TrdosImage},
        {"none", std::string(3000, 'x'), InputKind::None},
        {"empty", "", InputKind::None},
        // Marked both ways: bare, as korve has always taken it.
        {"both marks", with_byte(bare, 64, '\xD9'), InputKind::BareAlasm},
        // ALASM data wins over a disk's marks.
        {"bare, spelling SINCLAIR", "SINCLAIR" + bare.substr(8), InputKind::BareAlasm},
        {"bare, with TR-DOS's mark", with_byte(bare, kTrdosMarkOffset, '\x10'), InputKind::BareAlasm},
        {"Hobeta, with TR-DOS's mark", with_byte(hobeta_file(bare), kTrdosMarkOffset, '\x10'),
         InputKind::HobetaAlasm},
        {"SCL, with TR-DOS's mark", with_byte(scl, kTrdosMarkOffset, '\x10'), InputKind::SclArchive},
        // Cut before a mark: nothing to go by.
        {"cut before the Hobeta mark", hobeta_file(bare).substr(0, 64), InputKind::None},
        {"cut before TR-DOS's mark", trd.substr(0, kTrdosMarkOffset), InputKind::None},
    };
    for (const auto& c : cases) {
        const std::span start(reinterpret_cast<const unsigned char*>(c.start.data()),
                              std::min(c.start.size(), kRecognisedBytes));
        EXPECT_EQ(recognise_input(start), c.kind) << c.name;
    }
}

}  // namespace
}  // namespace korve
