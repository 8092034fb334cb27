#include "formats/alasm_lines.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

namespace korve {
namespace {

// Text of at most kLineSlack characters, in a block of that width, so that
// it can be copied whole.
struct ShortText {
    std::array<char, kLineSlack> chars{};
    unsigned char size = 0;
};
// A space keyword read as korve reads it, "\t \t", then a space run: the
// longest text one byte adds.
constexpr std::size_t kLongestExpansion = 3 + kLongestSpaceRun;
static_assert(kLongestExpansion <= kLineSlack && kLongestKeyword + 3 <= kLineSlack);

// One line as it is decoded, in the room the caller gave for it.
class LineText {
public:
    explicit LineText(LineRoom room) : chars_(room.data()) {}

    std::size_t size() const { return size_; }

    void push(char c) {
        assert(size_ < kLongestLine);
        chars_[size_++] = c;
    }

    // Copies the whole block; the slack past the longest line has room for it.
    void append(const ShortText& text) {
        assert(text.size <= kLongestLine - size_);
        std::memcpy(chars_ + size_, text.chars.data(), text.chars.size());
        size_ += text.size;
    }

    void append(std::string_view text) {
        assert(text.size() <= kLongestLine - size_);
        std::memcpy(chars_ + size_, text.data(), text.size());
        size_ += text.size();
    }

