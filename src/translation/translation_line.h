// A source line as the translator reads it: the label field, the mnemonic
// (by its keyword byte), the operands split at commas and each classified
// as a register, an indexed address or a value, and the comment.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "alasm/instruction_size.h"
#include "formats/alasm_lines.h"
#include "formats/alasm_source.h"
#include "translation/translation_keywords.h"

namespace korve {

// One part of an operand: a keyword, a string, spaces or other text.
struct Item {
    LinePart part;
    unsigned char token;
    std::string_view text;
};
using Operand = std::span<const Item>;

// A line, as far as the translation goes; its views are of the described
// line's text, its operands of its own items. Moved, it keeps them; it is
// not copied.
struct Line {
    Line() = default;
    Line(Line&&) noexcept = default;
    Line& operator=(Line&&) noexcept = default;
    Line(const Line&) = delete;
    Line& operator=(const Line&) = delete;

    bool abandoned = false;    // an undefined keyword ended it
    std::string_view text;     // as korve writes it
    std::string_view field;    // everything before the mnemonic (or the comment)
    bool has_mnemonic = false;
    unsigned char token = 0;   // the mnemonic's byte
    Directive directive = Directive::None;
    std::string_view word;     // the mnemonic, for messages
    std::vector<Operand> operands;
    std::string_view gap;      // the spaces before the comment
    std::string_view comment;  // from its ';'
    bool untokenized = false;  // operands after a string that held a ';'

    // What the operands view, and where each lies in it while the line is
    // read.
    std::vector<Item> items;
    std::vector<std::pair<std::size_t, std::size_t>> bounds;
};

// Which lines' operands a reading splits: every line's, or only those of
// directives, for a pass over the source that looks at no instruction's
// operands (an instruction's line then has none, and its comment may hold
// operands ALASM stored as typed).
enum class OperandReading : unsigned char { Every, DirectivesOnly };

// Reads `described` into `line`, whose buffers it reuses.
void parse_line(const DescribedLine& described, Line& line,
                OperandReading operands = OperandReading::Every);

// Line `index` of a source, described from its record and read. It holds
// views of its own text: it stays where it is made.
struct SourceLine {
    SourceLine(const AlasmSource& source, std::size_t index) : described(source.line(index)) {
        parse_line(described, line);
    }
    SourceLine(const SourceLine&) = delete;
    SourceLine& operator=(const SourceLine&) = delete;

    DescribedLine described;
    Line line;
};

// Reads a source's lines one after another into buffers it keeps, so that
// a pass over the source allocates nothing for its lines once the longest
// is read.
class LineReader {
public:
    explicit LineReader(const AlasmSource& source,
                        OperandReading operands = OperandReading::Every)
        : source_(source), operands_(operands) {}
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    // Line `index`: its views hold until the next read.
    const Line& read(std::size_t index) {
        describe_record(source_.record(index), source_.reading, described_);
        parse_line(described_, line_, operands_);
        return line_;
    }

    // The line last read, as read.
    const Line& line() const { return line_; }

    // The line last read, with every operand: read again where the reading
    // left out an instruction's. The same Line as read() gave.
    const Line& with_operands() {
        if (operands_ != OperandReading::Every && line_.has_mnemonic &&
            line_.directive == Directive::None) {
            parse_line(described_, line_, OperandReading::Every);
        }
        return line_;
    }

private:
    const AlasmSource& source_;
    OperandReading operands_;
    DescribedLine described_;
    Line line_;
};

// Room for a line's values of one kind, one per operand: on the stack for
// all but the rarest lines, so that most lines allocate nothing for them.
template <typename Value, std::size_t Size>
class OperandRoom {
public:
    explicit OperandRoom(std::size_t count) {
        if (count > room_.size()) {
            more_.resize(count);
        }
        values_ = std::span<Value>(more_.empty() ? room_.data() : more_.data(), count);
    }
    OperandRoom(const OperandRoom&) = delete;
    OperandRoom& operator=(const OperandRoom&) = delete;

    std::span<Value> values() { return values_; }

private:
    std::array<Value, Size> room_{};
    std::vector<Value> more_;
    std::span<Value> values_;
};

// `text` less the spaces at its ends.
std::string_view trim_spaces(std::string_view text);

// The same; inline, as most text has no spaces to trim and pays no call.
inline std::string_view trim(std::string_view text) {
    if (text.empty() || (text.front() != ' ' && text.back() != ' ')) {
        return text;
    }
    return trim_spaces(text);
}

// Whether `text` is an ALASM name.
bool is_name(std::string_view text);

// Whether a label, as ALASM takes any word, holds none of the characters
// that would make it something else to the target.
bool is_label(std::string_view name);

// A label as it is defined: any characters but spaces (ALASM takes the
// whole word), less a ':' after it. A '+' before it marks a line ALASM
// assembles only the first time after loading the source: every build with
// another assembler is a first one.
struct LabelField {
    std::string_view name;
    bool colon = false;
    bool indented = false;
    std::string_view rest;  // anything after the name
};

// The label of a field that is not empty.
LabelField read_label_field(std::string_view field);

// Most lines are an instruction with no label: inline, so that they pay no
// call for it.
inline LabelField label_field(std::string_view field) {
    return field.empty() ? LabelField() : read_label_field(field);
}

// NAME=e in a label field: the name and the expression's text.
std::optional<std::pair<std::string_view, std::string_view>> split_assignment(
    std::string_view field);

// An operand, as a register, an indexed address or a value.
struct Classified {
    OperandKind kind = OperandKind::Bad;
    std::string_view word;  // a keyword's, from the keyword table
    std::string text;  // a value's, or an index's displacement
};

Classified classify(const Operand& operand);

// The operand's text, keywords and all.
std::string operand_text(const Operand& operand);

// Whether the operand is one string.
bool is_string(const Operand& operand);

// Whether `text` is one parenthesised group: "(a+b)", not "(a)+(b)".
bool wholly_parenthesised(std::string_view text);

// The text as one operand of a larger expression the translator writes.
std::string grouped(std::string_view text);

// Whether the line reads a macro's parameters (a '\').
bool uses_parameters(const Line& line);

// Whether nothing but spaces or a comment stands on the line.
bool is_blank(const Line& line);

// Whether the line is blank but for text ALASM keeps as typed (after the
// raw-rest marker: no ';' starts it), as its own help file stores its lines.
bool is_typed_text(const Line& line);

// The TR-DOS name ("SCRUTIL.H", as include_key gives it) of the source an
// INCLUDE line includes, if it is one that names it.
std::optional<std::string> included_source(const Line& line);

// The name a MACRO line defines, if it is one that does.
std::optional<std::string> defined_macro(const Line& line);

// Whether the line writes bytes (or may: an INCLUDE, a call of one of
// `macros`).
bool writes_bytes(const Line& line, const std::set<std::string, std::less<>>& macros);

// How many operands each instruction of a line takes. ALASM assembles an
// instruction given more operands than it takes once for each operand
// (PUSH AF,BC is PUSH AF and PUSH BC) or each pair (LD L,0,H,'F), in the
// order written: the size of those groups, or all the operands for one
// instruction; nothing where they make no whole instructions.
std::optional<std::size_t> operands_each(unsigned char token, std::size_t operands);

// The bytes an ORG $-k takes back, k, where its value is written so with k
// a constant other than 0.
std::optional<std::size_t> bytes_taken_back(std::string_view value);

// The size of the line's instructions, where they are of a known size.
std::optional<std::size_t> line_size(const Line& line);

}  // namespace korve
