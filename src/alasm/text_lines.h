// Text read a line at a time, as korvex takes the texts it packs: LF or CR
// LF line ends, one line held at a time, lines longer than any ALASM line
// refused unread.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "base/byte_reader.h"
#include "formats/alasm_lines.h"

namespace korve {

// The longest line read: korve's longest line, in UTF-8 characters of up to
// four bytes each. Longer lines are refused unread.
inline constexpr std::size_t kLongestTextLine = 4 * kLongestLine;

// Reads text a line at a time, holding one line.
class TextLineReader {
public:
    explicit TextLineReader(ByteReader& input) : input_(input) {}

    struct Line {
        std::string_view text;  // without the LF, or CR LF, that ends it
        bool whole = true;      // false: cut at kLongestTextLine bytes
    };

    // The next line; nothing at the end of the input. Text that ends without
    // a line end still ends its last line.
    std::optional<Line> next();

private:
    ByteReader& input_;
    std::string line_;
};

}  // namespace korve
