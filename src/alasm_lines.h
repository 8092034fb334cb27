// ALASM 5.x tokenized source data, and the decoder of its line records.
//
// ALASM keeps a source file compact: each line is a length-prefixed record,
// a run of up to fifteen spaces is one byte, and every keyword is one byte of
// 0x80 or above (see alasm_tokens.h). The data, bare or behind a container
// header, is laid out as:
//
//   offset  size  content
//   0       64    header. Byte 47 holds 0xD9, the mark of ALASM data; the
//                 bytes up to the first NUL are the file's name, shown on the
//                 console. Nothing else in it is used.
//   64      rest  line records, back to back, one per source line. There is
//                 no end marker: the data length says where they stop.
//
// A line record is a length byte L, counting itself, then L - 1 content bytes
// (none when L is 0 or 1). Content bytes mean, in order of value:
//
//   0x00         nothing
//   0x01..0x0F   that many spaces
//   0x10         nothing; the rest of the line is raw text
//   0x11..0x7F   the character itself. A ';' starts a comment; a '"' opens
//                or closes a string.
//   0x80..0xFF   a keyword token, outside comments, strings and raw text;
//                inside them, the character itself.
//
// The first keyword of a line is the mnemonic and is set off by a tab on
// each side, so a line reads: label, tab, mnemonic, tab, operands. A string
// still open at the end of the line is closed there.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "alasm_tokens.h"

namespace korve {

inline constexpr std::size_t kAlasmHeaderSize = 64;
inline constexpr std::size_t kAlasmMarkOffset = 47;
inline constexpr unsigned char kAlasmMark = 0xD9;

inline constexpr std::size_t kLongestRecord = 255;  // the length byte's limit
inline constexpr std::size_t kLongestSpaceRun = 0x0F;

// Every content byte expands to at most one space run (a first keyword with
// its two tabs is shorter), and an open string gains one closing quote.
inline constexpr std::size_t kLongestLine = (kLongestRecord - 1) * kLongestSpaceRun + 1;
static_assert(kLongestKeyword + 2 <= kLongestSpaceRun);

// Reads a stream forwards through a buffer of its own, a byte or a record at
// a time. A read error ends the input like the end of the file does; failed()
// tells the two apart.
class ByteReader {
public:
    explicit ByteReader(std::FILE* file);

    // The next byte, or nothing at the end of the input.
    std::optional<unsigned char> next();

    // The next `count` bytes (at most kLongestRecord) in one piece; fewer only
    // at the end of the input.
    std::span<const unsigned char> take(std::size_t count);

    bool at_end();
    bool failed() const;

private:
    bool fill();

    std::FILE* file_;
    std::vector<unsigned char> buffer_;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
};

// Whether the ALASM mark stands where it would in data that starts at
// `data_offset` in the file. Leaves the stream at offset 0.
bool has_alasm_mark(std::FILE* file, long data_offset);

// The name from the data's header. Reads the header (fewer bytes at the end
// of the input) and lowers `remaining` by its full size.
std::string read_alasm_name(ByteReader& input, std::int64_t& remaining);

// One decoded line, without its newline. Holds the longest line any record
// can expand to, so no record is ever cut short.
class LineText {
public:
    void clear() { size_ = 0; }
    void push(char c);
    void append(std::string_view text);
    void append_spaces(std::size_t count);
    std::string_view view() const { return {chars_.data(), size_}; }

private:
    std::array<char, kLongestLine> chars_;
    std::size_t size_ = 0;
};

// A keyword token that its table does not define.
struct UndefinedToken {
    unsigned char byte;
    TokenMode mode;
};

// Decodes the line record at the reader's position into `line`. Reads the
// whole record as its length byte states, and lowers `remaining` by every
// byte it reads, also by those missing at the end of the input. Returns the
// undefined token that abandoned the line, or nothing when the line is done.
std::optional<UndefinedToken> decode_line(ByteReader& input, std::int64_t& remaining,
                                          LineText& line);

}  // namespace korve
