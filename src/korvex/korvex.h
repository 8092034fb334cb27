// korvex, the modern front end: its command line, from its words to its
// exit status.
//
//   korvex text [OPTION...] INPUT...     every ALASM source the inputs hold, as text
//   korvex list [--json] INPUT...        what each input holds
//   korvex pack [OPTION...] -o OUT TEXT... text stored as ALASM data again
//   korvex show [OPTION...] INPUT        everything an input holds, as one text
//   korvex diff [OPTION...] A B          two inputs compared file by file
//   korvex help [VERB] | --help | --version
//
// Each verb is a unit of its own (verb_*.h). This, and they, alone print or
// pick a status, and only to the streams given: the page runs korvex too.
#pragma once

#include "korvex/korvex_console.h"

namespace korve {

KorvexStatus run_korvex(int argc, const char* const* argv, const KorvexStreams& streams);

}  // namespace korve
