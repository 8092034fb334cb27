#include "alasm/instruction_size.h"

#include <algorithm>
#include <array>

namespace korve {
namespace {

enum class Shape : unsigned char {
    Byte,       // A B C D E H L
    Half,       // HX LX HY LY: an index register's half
    Special,    // I R
    Pair,       // BC DE HL SP AF AF'
    Index,      // IX IY
    AtHl,       // (HL)
    AtPair,     // (BC) (DE)
    AtSp,       // (SP)
    AtIndex,    // (IX) (IY): (IX+0), or JP's (IX)
    Indexed,    // (IX+d)
    AtC,        // (C)
    Condition,  // NZ NC PO PE P M Z
    Value,      // n, nn
    Address,    // (nn)
    Unknown,
};

template <std::size_t N>
bool among(std::string_view word, const std::array<std::string_view, N>& words) {
    return std::find(words.begin(), words.end(), word) != words.end();
}

Shape shape_of(const OperandShape& operand) {
    if (operand.kind == OperandKind::Value) {
        return operand.memory ? Shape::Address : Shape::Value;
    }
    if (operand.kind == OperandKind::Indexed) {
        return Shape::Indexed;
    }
    if (operand.kind != OperandKind::Register) {
        return Shape::Unknown;
    }
    const std::string_view word = operand.word;
    static constexpr std::array<std::string_view, 7> kBytes = {"A", "B", "C", "D", "E", "H", "L"};
    static constexpr std::array<std::string_view, 4> kHalves = {"HX", "LX", "HY", "LY"};
    static constexpr std::array<std::string_view, 6> kPairs = {"BC", "DE", "HL", "SP", "AF", "AF'"};
    static constexpr std::array<std::string_view, 7> kConditions = {"NZ", "NC", "PO", "PE",
                                                                    "P",  "M",  "Z"};
    if (among(word, kBytes)) {
        return Shape::Byte;
    }
    if (among(word, kHalves)) {
        return Shape::Half;
    }
    if (word == "I" || word == "R") {
        return Shape::Special;
    }
    if (among(word, kPairs)) {
        return Shape::Pair;
    }
    if (word == "IX" || word == "IY") {
        return Shape::Index;
    }
    if (word == "(HL)") {
        return Shape::AtHl;
    }
    if (word == "(BC)" || word == "(DE)") {
        return Shape::AtPair;
    }
    if (word == "(SP)") {
        return Shape::AtSp;
    }
    if (word == "(IX)" || word == "(IY)") {
        return Shape::AtIndex;
    }
    if (word == "(C)") {
        return Shape::AtC;
    }
    if (among(word, kConditions)) {
        return Shape::Condition;
    }
    return Shape::Unknown;
}

bool uses_index(Shape shape) {
    return shape == Shape::Half || shape == Shape::Index || shape == Shape::AtIndex ||
           shape == Shape::Indexed;
}

bool is_byte_register(Shape shape) { return shape == Shape::Byte || shape == Shape::Half; }

bool at_indexed(Shape shape) { return shape == Shape::Indexed || shape == Shape::AtIndex; }

// The size of LD d,s without the index prefix and displacement.
std::optional<std::size_t> load_size(Shape to, Shape from, std::string_view to_word,
                                     std::string_view from_word) {
    const bool to_a = to_word == "A";
    const bool from_a = from_word == "A";
    if ((to == Shape::Special && from_a) || (to_a && from == Shape::Special)) {
        return 2;  // LD I,A  LD A,R
    }
    if (is_byte_register(to) && (is_byte_register(from) || from == Shape::AtHl)) {
        return 1;
    }
    if ((to == Shape::AtHl || at_indexed(to)) && is_byte_register(from)) {
        return 1;
    }
    if (is_byte_register(to) && at_indexed(from)) {
        return 1;
    }
    if ((is_byte_register(to) || to == Shape::AtHl || at_indexed(to)) && from == Shape::Value) {
        return 2;
    }
    if ((to_a && from == Shape::AtPair) || (to == Shape::AtPair && from_a)) {
        return 1;
    }
    if ((to_a && from == Shape::Address) || (to == Shape::Address && from_a)) {
        return 3;
    }
    const bool to_hl = to_word == "HL" || to == Shape::Index;
    const bool from_hl = from_word == "HL" || from == Shape::Index;
    if ((to == Shape::Pair || to == Shape::Index) && to_word != "AF" && from == Shape::Value) {
        return 3;
    }
    if ((to_hl && from == Shape::Address) || (to == Shape::Address && from_hl)) {
        return 3;
    }
    if ((to == Shape::Pair && from == Shape::Address) || (to == Shape::Address && from == Shape::Pair)) {
        return 4;  // LD BC,(nn) and the like: ED, opcode, address
    }
    if (to_word == "SP" && from_hl) {
        return 1;
    }
    return std::nullopt;
}

// How an instruction is built, which gives its size.
enum class Form : unsigned char {
    Single,      // an opcode alone, no operands
    Extended,    // ED and an opcode, no operands
    Return,      // RET, RET cc: an opcode
    Opcode,      // one opcode byte (and any index prefix and displacement)
    Interrupt,   // IM n: ED and an opcode
    Group,       // CB and an opcode: shifts, BIT, SET, RES
    Add,         // as Arithmetic, but ADD HL,rr is an opcode alone
    Arithmetic,  // on A with a register or a byte, or ED and an opcode on HL
    Jump,        // JP nn, JP (HL)
    Relative,    // an opcode and a distance
    Call,        // an opcode and an address
    Port,        // IN and OUT: an opcode and a port, or ED and an opcode
    Load,        // LD, by its operands
};

struct FormRow {
    std::string_view mnemonic;  // of ALASM's first table
    Form form;
};

constexpr std::array<FormRow, 76> kForms = {{
    {"NOP", Form::Single}, {"RLCA", Form::Single}, {"RRCA", Form::Single},
    {"RLA", Form::Single}, {"RRA", Form::Single}, {"DAA", Form::Single},
    {"CPL", Form::Single}, {"SCF", Form::Single}, {"CCF", Form::Single},
    {"HALT", Form::Single}, {"EXX", Form::Single}, {"DI", Form::Single},
    {"EI", Form::Single}, {"EXA", Form::Single}, {"EXD", Form::Single},
    {"NEG", Form::Extended}, {"RETN", Form::Extended}, {"RETI", Form::Extended},
    {"RRD", Form::Extended}, {"RLD", Form::Extended}, {"LDI", Form::Extended},
    {"LDIR", Form::Extended}, {"LDD", Form::Extended}, {"LDDR", Form::Extended},
    {"CPI", Form::Extended}, {"CPIR", Form::Extended}, {"CPD", Form::Extended},
    {"CPDR", Form::Extended}, {"INI", Form::Extended}, {"INIR", Form::Extended},
    {"IND", Form::Extended}, {"INDR", Form::Extended}, {"OUTI", Form::Extended},
    {"OTIR", Form::Extended}, {"OUTD", Form::Extended}, {"OTDR", Form::Extended},
    {"INF", Form::Extended},
    {"RET", Form::Return},
    {"RST", Form::Opcode}, {"PUSH", Form::Opcode}, {"POP", Form::Opcode},
    {"INC", Form::Opcode}, {"DEC", Form::Opcode}, {"EX", Form::Opcode},
    {"IM", Form::Interrupt},
    {"RLC", Form::Group}, {"RRC", Form::Group}, {"RL", Form::Group}, {"RR", Form::Group},
    {"SLA", Form::Group}, {"SRA", Form::Group}, {"SLI", Form::Group}, {"SLL", Form::Group},
    {"SRL", Form::Group}, {"BIT", Form::Group}, {"SET", Form::Group}, {"RES", Form::Group},
    {"ADD", Form::Add}, {"ADC", Form::Arithmetic}, {"SUB", Form::Arithmetic},
    {"SBC", Form::Arithmetic}, {"AND", Form::Arithmetic}, {"XOR", Form::Arithmetic},
    {"OR", Form::Arithmetic}, {"CP", Form::Arithmetic},
    {"JP", Form::Jump},
    {"JR", Form::Relative}, {"DJNZ", Form::Relative}, {"JNZ", Form::Relative},
    {"JZ", Form::Relative}, {"JNC", Form::Relative}, {"JC", Form::Relative},
    {"CALL", Form::Call},
    {"IN", Form::Port}, {"OUT", Form::Port},
    {"LD", Form::Load},
}};

std::optional<Form> form_of(std::string_view mnemonic) {
    for (const FormRow& row : kForms) {
        if (row.mnemonic == mnemonic) {
            return row.form;
        }
    }
    return std::nullopt;
}

// The operands' shapes, and what an index register adds to an instruction.
struct Shapes {
    std::array<Shape, 2> shape{Shape::Unknown, Shape::Unknown};
    bool index = false;         // a prefix byte
    bool displacement = false;  // and a displacement byte
};

std::optional<Shapes> shapes_of(std::span<const OperandShape> operands) {
    Shapes shapes;
    if (operands.size() > shapes.shape.size()) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < operands.size(); ++i) {
        shapes.shape[i] = shape_of(operands[i]);
        if (shapes.shape[i] == Shape::Unknown) {
            return std::nullopt;
        }
        shapes.index = shapes.index || uses_index(shapes.shape[i]);
        shapes.displacement = shapes.displacement || at_indexed(shapes.shape[i]);
    }
    return shapes;
}

}  // namespace

