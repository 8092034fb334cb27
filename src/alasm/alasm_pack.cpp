#include "alasm/alasm_pack.h"

#include <algorithm>
#include <span>
#include <utility>

#include "base/hex_digits.h"
#include "formats/alasm_tokens.h"

namespace korve {
namespace {

constexpr char kTab = '\t';
constexpr char kSpace = ' ';
constexpr char kComma = ',';
constexpr std::size_t kTabStop = 8;
constexpr unsigned char kFirstPrintable = 0x20;
constexpr unsigned char kStoredSpace = 0x20;

using Context = TextContext;

// The column a tab at `column` moves the text on to.
constexpr std::size_t after_tab(std::size_t column) { return (column / kTabStop + 1) * kTabStop; }

constexpr bool is_blank(char c) { return c == kSpace || c == kTab; }

constexpr char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool same_word(std::string_view text, std::string_view word, bool any_case) {
    return text.size() == word.size() &&
           std::equal(text.begin(), text.end(), word.begin(),
                      [any_case](char a, char b) { return (any_case ? upper(a) : a) == b; });
}

// The first-table byte of `word`, spelled as korve spells it, or (then
// `typed`) in another case.
std::optional<unsigned char> first_token(std::string_view word, bool& typed) {
    typed = false;
    if (const auto exact = encode_token(word, TokenMode::First)) {
        return exact;
    }
    if (word.size() > kLongestKeyword) {
        return std::nullopt;
    }
    std::array<char, kLongestKeyword> letters{};
    for (std::size_t i = 0; i < word.size() && i < letters.size(); ++i) {
        letters[i] = upper(word[i]);
    }
    typed = true;
    return encode_token({letters.data(), word.size()}, TokenMode::First);
}

// Whether an operand keyword can end before `rest`: at the line's end, a
// comma, a blank or a comment; an indirection left open for its
// displacement ("(IX") also at its sign.
bool ends_operand(std::string_view word, std::string_view rest) {
    if (rest.empty() || rest[0] == kComma || is_blank(rest[0]) || rest[0] == kCommentStart) {
        return true;
    }
    const bool open_indirection = word.front() == '(' && word.back() != ')';
    return open_indirection && (rest[0] == '+' || rest[0] == '-');
}

using OperandWord = std::pair<unsigned char, std::string_view>;

// The longest operand keyword that `text` starts with and that ends there:
// its entry in the operand table, or none.
const OperandWord* operand_token(std::string_view text, bool any_case) {
    const OperandWord* best = nullptr;
    for (const OperandWord& entry : keyword_tables::kOperandWords) {
        const std::string_view word = entry.second;
        if (word.size() > text.size() || (best != nullptr && word.size() <= best->second.size())) {
            continue;
        }
        if (same_word(text.substr(0, word.size()), word, any_case) &&
            ends_operand(word, text.substr(word.size()))) {
            best = &entry;
        }
    }
    return best;
}

// Where a line's parts lie: the label part is [0, label_end); the mnemonic's
// word starts at mnemonic_at, its operand part at operands_begin.
struct Shape {
    std::size_t label_end = 0;
    std::optional<unsigned char> mnemonic;
    std::size_t mnemonic_at = 0;
    std::size_t operands_begin = 0;
    bool typed = false;  // not in korve's layout or case
    std::optional<PackError> error;
};

PackError error_at(PackProblem problem, std::string_view line, std::size_t at) {
    const unsigned char byte = at < line.size() ? static_cast<unsigned char>(line[at]) : 0;
    return {problem, 0, at + 1, byte, {}};
}

// Korve's layout: a label part that ends in code, a tab, a keyword word (or
// " ") and a tab. Nothing when the line is not in it.
std::optional<Shape> korve_layout(std::string_view line) {
    const std::size_t first_tab = line.find(kTab);
    if (first_tab == std::string_view::npos) {
        return std::nullopt;
    }
    Context context = Context::Code;
    for (const char c : line.substr(0, first_tab)) {
        context = context_after(context, c);
    }
    const std::size_t second_tab = line.find(kTab, first_tab + 1);
    if (context != Context::Code || second_tab == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view word = line.substr(first_tab + 1, second_tab - first_tab - 1);
    if (word != keyword_tables::kSpace &&
        (word.empty() || word.find_first_of(" ;\"") != std::string_view::npos)) {
        return std::nullopt;
    }
    Shape shape{first_tab, {}, first_tab + 1, second_tab + 1, false, {}};
    shape.mnemonic = first_token(word, shape.typed);
    if (!shape.mnemonic) {
        shape.error = error_at(PackProblem::NoKeyword, line, first_tab + 1);
        shape.error->word = word;
    }
    return shape;
}

// A line typed by a person: the label from column 0 to the first blank in
// code, then the next word as the mnemonic when it is a keyword in any case.
Shape typed_layout(std::string_view line) {
    Shape as_it_stands{line.size(), {}, 0, line.size(), false, {}};
    Context context = Context::Code;
    std::size_t label_end = 0;
    for (; label_end < line.size(); ++label_end) {
        if (context == Context::Code && is_blank(line[label_end])) {
            break;
        }
        context = context_after(context, line[label_end]);
        if (context == Context::Comment || context == Context::CommentString) {
            return as_it_stands;
        }
    }
    std::size_t word_begin = label_end;
    while (word_begin < line.size() && is_blank(line[word_begin])) {
        ++word_begin;
    }
    std::size_t word_end = word_begin;
    while (word_end < line.size() && !is_blank(line[word_end]) && line[word_end] != kCommentStart) {
        ++word_end;
    }
    bool typed = false;
    const auto mnemonic = first_token(line.substr(word_begin, word_end - word_begin), typed);
    if (context != Context::Code || !mnemonic) {
        return as_it_stands;
    }
    std::size_t operands_begin = word_end;
    while (operands_begin < line.size() && is_blank(line[operands_begin])) {
        ++operands_begin;
    }
    return {label_end, mnemonic, word_begin, operands_begin, true, {}};
}

// Stores a line's characters into its record, a part at a time, keeping the
// decoder's context and the column the text shows on screen (for tabs).
class LineStore {
public:
    // `raw_in_operands`: a keyword byte in code in the operand part opens raw
    // text; anywhere else it is refused.
    explicit LineStore(std::string_view line, bool raw_in_operands = false)
        : line_(line), raw_in_operands_(raw_in_operands) {
        packed_.size = 1;
    }

    // The spaces waiting, then the raw-rest marker: from `at` on, the line
    // is stored as a comment is.
    bool open_raw(std::size_t at) {
        if (!put_spaces(false) || !put(kRawRestMarker, at)) {
            return false;
        }
        context_ = Context::Comment;
        packed_.raw = true;
        return true;
    }

    // Stores the characters of [begin, end).
    bool store(std::size_t begin, std::size_t end) {
        for (std::size_t at = begin; at < end;) {
            const char c = line_[at];
            const auto byte = static_cast<unsigned char>(c);
            if (c == kTab) {
                const std::size_t width = after_tab(column_) - column_;
                column_ += width;
                packed_.rewritten = true;
                if (!blanks(width, at++)) {
                    return false;
                }
                continue;
            }
            if (byte < kFirstPrintable) {
                return fail(PackProblem::ControlByte, at);
            }
            if (c == kSpace) {
                ++column_;
                if (!blanks(1, at++)) {
                    return false;
                }
                continue;
            }
            if (context_ == Context::Code && byte >= kFirstKeywordByte) {
                if (!raw_in_operands_ || !operands_) {
                    return fail(PackProblem::UnknownCharacter, at);
                }
                if (!open_raw(at)) {
                    return false;
                }
            }
            if (context_ == Context::Code) {
                if (!put_spaces(false)) {
                    return false;
                }
                if (operands_ && after_separator_) {
                    if (const OperandWord* token = operand_token(line_.substr(at, end - at), any_case_)) {
                        if (!put(token->first, at)) {
                            return false;
                        }
                        at += token->second.size();
                        column_ += token->second.size();
                        after_separator_ = false;
                        continue;
                    }
                }
                after_separator_ = c == kComma;
            }
            if (!put(byte, at)) {
                return false;
            }
            context_ = context_after(context_, c);
            ++column_;
            ++at;
        }
        return true;
    }

    // Passes over [begin, end), which stores nothing: korve's tabs and the
    // word between them, or the blanks around a typed mnemonic.
    void pass(std::size_t begin, std::size_t end) {
        for (std::size_t at = begin; at < end; ++at) {
            column_ = line_[at] == kTab ? after_tab(column_) : column_ + 1;
        }
    }

    // Stores the mnemonic's byte; the operand part follows.
    bool mnemonic(unsigned char byte, std::size_t at, bool any_case) {
        if (!put_spaces(false) || !put(byte, at)) {
            return false;
        }
        operands_ = true;
        any_case_ = any_case;
        after_separator_ = true;
        return true;
    }

    PackedLine end() {
        if (put_spaces(true)) {
            packed_.bytes[0] = static_cast<unsigned char>(packed_.size);
            if (context_ == Context::String || context_ == Context::CommentString) {
                packed_.rewritten = true;  // korve closes the string when reading
            }
        }
        return packed_;
    }

    PackedLine failed() const { return packed_; }

private:
    bool fail(PackProblem problem, std::size_t at) {
        packed_.error = error_at(problem, line_, at);
        return false;
    }

    bool put(unsigned char byte, std::size_t at) {
        if (packed_.size == packed_.bytes.size()) {
            return fail(PackProblem::RecordTooLong, at);
        }
        packed_.bytes[packed_.size++] = byte;
        return true;
    }

    // `count` blanks from `at`: a run to come in code, else stored as typed.
    bool blanks(std::size_t count, std::size_t at) {
        if (context_ != Context::Code) {
            for (std::size_t i = 0; i < count; ++i) {
                if (!put(kStoredSpace, at)) {
                    return false;
                }
            }
            return true;
        }
        if (spaces_ == 0) {
            spaces_at_ = at;
        }
        spaces_ += count;
        after_separator_ = true;
        return true;
    }

    // The spaces waiting in code: runs, longest first; at the end of a line
    // with a mnemonic, one space token each.
    bool put_spaces(bool at_line_end) {
        const bool tokens = at_line_end && operands_;
        while (spaces_ > 0) {
            const std::size_t run = tokens ? 1 : std::min(spaces_, kLongestSpaceRun);
            if (!put(tokens ? keyword_tables::kSpaceToken : static_cast<unsigned char>(run), spaces_at_)) {
                return false;
            }
            spaces_ -= run;
        }
        return true;
    }

    std::string_view line_;
    bool raw_in_operands_ = false;
    PackedLine packed_;
    Context context_ = Context::Code;
    std::size_t column_ = 0;  // on screen, from 0, tabs every kTabStop
    std::size_t spaces_ = 0;
    std::size_t spaces_at_ = 0;
    bool operands_ = false;         // past the mnemonic
    bool any_case_ = false;         // operand keywords in any case
    bool after_separator_ = true;   // where an operand keyword may start
};

// A word as a message shows it: a control byte as \r, \t or \xNN, so that
// it neither hides nor moves the rest of the message.
std::string shown_word(std::string_view word) {
    std::string shown;
    for (const char c : word) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\r') {
            shown += "\\r";
        } else if (c == kTab) {
            shown += "\\t";
        } else if (byte < kFirstPrintable) {
            shown += "\\x";
            append_hex(shown, byte, 2);
        } else {
            shown += c;
        }
    }
    return shown;
}

// Stores a line in the shape found for it; in korve's layout a keyword byte
// in the operand part opens raw text there.
PackedLine store_shape(std::string_view line, const Shape& shape, bool korve) {
    LineStore store(line, korve);
    if (!store.store(0, shape.label_end)) {
        return store.failed();
    }
    if (shape.mnemonic) {
        store.pass(shape.label_end, shape.operands_begin);
        if (!store.mnemonic(*shape.mnemonic, shape.mnemonic_at, shape.typed) ||
            !store.store(shape.operands_begin, line.size())) {
            return store.failed();
        }
    }
    PackedLine packed = store.end();
    packed.rewritten = packed.rewritten || shape.typed;
    return packed;
}

// A line stored as raw text from its first character that is no blank, so
// that it reads back as it stands.
PackedLine store_raw(std::string_view line) {
    LineStore store(line);
    const std::size_t text = std::min(line.find_first_not_of(" \t"), line.size());
    if (!store.store(0, text) || !store.open_raw(text) || !store.store(text, line.size())) {
        return store.failed();
    }
    return store.end();
}

}  // namespace

