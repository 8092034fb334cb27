#include "lsp/lsp_keywords.h"

#include <algorithm>
#include <array>

#include "formats/alasm_tokens.h"

namespace korve::lsp {
namespace {

constexpr std::array<KeywordHelp, 103> kHelp = {{
    {"ADC", "add with carry: ADC A,s or ADC HL,rr"},
    {"ADD", "add: ADD A,s, or ADD HL/IX/IY,rr"},
    {"AND", "bitwise AND of A and the operand, into A"},
    {"BIT", "test bit b of a register or (HL)/(IX+d): Z set when it is 0"},
    {"CALL", "call a routine (on a condition where one is given): push the return address, jump"},
    {"CCF", "complement the carry flag"},
    {"CP", "compare A with the operand: subtract, keep only the flags"},
    {"CPD", "compare A with (HL), then HL-1 and BC-1"},
    {"CPDR", "CPD repeated until a match or BC=0"},
    {"CPI", "compare A with (HL), then HL+1 and BC-1"},
    {"CPIR", "CPI repeated until a match or BC=0"},
    {"CPL", "complement A: every bit inverted"},
    {"DAA", "decimal-adjust A after a BCD addition or subtraction"},
    {"DB", "bytes: values and strings, one byte each character (DEFB)"},
    {"DD", "dense hex: DD 1D4FDC is DB #1D,#4F,#DC"},
    {"DEC", "decrement a register, pair or memory byte by one"},
    {"DEFB", "bytes: values and strings, one byte each character (DB)"},
    {"DEFS", "DS n[,list]: the list (one zero byte without one) n times"},
    {"DEFW", "words, low byte first (DW)"},
    {"DI", "disable interrupts"},
    {"DISP", "DISP addr: assemble what follows to run at addr, its bytes going on where they were; ENT ends it"},
    {"DISPLAY", "print text and values while assembling (/D decimal, /H hex, /A both, /T the expression, /L same line)"},
    {"DJNZ", "decrement B and jump relative while it is not 0"},
    {"DS", "DS n[,list]: the list (one zero byte without one) n times (DEFS)"},
    {"DUP", "DUP n: assemble the lines up to EDUP n times; blocks nest"},
    {"DW", "words, low byte first (DEFW)"},
    {"EDUP", "ends a DUP block"},
    {"EI", "enable interrupts"},
    {"ELSE", "starts the other branch of an IF0 or IFN"},
    {"ENDIF", "ends an IF0 or IFN block"},
    {"ENDL", "ends a LOCAL block"},
    {"ENDM", "ends a MACRO's body"},
    {"ENT", "ends a DISP block: $ is the assembly address again"},
    {"EQU", "label EQU value: gives the label a value, once"},
    {"EX", "exchange: EX DE,HL, EX AF,AF', EX (SP),HL/IX/IY"},
    {"EXA", "EX AF,AF': exchange AF with its shadow"},
    {"EXD", "EX DE,HL: exchange DE and HL"},
    {"EXX", "exchange BC, DE and HL with their shadows"},
    {"HALT", "wait for an interrupt"},
    {"IF0", "IF0 expr: assemble the block if expr is 0 (else the ELSE branch)"},
    {"IFN", "IFN expr: assemble the block if expr is not 0 (else the ELSE branch)"},
    {"IM", "set the interrupt mode: IM 0, 1 or 2"},
    {"IN", "read a port: IN A,(n) or IN r,(C)"},
    {"INC", "increment a register, pair or memory byte by one"},
    {"INCBIN", "INCBIN \"name\"[,length]: the bytes of a code file, length of them or all"},
    {"INCLUDE", "INCLUDE \"name\": assemble the source name.H here, then go on"},
    {"IND", "read port (C) into (HL), then HL-1 and B-1"},
    {"INDR", "IND repeated until B=0"},
    {"INF", "IN F,(C): read port (C), keep only the flags"},
    {"INI", "read port (C) into (HL), then HL+1 and B-1"},
    {"INIR", "INI repeated until B=0"},
    {"JC", "JR C,e: jump relative if carry"},
    {"JNC", "JR NC,e: jump relative if no carry"},
    {"JNZ", "JR NZ,e: jump relative if not zero"},
    {"JP", "jump (on a condition where one is given), or to (HL)/(IX)/(IY)"},
    {"JR", "jump relative, -126..+129 bytes from the instruction (on NZ, Z, NC or C)"},
    {"JZ", "JR Z,e: jump relative if zero"},
    {"LD", "load: copy the second operand into the first"},
    {"LDD", "copy (HL) to (DE), then HL-1, DE-1 and BC-1"},
    {"LDDR", "LDD repeated until BC=0"},
    {"LDI", "copy (HL) to (DE), then HL+1, DE+1 and BC-1"},
    {"LDIR", "LDI repeated until BC=0"},
    {"LOCAL", "starts a block whose labels are not seen outside it, but those starting with @; ENDL ends it"},
    {"MACRO", "MACRO name: the lines up to ENDM, assembled where the name is written; parameters \\0..\\9"},
    {"MAIN", "MAIN \"name\": in an included source, the main file assembling starts from"},
    {"NEG", "negate A: 0-A"},
    {"NOP", "do nothing for 4 T-states"},
    {"OR", "bitwise OR of A and the operand, into A"},
    {"ORG", "ORG addr[,page]: assemble at addr from here on"},
    {"OTDR", "OUTD repeated until B=0"},
    {"OTIR", "OUTI repeated until B=0"},
    {"OUT", "write a port: OUT (n),A or OUT (C),r"},
    {"OUTD", "write (HL) to port (C), then HL-1 and B-1"},
    {"OUTI", "write (HL) to port (C), then HL+1 and B-1"},
    {"POP", "pop a pair from the stack"},
    {"PUSH", "push a pair onto the stack"},
    {"REPEAT", "assemble the lines up to UNTIL0 again and again until its value is 0"},
    {"RES", "reset bit b of a register or (HL)/(IX+d)"},
    {"RET", "return (on a condition where one is given)"},
    {"RETI", "return from an interrupt"},
    {"RETN", "return from a non-maskable interrupt"},
    {"RL", "rotate left through the carry"},
    {"RLA", "rotate A left through the carry"},
    {"RLC", "rotate left, bit 7 into the carry and bit 0"},
    {"RLCA", "rotate A left, bit 7 into the carry and bit 0"},
    {"RLD", "rotate the digits of A and (HL) left"},
    {"RR", "rotate right through the carry"},
    {"RRA", "rotate A right through the carry"},
    {"RRC", "rotate right, bit 0 into the carry and bit 7"},
    {"RRCA", "rotate A right, bit 0 into the carry and bit 7"},
    {"RRD", "rotate the digits of A and (HL) right"},
    {"RST", "call one of the restart addresses 0, 8, .. #38"},
    {"RUN", "RUN addr[,page]: call a routine while assembling"},
    {"SBC", "subtract with carry: SBC A,s or SBC HL,rr"},
    {"SCF", "set the carry flag"},
    {"SET", "set bit b of a register or (HL)/(IX+d)"},
    {"SLA", "shift left arithmetically: bit 7 into the carry, 0 into bit 0"},
    {"SLI", "shift left, 1 into bit 0 (undocumented)"},
    {"SRA", "shift right arithmetically: bit 0 into the carry, bit 7 kept"},
    {"SRL", "shift right logically: bit 0 into the carry, 0 into bit 7"},
    {"SUB", "subtract the operand from A"},
    {"UNTIL0", "UNTIL0 expr: ends a REPEAT block, which repeats until expr is 0"},
    {"XOR", "bitwise exclusive OR of A and the operand, into A"},
}};

// Every keyword of the first table has its line, and no line names another.
consteval bool covers_the_table() {
    for (const std::string_view word : keyword_tables::kFirstTokenWords) {
        if (std::none_of(kHelp.begin(), kHelp.end(), [&](const KeywordHelp& row) { return row.word == word; })) {
            return false;
        }
    }
    return true;
}
static_assert(covers_the_table(), "a keyword of ALASM's first table has no line in kHelp");

constexpr std::array<std::string_view, 37> kRegisters = {
    "A", "B", "C", "D", "E", "H", "L", "I", "R", "F",  "AF", "AF'", "BC", "DE",  "HL", "IX", "IY", "SP", "HX",
    "LX", "HY", "LY", "NZ", "Z", "NC", "PO", "PE", "P", "M", "(BC)", "(DE)", "(HL)", "(SP)", "(C)", "(IX", "(IY", "$"};

}  // namespace

std::span<const KeywordHelp> keyword_help() { return kHelp; }

std::optional<std::string_view> help_on(std::string_view word) {
    std::string upper(word);
    for (char& c : upper) {
        c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
    }
    const auto found = std::find_if(kHelp.begin(), kHelp.end(), [&](const KeywordHelp& row) { return row.word == upper; });
    return found == kHelp.end() ? std::nullopt : std::optional(found->text);
}

std::span<const std::string_view> register_words() { return kRegisters; }

}  // namespace korve::lsp
