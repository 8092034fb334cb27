// korvex's verbs and their options as rows, one per line: the names a
// command line gives, what each takes, and the words its help shows. The
// parser and the help (korvex_command_line.h) read them; nothing else
// decides what a verb takes.
#pragma once

#include <span>
#include <string_view>

namespace korve::command_line {

enum class Verb : unsigned char { Text, List, Pack, Put, Get, Show, Diff, Lsp };

enum class OptionId : unsigned char {
    Output,
    Force,
    Charset,
    Eol,
    Layout,
    Dialect,
    Main,
    Quiet,
    Verbose,
    Json,
    Name,
    Textconv,
    Help,
    Hobeta,
    Start,
    AlasmText,
};

struct OptionRow {
    OptionId id;
    std::string_view long_name;  // after "--"
    char short_name;             // '\0': none
    std::string_view value;      // what it takes, as help names it; empty: nothing
    std::string_view help;
};

struct VerbRow {
    std::string_view name;
    Verb verb;
    std::span<const OptionRow> options;
    std::string_view synopsis;
    std::string_view summary;
    std::string_view description;
    std::string_view inputs;  // what its inputs are
};

// Every verb but help, in the order help lists them.
std::span<const VerbRow> verb_rows();

// What an INPUT is, for the help of korvex as a whole.
std::string_view inputs_help();

// The exit statuses a verb gives, in its help's words.
std::string_view statuses_help(Verb verb);

}  // namespace korve::command_line
