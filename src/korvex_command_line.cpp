#include "korvex_command_line.h"

#include <algorithm>
#include <array>
#include <utility>

#include "code_page.h"
#include "container.h"

#ifndef KORVE_VERSION
#error "KORVE_VERSION must name the project's version (the build defines it)"
#endif

namespace korve::command_line {
namespace {

constexpr std::string_view kVersion = KORVE_VERSION;


// A value an option names.
template <typename Value>
struct Named {
    Value value;
    std::string_view name;
};

// The dialects text is written in (alasm_expression.h); ALASM's own is the
// text as stored.
constexpr std::array<Named<Dialect>, 3> kDialects = {
    {{Dialect::Alasm, "alasm"}, {Dialect::Sjasmplus, "sjasmplus"}, {Dialect::Pasmo, "pasmo"}}};
constexpr std::array<Named<TextLayout>, 2> kLayouts = {
    {{TextLayout::Stored, "stored"}, {TextLayout::Tidy, "tidy"}}};
constexpr std::array<Named<LineEnd>, 2> kLineEnds = {
    {{LineEnd::Lf, "lf"}, {LineEnd::CrLf, "crlf"}}};

// Sets `value` to the one `name` names in `table`; false where none is.
template <typename Value, std::size_t Size>
bool set_named(const std::array<Named<Value>, Size>& table, std::string_view name, Value& value) {
    const auto found = std::find_if(table.begin(), table.end(),
                                    [name](const Named<Value>& row) { return row.name == name; });
    if (found == table.end()) {
        return false;
    }
    value = found->value;
    return true;
}

constexpr OptionRow kQuiet = {OptionId::Quiet, "quiet", 'q', "", "report errors only"};
constexpr OptionRow kVerbose = {OptionId::Verbose, "verbose", 'v', "",
                                "also name each file written, with its line count"};
constexpr OptionRow kHelp = {OptionId::Help, "help", 'h', "", "show this help"};
constexpr OptionRow kForce = {OptionId::Force, "force", '\0', "", "write over files that exist"};

constexpr std::array<OptionRow, 10> kTextOptions = {{
    {OptionId::Output, "output", 'o', "DIR|FILE|-",
     "write every file into the folder DIR (made if missing), the one input's text into "
     "FILE, or to standard output (-, as without -o)"},
    kForce,
    {OptionId::Charset, "charset", '\0', "CP866|CP1251|KOI8-R",
     "read bytes of 0x80 and above in that code page and write them in UTF-8; "
     "without it they are written as stored"},
    {OptionId::Eol, "eol", '\0', "lf|crlf", "the line end; without it the system's"},
    {OptionId::Layout, "layout", '\0', "stored|tidy",
     "stored (the default) is korve's text; tidy is label, tab, mnemonic, tab, operands, "
     "without the stored spaces beside the tabs or at the end of a line"},
    {OptionId::Dialect, "dialect", '\0', "alasm|sjasmplus|pasmo",
     "the assembler the text is for: alasm (the default) is the text as stored; sjasmplus and "
     "pasmo build the bytes ALASM builds, and a line that cannot promise it is reported"},
    {OptionId::Main, "main", '\0', "NAME",
     "with --dialect, translate only the source NAME (a TR-DOS name: PGMFLASH.H, or PGMFLASH "
     "for type H) and the sources it includes, directly or not"},
    kQuiet,
    kVerbose,
    kHelp,
}};

constexpr std::array<OptionRow, 3> kListOptions = {{
    {OptionId::Json, "json", '\0', "", "print one JSON document (see korvex(1))"},
    kQuiet,
    kHelp,
}};

constexpr std::array<OptionRow, 7> kPackOptions = {{
    {OptionId::Output, "output", 'o', "OUT",
     "write the ALASM data to OUT, whose name chooses what it is: .trd a TR-DOS disk image, "
     ".scl an SCL archive, .$h a Hobeta file, any other name bare data"},
    kForce,
    {OptionId::Charset, "charset", '\0', "CP866|CP1251|KOI8-R",
     "read the text as UTF-8 and store it in that code page; without it its bytes are stored "
     "as they are"},
    {OptionId::Name, "name", '\0', "NAME",
     "the name on the disk and in the header, for one TEXT; without it the text's file name "
     "less .asm and its type (PGMFLASH.H.asm gives PGMFLASH)"},
    kQuiet,
    {OptionId::Verbose, "verbose", 'v', "", "also name each text packed, with its line count"},
    kHelp,
}};

constexpr std::array<OptionRow, 9> kPutOptions = {{
    {OptionId::Output, "output", 'o', "OUT",
     "write the changed DISK to OUT, and leave DISK as it is; without it DISK is changed in place"},
    kForce,
    {OptionId::Name, "name", '\0', "NAME[.T]",
     "the file on the disk that the one TEXT replaces, or adds: a TR-DOS name, of type H "
     "without .T; without it the file korvex text names as the TEXT is named"},
    {OptionId::Charset, "charset", '\0', "CP866|CP1251|KOI8-R",
     "the TEXT was written with korvex text --charset: UTF-8, stored in that code page"},
    {OptionId::Eol, "eol", '\0', "lf|crlf", "taken as text takes it: either line end reads alike"},
    {OptionId::Layout, "layout", '\0', "stored|tidy",
     "the TEXT was written with korvex text --layout: its unchanged lines are compared in it"},
    kQuiet,
    {OptionId::Verbose, "verbose", 'v', "", "also say what each TEXT changed"},
    kHelp,
}};

constexpr std::array<OptionRow, 6> kGetOptions = {{
    {OptionId::Output, "output", 'o', "DIR",
     "write the files into the folder DIR (made if missing); without it, the current folder"},
    kForce,
    {OptionId::Hobeta, "hobeta", '\0', "",
     "write each file as a Hobeta file, NAME.$T: its header, then its whole sectors"},
    kQuiet,
    {OptionId::Verbose, "verbose", 'v', "", "also name each file written"},
    kHelp,
}};

constexpr OptionRow kTextCharset = {
    OptionId::Charset, "charset", '\0', "CP866|CP1251|KOI8-R",
    "read bytes of 0x80 and above in that code page and write them in UTF-8; "
    "without it they are written as stored"};

constexpr std::array<OptionRow, 3> kShowOptions = {{
    kTextCharset,
    {OptionId::Textconv, "textconv", '\0', "",
     "for git's textconv: a file that cannot be read is said in the text alone, and the "
     "status is 0"},
    kHelp,
}};

constexpr std::array<OptionRow, 2> kDiffOptions = {{kTextCharset, kHelp}};

constexpr std::string_view kInputs =
    "An INPUT is a file (bare ALASM data, a Hobeta file, a TR-DOS disk image or an\n"
    "SCL archive, told apart by their content), a folder, walked in sorted order, or\n"
    "- for standard input.";

constexpr std::string_view kTexts =
    "A TEXT is a file of text in ALASM's dialect, as korve and korvex text write it or\n"
    "as a person typed it, or - for standard input (which --name then names).";

constexpr std::string_view kPutInputs =
    "DISK is a TR-DOS disk image or an SCL archive, or a Hobeta file or bare ALASM\n"
    "data (then with one TEXT). A TEXT is a file of text in ALASM's dialect, as korvex\n"
    "text wrote it and a person edited it, or - for standard input (which --name then\n"
    "names on a disk).";

constexpr std::string_view kGetInputs =
    "DISK is a TR-DOS disk image or an SCL archive; a NAME.T is a file on it, named as\n"
    "korvex list shows it (PGMFLASH.C).";

constexpr std::array<VerbRow, 7> kVerbs = {{
    {"text", Verb::Text, kTextOptions, "[OPTION...] INPUT...",
     "write every ALASM source the inputs hold as text",
     "Converts the ALASM data of each INPUT to text, a line per stored line, as\n"
     "korve does. With one ALASM input and no -o the text goes to standard output;\n"
     "the files of disk images, folders and several inputs go into a folder, -o DIR.\n"
     "An existing file is never written over without --force.",
     kInputs},
    {"list", Verb::List, kListOptions, "[--json] INPUT...", "tell what each input holds",
     "Tells what each INPUT is: ALASM data with its header's name, length and line\n"
     "count; or a disk image, with each live file's name, type, start, length,\n"
     "sectors, whether it holds ALASM data, its line count and its problem.",
     kInputs},
    {"pack", Verb::Pack, kPackOptions, "[--charset CP] [--name NAME] [--force] -o OUT TEXT...",
     "store text as ALASM data again, on a disk image or in a Hobeta file",
     "Stores each TEXT as ALASM data, as ALASM's editor stores a line, and writes\n"
     "them to OUT: a TR-DOS disk image (.trd) or an SCL archive (.scl) holding a file\n"
     "per TEXT, or one TEXT as a Hobeta file (.$h) or bare data (any other name).\n"
     "An existing file is never written over without --force.",
     kTexts},
    {"put", Verb::Put, kPutOptions, "[OPTION...] DISK TEXT...",
     "store edited text back into the disk image or file it came from",
     "Stores each TEXT back into DISK: in the file korvex text wrote it from, its\n"
     "unchanged lines keeping their stored bytes and its changed lines stored as pack\n"
     "stores them, or as a new file. Every other file stays as it was. DISK is changed\n"
     "in place, whole or not at all, unless -o names another file to write.",
     kPutInputs},
    {"get", Verb::Get, kGetOptions, "[--hobeta] [--force] [-o DIR] DISK [NAME.T...]",
     "copy files off a disk image or an archive",
     "Copies each named file, or every file, off DISK into a folder: its bytes as the\n"
     "catalogue's length gives them, named NAME.T, or with --hobeta a Hobeta file.\n"
     "An existing file is never written over without --force.",
     kGetInputs},
    {"show", Verb::Show, kShowOptions, "[--charset CP] [--textconv] INPUT",
     "print everything an input holds as one text, for people and for git",
     "Prints each file INPUT holds under a heading line, sorted by name and type:\n"
     "  ==== NAME.T  start S  length L  fnv XXXXXXXX\n"
     "then an ALASM source's text as text writes it. Lines end in LF everywhere.",
     kInputs},
    {"diff", Verb::Diff, kDiffOptions, "[--charset CP] A B",
     "compare two inputs file by file, as diff -r does",
     "Compares A and B file by file: names the files only one holds, prints a\n"
     "unified diff of each ALASM source's text, and says which other files differ.",
     kInputs},
}};

constexpr std::string_view kDiffStatuses =
    "Exit status: 0 when they are the same; 1 when they differ; 2 for a usage error or\n"
    "a file that cannot be opened or read.";

constexpr std::string_view kStatuses =
    "Exit status: 0 when every input converted; 1 when one did not convert in full;\n"
    "2 for a usage error or a file that cannot be opened, read or written.";

const VerbRow* verb_named(std::string_view name) {
    const auto found = std::find_if(kVerbs.begin(), kVerbs.end(),
                                    [name](const VerbRow& verb) { return verb.name == name; });
    return found == kVerbs.end() ? nullptr : &*found;
}

// Sets an option; what is wrong with its value, if anything.
std::optional<std::string> apply(Options& options, const OptionRow& option,
                                 std::string_view value) {
    bool known = true;
    switch (option.id) {
        case OptionId::Output:
            options.output = std::string(value);
            known = !value.empty();
            break;
        case OptionId::Force: options.force = true; break;
        case OptionId::Json: options.json = true; break;
        case OptionId::Hobeta: options.hobeta = true; break;
        case OptionId::Textconv: options.textconv = true; break;
        case OptionId::Name: options.name = std::string(value); break;
        case OptionId::Main:
            options.main = std::string(value);
            known = !value.empty();
            break;
        case OptionId::Quiet: options.verbosity = Verbosity::Quiet; break;
        case OptionId::Verbose: options.verbosity = Verbosity::Verbose; break;
        case OptionId::Help: break;
        case OptionId::Charset:
            options.text.charset = code_page_named(value);
            known = options.text.charset.has_value();
            break;
        case OptionId::Eol: known = set_named(kLineEnds, value, options.text.line_end); break;
        case OptionId::Layout: known = set_named(kLayouts, value, options.text.layout); break;
        case OptionId::Dialect: known = set_named(kDialects, value, options.dialect); break;
    }
    if (known) {
        return std::nullopt;
    }
    return "--" + std::string(option.long_name) + " takes " + std::string(option.value) +
           ", not '" + std::string(value) + "'";
}

// What pack's options leave out or ask for at odds with its inputs.
std::optional<std::string> pack_usage_error(const Options& options) {
    const bool one = options.inputs.size() == 1;
    if (!options.output || *options.output == kStandardStream) {
        return "pack writes a file: name it with -o OUT";
    }
    const InputKind container = container_named(*options.output);
    if (!one && holds_alasm(container)) {
        return "a Hobeta file or bare data holds one TEXT; several need a .trd or an .scl";
    }
    if (!one && options.name) {
        return "--name names one TEXT";
    }
    const bool reads_stdin = std::find(options.inputs.begin(), options.inputs.end(),
                                       kStandardStream) != options.inputs.end();
    if (!options.name && reads_stdin) {
        return "standard input has no name: give it one with --name";
    }
    return std::nullopt;
}

// What put's and get's options leave out or ask for at odds with their inputs.
std::optional<std::string> disk_usage_error(const Options& options) {
    const bool put = options.verb->verb == Verb::Put;
    if (put && options.inputs.size() < 2) {
        return "put takes a DISK and at least one TEXT";
    }
    if (put && options.inputs.front() == kStandardStream) {
        return "put changes a DISK file: standard input cannot be one";
    }
    if (options.output && *options.output == kStandardStream) {
        return put ? "put writes a disk: -o names a file" : "get writes files: -o names a folder";
    }
    if (put && options.name && options.inputs.size() > 2) {
        return "--name names one TEXT";
    }
    return std::nullopt;
}

Request usage_error(std::string error, const VerbRow* verb) {
    Request request;
    request.kind = Request::Kind::UsageError;
    request.error = std::move(error);
    request.topic = verb;
    return request;
}

// What is wrong with the inputs and options given a verb, taken together.
std::optional<std::string> inputs_usage_error(const VerbRow& verb, const Options& options) {
    if (options.inputs.empty()) {
        return "no INPUT given";
    }
    if (std::count(options.inputs.begin(), options.inputs.end(), kStandardStream) > 1) {
        return "standard input (-) can be read only once";
    }
    switch (verb.verb) {
        case Verb::Pack: return pack_usage_error(options);
        case Verb::Put:
        case Verb::Get: return disk_usage_error(options);
        case Verb::Show:
            if (options.inputs.size() > 1) {
                return "show takes one INPUT";
            }
            break;
        case Verb::Diff:
            if (options.inputs.size() != 2) {
                return "diff compares two inputs, A and B";
            }
            break;
        case Verb::Text:
            if (options.main && options.dialect == Dialect::Alasm) {
                return "--main chooses what to translate: give --dialect too";
            }
            break;
        case Verb::List: break;
    }
    return std::nullopt;
}

// The options and inputs after the verb, in any order; "--" ends the options.
Request parse_verb(const VerbRow& verb, std::span<const char* const> words) {
    Request request;
    request.kind = Request::Kind::Run;
    request.options.verb = &verb;
    request.options.text.reading = Reading::AsAlasm;
    Options& options = request.options;
    bool options_ended = false;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string_view word = words[i];
        if (options_ended || word == kStandardStream || !word.starts_with('-')) {
            options.inputs.emplace_back(word);
            continue;
        }
        if (word == "--") {
            options_ended = true;
            continue;
        }
        // --name, --name=VALUE, --name VALUE; -x, -xVALUE, -x VALUE, -xy.
        const bool long_form = word.starts_with("--");
        std::string_view rest = word.substr(long_form ? 2 : 1);
        while (!rest.empty()) {
            const std::string_view name =
                long_form ? rest.substr(0, rest.find('=')) : rest.substr(0, 1);
            const auto row =
                std::find_if(verb.options.begin(), verb.options.end(), [&](const OptionRow& o) {
                    return long_form ? o.long_name == name
                                     : o.short_name != '\0' && o.short_name == name[0];
                });
            const std::string shown = (long_form ? "--" : "-") + std::string(name);
            if (row == verb.options.end()) {
                return usage_error("unknown option " + shown, &verb);
            }
            if (row->id == OptionId::Help) {
                request.kind = Request::Kind::Help;
                request.topic = &verb;
                return request;
            }
            rest.remove_prefix(name.size());
            std::string_view value;
            if (!row->value.empty()) {
                if (!rest.empty()) {
                    value = long_form ? rest.substr(1) : rest;  // less the '='
                } else if (i + 1 < words.size()) {
                    value = words[++i];
                } else {
                    return usage_error(shown + " takes " + std::string(row->value), &verb);
                }
                rest = {};
            } else if (long_form && !rest.empty()) {
                return usage_error(shown + " takes nothing", &verb);
            }
            if (auto wrong = apply(options, *row, value)) {
                return usage_error(std::move(*wrong), &verb);
            }
            if (long_form) {
                break;
            }
        }
    }
    if (auto wrong = inputs_usage_error(verb, options)) {
        return usage_error(std::move(*wrong), &verb);
    }
    return request;
}

}  // namespace

