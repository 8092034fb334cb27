#include "alasm/dialect.h"

namespace korve {
namespace {

// Words sjasmplus reads as operators or registers wherever a value may
// stand, and as conditions after JP, JR, CALL and RET (S and NS too, for
// M and P).
constexpr std::string_view kSjasmplusReserved[] = {
    "NOREL", "EXIST", "SIZEOF", "PAIR", "NOT", "LOW", "HIGH", "ABS", "U16",
    "MOD", "SHL", "SHR", "AND", "XOR", "OR",
    "A", "B", "C", "D", "E", "H", "L", "I", "R", "F", "AF", "BC", "DE", "HL", "SP",
    "IX", "IY", "IXH", "IXL", "IYH", "IYL", "HX", "LX", "HY", "LY", "XH", "XL", "YH", "YL",
    "NZ", "Z", "NC", "PO", "PE", "P", "M", "NS", "S",
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

// sjasmplus computes on 32 signed bits and writes its output in order.
constexpr DialectSpelling kSjasmplus = {
    .name = "sjasmplus",
    // Unary operators bind tightest, then * /, + -, shifts, &, ^, |.
    .operators = {{
        {"+", 70}, {"-", 70}, {"*", 80}, {"/", 80}, {"&", 30}, {"|", 10}, {"^", 20},
        {"<<", 60}, {">>", 60}, {"~", 90}, {"-", 90}, {"HIGH ", 90}, {"LOW ", 90},
    }},
    .computes_on_32_bits = true,
    .reserved = kSjasmplusReserved,
    .name_starts = "@",
    .separator = " : ",
    .set_once = " = ",
    .set_again = " = ",
    .repeat_open = "DUP",
    .repeat_close = "EDUP",
    .loop_open = "WHILE",
    .loop_close = "ENDW",
    .repeat_exit = {},
    .zero_test = " == 0",
    .module_open = "MODULE",
    .module_close = "ENDMODULE",
    .lists_local_names = false,
    .displaces = true,
    .keeps_memory_image = false,
    // NOSLOT64K is 64 KiB of RAM in one slot, all zeros to start with.
    .memory = {
        .device = "NOSLOT64K",
        .save = "SAVEBIN",
        .read = {"{", "}"},
        .assembled_file = "__INCLUDE_LEVEL__ == 0",
        .lowest = " <? ",
        .highest = " >? ",
    },
    // EXIST counts a name defined anywhere, even further down.
    .defined_test = {},
    .defined_anywhere_test = "EXIST ",
    .logical_not = "!",
    .prints_display = true,
    .incbin_takes_length = true,
    .index_halves = {"HX", "LX", "HY", "LY"},
    .in_f = {"IN", "F,(C)", {}},
    .out_c_zero = {"OUT", "(C),0", {}},
};

// pasmo computes on 16 unsigned bits, as ALASM does, and keeps an image of
// memory.
constexpr DialectSpelling kPasmo = {
    .name = "pasmo",
    // * / SHL SHR, then + -, then the unary operators (below the
    // comparisons), AND, OR and XOR, and HIGH and LOW below everything.
    .operators = {{
        {"+", 70}, {"-", 70}, {"*", 80}, {"/", 80}, {" AND ", 40}, {" OR ", 30}, {" XOR ", 30},
        {" SHL ", 80}, {" SHR ", 80}, {"~", 50}, {"-", 50}, {"HIGH ", 10}, {"LOW ", 10},
    }},
    .computes_on_32_bits = false,
    .reserved = kPasmoReserved,
    .name_starts = "?@",
    .separator = {},
    .set_once = "\tEQU\t",
    .set_again = "\tDEFL\t",
    .repeat_open = "REPT",
    .repeat_close = "ENDM",
    .loop_open = {},
    .loop_close = {},
    .repeat_exit = "EXITM",
    .zero_test = " = 0",
    .module_open = "PROC",
    .module_close = "ENDP",
    .lists_local_names = true,
    .displaces = false,
    .keeps_memory_image = true,
    .memory = {},
    // DEFINED asks whether the name is defined so far, in each pass.
    .defined_test = "DEFINED ",
    .defined_anywhere_test = {},
    .logical_not = "NOT ",
    .prints_display = false,
    .incbin_takes_length = false,
    .index_halves = {"IXH", "IXL", "IYH", "IYL"},
    .in_f = {"DB", "#ED,#70", "\t; IN F,(C)"},
    .out_c_zero = {"DB", "#ED,#71", "\t; OUT (C),0"},
};

}  // namespace

const DialectSpelling& dialect_spelling(Dialect dialect) {
    // Exhaustive, so that a new target's row cannot be missed here.
    switch (dialect) {
        case Dialect::Pasmo: return kPasmo;
        case Dialect::Sjasmplus:
        case Dialect::Alasm: break;  // ALASM's own text is never translated
    }
    return kSjasmplus;
}

}  // namespace korve
