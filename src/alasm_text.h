// ALASM data to text, the way korvex writes it: a line per record, in the
// layout, character set and line end asked for.
//
// By default the text is korve's, byte for byte: every line as stored, its
// bytes as they are. The choices:
//
//   layout stored  korve's: label, tab, mnemonic, tab, operands, with the
//                  space runs that ALASM stored
//          tidy    label, one tab, mnemonic, one tab, operands: the space
//                  runs stored next to those two tabs are dropped, a line
//                  without operands ends after its mnemonic, and trailing
//                  spaces are dropped; nothing else changes. Worked out from
//                  the parts of each record (describe_record), never from
//                  the text.
//   charset        bytes of 0x80 and above read in a code page, written in
//                  UTF-8; none: as stored
//   line end       LF or CR LF after every line, the last one included
//   translator     a hook that writes each line in another assembler's
//                  dialect instead (see LineTranslator)
//
// The input is converted as korve converts it: the header, then records
// while the data's length lasts (the first one always), the last one read
// to its own end; at the end of the input, what is there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "alasm_lines.h"
#include "byte_reader.h"
#include "code_page.h"
#include "container.h"

namespace korve {

enum class TextLayout : unsigned char { Stored, Tidy };
enum class LineEnd : unsigned char { Lf, CrLf };

// The line end of text files where the program runs: korve's, in text mode.
#ifdef _WIN32
inline constexpr LineEnd kPlatformLineEnd = LineEnd::CrLf;
#else
inline constexpr LineEnd kPlatformLineEnd = LineEnd::Lf;
#endif

// Where another assembler's dialect plugs in: given a line's number (from 1)
// and its record's parts, sets `text` to what the line becomes (several
// lines, joined by '\n', if need be). Returns why the line could not be
// translated, if it could not; the text is still written.
using LineTranslator = std::function<std::optional<std::string>(
    std::size_t number, const DescribedLine& line, std::string& text)>;

// A line end's characters.
std::string_view line_end_text(LineEnd end);

// Sees each line in its parts, as it is written: the line as laid out
// (tidy or stored), its bytes before any code page; for a translated line,
// the ALASM line it came from. For whoever shows the text in colour.
using LineObserver = std::function<void(std::size_t number, const DescribedLine& line)>;

struct TextOptions {
    TextLayout layout = TextLayout::Stored;
    std::optional<CodePage> charset;  // none: the bytes as stored
    LineEnd line_end = kPlatformLineEnd;
    LineTranslator translator;  // none: ALASM's own dialect
    LineObserver observer;      // none: nobody looks
};

enum class TextOutcome : unsigned char {
    Converted,       // every line, up to the end of the data
    UndefinedToken,  // stopped at a keyword byte that has no keyword
    ReadFailed,
    WriteFailed,
};

struct TextReport {
    TextOutcome outcome = TextOutcome::Converted;
    std::string name;                         // the header's name: its bytes up to the first zero
    bool checksum_matches = true;             // a Hobeta header's
    std::size_t lines = 0;                    // lines written
    std::int64_t data_size = 0;               // bytes of ALASM data read, its header included
    std::optional<UndefinedToken> undefined;  // with UndefinedToken: on line `lines` + 1
    std::size_t cut_line = 0;  // the line whose record the input ends inside; 0: none
    int error_number = 0;  // errno of a failed read or write, where it was set
};

// Converts the ALASM data of `input`, which stands at its start and holds
// data of `kind` (holds_alasm), writing the text to `output`; with no output
// the lines are only counted. The output is left open, flushed.
TextReport convert_to_text(ByteReader& input, InputKind kind, const TextOptions& options,
                           std::FILE* output);

// A line of the tidy layout, from its record's parts, in parts: the label's
// pieces, the mnemonic as "\tWORD\t" (or "\tWORD" where it ends the line),
// then the operands' pieces, trailing spaces cut.
DescribedLine tidy_line(const DescribedLine& line);

}  // namespace korve
