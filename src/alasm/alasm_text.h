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
//
// The records are read as alasm_source.h says, one at a time: the text of
// any size takes the same memory.
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "base/byte_reader.h"
#include "base/code_page.h"
#include "formats/alasm_lines.h"
#include "formats/alasm_source.h"
#include "formats/container.h"
#include "formats/line_writer.h"

namespace korve {

// What a source's text file is named: the source's whole name and this
// (GAME.$h.asm, PGMFLASH.H.asm).
inline constexpr std::string_view kTextSuffix = ".asm";

enum class TextLayout : unsigned char { Stored, Tidy };
enum class LineEnd : unsigned char { Lf, CrLf };

// The line end of text files where the program runs: korve's, in text mode.
#ifdef _WIN32
inline constexpr LineEnd kPlatformLineEnd = LineEnd::CrLf;
#else
inline constexpr LineEnd kPlatformLineEnd = LineEnd::Lf;
#endif

// A line end's characters.
std::string_view line_end_text(LineEnd end);

struct TextOptions {
    Reading reading = Reading::AsKorve;  // korvex reads as ALASM does
    TextLayout layout = TextLayout::Stored;
    std::optional<CodePage> charset;  // none: the bytes as stored
    LineEnd line_end = kPlatformLineEnd;
};

// A line as the layout lays it out: as described, or tidy.
DescribedLine laid_out(DescribedLine line, TextLayout layout);

// A line of the tidy layout, from its record's parts, in parts: the label's
// pieces, the mnemonic as "\tWORD\t" (or "\tWORD" where it ends the line),
// then the operands' pieces, trailing spaces cut.
DescribedLine tidy_line(const DescribedLine& line);

// Where lines of text go: each through the code page, if one is chosen,
// then its line end, in large blocks; or, without a stream, nowhere (the
// lines are only counted by whoever writes them).
class TextSink {
public:
    TextSink(std::FILE* output, const TextOptions& options);

    // korve's own bytes, written straight into the block: room for a line,
    // then its size. Only where no code page is chosen.
    LineRoom room();
    bool commit(std::size_t size);

    // Writes `text` and a line end; a '\n' in it ends a line too. False
    // when the write failed.
    bool write(std::string_view text);

    bool flush();
    std::error_code error() const { return writer_ ? writer_->error() : std::error_code(); }

private:
    bool write_line(std::string_view line);

    std::optional<CodePage> charset_;
    std::optional<LineWriter> writer_;
    std::unique_ptr<std::array<char, kLineRoom>> scratch_;
    std::string converted_;  // a line through the code page
};

enum class TextOutcome : unsigned char {
    Converted,       // every line, up to the end of the data
    UndefinedToken,  // stopped at a keyword byte that has no keyword
    ReadFailed,
    WriteFailed,
};

struct TextReport {
    TextOutcome outcome = TextOutcome::Converted;
    SourceHead head;
    SourceEnd end;  // `lines`: the lines written
    std::error_code error;  // why the read or write failed
};

// Converts the ALASM data of `input`, which stands at its start and holds
// data at `place` (container.h), writing the text to `output`; with no output
// the lines are only counted. The output is left open, flushed.
TextReport convert_to_text(ByteReader& input, const AlasmPlace& place, const TextOptions& options,
                           std::FILE* output);

}  // namespace korve
