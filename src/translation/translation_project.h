// What a translation knows of the sources translated with it, and what it
// gives back for a line: the declarations every part of the translator
// shares (alasm_translation.h has the whole).
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "alasm/alasm_expression.h"
#include "alasm/dialect.h"

namespace korve {

struct AlasmSource;
struct SourceFacts;

// The start of every line that stands for one the translator cannot show to
// be equal.
inline constexpr std::string_view kUntranslatedMark = ";!";

// The heading of every translation begins so: it tells a reader, and
// korvex pack and put, that the text is written for another assembler,
// not in ALASM's own dialect. pasmo's translation begins with a line of
// it; sjasmplus's first line ends with it, a comment, so that each stored
// line keeps its number.
inline constexpr std::string_view kTranslatedMark = "; Translated by korvex for ";

// The whole heading of a translation for `dialect`.
std::string translated_heading(Dialect dialect);

// The heading in a text's first line, from kTranslatedMark on, where the
// line begins with the mark or ends with a translation's heading; else
// nothing.
std::string_view translation_heading(std::string_view first_line);

// TR-DOS names with their type ("SCRUTIL.H") to the names of the files
// written for them.
using IncludeNames = std::map<std::string, std::string, std::less<>>;

// Sources translated together, as the files of one folder or disk: what
// each translation must know of the others.
struct Project {
    Dialect dialect = Dialect::Sjasmplus;
    IncludeNames includes;
    // Macros that the project's files define (a name alone on an indented
    // line calls one of these, or one its own file defines above it).
    std::set<std::string, std::less<>> macros;
    // How many of the project's sources define each name (a label, EQU or
    // '='): where no other source does, a name not defined so far in its
    // own is not defined at that point of the assembly.
    // Only names a source asks about (IF0 ?N) are counted.
    NameMap<std::size_t> defining_sources;
    // A source leaves a DISP open at its end, for an ENT in another.
    bool disp_left_open = false;
    // The target assembles into its memory, as ALASM does (sjasmplus's
    // DEVICE), because one of the sources needs it: an ORG goes back below
    // bytes already written, or {a} reads bytes the source wrote.
    bool in_memory = false;
    // The translations' file names that the sources include (include_file).
    std::set<std::string, std::less<>> included_files;
    // Bytes of 0x80 and above are written in another encoding (--charset):
    // a string that holds them is written with them as numbers, so that it
    // still assembles to the bytes stored.
    bool high_bytes_as_numbers = false;
    // What settle_project found of each source it settled (its line count
    // a check), by the source's address, for that source's translation.
    struct Settled {
        std::size_t lines = 0;
        std::shared_ptr<const SourceFacts> facts;
    };
    std::map<const AlasmSource*, Settled> settled;
};

// A line that cannot be translated, and why; its text stands in the
// translation as a comment that starts with kUntranslatedMark. `number`
// counts from 1; the end's problems (a block left open) stand on the last
// line.
struct UntranslatedLine {
    std::size_t number = 0;
    std::string reason;

    bool operator==(const UntranslatedLine&) const = default;
};

// One line of a source, translated: the target's lines for it, joined by
// '\n', and why it could not be translated, if it could not.
struct TranslatedLine {
    std::string text;
    std::optional<UntranslatedLine> untranslated;
};

// A line of the target: label, tab, mnemonic, and a tab and the operands.
std::string instruction(std::string_view label, std::string_view mnemonic,
                        std::string_view operands);
// The same after the label `text` holds, built in place.
void add_instruction(std::string& text, std::string_view mnemonic, std::string_view operands);

// The file an INCLUDE's name gives when the project does not map it:
// "SCRUTIL" gives "SCRUTIL.H.asm", "DATA.C" gives "DATA.C.asm".
std::string default_include_file(std::string_view trdos_name);

// The TR-DOS name and type ("SCRUTIL.H") that an INCLUDE's name stands for.
std::string include_key(std::string_view trdos_name);

// The file the project writes for the source an INCLUDE (or MAIN) names:
// the name as the project holds it, or in another case where only one
// does so.
std::string include_file(const Project& project, std::string_view trdos_name);

}  // namespace korve