Request parse(int argc, const char* const* argv) {
    const std::span<const char* const> words(argv, static_cast<std::size_t>(std::max(argc, 0)));
    if (words.size() < 2) {
        return usage_error("no verb given", nullptr);
    }
    const std::string_view first = words[1];
    Request request;
    if (first == "--help" || first == "-h") {
        request.kind = Request::Kind::Help;
        return request;
    }
    if (first == "--version") {
        request.kind = Request::Kind::Version;
        return request;
    }
    if (first == "help") {
        request.kind = Request::Kind::Help;
        if (words.size() > 3) {
            return usage_error("help takes one VERB at most", nullptr);
        }
        if (words.size() == 3) {
            request.topic = verb_named(words[2]);
            if (request.topic == nullptr) {
                return usage_error("no verb '" + std::string(words[2]) + "'", nullptr);
            }
        }
        return request;
    }
    const VerbRow* verb = verb_named(first);
    if (verb == nullptr) {
        return usage_error("no verb '" + std::string(first) + "'", nullptr);
    }
    return parse_verb(*verb, words.subspan(2));
}

namespace {

std::string usage_lines() {
    std::string text;
    for (const VerbRow& verb : kVerbs) {
        text += (text.empty() ? "usage: " : "       ") + std::string(kProgram) + " " +
                std::string(verb.name) + " " + std::string(verb.synopsis) + "\n";
    }
    return text + "       " + std::string(kProgram) + " help [VERB] | --help | --version\n";
}

std::string verb_usage(const VerbRow& verb) {
    return "usage: " + std::string(kProgram) + " " + std::string(verb.name) + " " +
           std::string(verb.synopsis) + "\n";
}

// Help text for options, wrapped beside their names.
std::string option_lines(std::span<const OptionRow> options) {
    constexpr std::size_t kHelpColumn = 30;
    constexpr std::size_t kWidth = 79;
    std::string text;
    for (const OptionRow& option : options) {
        std::string head =
            option.short_name != '\0' ? std::string("  -") + option.short_name + ", " : "      ";
        head += "--" + std::string(option.long_name);
        if (!option.value.empty()) {
            head += " " + std::string(option.value);
        }
        std::string line = head;
        if (line.size() + 1 >= kHelpColumn) {
            text += line + "\n";
            line.clear();
        }
        line.resize(kHelpColumn, ' ');
        std::size_t used = kHelpColumn;
        for (std::size_t begin = 0; begin < option.help.size();) {
            const std::size_t end = std::min(option.help.find(' ', begin), option.help.size());
            const std::string_view word = option.help.substr(begin, end - begin);
            if (used + word.size() > kWidth && used > kHelpColumn) {
                text += line + "\n";
                line.assign(kHelpColumn, ' ');
                used = kHelpColumn;
            }
            if (used > kHelpColumn) {
                line += ' ';
                ++used;
            }
            line += word;
            used += word.size();
            begin = end + 1;
        }
        text += line + "\n";
    }
    return text;
}

}  // namespace