    std::string_view view() const { return {chars_, size_}; }

private:
    char* chars_;
    std::size_t size_ = 0;
};

// Where a line stands, as far as the meaning of its next byte goes. Keywords
// are decoded outside strings, until a comment starts or the raw-rest marker
// comes; the first one is the mnemonic. Nothing carries over to the next line.
enum class Context : unsigned char {
    BeforeMnemonic,        // no keyword yet
    AmongOperands,         // after the mnemonic
    StringBeforeMnemonic,  // in a string opened before the mnemonic
    StringAmongOperands,   // in a string opened after it
    Literal,               // in a comment or raw text: no more keywords
    LiteralString,         // in a string that was open when keywords ended
    QuoteInComment,        // after an odd number of quotes in a comment: a
                           // string as far as closing it goes, and still the
                           // comment
    Undefined,             // an undefined keyword abandoned the line: no byte
                           // after it adds text or leaves this context
    SpaceBeforeMnemonic,   // read as ALASM reads it, a space keyword came
                           // first: the next byte tells whether it was a
                           // space before the mnemonic or the mnemonic
};
constexpr std::size_t kContexts = 9;
constexpr std::size_t kReadings = 2;

constexpr bool in_string(Context context) {
    return context == Context::StringBeforeMnemonic ||
           context == Context::StringAmongOperands || context == Context::LiteralString ||
           context == Context::QuoteInComment;
}

constexpr bool decodes_keywords(Context context) {
    return context == Context::BeforeMnemonic || context == Context::AmongOperands;
}

// The context a line is in after a quote, which opens or closes a string.
constexpr Context after_quote(Context context) {
    switch (context) {
        case Context::BeforeMnemonic: return Context::StringBeforeMnemonic;
        case Context::StringBeforeMnemonic: return Context::BeforeMnemonic;
        case Context::AmongOperands: return Context::StringAmongOperands;
        case Context::StringAmongOperands: return Context::AmongOperands;
        case Context::Literal: return Context::QuoteInComment;
        case Context::QuoteInComment:
        case Context::LiteralString: return Context::Literal;
        case Context::Undefined:
        case Context::SpaceBeforeMnemonic: break;
    }
    return Context::Undefined;
}

// The context after a comment starts or the raw-rest marker comes: no more
// keywords on the line, in the string or outside it.
constexpr Context after_keywords_end(Context context) {
    switch (context) {
        case Context::BeforeMnemonic:
        case Context::AmongOperands: return Context::Literal;
        case Context::StringBeforeMnemonic:
        case Context::StringAmongOperands: return Context::LiteralString;
        case Context::Literal:
        case Context::LiteralString:
        case Context::QuoteInComment:
        case Context::Undefined:
        case Context::SpaceBeforeMnemonic: break;
    }
    return context;
}

// The part of a line that a byte adds to in `context`, outside keywords.
constexpr LinePart literal_part(Context context) {
    switch (context) {
        case Context::StringBeforeMnemonic:
        case Context::StringAmongOperands:
        case Context::LiteralString: return LinePart::String;
        case Context::Literal:
        case Context::QuoteInComment: return LinePart::Comment;
        case Context::BeforeMnemonic:
        case Context::AmongOperands:
        case Context::Undefined:
        case Context::SpaceBeforeMnemonic: break;
    }
    return LinePart::Text;
}

// What one content byte adds to a line, and the context it leaves the line in.
// Aligned so that no entry straddles two cache lines.
struct alignas(32) Expansion {
    ShortText text;
    Context next = Context::Undefined;
    LinePart part = LinePart::Text;  // what the text is part of
    unsigned char token = kNoToken;  // a keyword's byte
    bool alone = false;              // a keyword's text is a piece of its own
};

constexpr Expansion expansion(std::string_view text, Context next, LinePart part) {
    Expansion result;
    for (const char c : text) {
        result.text.chars[result.text.size++] = c;
    }
    result.next = next;
    result.part = part;
    return result;
}

constexpr Expansion spaces(unsigned char count, Context context) {
    constexpr std::string_view kSpaces = "               ";
    static_assert(kSpaces.size() == kLongestSpaceRun);
    const LinePart part = decodes_keywords(context) ? LinePart::Spaces : literal_part(context);
    return expansion(kSpaces.substr(0, count), context, part);
}

// The first keyword is set off by a tab on each side; an undefined one
// abandons the line.
constexpr Expansion keyword(unsigned char byte, Context context) {
    if (context == Context::BeforeMnemonic) {
        const auto word = decode_token(byte, TokenMode::First);
        if (!word) {
            return expansion("", Context::Undefined, LinePart::Mnemonic);
        }
        std::array<char, kLongestKeyword + 2> text{};
        std::size_t size = 0;
        text[size++] = '\t';
        for (const char c : *word) {
            text[size++] = c;
        }
        text[size++] = '\t';
        return expansion(std::string_view(text.data(), size), Context::AmongOperands,
                         LinePart::Mnemonic);
    }
    const auto word = decode_token(byte, TokenMode::Operand);
    return expansion(word.value_or(""), word ? context : Context::Undefined, LinePart::Operand);
}

constexpr Expansion expand(unsigned char byte, Context context, Reading reading);

// korve's reading of a space keyword that comes first: the mnemonic " ".
constexpr std::string_view kSpaceMnemonic = "\t \t";

// The byte after a space keyword that came first, read as ALASM reads it: a
// keyword of the first table is the mnemonic, after one space; anything
// else is read as korve reads it, after the space as the mnemonic.
constexpr Expansion after_space_keyword(unsigned char byte) {
    std::array<char, kLongestExpansion> text{};
    std::size_t size = 0;
    const auto word = decode_token(byte, TokenMode::First);
    if (word && byte != keyword_tables::kSpaceToken) {
        text[size++] = ' ';
        text[size++] = '\t';
        for (const char c : *word) {
            text[size++] = c;
        }
        text[size++] = '\t';
        return expansion(std::string_view(text.data(), size), Context::AmongOperands,
                         LinePart::Mnemonic);
    }
    const Expansion rest = expand(byte, Context::AmongOperands, Reading::AsKorve);
    if (rest.next == Context::Undefined) {
        return rest;
    }
    for (const char c : kSpaceMnemonic) {
        text[size++] = c;
    }
    for (std::size_t i = 0; i < rest.text.size; ++i) {
        text[size++] = rest.text.chars[i];
    }
    return expansion(std::string_view(text.data(), size), rest.next, rest.part);
}

constexpr Expansion expand(unsigned char byte, Context context, Reading reading) {
    const char c = static_cast<char>(byte);
    const std::string_view itself(&c, 1);
    if (context == Context::Undefined) {
        return expansion("", context, LinePart::Text);
    }
    if (context == Context::SpaceBeforeMnemonic) {
        return after_space_keyword(byte);
    }
    if (byte == keyword_tables::kSpaceToken && context == Context::BeforeMnemonic &&
        reading == Reading::AsAlasm) {
        return expansion("", Context::SpaceBeforeMnemonic, LinePart::Spaces);
    }
    if (byte >= kFirstKeywordByte && decodes_keywords(context)) {
        return keyword(byte, context);
    }
    if (byte == kRawRestMarker) {
        const Context next = after_keywords_end(context);
        return expansion("", next, literal_part(next));
    }
    if (byte <= kLongestSpaceRun) {
        return spaces(byte, context);  // 0x00 is a run of none
    }
    // A literal character: a comment or a string takes it in from its first
    // character, and a string keeps its closing quote.
    if (c == kCommentStart) {
        const Context next = after_keywords_end(context);
        return expansion(itself, next, literal_part(next));
    }
    if (c == kQuote) {
        const Context next = after_quote(context);
        return expansion(itself, next, in_string(context) ? literal_part(context) : literal_part(next));
    }
    return expansion(itself, context, literal_part(context));
}

// Keywords stand alone; any other part takes in its neighbours of the same part.
constexpr bool joins_neighbours(LinePart part) {
    return part != LinePart::Mnemonic && part != LinePart::Operand;
}

using ExpansionTable = std::array<Expansion, 256>;
using ExpansionTables = std::array<ExpansionTable, kContexts>;

constexpr ExpansionTables make_expansions(Reading reading) {
    ExpansionTables tables{};
    for (std::size_t context = 0; context < kContexts; ++context) {
        for (std::size_t byte = 0; byte < tables[context].size(); ++byte) {
            Expansion& entry = tables[context][byte];
            entry = expand(static_cast<unsigned char>(byte), static_cast<Context>(context), reading);
            entry.alone = !joins_neighbours(entry.part);
            entry.token = entry.alone ? static_cast<unsigned char>(byte) : kNoToken;
        }
    }
    return tables;
}

// Every byte's expansion in every context, for each reading, worked out
// while compiling.
constexpr std::array<ExpansionTables, kReadings> kExpansions = {
    make_expansions(Reading::AsKorve), make_expansions(Reading::AsAlasm)};

const ExpansionTable& expansions(Reading reading, Context context) {
    return kExpansions[static_cast<std::size_t>(reading)][static_cast<std::size_t>(context)];
}

// The undefined keyword token that abandoned a line, found again from the
// line's start: rare enough that the decoding loop need not look out for it.
constexpr UndefinedToken undefined_in(unsigned char byte, Context context) {
    return {byte, context == Context::BeforeMnemonic ? TokenMode::First : TokenMode::Operand};
}

std::optional<UndefinedToken> undefined_token(std::span<const unsigned char> content,
                                             Reading reading) {
    Context context = Context::BeforeMnemonic;
    for (const unsigned char byte : content) {
        const Context next = expansions(reading, context)[byte].next;
        if (next == Context::Undefined) {
            return undefined_in(byte, context);
        }
        context = next;
    }
    return std::nullopt;
}

// The quote that closes a string still open at the end of a line belongs to
// the string, or to the comment that holds it.
constexpr LinePart closing_quote_part(Context context) { return literal_part(context); }

// A line's text and its pieces as they grow. The last piece stays open, in
// locals, while characters of its part join it, and is noted once another
// part starts or the line ends: a run of characters costs one piece.
class PieceWriter {
public:
    PieceWriter(std::vector<LinePiece>& pieces, LineText& text) : pieces_(pieces), text_(text) {}

