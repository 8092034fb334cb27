// LZHUF, the packing of a Teledisk image saved with advanced compression
// (td0_image.h): LZSS, its literals and match lengths coded with an
// adaptive Huffman code and its match positions with a fixed one, as the
// LZHUF program of 1988 packs.
//
// The unpacker keeps the last 4096 bytes in a ring. At the start the ring
// holds spaces (0x20) in its first 4096 - 60 places and zero bytes in the
// last 60, and writing starts at place 4096 - 60. Then, until the bits run
// out, a symbol at a time (bits are read from each byte's top bit down):
//
//   symbol 0 to 255    that byte, written out and into the ring
//   symbol 256 to 313  a match of symbol - 253 bytes (3 to 60), followed by
//                      its position P (0 to 4095): the bytes are copied a
//                      byte at a time from the ring's place (now - P - 1),
//                      each written before the next is read, so a match
//                      may repeat bytes it has itself just written
//
// A symbol is coded by its leaf's path from the root of the model below, a
// 0 bit for a node's first child and a 1 for its second; the model then
// counts it once more. A position is coded as its upper 6 bits, with a
// fixed prefix code whose lengths are:
//
//   upper 6 bits  code length  codes, in order
//   0             3 bits       000
//   1 to 3        4 bits       0010 to 0100
//   4 to 11       5 bits       01010 to 10001
//   12 to 23      6 bits       100100 to 101111
//   24 to 47      7 bits       1100000 to 1110111
//   48 to 63      8 bits       11110000 to 11111111
//
// (each length's codes follow the last code of the length before, plus one,
// doubled: the tables the program calls p_code/p_len and d_code/d_len are
// these), and then its lower 6 bits as they are.
//
// The model (LzhufModel) is the program's tree of 627 nodes in one array
// kept in order of frequency, 314 leaves and their parents, each node's
// children side by side at an even place and the one after it; the root is
// the last node. At the start every symbol has been counted once and the
// nodes are joined two by two from the first: the children of node 314 + i
// are nodes 2i and 2i + 1. Counting a symbol adds one to its leaf's count
// and to every node's above it, going up: where a node's new count passes
// the next node's, the node trades places (subtree and all) with the last
// node whose count is below the new one, and the counting goes on from the
// parent of its new place. When the root's count has reached 0x8000, the
// tree is first rebuilt: each leaf's count halved (rounded up), in their
// order, and the nodes joined again two by two, each new node placed after
// the last node whose count is not greater.
//
// The packed bytes carry no length: the unpacker stops where the bits run
// out, a symbol whose bits are not all there left out, and at the given
// most bytes, which it says it reached. The unpacked bytes of a cut file
// are so the first bytes of the whole one's: what they mean, its reader
// knows (a Teledisk image ends with a mark).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace korve {

inline constexpr std::size_t kLzhufSymbols = 256 + 58;  // the bytes, and matches of 3 to 60
inline constexpr std::size_t kLzhufNodes = 2 * kLzhufSymbols - 1;

struct LzhufModel {
    // Each node's count, in order; one more, the largest count of all, ends
    // every search up the order.
    std::array<std::uint32_t, kLzhufNodes + 1> count{};
    // A node's first child, the second one after it; kLzhufNodes + symbol
    // for a leaf.
    std::array<std::uint16_t, kLzhufNodes> child{};
    // The parent of each node, then (from kLzhufNodes on) the node of each
    // symbol's leaf.
    std::array<std::uint16_t, kLzhufNodes + kLzhufSymbols> parent{};
};

// The model before the first symbol.
LzhufModel lzhuf_model();

// Counts `symbol` (below kLzhufSymbols) once more, as after coding it.
void lzhuf_count(LzhufModel& model, unsigned symbol);

// The bits that code `symbol` in `model` as it stands, the root's first: the
// packer's side, for writers of test data.
std::vector<bool> lzhuf_code(const LzhufModel& model, unsigned symbol);

struct Unpacked {
    std::vector<unsigned char> bytes;
    bool reached_most = false;  // stopped at the most bytes asked for, not at the bits' end
};

// The bytes `packed` unpacks to, at most `most` of them.
Unpacked lzhuf_unpack(std::span<const unsigned char> packed, std::size_t most);

}  // namespace korve
