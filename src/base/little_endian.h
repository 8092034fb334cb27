// Little-endian fields, as the ZX Spectrum's formats store their numbers:
// the low byte first. Every such field of every format is read and written
// here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace korve {

// The sizes of the fields the formats store: a 16-bit word and a 32-bit
// double word, of bytes of eight bits.
constexpr std::size_t kWordSize = 2;
constexpr std::size_t kDwordSize = 4;
constexpr unsigned kBitsPerByte = 8;

// The unsigned field of `size` bytes (1 to 4) at `offset` of `bytes`.
std::uint32_t read_little_endian(std::span<const unsigned char> bytes, std::size_t offset,
                                 std::size_t size);

// Writes the low `size` bytes (1 to 4) of `value` into the field at `offset`.
void write_little_endian(std::span<unsigned char> bytes, std::size_t offset, std::size_t size,
                         std::uint32_t value);

// The bytes of a string, as the readers of formats take them.
std::span<const unsigned char> byte_span(std::string_view bytes);

// The bytes of a string, for writing fields into them.
std::span<unsigned char> writable_bytes(std::string& bytes);

}  // namespace korve
