#include "formats/hobeta_header.h"

#include <gtest/gtest.h>

#include <cstdint>
namespace korve {
namespace {

struct Checksum {
    HobetaHeader header;
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

TEST(HobetaHeader, ReadsFieldsLowByteFirst) {
    const HobetaHeader header{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xC0, 0x01, 0, 0, 0xE9, 0x80};
    EXPECT_EQ(hobeta_field(header, kHobetaLengthOffset), 448);
    EXPECT_EQ(hobeta_field(header, kHobetaChecksumOffset), 0x80E9);
}

}  // namespace
}  // namespace korve
