#include "base/hex_digits.h"

#include <algorithm>
#include <string_view>

namespace korve {

void append_hex(std::string& text, std::uint32_t value, int digits, HexLetters letters) {
    constexpr std::string_view kUpper = "0123456789ABCDEF";
    constexpr std::string_view kLower = "0123456789abcdef";
    constexpr int kDigitBits = 4;
    constexpr int kMostDigits = 8;
    const std::string_view table = letters == HexLetters::Upper ? kUpper : kLower;
    int needed = 1;
    while (needed < kMostDigits && (value >> (needed * kDigitBits)) != 0) {
        ++needed;
    }
    for (int i = std::max(needed, digits) - 1; i >= 0; --i) {
        text += i < kMostDigits ? table[(value >> (i * kDigitBits)) & 0xFU] : '0';
    }
}

std::string hex_digits(std::uint32_t value, int digits, HexLetters letters) {
    std::string text;
    append_hex(text, value, digits, letters);
    return text;
}

std::string hex_byte(unsigned char byte) {
    std::string text = "0x";
    append_hex(text, byte, 2);
    return text;
}

}  // namespace korve
