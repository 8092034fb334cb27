// The translator's view of ALASM's keywords: each by the byte ALASM stores
// for it (alasm_tokens.h), and the directives as one table, so that a line
// is told by its mnemonic's byte and never by its text.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "formats/alasm_tokens.h"

namespace korve {

// The byte of a keyword of the first table. A word the table lacks is no
// constant: the program does not compile.
consteval unsigned char keyword_byte(std::string_view word) {
    return encode_token(word, TokenMode::First).value();
}

// The instructions the translator tells apart.
namespace keyword {
inline constexpr unsigned char kLd = keyword_byte("LD");
inline constexpr unsigned char kIn = keyword_byte("IN");
inline constexpr unsigned char kOut = keyword_byte("OUT");
inline constexpr unsigned char kJr = keyword_byte("JR");
inline constexpr unsigned char kDjnz = keyword_byte("DJNZ");
inline constexpr unsigned char kInf = keyword_byte("INF");
inline constexpr unsigned char kSpace = keyword_tables::kSpaceToken;
}  // namespace keyword

// What a mnemonic does, where it is no instruction.
enum class Directive : unsigned char {
    None,  // an instruction
    Equ, Org, Bytes, Words, Space, Packed, Include, Incbin, Main, Display, Run,
    Dup, Edup, Repeat, Until, IfZero, IfNotZero, Else, EndIf, Disp, Ent, Local, EndLocal,
    Macro, EndMacro,
};

struct DirectiveRow {
    std::string_view word;
    Directive directive;
    bool writes;  // writes bytes, or may (an INCLUDE's text)
};

inline constexpr std::array<DirectiveRow, 28> kDirectives = {{
    {"EQU", Directive::Equ, false},
    {"ORG", Directive::Org, false},
    {"DB", Directive::Bytes, true},
    {"DEFB", Directive::Bytes, true},
    {"DW", Directive::Words, true},
    {"DEFW", Directive::Words, true},
    {"DS", Directive::Space, true},
    {"DEFS", Directive::Space, true},
    {"DD", Directive::Packed, true},
    {"INCLUDE", Directive::Include, true},
    {"INCBIN", Directive::Incbin, true},
    {"MAIN", Directive::Main, false},
    {"DISPLAY", Directive::Display, false},
    {"RUN", Directive::Run, false},
    {"DUP", Directive::Dup, false},
    {"EDUP", Directive::Edup, false},
    {"REPEAT", Directive::Repeat, false},
    {"UNTIL0", Directive::Until, false},
    {"IF0", Directive::IfZero, false},
    {"IFN", Directive::IfNotZero, false},
    {"ELSE", Directive::Else, false},
    {"ENDIF", Directive::EndIf, false},
    {"DISP", Directive::Disp, false},
    {"ENT", Directive::Ent, false},
    {"LOCAL", Directive::Local, false},
    {"ENDL", Directive::EndLocal, false},
    {"MACRO", Directive::Macro, false},
    {"ENDM", Directive::EndMacro, false},
}};

// The row of each byte: an instruction's (and an unused byte's) is the
// empty one, which writes bytes.
inline constexpr DirectiveRow kInstructionRow = {{}, Directive::None, true};

consteval std::array<DirectiveRow, 256> make_directive_table() {
    std::array<DirectiveRow, 256> table{};
    table.fill(kInstructionRow);
    for (const DirectiveRow& row : kDirectives) {
        table[keyword_byte(row.word)] = row;
    }
    return table;
}

inline constexpr std::array<DirectiveRow, 256> kDirectiveTable = make_directive_table();

constexpr const DirectiveRow& directive_row(unsigned char token) { return kDirectiveTable[token]; }
constexpr Directive directive_of(unsigned char token) { return kDirectiveTable[token].directive; }

}  // namespace korve
