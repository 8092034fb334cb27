// A run of the translator through a source, a line at a time: what it keeps
// from line to line, and the steps every kind of line takes (writing an
// expression, a label, an instruction). The directives, blocks and
// instructions (translation_directives.h, translation_blocks.h,
// translation_code.h) work on it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "alasm/alasm_expression.h"
#include "alasm/dialect.h"
#include "formats/alasm_source.h"
#include "translation/expression_writer.h"
#include "translation/translation_line.h"
#include "translation/translation_memory.h"
#include "translation/translation_project.h"
#include "translation/translation_survey.h"

namespace korve {

enum class BlockKind : unsigned char { Dup, Repeat, If, Local, Macro, Disp };
inline constexpr std::size_t kBlockKinds = 6;

struct Block {
    BlockKind kind;
    std::size_t line;   // index of the line that opened it
    std::string value;  // a REPEAT's flag, a DUP's count; the word of an IF kept as a comment
    bool has_else = false;
    // Its opening line is kept as a comment (and reported): so are its ELSE
    // and end, without a report of their own.
    bool kept_as_comment = false;
};

// The DUP .. EDUP closed last: its lines, and its count.
struct ClosedRepeat {
    std::size_t dup = 0;
    std::size_t edup = 0;
    std::string count;
};

// The target's lines one line's translation produced. Cleared, they keep
// their strings, room and all, for the next line's: a line is built in
// place (emplace_back), and a run through a source allocates for its lines
// only while they grow.
class OutputLines {
public:
    // A line added at the end, holding `text`, for the caller to go on
    // building. `text` must not be a view of one of these lines: adding may
    // move them.
    std::string& emplace_back(std::string_view text = {});
    void push_back(std::string_view text) { emplace_back(text); }
    // A line put before line `at`.
    void insert(std::size_t at, std::string_view text);
    void clear() { used_ = 0; }

    bool empty() const { return used_ == 0; }
    std::size_t size() const { return used_; }
    std::string& back() { return lines_[used_ - 1]; }
    std::span<const std::string> all() const { return {lines_.data(), used_}; }

private:
    std::vector<std::string> lines_;  // the first used_ are the output's
    std::size_t used_ = 0;
};

// What one line's translation produced: the target's lines, and the line's
// comment with the blank space before it, kept apart until the lines are
// written.
struct Output {
    OutputLines lines;
    std::string comment;
    std::string problem;
};

// Empties an output for the next line, keeping its room.
inline void clear(Output& output) {
    output.lines.clear();
    output.comment.clear();
    output.problem.clear();
}

// A change that a line makes to an earlier line's output: text added to its
// last line, or a line put before its first.
struct OutputEdit {
    enum class Kind : unsigned char { Append, Prepend };
    std::size_t line = 0;
    Kind kind = Kind::Append;
    std::string text;
};

struct TranslationRun {
    TranslationRun(const Project& project, const AlasmSource& source, const SourceFacts& facts)
        : project(project), spelling(dialect_spelling(project.dialect)), source(source),
          facts(facts), macros(project.macros),
          in_memory(project.in_memory && !spelling.memory.device.empty()),
          memory_image(spelling.keeps_memory_image || in_memory) {}

    const Project& project;
    const DialectSpelling& spelling;
    const AlasmSource& source;
    const SourceFacts& facts;
    std::size_t at = 0;  // the line being translated
    std::set<std::string, std::less<>> macros;  // defined so far, or elsewhere
    std::vector<Block> blocks;
    std::array<std::size_t, kBlockKinds> open_blocks{};  // of each kind
    std::vector<HelperValue> helpers;  // of the line being translated
    std::size_t helpers_after = 0;     // how many of its lines come before them
    NameSet defined;  // so far, kept only where a line may ask (?N)
    LabelRanges ranges;
    LabelValues known;                  // ALASM's values of labels, where known
    std::optional<std::uint16_t> here;  // ALASM's $, where known
    std::optional<ClosedRepeat> last_repeat;
    std::string disp_offset;  // pasmo's stand-in for DISP: the run address's distance
    bool emitted = false;     // bytes were written
    std::vector<OutputEdit> edits;  // to earlier lines' output
    // The target assembles into memory it is made to keep (translation_memory.h).
    const bool in_memory;
    // In memory, a source whose ORGs are labelled (translation_memory.h):
    // their values so far.
    std::optional<std::vector<std::string>> labelled_origins;
    // Into memory, kept by itself or made to: ORG goes anywhere.
    const bool memory_image;
    // A line would translate if the target assembled into memory.
    bool needs_memory = false;
    WrittenBytes written;  // where ALASM's bytes are known to have gone
};

// The names the translator makes: "korve_" + `kind` + the line's number.
std::string made_name(std::string_view kind, std::size_t index);

// Keeps the first problem of a line.
void fail(Output& output, std::string what);

// The expression in the target's terms. Inside pasmo's stand-in for DISP,
// $ is the run address; as_placed gives the address where the bytes lie
// instead (the run address less the block's offset).
std::optional<std::string> expression(TranslationRun& run, std::string_view text, ValueUse use,
                                      Output& output, ValueRange* range = nullptr,
                                      bool as_placed = false);

// The line's one operand, a value, in the target's terms.
std::optional<std::string> single_value(TranslationRun& run, const Line& line, Output& output,
                                        ValueUse use = ValueUse::Exact);

// ALASM's value of an expression, where the source says enough to know it.
std::optional<std::uint16_t> known_value(const TranslationRun& run, std::string_view text);

// A string of a DB, its bytes kept: in single quotes where a backslash
// would start an escape in double quotes.
std::string string_item(std::string_view quoted);

// A string of a DB as it assembles to its bytes: where the text is written
// in another encoding, its bytes of 0x80 and above as numbers, between the
// strings of the rest ("AB",#8F,"C").
std::string string_bytes(const TranslationRun& run, std::string_view quoted);

std::string label_text(const TranslationRun& run, const LabelField& label);
// The same, added to `text`.
void add_label_text(std::string& text, const TranslationRun& run, const LabelField& label);
// Whether a name is set more than once ('=' again, in a repeat, or as a
// label '=' sets too): every set of it is one the target lets it set again.
bool set_again(const TranslationRun& run, std::string_view name);
// The line that sets a line's label: the label itself, or NAME = $ where the
// target must let it be set again (or where pasmo stands in for DISP).
// Added to `text`.
void add_label_definition(std::string& text, const TranslationRun& run, const LabelField& label);
void define(TranslationRun& run, std::string_view name);
// What a label set once may hold.
void note_range(TranslationRun& run, std::string_view name, ValueRange range);
// The label of a line as its own line of output, if it has one.
void label_line(TranslationRun& run, const LabelField& label, Output& output);
// An instruction or data line, with its label in place.
void emit(TranslationRun& run, const LabelField& label, std::string_view mnemonic,
          std::string_view operands, Output& output);

// Bytes were written (not while a macro is defined: its body writes where
// it is called).
void note_emitted(TranslationRun& run);
bool in_block(const TranslationRun& run, BlockKind kind);

}  // namespace korve
