#include "translation/expression_writer.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <utility>

namespace korve {
namespace {

constexpr std::uint32_t kWordMask = 0xFFFF;
constexpr unsigned kWordBits = 16;
constexpr std::uint16_t kByteMask = 0xFF;
constexpr unsigned kRotationMask = kWordBits - 1;

bool is_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

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

constexpr std::int64_t kInt32Low = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kInt32High = std::numeric_limits<std::int32_t>::max();

class Writer {
public:
    Writer(const Expression& expression, const WriteOptions& options)
        : expression_(expression), options_(options),
          spelling_(dialect_spelling(options.dialect)) {}

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
    bool checks_range() const { return spelling_.computes_on_32_bits; }

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
        const OperatorSpelling& spelling = spelling_.operators[static_cast<std::size_t>(op)];
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
        return evaluate_node(expression_, index, kNoLabels, std::nullopt);
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
            case ExpressionKind::Memory: return memory(node);
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

    // {a}, the word at a in the target's memory.
    std::size_t memory(const ExpressionNode& node) {
        const auto& [before, after] = spelling_.memory.read;
        if (!options_.reads_memory || before.empty()) {
            return fail("{...}, a word of ALASM's memory while it assembles, cannot be known");
        }
        const std::size_t address = exact(build(node.left));
        return atom(std::string(before) + print(address, 0) + std::string(after), 0, kWordMask);
    }

    // A character: a control byte reads better as its number, and a byte
    // of 0x80 and above is the byte itself only as a number, whatever the
    // text's encoding.
    std::size_t character(const ExpressionNode& node) {
        if (node.value < ' ' || node.value >= 0x7F) {
            return number(node.value);
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
    // bits; a<b the other way round. A count is taken modulo 16. On 32 bits,
    // all but a name rotated by a number is one shift of the value doubled.
    std::size_t rotation(const ExpressionNode& node) {
        const bool right = node.op == ExpressionOperator::RotateRight;
        const auto count = constant(node.right);
        if (count && (*count & kRotationMask) == 0) {
            return exact(build(node.left));
        }
        const std::size_t value = exact(build(node.left));
        if (checks_range() && (out_[value].form != Written::Form::Atom || !count)) {
            return doubled_rotation(right, value, count, node.right);
        }
        return shifted_rotation(right, once(value), count, node.right);
    }

    // On 32 bits, the value twice over (v*#10001) holds every rotation of it:
    // a>b is its bits b to b+15, a<b its bits 16-b to 31-b. The value and
    // the count are read once, so that nothing need be set before the line.
    std::size_t doubled_rotation(bool right, std::size_t value, std::optional<std::uint16_t> count,
                                 std::size_t count_node) {
        const std::size_t twice = infix(TargetOperator::Multiply, value,
                                        atom("#10001", kWordMask + 2, kWordMask + 2));
        std::size_t shift = kNoNode;
        if (count) {
            const unsigned bits = *count & kRotationMask;
            shift = number(static_cast<std::uint16_t>(right ? bits : kWordBits - bits));
        } else {
            shift = infix(TargetOperator::And, build(count_node), number(kRotationMask));
            if (!right) {
                shift = infix(TargetOperator::Subtract, number(kWordBits), shift);
            }
        }
        return exact(infix(TargetOperator::ShiftRight, twice, shift));
    }

    std::size_t shifted_rotation(bool right, std::size_t value, std::optional<std::uint16_t> count,
                                 std::size_t count_node) {
        std::size_t first = kNoNode;
        std::size_t second = kNoNode;
        if (count) {
            const unsigned bits = *count & kRotationMask;
            first = number(static_cast<std::uint16_t>(bits));
            second = number(static_cast<std::uint16_t>(kWordBits - bits));
        } else {
            first = once(infix(TargetOperator::And, build(count_node), number(kRotationMask)));
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
    const DialectSpelling& spelling_;
    std::vector<Written> out_;
    std::vector<HelperValue> helpers_;
    std::string problem_;
};

// Whether the name is one of the words, in any case: the words are few
// and sorted (dialect.h), so the name in upper case is looked up among them.
bool reserved(std::string_view name, std::span<const std::string_view> words) {
    std::array<char, kLongestReserved> upper{};
    if (name.size() > upper.size()) {
        return false;
    }
    std::transform(name.begin(), name.end(), upper.begin(), [](char c) {
        return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    });
    return std::binary_search(words.begin(), words.end(), std::string_view(upper.data(), name.size()));
}

}  // namespace

WrittenExpression write_expression(const Expression& expression, const WriteOptions& options) {
    if (options.dialect == Dialect::Alasm) {
        return {{}, "ALASM's own text is the stored text", {}, {}};
    }
    return Writer(expression, options).write();
}

std::string target_label(std::string_view name, Dialect dialect) {
    std::string result;
    add_target_label(result, name, dialect);
    return result;
}

void add_target_label(std::string& text, std::string_view name, Dialect dialect) {
    if (dialect == Dialect::Alasm || name.empty()) {
        text += name;
        return;
    }
    const DialectSpelling& spelling = dialect_spelling(dialect);
    const char first = name.front();
    const bool starts = is_letter(first) || first == '_' ||
                        spelling.name_starts.find(first) != std::string_view::npos;
    if (!starts) {
        text += '_';
    }
    text += name;
    if (reserved(name, spelling.reserved)) {
        text += '_';
    }
}

}  // namespace korve
