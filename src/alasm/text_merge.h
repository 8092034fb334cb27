// An edited text merged back into the ALASM source it was written from, so
// that what the user did not change comes back byte for byte.
//
// The text is compared, line by line (line_diff.h), with the text korvex
// writes for the source with the same layout and code page. A line both
// hold keeps its stored record exactly, whatever record pack would make of
// it: ALASM also stores " \tRET\t" as FF C9, which pack stores as 01 C9. So
// does a line an editor only tidied: one that differs from the record's
// line only in blank space, where each run of it between two parts of the
// line outside strings and comments is any other run (tabs expanded to
// spaces at any width, spaces turned into tabs), and blank space may end
// the line or not. Blank space inside a string or a comment is the text's
// own, and a run is never added or dropped but at the end: a line that
// starts with blank space has no label. A changed or added line is stored
// as pack stores it (alasm_pack.h), after the code page's encoding; a
// removed line goes. The header keeps every
// field but the records' length (offset 33): its name, its cursor, its
// signature.
//
// The data's final 0x00 reads as an empty last line. Data that ended with
// it still does, as pack ends its data: the text's last line, when empty, is
// that 0x00, and text without an empty last line gains it all the same.
//
// A source is merged only when it is read whole: one whose records run
// past its bytes, or that holds a keyword byte with no keyword, is refused,
// since the lines korvex could not show cannot be kept.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "alasm/alasm_pack.h"
#include "alasm/alasm_text.h"
#include "base/code_page.h"
#include "formats/alasm_lines.h"

namespace korve {

// A source as stored: its header and each line's whole record, its length
// byte included.
struct StoredSource {
    std::string header;
    std::vector<std::string> records;
    bool ends_with_zero = false;  // its last record is the final 0x00
};

// Why a stored source cannot be merged.
struct StoredProblem {
    std::size_t line = 0;                     // from 1: the line that the data ends inside, or that stops
    std::optional<UndefinedToken> undefined;  // none: the data ends inside the line
    std::size_t short_by = 0;  // the data ends after line `line`, this many bytes short of its length
};

// Reads ALASM data whose first byte is bytes[0] and whose length, its header
// included, is `length`; a last record may run past the length into the
// bytes after it, as korvex reads it.
struct ReadStored {
    std::optional<StoredSource> source;
    StoredProblem problem;  // where there is no source
};
ReadStored read_stored(std::span<const unsigned char> bytes, std::size_t length);

// How the text was written: as korvex text writes it with these options.
struct MergeOptions {
    TextLayout layout = TextLayout::Stored;
    std::optional<CodePage> charset;
};

// The lines korvex text writes for a stored source, without their ends.
std::vector<std::string> stored_text(const StoredSource& source, const MergeOptions& options);

// Why a line of the text cannot be stored: a character the code page lacks,
// at byte `at` of the line, or pack's reason.
struct MergeFailure {
    std::size_t line = 0;           // from 1
    std::optional<PackError> pack;  // none: the character at `at` has no byte in the code page
    std::size_t at = 0;
};

struct MergedSource {
    std::string data;  // the ALASM data, header included; empty on a failure
    std::optional<MergeFailure> failure;
    std::size_t kept = 0;       // lines whose records were kept
    std::size_t tidied = 0;     // of the kept ones, lines that differ from theirs only in blank space
    std::size_t stored = 0;     // lines changed or added, stored as pack stores them
    std::size_t removed = 0;    // lines of the source the text no longer holds
    std::size_t rewritten = 0;  // of the stored ones, lines that read back in korve's layout
    RawLines raw;               // of the stored ones, lines stored as raw text
    bool unchanged = false;     // every line kept, none removed: the data as it was
};

// The fewest bytes a record that korvex text writes as `line` (without its
// line end), in any layout and code page, can take: its length byte and a
// content byte for every kLongestSpaceRun characters but the closing quote
// of a string left open. No content byte reads as more (a keyword with its
// tabs, or a character in UTF-8, reads as fewer), so no text whose lines'
// fewest bytes, and a header, pass kLargestAlasmData can be stored: put
// stops reading it there.
std::size_t fewest_record_bytes(std::string_view line);

// Merges `text`, a line at a time, into a stored source.
MergedSource merge_text(const StoredSource& source, std::span<const std::string> text,
                        const MergeOptions& options);

// A new source named `name` from `text`, as pack stores it.
MergedSource pack_lines(std::string_view name, std::span<const std::string> text,
                        const std::optional<CodePage>& charset);

}  // namespace korve
