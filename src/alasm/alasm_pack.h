// Text back to ALASM 5.x data: the way from what korve writes (or what a
// person types in ALASM's dialect) to the line records alasm_lines.h reads.
//
// ALASM's editor stores a line in one way only, so korve's text of a line
// tells its record. A line as korve writes it reads: label part, tab,
// mnemonic, tab, operand part.
//
//   - The label part (labels, NAME=expr, comments: everything before the
//     first tab) is stored as it stands, with no keyword tokens.
//   - A tab, a keyword of the first table and a tab are that keyword's byte;
//     the two tabs store nothing. " " between them is 0xFF.
//   - One space alone before the mnemonic (" \tRET\t") is a run of one
//     space, 01, as the real sources at hand store it. ALASM also stores
//     such a line as the space keyword, FF, then the mnemonic, which korvex
//     reads to the same text; korvex put keeps an unchanged line's record
//     as it was.
//   - Outside strings and comments a run of spaces is stored as run bytes of
//     1 to 15 spaces, longest first (16 spaces are 0F 01). Spaces at the end
//     of a line that has a mnemonic are one 0xFF each (the operand token that
//     reads as one space).
//   - In the operand part, outside strings and comments, an operand keyword
//     (register, pair, indirection, condition) in upper case becomes its
//     byte where it starts the operand part or follows a comma or a space,
//     and ends at the line's end, a comma, a space or a semicolon ("(IX" and
//     "(IY" also at "+" or "-"); the longest word that fits wins. Anything
//     else is characters: LOOP, HOURS and L1 only begin with a keyword.
//   - A ';' starts a comment and a '"' opens or closes a string (inside a
//     comment too), as the decoder reads them: from a ';' on, even one inside
//     a string, no keyword is stored. Inside strings and comments every
//     character is its own byte, a space 0x20, a byte of 0x80 or above
//     itself.
//   - An empty line is the record 01. The data ends with one 0x00, which
//     korve shows as a final empty line.
//
// A line a person typed, in ALASM's dialect but not in korve's layout, is
// read like this: the label runs from column 0 to the first space or tab
// outside a string; the word after the blanks that follow it is the
// mnemonic when it is a first-table keyword in any case; the blanks on both
// sides of that word store nothing, as korve's two tabs; and in its operand
// part operand keywords in any case are tokens. A line with no such word has
// no mnemonic and is stored as it stands. A line is in korve's layout when
// its first tab (after a label part that ends outside strings and comments)
// is followed by a keyword in upper case, or " ", and a second tab; a word
// there in another case is taken as typed; any other word there, with no
// blank in it, is refused.
//
// What real data does not show is decided as ALASM's editor most plausibly
// stores it:
//
//   case                             stored as
//   a line typed without korve's     the rule above: blanks around the
//     tabs, or in lower case           mnemonic store nothing, keywords of any
//                                      case are tokens; the line reads back in
//                                      korve's layout, in upper case
//   blanks after a typed mnemonic    nothing, even at the end of the line;
//                                      trailing spaces after operands are
//                                      0xFF each, as in korve's layout
//   any other tab                    the spaces up to the next multiple of 8
//                                      columns, as the text shows on screen
//                                      (runs outside strings and comments)
//   a string still open at the       as typed: korve closes it when reading,
//     line's end                       so it reads back with its quote
//   a final empty line               the data's final 0x00; text without one
//                                      ends with the 0x00 all the same
//   CR LF line ends                  as LF line ends
//   bytes 0x00-0x1F (but tab)        refused: 0x01-0x10 mean spaces and the
//                                      raw-rest marker, the rest are the
//                                      Spectrum's colour and cursor controls,
//                                      which the editor cannot type
//   0x7F                             itself (the Spectrum's copyright sign)
//   a byte of 0x80 or above outside  raw text: ALASM would read it as a
//     strings and comments             keyword, so the line is stored after
//                                      the raw-rest marker 0x10, below
//   the header's cursor (35-38)      on the first line: 40 C0 00 00
//   the header's name                8 bytes padded with spaces; refused when
//                                      empty, longer, or holding a byte below
//                                      0x20 (0x00 and 0x01 end or delete a
//                                      catalogue entry)
//   the size of a source             at most 65280 bytes of data, header
//                                      included: the 255 sectors of the
//                                      largest TR-DOS file
//
// Raw text. ALASM keeps text it cannot read as a line of its dialect (its own
// help, a byte of 0x80 or above in every word) after the raw-rest marker
// 0x10: from there on no byte is a keyword, as in a comment. A line
// that holds such a byte outside strings and comments, and that cannot be
// stored otherwise, is stored so, and reads back as it stands:
//
//   - in korve's layout, the byte in the operand part: the line as far as
//     the byte as above, then 0x10 and the rest ("\tDB\t1,\xDC" is
//     A2 '1' ',' 10 DC);
//   - any other line: its leading blanks as runs, then 0x10 and the whole
//     rest, a mnemonic typed in it included, which is no longer one
//     (" \xDC\xDB" is 01 10 DC DB, as ALASM's help stores its lines).
//
// In korve's layout the byte before the tabs of the mnemonic is refused: as
// raw text the mnemonic would be lost. A word between korve's tabs that is
// no keyword is refused as ever. Raw text is text as in a comment: its
// spaces are 0x20 each, its tabs the spaces to the next tab stop.
//
// The text cannot tell one thing: a line whose comment or string holds an
// odd number of quotes gets a closing quote from korve, and then looks like
// a line that stored one. The quote is kept.
//
// A line at a time: alasm_packer.h builds a whole text's data from them.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "alasm/text_lines.h"
#include "base/byte_reader.h"
#include "formats/alasm_lines.h"
#include "formats/trdos_image.h"

