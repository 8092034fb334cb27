// Believable ALASM data of any size, for measuring the converter.
//
// The same seed always gives the same bytes, on every host: the generator
// draws from its own small random sequence and writes every record through
// the test data writer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace korve::bench {

// The kinds of line the data is made of.
enum class DataSet {
    // Lines shaped like real sources: mostly empty lines and short
    // instructions without a label; records of under 8 bytes on average.
    RealShaped,
    // Longer, richer lines: labels, mnemonics from the whole table, up to
    // three operands, many comments, strings and space runs. Shows the cost
    // of each kind of content byte rather than of each record.
    Rich,
};

// The data set a command line names: "real-shaped" or "rich".
std::optional<DataSet> data_set_named(std::string_view name);

// Bare ALASM data of exactly `size` bytes (at least the 64-byte header and
// the closing zero byte): a header named BENCH, then line records of the
// set's kind, padded with empty records to the size, then the zero byte the
// assembler ends its data with.
std::string generate_alasm(DataSet set, std::size_t size, std::uint64_t seed);

// A TR-DOS disk image shaped like those people keep their sources on: 3 to
// 7 files of real-shaped ALASM data, of 400 bytes to 4 KiB each, named SRC1,
// SRC2... of type H, and a code file, CODE.C, as its last file. Trimmed
// after its last file, as some tools keep small disks.
std::string generate_disk(std::uint64_t seed);

}  // namespace korve::bench
