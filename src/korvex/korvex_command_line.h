// korvex's command line: its verbs and options as tables, read into what
// they ask for, and the help and usage text made from the same tables.
//
//   korvex text [OPTION...] INPUT...     korvex list [--json] INPUT...
//   korvex pack [OPTION...] -o OUT TEXT...
//   korvex put [OPTION...] DISK TEXT...  korvex get [OPTION...] DISK [NAME.T...]
//   korvex show [OPTION...] INPUT        korvex diff [OPTION...] A B
//   korvex help [VERB] | --help | --version | VERB --help
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "alasm/alasm_expression.h"
#include "alasm/alasm_text.h"
#include "korvex/korvex_verbs.h"

namespace korve::command_line {

inline constexpr std::string_view kProgram = "korvex";

enum class Verbosity : unsigned char { Quiet, Normal, Verbose };

struct Options {
    const VerbRow* verb = nullptr;
    std::vector<std::string> inputs;
    std::optional<std::string> output;
    bool force = false;
    bool json = false;
    std::optional<std::string> name;  // pack's and put's --name
    std::optional<std::uint16_t> start;  // pack's and put's --start
    bool textconv = false;            // show's --textconv
    bool hobeta = false;              // get's --hobeta
    std::optional<std::string> main;  // text's --main
    bool alasm_text = false;          // --alasm-text: the inputs named are ALASM text
    Verbosity verbosity = Verbosity::Normal;
    TextOptions text;
    Dialect dialect = Dialect::Alasm;
};

// What the words of the command line ask for.
struct Request {
    enum class Kind : unsigned char { Run, Help, Version, UsageError } kind = Kind::UsageError;
    Options options;
    const VerbRow* topic = nullptr;  // Help: the verb, or none for all
    std::string error;               // UsageError: what is wrong
};

// Reads the command line (argv[0] is the program).
Request parse(int argc, const char* const* argv);

// The help of one verb, or of all of them.
std::string help_text(const VerbRow* topic);

// What --version prints: the program and the project's version.
std::string version_line();

// What follows a usage error's message: the usage of the verb, or of all,
// and where to read more.
std::string usage_hint(const VerbRow* topic);

}  // namespace korve::command_line
