// Hexadecimal digits of a number, the one writer of them: in messages,
// escapes (\xNN, %NN, \uNNNN), hover text, digests and names.
#pragma once

#include <cstdint>
#include <string>

namespace korve {

enum class HexLetters { Upper, Lower };

// Appends `value`'s digits to `text`, at least `digits` of them (zeros in
// front), more where the value needs them, as printf's "%0*X" does:
// append_hex(text, 0x1F600, 4) appends "1F600".
void append_hex(std::string& text, std::uint32_t value, int digits,
                HexLetters letters = HexLetters::Upper);

// The same digits alone: hex_digits(0xBEEF, 4) is "BEEF".
std::string hex_digits(std::uint32_t value, int digits, HexLetters letters = HexLetters::Upper);

// A byte as a message names it: "0x1F".
std::string hex_byte(unsigned char byte);

}  // namespace korve
