// A short digest of a file's bytes, for people to tell two files apart at a
// glance: FNV-1a, 32 bits (offset basis 0x811C9DC5, prime 0x01000193), shown
// as 8 lowercase hex digits. It finds changes, never tampering.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace korve {

inline constexpr std::uint32_t kFnvOffsetBasis = 0x811C9DC5U;

// The digest of `bytes`; or, given the digest of what came before them, of
// the two together, so that a text can be digested a piece at a time.
std::uint32_t fnv1a_32(std::span<const unsigned char> bytes,
                       std::uint32_t digest = kFnvOffsetBasis);

// "0123abcd".
std::string digest_hex(std::uint32_t digest);

}  // namespace korve