    // What one byte adds, as its table entry says.
    void add(const Expansion& entry) {
        if (entry.part != part_ || entry.alone) {
            if (entry.text.size == 0) {
                return;  // adds nothing; the open piece stays open
            }
            start(entry.part, entry.token);
        }
        text_.append(entry.text);  // the whole block: the room's slack takes the rest
    }

    // Characters of `part`, a keyword's with its `token`.
    void add(LinePart part, unsigned char token, std::string_view characters) {
        if (characters.empty()) {
            return;
        }
        if (part != part_ || !joins_neighbours(part)) {
            start(part, token);
        }
        text_.append(characters);
    }

    // Characters that join the open piece.
    void extend(std::string_view characters) { text_.append(characters); }

    // Notes the open piece; call once the line ends.
    void close() {
        if (text_.size() > begin_) {
            pieces_.push_back({part_, token_, begin_, text_.size() - begin_});
        }
    }

private:
    void start(LinePart part, unsigned char token) {
        close();
        part_ = part;
        token_ = token;
        begin_ = text_.size();
    }

    std::vector<LinePiece>& pieces_;
    LineText& text_;
    // The open piece: from begin_ to the text's end. Text of none is no piece.
    LinePart part_ = LinePart::Text;
    unsigned char token_ = kNoToken;
    std::size_t begin_ = 0;
};

// A space keyword that came first, read as ALASM reads it: a space before
// the mnemonic where a keyword of the first table follows, else korve's
// mnemonic " ". Gives how many of the bytes after it, `rest`, it took.
std::size_t describe_first_space(std::span<const unsigned char> rest, PieceWriter& pieces) {
    if (!rest.empty()) {
        const unsigned char byte = rest.front();
        const auto word = decode_token(byte, TokenMode::First);
        if (word && byte != keyword_tables::kSpaceToken) {
            pieces.add(LinePart::Spaces, kNoToken, keyword_tables::kSpace);
            pieces.add(LinePart::Mnemonic, byte, "\t");
            pieces.extend(*word);
            pieces.extend("\t");
            return 1;
        }
    }
    pieces.add(LinePart::Mnemonic, keyword_tables::kSpaceToken, kSpaceMnemonic);
    return 0;
}

// A line's pieces into `line`, its text into `text`, until an undefined
// token abandons it. As decode_record, it first guesses each byte's context
// from the byte, and goes by the table entries from the first byte the
// guess fails at (a comment, a string, a space keyword first).
void describe_into(std::span<const unsigned char> content, Reading reading, DescribedLine& line,
                   LineText& text) {
    PieceWriter pieces(line.pieces, text);
    Context context = Context::BeforeMnemonic;
    std::size_t at = 0;
    for (; at < content.size(); ++at) {
        const unsigned char byte = content[at];
        const Expansion& entry = expansions(reading, context)[byte];
        const Context guessed = byte >= kFirstKeywordByte ? Context::AmongOperands : context;
        if (entry.next != guessed) [[unlikely]] {
            break;  // the byte is read again below
        }
        pieces.add(entry);
        context = guessed;
    }
    const ExpansionTable* table = &expansions(reading, context);
    for (; at < content.size(); ++at) {
        const Expansion& entry = (*table)[content[at]];
        pieces.add(entry);
        if (entry.next == context) [[likely]] {
            continue;
        }
        if (entry.next == Context::Undefined) {
            line.undefined = undefined_in(content[at], context);
            pieces.close();
            return;
        }
        context = entry.next;
        if (context == Context::SpaceBeforeMnemonic) {
            at += describe_first_space(content.subspan(at + 1), pieces);
            context = Context::AmongOperands;
        }
        table = &expansions(reading, context);
    }
    if (in_string(context)) {
        pieces.add(closing_quote_part(context), kNoToken, std::string_view(&kQuote, 1));
    }
    pieces.close();
}

}  // namespace

bool has_alasm_mark(std::span<const unsigned char> start, std::size_t data_offset) {
    const std::size_t at = data_offset + kAlasmMarkOffset;
    return at < start.size() && start[at] == kAlasmMark;
}

std::string read_alasm_name(ByteReader& input) {
    const auto header = input.take(kAlasmHeaderSize);
    const auto name_end = std::find(header.begin(), header.end(), 0);
    return {header.begin(), name_end};
}

TakenRecord take_record(ByteReader& input) {
    // At the end of the input even the length byte is missing.
    const auto ahead = input.look(kLongestRecord);
    const std::size_t size = ahead.empty() ? 1 : record_size(ahead[0]);
    const auto record = input.take(size);
    return {record.empty() ? record : record.subspan(1), size, size - record.size()};
}

DecodedLine decode_line(ByteReader& input, LineRoom room, Reading reading) {
    const TakenRecord taken = take_record(input);
    DecodedLine decoded = decode_record(taken.content, taken.record_size, room, reading);
    decoded.missing = taken.missing;
    return decoded;
}

DecodedLine decode_record(std::span<const unsigned char> content, std::size_t record_size,
                          LineRoom room, Reading reading) {
    DecodedLine decoded;
    decoded.record_size = record_size;

    // A byte at a time. Most lines are labels, spaces and keywords: their
    // context is before the mnemonic until the first keyword, and among the
    // operands after it. Taken from the byte, that context is known before
    // the table entry is read; the entry's own tells where the guess fails
    // (a comment, a string), and the rest of the line goes by the entries.
    LineText line(room);
    Context context = Context::BeforeMnemonic;
    std::size_t at = 0;
    for (; at < content.size(); ++at) {
        const unsigned char byte = content[at];
        const Expansion& expansion = expansions(reading, context)[byte];
        line.append(expansion.text);
        const Context guessed = byte >= kFirstKeywordByte ? Context::AmongOperands : context;
        if (expansion.next != guessed) [[unlikely]] {
            context = expansion.next;
            ++at;
            break;
        }
        context = guessed;
    }
    const ExpansionTable* table = &expansions(reading, context);
    for (; at < content.size(); ++at) {
        const Expansion& expansion = (*table)[content[at]];
        line.append(expansion.text);
        if (expansion.next != context) {
            context = expansion.next;
            table = &expansions(reading, context);
        }
    }
    if (context == Context::Undefined) [[unlikely]] {
        decoded.undefined = undefined_token(content, reading);
        assert(decoded.undefined && "the line holds an undefined token");
        return decoded;
    }
    if (context == Context::SpaceBeforeMnemonic) {
        for (const char c : kSpaceMnemonic) {
            line.push(c);  // a space keyword alone is korve's mnemonic " "
        }
    }
    if (in_string(context)) {
        line.push(kQuote);  // a string still open at the end of the line is closed
    }
    decoded.size = line.size();
    return decoded;
}

std::optional<UndefinedToken> find_undefined_token(std::span<const unsigned char> content,
                                                   Reading reading) {
    return undefined_token(content, reading);
}

DescribedLine describe_record(std::span<const unsigned char> content, Reading reading) {
    DescribedLine line;
    describe_record(content, reading, line);
    return line;
}

// The text is written into a room of the longest line's size, in blocks
// as decode_record writes it, and copied into the line's string once:
// cleared and appended to, which costs less than assigning.
void describe_record(std::span<const unsigned char> content, Reading reading,
                     DescribedLine& line) {
    line.pieces.clear();
    line.undefined.reset();
    std::array<char, kLineRoom> room;  // written before it is read
    LineText text{LineRoom(room)};
    describe_into(content, reading, line, text);
    line.text.clear();
    line.text.append(text.view());
}

}  // namespace korve
