#include "base/hex_digits.h"

#include <gtest/gtest.h>

#include <string>

namespace korve {
namespace {

// Zeros in front up to the width, never a digit cut off (a character past
// U+FFFF keeps all five), either case; and appended, not written over.
TEST(HexDigits, WritesAtLeastTheWidthAsPrintfDoes) {
    const struct {
        std::uint32_t value;
        int digits;
        HexLetters letters;
        const char* expected;
    } cases[] = {
        {0x0, 1, HexLetters::Upper, "0"},
        {0x0A, 2, HexLetters::Upper, "0A"},
        {0xBEEF, 2, HexLetters::Upper, "BEEF"},
        {0x1F600, 4, HexLetters::Upper, "1F600"},
        {0xFFFFFFFFU, 1, HexLetters::Upper, "FFFFFFFF"},
        {0x0EC494FAU, 8, HexLetters::Lower, "0ec494fa"},
        {0xAB, 10, HexLetters::Lower, "00000000ab"},
    };
    for (const auto& c : cases) {
        std::string text = "#";
        append_hex(text, c.value, c.digits, c.letters);
        EXPECT_EQ(text, std::string("#") + c.expected) << c.expected;
        EXPECT_EQ(hex_digits(c.value, c.digits, c.letters), c.expected);
    }
    EXPECT_EQ(hex_byte(0x00), "0x00");
    EXPECT_EQ(hex_byte(0xFF), "0xFF");
}

}  // namespace
}  // namespace korve