std::optional<std::size_t> instruction_size(std::string_view mnemonic,
                                            std::span<const OperandShape> operands) {
    const auto form = form_of(mnemonic);
    const auto shapes = shapes_of(operands);
    if (!form || !shapes) {
        return std::nullopt;
    }
    const std::size_t count = operands.size();
    const std::size_t extra = (shapes->index ? 1 : 0) + (shapes->displacement ? 1 : 0);
    const Shape last = count == 0 ? Shape::Unknown : shapes->shape[count - 1];
    if (*form == Form::Single || *form == Form::Extended) {
        return count == 0 ? std::optional<std::size_t>(*form == Form::Single ? 1 : 2)
                          : std::nullopt;
    }
    if (count == 0) {
        return *form == Form::Return ? std::optional<std::size_t>(1) : std::nullopt;
    }
    switch (*form) {
        case Form::Return:
        case Form::Opcode: return 1 + extra;
        case Form::Interrupt: return 2;
        case Form::Group: return 2 + extra;
        case Form::Add:
        case Form::Arithmetic: {
            const bool pairs =
                count == 2 && (operands[0].word == "HL" || shapes->shape[0] == Shape::Index);
            if (pairs) {
                return (*form == Form::Add ? 1 : 2) + extra;
            }
            // ALASM reads OR (n) as OR n: the parentheses only group.
            return (last == Shape::Value || last == Shape::Address ? 2 : 1) + extra;
        }
        case Form::Jump:
            if (last == Shape::AtHl || last == Shape::AtIndex) {
                return 1 + (shapes->index ? 1 : 0);  // JP (IX) has no displacement
            }
            return 3;
        case Form::Relative: return 2;
        case Form::Call: return 3;
        case Form::Port: return count == 2 ? std::optional<std::size_t>(2) : std::nullopt;
        case Form::Load: {
            if (count != 2) {
                return std::nullopt;
            }
            const auto size =
                load_size(shapes->shape[0], shapes->shape[1], operands[0].word, operands[1].word);
            return size ? std::optional<std::size_t>(*size + extra) : std::nullopt;
        }
        default: return std::nullopt;
    }
}

}  // namespace korve
