#include "formats/td0_lzhuf.h"

#include <algorithm>
#include <optional>

#include "base/little_endian.h"

namespace korve {
namespace {

constexpr std::size_t kRoot = kLzhufNodes - 1;
constexpr std::uint32_t kRebuildCount = 0x8000;
constexpr std::uint32_t kAboveEveryCount = 0xFFFF;
constexpr std::size_t kRingSize = 4096;
constexpr std::size_t kLongestMatch = 60;
constexpr unsigned kFirstMatch = 256;
constexpr unsigned kMatchLengthLess = kFirstMatch - 3;  // symbol 256 copies 3 bytes
static_assert(kLzhufSymbols - 1 - kMatchLengthLess == kLongestMatch);

constexpr unsigned kPositionLowBits = 6;
constexpr unsigned kShortestPositionCode = 3;
// How many values of a position's upper 6 bits have a code of each length,
// from the shortest on.
constexpr std::array<unsigned, 6> kPositionCodes = {1, 3, 8, 12, 24, 16};

struct PositionCode {
    unsigned upper = 0;   // the position's upper 6 bits
    unsigned length = 0;  // in bits
};

// For each 8-bit value, the code it starts with: the table the unpacker
// looks up the first eight bits of a position in.
constexpr std::array<PositionCode, 1U << kBitsPerByte> position_codes() {
    std::array<PositionCode, 1U << kBitsPerByte> table{};
    unsigned code = 0;
    unsigned upper = 0;
    for (std::size_t i = 0; i < kPositionCodes.size(); ++i) {
        const unsigned length = kShortestPositionCode + static_cast<unsigned>(i);
        const unsigned spread = 1U << (kBitsPerByte - length);
        for (unsigned n = 0; n < kPositionCodes[i]; ++n, ++code, ++upper) {
            for (unsigned value = code * spread; value < (code + 1) * spread; ++value) {
                table[value] = {upper, length};
            }
        }
        code *= 2;
    }
    return table;
}

constexpr auto kPositionTable = position_codes();
static_assert(kPositionTable[0x1F].upper == 0 && kPositionTable[0x20].upper == 1 &&
              kPositionTable[0xEF].upper == 47 && kPositionTable[0xFF].upper == 63);

// The packed bits, read from each byte's top bit down.
struct BitReader {
    std::span<const unsigned char> bytes;
    std::size_t taken = 0;  // in bits