PackedLine pack_line(std::string_view line) {
    if (line.empty()) {
        return LineStore(line).end();
    }
    if (const auto shape = korve_layout(line)) {
        if (shape->error) {
            PackedLine refused;
            refused.error = shape->error;
            return refused;
        }
        return store_shape(line, *shape, true);
    }
    // A byte ALASM would read as a keyword where a typed line has code: no
    // part of the line is code, and all of it is stored as raw text.
    PackedLine packed = store_shape(line, typed_layout(line), false);
    if (packed.error && packed.error->problem == PackProblem::UnknownCharacter) {
        return store_raw(line);
    }
    return packed;
}

std::string raw_lines_text(const RawLines& raw) {
    const std::string what = "byte ALASM would read as a keyword outside strings and comments";
    const std::string how = " after the raw-rest marker 0x10, which reads back as it stands";
    if (raw.count == 1) {
        return "this line holds a " + what + ": it is stored as raw text" + how;
    }
    return std::to_string(raw.count) + " lines, this the first, hold a " + what +
           ": they are stored as raw text" + how;
}

std::string pack_problem_text(const PackError& error) {
    switch (error.problem) {
        case PackProblem::RecordTooLong:
            return "the line does not fit in a record: ALASM stores at most " +
                   std::to_string(kLongestRecord - 1) + " bytes of a line";
        case PackProblem::NoKeyword:
            return "'" + shown_word(error.word) +
                   "' between the tabs is no mnemonic or directive of ALASM";
        case PackProblem::ControlByte:
            return "the control byte " + hex_byte(error.byte) + " cannot be stored";
        case PackProblem::UnknownCharacter:
            return "the byte " + hex_byte(error.byte) +
                   " cannot stand outside a string or comment: ALASM would read it as a keyword";
        case PackProblem::LineTooLong:
            return "the line is longer than " + std::to_string(kLongestTextLine) +
                   " bytes, more than any ALASM line";
        case PackProblem::SourceTooLarge:
            return "the source needs more than " + std::to_string(kLargestAlasmData) +
                   " bytes, the 255 sectors of the largest TR-DOS file";
    }
    return {};
}

}  // namespace korve
