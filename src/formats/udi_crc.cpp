#include "formats/udi_crc.h"

#include <array>

#include "base/little_endian.h"

namespace korve {
namespace {


// CRC-16-CCITT, the high bit first, a byte at a time.
constexpr std::uint16_t kCcittPolynomial = 0x1021;
constexpr std::uint16_t kCcittStart = 0xFFFF;
constexpr std::array<std::uint16_t, 256> ccitt_table() {
    std::array<std::uint16_t, 256> table{};
    for (unsigned i = 0; i < table.size(); ++i) {
        unsigned crc = i << 8;
        for (std::size_t bit = 0; bit < kBitsPerByte; ++bit) {
            crc = (crc & 0x8000U) != 0 ? (crc << 1) ^ kCcittPolynomial : crc << 1;
        }
        table[i] = static_cast<std::uint16_t>(crc);
    }
    return table;
}
constexpr std::array<std::uint16_t, 256> kCcittTable = ccitt_table();

// A byte's step is linear in the register with the byte in its high half:
// M(crc ^ byte << 8), M(x) = x << 8 ^ the table at x's high byte. So eight
// bytes are taken at once, the ith through M 8 - i times: the register's
// high byte goes in with the first, its low byte (which M moves up) with
// the second.
constexpr std::size_t kCcittBlock = 8;
constexpr std::array<std::array<std::uint16_t, 256>, kCcittBlock> ccitt_block() {
    std::array<std::array<std::uint16_t, 256>, kCcittBlock> tables{};
    for (unsigned value = 0; value < 256; ++value) {
        for (std::size_t i = 0; i < kCcittBlock; ++i) {
            unsigned crc = value << 8;
            for (std::size_t step = i; step < kCcittBlock; ++step) {
                crc = (crc << 8 ^ kCcittTable[crc >> 8]) & 0xFFFFU;
            }
            tables[i][value] = static_cast<std::uint16_t>(crc);
        }
    }
    return tables;
}
constexpr std::array<std::array<std::uint16_t, 256>, kCcittBlock> kCcittBlocks = ccitt_block();


// The file's CRC-32. One step of it shifts the register right keeping its
// sign bit, and adds the polynomial where the bit shifted out was set. Both
// are linear, so eight steps are the register shifted by eight, its sign
// kept, plus what eight steps make of its low byte alone: a table.
constexpr std::uint32_t kCrc32Polynomial = 0xEDB88320U;
constexpr std::uint32_t kSignBit = 0x80000000U;

constexpr std::uint32_t crc32_step(std::uint32_t crc) {
    const std::uint32_t added = (crc & 1U) != 0 ? kCrc32Polynomial : 0;
    return (crc >> 1 | (crc & kSignBit)) ^ added;
}

constexpr std::array<std::uint32_t, 256> crc32_table() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < table.size(); ++i) {
        std::uint32_t crc = i;
        for (std::size_t bit = 0; bit < kBitsPerByte; ++bit) {
            crc = crc32_step(crc);
        }
        table[i] = crc;
    }
    return table;
}
constexpr std::array<std::uint32_t, 256> kCrc32Table = crc32_table();

// The register shifted right by eight, its sign bit copied into the top.
constexpr std::uint32_t shifted_by_a_byte(std::uint32_t crc) {
    return (crc & kSignBit) != 0 ? crc >> kBitsPerByte | 0xFF000000U : crc >> kBitsPerByte;
}

// A byte's step, less its inversions: L(x) = the shift of x ^ the table at
// its low byte, linear. The inversions only add a constant: as the shift
// of all ones is all ones, ~L(~(crc ^ byte)) = L(crc ^ byte) ^ L(0xFF). So
// eight bytes are taken at once (a byte a step waits on the last one's
// table look-up): the register's four bytes, each through L eight times,
// the eight bytes, the ith through L 8 - i times, and the constants the
// eight steps add, L(0xFF) through L 7, 6, ... 0 times.
constexpr std::uint32_t linear_step(std::uint32_t crc) {
    return shifted_by_a_byte(crc) ^ kCrc32Table[crc & 0xFFU];
}
constexpr std::size_t kCrc32Block = 8;
constexpr std::uint32_t kStepConstant = linear_step(0xFFU);

constexpr std::uint32_t linear_steps(std::uint32_t crc, std::size_t steps) {
    for (std::size_t step = 0; step < steps; ++step) {
        crc = linear_step(crc);
    }
    return crc;
}

struct Crc32Block {
    std::array<std::array<std::uint32_t, 256>, kDwordSize> register_bytes{};
    std::array<std::array<std::uint32_t, 256>, kCrc32Block> bytes{};
    std::uint32_t constant = 0;
};

constexpr Crc32Block crc32_block() {
    Crc32Block block;
    for (std::uint32_t value = 0; value < 256; ++value) {
        for (std::size_t i = 0; i < kDwordSize; ++i) {
            block.register_bytes[i][value] = linear_steps(value << (i * kBitsPerByte), kCrc32Block);
        }
        for (std::size_t i = 0; i < kCrc32Block; ++i) {
            block.bytes[i][value] = linear_steps(value, kCrc32Block - i);
        }
    }
    for (std::size_t i = 0; i < kCrc32Block; ++i) {
        block.constant ^= linear_steps(kStepConstant, i);
    }
    return block;
}
constexpr Crc32Block kCrc32Blocks = crc32_block();

}  // namespace

std::uint16_t mfm_field_crc(std::span<const unsigned char> bytes) {
    unsigned crc = kCcittStart;
    std::size_t at = 0;
    for (; bytes.size() - at >= kCcittBlock; at += kCcittBlock) {
        unsigned next = kCcittBlocks[0][(crc >> 8) ^ bytes[at]] ^ kCcittBlocks[1][(crc & 0xFFU) ^ bytes[at + 1]];
        for (std::size_t i = 2; i < kCcittBlock; ++i) {
            next ^= kCcittBlocks[i][bytes[at + i]];
        }
        crc = next;
    }
    for (; at < bytes.size(); ++at) {
        crc = (crc << 8 ^ kCcittTable[(crc >> 8 ^ bytes[at]) & 0xFFU]) & 0xFFFFU;
    }
    return static_cast<std::uint16_t>(crc);
}

std::uint32_t udi_file_crc(std::span<const unsigned char> bytes) {
    std::uint32_t crc = 0xFFFFFFFFU;
    std::size_t at = 0;
    for (; bytes.size() - at >= kCrc32Block; at += kCrc32Block) {
        std::uint32_t next = kCrc32Blocks.constant;
        for (std::size_t i = 0; i < kDwordSize; ++i) {
            next ^= kCrc32Blocks.register_bytes[i][(crc >> (i * kBitsPerByte)) & 0xFFU];
        }
        for (std::size_t i = 0; i < kCrc32Block; ++i) {
            next ^= kCrc32Blocks.bytes[i][bytes[at + i]];
        }
        crc = next;
    }
    for (; at < bytes.size(); ++at) {
        crc = linear_step(crc ^ bytes[at]) ^ kStepConstant;
    }
    return crc;
}

}  // namespace korve
