#include "alasm_tokens.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdio>
#include <utility>

namespace korve {
namespace {

using Table = std::array<std::string_view, 256>;

constexpr unsigned char kSpaceToken = 0xFF;  // one space, in both tables
constexpr std::string_view kSpace = " ";

// First tokens: instructions and directives, one per byte from 0x80 upwards
// without gaps, in the order ALASM numbers them.
constexpr unsigned char kFirstTokenBase = 0x80;
constexpr std::array<std::string_view, 103> kFirstTokenWords = {
    "INCLUDE",  // 0x80
    "INCBIN",
    "MACRO",
    "LOCAL",
    "RLCA",
    "RRCA",
    "HALT",
    "CALL",
    "PUSH",
    "RETN",
    "RETI",
    "DJNZ",
    "OUTI",
    "OUTD",
    "LDIR",
    "CPIR",
    "INIR",  // 0x90
    "OTIR",
    "LDDR",
    "CPDR",
    "INDR",
    "OTDR",
    "DD",
    "DEFB",
    "DEFW",
    "DEFS",
    "DISP",
    "ENDM",
    "EDUP",
    "ENDL",
    "MAIN",
    "ELSE",
    "DISPLAY",  // 0xA0
    "EXA",
    "DB",
    "DW",
    "DS",
    "NOP",
    "INC",
    "DEC",
    "RLA",
    "RRA",
    "DAA",
    "CPL",
    "SCF",
    "CCF",
    "ADD",
    "ADC",
    "SUB",  // 0xB0
    "SBC",
    "AND",
    "XOR",
    "RET",
    "POP",
    "RST",
    "EXX",
    "RLC",
    "RRC",
    "SLA",
    "SRA",
    "SLI",
    "SRL",
    "BIT",
    "RES",
    "SET",  // 0xC0
    "OUT",
    "NEG",
    "RRD",
    "RLD",
    "LDI",
    "CPI",
    "INI",
    "LDD",
    "CPD",
    "IND",
    "ORG",
    "EQU",
    "ENT",
    "INF",
    "DUP",
    "IFN",  // 0xD0
    "REPEAT",
    "UNTIL0",
    "IF0",
    "LD",
    "JR",
    "JP",
    "OR",
    "CP",
    "EX",
    "DI",
    "EI",
    "IN",
    "RL",
    "RR",
    "IM",
    "ENDIF",  // 0xE0
    "EXD",
    "JNZ",
    "JZ",
    "JNC",
    "JC",
    "RUN",  // 0xE6
};

// Operands: registers, pairs, indirections and conditions, at scattered bytes.
// "(IX" and "(IY" have no closing parenthesis: the displacement and the ")"
// after them are stored as plain characters.
constexpr std::array<std::pair<unsigned char, std::string_view>, 37> kOperandWords = {{
    {0x9F, "(BC)"},
    {0xA0, "(DE)"},
    {0xA1, "(HL)"},
    {0xA2, "(SP)"},
    {0xA3, "(IX)"},
    {0xA4, "(IY)"},
    {0xD0, "(C)"},
    {0xD1, "(IX"},
    {0xD2, "(IY"},
    {0xD3, "AF'"},
    {0xE0, "BC"},
    {0xE1, "DE"},
    {0xE2, "HL"},
    {0xE3, "AF"},
    {0xE4, "IX"},
    {0xE5, "IY"},
    {0xE6, "SP"},
    {0xE7, "NZ"},
    {0xE8, "NC"},
    {0xE9, "PO"},
    {0xEA, "PE"},
    {0xEB, "HX"},
    {0xEC, "LX"},
    {0xED, "HY"},
    {0xEE, "LY"},
    {0xEF, "B"},
    {0xF0, "C"},
    {0xF1, "D"},
    {0xF2, "E"},
    {0xF3, "H"},
    {0xF4, "L"},
    {0xF5, "A"},
    {0xF6, "P"},
    {0xF7, "M"},
    {0xF8, "Z"},
    {0xF9, "R"},
    {0xFA, "I"},
}};

constexpr Table make_first_table() {
    Table table{};
    for (std::size_t i = 0; i < kFirstTokenWords.size(); ++i) {
        table[kFirstTokenBase + i] = kFirstTokenWords[i];
    }
    table[kSpaceToken] = kSpace;
    return table;
}

constexpr Table make_operand_table() {
    Table table{};
    for (const auto& [byte, word] : kOperandWords) {
        table[byte] = word;
    }
    table[kSpaceToken] = kSpace;
    return table;
}

constexpr Table kFirstTable = make_first_table();
constexpr Table kOperandTable = make_operand_table();

constexpr std::size_t defined_entries(const Table& table) {
    std::size_t count = 0;
    for (std::size_t byte = 0; byte < table.size(); ++byte) {
        count += table[byte].empty() ? 0 : 1;
    }
    return count;
}

constexpr std::size_t longest_entry(const Table& table) {
    std::size_t longest = 0;
    for (std::size_t byte = 0; byte < table.size(); ++byte) {
        longest = std::max(longest, table[byte].size());
    }
    return longest;
}

static_assert(defined_entries(kFirstTable) == 104);
static_assert(defined_entries(kOperandTable) == 38, "operand bytes must not repeat");
static_assert(kFirstTable[0xE6] == "RUN" && kFirstTable[0xE7].empty());
static_assert(kFirstTable[0x96] == "DD" && kFirstTable[0xD2] == "UNTIL0");
static_assert(kFirstTable[0xD3] == "IF0" && kFirstTable[0xBC] == "SLI");
static_assert(longest_entry(kFirstTable) == kLongestKeyword);
static_assert(longest_entry(kOperandTable) <= kLongestKeyword);
static_assert(kOperandTable[0xD1] == "(IX" && kOperandTable[0xD3] == "AF'");

}  // namespace

std::optional<std::string_view> decode_token(unsigned char byte, TokenMode mode) {
    const Table& table = mode == TokenMode::First ? kFirstTable : kOperandTable;
    const std::string_view word = table[byte];
    if (word.empty()) {
        return std::nullopt;
    }
    return word;
}

std::string undefined_token_text(unsigned char byte, TokenMode mode) {
    const char* const pattern = mode == TokenMode::First ? "|0x%2.2X|" : " |0x%2.2X|";
    std::array<char, 16> text{};
    std::snprintf(text.data(), text.size(), pattern, static_cast<unsigned>(byte));
    return text.data();
}

}  // namespace korve
