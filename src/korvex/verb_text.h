// `korvex text`: every ALASM source the inputs hold, as text, onto standard
// output, into a file or into a folder; translated for another assembler
// where --dialect asks.
//
// Where the text goes: with one ALASM input and no -o (or -o -), to
// standard output. -o DIR writes every file into DIR, named as
// output_names.h names them; one disk's files go straight into DIR, and with
// several inputs each disk and each folder gets a folder of its own. -o FILE
// takes one ALASM input.
//
// A translation reads the sources that are written into one folder (those
// named on the command line, those of one folder walked, those of one disk)
// before it writes any: they include each other, and call each other's
// macros.
#pragma once

#include "korvex/korvex_console.h"

namespace korve {

VerbOutcome run_text(const KorvexRun& run);

}  // namespace korve
