// What an ALASM text holds, for the language server: the problems pack
// finds in it (each line pack refuses is left out, and the rest packed
// again, so that one refusal hides no other), characters its code page
// lacks, blocks left open or closed twice, and its labels, macros, LOCAL
// blocks and the names each line reads, where they stand in the text. Then,
// over the texts of one project, which definition a name read stands for
// (LOCAL and '@' as ALASM takes them), names defined twice and names never
// defined.
//
// Places are a line (from 0) and byte offsets of its UTF-8 text: the
// server converts them to the client's units. Every text is read as
// korvex reads ALASM text: packed by pack_source_text, then read back as
// its records, each line through the translator's reader of a line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "base/code_page.h"
#include "formats/alasm_source.h"

namespace korve::lsp {

struct Range {
    std::size_t line = 0;
    std::size_t start = 0;
    std::size_t end = 0;
};

// A problem found, with ALASM's error number where it has one.
// A warning is no error of ALASM's (a translation's report).
struct Finding {
    Range range;
    std::string text;
    std::optional<int> code;
    bool warning = false;
};

// ALASM's numbers: 0 a syntax error, 3 a short jump out of range, 6 a
// label defined twice.
inline constexpr int kSyntaxError = 0;
inline constexpr int kShortJump = 3;
inline constexpr int kDefinedTwice = 6;

// A text packed as korvex packs it: its lines (UTF-8), its source where
// every line but those refused packed, and what was refused.
struct PackedText {
    std::vector<std::string> lines;
    std::optional<AlasmSource> source;
    std::vector<Finding> problems;
};
PackedText pack_text(std::string_view utf8, CodePage page);

// Labels; names EQU gives a value; names '=' sets (ALASM lets it set them
// again); macros.
enum class NameKind : unsigned char { Label, Constant, Variable, Macro };

// A scope is 0 (the project's) or a LOCAL block's number, from 1.
struct Definition {
    std::string name;  // UTF-8
    NameKind kind = NameKind::Label;
    Range range;
    std::size_t scope = 0;
    bool in_macro = false;  // in a MACRO's body: defined where it is called
};

struct Use {
    std::string name;
    Range range;
    std::size_t scope = 0;  // the innermost LOCAL block around it
    bool asks = false;      // ?NAME: asks whether it is defined
    bool in_macro = false;
    bool operated = false;  // read by an operator other than + and -
};

struct LocalBlock {
    std::size_t first = 0;  // its LOCAL's line
    std::size_t last = 0;   // its ENDL's, or the text's last
    std::size_t parent = 0;
};

struct Fold {
    std::size_t first = 0;
    std::size_t last = 0;
};

// A JR or DJNZ out of a macro's body: its target's expression, where it
// stands, and the LOCAL block around it (lsp_reach.h).
struct RelativeJump {
    Range range;
    std::string target;  // the operand, UTF-8
    std::size_t scope = 0;
};

struct TextFacts {
    std::vector<Finding> problems;
    std::vector<Definition> definitions;
    std::vector<Use> uses;
    std::vector<LocalBlock> locals;  // block N is locals[N - 1]
    std::vector<Fold> folds;
    std::vector<Range> loose_ents;      // ENTs after no DISP of this text
    bool leaves_disp_open = false;      // for an ENT in another text
    std::vector<RelativeJump> jumps;
};

// The facts of a packed text, whose project's macros are `macros` (a name
// alone on an indented line calls one).
TextFacts analyse_text(const PackedText& packed, CodePage page,
                       const std::set<std::string, std::less<>>& macros);

}  // namespace korve::lsp
