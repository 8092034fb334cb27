// What a program says of a problem, how bad it is: the console words it as
// compilers do, "korvex: WHERE: error: TEXT".
#pragma once

namespace korve {

// Untranslated lines are reported as the translator's users know them:
// "FILE:LINE: cannot translate: why".
enum class Severity : unsigned char { Error, Warning, Note, Progress, Untranslated };

}  // namespace korve
