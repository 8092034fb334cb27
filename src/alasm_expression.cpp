#include "alasm_expression.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>

namespace korve {
namespace {

constexpr std::uint32_t kWordMask = 0xFFFF;
constexpr unsigned kWordBits = 16;
constexpr unsigned kByteBits = 8;
constexpr std::uint16_t kByteMask = 0xFF;
constexpr unsigned kRotationMask = kWordBits - 1;

// ---------------------------------------------------------------- parsing

bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool is_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

int digit_value(char c) {
    if (is_digit(c)) {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

bool is_operator(char c) {
    return c == '+' || c == '-' || c == '*' || c == '/' || c == '&' || c == '|' || c == '!' ||
           c == '>' || c == '<';
}

ExpressionOperator operator_of(char c) {
    switch (c) {
        case '-': return ExpressionOperator::Subtract;
        case '*': return ExpressionOperator::Multiply;
        case '/': return ExpressionOperator::Divide;
        case '&': return ExpressionOperator::And;
        case '|': return ExpressionOperator::Or;
        case '!': return ExpressionOperator::Xor;
        case '>': return ExpressionOperator::RotateRight;
        case '<': return ExpressionOperator::RotateLeft;
        default: return ExpressionOperator::Add;
    }
}

class Parser {
public:
    explicit Parser(std::string_view text) : text_(text) {}

    ParsedExpression parse() {
        const std::size_t root = sequence('\0');
        if (problem_.empty() && at_ < text_.size()) {
            fail("unexpected '" + std::string(1, text_[at_]) + "'");
        }
        if (!problem_.empty()) {
            return {std::nullopt, problem_};
        }
        expression_.root = root;
        return {std::move(expression_), {}};
    }

private:
    bool failed() const { return !problem_.empty(); }

    std::size_t fail(std::string what) {
        if (problem_.empty()) {
            problem_ = std::move(what);
        }
        return kNoNode;
    }

    void skip_spaces() {
        while (at_ < text_.size() && text_[at_] == ' ') {
            ++at_;
        }
    }

    char peek() const { return at_ < text_.size() ? text_[at_] : '\0'; }

    std::size_t add(ExpressionNode node) {
        expression_.nodes.push_back(std::move(node));
        return expression_.nodes.size() - 1;
    }

    std::size_t unary(ExpressionKind kind, std::size_t operand) {
        ExpressionNode node;
        node.kind = kind;
        node.left = operand;
        return add(std::move(node));
    }

    // Terms and operators up to `close` (or the end): left to right.
    std::size_t sequence(char close) {
        skip_spaces();
        const char sign = peek();
        const bool negate = sign == '-';
        if (sign == '+' || sign == '-') {
            ++at_;
        }
        std::size_t result = term();
        if (failed()) {
            return kNoNode;
        }
        if (negate) {
            result = unary(ExpressionKind::Negate, result);
        }
        for (;;) {
            skip_spaces();
            const char c = peek();
            if (c == '\0' || c == close) {
                return result;
            }
            if (c == '~') {
                ++at_;
                result = unary(ExpressionKind::Invert, result);
                continue;
            }
            if (!is_operator(c)) {
                return fail("unexpected '" + std::string(1, c) + "'");
            }
            ++at_;
            const std::size_t right = term();
            if (failed()) {
                return kNoNode;
            }
            ExpressionNode node;
            node.kind = ExpressionKind::Binary;
            node.op = operator_of(c);
            node.left = result;
            node.right = right;
            result = add(std::move(node));
        }
    }

    std::size_t term() {
        skip_spaces();
        const char c = peek();
        if (c == '\'' || c == '.') {
            ++at_;
            const std::size_t operand = term();
            if (failed()) {
                return kNoNode;
            }
            return unary(c == '\'' ? ExpressionKind::HighByte : ExpressionKind::LowByte, operand);
        }
        return primary();
    }

    std::size_t primary() {
        const char c = peek();
        if (c == '\0') {
            return fail("a value is missing");
        }
        if (is_digit(c)) {
            return number(10, 0);
        }
        if (c == '#') {
            return number(16, 1);
        }
        if (c == '%') {
            return number(2, 1);
        }
        if (c == '"') {
            return character();
        }
        if (c == '$') {
            ++at_;
            ExpressionNode node;
            node.kind = ExpressionKind::Here;
            if (peek() == '$') {
                ++at_;
                node.kind = ExpressionKind::Page;
            }
            return add(std::move(node));
        }
        if (c == '(' || c == '{') {
            ++at_;
            const char close = c == '(' ? ')' : '}';
            const std::size_t inner = sequence(close);
            if (failed()) {
                return kNoNode;
            }
            if (peek() != close) {
                return fail(std::string("'") + close + "' is missing");
            }
            ++at_;
            return c == '(' ? inner : unary(ExpressionKind::Memory, inner);
        }
        if (c == '?') {
            ++at_;
            if (!starts_alasm_name(peek())) {
                return fail("'?' wants a name");
            }
            ExpressionNode node;
            node.kind = ExpressionKind::Defined;
            node.text = name();
            return add(std::move(node));
        }
        if (starts_alasm_name(c)) {
            ExpressionNode node;
            node.kind = ExpressionKind::Label;
            node.text = name();
            return add(std::move(node));
        }
        return fail("unexpected '" + std::string(1, c) + "'");
    }

    std::string name() {
        const std::size_t start = at_;
        while (at_ < text_.size() && continues_alasm_name(text_[at_])) {
            ++at_;
        }
        return std::string(text_.substr(start, at_ - start));
    }

    // Digits in `base` after a prefix of `prefix` characters. ALASM keeps
    // the low 16 bits of a longer number; so does the spelling kept here.
    std::size_t number(int base, std::size_t prefix) {
        const std::size_t start = at_;
        at_ += prefix;
        std::uint32_t value = 0;
        bool wrapped = false;
        std::size_t digits = 0;
        while (at_ < text_.size()) {
            const char c = text_[at_];
            const int digit = digit_value(c);
            if (digit < 0 || digit >= base) {
                if (is_letter(c) || is_digit(c) || c == '_') {
                    return fail("'" + std::string(text_.substr(start, at_ - start + 1)) +
                                "' is no number");
                }
                break;
            }
            value = value * static_cast<std::uint32_t>(base) + static_cast<std::uint32_t>(digit);
            wrapped = wrapped || value > kWordMask;
            value &= kWordMask;
            ++digits;
            ++at_;
        }
        if (digits == 0) {
            return fail("'" + std::string(text_.substr(start, at_ - start)) + "' has no digits");
        }
        ExpressionNode node;
        node.kind = ExpressionKind::Number;
        node.value = static_cast<std::uint16_t>(value);
        node.text = std::string(text_.substr(start, at_ - start));
        if (wrapped) {
            node.text = spelled(node.value, base);
        }
        return add(std::move(node));
    }

    static std::string spelled(std::uint16_t value, int base) {
        if (base == 10) {
            return std::to_string(value);
        }
        std::string digits;
        const unsigned step = base == 16 ? 4 : 1;
        const unsigned mask = (1U << step) - 1;
        unsigned rest = value;
        do {
            digits.insert(digits.begin(), "0123456789ABCDEF"[rest & mask]);
            rest >>= step;
        } while (rest != 0);
        return (base == 16 ? "#" : "%") + digits;
    }

    std::size_t character() {
        const std::size_t close = text_.find('"', at_ + 1);
        if (close == std::string_view::npos) {
            return fail("a string is not closed");
        }
        const std::size_t size = close - at_ - 1;
        if (size != 1) {
            return fail("a string of " + std::to_string(size) + " characters is no value");
        }
        ExpressionNode node;
        node.kind = ExpressionKind::Character;
        node.value = static_cast<unsigned char>(text_[at_ + 1]);
        node.text = std::string(1, text_[at_ + 1]);
        at_ = close + 1;
        return add(std::move(node));
    }

    std::string_view text_;
    std::size_t at_ = 0;
    Expression expression_;
    std::string problem_;
};

// ------------------------------------------------------------- evaluating

std::uint16_t rotate_right(std::uint16_t value, unsigned count) {
    count &= kRotationMask;
    if (count == 0) {
        return value;
    }
    return static_cast<std::uint16_t>((value >> count) | (value << (kWordBits - count)));
}

std::uint16_t rotate_left(std::uint16_t value, unsigned count) {
    return rotate_right(value, kWordBits - (count & kRotationMask));
}

std::optional<std::uint16_t> apply(ExpressionOperator op, std::uint16_t a, std::uint16_t b) {
    const std::uint32_t x = a;
    const std::uint32_t y = b;
    std::uint32_t result = 0;
    switch (op) {
        case ExpressionOperator::Add: result = x + y; break;
        case ExpressionOperator::Subtract: result = x - y; break;
        case ExpressionOperator::Multiply: result = x * y; break;
        case ExpressionOperator::Divide:
            if (y == 0) {
                return std::nullopt;
            }
            result = x / y;
            break;
        case ExpressionOperator::And: result = x & y; break;
        case ExpressionOperator::Or: result = x | y; break;
        case ExpressionOperator::Xor: result = x ^ y; break;
        case ExpressionOperator::RotateRight: result = rotate_right(a, b); break;
        case ExpressionOperator::RotateLeft: result = rotate_left(a, b); break;
    }
    return static_cast<std::uint16_t>(result & kWordMask);
}

struct Evaluator {
    const Expression& expression;
    const LabelValues& labels;
    std::optional<std::uint16_t> here;

    std::optional<std::uint16_t> value(std::size_t index) const {
        const ExpressionNode& node = expression.nodes[index];
        switch (node.kind) {
            case ExpressionKind::Number:
            case ExpressionKind::Character: return node.value;
            case ExpressionKind::Label: {
                const auto found = labels.find(node.text);
                if (found == labels.end()) {
                    return std::nullopt;
                }
                return found->second;
            }
            case ExpressionKind::Here: return here;
            case ExpressionKind::Page:
            case ExpressionKind::Memory: return std::nullopt;
            case ExpressionKind::Defined:
                if (labels.find(node.text) == labels.end()) {
                    return std::nullopt;
                }
                return 0;
            case ExpressionKind::HighByte:
            case ExpressionKind::LowByte:
            case ExpressionKind::Negate:
            case ExpressionKind::Invert: {
                const auto operand = value(node.left);
                if (!operand) {
                    return std::nullopt;
                }
                const std::uint32_t x = *operand;
                std::uint32_t result = 0;
                if (node.kind == ExpressionKind::HighByte) {
                    result = x >> kByteBits;
                } else if (node.kind == ExpressionKind::LowByte) {
                    result = x & kByteMask;
                } else if (node.kind == ExpressionKind::Negate) {
                    result = 0U - x;
                } else {
                    result = ~x;
                }
                return static_cast<std::uint16_t>(result & kWordMask);
            }
            case ExpressionKind::Binary: {
                const auto left = value(node.left);
                const auto right = value(node.right);
                if (!left || !right) {
                    return std::nullopt;
                }
                return apply(node.op, *left, *right);
            }
        }
        return std::nullopt;
    }
};

// --------------------------------------------------------------- writing

// The written form, as a tree of the target's own operators: atoms, prefix
// operators and infix operators, each with the target's priority, and (for
// sjasmplus) the range of values it may take there.
struct Written {
    enum class Form : unsigned char { Atom, Prefix, Infix };
    Form form = Form::Atom;
    std::string text;  // the atom, or the operator as written
    int priority = 0;
    std::size_t a = kNoNode;
    std::size_t b = kNoNode;
    std::int64_t low = 0;
    std::int64_t high = 0;
};

constexpr int kAtomPriority = 100;

// The operators of a target, and how tightly each binds.
struct Spelling {
    std::string_view text;
    int priority;
};

enum class TargetOperator : unsigned char {
    Add, Subtract, Multiply, Divide, And, Or, Xor, ShiftLeft, ShiftRight,
    Invert, Negate, HighByte, LowByte,
};
constexpr std::size_t kTargetOperators = 13;

// sjasmplus: unary operators bind tightest, then * /, + -, shifts, &, ^, |.
constexpr std::array<Spelling, kTargetOperators> kSjasmplusOperators = {{
    {"+", 70}, {"-", 70}, {"*", 80}, {"/", 80}, {"&", 30}, {"|", 10}, {"^", 20},
    {"<<", 60}, {">>", 60}, {"~", 90}, {"-", 90}, {"HIGH ", 90}, {"LOW ", 90},
}};

// pasmo: * / SHL SHR, then + -, then the unary operators (below the
// comparisons), AND, OR and XOR, and HIGH and LOW below everything.
constexpr std::array<Spelling, kTargetOperators> kPasmoOperators = {{
    {"+", 70}, {"-", 70}, {"*", 80}, {"/", 80}, {" AND ", 40}, {" OR ", 30}, {" XOR ", 30},
    {" SHL ", 80}, {" SHR ", 80}, {"~", 50}, {"-", 50}, {"HIGH ", 10}, {"LOW ", 10},
}};

constexpr std::int64_t kInt32Low = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kInt32High = std::numeric_limits<std::int32_t>::max();

class Writer {
public:
    Writer(const Expression& expression, const WriteOptions& options)
        : expression_(expression), options_(options),
          operators_(options.dialect == Dialect::Pasmo ? kPasmoOperators : kSjasmplusOperators) {}

    WrittenExpression write() {
        std::size_t root = build(expression_.root);
        if (!problem_.empty()) {
            return {{}, problem_, {}, {}};
        }
        if (options_.use == ValueUse::Exact ||
            (options_.use == ValueUse::Definition && !address_arithmetic(expression_.root))) {
            root = exact(root);
        }
        return {print(root, 0), {}, {out_[root].low, out_[root].high}, std::move(helpers_)};
    }

private:
    bool checks_range() const { return options_.dialect == Dialect::Sjasmplus; }

    std::size_t add(Written node) {
        if (node.low < kInt32Low || node.high > kInt32High) {
            node.low = kInt32Low;  // sjasmplus wraps at 32 bits
            node.high = kInt32High;
        }
        out_.push_back(std::move(node));
        return out_.size() - 1;
    }

    std::size_t atom(std::string text, std::int64_t low, std::int64_t high) {
        Written node;
        node.text = std::move(text);
        node.priority = kAtomPriority;
        node.low = low;
        node.high = high;
        return add(std::move(node));
    }

    std::size_t number(std::uint16_t value) { return atom(std::to_string(value), value, value); }

    std::size_t operation(Written::Form form, TargetOperator op, std::size_t a, std::size_t b,
                          std::pair<std::int64_t, std::int64_t> range) {
        const Spelling& spelling = operators_[static_cast<std::size_t>(op)];
        Written node;
        node.form = form;
        node.text = spelling.text;
        node.priority = spelling.priority;
        node.a = a;
        node.b = b;
        std::tie(node.low, node.high) = range;
        return add(std::move(node));
    }

    std::size_t prefix(TargetOperator op, std::size_t operand, std::int64_t low,
                       std::int64_t high) {
        return operation(Written::Form::Prefix, op, operand, kNoNode, {low, high});
    }

    std::size_t infix(TargetOperator op, std::size_t left, std::size_t right) {
        return operation(Written::Form::Infix, op, left, right,
                         range_of(op, out_[left], out_[right]));
    }

    static std::pair<std::int64_t, std::int64_t> range_of(TargetOperator op, const Written& a,
                                                       const Written& b) {
        constexpr std::pair<std::int64_t, std::int64_t> kAny{kInt32Low, kInt32High};
        switch (op) {
            case TargetOperator::Add: return {a.low + b.low, a.high + b.high};
            case TargetOperator::Subtract: return {a.low - b.high, a.high - b.low};
            case TargetOperator::Multiply: {
                const std::array<std::int64_t, 4> corners = {a.low * b.low, a.low * b.high,
                                                             a.high * b.low, a.high * b.high};
                return {*std::min_element(corners.begin(), corners.end()),
                        *std::max_element(corners.begin(), corners.end())};
            }
            case TargetOperator::Divide:
                if (a.low >= 0 && b.low > 0) {
                    return {a.low / b.high, a.high / b.low};
                }
                return kAny;
            case TargetOperator::And:
                if (a.low >= 0 && b.low >= 0) {
                    return {0, std::min(a.high, b.high)};
                }
                if (a.low >= 0 || b.low >= 0) {
                    return {0, a.low >= 0 ? a.high : b.high};
                }
                return kAny;
            case TargetOperator::Or:
            case TargetOperator::Xor:
                if (a.low >= 0 && b.low >= 0) {
                    std::int64_t all = 1;
                    while (all <= std::max(a.high, b.high)) {
                        all <<= 1;
                    }
                    return {0, all - 1};
                }
                return kAny;
            case TargetOperator::ShiftRight:
                if (a.low >= 0 && b.low >= 0) {
                    return {0, a.high >> std::min<std::int64_t>(b.low, 62)};
                }
                return kAny;
            case TargetOperator::ShiftLeft:
                if (a.low >= 0 && b.low >= 0 && b.high < 32) {
                    return {0, a.high << b.high};
                }
                return kAny;
            default: return kAny;
        }
    }

    static bool in_word(const Written& node) { return node.low >= 0 && node.high <= kWordMask; }

    // The node as sjasmplus must see it where only the 16-bit value will do.
    std::size_t exact(std::size_t node) {
        if (!checks_range() || in_word(out_[node])) {
            return node;
        }
        const std::size_t mask = atom("#FFFF", kWordMask, kWordMask);
        const std::size_t masked = infix(TargetOperator::And, node, mask);
        out_[masked].low = 0;
        out_[masked].high = kWordMask;
        return masked;
    }

    std::size_t fail(std::string what) {
        if (problem_.empty()) {
            problem_ = std::move(what);
        }
        return atom("0", 0, 0);
    }

    // Whether the subtree only adds and subtracts labels, $ and numbers,
    // and reads a label or $.
    bool address_arithmetic(std::size_t index) const {
        const ExpressionNode& node = expression_.nodes[index];
        switch (node.kind) {
            case ExpressionKind::Label:
            case ExpressionKind::Here: return true;
            case ExpressionKind::Binary:
                if (node.op != ExpressionOperator::Add && node.op != ExpressionOperator::Subtract) {
                    return false;
                }
                return (address_arithmetic(node.left) && sum(node.right)) ||
                       (sum(node.left) && address_arithmetic(node.right));
            default: return false;
        }
    }

    bool sum(std::size_t index) const {
        const ExpressionNode& node = expression_.nodes[index];
        switch (node.kind) {
            case ExpressionKind::Label:
            case ExpressionKind::Here:
            case ExpressionKind::Number:
            case ExpressionKind::Character: return true;
            case ExpressionKind::Binary:
                return (node.op == ExpressionOperator::Add ||
                        node.op == ExpressionOperator::Subtract) &&
                       sum(node.left) && sum(node.right);
            default: return false;
        }
    }

    // Whether the subtree reads only numbers and characters.
    bool is_constant(std::size_t index) const {
        const ExpressionNode& node = expression_.nodes[index];
        switch (node.kind) {
            case ExpressionKind::Number:
            case ExpressionKind::Character: return true;
            case ExpressionKind::HighByte:
            case ExpressionKind::LowByte:
            case ExpressionKind::Negate:
            case ExpressionKind::Invert: return is_constant(node.left);
            case ExpressionKind::Binary: return is_constant(node.left) && is_constant(node.right);
            default: return false;
        }
    }

    std::optional<std::uint16_t> constant(std::size_t index) const {
        if (!is_constant(index)) {
            return std::nullopt;
        }
        static const LabelValues kNoLabels;
        return Evaluator{expression_, kNoLabels, std::nullopt}.value(index);
    }

    std::size_t build(std::size_t index) {
        const ExpressionNode& node = expression_.nodes[index];
        switch (node.kind) {
            case ExpressionKind::Number: return atom(node.text, node.value, node.value);
            case ExpressionKind::Character: return character(node);
            case ExpressionKind::Label: {
                ValueRange range;
                if (options_.ranges != nullptr) {
                    const auto found = options_.ranges->find(node.text);
                    if (found != options_.ranges->end()) {
                        range = found->second;
                    }
                }
                return atom(target_label(node.text, options_.dialect), range.low, range.high);
            }
            case ExpressionKind::Here: {
                const std::size_t here = atom("$", 0, kWordMask);
                if (options_.here_offset.empty()) {
                    return here;
                }
                return infix(TargetOperator::Add, here,
                             atom(std::string(options_.here_offset), 0, kWordMask));
            }
            case ExpressionKind::Page:
                return fail("$$, the memory page ALASM assembles into, has no equal there");
            case ExpressionKind::Memory:
                return fail("{...}, a word of ALASM's memory while it assembles, cannot be known");
            case ExpressionKind::Defined:
                if (options_.defined != nullptr && options_.defined->count(node.text) != 0) {
                    return number(0);
                }
                return fail("?" + node.text + ": whether " + node.text +
                            " is defined at this point cannot be known");
            case ExpressionKind::HighByte:
            case ExpressionKind::LowByte: {
                const std::size_t operand = build(node.left);
                const bool high = node.kind == ExpressionKind::HighByte;
                return prefix(high ? TargetOperator::HighByte : TargetOperator::LowByte, operand,
                              0, kByteMask);
            }
            case ExpressionKind::Negate: {
                const std::size_t operand = build(node.left);
                return prefix(TargetOperator::Negate, operand, -out_[operand].high,
                              -out_[operand].low);
            }
            case ExpressionKind::Invert: {
                const std::size_t operand = build(node.left);
                return prefix(TargetOperator::Invert, operand, -out_[operand].high - 1,
                              -out_[operand].low - 1);
            }
            case ExpressionKind::Binary: return binary(node);
        }
        return fail("unknown node");
    }

    std::size_t character(const ExpressionNode& node) {
        if (node.value < ' ' || node.value == 0x7F) {
            return number(node.value);  // a control byte reads better as its number
        }
        const std::string quote = node.text == "'" ? "''" : node.text;
        return atom("'" + quote + "'", node.value, node.value);
    }

    std::size_t binary(const ExpressionNode& node) {
        switch (node.op) {
            case ExpressionOperator::RotateRight:
            case ExpressionOperator::RotateLeft: return rotation(node);
            case ExpressionOperator::Divide: {
                const auto divisor = constant(node.right);
                if (divisor && *divisor == 0) {
                    return fail("the expression divides by zero");
                }
                const std::size_t left = exact(build(node.left));
                const std::size_t right = exact(build(node.right));
                return infix(TargetOperator::Divide, left, right);
            }
            default: break;
        }
        const std::size_t left = build(node.left);
        const std::size_t right = build(node.right);
        TargetOperator op = TargetOperator::Add;
        switch (node.op) {
            case ExpressionOperator::Subtract: op = TargetOperator::Subtract; break;
            case ExpressionOperator::Multiply: op = TargetOperator::Multiply; break;
            case ExpressionOperator::And: op = TargetOperator::And; break;
            case ExpressionOperator::Or: op = TargetOperator::Or; break;
            case ExpressionOperator::Xor: op = TargetOperator::Xor; break;
            default: break;
        }
        return infix(op, left, right);
    }

    // A value the written form reads twice, set once before the line
    // unless it is a single name or number.
    std::size_t once(std::size_t node) {
        if (out_[node].form == Written::Form::Atom) {
            return node;
        }
        HelperValue helper{std::string(options_.helper_prefix) +
                               std::to_string(options_.helper_count + helpers_.size() + 1),
                           print(node, 0)};
        const std::size_t name = atom(helper.name, out_[node].low, out_[node].high);
        helpers_.push_back(std::move(helper));
        return name;
    }

    // a>b is (a shifted right by b) or (a shifted left by 16-b), within 16
    // bits; a<b the other way round. A count is taken modulo 16.
    std::size_t rotation(const ExpressionNode& node) {
        const bool right = node.op == ExpressionOperator::RotateRight;
        const auto count = constant(node.right);
        if (count && (*count & kRotationMask) == 0) {
            return exact(build(node.left));
        }
        const std::size_t value = once(exact(build(node.left)));
        std::size_t first = kNoNode;
        std::size_t second = kNoNode;
        if (count) {
            const unsigned bits = *count & kRotationMask;
            first = number(static_cast<std::uint16_t>(bits));
            second = number(static_cast<std::uint16_t>(kWordBits - bits));
        } else {
            first = once(infix(TargetOperator::And, build(node.right), number(kRotationMask)));
            second = infix(TargetOperator::Subtract, number(kWordBits), first);
        }
        const std::size_t a = infix(right ? TargetOperator::ShiftRight : TargetOperator::ShiftLeft,
                                    value, first);
        const std::size_t b = infix(right ? TargetOperator::ShiftLeft : TargetOperator::ShiftRight,
                                    value, second);
        const std::size_t both = infix(TargetOperator::Or, a, b);
        return exact(both);
    }

    std::string print(std::size_t index, int wanted) const {
        const Written& node = out_[index];
        std::string text;
        switch (node.form) {
            case Written::Form::Atom: return node.text;
            case Written::Form::Prefix: {
                const Written& operand = out_[node.a];
                text = node.text;
                if (operand.form == Written::Form::Atom) {
                    text += operand.text;
                } else {
                    text += "(" + print(node.a, 0) + ")";
                }
                break;
            }
            case Written::Form::Infix: {
                const std::string left = print(node.a, node.priority);
                const std::string right = print(node.b, node.priority + 1);
                text = left + node.text;
                // "a- -b" rather than "a--b"
                if (!right.empty() && (right[0] == '-' || right[0] == '+') &&
                    (text.back() == '-' || text.back() == '+')) {
                    text += ' ';
                }
                text += right;
                break;
            }
        }
        return node.priority < wanted ? "(" + text + ")" : text;
    }

    const Expression& expression_;
    const WriteOptions& options_;
    const std::array<Spelling, kTargetOperators>& operators_;
    std::vector<Written> out_;
    std::vector<HelperValue> helpers_;
    std::string problem_;
};

bool equal_ignoring_case(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

// Words sjasmplus reads as operators or registers wherever a value may
// stand.
constexpr std::string_view kSjasmplusReserved[] = {
    "NOREL", "EXIST", "SIZEOF", "PAIR", "NOT", "LOW", "HIGH", "ABS", "U16",
    "MOD", "SHL", "SHR", "AND", "XOR", "OR",
    "A", "B", "C", "D", "E", "H", "L", "I", "R", "F", "AF", "BC", "DE", "HL", "SP",
    "IX", "IY", "IXH", "IXL", "IYH", "IYL", "HX", "LX", "HY", "LY", "XH", "XL", "YH", "YL",
    "NZ", "Z", "NC", "PO", "PE", "P", "M",
};

// pasmo reserves every instruction, register, condition, directive and
// operator, in any case.
constexpr std::string_view kPasmoReserved[] = {
    "ADC", "ADD", "AND", "BIT", "CALL", "CCF", "CP", "CPD", "CPDR", "CPI", "CPIR", "CPL",
    "DAA", "DEC", "DI", "DJNZ", "EI", "EX", "EXX", "HALT", "IM", "IN", "INC", "IND", "INDR",
    "INI", "INIR", "JP", "JR", "LD", "LDD", "LDDR", "LDI", "LDIR", "NEG", "NOP", "OR", "OTDR",
    "OTIR", "OUT", "OUTD", "OUTI", "POP", "PUSH", "RES", "RET", "RETI", "RETN", "RL", "RLA",
    "RLC", "RLCA", "RLD", "RR", "RRA", "RRC", "RRCA", "RRD", "RST", "SBC", "SCF", "SET", "SLA",
    "SLL", "SRA", "SRL", "SUB", "XOR",
    "A", "B", "C", "D", "E", "H", "L", "I", "R", "AF", "BC", "DE", "HL", "SP", "IX", "IY",
    "IXH", "IXL", "IYH", "IYL", "NZ", "Z", "NC", "PO", "PE", "P", "M",
    "ORG", "EQU", "DEFL", "DB", "DW", "DS", "DEFB", "DEFW", "DEFS", "DEFM", "END", "IF",
    "ELSE", "ENDIF", "INCLUDE", "INCBIN", "MACRO", "ENDM", "REPT", "IRP", "EXITM", "LOCAL",
    "PROC", "ENDP", "PUBLIC",
    "NOT", "MOD", "SHL", "SHR", "EQ", "NE", "LT", "LE", "GT", "GE", "HIGH", "LOW", "NUL",
    "DEFINED",
};

template <std::size_t N>
bool reserved(std::string_view name, const std::string_view (&words)[N]) {
    return std::any_of(std::begin(words), std::end(words),
                       [name](std::string_view word) { return equal_ignoring_case(name, word); });
}

}  // namespace

bool starts_alasm_name(char c) { return is_letter(c) || c == '_' || c == '@'; }

bool continues_alasm_name(char c) { return starts_alasm_name(c) || is_digit(c) || c == '?'; }

ParsedExpression parse_expression(std::string_view text) { return Parser(text).parse(); }

std::optional<std::uint16_t> evaluate_expression(const Expression& expression,
                                                 const LabelValues& labels,
                                                 std::optional<std::uint16_t> here) {
    return Evaluator{expression, labels, here}.value(expression.root);
}

void collect_labels(const Expression& expression, std::set<std::string, std::less<>>& names) {
    for (const ExpressionNode& node : expression.nodes) {
        if (node.kind == ExpressionKind::Label || node.kind == ExpressionKind::Defined) {
            names.insert(node.text);
        }
    }
}

bool reads_here(const Expression& expression) {
    return std::any_of(expression.nodes.begin(), expression.nodes.end(),
                       [](const ExpressionNode& node) { return node.kind == ExpressionKind::Here; });
}

namespace {

// How often $ is added in the subtree (-1 where it is subtracted), or
// nothing where it is more than a sum of numbers and $.
std::optional<int> here_count(const Expression& expression, std::size_t index) {
    const ExpressionNode& node = expression.nodes[index];
    switch (node.kind) {
        case ExpressionKind::Here: return 1;
        case ExpressionKind::Number:
        case ExpressionKind::Character: return 0;
        case ExpressionKind::Binary: {
            if (node.op != ExpressionOperator::Add && node.op != ExpressionOperator::Subtract) {
                return std::nullopt;
            }
            const auto left = here_count(expression, node.left);
            const auto right = here_count(expression, node.right);
            if (!left || !right) {
                return std::nullopt;
            }
            return node.op == ExpressionOperator::Add ? *left + *right : *left - *right;
        }
        default: return std::nullopt;
    }
}

}  // namespace

bool offsets_here(const Expression& expression) {
    return here_count(expression, expression.root) == 1;
}

WrittenExpression write_expression(const Expression& expression, const WriteOptions& options) {
    if (options.dialect == Dialect::Alasm) {
        return {{}, "ALASM's own text is the stored text", {}, {}};
    }
    return Writer(expression, options).write();
}

std::string target_label(std::string_view name, Dialect dialect) {
    std::string result(name);
    if (dialect == Dialect::Alasm || name.empty()) {
        return result;
    }
    const char first = name.front();
    const bool starts = is_letter(first) || first == '_' ||
                        (dialect == Dialect::Pasmo && (first == '?' || first == '@'));
    if (!starts && !(dialect == Dialect::Sjasmplus && first == '@')) {
        result.insert(result.begin(), '_');
    }
    const bool taken = dialect == Dialect::Pasmo ? reserved(name, kPasmoReserved)
                                                 : reserved(name, kSjasmplusReserved);
    if (taken) {
        result += '_';
    }
    return result;
}

}  // namespace korve
