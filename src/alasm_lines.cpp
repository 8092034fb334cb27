#include "alasm_lines.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstdint>
#include <cstring>
#include <span>

namespace korve {
namespace {

constexpr unsigned char kRawRestMarker = 0x10;
constexpr unsigned char kFirstToken = 0x80;
constexpr char kCommentStart = ';';
constexpr char kQuote = '"';

// Text of at most kLineSlack characters, in a block of that width, so that
// it can be copied whole.
struct ShortText {
    std::array<char, kLineSlack> chars{};
    unsigned char size = 0;
};
static_assert(kLongestSpaceRun <= kLineSlack && kLongestKeyword + 2 <= kLineSlack);

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
    LiteralString,         // the same, inside a string
    Undefined,             // an undefined keyword abandoned the line: no byte
                           // after it adds text or leaves this context
};
constexpr std::size_t kContexts = 7;

constexpr bool in_string(Context context) {
    return context == Context::StringBeforeMnemonic ||
           context == Context::StringAmongOperands || context == Context::LiteralString;
}

// The context a line is in after a quote, which opens or closes a string.
constexpr Context after_quote(Context context) {
    switch (context) {
        case Context::BeforeMnemonic: return Context::StringBeforeMnemonic;
        case Context::StringBeforeMnemonic: return Context::BeforeMnemonic;
        case Context::AmongOperands: return Context::StringAmongOperands;
        case Context::StringAmongOperands: return Context::AmongOperands;
        case Context::Literal: return Context::LiteralString;
        case Context::LiteralString: return Context::Literal;
        case Context::Undefined: break;
    }
    return Context::Undefined;
}

// The context after a comment starts or the raw-rest marker comes: no more
// keywords on the line, in the string or outside it.
constexpr Context after_keywords_end(Context context) {
    if (context == Context::Undefined) {
        return context;
    }
    return in_string(context) ? Context::LiteralString : Context::Literal;
}

// What one content byte adds to a line, and the context it leaves the line in.
// Aligned so that no entry straddles two cache lines.
struct alignas(32) Expansion {
    ShortText text;
    Context next = Context::Undefined;
};

constexpr Expansion expansion(std::string_view text, Context next) {
    Expansion result;
    for (const char c : text) {
        result.text.chars[result.text.size++] = c;
    }
    result.next = next;
    return result;
}

constexpr Expansion spaces(unsigned char count, Context next) {
    constexpr std::string_view kSpaces = "               ";
    static_assert(kSpaces.size() == kLongestSpaceRun);
    return expansion(kSpaces.substr(0, count), next);
}

// The first keyword is set off by a tab on each side; an undefined one
// abandons the line.
constexpr Expansion keyword(unsigned char byte, Context context) {
    if (context == Context::BeforeMnemonic) {
        const auto word = decode_token(byte, TokenMode::First);
        if (!word) {
            return expansion("", Context::Undefined);
        }
        std::array<char, kLongestKeyword + 2> text{};
        std::size_t size = 0;
        text[size++] = '\t';
        for (const char c : *word) {
            text[size++] = c;
        }
        text[size++] = '\t';
        return expansion(std::string_view(text.data(), size), Context::AmongOperands);
    }
    const auto word = decode_token(byte, TokenMode::Operand);
    return word ? expansion(*word, context) : expansion("", Context::Undefined);
}

constexpr Expansion expand(unsigned char byte, Context context) {
    const char c = static_cast<char>(byte);
    const std::string_view itself(&c, 1);
    if (context == Context::Undefined) {
        return expansion("", context);
    }
    if (byte >= kFirstToken) {
        const bool decodes_keywords =
            context == Context::BeforeMnemonic || context == Context::AmongOperands;
        return decodes_keywords ? keyword(byte, context) : expansion(itself, context);
    }
    if (byte == kRawRestMarker) {
        return expansion("", after_keywords_end(context));
    }
    if (byte <= kLongestSpaceRun) {
        return spaces(byte, context);  // 0x00 is a run of none
    }
    if (c == kCommentStart) {
        return expansion(itself, after_keywords_end(context));
    }
    return expansion(itself, c == kQuote ? after_quote(context) : context);
}

using ExpansionTable = std::array<Expansion, 256>;

constexpr std::array<ExpansionTable, kContexts> make_expansions() {
    std::array<ExpansionTable, kContexts> tables{};
    for (std::size_t context = 0; context < kContexts; ++context) {
        for (std::size_t byte = 0; byte < tables[context].size(); ++byte) {
            tables[context][byte] =
                expand(static_cast<unsigned char>(byte), static_cast<Context>(context));
        }
    }
    return tables;
}

// Every byte's expansion in every context, worked out while compiling.
constexpr std::array<ExpansionTable, kContexts> kExpansions = make_expansions();

const ExpansionTable& expansions(Context context) {
    return kExpansions[static_cast<std::size_t>(context)];
}

// A line abandoned at an undefined keyword token, which is found again from
// the line's start: rare enough that the decoding loop need not look out for it.
DecodedLine abandoned_line(std::span<const unsigned char> content) {
    Context context = Context::BeforeMnemonic;
    for (const unsigned char byte : content) {
        const Context next = expansions(context)[byte].next;
        if (next == Context::Undefined) {
            const TokenMode mode =
                context == Context::BeforeMnemonic ? TokenMode::First : TokenMode::Operand;
            return {0, UndefinedToken{byte, mode}};
        }
        context = next;
    }
    assert(false && "the line holds no undefined token");
    return {};
}

}  // namespace

bool has_alasm_mark(std::span<const unsigned char> start, std::size_t data_offset) {
    const std::size_t at = data_offset + kAlasmMarkOffset;
    return at < start.size() && start[at] == kAlasmMark;
}

std::string read_alasm_name(ByteReader& input, std::int64_t& remaining) {
    remaining -= static_cast<std::int64_t>(kAlasmHeaderSize);
    const auto header = input.take(kAlasmHeaderSize);
    const auto name_end = std::find(header.begin(), header.end(), 0);
    return {header.begin(), name_end};
}

DecodedLine decode_line(ByteReader& input, std::int64_t& remaining, LineRoom room) {
    // Every byte the length claims counts, also those past the end of the
    // input; at the end, the length byte itself is missing and counts as one.
    const auto ahead = input.look(kLongestRecord);
    const std::size_t size = ahead.empty() ? 1 : record_size(ahead[0]);
    remaining -= static_cast<std::int64_t>(size);

    const auto record = input.take(size);
    const auto content = record.empty() ? record : record.subspan(1);

    // A byte at a time: most bytes leave the context as it is.
    LineText line(room);
    Context context = Context::BeforeMnemonic;
    const ExpansionTable* table = &expansions(context);
    for (const unsigned char byte : content) {
        const Expansion& expansion = (*table)[byte];
        line.append(expansion.text);
        if (expansion.next != context) {
            context = expansion.next;
            table = &expansions(context);
        }
    }
    if (context == Context::Undefined) [[unlikely]] {
        return abandoned_line(content);
    }
    if (in_string(context)) {
        line.push(kQuote);  // a string still open at the end of the line is closed
    }
    return {line.size(), std::nullopt};
}

}  // namespace korve
