// ALASM data read as korve reads it: its header, then its line records while
// the data's length lasts. Every byte a record's length byte claims counts,
// those past the end of the input too; the first record is always read, even
// when the header used the length up; the last one read runs to its own end,
// past the length if need be; at the end of the input, what is there.
//
// A conversion reads the records one at a time and writes each line as it
// goes. A translation needs the whole source at once (a line's translation
// may hang on lines after it): read_source keeps its records, as stored,
// and describes a line from its record where it is used. A line described
// whole takes about eight times its record's bytes; records keep a source
// of any size within a small multiple of the input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <system_error>
#include <vector>

#include "base/byte_reader.h"
#include "formats/alasm_lines.h"
#include "formats/container.h"

namespace korve {

// What comes before the records: the container's header and the data's own.
struct SourceHead {
    std::string name;              // the header's bytes up to the first zero
    bool checksum_matches = true;  // a Hobeta header's; bare data has none
    // Bytes of the data's length left for its records: the container's
    // length less the 64-byte header. May be 0 or less.
    std::int64_t records_length = 0;
    std::int64_t header_size = 0;  // bytes of the 64-byte header the input held
    // Its length is a header's (a Hobeta file's, a catalogue's), not the end
    // of the input: bare data has none of its own.
    bool measured = false;
};

// Takes the container's header and the data's header from `input`, which
// holds ALASM data at `place` (container.h) and stands at its start; the records
// follow.
SourceHead read_source_head(ByteReader& input, const AlasmPlace& place);

// The part of the data's length that records have not claimed yet.
class RecordBudget {
public:
    explicit RecordBudget(const SourceHead& head)
        : left_(head.records_length), measured_(head.measured) {}

    // Counts a record whose length byte claims `size` bytes, just taken;
    // whether another record is to be read.
    bool more_after(std::size_t size, ByteReader& input) {
        return more_after(size) && !input.at_end();
    }

    // The same where the input is known to hold more bytes.
    bool more_after(std::size_t size) {
        left_ -= static_cast<std::int64_t>(size);
        return left_ > 0;
    }

    // Bytes of the data's length that records have not claimed yet.
    std::int64_t left() const { return left_; }

    // Once no record is left to read: the bytes of the data's length that the
    // input ended before, as where a catalogue's length passes the file's
    // sectors. Bare data runs to the end of its input, and lacks none.
    std::int64_t short_by(ByteReader& input) const {
        return measured_ && left_ > 0 && input.at_end() ? left_ : 0;
    }

private:
    std::int64_t left_;
    bool measured_;
};

// How reading a source's records ended.
struct SourceEnd {
    std::size_t lines = 0;       // lines read, before an undefined token
    std::int64_t data_size = 0;  // bytes of data read, its header included
    std::optional<UndefinedToken> undefined;  // then on line `lines` + 1
    std::size_t cut_line = 0;  // the line whose record the input ends inside; 0: none
    std::int64_t short_by = 0;  // bytes of the data's length past the input's end
    std::error_code read_error;  // why reading failed, where it did
};

// A source held whole: its header, its records as stored (less their length
// bytes), and how reading ended. Lines count from 0 here.
struct AlasmSource {
    Reading reading = Reading::AsKorve;  // how its lines are read
    SourceHead head;
    SourceEnd end;
    std::vector<unsigned char> records;  // each line's content, back to back
    std::vector<std::uint32_t> ends;     // where each line's content ends in `records`

    std::size_t size() const { return ends.size(); }
    std::span<const unsigned char> record(std::size_t index) const;
    // Adds a line's record content at the end.
    void add(std::span<const unsigned char> content);
    DescribedLine line(std::size_t index) const { return describe_record(record(index), reading); }
};

// The most bytes of data read_source keeps: more than any image holds is no
// source to translate (std::errc::file_too_large).
inline constexpr std::size_t kLargestSource = kLargestImage;

// Reads the ALASM data at `place` from `input`'s start whole, up to an undefined
// token or the end of its data.
AlasmSource read_source(ByteReader& input, const AlasmPlace& place, Reading reading);

}  // namespace korve
