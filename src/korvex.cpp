#include "korvex.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "alasm_pack.h"
#include "alasm_text.h"
#include "alasm_translation.h"
#include "catalogue.h"
#include "code_page.h"
#include "container.h"
#include "file.h"
#include "output_file.h"
#include "output_names.h"
#include "trdos_image.h"

#ifndef KORVE_VERSION
#error "KORVE_VERSION must name the project's version (the build defines it)"
#endif

namespace korve {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kProgram = "korvex";
constexpr std::string_view kVersion = KORVE_VERSION;
constexpr std::string_view kStandardStream = "-";
constexpr std::string_view kStdinShown = "<stdin>";
constexpr std::string_view kStdinName = "stdin";  // its outputs' name
constexpr std::string_view kStdoutShown = "standard output";

// ---- The command line ----

enum class Verb : unsigned char { Text, List, Pack };
enum class Verbosity : unsigned char { Quiet, Normal, Verbose };

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

enum class OptionId : unsigned char {
    Output,
    Force,
    Charset,
    Eol,
    Layout,
    Dialect,
    Quiet,
    Verbose,
    Json,
    Name,
    Help,
};

struct OptionRow {
    OptionId id;
    std::string_view long_name;  // after "--"
    char short_name;             // '\0': none
    std::string_view value;      // what it takes, as help names it; empty: nothing
    std::string_view help;
};

constexpr OptionRow kQuiet = {OptionId::Quiet, "quiet", 'q', "", "report errors only"};
constexpr OptionRow kVerbose = {OptionId::Verbose, "verbose", 'v', "",
                                "also name each file written, with its line count"};
constexpr OptionRow kHelp = {OptionId::Help, "help", 'h', "", "show this help"};
constexpr OptionRow kForce = {OptionId::Force, "force", '\0', "", "write over files that exist"};

constexpr std::array<OptionRow, 9> kTextOptions = {{
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

struct VerbRow {
    std::string_view name;
    Verb verb;
    std::span<const OptionRow> options;
    std::string_view synopsis;
    std::string_view summary;
    std::string_view description;
    std::string_view inputs;  // what its inputs are
};

constexpr std::string_view kInputs =
    "An INPUT is a file (bare ALASM data, a Hobeta file, a TR-DOS disk image or an\n"
    "SCL archive, told apart by their content), a folder, walked in sorted order, or\n"
    "- for standard input.";

constexpr std::string_view kTexts =
    "A TEXT is a file of text in ALASM's dialect, as korve and korvex text write it or\n"
    "as a person typed it, or - for standard input (which --name then names).";

constexpr std::array<VerbRow, 3> kVerbs = {{
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
}};

constexpr std::string_view kStatuses =
    "Exit status: 0 when every input converted; 1 when one did not convert in full;\n"
    "2 for a usage error or a file that cannot be opened, read or written.";

struct Options {
    const VerbRow* verb = nullptr;
    std::vector<std::string> inputs;
    std::optional<std::string> output;
    bool force = false;
    bool json = false;
    std::optional<std::string> name;  // pack's --name
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
        case OptionId::Name: options.name = std::string(value); break;
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

// What the container of a pack's output is, by its name.
enum class Container : unsigned char { Bare, Hobeta, Trd, Scl };

// The endings that name a container, in any case; any other name is bare data.
constexpr std::array<Named<Container>, 3> kContainers = {{
    {Container::Trd, ".trd"},
    {Container::Scl, ".scl"},
    {Container::Hobeta, ".$h"},
}};

Container container_named(std::string_view output) {
    const auto small = [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    };
    for (const auto& [container, ending] : kContainers) {
        if (output.size() > ending.size() &&
            std::equal(ending.begin(), ending.end(),
                       output.end() - static_cast<std::ptrdiff_t>(ending.size()),
                       [&small](char a, char b) { return a == small(b); })) {
            return container;
        }
    }
    return Container::Bare;
}

// What pack's options leave out or ask for at odds with its inputs.
std::optional<std::string> pack_usage_error(const Options& options) {
    const bool one = options.inputs.size() == 1;
    if (!options.output || *options.output == kStandardStream) {
        return "pack writes a file: name it with -o OUT";
    }
    const Container container = container_named(*options.output);
    if (!one && (container == Container::Bare || container == Container::Hobeta)) {
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

Request usage_error(std::string error, const VerbRow* verb) {
    Request request;
    request.kind = Request::Kind::UsageError;
    request.error = std::move(error);
    request.topic = verb;
    return request;
}

// The options and inputs after the verb, in any order; "--" ends the options.
Request parse_verb(const VerbRow& verb, std::span<const char* const> words) {
    Request request;
    request.kind = Request::Kind::Run;
    request.options.verb = &verb;
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
    if (options.inputs.empty()) {
        return usage_error("no INPUT given", &verb);
    }
    if (std::count(options.inputs.begin(), options.inputs.end(), kStandardStream) > 1) {
        return usage_error("standard input (-) can be read only once", &verb);
    }
    if (verb.verb == Verb::Pack) {
        if (auto wrong = pack_usage_error(options)) {
            return usage_error(std::move(*wrong), &verb);
        }
    }
    return request;
}

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

// ---- Printing ----

// Untranslated lines are reported as the translator's users know them:
// "FILE:LINE: cannot translate: why".
enum class Severity : unsigned char { Error, Warning, Note, Progress, Untranslated };

struct Console {
    const KorvexStreams& streams;
    Verbosity verbosity;
    std::string_view newline = line_end_text(kPlatformLineEnd);

    void print(std::FILE* stream, std::string_view text) const {
        std::fwrite(text.data(), 1, text.size(), stream);
    }

    void line(std::FILE* stream, std::string_view text) const {
        print(stream, text);
        print(stream, newline);
    }

    // Text with the system's line ends for its '\n's.
    void lines(std::FILE* stream, std::string_view text) const {
        for (std::size_t begin = 0; begin < text.size();) {
            const std::size_t end = std::min(text.find('\n', begin), text.size());
            print(stream, text.substr(begin, end - begin));
            if (end < text.size()) {
                print(stream, newline);
            }
            begin = end + 1;
        }
    }

    // "korvex: WHERE: error: TEXT", as compilers word their messages.
    void say(Severity severity, std::string_view where, std::string_view text) const {
        const bool shown = severity == Severity::Error || severity == Severity::Untranslated ||
                           (severity == Severity::Progress ? verbosity == Verbosity::Verbose
                                                           : verbosity != Verbosity::Quiet);
        if (!shown) {
            return;
        }
        std::string message(kProgram);
        message += ": ";
        if (!where.empty()) {
            message += std::string(where) + ": ";
        }
        constexpr std::array<std::string_view, 5> kLabels = {"error: ", "warning: ", "note: ", "",
                                                             ""};
        message += kLabels[static_cast<std::size_t>(severity)];
        message += text;
        line(streams.err, message);
    }
};

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

std::string help_text(const VerbRow* topic) {
    if (topic != nullptr) {
        return verb_usage(*topic) + "\n" + std::string(topic->description) + "\n\n" +
               std::string(topic->inputs) + "\n\nOptions:\n" + option_lines(topic->options) + "\n" +
               std::string(kStatuses) + "\n";
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

// ---- Paths ----

// A path as messages show it: in UTF-8 on Windows, the bytes as given elsewhere.
std::string shown_path(const fs::path& path) {
#ifdef _WIN32
    const std::u8string utf8 = path.u8string();
    return {utf8.begin(), utf8.end()};
#else
    return path.string();
#endif
}

// A place to write to, and how messages show it.
struct Place {
    fs::path path;
    std::string shown;
};

Place inside(const Place& folder, std::string_view name) {
    const std::string name_text(name);
    const bool ends_in_separator = folder.shown.ends_with('/') || folder.shown.ends_with('\\');
    return {folder.path / file_path(name_text.c_str()),
            folder.shown + (ends_in_separator ? "" : "/") + name_text};
}

std::string system_reason(int error_number) {
    return reason(std::error_code(error_number, std::generic_category()));
}

// ---- Converting ----

// Where an input's text goes.
enum class Target : unsigned char {
    Stdout,
    File,       // the file `place`
    Folder,     // into the folder `place`
    Undecided,  // the one input's: a file for ALASM data, else a folder
};

struct Destination {
    Target target = Target::Stdout;
    Place place;
    ClaimedNames* claims = nullptr;  // Folder: the names given out in it
    // Folder: an image's files and a folder's tree go straight into it,
    // rather than into a folder named after the input.
    bool straight = false;
};

// An input as it is read: how messages name it, and the name its outputs take.
struct Source {
    std::string shown;
    std::string name;
};

struct Run {
    Run(Console& console_, const Options& options_) : console(console_), options(options_) {
        project.dialect = options.dialect;
    }

    Console& console;
    const Options& options;
    KorvexStatus status = KorvexStatus::Converted;
    std::optional<fs::path> output_root;  // the folder written into, where one is
    std::size_t skipped = 0;              // files of folders that hold nothing to convert
    std::size_t listed = 0;               // list --json: the elements printed
    bool stdout_failed = false;           // and said so
    fs::path made;                        // the folder last made: its files follow each other
    // For a dialect: the names the INCLUDEs of the files written into one
    // folder give, and the macros they define.
    TranslationSetup project;

    void worsen(KorvexStatus to) {
        status = static_cast<int>(to) > static_cast<int>(status) ? to : status;
    }

    void error(std::string_view where, std::string_view text, KorvexStatus to) {
        console.say(Severity::Error, where, text);
        worsen(to);
    }
};

std::string lines_before(std::size_t lines) {
    if (lines == 0) {
        return "nothing was written";
    }
    return lines == 1 ? "the line before it was written"
                      : "the " + std::to_string(lines) + " lines before it were written";
}

// Makes the folders of `place`; false (having said why) when it cannot.
bool make_folder(Run& run, const Source& source, const Place& folder) {
    if (!run.made.empty() && run.made == folder.path) {
        return true;
    }
    std::error_code error;
    // "out/" names the folder "out"; a file of that name fails alike everywhere.
    const fs::path named = folder.path.has_filename() ? folder.path : folder.path.parent_path();
    const fs::file_status status = fs::status(named, error);
    if (fs::exists(status) && !fs::is_directory(status)) {
        run.error(source.shown, "cannot make the folder " + folder.shown + ": a file has its name",
                  KorvexStatus::Trouble);
        return false;
    }
    fs::create_directories(folder.path, error);
    if (error) {
        run.error(source.shown, "cannot make the folder " + folder.shown + ": " + reason(error),
                  KorvexStatus::Trouble);
        return false;
    }
    run.made = folder.path;
    return true;
}

// An input's bytes, read whole: at most one more than any image holds.
std::vector<unsigned char> read_whole(ByteReader& reader) {
    std::vector<unsigned char> bytes;
    while (bytes.size() <= kLargestImage && !reader.at_end()) {
        const auto block = reader.take(kLongestLook);
        bytes.insert(bytes.end(), block.begin(), block.end());
    }
    return bytes;
}

bool translating(const Run& run) { return run.options.dialect != Dialect::Alasm; }

// A source's lines in their parts, as they would be written: read, not written.
std::vector<DescribedLine> described_lines(ByteReader& reader, InputKind kind) {
    std::vector<DescribedLine> lines;
    TextOptions options;
    options.observer = [&lines](std::size_t, const DescribedLine& line) { lines.push_back(line); };
    convert_to_text(reader, kind, options, nullptr);
    return lines;
}

// Makes a source known to the others written into its folder: the TR-DOS
// names an INCLUDE gives it by, the file it is written to, and its macros.
void add_to_project(TranslationSetup& project, std::initializer_list<std::string> keys,
                    const std::string& file, std::span<const DescribedLine> lines) {
    for (const std::string& key : keys) {
        project.includes.emplace(key, file);
    }
    collect_macros(lines, project.macros);
}

// The project of the ALASM files among `files` (their names and paths),
// written into one folder: a file SCRUTIL.H or SCRUTIL.$h is what INCLUDE
// "SCRUTIL" names.
TranslationSetup project_of_files(const Run& run,
                                  const std::vector<std::pair<std::string, fs::path>>& files) {
    TranslationSetup project;
    project.dialect = run.options.dialect;
    for (const auto& [name, path] : files) {
        std::error_code error;
        if (!fs::is_regular_file(path, error)) {
            continue;
        }
        const File file(open_file(path, "rb"));
        if (!file) {
            continue;  // said when it is converted
        }
        ByteReader reader(file.get());
        const InputKind kind = recognise_input(reader.look(kRecognisedBytes));
        if (holds_alasm(kind)) {
            const auto stem = trdos_name_of(name);
            add_to_project(project, {name, include_key(stem ? *stem : name)},
                           name + std::string(kTextSuffix), described_lines(reader, kind));
        }
    }
    return project;
}

// Converts, or translates, ALASM data into `output` (none: only counted);
// gives the lines that could not be translated in `untranslated`.
TextReport convert(const Run& run, ByteReader& reader, InputKind kind, std::FILE* output,
                   std::vector<TranslationProblem>& untranslated) {
    if (!translating(run)) {
        return convert_to_text(reader, kind, run.options.text, output);
    }
    // A translation takes a whole source: it is read once, into memory.
    const std::vector<unsigned char> bytes = read_whole(reader);
    if (reader.failed() || bytes.size() > kLargestImage) {
        TextReport failed;
        failed.outcome = TextOutcome::ReadFailed;
        failed.error_number = reader.failed() ? errno : EFBIG;
        return failed;
    }
    ByteReader first(bytes);
    const std::vector<DescribedLine> lines = described_lines(first, kind);
    Translation translation = translate_source(run.project, lines);
    TextOptions options = run.options.text;
    options.translator = [&translation](std::size_t number, const DescribedLine&,
                                        std::string& text) -> std::optional<std::string> {
        if (number <= translation.lines.size()) {
            text = translation.lines[number - 1].text;
        }
        return std::nullopt;  // reported below, with the end's
    };
    ByteReader second(bytes);
    TextReport report = convert_to_text(second, kind, options, output);
    untranslated = std::move(translation.problems);
    return report;
}

// Reports what converting ALASM data found, once its text is written.
void report_text(Run& run, const Source& source, const TextReport& report,
                 std::span<const TranslationProblem> untranslated, std::string_view to) {
    const Console& console = run.console;
    if (!report.checksum_matches) {
        console.say(Severity::Warning, source.shown,
                    "the Hobeta checksum does not match; converted as its length says");
    }
    if (report.cut_line != 0 && !report.undefined) {
        console.say(Severity::Warning, source.shown,
                    "the data ends inside line " + std::to_string(report.cut_line));
    }
    for (const TranslationProblem& line : untranslated) {
        console.say(Severity::Untranslated, source.shown + ":" + std::to_string(line.line),
                    "cannot translate: " + line.what);
        run.worsen(KorvexStatus::NotAllConverted);
    }
    if (report.undefined) {
        run.error(source.shown + ":" + std::to_string(report.lines + 1),
                  token_problem(*report.undefined) + "; " + lines_before(report.lines),
                  KorvexStatus::NotAllConverted);
    } else {
        console.say(Severity::Progress, source.shown,
                    "converted " + std::to_string(report.lines) +
                        (report.lines == 1 ? " line" : " lines") + " into " + std::string(to));
    }
}

// Converts ALASM data into a file or onto standard output.
void convert_alasm(Run& run, ByteReader& reader, InputKind kind, const Source& source,
                   const Destination& where) {
    std::vector<TranslationProblem> untranslated;
    if (where.target == Target::Stdout) {
        const TextReport report = convert(run, reader, kind, run.console.streams.out, untranslated);
        if (report.outcome == TextOutcome::WriteFailed) {
            run.error(source.shown,
                      "cannot write " + std::string(kStdoutShown) + ": " +
                          system_reason(report.error_number),
                      KorvexStatus::Trouble);
            run.stdout_failed = true;
        } else if (report.outcome == TextOutcome::ReadFailed) {
            run.error(source.shown, "reading failed: " + system_reason(report.error_number),
                      KorvexStatus::Trouble);
        } else {
            report_text(run, source, report, untranslated, kStdoutShown);
        }
        return;
    }
    const Place target =
        where.target == Target::File
            ? where.place
            : inside(where.place,
                     claim_name(*where.claims, source.name + std::string(kTextSuffix)));
    const std::string exists = target.shown + " exists; --force writes over it";
    std::error_code error;
    if (!run.options.force && fs::exists(fs::symlink_status(target.path, error))) {
        run.error(source.shown, exists, KorvexStatus::Trouble);
        return;
    }
    if (where.target == Target::Folder && !make_folder(run, source, where.place)) {
        return;
    }
    OutputFile output = OutputFile::open(target.path, error);
    if (!output.is_open()) {
        run.error(source.shown, "cannot write " + target.shown + ": " + reason(error),
                  KorvexStatus::Trouble);
        return;
    }
    const TextReport report = convert(run, reader, kind, output.stream(), untranslated);
    if (report.outcome == TextOutcome::WriteFailed) {
        run.error(source.shown,
                  "cannot write " + target.shown + ": " + system_reason(report.error_number),
                  KorvexStatus::Trouble);
        return;
    }
    if (report.outcome == TextOutcome::ReadFailed) {
        run.error(source.shown, "reading failed: " + system_reason(report.error_number),
                  KorvexStatus::Trouble);
        return;
    }
    if (report.lines == 0) {
        output.discard();  // stopped on its first line: no file of nothing
    } else if (const std::error_code failed = output.commit(run.options.force)) {
        run.error(source.shown,
                  failed == std::errc::file_exists
                      ? exists
                      : "cannot write " + target.shown + ": " + reason(failed),
                  KorvexStatus::Trouble);
        return;
    }
    report_text(run, source, report, untranslated, target.shown);
}

// The folder that an image's files or a folder's tree go into.
std::optional<Destination> folder_for(Run& run, const Source& source, const Destination& where,
                                      ClaimedNames& claims, std::string_view holder) {
    std::error_code error;
    const bool refused = where.target == Target::Stdout || where.target == Target::File ||
                         (where.target == Target::Undecided && fs::exists(where.place.path, error));
    if (refused) {
        const std::string words = where.target == Target::Stdout
                                      ? "name a folder to write its files into with -o DIR"
                                      : where.place.shown + " is no folder, and its files need one";
        run.error(source.shown, std::string(holder) + " holds several files: " + words,
                  KorvexStatus::Trouble);
        return std::nullopt;
    }
    Destination folder{Target::Folder, where.place, &claims, false};
    if (!where.straight) {
        folder.place = inside(where.place, claim_name(*where.claims, source.name));
    }
    return folder;
}

std::string entry_shown(const Source& image, std::string_view name) {
    return image.shown + ":" + std::string(name);
}

// The image's own problem first, then each file: lost, skipped or converted.
// Its files are named as the page names them, distinct among themselves,
// before their text files are named in the folder.
void convert_image(Run& run, const Source& source, const DiskImage& image,
                   const Destination& where) {
    ClaimedNames files;
    const auto folder = folder_for(run, source, where, files, "a disk image");
    if (!folder) {
        return;
    }
    if (image.problem != ImageProblem::None) {
        const auto lost = std::count_if(
            image.entries.begin(), image.entries.end(),
            [](const ImageEntry& entry) { return entry.problem != ImageProblem::None; });
        std::string text(image_problem(image.problem));
        if (lost > 0) {
            text += "; " + std::to_string(lost) + " of its " +
                    std::to_string(image.entries.size()) + " files lost";
        }
        run.console.say(Severity::Warning, source.shown, text);
    }
    ClaimedNames claimed;
    std::vector<std::string> names;
    for (const ImageEntry& entry : image.entries) {
        names.push_back(claim_name(claimed, entry_file_name(entry.name, entry.type)));
    }
    // A disk's files include each other by their TR-DOS names.
    const TranslationSetup outer = run.project;
    if (translating(run)) {
        run.project = TranslationSetup{run.options.dialect, {}, {}};
        for (std::size_t i = 0; i < image.entries.size(); ++i) {
            const ImageEntry& entry = image.entries[i];
            if (entry.alasm) {
                ByteReader reader(
                    std::span(reinterpret_cast<const unsigned char*>(entry.hobeta.data()),
                              entry.hobeta.size()));
                add_to_project(run.project, {full_name(entry)}, names[i] + std::string(kTextSuffix),
                               described_lines(reader, InputKind::HobetaAlasm));
            }
        }
    }
    for (std::size_t i = 0; i < image.entries.size(); ++i) {
        const ImageEntry& entry = image.entries[i];
        const std::string& name = names[i];
        const Source file{entry_shown(source, name), name};
        if (entry.problem != ImageProblem::None) {
            run.error(file.shown, entry_problem(entry.problem), KorvexStatus::NotAllConverted);
        } else if (!entry.alasm) {
            run.console.say(Severity::Progress, file.shown, "skipped: not ALASM data");
        } else {
            ByteReader reader(std::span(reinterpret_cast<const unsigned char*>(entry.hobeta.data()),
                                        entry.hobeta.size()));
            convert_alasm(run, reader, InputKind::HobetaAlasm, file, *folder);
        }
    }
    run.project = outer;
}

// ---- Listing ----

// The names an image's files' text takes, as `text` would give them.
std::vector<std::string> output_names(const DiskImage& image) {
    ClaimedNames claims;
    std::vector<std::string> names;
    for (const ImageEntry& entry : image.entries) {
        names.push_back(claim_name(claims, entry_file_name(entry.name, entry.type)) +
                        std::string(kTextSuffix));
    }
    return names;
}

void list_summary(Run& run, const InputSummary& summary) {
    if (run.options.json) {
        // Each element as it comes: a list of any length takes no memory.
        run.console.lines(
            run.console.streams.out,
            (run.listed++ == 0 ? "{\"inputs\": [\n  " : ",\n  ") + summary_json(summary));
    } else {
        run.console.print(run.console.streams.out, summary_table(summary, run.console.newline));
    }
}

// ---- Reading inputs ----

// Takes one opened input: recognises it, then converts or lists what it
// holds. `walked`: found in a folder, rather than named.
void take_input(Run& run, std::FILE* file, const Source& source, const Destination& where,
                bool walked) {
    ByteReader reader(file);
    InputKind kind = recognise_input(reader.look(kRecognisedBytes));
    const auto read_failed = [&]() {
        run.error(source.shown, "reading failed: " + system_reason(errno), KorvexStatus::Trouble);
        if (run.options.verb->verb == Verb::List) {
            list_summary(run, {source.shown, SummaryKind::Error, "reading failed", {}, {}, {}});
        }
    };
    if (reader.failed()) {
        read_failed();
        return;
    }
    const bool listing = run.options.verb->verb == Verb::List;
    if (holds_alasm(kind)) {
        if (listing) {
            InputSummary summary{
                source.shown,
                kind == InputKind::BareAlasm ? SummaryKind::Alasm : SummaryKind::Hobeta,
                {},
                summarise_alasm(reader, kind, source.name + std::string(kTextSuffix)),
                {},
                {}};
            if (reader.failed()) {
                read_failed();
            } else {
                list_summary(run, summary);
            }
            return;
        }
        Destination resolved = where;
        if (where.target == Target::Undecided) {
            resolved.target = Target::File;
        }
        convert_alasm(run, reader, kind, source, resolved);
        return;
    }
    DiskImage image;
    if (is_disk_image(kind)) {
        const std::vector<unsigned char> bytes = read_whole(reader);
        if (reader.failed()) {
            read_failed();
            return;
        }
        image = read_disk_image(bytes);
        if (image.problem == ImageProblem::NotAnImage) {
            kind = InputKind::None;  // larger than any image
        }
    }
    if (!is_disk_image(kind)) {
        if (listing) {
            list_summary(run, {source.shown, SummaryKind::None, {}, {}, {}, {}});
        } else if (walked) {
            ++run.skipped;
            run.console.say(Severity::Progress, source.shown,
                            "skipped: neither ALASM data nor a disk image");
        } else {
            run.error(source.shown, "holds no ALASM data and no disk image",
                      KorvexStatus::NotAllConverted);
        }
        return;
    }
    if (listing) {
        list_summary(run, summarise_image(source.shown, kind, image, output_names(image)));
        return;
    }
    convert_image(run, source, image, where);
}

void take_path(Run& run, const fs::path& path, const Source& source, const Destination& where,
               bool walked);

// Takes the files of a folder in sorted order, and its folders in turn.
void walk(Run& run, const fs::path& folder, const Source& source, const Destination& where) {
    ClaimedNames claims;
    const auto into = folder_for(run, source, where, claims, "a folder");
    if (!into) {
        return;
    }
    std::error_code error;
    if (run.output_root && fs::equivalent(folder, *run.output_root, error)) {
        run.error(source.shown, "it is the folder written into; name another with -o",
                  KorvexStatus::Trouble);
        return;
    }
    std::vector<std::pair<std::string, fs::path>> found;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        found.emplace_back(shown_path(it->path().filename()), it->path());
    }
    if (error) {
        run.error(source.shown, "cannot read the folder: " + reason(error), KorvexStatus::Trouble);
        return;
    }
    std::sort(found.begin(), found.end());
    // The sources of one folder include each other.
    const TranslationSetup outer = run.project;
    if (translating(run) && run.options.verb->verb == Verb::Text) {
        run.project = project_of_files(run, found);
    }
    for (const auto& [name, path] : found) {
        const Source child{source.shown + (source.shown.ends_with('/') ? "" : "/") + name, name};
        const fs::file_status link = fs::symlink_status(path, error);
        const fs::file_status status = fs::status(path, error);
        if (fs::is_directory(status)) {
            if (fs::is_symlink(link)) {
                run.console.say(Severity::Progress, child.shown, "skipped: a link to a folder");
            } else if (!(run.output_root && fs::equivalent(path, *run.output_root, error))) {
                walk(run, path, child, *into);
            }
        } else if (fs::is_regular_file(status)) {
            take_path(run, path, child, *into, true);
        } else {
            ++run.skipped;
            run.console.say(Severity::Progress, child.shown, "skipped: not a file");
        }
    }
    run.project = outer;
}

void take_path(Run& run, const fs::path& path, const Source& source, const Destination& where,
               bool walked) {
    std::error_code error;
    if (fs::is_directory(path, error)) {
        walk(run, path, source, where);
        return;
    }
    errno = 0;
    const File file(open_file(path, "rb"));
    if (!file) {
        const std::string why = system_reason(errno != 0 ? errno : ENOENT);
        run.error(source.shown, why, KorvexStatus::Trouble);
        if (run.options.verb->verb == Verb::List) {
            list_summary(run, {source.shown, SummaryKind::Error, why, {}, {}, {}});
        }
        return;
    }
    take_input(run, file.get(), source, where, walked);
}

// Where the inputs' text goes, from -o and the inputs; none (having said
// why) when the command cannot be carried out.
std::optional<Destination> destination(Run& run, ClaimedNames& claims) {
    const Options& options = run.options;
    const bool several = options.inputs.size() > 1;
    if (!options.output || *options.output == kStandardStream) {
        if (options.verb->verb == Verb::List) {
            return Destination{
                Target::Folder, {}, &claims, true};  // names only: nothing is written
        }
        if (several) {
            run.error("", "several inputs: name a folder to write their files into with -o DIR",
                      KorvexStatus::Trouble);
            return std::nullopt;
        }
        return Destination{Target::Stdout, {}, nullptr, false};
    }
    const std::string& output = *options.output;
    const Place place{file_path(output.c_str()), output};
    std::error_code error;
    const fs::file_status status = fs::status(place.path, error);
    const bool is_folder =
        fs::is_directory(status) || output.ends_with('/') || output.ends_with('\\');
    if (several && !is_folder && fs::exists(status)) {
        run.error("", output + " is no folder, and several inputs need one", KorvexStatus::Trouble);
        return std::nullopt;
    }
    run.output_root = place.path;
    if (several || is_folder) {
        return Destination{Target::Folder, place, &claims, !several};
    }
    return Destination{Target::Undecided, place, &claims, true};
}

void run_inputs(Run& run) {
    ClaimedNames claims;
    const auto where = destination(run, claims);
    if (!where) {
        return;
    }
    if (translating(run)) {
        if (run.options.text.charset) {
            run.console.say(Severity::Warning, "",
                            "with --charset, strings are written in UTF-8: they no longer "
                            "assemble to the bytes ALASM made of them");
        }
        // The files named on the command line, written into one folder,
        // include each other.
        std::vector<std::pair<std::string, fs::path>> files;
        for (const std::string& input : run.options.inputs) {
            if (input != kStandardStream) {
                const fs::path path = file_path(input.c_str());
                files.emplace_back(shown_path(path.filename()), path);
            }
        }
        run.project = project_of_files(run, files);
    }
    for (const std::string& input : run.options.inputs) {
        if (input == kStandardStream) {
            take_input(run, run.console.streams.in,
                       {std::string(kStdinShown), std::string(kStdinName)}, *where, false);
            continue;
        }
        const fs::path path = file_path(input.c_str());
        take_path(run, path, {input, shown_path(path.filename())}, *where, false);
        if (run.skipped > 0) {
            run.console.say(Severity::Note, input,
                            std::to_string(run.skipped) + (run.skipped == 1 ? " file" : " files") +
                                " skipped: neither ALASM data nor a disk image");
            run.skipped = 0;
        }
    }
    if (run.options.json) {
        run.console.lines(run.console.streams.out,
                          run.listed == 0 ? "{\"inputs\": []}\n" : "\n]}\n");
    }
}

// ---- Packing ----

// One text, packed: its file, and what to say of it.
struct PackedSource {
    TrdosFile file;
    std::string shown;
    std::size_t lines = 0;
    std::size_t rewritten = 0;
};

// Where a pack error stands: "TEXT:LINE:COLUMN", or less where it has none.
std::string pack_place(const Source& source, std::size_t line, std::size_t column) {
    std::string place = source.shown;
    if (line != 0) {
        place += ":" + std::to_string(line);
        if (column != 0) {
            place += ":" + std::to_string(column);
        }
    }
    return place;
}

// Why a character of a line cannot be stored in `page`.
std::string unstorable(std::string_view line, std::size_t at, CodePage page) {
    const Utf8Character found = decode_utf8(line, at);
    if (found.size == 0) {
        return "the bytes here are no UTF-8";
    }
    std::array<char, 16> code{};
    std::snprintf(code.data(), code.size(), "U+%04X", static_cast<unsigned>(found.character));
    return "'" + std::string(line.substr(at, found.size)) + "' (" + code.data() +
           ") has no byte in " + std::string(code_page_name(page));
}

// The TR-DOS name of a text: --name's, or its file's; none (having said
// why) where TR-DOS cannot take it.
std::optional<std::string> pack_name(Run& run, const Source& source) {
    std::optional<std::string> name;
    if (run.options.name) {
        Encoded bytes = encode_in(CodePage::Cp866, *run.options.name);
        if (!bytes.failed_at) {
            name = std::move(bytes.bytes);
        }
    } else {
        name = trdos_name_of(source.name);
    }
    const std::string given = run.options.name ? *run.options.name : source.name;
    if (!name) {
        run.error(source.shown,
                  "the name " + given + " holds a character TR-DOS names cannot (they are CP866)",
                  KorvexStatus::NotAllConverted);
        return std::nullopt;
    }
    if (const NameProblem problem = check_trdos_name(*name); problem != NameProblem::None) {
        run.error(source.shown,
                  name_problem_text(problem) + " (from " + given + "); give one with --name",
                  KorvexStatus::NotAllConverted);
        return std::nullopt;
    }
    return name;
}

// Packs one text, a line at a time; none (having said why) where it cannot.
std::optional<PackedSource> pack_source(Run& run, std::FILE* file, const Source& source) {
    const auto name = pack_name(run, source);
    if (!name) {
        return std::nullopt;
    }
    ByteReader input(file);
    TextLineReader lines(input);
    AlasmPacker packer(*name);
    const std::optional<CodePage> page = run.options.text.charset;
    std::string stored;
    std::optional<PackError> error;
    while (const auto line = lines.next()) {
        std::string_view text = line->text;
        if (page && line->whole) {
            Encoded encoded = encode_in(*page, line->text);
            if (encoded.failed_at) {
                const std::size_t column = position_of(line->text, *encoded.failed_at).column;
                run.error(pack_place(source, packer.lines() + 1, column),
                          unstorable(line->text, *encoded.failed_at, *page),
                          KorvexStatus::NotAllConverted);
                return std::nullopt;
            }
            stored = std::move(encoded.bytes);
            text = stored;
        }
        if ((error = packer.add_line(text, line->whole))) {
            break;
        }
    }
    if (input.failed()) {
        run.error(source.shown, "reading failed: " + system_reason(errno), KorvexStatus::Trouble);
        return std::nullopt;
    }
    if (error || (error = packer.finish())) {
        run.error(pack_place(source, error->line, error->column), pack_problem_text(*error),
                  KorvexStatus::NotAllConverted);
        return std::nullopt;
    }
    return PackedSource{{*name, kAlasmType, 0, packer.data()},
                        source.shown,
                        packer.lines(),
                        packer.rewritten_lines()};
}

// The label of a new disk: its file's name less .trd, in CP866 where it can
// be, cut to TR-DOS's 8 bytes.
std::string disk_label(const Place& output) {
    const std::string stem = shown_path(output.path.stem());
    std::string label;
    for (std::size_t at = 0; at < stem.size() && label.size() < kDiskLabelSize;) {
        const Utf8Character next = decode_utf8(stem, at);
        const auto byte = next.size == 0 ? std::nullopt : byte_of(CodePage::Cp866, next.character);
        label += byte && *byte >= ' ' ? static_cast<char>(*byte) : '_';
        at += std::max<std::size_t>(next.size, 1);
    }
    return label;
}

// The container's bytes; a file that cannot go in is said and left out.
std::string contain(Run& run, Container container, const Place& output,
                    std::vector<PackedSource>& packed) {
    for (;;) {
        std::vector<TrdosFile> files;
        files.reserve(packed.size());
        for (const PackedSource& source : packed) {
            files.push_back(source.file);
        }
        WrittenImage written;
        switch (container) {
            case Container::Bare: written.bytes = files.front().data; break;
            case Container::Hobeta: written = write_hobeta_file(files.front()); break;
            case Container::Trd: written = write_trd_image(files, disk_label(output)); break;
            case Container::Scl: written = write_scl_archive(files); break;
        }
        if (written.problem == WriteProblem::None) {
            return written.bytes;
        }
        run.error(packed[written.file].shown,
                  write_problem_text(written.problem, files[written.file]),
                  KorvexStatus::NotAllConverted);
        packed.erase(packed.begin() + static_cast<std::ptrdiff_t>(written.file));
        if (packed.empty()) {
            return {};
        }
    }
}

// Writes `bytes` to the file `output` whole, or not at all; false (having
// said why) when it could not.
bool write_whole(Run& run, const Place& output, std::string_view bytes) {
    const std::string exists = output.shown + " exists; --force writes over it";
    std::error_code error;
    if (!run.options.force && fs::exists(fs::symlink_status(output.path, error))) {
        run.error("", exists, KorvexStatus::Trouble);
        return false;
    }
    OutputFile file = OutputFile::open(output.path, error);
    if (!file.is_open()) {
        run.error("", "cannot write " + output.shown + ": " + reason(error), KorvexStatus::Trouble);
        return false;
    }
    errno = 0;
    if (std::fwrite(bytes.data(), 1, bytes.size(), file.stream()) != bytes.size()) {
        run.error("", "cannot write " + output.shown + ": " + system_reason(errno),
                  KorvexStatus::Trouble);
        return false;
    }
    if (const std::error_code failed = file.commit(run.options.force)) {
        run.error("",
                  failed == std::errc::file_exists
                      ? exists
                      : "cannot write " + output.shown + ": " + reason(failed),
                  KorvexStatus::Trouble);
        return false;
    }
    return true;
}

// `korvex pack`: each text stored as ALASM data, all of it written at once.
void run_pack(Run& run) {
    const Place output{file_path(run.options.output->c_str()), *run.options.output};
    const Container container = container_named(*run.options.output);
    std::vector<PackedSource> packed;
    for (const std::string& input : run.options.inputs) {
        std::optional<PackedSource> source;
        if (input == kStandardStream) {
            source = pack_source(run, run.console.streams.in,
                                 {std::string(kStdinShown), std::string(kStdinName)});
        } else {
            const fs::path path = file_path(input.c_str());
            std::error_code error;
            errno = 0;
            const File file(fs::is_directory(path, error) ? nullptr : open_file(path, "rb"));
            if (!file) {
                run.error(input,
                          fs::is_directory(path, error)
                              ? "is a folder: name its texts"
                              : system_reason(errno != 0 ? errno : ENOENT),
                          KorvexStatus::Trouble);
                continue;
            }
            source = pack_source(run, file.get(), {input, shown_path(path.filename())});
        }
        if (source) {
            packed.push_back(std::move(*source));
        }
    }
    if (packed.empty()) {
        return;
    }
    const std::string bytes = contain(run, container, output, packed);
    if (packed.empty()) {
        return;
    }
    if (!write_whole(run, output, bytes)) {
        return;
    }
    for (const PackedSource& source : packed) {
        std::string said = "packed " + std::to_string(source.lines) +
                           (source.lines == 1 ? " line" : " lines") + " into " + output.shown +
                           " as " + safe_name(source.file.name) + "." + kAlasmType;
        if (source.rewritten > 0) {
            said += "; " + std::to_string(source.rewritten) +
                    " of them will read back in korve's layout";
        }
        run.console.say(Severity::Progress, source.shown, said);
    }
}

}  // namespace

KorvexStatus run_korvex(int argc, const char* const* argv, const KorvexStreams& streams) {
    const Request request = parse(argc, argv);
    Console console{streams, request.options.verbosity};
    KorvexStatus status = KorvexStatus::Converted;
    switch (request.kind) {
        case Request::Kind::UsageError:
            console.say(Severity::Error, "", request.error);
            console.lines(
                streams.err,
                (request.topic != nullptr ? verb_usage(*request.topic) : usage_lines()) + "Try '" +
                    std::string(kProgram) + " help" +
                    (request.topic != nullptr ? " " + std::string(request.topic->name) : "") +
                    "' for more.\n");
            return KorvexStatus::Trouble;
        case Request::Kind::Help: console.lines(streams.out, help_text(request.topic)); break;
        case Request::Kind::Version:
            console.line(streams.out, std::string(kProgram) + " " + std::string(kVersion));
            break;
        case Request::Kind::Run: {
            const std::vector<std::string>& inputs = request.options.inputs;
            if (streams.in == nullptr &&
                std::find(inputs.begin(), inputs.end(), kStandardStream) != inputs.end()) {
                console.say(Severity::Error, "", "there is no standard input to read here");
                return KorvexStatus::Trouble;
            }
            Run run(console, request.options);
            if (request.options.verb->verb == Verb::Pack) {
                run_pack(run);
            } else {
                run_inputs(run);
            }
            if (run.stdout_failed) {
                return run.status;
            }
            status = run.status;
            break;
        }
    }
    errno = 0;
    if (std::fflush(streams.out) != 0 || std::ferror(streams.out) != 0) {
        const int error_number = errno;
        console.say(Severity::Error, "",
                    "cannot write " + std::string(kStdoutShown) + ": " +
                        system_reason(error_number != 0 ? error_number : EIO));
        return KorvexStatus::Trouble;
    }
    return status;
}

}  // namespace korve
