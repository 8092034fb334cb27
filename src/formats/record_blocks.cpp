#include "formats/record_blocks.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cassert>
#include <cstring>

#include "formats/alasm_tokens.h"

namespace korve {
namespace {

// A block's bytes as the second pass reads them, one symbol each: the bytes
// of a record's content as themselves, its first keyword with kFirstKeyword
// added, and in place of the next record's length byte (or of the byte after
// the block's last record) the symbol of the line end; after them all, the
// end of the block.
using Symbol = std::uint16_t;
constexpr Symbol kFirstKeyword = 0x100;
constexpr Symbol kLineFeed = 0x200;
constexpr Symbol kCarriageReturnLineFeed = 0x201;
constexpr Symbol kEndOfBlock = 0x202;
constexpr std::size_t kSymbols = kEndOfBlock + 1;

// The most symbols in one block: as many as the reader shows at once.
constexpr std::size_t kMostSymbols = kLongestLook;
// The first keyword is looked for in this many bytes at once.
constexpr std::size_t kKeywordWindow = 16;

// Where a line stands as far as its next symbol's text goes: each row of a
// symbol table gives every symbol's text there. A row's symbol names the
// next row where it changes, or asks for its line to be decoded again
// (an undefined token, a space keyword first where ALASM's reading needs
// the next byte, a keyword byte in a string before the mnemonic).
enum Row : unsigned char {
    kPlainRow,        // outside strings and comments: keywords are decoded
    kStringRow,       // in a string, keywords not yet ended
    kLiteralRow,      // in a comment or raw text: no more keywords
    kOpenLiteralRow,  // the same, with a string open to close at the end
    kRows,
    kSameRow = kRows,
    kDecodeAgain,
    kBlockEnds,
};

// The text a symbol adds, in a block of fixed width so that it is copied
// whole, and the row after it.
struct alignas(32) SymbolText {
    std::array<char, kLongestByteText> chars{};
    unsigned char size = 0;
    unsigned char next = kSameRow;
};

constexpr SymbolText symbol_text(std::string_view text, unsigned char next = kSameRow) {
    SymbolText result;
    for (const char c : text) {
        result.chars[result.size++] = c;
    }
    result.next = next;
    return result;
}

constexpr SymbolText decode_again() { return symbol_text("", kDecodeAgain); }

// A keyword: the first of a line set off by a tab on each side, as
// decode_record writes it; a space keyword that comes first, read as ALASM
// reads it, depends on the byte after it.
constexpr SymbolText keyword_text(unsigned char byte, bool first, Reading reading) {
    if (first && byte == keyword_tables::kSpaceToken && reading == Reading::AsAlasm) {
        return decode_again();
    }
    const auto word = decode_token(byte, first ? TokenMode::First : TokenMode::Operand);
    if (!word) {
        return decode_again();
    }
    std::array<char, kLongestKeyword + 2> text{};
    std::size_t size = 0;
    if (first) {
        text[size++] = '\t';
    }
    for (const char c : *word) {
        text[size++] = c;
    }
    if (first) {
        text[size++] = '\t';
    }
    return symbol_text(std::string_view(text.data(), size));
}

// A byte that stands for itself, but a space run (0x00 a run of none) and
// the raw-rest marker (nothing).
constexpr SymbolText literal_text(unsigned char byte) {
    constexpr std::string_view kSpaces = "               ";
    static_assert(kSpaces.size() == kLongestSpaceRun);
    if (byte <= kLongestSpaceRun) {
        return symbol_text(kSpaces.substr(0, byte));
    }
    if (byte == kRawRestMarker) {
        return symbol_text("");
    }
    const char c = static_cast<char>(byte);
    return symbol_text(std::string_view(&c, 1));
}

constexpr SymbolText plain_text(unsigned char byte, bool first, Reading reading) {
    if (byte >= kFirstKeywordByte) {
        return keyword_text(byte, first, reading);
    }
    if (first) {
        return decode_again();  // never marked so
    }
    if (byte == kRawRestMarker) {
        return symbol_text("", kLiteralRow);
    }
    if (byte == kCommentStart) {
        return symbol_text(";", kLiteralRow);
    }
    if (byte == kQuote) {
        return symbol_text("\"", kStringRow);
    }
    return literal_text(byte);
}

// In a string a ';' or the raw-rest marker ends the line's keywords: what
// follows the string is a comment.
constexpr SymbolText string_text(unsigned char byte, bool first) {
    if (first) {
        return decode_again();  // the mnemonic is yet to come
    }
    if (byte == kRawRestMarker) {
        return symbol_text("", kOpenLiteralRow);
    }
    if (byte == kCommentStart) {
        return symbol_text(";", kOpenLiteralRow);
    }
    if (byte == kQuote) {
        return symbol_text("\"", kPlainRow);
    }
    return literal_text(byte);
}

// In a comment a quote opens or closes a string only as far as closing it
// at the line's end goes.
constexpr SymbolText comment_text(unsigned char byte, Row row) {
    if (byte == kQuote) {
        return symbol_text("\"", row == kLiteralRow ? kOpenLiteralRow : kLiteralRow);
    }
    return literal_text(byte);
}

// The line end, after the quote that closes a string still open.
constexpr SymbolText line_end_text(Row row, std::string_view line_end) {
    std::array<char, 3> text{};
    std::size_t size = 0;
    if (row == kStringRow || row == kOpenLiteralRow) {
        text[size++] = kQuote;
    }
    for (const char c : line_end) {
        text[size++] = c;
    }
    return symbol_text(std::string_view(text.data(), size), row == kPlainRow ? kSameRow : kPlainRow);
}

constexpr SymbolText make_symbol_text(Row row, std::size_t symbol, Reading reading) {
    if (symbol == kEndOfBlock) {
        return symbol_text("", kBlockEnds);
    }
    if (symbol == kLineFeed) {
        return line_end_text(row, "\n");
    }
    if (symbol == kCarriageReturnLineFeed) {
        return line_end_text(row, "\r\n");
    }
    const auto byte = static_cast<unsigned char>(symbol);
    const bool first = symbol >= kFirstKeyword;
    switch (row) {
        case kPlainRow: return plain_text(byte, first, reading);
        case kStringRow: return string_text(byte, first);
        default: return comment_text(byte, row);
    }
}

using SymbolRow = std::array<SymbolText, kSymbols>;
using SymbolTable = std::array<SymbolRow, kRows>;

constexpr SymbolTable make_symbol_table(Reading reading) {
    SymbolTable table{};
    for (std::size_t row = 0; row < kRows; ++row) {
        for (std::size_t symbol = 0; symbol < kSymbols; ++symbol) {
            table[row][symbol] = make_symbol_text(static_cast<Row>(row), symbol, reading);
        }
    }
    return table;
}

// Every symbol's text in every row, for each reading, worked out while
// compiling.
constexpr std::array<SymbolTable, 2> kSymbolTables = {make_symbol_table(Reading::AsKorve),
                                                      make_symbol_table(Reading::AsAlasm)};
static_assert(kSymbolTables[0][kPlainRow][0xFF].size == 1);
static_assert(kSymbolTables[0][kPlainRow][kFirstKeyword + 0xFF].size == 3);
static_assert(kSymbolTables[1][kPlainRow][kFirstKeyword + 0xFF].next == kDecodeAgain);
static_assert(kSymbolTables[0][kPlainRow][kFirstKeyword + 0x80].size == kLongestKeyword + 2);
static_assert(kSymbolTables[0][kOpenLiteralRow][kCarriageReturnLineFeed].size == 3);

// The top bits of eight bytes as one byte, the first byte's lowest (on a
// little-endian machine): each top bit is shifted to its place of the
// product's top byte, and no two meet.
unsigned top_bits(const unsigned char* bytes) {
    constexpr std::uint64_t kTopBits = 0x8080808080808080ULL;
    constexpr std::uint64_t kGather = 0x0002040810204081ULL;
    constexpr unsigned kTopByte = 56;
    std::uint64_t word = 0;
    std::memcpy(&word, bytes, sizeof word);
    return static_cast<unsigned>(((word & kTopBits) * kGather) >> kTopByte);
}

// The first byte of 0x80 or above among the `size` bytes of `content`, or
// `size` where none is: the line's first keyword, unless a comment, a string
// or raw text comes before it (then the line is decoded again anyway). Reads
// kKeywordWindow bytes from the content's start, whatever its size; looks at
// them all at once, without a branch on what they hold.
std::size_t first_keyword(const unsigned char* content, std::size_t size) {
    constexpr unsigned kHalf = kKeywordWindow / 2;
    std::size_t at = 0;
    if constexpr (std::endian::native == std::endian::little) {
        const auto window = static_cast<unsigned>(std::min(size, kKeywordWindow));
        const unsigned tops = (top_bits(content) | top_bits(content + kHalf) << kHalf) & ((1U << window) - 1);
        at = static_cast<std::size_t>(std::countr_zero(tops | 1U << window));
        if (at < kKeywordWindow || at == size) {
            return at;
        }
    }
    while (at < size && content[at] < kFirstKeywordByte) {
        ++at;
    }
    return at;
}

// The first pass: the block's records from its start while they lie whole,
// fit `most` symbols and the data's length lasts; their bytes become
// `symbols`. Returns the bytes they take.
std::size_t mark_records(std::span<const unsigned char> block, std::int64_t length,
                         std::size_t most, Symbol line_end, std::span<Symbol> symbols) {
    // Symbol i stands for the block's byte i + 1: a record's content, and the
    // length byte after it.
    const std::size_t read = std::min(block.size() - 1, most + kKeywordWindow);
    for (std::size_t i = 0; i < read; ++i) {
        symbols[i] = block[i + 1];
    }
    const std::size_t whole_until = block.size() - kLongestRecord;
    std::size_t at = 0;
    while (at < whole_until) {
        const std::size_t size = record_size(block[at]);
        if (at + size > most) {
            break;
        }
        const std::size_t content = size - 1;
        const std::size_t keyword = first_keyword(block.data() + at + 1, content);
        symbols[at + keyword] += keyword < content ? kFirstKeyword : 0;
        symbols[at + content] = line_end;
        at += size;
        length -= static_cast<std::int64_t>(size);
        if (length <= 0) {
            break;
        }
    }
    return at;
}

// The start of the line that ends `text`: after the last line end before
// it. Only a line end writes '\n' (0x0A is a run of spaces).
std::size_t line_start(const char* text, std::size_t size) {
    while (size > 0 && text[size - 1] != '\n') {
        --size;
    }
    return size;
}

}  // namespace

DecodedRecords decode_records(std::span<const unsigned char> block, std::int64_t length,
                              std::span<char> room, std::string_view line_end,
                              Reading reading) {
#ifdef __EMSCRIPTEN__
    // The web page decodes a record at a time, to the same bytes: the
    // tables above would add a tenth to the page.
    return {};
#endif
    assert(line_end == "\n" || line_end == "\r\n");
    DecodedRecords decoded;
    if (block.size() <= kLongestRecord || room.size() < record_block_room(kLongestRecord)) {
        return decoded;
    }
    const std::size_t most = std::min(kMostSymbols, (room.size() - kLineRoom) / kLongestByteText);
    std::array<Symbol, kMostSymbols + kKeywordWindow> symbols;  // only read where written
    const std::size_t count =
        mark_records(block, length, most, line_end.size() == 1 ? kLineFeed : kCarriageReturnLineFeed, symbols);
    symbols[count] = kEndOfBlock;
    const SymbolTable& table = kSymbolTables[static_cast<std::size_t>(reading)];
    const SymbolRow* row = &table[kPlainRow];
    char* const text = room.data();
    std::size_t size = 0;
    std::size_t at = 0;
    for (;;) {
        const SymbolText& piece = (*row)[symbols[at]];
        std::memcpy(text + size, piece.chars.data(), piece.chars.size());
        size += piece.size;
        ++at;
        if (piece.next == kSameRow) [[likely]] {
            continue;
        }
        if (piece.next == kBlockEnds) {
            break;
        }
        if (piece.next != kDecodeAgain) {
            row = &table[piece.next];
            continue;
        }
        // The line begins after the last line end: decoded again whole, in
        // place of what it has written so far.
        std::size_t line = at - 1;
        while (line > 0 && symbols[line - 1] < kLineFeed) {
            --line;
        }
        size = line_start(text, size);
        const std::size_t record = record_size(block[line]);
        const DecodedLine whole = decode_record(block.subspan(line + 1, record - 1), record,
                                                LineRoom(text + size, kLineRoom), reading);
        if (whole.undefined) {
            decoded.used = line;
            decoded.size = size;
            decoded.undefined = whole.undefined;
            return decoded;
        }
        size += whole.size;
        at = line + record - 1;  // its line end
        row = &table[kPlainRow];
    }
    decoded.used = count;
    decoded.size = size;
    return decoded;
}

}  // namespace korve
