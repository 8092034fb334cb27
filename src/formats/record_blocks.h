// Decoding line records a block at a time, korve's conversion loop.
//
// Most lines of a source hold nothing but a label, space runs, a mnemonic
// and operands: each of their bytes reads the same wherever it stands, but
// for a keyword, which is the mnemonic when it is the line's first. A block
// of records is decoded in two passes. The first walks the length bytes,
// marks where each line ends and which byte is its first keyword; the second
// expands every byte with one look-up in a table of the text it adds, the
// line ends included, and never asks where a record ends. A line that holds
// a comment, a string, the raw-rest marker or an undefined keyword is
// decoded again whole by decode_record (alasm_lines.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "formats/alasm_lines.h"

namespace korve {

// The most bytes one byte of a record adds to a block's text: a space run,
// or a line end for the length byte.
inline constexpr std::size_t kLongestByteText = 16;

// The room a block of `bytes` bytes of records may need: the text of every
// byte, and a line's room beyond (a line decoded again is decoded into a
// LineRoom).
constexpr std::size_t record_block_room(std::size_t bytes) {
    return bytes * kLongestByteText + kLineRoom;
}

// How a block of records was decoded.
struct DecodedRecords {
    std::size_t used = 0;  // bytes of the block's whole records decoded
    std::size_t size = 0;  // characters written, line ends included
    // The record after them holds this undefined token, which abandons its
    // line and the conversion; its bytes are not in `used`.
    std::optional<UndefinedToken> undefined;
};

// Decodes the records at the start of `block` that lie whole in it with more
// than kLongestRecord bytes after their start (so that a record the block
// cuts short is left for decode_line), each line followed by `line_end`
// ("\n" or "\r\n"), into `room`, as far as record_block_room says it holds
// their text. Stops after the record that brings the bytes claimed to
// `length` or more (the first is always taken), or before the record of an
// undefined token. The text is decode_record's, line by line.
DecodedRecords decode_records(std::span<const unsigned char> block, std::int64_t length,
                              std::span<char> room, std::string_view line_end,
                              Reading reading = Reading::AsKorve);

}  // namespace korve