std::string help_text(const VerbRow* topic) {
    if (topic != nullptr) {
        return verb_usage(*topic) + "\n" + std::string(topic->description) + "\n\n" +
               std::string(topic->inputs) + "\n\nOptions:\n" + option_lines(topic->options) + "\n" +
               std::string(topic->verb == Verb::Diff ? kDiffStatuses : kStatuses) + "\n";
    }
    std::string text =
        std::string(kProgram) + " " + std::string(kVersion) +
        ": ALASM 5.x sources to text and back, from files, disk images and folders\n\n" +
        usage_lines() + "\nVerbs:\n";
    for (const VerbRow& verb : kVerbs) {
        text += "  " + std::string(verb.name) + "   " + std::string(verb.summary) + "\n";
    }
    text += "  help   show this help, or a verb's\n\n" + std::string(kInputs) + "\n\n" +
            std::string(kStatuses) + "\nSee '" + std::string(kProgram) +
            " help VERB' for a verb's options, and the manual page korvex(1).\n";
    return text;
}

std::string version_line() { return std::string(kProgram) + " " + std::string(kVersion); }

std::string usage_hint(const VerbRow* topic) {
    return (topic != nullptr ? verb_usage(*topic) : usage_lines()) + "Try '" +
           std::string(kProgram) + " help" + (topic != nullptr ? " " + std::string(topic->name) : "") +
           "' for more.\n";
}

}  // namespace korve::command_line
