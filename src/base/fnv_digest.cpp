#include "base/fnv_digest.h"

#include <string_view>

namespace korve {

std::uint32_t fnv1a_32(std::span<const unsigned char> bytes, std::uint32_t digest) {
    constexpr std::uint32_t kPrime = 0x01000193U;
    for (const unsigned char byte : bytes) {
        digest = (digest ^ byte) * kPrime;
    }
    return digest;
}

std::string digest_hex(std::uint32_t digest) {
    constexpr std::string_view kDigits = "0123456789abcdef";
    constexpr int kDigitBits = 4;
    std::string text(8, '0');
    for (auto it = text.rbegin(); it != text.rend(); ++it) {
        *it = kDigits[digest & 0xFU];
        digest >>= kDigitBits;
    }
    return text;
}

}  // namespace korve
