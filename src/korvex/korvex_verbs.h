// korvex's verbs and their options as rows, one per line: the names a
// command line gives, what each takes, and the words its help shows. The
// parser and the help (korvex_command_line.h) read them; nothing else
// decides what a verb takes.
#pragma once

#include <span>
#include <string_view>

#include "korvex/korvex_command_line.h"

namespace korve::command_line {

// Every verb but help, in the order help lists them.
std::span<const VerbRow> verb_rows();

// What an INPUT is, for the help of korvex as a whole.
std::string_view inputs_help();

// The exit statuses a verb gives, in its help's words.
std::string_view statuses_help(Verb verb);

}  // namespace korve::command_line
