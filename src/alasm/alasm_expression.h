// ALASM 5's expressions: parsed as ALASM reads them, and evaluated to
// ALASM's 16-bit value (expression_writer.h writes them for another
// assembler).
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
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "alasm/dialect.h"

namespace korve {

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

// Tables of names, hashed, looked up by a view of the name as well as by
// a string.
struct NameHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view name) const noexcept {
        return std::hash<std::string_view>{}(name);
    }
};
template <typename Value>
using NameMap = std::unordered_map<std::string, Value, NameHash, std::equal_to<>>;
using NameSet = std::unordered_set<std::string, NameHash, std::equal_to<>>;

// Label values, by name.
using LabelValues = NameMap<std::uint16_t>;

// ALASM's value of `expression`: nothing when it needs what is not known
// (a label not in `labels`, $ when `here` is empty, memory, the page, or
// whether a name is defined) or divides by zero.
std::optional<std::uint16_t> evaluate_expression(const Expression& expression,
                                                 const LabelValues& labels,
                                                 std::optional<std::uint16_t> here);

// ALASM's value of the part of `expression` at `node`, as
// evaluate_expression gives the whole.
std::optional<std::uint16_t> evaluate_node(const Expression& expression, std::size_t node,
                                           const LabelValues& labels,
                                           std::optional<std::uint16_t> here);

// Every label the expression reads (?name included).
void collect_labels(const Expression& expression, std::set<std::string, std::less<>>& names);

// Whether the expression reads $.
bool reads_here(const Expression& expression);

// Whether the expression adds $, once, to a sum of numbers: $+5, 3+$-1.
bool offsets_here(const Expression& expression);

// Whether `c` may start, and continue, an ALASM name.
bool starts_alasm_name(char c);
bool continues_alasm_name(char c);

}  // namespace korve
