// `korvex show`: one text of everything an input holds, for people to read
// and for git to compare (its textconv): each file under a heading line,
//
//   ==== PGMFLASH.H  start 0  length 1113  fnv 1a2b3c4d
//
// and below the heading of an ALASM source its text, as `text` writes it.
// The files come in input_files.h's order, the same however often a disk is
// saved again; the text ends its lines in LF on every system, and is the
// same, byte for byte, every time. Names are one line each, as
// input_files.h escapes them. What could not be read is said in the text,
// where git shows it, and makes the status 1, or 2 for an input not read
// at all (--textconv: 0, as git needs to show it at all, and no message).
// A failed write of the text is said as `text` says it, and is status 2.
#pragma once

#include "korvex/korvex_console.h"

namespace korve {

VerbOutcome run_show(const KorvexRun& run);

}  // namespace korve
