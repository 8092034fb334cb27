// Keyword tokens of ALASM 5.x source data.
//
// ALASM stores every keyword of a source line (mnemonic, directive, register,
// register pair, indirection, condition) as one byte of 0x80 or above. The
// first keyword decoded on a line is an instruction or directive; every later
// one is an operand. The two kinds use separate tables, and many bytes mean
// different words in each (0xA0 is DISPLAY as a first token, (DE) as an
// operand). Both tables are fixed; 0xFF is a single space in both.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace korve {

// The longest keyword in either table ("INCLUDE", "DISPLAY").
inline constexpr std::size_t kLongestKeyword = 7;

// Which table spells a token: the first keyword of a line, or a later one.
enum class TokenMode { First, Operand };

// The mode of the ordinal-th token decoded on a line (ordinals start at 1).
constexpr TokenMode token_mode(long ordinal) {
    return ordinal == 1 ? TokenMode::First : TokenMode::Operand;
}

// The keyword text of `byte` in the table of `mode`; nothing if the byte has
// no entry there. The text is a view of a constant string.
std::optional<std::string_view> decode_token(unsigned char byte, TokenMode mode);

// How an undefined token is named in the error message: "|0xE7|" for a first
// token, " |0x80|" (with a leading space) for an operand.
std::string undefined_token_text(unsigned char byte, TokenMode mode);

}  // namespace korve
