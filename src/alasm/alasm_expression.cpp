#include "alasm/alasm_expression.h"

#include <algorithm>
#include <cstdint>
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

}  // namespace

bool starts_alasm_name(char c) { return is_letter(c) || c == '_' || c == '@'; }

bool continues_alasm_name(char c) { return starts_alasm_name(c) || is_digit(c) || c == '?'; }

ParsedExpression parse_expression(std::string_view text) { return Parser(text).parse(); }

std::optional<std::uint16_t> evaluate_expression(const Expression& expression,
                                                 const LabelValues& labels,
                                                 std::optional<std::uint16_t> here) {
    return evaluate_node(expression, expression.root, labels, here);
}

std::optional<std::uint16_t> evaluate_node(const Expression& expression, std::size_t node,
                                           const LabelValues& labels,
                                           std::optional<std::uint16_t> here) {
    return Evaluator{expression, labels, here}.value(node);
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

}  // namespace korve