namespace korve {

// The most data a source can be, its header included: the 255 sectors of 256
// bytes that a TR-DOS file holds at most.
inline constexpr std::size_t kLargestAlasmData = kMostSectors * kSectorSize;

// Why text cannot be stored.
enum class PackProblem : unsigned char {
    RecordTooLong,     // the line needs more than a record's 254 bytes
    NoKeyword,         // the word between the tabs is no first-table keyword
    ControlByte,       // a byte below 0x20 other than a tab
    UnknownCharacter,  // a byte of 0x80 or above outside strings and comments
    LineTooLong,       // longer than kLongestTextLine bytes
    SourceTooLarge,    // the data would pass kLargestAlasmData
};

// A problem, where it is: line and column count from 1 (column 0: the whole
// line); `byte` is the byte at the column, `word` the word refused.
struct PackError {
    PackProblem problem = PackProblem::RecordTooLong;
    std::size_t line = 0;
    std::size_t column = 0;
    unsigned char byte = 0;
    std::string word;

    bool operator==(const PackError&) const = default;
};

// The reason, in words, for a message such as "FILE:LINE:COLUMN: error: ...".
std::string pack_problem_text(const PackError& error);

// Where a character of a line of text stands, as the decoder reads it:
// keywords are stored only in code, and from a ';' on (even one inside a
// string) never again; a '"' opens or closes a string, in a comment too.
enum class TextContext : unsigned char { Code, String, Comment, CommentString };

// The context after the character `c`, which stands in `context`.
constexpr TextContext context_after(TextContext context, char c) {
    if (c == kQuote) {
        switch (context) {
            case TextContext::Code: return TextContext::String;
            case TextContext::String: return TextContext::Code;
            case TextContext::Comment: return TextContext::CommentString;
            case TextContext::CommentString: return TextContext::Comment;
        }
    }
    if (c == kCommentStart) {
        return context == TextContext::Code     ? TextContext::Comment
               : context == TextContext::String ? TextContext::CommentString
                                                : context;
    }
    return context;
}

// One line's record: its length byte, then its content.
struct PackedLine {
    std::array<unsigned char, kLongestRecord> bytes{};
    std::size_t size = 0;
    // korve's text of the record is not the line: it was typed in another
    // layout or case, had a tab to expand, or left a string open.
    bool rewritten = false;
    bool raw = false;  // stored as raw text, after 0x10
    std::optional<PackError> error;  // then nothing else holds (line is 0)
};

// The lines of a text stored as raw text: how many, and the first one's
// number (from 1), for the one warning a text gets for them.
struct RawLines {
    std::size_t count = 0;
    std::size_t first = 0;

    void add(std::size_t line) {
        first = count++ == 0 ? line : first;
    }
};

// The warning's words, where raw.count > 0, for a message at the first one.
std::string raw_lines_text(const RawLines& raw);

// Packs one line of text, without its line end.
PackedLine pack_line(std::string_view line);

}  // namespace korve
