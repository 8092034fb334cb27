// The directives that write or place bytes, translated: EQU, ORG, DB and
// DW, DS, DD, INCLUDE, INCBIN, MAIN and DISPLAY.
#pragma once

#include "translation/translation_line.h"
#include "translation/translation_run.h"

namespace korve {

void equate(TranslationRun& run, const LabelField& label, const Line& line, Output& output);

// ORG, after its label. sjasmplus writes its output in order: ORG after
// bytes were written fills the gap, and after a repeat may take back bytes
// of its last pass.
void origin(TranslationRun& run, const Line& line, Output& output);

// DB, DEFB (words false), DW, DEFW (words true).
void data(TranslationRun& run, const LabelField& label, const Line& line, Output& output,
          bool words);
void space(TranslationRun& run, const LabelField& label, const Line& line, Output& output);
void packed(TranslationRun& run, const LabelField& label, const Line& line, Output& output);

// INCLUDE, INCBIN and MAIN, after their label.
void file(TranslationRun& run, const Line& line, Output& output);
// DISPLAY, after its label.
void display(TranslationRun& run, const Line& line, Output& output);

}  // namespace korve
