// The blocks of ALASM, translated: DUP .. EDUP, REPEAT .. UNTIL0,
// IF0 / IFN .. ELSE .. ENDIF, DISP .. ENT, LOCAL .. ENDL and MACRO .. ENDM.
#pragma once

#include <vector>

#include "translation/translation_line.h"
#include "translation/translation_project.h"
#include "translation/translation_run.h"

namespace korve {

// A line that opens, divides or closes a block, after its label.
void block(TranslationRun& run, const Line& line, Output& output);

// The blocks left open at the end, on the source's last line.
std::vector<UntranslatedLine> open_blocks_at_end(const TranslationRun& run);

}  // namespace korve
