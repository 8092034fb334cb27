// `korvex diff A B`: two inputs compared file by file, as input_files.h
// reads and matches them, in the words of diff(1) -r:
//
//   Only in A: NAME                    a file only one of them holds
//   --- A:NAME / +++ B:NAME, hunks     the unified diff of two ALASM sources'
//                                      texts (show's body of each)
//   Files A:NAME and B:NAME differ     other files whose bytes differ, and
//                                      sources whose texts agree but not
//                                      their bytes
//
// Folders are walked and matched by path; a folder is never compared with a
// file. Status 0: the same; 1: they differ; 2: trouble (an input or a file
// that could not be read, said on standard error).
#pragma once

#include "korvex/korvex_console.h"

namespace korve {

KorvexStatus run_diff(const KorvexRun& run);

}  // namespace korve
