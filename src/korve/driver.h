// The conversion driver: from the command line to the last written line.
#pragma once

#include <cstdio>
#include <functional>

namespace korve {

// The exit statuses of korve. A finished conversion exits with 1, as it
// always has: scripts over whole collections test for it.
enum class ExitStatus : int {
    Converted = 1,       // the conversion finished ("OK!")
    Usage = 1,           // fewer than two arguments; the usage text was shown
    FileError = 2,       // a file could not be opened, read, created or written
    UndefinedToken = 3,  // stopped at a keyword token that has no keyword
    NotAlasm = 255,      // the input holds no ALASM data
};

// How converting one opened input ended.
enum class Outcome {
    Converted,
    NotAlasm,        // nothing recognised; the output was never opened
    NoOutput,        // the output could not be opened
    UndefinedToken,  // stopped there; the lines before it were written
    ReadFailed,
    WriteFailed,
};

// Opens the output once the input is known to hold ALASM data, so that a
// refused input never creates or truncates a file. Returns nullptr (after
// saying why) when it cannot.
using OutputOpener = std::function<std::FILE*()>;

// Converts the ALASM data in `input` (open in binary mode, at offset 0) to
// text, printing progress to `console`. Leaves the output open, flushed.
Outcome convert(std::FILE* input, const OutputOpener& open_output, std::FILE* console);

// The whole program: `korve IN OUT`, messages on `console`.
ExitStatus run(int argc, const char* const* argv, std::FILE* console);

}  // namespace korve
