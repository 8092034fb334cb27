// Believable ALASM data of any size, for measuring the converter.
//
// The same seed always gives the same bytes, on every host: the generator
// draws from its own small random sequence and writes every record through
// the test data writer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace korve::bench {

// Bare ALASM data of exactly `size` bytes (at least the 64-byte header and
// the closing zero byte): a header named BENCH, then line records with a mix
// of labels, mnemonics, operands, comments, strings, space runs and empty
// lines, padded with empty records to the size, then the zero byte the
// assembler ends its data with.
std::string generate_alasm(std::size_t size, std::uint64_t seed);

}  // namespace korve::bench
