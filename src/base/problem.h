// What a program says of a problem, how bad it is: the console words it as
// compilers do, "korvex: WHERE: error: TEXT".
#pragma once

#include <cstddef>
#include <string>

namespace korve {

// Untranslated lines are reported as the translator's users know them:
// "FILE:LINE: cannot translate: why".
enum class Severity : unsigned char { Error, Warning, Note, Progress, Untranslated };

// What a problem makes of korvex's run, as its exit status says it.
enum class Status : int { Converted = 0, NotAllConverted = 1, Trouble = 2 };

// Where a problem stands: an input, a file it holds, a line and column of it
// (0: none).
struct Where {
    std::string input;
    std::string file;
    std::size_t line = 0, column = 0;
};

struct Problem {
    Severity severity = Severity::Error;
    Where where;
    std::string text;
    Status status = Status::NotAllConverted;
};

}  // namespace korve
