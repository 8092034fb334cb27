// Where ALASM puts the bytes: $ and the labels whose values the lines so
// far fix, followed as ALASM assembles them as long as every size is known.
#pragma once

#include "translation/translation_line.h"
#include "translation/translation_run.h"

namespace korve {

// Follows a line just translated. An INCLUDE, a macro, a block or an
// instruction of an unknown size leaves $ unknown.
void follow(TranslationRun& run, const Line& line);

// How many bytes a line of data or code writes, where that is known: DS's
// count worked out with `known` and $ as `here`.
std::optional<std::size_t> emitted_size(const Line& line, const LabelValues& known,
                                        std::optional<std::uint16_t> here);

}  // namespace korve
