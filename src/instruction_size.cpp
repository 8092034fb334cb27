#include "instruction_size.h"

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

}  // namespace

std::optional<std::size_t> instruction_size(std::string_view mnemonic,
                                            std::span<const OperandShape> operands) {
    std::array<Shape, 2> shapes{Shape::Unknown, Shape::Unknown};
    if (operands.size() > shapes.size()) {
        return std::nullopt;
    }
    bool index = false;
    bool displacement = false;
    for (std::size_t i = 0; i < operands.size(); ++i) {
        shapes[i] = shape_of(operands[i]);
        if (shapes[i] == Shape::Unknown) {
            return std::nullopt;
        }
        index = index || uses_index(shapes[i]);
        displacement = displacement || at_indexed(shapes[i]);
    }
    const std::size_t count = operands.size();
    const std::size_t extra = (index ? 1 : 0) + (displacement ? 1 : 0);
    const Shape last = count == 0 ? Shape::Unknown : shapes[count - 1];

    static constexpr std::array<std::string_view, 15> kSingle = {
        "NOP", "RLCA", "RRCA", "RLA", "RRA", "DAA", "CPL", "SCF",
        "CCF", "HALT", "EXX",  "DI",  "EI",  "EXA", "EXD",
    };
    static constexpr std::array<std::string_view, 22> kExtended = {
        "NEG", "RETN", "RETI", "RRD", "RLD",  "LDI",  "LDIR", "LDD",  "LDDR", "CPI",  "CPIR",
        "CPD", "CPDR", "INI",  "INIR", "IND", "INDR", "OUTI", "OTIR", "OUTD", "OTDR", "INF",
    };
    static constexpr std::array<std::string_view, 9> kShifts = {
        "RLC", "RRC", "RL", "RR", "SLA", "SRA", "SLI", "SLL", "SRL",
    };
    static constexpr std::array<std::string_view, 8> kArithmetic = {
        "ADD", "ADC", "SUB", "SBC", "AND", "XOR", "OR", "CP",
    };
    static constexpr std::array<std::string_view, 6> kRelative = {
        "JR", "DJNZ", "JNZ", "JZ", "JNC", "JC",
    };

    if (among(mnemonic, kSingle)) {
        return count == 0 ? std::optional<std::size_t>(1) : std::nullopt;
    }
    if (among(mnemonic, kExtended)) {
        return count == 0 ? std::optional<std::size_t>(2) : std::nullopt;
    }
    if (count == 0) {
        return mnemonic == "RET" ? std::optional<std::size_t>(1) : std::nullopt;
    }
    if (mnemonic == "RET" || mnemonic == "RST" || mnemonic == "PUSH" || mnemonic == "POP" ||
        mnemonic == "INC" || mnemonic == "DEC" || mnemonic == "EX") {
        return 1 + extra;
    }
    if (mnemonic == "IM") {
        return 2;
    }
    if (among(mnemonic, kShifts) || mnemonic == "BIT" || mnemonic == "SET" || mnemonic == "RES") {
        return 2 + extra;
    }
    if (among(mnemonic, kArithmetic)) {
        const bool pairs = count == 2 && (operands[0].word == "HL" || shapes[0] == Shape::Index);
        if (pairs) {
            return (mnemonic == "ADD" ? 1 : 2) + extra;
        }
        return (last == Shape::Value ? 2 : 1) + extra;
    }
    if (mnemonic == "JP") {
        if (last == Shape::AtHl || last == Shape::AtIndex) {
            return 1 + (index ? 1 : 0);  // JP (IX) has no displacement
        }
        return 3;
    }
    if (among(mnemonic, kRelative)) {
        return 2;
    }
    if (mnemonic == "CALL") {
        return 3;
    }
    if (mnemonic == "IN" || mnemonic == "OUT") {
        return count == 2 ? std::optional<std::size_t>(2) : std::nullopt;
    }
    if (mnemonic == "LD" && count == 2) {
        const auto size = load_size(shapes[0], shapes[1], operands[0].word, operands[1].word);
        if (!size) {
            return std::nullopt;
        }
        return *size + extra;
    }
    return std::nullopt;
}

}  // namespace korve
