// What a program says of a problem, as a value: how bad it is, where it is,
// its words, and the status it leaves a run with. Units below the verbs
// return problems in their results; the console alone words them as
// compilers do, "korvex: WHERE: error: TEXT".
#pragma once

#include <cstddef>
#include <string>

namespace korve {

// Untranslated lines are reported as the translator's users know them:
// "FILE:LINE: cannot translate: why".
enum class Severity : unsigned char { Error, Warning, Note, Progress, Untranslated };

// How a korvex run ends: its exit status.
enum class Status : int {
    Converted = 0,        // every input converted in full (warnings do not count)
    NotAllConverted = 1,  // an input held no ALASM data, stopped at an undefined
                          // token, or lost files; the others converted
    Trouble = 2,          // a usage error, or a file that cannot be opened,
                          // read or written
};

// The worse of two statuses: a run ends with the worst of its problems'.
constexpr Status worse(Status a, Status b) {
    return static_cast<int>(a) >= static_cast<int>(b) ? a : b;
}

// Where a problem is: an input as messages name it, a file it holds, a line
// and column of that file's text (0: none).
struct Where {
    std::string input;
    std::string file;
    std::size_t line = 0;
    std::size_t column = 0;
};

// "INPUT:FILE:LINE:COLUMN", each part where there is one, added to `text`.
inline void append_where(std::string& text, const Where& where) {
    const std::size_t start = text.size();
    text += where.input;
    if (!where.file.empty()) {
        text += text.size() == start ? "" : ":";
        text += where.file;
    }
    for (const std::size_t number : {where.line, where.column}) {
        if (number != 0) {
            text += ':';
            text += std::to_string(number);
        }
    }
}

// The same, as a string of its own.
inline std::string where_shown(const Where& where) {
    std::string text;
    append_where(text, where);
    return text;
}

struct Problem {
    Severity severity = Severity::Error;
    Where where;
    std::string text;
    Status status = Status::Converted;  // what it leaves the run with
};

}  // namespace korve
