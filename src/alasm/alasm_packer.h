// ALASM data built from text a line at a time, as alasm_pack.h stores each
// line: the data's header (the name, ALASM's type, the cursor on the first
// line, the mark), the records, and the final 0x00. A packer holds one line
// and the data it builds, never more.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "alasm/alasm_pack.h"
#include "base/byte_reader.h"

namespace korve {

// Builds ALASM data from text given a line at a time.
class AlasmPacker {
public:
    // Data named `name`, which check_trdos_name (trdos_image.h) passes: the
    // header's name is the catalogue's.
    explicit AlasmPacker(std::string_view name);

    // Adds the next line, without its line end; `whole` is false for a line
    // cut short at kLongestTextLine bytes. After an error, add no more lines.
    std::optional<PackError> add_line(std::string_view line, bool whole = true);

    // Ends the text: then data() is the whole ALASM data.
    std::optional<PackError> finish();
    const std::string& data() const { return data_; }

    std::size_t lines() const { return lines_; }
    std::size_t rewritten_lines() const { return rewritten_; }
    const RawLines& raw_lines() const { return raw_; }

private:
    bool fits(std::size_t more) const;

    std::string data_;
    std::size_t lines_ = 0;
    std::size_t rewritten_ = 0;
    RawLines raw_;
    std::size_t empty_lines_ = 0;  // not stored yet: the last one ends the data
};

// Packs the whole text of `input` (its bytes stored as they are) into data
// named `name`.
struct PackedText {
    std::string data;  // empty on an error
    std::optional<PackError> error;
    std::size_t lines = 0;
    std::size_t rewritten_lines = 0;
    RawLines raw_lines;
};
PackedText pack_text(ByteReader& input, std::string_view name);

}  // namespace korve
