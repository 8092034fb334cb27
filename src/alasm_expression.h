// ALASM 5's expressions: parsed as ALASM reads them, evaluated to ALASM's
// 16-bit value, and written for another assembler so that they evaluate to
// the same 16-bit value there.
//
// ALASM evaluates an expression strictly from left to right, with no
// priorities: only parentheses group. #4000+32*8 is (#4000+32)*8. Every
// step is done on 16 bits and wraps; division is unsigned.
//
//   expression  [+|-] term { operator term | ~ }
//               a leading - subtracts from 0; a ~ inverts the result so far
//   operator    + - * /   & and   | or   ! exclusive or
//               a>b, a<b  the 16-bit word a rotated right, left, by b bits
//   term        { ' | . } primary
//               'a is the high byte of a, .a its low byte
//   primary     decimal digits   # hexadecimal digits   % binary digits
//               "c"              the byte of one character
//               name             a label's value
//               $                the address the line assembles for
//               $$               the memory page being assembled into
//               ( expression )
//               { expression }   the word in memory at that address
//               ?name            0 when name is defined, #FFFF when it is
//                                not; 1 or 2 for a name used before it is
//                                defined and for a macro's name
//
// Spaces may stand between the items. A name starts with a letter, '_' or
// '@' and goes on with those, digits and '?'.
//
// The writer spells the same computation in the target's own syntax:
// parentheses where the target's priorities would regroup it (and around
// the operand of a prefix operator, which readers take to bind tightly),
// the target's names for the operators, and, for sjasmplus, which computes
// on 32 signed bits, a mask to 16 bits where a step's result depends on more
// than the low 16 bits of its operands (a division, a rotation), or where
// the caller needs the value itself. pasmo computes on 16 unsigned bits, as
// ALASM does, and needs no mask.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace korve {

// The assembler a source is written for.
enum class Dialect : unsigned char { Alasm, Sjasmplus, Pasmo };

enum class ExpressionOperator : unsigned char {
    Add,
    Subtract,
    Multiply,
    Divide,
    And,
    Or,
    Xor,
    RotateRight,
    RotateLeft,
};

enum class ExpressionKind : unsigned char {
    Number,     // `value`; `text` its spelling
    Character,  // `value`, the byte
    Label,      // `text`, the name
    Here,       // $
    Page,       // $$
    Memory,     // {left}
    Defined,    // ?text
    HighByte,   // 'left
    LowByte,    // .left
    Negate,     // a leading -left
    Invert,     // left~
    Binary,     // left `op` right
};

inline constexpr std::size_t kNoNode = static_cast<std::size_t>(-1);

struct ExpressionNode {
    ExpressionKind kind = ExpressionKind::Number;
    ExpressionOperator op = ExpressionOperator::Add;
    std::uint16_t value = 0;
    std::string text;
    std::size_t left = kNoNode;
    std::size_t right = kNoNode;
};

// A parsed expression: nodes refer to their operands by index; `root` is the
// whole.
struct Expression {
    std::vector<ExpressionNode> nodes;
    std::size_t root = kNoNode;
};

struct ParsedExpression {
    std::optional<Expression> expression;
    std::string problem;  // why it did not parse, when it did not
};

// Parses `text`, all of it, as one expression.
ParsedExpression parse_expression(std::string_view text);

// Label values, by name.
using LabelValues = std::map<std::string, std::uint16_t, std::less<>>;

// ALASM's value of `expression`: nothing when it needs what is not known
// (a label not in `labels`, $ when `here` is empty, memory, the page, or
// whether a name is defined) or divides by zero.
std::optional<std::uint16_t> evaluate_expression(const Expression& expression,
                                                 const LabelValues& labels,
                                                 std::optional<std::uint16_t> here);

// Every label the expression reads (?name included).
void collect_labels(const Expression& expression, std::set<std::string, std::less<>>& names);

// Whether the expression reads $.
bool reads_here(const Expression& expression);

// Whether the expression adds $, once, to a sum of numbers: $+5, 3+$-1.
bool offsets_here(const Expression& expression);

// How a written expression will be used.
enum class ValueUse : unsigned char {
    Truncated,   // as a byte or a word the target truncates: DB, DW, operands
    Exact,       // as the 16-bit value itself: counts, conditions, ORG
    // As a label's value (EQU, =): exact, except that sums and differences
    // of labels, $ and numbers are taken to stay within 64 KiB, as the
    // addresses and lengths they compute do.
    Definition,
};

// The values an expression may take in the target (sjasmplus: 32 bits).
struct ValueRange {
    std::int64_t low = 0;
    std::int64_t high = 0xFFFF;
};

// What is known of labels' values in the target; any other label is taken
// to hold a 16-bit value.
using LabelRanges = std::map<std::string, ValueRange, std::less<>>;

struct WriteOptions {
    Dialect dialect = Dialect::Sjasmplus;
    ValueUse use = ValueUse::Truncated;
    // Added to $ wherever it is read (pasmo's stand-in for DISP), if not empty.
    std::string_view here_offset;
    // Names known to be defined before this line, for ?name.
    const std::set<std::string, std::less<>>* defined = nullptr;
    const LabelRanges* ranges = nullptr;
    // Names for helper values: this and a number, counted from helper_count.
    std::string_view helper_prefix = "korve_value";
    std::size_t helper_count = 0;
};

// A value the written expression reads twice (a rotation's operand, or its
// count), set before the line so that it is written once: the line takes
// `name = text` (sjasmplus) or `name DEFL text` (pasmo) before it.
struct HelperValue {
    std::string name;
    std::string text;
};

struct WrittenExpression {
    std::string text;
    std::string problem;  // what cannot be written, when something cannot
    ValueRange range;     // of the written value, in the target
    std::vector<HelperValue> helpers;  // in the order they are to be set
};

// The expression in the syntax of options.dialect (for Dialect::Alasm, as
// ALASM reads it, with parentheses only where it needs them).
WrittenExpression write_expression(const Expression& expression, const WriteOptions& options);

// The name a target gives an ALASM label: the name itself, unless the target
// reserves it (an instruction, register, directive or operator: then it
// gains a '_') or cannot start a name with its first character (then it
// gains a leading '_').
std::string target_label(std::string_view name, Dialect dialect);

// Whether `c` may start, and continue, an ALASM name.
bool starts_alasm_name(char c);
bool continues_alasm_name(char c);

}  // namespace korve
