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
// the block's last record) the symbol of the line end.
using Symbol = std::uint16_t;
constexpr Symbol kFirstKeyword = 0x100;
constexpr Symbol kLineFeed = 0x200;
constexpr Symbol kCarriageReturnLineFeed = 0x201;
constexpr std::size_t kSymbols = kCarriageReturnLineFeed + 1;

// The most symbols in one block: as many as the reader shows at once.
constexpr std::size_t kMostSymbols = kLongestLook;
// The first keyword is looked for in this many bytes at once.
constexpr std::size_t kKeywordWindow = 16;

// The text a symbol adds, in a block of fixed width so that it is copied
// whole; kNotPlain where the line must be decoded again (its context
// changes, or its token is undefined).
struct alignas(32) SymbolText {
    std::array<char, kLongestByteText> chars{};
    unsigned char size = 0;
};
constexpr unsigned char kNotPlain = 0xFF;

constexpr SymbolText symbol_text(std::string_view text) {
    SymbolText result;
    for (const char c : text) {
        result.chars[result.size++] = c;
    }
    return result;
}

constexpr SymbolText not_plain() {
    SymbolText result;
    result.size = kNotPlain;
    return result;
}

// A keyword: the first of a line set off by a tab on each side, as
// decode_record writes it; a space keyword that comes first, read as ALASM
// reads it, depends on the byte after it.
constexpr SymbolText keyword_text(unsigned char byte, bool first, Reading reading) {
    if (first && byte == keyword_tables::kSpaceToken && reading == Reading::AsAlasm) {
        return not_plain();
    }
    const auto word = decode_token(byte, first ? TokenMode::First : TokenMode::Operand);
    if (!word) {
        return not_plain();
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

constexpr SymbolText make_symbol_text(std::size_t symbol, Reading reading) {
    if (symbol == kLineFeed) {
        return symbol_text("\n");
    }
    if (symbol == kCarriageReturnLineFeed) {
        return symbol_text("\r\n");
    }
    const auto byte = static_cast<unsigned char>(symbol);
    const bool first = symbol >= kFirstKeyword;
    if (byte >= kFirstKeywordByte) {
        return keyword_text(byte, first, reading);
    }
    const char c = static_cast<char>(byte);
    if (first || byte == kRawRestMarker || c == kCommentStart || c == kQuote) {
        return not_plain();
    }
    constexpr std::string_view kSpaces = "               ";
    static_assert(kSpaces.size() == kLongestSpaceRun);
    if (byte <= kLongestSpaceRun) {
        return symbol_text(kSpaces.substr(0, byte));  // 0x00 is a run of none
    }
    return symbol_text(std::string_view(&c, 1));
}

using SymbolTable = std::array<SymbolText, kSymbols>;

constexpr SymbolTable make_symbol_table(Reading reading) {
    SymbolTable table{};
    for (std::size_t symbol = 0; symbol < kSymbols; ++symbol) {
        table[symbol] = make_symbol_text(symbol, reading);
    }
    return table;
}

// Every symbol's text, for each reading, worked out while compiling.
constexpr std::array<SymbolTable, 2> kSymbolTables = {make_symbol_table(Reading::AsKorve),
                                                      make_symbol_table(Reading::AsAlasm)};
static_assert(kSymbolTables[0][0xFF].size == 1 && kSymbolTables[0][kFirstKeyword + 0xFF].size == 3);
static_assert(kSymbolTables[1][kFirstKeyword + 0xFF].size == kNotPlain);
static_assert(kSymbolTables[0][kFirstKeyword + 0x80].size == kLongestKeyword + 2);

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

}  // namespace

DecodedRecords decode_records(std::span<const unsigned char> block, std::int64_t length,
                              std::span<char> room, std::string_view line_end,
                              Reading reading) {
    assert(line_end == "\n" || line_end == "\r\n");
    DecodedRecords decoded;
    if (block.size() <= kLongestRecord || room.size() < record_block_room(kLongestRecord)) {
        return decoded;
    }
    const std::size_t most = std::min(kMostSymbols, (room.size() - kLineRoom) / kLongestByteText);
    std::array<Symbol, kMostSymbols + kKeywordWindow> symbols;  // only read where written
    const std::size_t count =
        mark_records(block, length, most, line_end.size() == 1 ? kLineFeed : kCarriageReturnLineFeed, symbols);
    const SymbolTable& table = kSymbolTables[static_cast<std::size_t>(reading)];
    char* const text = room.data();
    std::size_t size = 0;
    std::size_t at = 0;
    while (at < count) {
        const SymbolText& piece = table[symbols[at]];
        if (piece.size != kNotPlain) [[likely]] {
            std::memcpy(text + size, piece.chars.data(), piece.chars.size());
            size += piece.size;
            ++at;
            continue;
        }
        // The line begins after the last line end: decoded again whole, in
        // place of what it has written so far.
        std::size_t line = at;
        while (line > 0 && symbols[line - 1] < kLineFeed) {
            --line;
            size -= table[symbols[line]].size;
        }
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
    }
    decoded.used = count;
    decoded.size = size;
    return decoded;
}

}  // namespace korve
