#include "base/fnv_digest.h"

#include "base/hex_digits.h"

namespace korve {

std::uint32_t fnv1a_32(std::span<const unsigned char> bytes, std::uint32_t digest) {
    constexpr std::uint32_t kPrime = 0x01000193U;
    for (const unsigned char byte : bytes) {
        digest = (digest ^ byte) * kPrime;
    }
    return digest;
}

std::string digest_hex(std::uint32_t digest) {
    constexpr int kDigits = 8;
    return hex_digits(digest, kDigits, HexLetters::Lower);
}

}  // namespace korve
