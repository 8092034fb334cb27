// What a line's translation must know of lines after it, found by going
// through the whole source before translating it: state that grows with the
// source's names, not with its lines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "alasm/alasm_expression.h"
#include "formats/alasm_source.h"
#include "translation/translation_line.h"
#include "translation/translation_project.h"

namespace korve {

struct SourceFacts {
    // The project's macros and those this source defines anywhere.
    std::set<std::string, std::less<>> macros;
    // How often each name is set with '=' or EQU (one set in a repeat, or
    // from itself, counts as set again), and the line it is first set on. A
    // label that '=' sets too counts each line it labels as a set.
    NameMap<std::size_t> assignments;
    NameMap<std::size_t> first_assignment;
    // The target's names of the labels each LOCAL block defines, by the
    // block's first line, in the order they are defined.
    std::map<std::size_t, std::vector<std::string>> local_names;
    std::optional<std::size_t> last_write;  // the last line that writes bytes
    std::uint32_t text_hash = 0;            // of every line's text, for names
    // Whether an ORG $-k follows an EDUP, with nothing but blank lines
    // between: it may take back bytes of the repeat's last pass.
    bool org_after_repeat = false;
    // Whether the source may need the target to assemble into memory: it
    // has more than one ORG, or a '{'.
    bool may_need_memory = false;
    // The TR-DOS names ("SCRUTIL.H") of the sources it includes, in order.
    std::vector<std::string> included;
    // Whether the source holds nothing but text ALASM keeps as typed, blank
    // lines and comments (a help file, as ALASM's own): its lines are kept
    // as comments, with one note for the whole.
    bool only_typed_text = false;
    // The names IF0 ?N and IFN ?N ask about, each with the last line that
    // defines it in this source, if one does.
    NameMap<std::optional<std::size_t>> asked_defined;
    // Whether a '?' stands anywhere in its text: only then may a line ask
    // whether a name is defined (?N), and the names defined be worth keeping.
    bool has_question_mark = false;
    // Whether a DISP is still open at the source's end.
    bool leaves_disp_open = false;
    // The names the source defines (a label, EQU or '=') that a source of
    // the project asks about (IF0 ?N), as Project::defining_sources counts
    // them; settle_project empties it once counted.
    NameSet defined_names;
};

// What the project must know of each source before it surveys any: the
// macros it defines (in `macros`) and the names its conditions ask about
// (in `asked_defined`). Only the records that hold such a line's keyword
// are read.
SourceFacts first_look(const AlasmSource& source);

// A line of a pass, as the reader last read it, and its index, given to a
// caller that goes through the source alongside it.
using LineVisit = std::function<void(LineReader&, std::size_t)>;

// The rest, in one pass over every line, once `facts` holds the first look
// and its macros are the project's; `asked_anywhere` holds the names the
// project's sources ask about. Each line, once looked at, is given to
// `also` where there is one: only directives' operands are read
// (LineReader::with_operands reads an instruction's).
void survey_rest(const Project& project, const AlasmSource& source, SourceFacts& facts,
                 const NameSet& asked_anywhere, const LineVisit& also = {});

// Both, for a source the project was not settled with.
SourceFacts survey_source(const Project& project, const AlasmSource& source);

}  // namespace korve
