// ALASM 5's dialect, translated line by line for sjasmplus or pasmo, so that
// the target builds the bytes ALASM builds from the same sources. A line's
// translation may depend on lines after it (an ORG that takes back bytes of
// the repeat before it, a name set again further down): the translator goes
// through the whole source first for what it must know of later lines
// (translation_survey.h), and where an ORG takes back bytes of a repeat, once
// more for the changes that makes to earlier lines' output; then it gives
// each line's translation as it is asked for. It holds a few lines at a
// time, and what grows with the source's names, never every line. A stored
// line is one line of sjasmplus's translation, whatever it becomes
// (translation_layout.h), so that sjasmplus names the stored lines.
//
// The translator works from what each record says (alasm_lines.h): which
// byte was the mnemonic keyword and which were operand keywords. The text
// of a label, a name or an expression is read by the grammar of
// alasm_expression.h, and every expression is written again for the target
// (see there). What it cannot show to be equal it keeps as a comment that
// starts with kUntranslatedMark, says why, and reports with the line's
// number. Bytes of strings and comments are kept as they are.
//
//   ALASM                     sjasmplus                   pasmo
//   label, NAME:              the same; a name the target reserves gains a '_'
//   NAME=e                    NAME = e                    NAME EQU e (NAME DEFL e
//                                                         when set more than once)
//   x EQU e                   x EQU e                     x EQU e
//   x EQU e, x=e further on   x = e                       x DEFL e
//   +line (first assembly)    the line                    the line
//   name alone, indented      a call of a macro this file (or the setup) defines,
//                             otherwise a label (as ALASM takes it)
//   ORG a                     ORG a; after bytes were     ORG a (pasmo keeps an
//                             written: ASSERT a >= $ and  image of memory)
//                             DS a-$ (--raw writes bytes
//                             in order); in memory, ORG a
//   ORG back below bytes      the sources in memory:      ORG a
//   written, {a} of bytes     DEVICE, {a}, SAVEBIN of the
//   the source wrote          span written (translation_memory.h)
//   DUP n .. EDUP ORG $-k     DUP n,i .. EDUP with the    the same text
//                             last k bytes under IF i<n-1
//   DUP n .. EDUP             DUP n .. EDUP               REPT n .. ENDM
//   REPEAT .. UNTIL0 e        WHILE over a flag           REPT 65535 .. IF e=0
//                                                         EXITM ENDIF .. ENDM
//   IF0 e / IFN e             IF e == 0 / IF e            IF e = 0 / IF e
//   DISP a .. ENT             DISP a .. ENT (left open    labels, $ and relative
//                             at the end, or ended in     jumps offset by a-$
//                             another file, as it is)     (within one file)
//   ORG inside DISP           moves where the bytes go as far as it moves $ (a
//                             block copied to its run address needs it so)
//   LOCAL .. ENDL             MODULE .. ENDMODULE         PROC, LOCAL names .. ENDP
//   MACRO name .. ENDM        the same, without \ parameters (those are reported)
//   DB, DEFB, DW, DEFW        the same; a string with '\' in single quotes
//   DS n[,list]               DS n[,v]; a list: DUP n DB list EDUP (REPT for pasmo)
//   DD hex digits             DB #hh,...
//   INCLUDE "n"[,page]        INCLUDE "the file written for n" (the page only says
//                             where ALASM kept the text)
//   INCBIN "n"[,len]          INCBIN "n"[,0,len]          INCBIN "n" (a length is
//                                                         reported)
//   MAIN "n"                  a comment (it names the main file)
//   DISPLAY ...               the same, /T as the text,   a comment
//                             /L and nothing to print as
//                             one line
//   JNZ JZ JNC JC e           JR NZ/Z/NC/C,e
//   EXA, EXD                  EX AF,AF'  EX DE,HL
//   INF, OUT (C),0            IN F,(C)  OUT (C),0         DB #ED,#70  DB #ED,#71
//   SLI                       SLL
//   HX LX HY LY               the same                    IXH IXL IYH IYL
//   PUSH AF,BC  LD r,v,r2,v2  one instruction per operand or pair: joined
//                             on the line by ':' (sjasmplus), a line each (pasmo)
//   IF0 ?L, IFN ?L            IF EXIST L, IF !EXIST L     IF DEFINED L, IF NOT
//                             (reported where another     DEFINED L
//                             source defines L)
//   RUN, $$, {a} elsewhere    reported (?L is 0 where L is defined above)
//   SUB A,5, JP with more     reported: whether ALASM repeats them is not known
//   operands
//
// An INCLUDE names a TR-DOS file: the name, and its type after a '.' (H
// when none is given). The setup maps such names ("SCRUTIL.H") to the file
// the translation of that source is written to; a name it does not map (a
// lone file's includes) becomes the name an image's entry is written to:
// "SCRUTIL.H.asm".
#pragma once

#include <memory>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "alasm/alasm_expression.h"
#include "formats/alasm_lines.h"
#include "formats/alasm_source.h"
#include "translation/translation_project.h"

namespace korve {

class Translator;

// The translation of one source, given a line at a time, in order.
class SourceTranslation {
public:
    // The source must outlive the translation. `file_name` names the
    // source's file (its translation is that and ".asm"), where the
    // translation says how it is built.
    SourceTranslation(const Project& project, const AlasmSource& source,
                      std::string_view file_name = {});
    SourceTranslation(SourceTranslation&&) noexcept;
    SourceTranslation& operator=(SourceTranslation&&) noexcept;
    ~SourceTranslation();

    bool done() const;
    // The next line's translation; once done, an empty one.
    TranslatedLine next();
    // The same, into `line`, whose room it reuses.
    void next(TranslatedLine& line);
    // Once done: what the source as a whole leaves untranslated (blocks
    // left open), on its last line.
    std::vector<UntranslatedLine> end_problems() const;
    // What the translation says of the source as a whole, once, where it
    // is no program (text ALASM keeps as typed, and nothing else); else
    // nothing.
    std::string note() const;

private:
    std::unique_ptr<Translator> translator_;
};

// Adds the names of the macros a source defines.
void collect_macros(const AlasmSource& source, std::set<std::string, std::less<>>& names);

// Settles what a project must know of its sources before it translates any:
// the macros they define, and whether one of them needs the target to
// assemble into memory (Project::in_memory). The project's dialect and
// includes are set.
void settle_project(Project& project, std::span<const AlasmSource* const> sources);

// The TR-DOS names ("SCRUTIL.H", as include_key gives them) of the sources
// a source includes, in order.
std::vector<std::string> included_sources(const AlasmSource& source);

}  // namespace korve
