// Z80 instructions, translated: ALASM's own (JNZ, EXA, INF, SLI, an LD of
// several pairs) in Zilog's terms, registers and indexed addresses as the
// target spells them, and values through the expression writer.
#pragma once

#include "translation/translation_line.h"
#include "translation/translation_run.h"

namespace korve {

void code(TranslationRun& run, const LabelField& label, const Line& line, Output& output);

}  // namespace korve
