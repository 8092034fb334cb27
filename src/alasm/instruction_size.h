// The size in bytes of a Z80 instruction, from its mnemonic and the shape of
// each operand, for a translator that must know how many bytes a few lines
// make without assembling them.
//
// An instruction is an opcode byte, after a prefix byte for an index
// register (0xDD for IX and its halves, 0xFD for IY) and one for the CB and
// ED groups, with a displacement byte for (IX+d), then its immediate value:
//
//   bytes  what                    examples
//   1      opcode                  LD A,B  INC HL  RET NZ  RST #38  EX DE,HL
//   +1     index prefix            LD A,HX  PUSH IX  JP (IX)
//   +1     CB or ED prefix         RLC B  BIT 0,A  NEG  LDIR  ADC HL,DE  IN A,(C)
//   +1     displacement            LD A,(IX+5)  INC (IY-1)  SET 1,(IX+2)
//   +1     byte value              LD A,5  ADD A,n  JR e  DJNZ e  OUT (n),A
//   +2     word value or address   LD HL,nn  JP nn  CALL nn  LD A,(nn)
//
// IM, RST, BIT, SET and RES keep their number in the opcode.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace korve {

enum class OperandKind : unsigned char {
    Bad,       // neither of the others
    Register,  // one keyword: a register, pair, indirection or condition
    Indexed,   // (IX or (IY, a displacement and ')'
    Value,     // an expression
};

struct OperandShape {
    OperandKind kind = OperandKind::Bad;
    std::string_view word;  // a keyword's text: "A", "(HL)", "(IX"
    bool memory = false;  // a value wholly in parentheses: an address
};

// The size of `mnemonic` (a keyword of ALASM's first table) with `operands`;
// nothing for a directive, or a form that is no Z80 instruction.
std::optional<std::size_t> instruction_size(std::string_view mnemonic,
                                            std::span<const OperandShape> operands);

}  // namespace korve
