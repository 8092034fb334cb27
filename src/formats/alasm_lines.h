// ALASM 5.x tokenized source data, and the decoder of its line records.
//
// ALASM keeps a source file compact: each line is a length-prefixed record,
// a run of up to fifteen spaces is one byte, and every keyword is one byte of
// 0x80 or above (see alasm_tokens.h). The data, bare or behind a container
// header, is laid out as:
//
//   offset  size  content
//   0       64    header, below
//   64      rest  line records, back to back, one per source line. There is
//                 no end marker: the data length says where they stop. ALASM
//                 ends them with one 0x00 byte, which reads as an empty line.
//
// The header, as ALASM writes it. korve reads only its mark, and its bytes up
// to the first zero as the name it shows on the console (so the name and the
// type letter, run together: "PGMFLASHH").
//
//   offset  size  content
//   0       8     the name, padded with spaces
//   8       1     the type letter, 'H'
//   9       24    zero
//   33      2     length of the line records, the final 0x00 included,
//                 little-endian
//   35      2     where the editor's cursor stood: 0xC000 plus the offset of
//                 its line in the data, little-endian
//   37      1     the cursor's screen row
//   38      1     the cursor's column
//   39      1     zero
//   40      8     F3 76 C7 DD FD ED B0 D9: ALASM's signature, its last byte
//                 (47) the mark of ALASM data
//   48      16    zero
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

#include <cstddef>
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/byte_reader.h"
#include "formats/alasm_tokens.h"

