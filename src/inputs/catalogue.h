// What an input holds, as `korvex list` tells it: a table a person reads at
// a glance, or a JSON document for scripts.
//
// The JSON document is one object, {"inputs": [INPUT, ...]}, an INPUT per
// file named or found in a folder, in that order:
//
//   "input"      the path, as messages name it
//   "kind"       "alasm" (bare ALASM data), "hobeta" (behind a Hobeta
//                header), "trd", "scl", "fdi", "udi", "td0" (floppy
//                images of a TR-DOS disk), "hobeta-file" (a Hobeta file of
//                other data), "none" (none of these), or "error" (it could
//                not be read; "error" then gives the reason)
//   for ALASM data:
//   "name"       the name in its header, its bytes read as CP866
//   "length"     bytes of ALASM data, header included
//   "lines"      lines of text it gives (before an undefined token)
//   "output"     the name of its text file
//   for a Hobeta file of other data: its header's "name", "type",
//   "start", "length" and "sectors", as an image's files give them
//   for an image:
//   "files"      its live files in catalogue order, each with "name" and
//                "type" (TR-DOS's, bytes read as CP866), "start", "length",
//                "sectors" (the catalogue's), "alasm" (true, false, or
//                null where its data is lost), and for ALASM data "lines"
//                and "output" as above
//   "problems"   for ALASM data, an image and each of its files: a list of
//                {"key", "text"} and, where a line is meant, "line". ALASM
//                data's keys: "undefined-token", "data-ends-inside",
//                "data-ends-short", "hobeta-checksum-mismatch"; an image's
//                and its files', as the page names them: "cut-short",
//                "past-the-disk", "count-too-large", "checksum-mismatch",
//                "sector-damaged" (a floppy image's sector of the file is
//                missing, cut or failed its CRC: its text names the sector)
//
// A name read as CP866 gives its bytes back when written in CP866 again:
// the page maps every byte to a character of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "alasm/alasm_text.h"
#include "base/byte_reader.h"
#include "formats/alasm_lines.h"
#include "formats/container.h"
#include "formats/trdos_image.h"

namespace korve {

// One file's ALASM data, as converting it found it.
struct AlasmSummary {
    std::string name;  // the header's bytes
    std::int64_t length = 0;
    std::size_t lines = 0;
    bool checksum_matches = true;
    std::optional<UndefinedToken> undefined;  // on line lines + 1
    std::size_t cut_line = 0;
    std::string output;  // the name of its text file
    std::int64_t short_by = 0;  // bytes of its length past the input's end
};

struct EntrySummary {
    TrdosName name;
    std::uint16_t start = 0;
    unsigned char sectors = 0;
    std::uint16_t length = 0;
    ImageProblem problem = ImageProblem::None;
    std::string problem_text;           // and in words, naming a damaged sector
    std::optional<AlasmSummary> alasm;  // for ALASM data
};

// What a listing says an input is: of its kind, as container.h's table names
// it; or, beyond the kinds, unreadable, or a Hobeta file of other data.
enum class ListedAs : unsigned char { OfKind, Error, HobetaFile };

struct InputSummary {
    std::string input;  // the path as shown
    InputKind kind = InputKind::None;
    ListedAs listed = ListedAs::OfKind;
    std::string error;  // for Error: why it could not be read
    std::optional<AlasmSummary> alasm;
    ImageProblem problem = ImageProblem::None;  // an image's
    std::string problem_text;                   // and in words
    std::vector<EntrySummary> entries;  // a HobetaFile's: its header's fields
};

// The most bytes a Hobeta file holds: its header and 255 sectors.
inline constexpr std::size_t kLargestHobetaFile = kHobetaHeaderSize + kMostSectors * kSectorSize;

// The header of a Hobeta file whose data is not ALASM's, where `file` is one:
// its checksum right, its length within its sectors, and the file as long as
// its length at least and its sectors at most.
std::optional<EntrySummary> summarise_hobeta_file(std::span<const unsigned char> file);

// Converts ALASM data without writing it, to tell what it holds.
AlasmSummary summarise_alasm(ByteReader& input, const AlasmPlace& place, Reading reading,
                             std::string output);

// Reads an image (its catalogue, and the bytes it was read from) and what
// each of its live files holds; `outputs` are the names their text files
// take, in the order of live_entries.
InputSummary summarise_image(std::string input, InputKind kind, const DiskImage& image,
                             std::span<const unsigned char> bytes, Reading reading,
                             std::span<const std::string> outputs);

// What is wrong, in the words of messages and the table.
std::string token_problem(const UndefinedToken& token);  // "0xE7 is no mnemonic"
// Data not read whole, as SourceEnd tells it: "the data ends inside line 12"
// where a record is cut, else "the data ends after line 56, 1153 bytes short
// of its length"; "" for data read to its end.
std::string data_end_problem(std::size_t lines, std::size_t cut_line, std::int64_t short_by);

// The table for one input, a line per file and a line ending each: lines
// end in `line_end`.
std::string summary_table(const InputSummary& summary, std::string_view line_end);

// One input as an element of the JSON document's "inputs".
std::string summary_json(const InputSummary& summary);

// A JSON string of UTF-8 text; a byte that is no UTF-8 becomes \uDCXX (XX
// its value), so that no two names are written alike.
std::string json_string(std::string_view utf8);

}  // namespace korve
