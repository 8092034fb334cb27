// One line translated: what it is (empty, a label, NAME=e, a macro call, a
// directive, a block's line, an instruction), its comment kept, and the line
// as a marked comment where it cannot be translated.
#pragma once

#include "translation/translation_line.h"
#include "translation/translation_run.h"

namespace korve {

// Translates the line at run.at into `output`, and follows where its bytes
// go.
void translate_line(TranslationRun& run, const Line& line, Output& output);

}  // namespace korve