    bool has(std::size_t count) const {
        return bytes.size() - taken / kBitsPerByte >= (taken % kBitsPerByte + count + kBitsPerByte - 1) / kBitsPerByte;
    }
    unsigned take() {
        const unsigned bit = (bytes[taken / kBitsPerByte] >> (kBitsPerByte - 1 - taken % kBitsPerByte)) & 1U;
        ++taken;
        return bit;
    }
};

// The tree joined again from its leaves, their counts halved.
void rebuild(LzhufModel& model) {
    auto& count = model.count;
    auto& child = model.child;
    std::size_t leaves = 0;
    for (std::size_t node = 0; node < kLzhufNodes; ++node) {
        if (child[node] >= kLzhufNodes) {
            count[leaves] = (count[node] + 1) / 2;
            child[leaves] = child[node];
            ++leaves;
        }
    }
    for (std::size_t first = 0, joined = kLzhufSymbols; joined < kLzhufNodes; first += 2, ++joined) {
        const std::uint32_t sum = count[first] + count[first + 1];
        std::size_t place = joined;
        while (place > 0 && sum < count[place - 1]) {
            --place;
        }
        std::copy_backward(count.begin() + place, count.begin() + joined, count.begin() + joined + 1);
        std::copy_backward(child.begin() + place, child.begin() + joined, child.begin() + joined + 1);
        count[place] = sum;
        child[place] = static_cast<std::uint16_t>(first);
    }
    for (std::size_t node = 0; node < kLzhufNodes; ++node) {
        const std::size_t first = child[node];
        model.parent[first] = static_cast<std::uint16_t>(node);
        if (first < kLzhufNodes) {
            model.parent[first + 1] = static_cast<std::uint16_t>(node);
        }
    }
}

// Makes `node` the parent of the children starting at `first`.
void adopt(LzhufModel& model, std::size_t node, std::size_t first) {
    model.child[node] = static_cast<std::uint16_t>(first);
    model.parent[first] = static_cast<std::uint16_t>(node);
    if (first < kLzhufNodes) {
        model.parent[first + 1] = static_cast<std::uint16_t>(node);
    }
}

std::optional<unsigned> unpack_symbol(LzhufModel& model, BitReader& bits) {
    std::size_t node = model.child[kRoot];
    while (node < kLzhufNodes) {
        if (!bits.has(1)) {
            return std::nullopt;
        }
        node = model.child[node + bits.take()];
    }
    const auto symbol = static_cast<unsigned>(node - kLzhufNodes);
    lzhuf_count(model, symbol);
    return symbol;
}

std::optional<std::size_t> unpack_position(BitReader& bits) {
    if (!bits.has(kBitsPerByte)) {
        return std::nullopt;
    }
    unsigned value = 0;
    for (unsigned i = 0; i < kBitsPerByte; ++i) {
        value = (value << 1) | bits.take();
    }
    const PositionCode code = kPositionTable[value];
    // The first eight bits held the code and the first low bits; the rest follow.
    const unsigned rest = code.length + kPositionLowBits - kBitsPerByte;
    if (!bits.has(rest)) {
        return std::nullopt;
    }
    for (unsigned i = 0; i < rest; ++i) {
        value = (value << 1) | bits.take();
    }
    return (std::size_t{code.upper} << kPositionLowBits) | (value & ((1U << kPositionLowBits) - 1));
}

}  // namespace

LzhufModel lzhuf_model() {
    LzhufModel model;
    for (std::size_t symbol = 0; symbol < kLzhufSymbols; ++symbol) {
        model.count[symbol] = 1;
        adopt(model, symbol, kLzhufNodes + symbol);
    }
    for (std::size_t first = 0, joined = kLzhufSymbols; joined < kLzhufNodes; first += 2, ++joined) {
        model.count[joined] = model.count[first] + model.count[first + 1];
        adopt(model, joined, first);
    }
    model.count[kLzhufNodes] = kAboveEveryCount;
    model.parent[kRoot] = 0;
    return model;
}

void lzhuf_count(LzhufModel& model, unsigned symbol) {
    if (model.count[kRoot] == kRebuildCount) {
        rebuild(model);
    }
    auto& count = model.count;
    // The root's parent is node 0, which is never a parent: a leaf's place.
    std::size_t node = model.parent[kLzhufNodes + symbol];
    do {
        const std::uint32_t now = ++count[node];
        if (now > count[node + 1]) {
            std::size_t last = node + 1;
            while (now > count[last + 1]) {
                ++last;
            }
            count[node] = count[last];
            count[last] = now;
            const std::size_t moved = model.child[node];
            adopt(model, node, model.child[last]);
            adopt(model, last, moved);
            node = last;
        }
        node = model.parent[node];
    } while (node != 0);
}

std::vector<bool> lzhuf_code(const LzhufModel& model, unsigned symbol) {
    std::vector<bool> bits;
    for (std::size_t node = model.parent[kLzhufNodes + symbol]; node != kRoot; node = model.parent[node]) {
        bits.push_back((node & 1U) != 0);  // a second child stands at an odd place
    }
    std::reverse(bits.begin(), bits.end());
    return bits;
}

Unpacked lzhuf_unpack(std::span<const unsigned char> packed, std::size_t most) {
    Unpacked result;
    LzhufModel model = lzhuf_model();
    std::array<unsigned char, kRingSize> ring{};
    std::fill_n(ring.begin(), kRingSize - kLongestMatch, static_cast<unsigned char>(' '));
    std::size_t now = kRingSize - kLongestMatch;
    BitReader bits{packed};
    const auto write = [&](unsigned char byte) {
        result.bytes.push_back(byte);
        ring[now] = byte;
        now = (now + 1) % kRingSize;
    };
    while (const auto symbol = unpack_symbol(model, bits)) {
        if (*symbol < kFirstMatch) {
            if (result.bytes.size() == most) {
                result.reached_most = true;
                break;
            }
            write(static_cast<unsigned char>(*symbol));
            continue;
        }
        const auto position = unpack_position(bits);
        const std::size_t length = *symbol - kMatchLengthLess;
        if (!position) {
            break;
        }
        if (most - result.bytes.size() < length) {
            result.reached_most = true;
            break;
        }
        const std::size_t from = (now + kRingSize - *position - 1) % kRingSize;
        for (std::size_t i = 0; i < length; ++i) {
            write(ring[(from + i) % kRingSize]);
        }
    }
    return result;
}

}  // namespace korve