namespace korve {

inline constexpr std::size_t kAlasmHeaderSize = 64;
inline constexpr std::size_t kAlasmMarkOffset = 47;
inline constexpr unsigned char kAlasmMark = 0xD9;
// The header's other fields.
inline constexpr std::size_t kAlasmNameSize = 8;
inline constexpr std::size_t kAlasmTypeOffset = 8;
inline constexpr char kAlasmType = 'H';
inline constexpr std::size_t kAlasmRecordsLengthOffset = 33;
inline constexpr std::size_t kAlasmCursorOffset = 35;
inline constexpr std::size_t kAlasmCursorRowOffset = 37;
inline constexpr std::size_t kAlasmCursorColumnOffset = 38;
inline constexpr std::size_t kAlasmSignatureOffset = 40;
inline constexpr std::array<unsigned char, 8> kAlasmSignature = {0xF3, 0x76, 0xC7, 0xDD,
                                                                 0xFD, 0xED, 0xB0, 0xD9};
inline constexpr std::size_t kAlasmEditorBase = 0xC000;  // where the editor keeps the data
static_assert(kAlasmSignatureOffset + kAlasmSignature.size() - 1 == kAlasmMarkOffset &&
              kAlasmSignature.back() == kAlasmMark);

inline constexpr std::size_t kLongestRecord = 255;  // the length byte's limit
inline constexpr std::size_t kLongestSpaceRun = 0x0F;

// The content bytes that mean more than themselves.
inline constexpr unsigned char kRawRestMarker = 0x10;
inline constexpr char kCommentStart = ';';
inline constexpr char kQuote = '"';

// Every content byte expands to at most one space run (a first keyword with
// its two tabs is shorter), and an open string gains one closing quote.
inline constexpr std::size_t kLongestLine = (kLongestRecord - 1) * kLongestSpaceRun + 1;
static_assert(kLongestKeyword + 2 <= kLongestSpaceRun);

// Room for one decoded line: the longest line any record can expand to, and
// a little more, because the decoder copies short pieces of text as whole
// blocks of a fixed width, which costs less than measuring each piece.
inline constexpr std::size_t kLineSlack = 24;
inline constexpr std::size_t kLineRoom = kLongestLine + kLineSlack;
using LineRoom = std::span<char, kLineRoom>;

// A line record's size, its length byte included: the length it states, but
// at least the length byte itself (a record of length 0 or 1 is empty).
constexpr std::size_t record_size(unsigned char length) {
    return length == 0 ? 1 : length;
}
static_assert(kLongestRecord <= kLongestLook);

// Whether `start`, the first bytes of an input, holds the ALASM mark where it
// would stand in data that begins `data_offset` bytes in.
bool has_alasm_mark(std::span<const unsigned char> start, std::size_t data_offset);

// The name from the data's header. Takes the header (fewer bytes at the end
// of the input): its bytes up to the first zero.
std::string read_alasm_name(ByteReader& input);

// How a line whose first keyword is a space (0xFF) is read. ALASM stores a
// line typed with one space before an instruction or directive as 0xFF and
// the keyword's byte: FF 9F is ELSE, FF E0 ENDIF. korve has always counted
// the 0xFF as the line's mnemonic, and so reads those lines as "\t \t(BC)"
// and "\t \tBC"; read as ALASM reads them, the 0xFF is the space it is and
// the next keyword the mnemonic: " \tELSE\t". A 0xFF not followed by a
// keyword of the first table reads as korve reads it, either way.
enum class Reading : unsigned char {
    AsKorve,  // korve's, byte for byte as it always was
    AsAlasm,  // korvex's and the page's
};

// A keyword token that its table does not define.
struct UndefinedToken {
    unsigned char byte;
    TokenMode mode;
};

// A decoded line, and the record it came from.
struct DecodedLine {
    std::size_t size = 0;                     // characters written into the room
    std::optional<UndefinedToken> undefined;  // the token that abandoned the line
    std::size_t record_size = 0;  // what its length byte states, at least 1
    std::size_t missing = 0;      // bytes of it that the input ended before
};

// A line record as taken from the input: its content (the bytes after the
// length byte, valid until the reader is used again), what its length byte
// states (at least 1), and how many of those bytes the input ended before
// (at the end of the input, even the length byte is missing).
struct TakenRecord {
    std::span<const unsigned char> content;
    std::size_t record_size = 0;
    std::size_t missing = 0;
};

// Takes the line record at the reader's position whole, as its length byte
// states.
TakenRecord take_record(ByteReader& input);

// Decodes the line record at the reader's position into `room`, without a
// newline. Takes the whole record as its length byte states; at the end of
// the input, even the length byte is missing.
DecodedLine decode_line(ByteReader& input, LineRoom room, Reading reading = Reading::AsKorve);

// The same for a whole record that lies in memory: its content (the bytes
// after its length byte) and its size, its length byte included.
DecodedLine decode_record(std::span<const unsigned char> content, std::size_t record_size,
                          LineRoom room, Reading reading = Reading::AsKorve);

// The parts of a line, for whoever must know which byte was what: a tidier
// layout, a translation, colours.
enum class LinePart : unsigned char {
    Text,      // characters outside strings and comments: labels, names,
               // numbers, operators, commas, parentheses
    Spaces,    // stored runs of spaces outside strings and comments
    Mnemonic,  // the first keyword, with the tab on each side: "\tLD\t"
    Operand,   // a later keyword: "A", "(HL)", "(IX", " " for 0xFF
    String,    // from a quote to the quote that closes it, or that korve adds
    Comment,   // from a ';' outside a string, or from the raw-rest marker (or
               // from the end of a string that held a ';'), to the line's end
};

inline constexpr unsigned char kNoToken = 0;

// One part of a line's text: `size` characters from `begin`; `token` is the
// byte of a keyword (Mnemonic, Operand), else kNoToken.
struct LinePiece {
    LinePart part;
    unsigned char token;
    std::size_t begin;
    std::size_t size;

    bool operator==(const LinePiece&) const = default;
};

// A line as decode_line writes it, in parts.
struct DescribedLine {
    std::string text;  // the same characters as decode_line's
    // In order, covering the text exactly; keywords stand alone, and the
    // characters of any other part form one piece with their neighbours of
    // the same part.
    std::vector<LinePiece> pieces;
    // The token that abandoned the line: the text holds what came before it.
    std::optional<UndefinedToken> undefined;
};

// Describes one record's content (the bytes after its length byte), by the
// same rules as decode_line. A space read as such before the mnemonic is a
// piece of Spaces of its own.
DescribedLine describe_record(std::span<const unsigned char> content,
                              Reading reading = Reading::AsKorve);
// The same, into `line`, whose buffers it reuses: a pass over a source's
// records allocates nothing once its longest line is described.
void describe_record(std::span<const unsigned char> content, Reading reading,
                     DescribedLine& line);

// The undefined keyword token that abandons a record's line, if one does:
// what decode_line and describe_record would stop at, found without making
// the text.
std::optional<UndefinedToken> find_undefined_token(std::span<const unsigned char> content,
                                                   Reading reading = Reading::AsKorve);

}  // namespace korve
