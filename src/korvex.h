// korvex's driver: the command line, from its words to its exit status.
//
//   korvex text [OPTION...] INPUT...    every ALASM source the inputs hold, as text
//   korvex list [--json] INPUT...       what each input holds
//   korvex help [VERB] | --help | --version
//
// It is the only part of korvex that prints or picks a status, and it prints
// only to the streams it is given: the page runs it too.
#pragma once

#include <cstdio>

namespace korve {

enum class KorvexStatus : int {
    Converted = 0,        // every input converted in full (warnings do not count)
    NotAllConverted = 1,  // an input held no ALASM data, stopped at an undefined
                          // token, or lost files; the others converted
    Trouble = 2,          // a usage error, or a file that cannot be opened,
                          // read or written
};

struct KorvexStreams {
    std::FILE* in;   // read for the input "-", binary; may be null where there is none
    std::FILE* out;  // text, help and lists; binary: korvex writes its own line ends
    std::FILE* err;  // messages
};

KorvexStatus run_korvex(int argc, const char* const* argv, const KorvexStreams& streams);

}  // namespace korve
