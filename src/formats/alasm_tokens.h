// Keyword tokens of ALASM 5.x source data.
//
// ALASM stores every keyword of a source line (mnemonic, directive, register,
// register pair, indirection, condition) as one byte of 0x80 or above. The
// first keyword decoded on a line is an instruction or directive; every later
// one is an operand. The two kinds use separate tables, and many bytes mean
// different words in each (0xA0 is DISPLAY as a first token, (DE) as an
// operand). Both tables are fixed; 0xFF is a single space in both.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace korve {

// Every byte from here up is a keyword's, where a keyword may stand.
inline constexpr unsigned char kFirstKeywordByte = 0x80;

// The longest keyword in either table ("INCLUDE", "DISPLAY").
inline constexpr std::size_t kLongestKeyword = 7;

// Which table spells a token: the first keyword of a line, or a later one.
enum class TokenMode : unsigned char { First, Operand };

// The mode of the ordinal-th token decoded on a line (ordinals start at 1).
constexpr TokenMode token_mode(long ordinal) {
    return ordinal == 1 ? TokenMode::First : TokenMode::Operand;
}

// The two tables, here in the header so that the line decoder can look words
// up inline and build its own tables from them at compile time.
namespace keyword_tables {

using Table = std::array<std::string_view, 256>;

inline constexpr unsigned char kSpaceToken = 0xFF;  // one space, in both tables
inline constexpr std::string_view kSpace = " ";

// First tokens: instructions and directives, one per byte from 0x80 upwards
// without gaps, in the order ALASM numbers them.
inline constexpr unsigned char kFirstTokenBase = kFirstKeywordByte;
inline constexpr std::array<std::string_view, 103> kFirstTokenWords = {
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
inline constexpr std::array<std::pair<unsigned char, std::string_view>, 37> kOperandWords = {{
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

inline constexpr Table kFirstTable = make_first_table();
inline constexpr Table kOperandTable = make_operand_table();

}  // namespace keyword_tables

// The keyword text of `byte` in the table of `mode`; nothing if the byte has
// no entry there. The text is a view of a constant string.
constexpr std::optional<std::string_view> decode_token(unsigned char byte, TokenMode mode) {
    // A reference, not a copy: GCC 12 refuses to copy an element of a
    // constexpr table inside a constant expression.
    const std::string_view& word = mode == TokenMode::First ? keyword_tables::kFirstTable[byte]
                                                             : keyword_tables::kOperandTable[byte];
    if (word.empty()) {
        return std::nullopt;
    }
    return word;
}

// The byte that spells `word` in the table of `mode`, the reverse of
// decode_token over the same tables; nothing if no byte does. Exact: the
// tables hold upper case only.
constexpr std::optional<unsigned char> encode_token(std::string_view word, TokenMode mode) {
    const keyword_tables::Table& table =
        mode == TokenMode::First ? keyword_tables::kFirstTable : keyword_tables::kOperandTable;
    for (std::size_t byte = 0; byte < table.size(); ++byte) {
        // compare(), not ==, which would copy the element (see decode_token).
        if (!word.empty() && table[byte].compare(word) == 0) {
            return static_cast<unsigned char>(byte);
        }
    }
    return std::nullopt;
}

// How an undefined token is named in the error message: "|0xE7|" for a first
// token, " |0x80|" (with a leading space) for an operand.
std::string undefined_token_text(unsigned char byte, TokenMode mode);

}  // namespace korve
