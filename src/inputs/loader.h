// The loader: one input (a file, or standard input) read once, whole, and
// graded: what kind it is, its bytes, a disk image's catalogue, and every
// verdict on it as problems, decided here alone:
//
//   verdict                          named                 walked
//   cannot be opened                 error, status 2       the same
//   reading failed                   error, status 2       the same
//   larger than any image            error, status 1:      skipped, as what
//     ("holds no ALASM data and       nothing read is kept  is neither kind
//     no disk image")
//   an image that lost files it      error, status 1       the same
//     cannot name (entries, count)
//   any other problem of an image    warning               the same
//   a floppy image's file on a       error, status 1       the same
//     damaged sector (its data lost,
//     as a file a .trd cuts short)
//   a floppy image's catalogue on a  error, status 1       the same
//     damaged sector, or no TR-DOS
//     disk on the floppy
//   a floppy image's own problem     warning: its files    the same
//     (cut short, a wrong file CRC)  say what it cost
//
// A file of ALASM text (kind AlasmText) is read where a verb asks for it
// (TextInputs): one named *.asm, in any case, or any input named on the
// command line with --alasm-text; never told by its bytes. It is packed in
// memory as pack packs it, and `bytes` are then that ALASM data. What pack
// refuses is an error at its line and column (status 1), and the input is
// not read; a translation korvex wrote is skipped with a note where a walk
// found it (kind None), and refused as pack refuses it where a user named it.
//
// A floppy image (FDI, UDI, TD0) is read once into the .trd it carries:
// `bytes` are then that .trd's, which every verb reads as a .trd's, and
// `own` the file's own bytes, which put's editor and its in-place check take.
//
// What an input that is neither kind means is the verb's: a walk skips it,
// `list` lists it, `diff` compares its bytes. Nothing here prints.
#pragma once

#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "base/code_page.h"
#include "base/problem.h"
#include "formats/container.h"
#include "formats/trdos_image.h"
#include "inputs/korvex_inputs.h"

namespace korve {

struct LoadedInput {
    InputKind kind = InputKind::None;  // None: neither kind, too large, or not read
    bool opened = false;               // it was opened (an error is then in reading)
    bool read = false;                 // `bytes` are all it holds
    std::error_code error;             // why it could not be opened or read
    std::vector<unsigned char> bytes;  // at most one more than any image holds; a floppy's .trd
    std::vector<unsigned char> own;    // a floppy image's own bytes; empty for any other kind
    FloppyProblem floppy = FloppyProblem::None;  // a floppy image's own problem
    DiskImage image;                   // a disk image's catalogue
    std::vector<Problem> problems;     // the verdicts above, in order
    // Of those, the first ones: a floppy image's own and its catalogue's,
    // which the .trd it carries does not show.
    std::size_t floppy_problems = 0;
    OpenedInput alasm;                 // ALASM data left open (AlasmData::LeftOpen), at its first byte
    // An ALASM text's name less ".asm", which its outputs are named by as
    // a file's are by its name (fade0.asm: fade0).
    std::optional<std::string> text_name;

    Status status() const;  // the worst of the problems'
    // The file's own bytes: a floppy image's, else `bytes`.
    std::span<const unsigned char> file() const;
};

// Of an input of `kind` read as `bytes` (a floppy's .trd) and `own`, the
// bytes its file holds: what put writes over and checks again.
std::span<const unsigned char> file_bytes(InputKind kind, std::span<const unsigned char> bytes,
                                          std::span<const unsigned char> own);

// What becomes of ALASM data: read whole and graded as any input, or left
// open, to be read as a stream of any length (a text is written from it as
// it is read).
enum class AlasmData : unsigned char { ReadWhole, LeftOpen };

// Whether a verb reads files of ALASM text, and how, for one input:
// `named` where the command line names it (else a walk found it), `any_name`
// where --alasm-text makes every input named ALASM text whatever its name.
// Their characters of 0x80 and above are UTF-8, stored in `charset` where
// one is given, as pack stores them.
struct TextInputs {
    bool read = false;
    bool named = false;
    bool any_name = false;
    std::optional<CodePage> charset;
};

// The input as a loaded input names its outputs: an ALASM text by its
// file's name less ".asm", anything else as the node.
Source loaded_source(const InputNode& node, const LoadedInput& loaded);

// An input that a user named on the command line: standard input for "-".
InputNode named_input(const std::string& input);

// Reads a file node, or standard input, once and grades it; `walked` where a
// walk found it rather than a user named it.
LoadedInput load_input(const InputNode& node, std::FILE* stdin_stream, bool walked,
                       AlasmData alasm = AlasmData::ReadWhole, const TextInputs& texts = {});

// Grades bytes read whole (at most one more than the largest image) of an
// input that messages name `shown`.
LoadedInput grade_input(std::string_view shown, std::vector<unsigned char> bytes, bool walked);

// "holds no ALASM data and no disk image": a named input that is neither.
inline constexpr std::string_view kNeitherKind = "holds no ALASM data and no disk image";

}  // namespace korve
