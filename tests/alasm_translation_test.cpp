#include "translation/alasm_translation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "alasm/instruction_size.h"
#include "alasm_writer.h"

namespace korve {
namespace {

// Marked lines (see alasm_writer.h) as a source's records; a '`' stands
// for '{', which the marks use themselves.
AlasmSource source_of(const std::vector<std::string_view>& marked) {
    AlasmSource source;
    source.reading = Reading::AsAlasm;  // as korvex reads it
    for (const std::string_view line : marked) {
        std::string record = testing::alasm_record(line);
        for (char& c : record) {
            c = c == '`' ? '{' : c;
        }
        const auto* bytes = reinterpret_cast<const unsigned char*>(record.data());
        source.add({bytes + 1, record.size() - 1});
    }
    return source;
}

// The whole translation as one text, each problem after it as "!LINE: what";
// `other` is another source of the project, not translated.
std::string translated(Dialect dialect, const std::vector<std::string_view>& marked,
                       bool high_bytes_as_numbers = false,
                       const std::vector<std::string_view>& other = {}) {
    Project project;
    project.dialect = dialect;
    project.includes["LIB.H"] = "lib.asm";
    project.includes["$fade0.H"] = "$fade0.asm";
    project.high_bytes_as_numbers = high_bytes_as_numbers;
    const AlasmSource source = source_of(marked);
    const AlasmSource other_source = source_of(other);
    const AlasmSource* const sources[] = {&source, &other_source};
    settle_project(project, sources);
    SourceTranslation translation(project, source, "T.H");
    std::string text;
    std::string problems;
    while (!translation.done()) {
        const TranslatedLine line = translation.next();
        text += line.text + "\n";
        if (line.untranslated) {
            problems += "!" + std::to_string(line.untranslated->number) + ": " +
                        line.untranslated->reason + "\n";
        }
    }
    const TranslatedLine after = translation.next();  // past the end: nothing
    EXPECT_TRUE(after.text.empty() && !after.untranslated);
    for (const UntranslatedLine& problem : translation.end_problems()) {
        problems += "!" + std::to_string(problem.number) + ": " + problem.reason + "\n";
    }
    if (const std::string note = translation.note(); !note.empty()) {
        problems += "note: " + note + "\n";
    }
    // The heading, a line of its own or the end of the first line, left out.
    const std::string heading = translated_heading(dialect);
    const std::size_t end = text.find('\n');
    const std::size_t at = text.rfind(heading, end);
    EXPECT_TRUE(at != std::string::npos && at + heading.size() == end) << text;
    const bool in_memory = text.find("DEVICE\tNOSLOT64K") != std::string::npos;
    if (at != std::string::npos) {
        // pasmo's heading is a line of its own, and so is sjasmplus's before
        // the setup of memory.
        const bool own_line = at == 0 && (dialect == Dialect::Pasmo || in_memory);
        text.erase(at > 0 ? at - 1 : 0, heading.size() + (at > 0 || own_line ? 1 : 0));
    }
    // Line for line in sjasmplus: stored line N is line N, the saving of
    // memory after the last; but where the ORGs of a source assembled into
    // memory keep their bookkeeping on lines of their own.
    const std::size_t lines_end = in_memory ? text.find("@korve_end\n") : text.size();
    if (dialect == Dialect::Sjasmplus && lines_end != std::string::npos) {
        EXPECT_EQ(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(lines_end), '\n'),
                  std::ssize(marked))
            << text;
    }
    return text + problems;
}

struct Case {
    std::vector<std::string_view> alasm;
    std::string_view sjasmplus;
    std::string_view pasmo;
};

void check(const Case& c) {
    std::string source;
    for (const std::string_view line : c.alasm) {
        source += std::string(line) + " / ";
    }
    EXPECT_EQ(translated(Dialect::Sjasmplus, c.alasm), c.sjasmplus) << source;
    EXPECT_EQ(translated(Dialect::Pasmo, c.alasm), c.pasmo) << source;
}

TEST(Dialect, TranslatesLabelsAndNames) {
    const Case cases[] = {
        // EQU, and = (DEFL in pasmo only when a name is set again).
        {{"START{EQU}#6000", "RET_SP=$+1", "N=1", "N=N+1"},
         "START\tEQU\t#6000\nRET_SP = $+1\nN = 1\nN = N+1&#FFFF\n",
         "START\tEQU\t#6000\nRET_SP\tEQU\t$+1\nN\tDEFL\t1\nN\tDEFL\tN+1\n"},
        // A name EQU gave a value and '=' sets again: every set is one the
        // target lets it set again.
        {{"LABEL{EQU}#1780", "LABEL=LABEL-#100", "{DW}LABEL"},
         "LABEL = #1780\nLABEL = LABEL-#100&#FFFF\n\tDW\tLABEL\n",
         "LABEL\tDEFL\t#1780\nLABEL\tDEFL\tLABEL-#100\n\tDW\tLABEL\n"},
        // So does a line's label, which '=' sets again: the label is set to
        // $ on its line.
        {{"LABEL{NOP}", "{DW}LABEL", "LABEL=LABEL+5", "B2", "{DB}B2", "B2=1"},
         "LABEL = $ : NOP\n\tDW\tLABEL\nLABEL = LABEL+5&#FFFF\nB2 = $\n\tDB\tB2\nB2 = 1\n",
         "LABEL\tDEFL\t$\n\tNOP\n\tDW\tLABEL\nLABEL\tDEFL\tLABEL+5\nB2\tDEFL\t$\n\tDB\tB2\n"
         "B2\tDEFL\t1\n"},
        // An EQU in a repeat or a macro sets its name once.
        {{"{DUP}2", "K{EQU}1", "{EDUP}"},
         "\tDUP\t2\nK\tEQU\t1\n\tEDUP\n", "\tREPT\t2\nK\tEQU\t1\n\tENDM\n"},
        // A name the target reserves, a ':' kept, a first-assembly '+'
        // dropped, the stored spaces around the mnemonic dropped.
        {{"C{NOP}", "BUF:{DEFS}5", "+{NOP}", "LOOP    {JR}   LOOP  ;back", "NS{JP}NS"},
         "C_\tNOP\nBUF:\tDEFS\t5\n\tNOP\nLOOP\tJR\tLOOP  ;back\nNS_\tJP\tNS_\n",
         "C_\tNOP\nBUF:\tDEFS\t5\n\tNOP\nLOOP\tJR\tLOOP  ;back\nNS\tJP\tNS\n"},
        // Every build is ALASM's first assembly: a '+' line is assembled,
        // whatever it holds.
        {{"+X=5", "+LAB{DB}X", "+{INCLUDE}\"LIB\"", "+{IFN}X", "+{ENDIF}"},
         "X = 5\nLAB\tDB\tX\n\tINCLUDE\t\"lib.asm\"\n\tIF\tX\n\tENDIF\n",
         "X\tEQU\t5\nLAB\tDB\tX\n\tINCLUDE\t\"lib.asm\"\n\tIF\tX\n\tENDIF\n"},
        // An indented name alone calls a macro defined above, or else is a
        // label, as ALASM takes it.
        {{"{MACRO}SETA", "{LD}{A},1", "{ENDM}", " SETA", " DDDD"},
         "\tMACRO\tSETA\n\tLD\tA,1\n\tENDM\n\tSETA\nDDDD\n",
         "\tMACRO\tSETA\n\tLD\tA,1\n\tENDM\n\tSETA\nDDDD\n"},
        // A name read before it is first set, when it is set again later.
        {{"{DB}N", "N=1", "N=2"},
         ";! cannot translate: N is set more than once and read before it is first set "
         ";!\tDB\tN\nN = 1\nN = 2\n!1: N is set more than once and read before it is first set\n",
         ";! cannot translate: N is set more than once and read before it is first set\n"
         ";!\tDB\tN\nN\tDEFL\t1\nN\tDEFL\t2\n!1: N is set more than once and read before it is first set\n"},
    };
    for (const Case& c : cases) {
        check(c);
    }
}

TEST(Dialect, TranslatesAlasmInstructions) {
    const Case cases[] = {
        {{"LP{JNZ}LP", "{JC}LP", "{EXA}", "{EXD}", "{SLI}{A}"},
         "LP\tJR\tNZ,LP\n\tJR\tC,LP\n\tEX\tAF,AF'\n\tEX\tDE,HL\n\tSLL\tA\n",
         "LP\tJR\tNZ,LP\n\tJR\tC,LP\n\tEX\tAF,AF'\n\tEX\tDE,HL\n\tSLL\tA\n"},
        {{"{INF}", "{OUT}{(C)},0", "{LD}{HX},{LY}"},
         "\tIN\tF,(C)\n\tOUT\t(C),0\n\tLD\tHX,LY\n",
         "\tDB\t#ED,#70\t; IN F,(C)\n\tDB\t#ED,#71\t; OUT (C),0\n\tLD\tIXH,IYL\n"},
        // Several operands, or pairs: an instruction each, in order, the
        // label on the first; sjasmplus keeps them on the line.
        {{"SET{LD}{L},0,{H},'FNT", "SAVE{PUSH}{AF},{BC},{IX}", "{INC}{L},{L},{(IX}+1)",
          "{OR}{H},{L}", "{EX}{DE},{HL},{AF},{AF'}", "{SLA}{(HL)},{A}"},
         "SET\tLD\tL,0 : LD\tH,HIGH FNT\nSAVE\tPUSH\tAF : PUSH\tBC : PUSH\tIX\n"
         "\tINC\tL : INC\tL : INC\t(IX+1)\n\tOR\tH : OR\tL\n\tEX\tDE,HL : EX\tAF,AF'\n"
         "\tSLA\t(HL) : SLA\tA\n",
         "SET_\tLD\tL,0\n\tLD\tH,HIGH FNT\nSAVE\tPUSH\tAF\n\tPUSH\tBC\n\tPUSH\tIX\n\tINC\tL\n"
         "\tINC\tL\n\tINC\t(IX+1)\n\tOR\tH\n\tOR\tL\n\tEX\tDE,HL\n\tEX\tAF,AF'\n\tSLA\t(HL)\n"
         "\tSLA\tA\n"},
        // Memory, a value in parentheses, and displacements.
        {{"{LD}{A},(X+1)", "{LD}{A},(X+1)*2", "{OR}(255-M)", "{LD}{A},{(IX}+#0A)",
          "{LD}{A},{(IX}-1+2)", "{LD}{(IY}),{A}", "{IN}{A},(#FE)"},
         "\tLD\tA,(X+1)\n\tLD\tA,+(X+1)*2\n\tOR\t255-M_\n\tLD\tA,(IX+#0A)\n\tLD\tA,(IX-1+2)\n"
         "\tLD\t(IY),A\n\tIN\tA,(#FE)\n",
         "\tLD\tA,(X+1)\n\tLD\tA,+(X+1)*2\n\tOR\t255-M_\n\tLD\tA,(IX+#0A)\n\tLD\tA,(IX+(-1)+2)\n"
         "\tLD\t(IY),A\n\tIN\tA,(#FE)\n"},
        // A displacement is a byte: pasmo takes no sum below zero after +,
        // and no difference that ALASM wraps round to a byte above zero;
        // sjasmplus no #FF.
        {{"{LD}{A},{(IX}+5-10)", "{LD}{A},{(IX}+#FF)", "{LD}{A},{(IY}-N)", "{LD}{A},{(IX}-#FFE0)"},
         "\tLD\tA,(IX+5-10)\n\tLD\tA,(IX-1)\n\tLD\tA,(IY-N)\n\tLD\tA,(IX+32)\n",
         "\tLD\tA,(IX-5)\n\tLD\tA,(IX-1)\n\tLD\tA,(IY-N)\n\tLD\tA,(IX+32)\n"},
        // SUB A,5 may be Zilog's SUB 5; no jump is known to repeat.
        {{"{SUB}{A},5", "{JP}{NZ},L,{Z},L"},
         ";! cannot translate: SUB A,x: whether ALASM makes SUB A and SUB x of it, or reads it "
         "as Zilog's spelling of SUB x, is not known ;!\tSUB\tA,5\n"
         ";! cannot translate: JP with 4 operands ;!\tJP\tNZ,L,Z,L\n"
         "!1: SUB A,x: whether ALASM makes SUB A and SUB x of it, or reads it as Zilog's spelling "
         "of SUB x, is not known\n!2: JP with 4 operands\n",
         ";! cannot translate: SUB A,x: whether ALASM makes SUB A and SUB x of it, or reads it "
         "as Zilog's spelling of SUB x, is not known\n;!\tSUB\tA,5\n"
         ";! cannot translate: JP with 4 operands\n;!\tJP\tNZ,L,Z,L\n"
         "!1: SUB A,x: whether ALASM makes SUB A and SUB x of it, or reads it as Zilog's spelling "
         "of SUB x, is not known\n!2: JP with 4 operands\n"},
    };
    for (const Case& c : cases) {
        check(c);
    }
}

TEST(Dialect, TranslatesDataAndFiles) {
    const Case cases[] = {
        // Strings keep their bytes; a backslash, which the targets read as an
        // escape in double quotes, puts one in single quotes.
        {{"{DB}\"a\\b\",0,\"it's\"", "{DW}$,\"A\"+1", "{DD}1D4FDC,4223"},
         "\tDB\t'a\\b',0,\"it's\"\n\tDW\t$,'A'+1\n\tDB\t#1D,#4F,#DC,#42,#23\n",
         "\tDB\t'a\\b',0,\"it's\"\n\tDW\t$,'A'+1\n\tDB\t#1D,#4F,#DC,#42,#23\n"},
        // After a string that holds a ';', ALASM keeps the rest as typed.
        {{"{DB}\";\",0,\";\"+1 ;end", "{LD}{BC},\";\"+1"},
         "\tDB\t\";\",0,';'+1 ;end\n;! cannot translate: after a string that holds a ';', ALASM "
         "stored no keywords ;!\tLD\tBC,\";\"+1\n!2: after a string that holds a ';', ALASM stored "
         "no keywords\n",
         "\tDB\t\";\",0,';'+1 ;end\n;! cannot translate: after a string that holds a ';', ALASM "
         "stored no keywords\n;!\tLD\tBC,\";\"+1\n!2: after a string that holds a ';', ALASM stored "
         "no keywords\n"},
        // Text ALASM keeps as typed (after byte 0x10) is reported; a source
        // of nothing else (a help file) is kept as comments, with one note.
        {{"{NOP}", " {RAW}as typed"},
         "\tNOP\n;! cannot translate: text that ALASM keeps as typed (after byte 0x10, or after a "
         "';' in a string) ;! as typed\n!2: text that ALASM keeps as typed (after byte 0x10, or "
         "after a ';' in a string)\n",
         "\tNOP\n;! cannot translate: text that ALASM keeps as typed (after byte 0x10, or after a "
         "';' in a string)\n;! as typed\n!2: text that ALASM keeps as typed (after byte 0x10, or "
         "after a ';' in a string)\n"},
        {{" {RAW}HELP", "", ";x", " {RAW}  more"},
         ";! HELP\n\n;x\n;!   more\nnote: the whole text is what ALASM keeps as typed (after byte "
         "0x10), as a help file is: its lines are kept as comments\n",
         ";! HELP\n\n;x\n;!   more\nnote: the whole text is what ALASM keeps as typed (after byte "
         "0x10), as a help file is: its lines are kept as comments\n"},
        {{"{DW}1,$"},
         ";! cannot translate: $ after a list's first item: assemblers differ on its value "
         ";!\tDW\t1,$\n!1: $ after a list's first item: assemblers differ on its value\n",
         ";! cannot translate: $ after a list's first item: assemblers differ on its value\n"
         ";!\tDW\t1,$\n!1: $ after a list's first item: assemblers differ on its value\n"},
        // DS copies its whole list, on its line for sjasmplus, a ';' or ':'
        // in a string there too.
        {{"BUF{DS}2,#FF", "{DS}3,1,2", "{DS}2,\";\",\":\""},
         "BUF\tDS\t2,#FF\n\tDUP\t3 : DB\t1,2 : EDUP\n\tDUP\t2 : DB\t\";\",\":\" : EDUP\n",
         "BUF\tDS\t2,#FF\n\tREPT\t3\n\tDB\t1,2\n\tENDM\n\tREPT\t2\n\tDB\t\";\",\":\"\n\tENDM\n"},
        // The page only says where ALASM keeps an included text.
        {{"{INCLUDE}\"LIB\",#17", "{INCLUDE}\"OTHER.C\"", "{MAIN}\"MAINFILE\",#16"},
         "\tINCLUDE\t\"lib.asm\"\n\tINCLUDE\t\"OTHER.C.asm\"\n; MAIN: the main file is \"MAINFILE.H.asm\"\n",
         "\tINCLUDE\t\"lib.asm\"\n\tINCLUDE\t\"OTHER.C.asm\"\n; MAIN: the main file is \"MAINFILE.H.asm\"\n"},
        // A name the project holds in another case only is that file.
        {{"{INCLUDE}\"$FADE0\"", "{INCLUDE}\"lib\""},
         "\tINCLUDE\t\"$fade0.asm\"\n\tINCLUDE\t\"lib.asm\"\n",
         "\tINCLUDE\t\"$fade0.asm\"\n\tINCLUDE\t\"lib.asm\"\n"},
        {{"{INCBIN}\"PIC\",768", "{DISPLAY}\"SIZE: \",/D,$-S"},
         "\tINCBIN\t\"PIC\",0,768\n\tDISPLAY\t\"SIZE: \",/D,$-S_\n",
         ";! cannot translate: pasmo's INCBIN takes no length\n;!\tINCBIN\t\"PIC\",768\n"
         "; DISPLAY \"SIZE: \",/D,$-S (pasmo prints nothing)\n!1: pasmo's INCBIN takes no length\n"},
        // DISPLAY's options: /H and /A as sjasmplus spells them, /T as the
        // value's text before it, /L left out; nothing prints an empty line.
        {{"BEG{NOP}", "{DISPLAY}/{L},\"-\"", "{DISPLAY}", "{DISPLAY}/{H},$,/{A},$-BEG",
          "{DISPLAY}\"N=\",/T,$-BEG,1"},
         "BEG\tNOP\n\tDISPLAY\t\"-\"\n\tDISPLAY\t\" \"\n\tDISPLAY\t/H,$,/A,$-BEG\n"
         "\tDISPLAY\t\"N=\",\"$-BEG \",$-BEG,1\n",
         "BEG\tNOP\n; DISPLAY \"-\" (pasmo prints nothing)\n; DISPLAY (pasmo prints nothing)\n"
         "; DISPLAY /H,$,/A,$-BEG (pasmo prints nothing)\n"
         "; DISPLAY \"N=\",\"$-BEG \",$-BEG,1 (pasmo prints nothing)\n"},
    };
    for (const Case& c : cases) {
        check(c);
    }
}

TEST(Dialect, TranslatesBlocks) {
    const Case cases[] = {
        {{"{DUP}4", "{INC}{L}", "{EDUP}", "{IF0}C-1", "{NOP}", "{ELSE}", "{HALT}", "{ENDIF}",
          "{IFN}X", "{NOP}", "{ENDIF}"},
         "\tDUP\t4\n\tINC\tL\n\tEDUP\n\tIF\t(C_-1&#FFFF) == 0\n\tNOP\n\tELSE\n\tHALT\n\tENDIF\n"
         "\tIF\tX\n\tNOP\n\tENDIF\n",
         "\tREPT\t4\n\tINC\tL\n\tENDM\n\tIF\t(C_-1) = 0\n\tNOP\n\tELSE\n\tHALT\n\tENDIF\n"
         "\tIF\tX\n\tNOP\n\tENDIF\n"},
        // ?N is 0 for a name defined above; a line typed with a space
        // before ELSE is stored as FF 9F.
        {{"DBG=1", "{IF0}?DBG", "{NOP}", "{ }{(BC)}", "{HALT}", "{ENDIF}"},
         "DBG = 1\n\tIF\t0 == 0\n\tNOP\n\tELSE\n\tHALT\n\tENDIF\n",
         "DBG\tEQU\t1\n\tIF\t0 = 0\n\tNOP\n\tELSE\n\tHALT\n\tENDIF\n"},
        // Otherwise pasmo asks whether it is defined so far; sjasmplus
        // whether it is defined anywhere, the same where no source defines
        // it further down. Neither can where this one does: its ELSE and
        // ENDIF are kept as comments with it, and not reported again.
        {{"{IFN}?NONE", "{CALL}MAKE", "{JP}{C},GO", "{ENDIF}", "{IF0}?LATER", "LATER{NOP}",
          "{ELSE}", "{ENDIF}"},
         "\tIF\t!EXIST NONE\n\tCALL\tMAKE\n\tJP\tC,GO\n\tENDIF\n"
         ";! cannot translate: ?LATER before LATER is defined further down: ALASM's value there "
         "is not known ;!\tIF0\t?LATER\nLATER\tNOP\n;! IF0 of line 5 is kept as a comment ;!\tELSE\t\n"
         ";! IF0 of line 5 is kept as a comment ;!\tENDIF\t\n"
         "!5: ?LATER before LATER is defined further down: ALASM's value there is not known\n",
         "\tIF\tNOT DEFINED NONE\n\tCALL\tMAKE\n\tJP\tC,GO\n\tENDIF\n"
         ";! cannot translate: ?LATER before LATER is defined further down: ALASM's value there "
         "is not known\n;!\tIF0\t?LATER\nLATER\tNOP\n;! IF0 of line 5 is kept as a comment\n;!\tELSE\t\n"
         ";! IF0 of line 5 is kept as a comment\n;!\tENDIF\t\n"
         "!5: ?LATER before LATER is defined further down: ALASM's value there is not known\n"},
        // REPEAT .. UNTIL0: sjasmplus loops on a flag; pasmo has no such
        // loop, and leaves a long one when the condition holds.
        {{"{REPEAT}", "N=N-1", "{UNTIL0}N"},
         "korve_repeat1 = 1 : WHILE\tkorve_repeat1\nN = N-1&#FFFF\nkorve_repeat1 = N : ENDW\n",
         "\tREPT\t65535\nN\tDEFL\tN-1\n\tIF\tN = 0\n\tEXITM\n\tENDIF\n\tENDM\n"},
        // DISP: pasmo assembles only where the bytes go, so labels, $ and
        // relative jumps in the block are offset by the distance.
        {{"{DISP}#5B00", "RUNS{DJNZ}RUNS", "{JR}$+4", "{DW}$", "{ORG}$+2", "{NOP}", "{ENT}"},
         "\tDISP\t#5B00\nRUNS\tDJNZ\tRUNS\n\tJR\t$+4\n\tDW\t$\n\tASSERT\t($+2) >= $ : "
         "DS\t($+2)-$\n\tNOP\n\tENT\n",
         "korve_disp1\tDEFL\t#5B00-$\nRUNS\tEQU\t$+korve_disp1\n\tDJNZ\tRUNS-korve_disp1\n"
         "\tJR\t$+4\n\tDW\t$+korve_disp1\n\tORG\t$+2\n\tNOP\n; ENT: korve_disp1 no longer applies\n"},
        // A DISP left open at the end: sjasmplus's lasts, as ALASM's does.
        {{"{DISP}#5B00", "RUNS{DJNZ}RUNS"},
         "\tDISP\t#5B00\nRUNS\tDJNZ\tRUNS\n",
         "korve_disp1\tDEFL\t#5B00-$\nRUNS\tEQU\t$+korve_disp1\n\tDJNZ\tRUNS-korve_disp1\n"
         "!2: DISP of line 1 is not closed\n"},
        // LOCAL hides all but the names that start with '@'.
        {{"{LOCAL}", "INNER{NOP}", "@OUT{JR}INNER", "{ENDL}"},
         "\tMODULE\tkorve_local_0ec494fa_1\nINNER\tNOP\n@OUT\tJR\tINNER\n\tENDMODULE\n",
         "\tPROC\n\tLOCAL\tINNER\nINNER\tNOP\n@OUT\tJR\tINNER\n\tENDP\n"},
        // What does not close, and what closes nothing.
        {{"{DUP}2", "{NOP}", "{ENDIF}"},
         "\tDUP\t2\n\tNOP\n;! cannot translate: ENDIF closes no block it opens ;!\tENDIF\t\n"
         "!3: ENDIF closes no block it opens\n!3: DUP of line 1 is not closed\n",
         "\tREPT\t2\n\tNOP\n;! cannot translate: ENDIF closes no block it opens\n;!\tENDIF\t\n"
         "!3: ENDIF closes no block it opens\n!3: DUP of line 1 is not closed\n"},
        {{"{MACRO}M", "{LD}{A},\\0", "{ENDM}", "{RUN}#8000"},
         "\tMACRO\tM\n;! cannot translate: a macro's parameters (\\0..\\9, \\C \\N \\S \\P \\R) "
         ";!\tLD\tA,\\0\n\tENDM\n;! cannot translate: RUN calls machine code while ALASM assembles "
         ";!\tRUN\t#8000\n!2: a macro's parameters (\\0..\\9, \\C \\N \\S \\P \\R)\n"
         "!4: RUN calls machine code while ALASM assembles\n",
         "\tMACRO\tM\n;! cannot translate: a macro's parameters (\\0..\\9, \\C \\N \\S \\P \\R)\n"
         ";!\tLD\tA,\\0\n\tENDM\n;! cannot translate: RUN calls machine code while ALASM assembles\n"
         ";!\tRUN\t#8000\n!2: a macro's parameters (\\0..\\9, \\C \\N \\S \\P \\R)\n"
         "!4: RUN calls machine code while ALASM assembles\n"},
    };
    for (const Case& c : cases) {
        check(c);
    }
}

TEST(Dialect, PlacesBytesWhereAlasmPutsThem) {
    const Case cases[] = {
        // sjasmplus --raw writes bytes in order: a gap is filled, and an ORG
        // after which nothing is written stays.
        {{"{ORG}#8000", "{NOP}", "{ORG}($+255)&#FF00", "{DB}1", "{ORG}#8000"},
         "\tORG\t#8000\n\tNOP\n\tASSERT\t($+255&#FF00) >= $ : DS\t($+255&#FF00)-$\n\tDB\t1\n"
         "\tORG\t#8000\n",
         "\tORG\t#8000\n\tNOP\n\tORG\t$+255 AND #FF00\n\tDB\t1\n\tORG\t#8000\n"},
        // "EDUP / ORG $-k" takes back the repeat's last k bytes, which the
        // next ones overwrite: sjasmplus leaves them out of the last pass.
        {{"{DUP}8", "{LD}{A},{(HL)}", "{INC}{D}", "{INC}{L}", "{EDUP}", "{ORG}$-2", "{INC}{E}",
          "{RET}"},
         "\tDUP\t8, korve_dup1\n\tLD\tA,(HL)\n\tIF\tkorve_dup1 < 8-1 : INC\tD\n\tINC\tL\n"
         "\tENDIF : EDUP\n; ORG $-2: the repeat's last pass leaves those bytes out\n\tINC\tE\n\tRET\n",
         "\tREPT\t8\n\tLD\tA,(HL)\n\tINC\tD\n\tINC\tL\n\tENDM\n\tORG\t$-2\n\tINC\tE\n\tRET\n"},
        // The repeat's index goes before the DUP line's comment; blank and
        // comment lines may stand between EDUP and ORG.
        {{"{DUP}4 ;four", "{INC}{L}", "{EDUP}", "", ";x", "{ORG}$-1", "{INC}{H}"},
         "\tDUP\t4, korve_dup1 ;four\n\tIF\tkorve_dup1 < 4-1 : INC\tL\n\tENDIF : EDUP\n\n;x\n"
         "; ORG $-1: the repeat's last pass leaves those bytes out\n\tINC\tH\n",
         "\tREPT\t4 ;four\n\tINC\tL\n\tENDM\n\n;x\n\tORG\t$-1\n\tINC\tH\n"},
        // ORG $-0 takes nothing back.
        {{"{DUP}2", "{INC}{L}", "{EDUP}", "{ORG}$-0", "{INC}{H}"},
         "\tDUP\t2\n\tINC\tL\n\tEDUP\n\tASSERT\t($-0) >= $ : DS\t($-0)-$\n\tINC\tH\n",
         "\tREPT\t2\n\tINC\tL\n\tENDM\n\tORG\t$-0\n\tINC\tH\n"},
        // Not when fewer bytes follow than it takes back.
        {{"{DUP}2", "{INC}{D}", "{INC}{L}", "{EDUP}", "{ORG}$-2", "{INC}{E}"},
         "\tDUP\t2\n\tINC\tD\n\tINC\tL\n\tEDUP\n"
         ";! cannot translate: ORG goes back over 2 bytes that sjasmplus has already written "
         ";!\tORG\t$-2\n\tINC\tE\n!5: ORG goes back over 2 bytes that sjasmplus has already written\n",
         "\tREPT\t2\n\tINC\tD\n\tINC\tL\n\tENDM\n\tORG\t$-2\n\tINC\tE\n"},
    };
    for (const Case& c : cases) {
        check(c);
    }
}

// Where sjasmplus must assemble into memory, as ALASM does, the translation
// saves the bytes from the lowest address written to the highest, and says
// after the last line how it is built. A source alone labels its ORGs, and
// keeps its lines' numbers; one that includes another sets its names on
// lines of their own: the one place where lines move.
constexpr std::string_view kInMemoryStart =
    "\tDEVICE\tNOSLOT64K\n\tIF\t__INCLUDE_LEVEL__ == 0\n"
    "@korve_origin = $\n@korve_lowest = #10000\n@korve_highest = 0\n\tENDIF\n";
constexpr std::string_view kRunClosed =
    "\tIF\t$ != @korve_origin\n@korve_lowest = @korve_lowest <? @korve_origin\n"
    "@korve_highest = @korve_highest >? $\n\tENDIF\n";
constexpr std::string_view kInMemoryEnd =
    "\tIF\t__INCLUDE_LEVEL__ == 0 && @korve_highest > @korve_lowest\n"
    "\tSAVEBIN\t\"T.bin\",@korve_lowest,@korve_highest-@korve_lowest\n\tENDIF\n"
    "; sjasmplus assembles these sources into its memory, as ALASM does, and saves\n"
    "; the bytes from the lowest address written to the highest as T.bin.\n"
    "; Build: sjasmplus T.H.asm\n";

TEST(Dialect, AssemblesInMemoryWhereAlasmsMemoryIsRead) {
    const std::string closed(kRunClosed);
    const std::string included = std::string(kInMemoryStart) + "\tINCLUDE\t\"SUB.H.asm\"\n" + closed +
                                 "@korve_origin = #8100\n\tORG\t@korve_origin\nT\tDW\t#1234\n" +
                                 closed + "@korve_origin = #8000\n\tORG\t@korve_origin\n" +
                                 "\tLD\tHL,{T}\n" + closed + std::string(kInMemoryEnd);
    const std::string widened =
        "\tIF\t@korve_org_2 != (#8100)\n@korve_lowest = @korve_lowest <? (#8100)\n"
        "@korve_highest = @korve_highest >? @korve_org_2\n\tENDIF\n";
    const std::string alone = "@korve_org_1\tORG\t#8100 : DEVICE\tNOSLOT64K\nT\tDW\t#1234\n"
                              "@korve_org_2\tORG\t#8000\n\tLD\tHL,{T}\n"
                              "@korve_end\n@korve_lowest = #10000\n@korve_highest = 0\n"
                              "\tIF\t@korve_org_1 != 0\n@korve_lowest = @korve_lowest <? 0\n"
                              "@korve_highest = @korve_highest >? @korve_org_1\n\tENDIF\n" +
                              widened +
                              "\tIF\t@korve_end != (#8000)\n@korve_lowest = @korve_lowest <? (#8000)\n"
                              "@korve_highest = @korve_highest >? @korve_end\n\tENDIF\n" +
                              std::string(kInMemoryEnd);
    const std::string pasmo_read = ";! cannot translate: {...} reads memory as it assembles, which pasmo cannot\n"
                                   ";!\tLD\tHL,{T}\n";
    const std::string pasmo_alone = "\tORG\t#8100\nT\tDW\t#1234\n\tORG\t#8000\n" + pasmo_read +
                                    "!4: {...} reads memory as it assembles, which pasmo cannot\n";
    const std::string pasmo_included = "\tINCLUDE\t\"SUB.H.asm\"\n\tORG\t#8100\nT\tDW\t#1234\n\tORG\t#8000\n" +
                                       pasmo_read + "!5: {...} reads memory as it assembles, which pasmo cannot\n";
    const Case cases[] = {
        // An ORG that goes back, and {a} of bytes the source wrote.
        {{"{ORG}#8100", "T{DW}#1234", "{ORG}#8000", "{LD}{HL},`T}"}, alone, pasmo_alone},
        // The same, including another source.
        {{"{INCLUDE}\"SUB\"", "{ORG}#8100", "T{DW}#1234", "{ORG}#8000", "{LD}{HL},`T}"}, included, pasmo_included},
        // {a} where the source wrote one byte of the two, or nothing.
        {{"{ORG}#8000", "{DB}1", "{LD}{HL},`#8000}", "{LD}{HL},`#5C53}"},
         "\tORG\t#8000\n\tDB\t1\n"
         ";! cannot translate: {...} reads ALASM's memory where this source is not known to have "
         "written before the line ;!\tLD\tHL,{#8000}\n"
         ";! cannot translate: {...} reads ALASM's memory where this source is not known to have "
         "written before the line ;!\tLD\tHL,{#5C53}\n"
         "!3: {...} reads ALASM's memory where this source is not known to have written before "
         "the line\n!4: {...} reads ALASM's memory where this source is not known to have "
         "written before the line\n",
         "\tORG\t#8000\n\tDB\t1\n"
         ";! cannot translate: {...} reads ALASM's memory where this source is not known to have "
         "written before the line\n;!\tLD\tHL,{#8000}\n"
         ";! cannot translate: {...} reads ALASM's memory where this source is not known to have "
         "written before the line\n;!\tLD\tHL,{#5C53}\n"
         "!3: {...} reads ALASM's memory where this source is not known to have written before "
         "the line\n!4: {...} reads ALASM's memory where this source is not known to have "
         "written before the line\n"},
    };
    for (const Case& c : cases) {
        check(c);
    }
}

// sjasmplus's EXIST counts a name defined anywhere: where another source
// of the project defines it, whether before this point is not known. An
// ENT may end the DISP another source leaves open.
TEST(Dialect, TranslatesWhatAnotherSourceDecides) {
    EXPECT_EQ(translated(Dialect::Sjasmplus, {"{NOP}", "{ENT}"}, false, {"{DISP}#5B00"}),
              "\tNOP\n\tENT\n");
    EXPECT_EQ(translated(Dialect::Pasmo, {"{NOP}", "{ENT}"}, false, {"{DISP}#5B00"}),
              "\tNOP\n;! cannot translate: ENT closes no block it opens\n;!\tENT\t\n"
              "!2: ENT closes no block it opens\n");
    EXPECT_EQ(translated(Dialect::Sjasmplus, {"{IF0}?MAKE", "{ENDIF}"}, false, {"MAKE=1"}),
              ";! cannot translate: ?MAKE: another source defines it, and sjasmplus cannot tell "
              "whether a name is defined at this point ;!\tIF0\t?MAKE\n"
              ";! IF0 of line 1 is kept as a comment ;!\tENDIF\t\n"
              "!1: ?MAKE: another source defines it, and sjasmplus cannot tell whether a name "
              "is defined at this point\n");
    EXPECT_EQ(translated(Dialect::Pasmo, {"{IF0}?MAKE", "{ENDIF}"}, false, {"MAKE=1"}),
              "\tIF\tDEFINED MAKE\n\tENDIF\n");
}

// With --charset the text is written in UTF-8: a string's bytes of 0x80
// and above go as numbers, so that it still builds the bytes stored.
TEST(Dialect, KeepsTheBytesOfStringsWrittenInAnotherEncoding) {
    const std::vector<std::string_view> source = {
        "{DB}\"\x8F\xE0" "AB\",0 ;\x8F", "{DW}\"\xE0\"", "{DISPLAY}\"\x8F\""};
    for (const Dialect dialect : {Dialect::Sjasmplus, Dialect::Pasmo}) {
        const std::string text = translated(dialect, source, true);
        EXPECT_TRUE(text.starts_with("\tDB\t#8F,#E0,\"AB\",0 ;\x8F\n\tDW\t224\n")) << text;
        EXPECT_NE(text.find("\"\x8F\""), std::string::npos) << text;  // DISPLAY writes none
    }
}

TEST(InstructionSize, CountsEachByte) {
    using K = OperandKind;
    const struct {
        std::string_view mnemonic;
        std::vector<OperandShape> operands;
        std::optional<std::size_t> size;
    } cases[] = {
        {"NOP", {}, 1},
        {"LDIR", {}, 2},
        {"RET", {{K::Register, "NZ"}}, 1},
        {"LD", {{K::Register, "A"}, {K::Register, "B"}}, 1},
        {"LD", {{K::Register, "A"}, {K::Value, ""}}, 2},
        {"LD", {{K::Register, "A"}, {K::Value, "", true}}, 3},
        {"LD", {{K::Register, "HL"}, {K::Value, ""}}, 3},
        {"LD", {{K::Register, "DE"}, {K::Value, "", true}}, 4},
        {"LD", {{K::Register, "IX"}, {K::Value, "", true}}, 4},
        {"LD", {{K::Register, "A"}, {K::Indexed, "(IX"}}, 3},
        {"LD", {{K::Indexed, "(IY"}, {K::Value, ""}}, 4},
        {"LD", {{K::Register, "HX"}, {K::Value, ""}}, 3},
        {"LD", {{K::Register, "A"}, {K::Register, "(IX)"}}, 3},
        {"LD", {{K::Register, "I"}, {K::Register, "A"}}, 2},
        {"LD", {{K::Register, "SP"}, {K::Register, "IY"}}, 2},
        {"INC", {{K::Indexed, "(IX"}}, 3},
        {"ADD", {{K::Register, "IX"}, {K::Register, "BC"}}, 2},
        {"SBC", {{K::Register, "HL"}, {K::Register, "DE"}}, 2},
        {"CP", {{K::Value, ""}}, 2},
        {"OR", {{K::Value, "", true}}, 2},
        {"BIT", {{K::Value, ""}, {K::Indexed, "(IY"}}, 4},
        {"SLI", {{K::Register, "B"}}, 2},
        {"JP", {{K::Register, "(IX)"}}, 2},
        {"JP", {{K::Register, "NZ"}, {K::Value, ""}}, 3},
        {"JNZ", {{K::Value, ""}}, 2},
        {"OUT", {{K::Register, "(C)"}, {K::Value, ""}}, 2},
        {"EX", {{K::Register, "(SP)"}, {K::Register, "IX"}}, 2},
        {"IM", {{K::Value, ""}}, 2},
        {"LD", {{K::Register, "B"}, {K::Register, "SP"}}, std::nullopt},
        {"DB", {{K::Value, ""}}, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(instruction_size(c.mnemonic, c.operands), c.size) << c.mnemonic;
    }
}

}  // namespace
}  // namespace korve
