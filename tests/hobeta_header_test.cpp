#include "formats/hobeta_header.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

namespace korve {
namespace {

struct Checksum {
    HobetaBytes header;
    std::uint16_t sum;  // worked out by hand: 105 + 257 * (bytes 0-14), mod 65536
};

TEST(HobetaHeader, ComputesTheChecksumOfTheFirstFifteenBytes) {
    const Checksum cases[] = {
        {{}, 0x0069},
        // 15 * 255 = 3825; 257 * 3825 + 105 = 983130 = 15 * 65536 + 90.
        {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
         0x005A},
        // 257 * 128 + 105 = 33001: the high byte is above 0x7F.
        {{0x80}, 0x80E9},
        // 'A' and a length of 0x01C0: 257 * 258 + 105 = 66411 = 65536 + 875.
        {{'A', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xC0, 0x01}, 0x036B},
        // The stored checksum itself is not summed.
        {{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xAB, 0xCD}, 0x0069},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(hobeta_checksum(c.header), c.sum);
    }
}

// Fields are read low byte first, the checksum's verdict with them; a header
// read and written again gives its bytes back where its checksum was right.
TEST(HobetaHeader, ReadsFieldsAndTheChecksumsVerdictAndWritesThemBack) {
    struct Case {
        HobetaBytes bytes;
        std::uint16_t start, length, checksum;
        unsigned char sectors;
        bool right;
    };
    const Case cases[] = {
        {{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xC0, 0x01, 0, 0, 0xAA, 0x80}, 0, 448, 0x80AA, 0, false},
        {{'G', 'A', 'M', 'E', ' ', ' ', ' ', ' ', 'H', 0x00, 0x80, 0x00, 0x02, 0, 2, 0, 0}, 0x8000, 512, 0, 2,
         false},
    };
    for (const Case& c : cases) {
        HobetaHeader header = read_hobeta_header(c.bytes);
        EXPECT_EQ(header.start, c.start);
        EXPECT_EQ(header.length, c.length);
        EXPECT_EQ(header.sectors, c.sectors);
        EXPECT_EQ(header.checksum, c.checksum);
        EXPECT_EQ(header.checksum_matches, c.right);
        const HobetaBytes written = hobeta_bytes(header);
        header = read_hobeta_header(written);
        EXPECT_TRUE(header.checksum_matches);
        EXPECT_EQ(hobeta_bytes(header), written);
        EXPECT_TRUE(std::equal(written.begin(), written.begin() + kHobetaHeaderSize - 2, c.bytes.begin()));
    }
}

}  // namespace
}  // namespace korve
