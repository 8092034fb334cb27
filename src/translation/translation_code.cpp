#include "translation/translation_code.h"

#include <algorithm>
#include <array>
#include <span>
#include <vector>

namespace korve {
namespace {

// ALASM's own instructions, in Zilog's terms: the mnemonic, and what comes
// before the operands (a condition), or the whole of the operands.
struct Renamed {
    unsigned char token;
    std::string_view zilog;
    std::string_view before;
    bool whole;     // `before` is the whole of the operands
    bool relative;  // a relative jump
};
constexpr std::array<Renamed, 7> kRenamed = {{
    {keyword_byte("JNZ"), "JR", "NZ,", false, true},
    {keyword_byte("JZ"), "JR", "Z,", false, true},
    {keyword_byte("JNC"), "JR", "NC,", false, true},
    {keyword_byte("JC"), "JR", "C,", false, true},
    {keyword_byte("SLI"), "SLL", "", false, false},
    {keyword_byte("EXA"), "EX", "AF,AF'", true, false},
    {keyword_byte("EXD"), "EX", "DE,HL", true, false},
}};

const Renamed* renamed(unsigned char token) {
    const auto found = std::find_if(kRenamed.begin(), kRenamed.end(),
                                    [token](const Renamed& row) { return row.token == token; });
    return found == kRenamed.end() ? nullptr : &*found;
}

// How the operands of an instruction read values.
struct OperandUse {
    bool memory = false;    // a value wholly in parentheses is an address
    bool relative = false;  // its last value is a relative jump's target
};

std::string register_name(const TranslationRun& run, std::string_view word) {
    static constexpr std::array<std::string_view, 4> kHalves = {"HX", "LX", "HY", "LY"};
    const auto half = std::find(kHalves.begin(), kHalves.end(), word);
    if (half != kHalves.end()) {
        return std::string(run.spelling.index_halves[static_cast<std::size_t>(half - kHalves.begin())]);
    }
    return std::string(word);
}

// ALASM's value of an expression of numbers alone.
std::optional<std::uint16_t> known_value_of_constant(std::string_view text) {
    const ParsedExpression parsed = parse_expression(text);
    if (!parsed.expression) {
        return std::nullopt;
    }
    std::set<std::string, std::less<>> names;
    collect_labels(*parsed.expression, names);
    if (!names.empty() || reads_here(*parsed.expression)) {
        return std::nullopt;
    }
    return evaluate_expression(*parsed.expression, {}, std::nullopt);
}

// A constant displacement as a byte the target takes, where it would not
// take the number as written: a sum below zero in pasmo, which computes on
// 16 unsigned bits (it takes (IX+n) for n to 127, and (IX-n) for n to 128,
// and a difference such as -#FFE0, which ALASM takes as +32, not at all);
// #FF in sjasmplus.
std::optional<std::string> displacement_byte(const TranslationRun& run, std::string_view base,
                                             std::uint16_t constant, ValueRange range,
                                             bool negated, bool negated_name) {
    const int byte = constant & 0xFF;
    const int value = byte >= 0x80 ? byte - 0x100 : byte;
    const bool whole = value >= 0 ? constant == value : constant == value + 0x10000;
    const bool taken = run.spelling.computes_on_32_bits
                           ? range.low == value && range.high == value
                           : whole && negated == (value < 0) && (value >= 0 || negated_name);
    if (taken) {
        return std::nullopt;
    }
    return std::string(base) + (value < 0 ? "-" : "+") + std::to_string(value < 0 ? -value : value) +
           ")";
}

// (IX+d): ALASM reads the displacement as an expression from its sign, and
// keeps its low byte.
std::optional<std::string> indexed(TranslationRun& run, const Classified& operand,
                                   Output& output) {
    const std::string_view base = operand.word;
    const std::string_view displacement = trim(operand.text);
    if (displacement.empty()) {
        return std::string(base) + ")";
    }
    if (displacement.front() != '+' && displacement.front() != '-') {
        fail(output, "an index wants + or - before its displacement");
        return std::nullopt;
    }
    ValueRange range;
    const auto written = expression(run, displacement, ValueUse::Truncated, output, &range);
    if (!written) {
        return std::nullopt;
    }
    const bool negated = written->front() == '-';
    const bool negated_name = negated && grouped(written->substr(1)) == written->substr(1);
    if (const auto constant = known_value_of_constant(displacement)) {
        if (auto byte = displacement_byte(run, base, *constant, range, negated, negated_name)) {
            return byte;
        }
    }
    if (written->front() == '-' && (run.spelling.computes_on_32_bits || negated_name)) {
        return std::string(base) + *written + ")";
    }
    return std::string(base) + "+" + *written + ")";
}

std::optional<std::string> value_operand(TranslationRun& run, std::string_view value,
                                         OperandUse use, bool last, Output& output) {
    if (use.memory && wholly_parenthesised(value)) {
        const auto inner =
            expression(run, value.substr(1, value.size() - 2), ValueUse::Truncated, output);
        if (!inner) {
            return std::nullopt;
        }
        return "(" + *inner + ")";
    }
    // A relative jump's distance counts from where the bytes lie.
    auto written =
        expression(run, value, ValueUse::Truncated, output, nullptr, use.relative && last);
    if (!written) {
        return std::nullopt;
    }
    if (!use.relative && !written->empty() && written->front() == '(') {
        *written = "+" + *written;  // a value, not memory
    }
    return written;
}

std::optional<std::string> code_operands(TranslationRun& run, std::span<const Classified> operands,
                                         OperandUse use, Output& output) {
    std::string text;
    for (std::size_t i = 0; i < operands.size(); ++i) {
        const Classified& operand = operands[i];
        text += i > 0 ? "," : "";
        std::optional<std::string> written;
        if (operand.kind == OperandKind::Register) {
            written = register_name(run, operand.word);
        } else if (operand.kind == OperandKind::Indexed) {
            written = indexed(run, operand, output);
        } else {
            written = value_operand(run, trim(operand.text), use, i + 1 == operands.size(), output);
        }
        if (!written) {
            return std::nullopt;
        }
        text += *written;
    }
    return text;
}

bool is_zero(const Classified& operand) {
    return operand.kind == OperandKind::Value && trim(operand.text) == "0";
}

// IN F,(C) and OUT (C),0, as the target spells them.
const InstructionSpelling* port_with_flags(const TranslationRun& run, const Line& line,
                                           std::span<const Classified> operands) {
    if (line.token == keyword::kInf) {
        return &run.spelling.in_f;
    }
    if (line.token == keyword::kOut && operands.size() == 2 && operands[0].word == "(C)" &&
        is_zero(operands[1])) {
        return &run.spelling.out_c_zero;
    }
    return nullptr;
}

// SUB A,x, AND A,x, XOR A,x, OR A,x and CP A,x: ALASM makes an instruction
// of each operand, A's too, where the same words in Zilog's spelling are
// one instruction on x. Which a source means cannot be told from it.
bool reads_as_accumulator_form(const Line& line, std::span<const Classified> operands) {
    static constexpr std::array<unsigned char, 5> kAccumulated = {
        keyword_byte("SUB"), keyword_byte("AND"), keyword_byte("XOR"), keyword_byte("OR"),
        keyword_byte("CP"),
    };
    return operands.size() > 1 && operands[0].kind == OperandKind::Register &&
           operands[0].word == "A" &&
           std::find(kAccumulated.begin(), kAccumulated.end(), line.token) != kAccumulated.end();
}

// One instruction of the line, with the operands it takes.
void one_instruction(TranslationRun& run, const LabelField& label, const Line& line,
                     std::span<const Classified> operands, Output& output) {
    const Renamed* row = renamed(line.token);
    if (row != nullptr && row->whole) {
        emit(run, label, row->zilog, row->before, output);
        return;
    }
    if (const InstructionSpelling* port = port_with_flags(run, line, operands)) {
        emit(run, label, port->mnemonic, port->operands, output);
        output.lines.back() += port->note;
        return;
    }
    OperandUse use;
    use.memory = line.token == keyword::kLd || line.token == keyword::kIn ||
                 line.token == keyword::kOut;
    use.relative = line.token == keyword::kJr || line.token == keyword::kDjnz ||
                   (row != nullptr && row->relative);
    auto text = code_operands(run, operands, use, output);
    if (!text) {
        return;
    }
    if (row != nullptr) {
        text->insert(0, row->before);
    }
    emit(run, label, row != nullptr ? row->zilog : line.word, *text, output);
}

// Whether a helper value set before the line, from `first` on, reads $:
// it would read the first instruction's address, not its own.
bool helpers_read_here(const TranslationRun& run, std::size_t first) {
    return std::any_of(run.helpers.begin() + static_cast<std::ptrdiff_t>(first),
                       run.helpers.end(), [](const HelperValue& helper) {
                           return helper.text.find('$') != std::string::npos;
                       });
}

}  // namespace

// An instruction with more operands than it takes is one instruction per
// operand, or pair, in order, the line's label on the first.
void code(TranslationRun& run, const LabelField& label, const Line& line, Output& output) {
    OperandRoom<Classified, 8> room(line.operands.size());
    const std::span<Classified> operands = room.values();
    for (std::size_t i = 0; i < operands.size(); ++i) {
        operands[i] = classify(line.operands[i]);
        if (operands[i].kind == OperandKind::Bad) {
            fail(output, "an operand is neither a register nor a value");
            return;
        }
    }
    note_emitted(run);
    const auto each = operands_each(line.token, operands.size());
    if (!each) {
        fail(output, std::string(line.word) + " with " + std::to_string(operands.size()) +
                         (operands.size() == 1 ? " operand" : " operands"));
        return;
    }
    if (*each < operands.size() && reads_as_accumulator_form(line, operands)) {
        const std::string word(line.word);
        fail(output, word + " A,x: whether ALASM makes " + word + " A and " + word + " x of it, " +
                         "or reads it as Zilog's spelling of " + word + " x, is not known");
        return;
    }
    const std::size_t count = *each == 0 ? 1 : operands.size() / *each;
    const std::span<const Classified> all(operands.data(), operands.size());
    for (std::size_t i = 0; i < count && output.problem.empty(); ++i) {
        const std::size_t helpers = run.helpers.size();
        one_instruction(run, i == 0 ? label : LabelField{}, line, all.subspan(i * *each, *each),
                        output);
        if (i > 0 && helpers_read_here(run, helpers)) {
            fail(output, "a rotation of $ in an instruction after the line's first");
        }
    }
}

}  // namespace korve
