#include "alasm/dialect.h"

#include <algorithm>

namespace korve {
namespace {

// Words sjasmplus reads as operators or registers wherever a value may
// stand, and as conditions after JP, JR, CALL and RET (S and NS too, for
// M and P).
constexpr std::string_view kSjasmplusReserved[] = {
    "A", "ABS", "AF", "AND", "B", "BC", "C", "D", "DE", "E", "EXIST", "F", "H", "HIGH", "HL", "HX",
    "HY", "I", "IX", "IXH", "IXL", "IY", "IYH", "IYL", "L", "LOW", "LX", "LY", "M", "MOD", "NC",
    "NOREL", "NOT", "NS", "NZ", "OR", "P", "PAIR", "PE", "PO", "R", "S", "SHL", "SHR", "SIZEOF",
    "SP", "U16", "XH", "XL", "XOR", "YH", "YL", "Z",
};

// pasmo reserves every instruction, register, condition, directive and
// operator, in any case.
constexpr std::string_view kPasmoReserved[] = {
    "A", "ADC", "ADD", "AF", "AND", "B", "BC", "BIT", "C", "CALL", "CCF", "CP", "CPD", "CPDR",
    "CPI", "CPIR", "CPL", "D", "DAA", "DB", "DE", "DEC", "DEFB", "DEFINED", "DEFL", "DEFM", "DEFS",
    "DEFW", "DI", "DJNZ", "DS", "DW", "E", "EI", "ELSE", "END", "ENDIF", "ENDM", "ENDP", "EQ",
    "EQU", "EX", "EXITM", "EXX", "GE", "GT", "H", "HALT", "HIGH", "HL", "I", "IF", "IM", "IN",
    "INC", "INCBIN", "INCLUDE", "IND", "INDR", "INI", "INIR", "IRP", "IX", "IXH", "IXL", "IY",
    "IYH", "IYL", "JP", "JR", "L", "LD", "LDD", "LDDR", "LDI", "LDIR", "LE", "LOCAL", "LOW", "LT",
    "M", "MACRO", "MOD", "NC", "NE", "NEG", "NOP", "NOT", "NUL", "NZ", "OR", "ORG", "OTDR", "OTIR",
    "OUT", "OUTD", "OUTI", "P", "PE", "PO", "POP", "PROC", "PUBLIC", "PUSH", "R", "REPT", "RES",
    "RET", "RETI", "RETN", "RL", "RLA", "RLC", "RLCA", "RLD", "RR", "RRA", "RRC", "RRCA", "RRD",
    "RST", "SBC", "SCF", "SET", "SHL", "SHR", "SLA", "SLL", "SP", "SRA", "SRL", "SUB", "XOR", "Z",
};

// Sorted and short, in upper case, as target names are looked up in them.
constexpr bool searchable(std::span<const std::string_view> words) {
    // The classic algorithms: the page's standard library lacks the ranges ones.
    return std::is_sorted(words.begin(), words.end()) &&
           std::all_of(words.begin(), words.end(), [](std::string_view word) {
               const auto lower = [](char c) { return c >= 'a' && c <= 'z'; };
               return word.size() <= kLongestReserved &&
                      std::none_of(word.begin(), word.end(), lower);
           });
}
static_assert(searchable(kSjasmplusReserved) && searchable(kPasmoReserved));

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
