#include "korvex/korvex_command_line.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <utility>

#include "base/code_page.h"
#include "formats/container.h"
#include "inputs/korvex_inputs.h"
#include "korvex/korvex_verbs.h"

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


const VerbRow* verb_named(std::string_view name) {
    const auto found = std::find_if(verb_rows().begin(), verb_rows().end(),
                                    [name](const VerbRow& verb) { return verb.name == name; });
    return found == verb_rows().end() ? nullptr : &*found;
}

// An address as --start takes it: decimal, #hex, $hex or 0xhex, up to 65535.
std::optional<std::uint16_t> address_named(std::string_view text) {
    int base = 10;
    for (const std::string_view prefix : {"#", "$", "0x", "0X"}) {
        if (text.starts_with(prefix) && text.size() > prefix.size()) {
            text.remove_prefix(prefix.size());
            base = 16;
            break;
        }
    }
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (error != std::errc() || end != text.data() + text.size() || text.empty() || value > 0xFFFFU) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(value);
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
        case OptionId::AlasmText: options.alasm_text = true; break;
        case OptionId::Textconv: options.textconv = true; break;
        case OptionId::Name: options.name = std::string(value); break;
        case OptionId::Start:
            options.start = address_named(value);
            known = options.start.has_value();
            break;
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
    if (kind_row(container).edit == nullptr) {  // a format korvex only reads
        return "pack writes a .trd, an .scl, an .fdi, a .udi, a Hobeta file or bare data, not a " +
               std::string(kind_row(container).words);
    }
    if (!one && holds_alasm(container)) {
        return "a Hobeta file or bare data holds one TEXT; several need a .trd or an .scl";
    }
    if (!one && options.name) {
        return "--name names one TEXT";
    }
    if (!one && options.start) {
        return "--start gives one TEXT's start";
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
    if (put && options.start && options.inputs.size() > 2) {
        return "--start gives one TEXT's start";
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
    if (verb.verb == Verb::Lsp) {
        return options.inputs.empty() ? std::nullopt
                                      : std::optional<std::string>("lsp takes no INPUT: the client names the texts");
    }
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
        case Verb::List:
        case Verb::Lsp: break;
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

// "korvex VERB SYNOPSIS", or less where the verb takes nothing.
std::string invoked(const VerbRow& verb) {
    return std::string(kProgram) + " " + std::string(verb.name) + (verb.synopsis.empty() ? "" : " ") +
           std::string(verb.synopsis);
}

std::string usage_lines() {
    std::string text;
    for (const VerbRow& verb : verb_rows()) {
        text += (text.empty() ? "usage: " : "       ") + invoked(verb) + "\n";
    }
    return text + "       " + std::string(kProgram) + " help [VERB] | --help | --version\n";
}

std::string verb_usage(const VerbRow& verb) {
    return "usage: " + invoked(verb) + "\n";
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
               std::string(statuses_help(topic->verb)) + "\n";
    }
    std::string text =
        std::string(kProgram) + " " + std::string(kVersion) +
        ": ALASM 5.x sources to text and back, from files, disk images and folders\n\n" +
        usage_lines() + "\nVerbs:\n";
    // The summaries in one column, three spaces after the longest verb.
    constexpr std::string_view kHelpVerb = "help";
    std::size_t widest = kHelpVerb.size();
    for (const VerbRow& verb : verb_rows()) {
        widest = std::max(widest, verb.name.size());
    }
    const auto verb_line = [widest](std::string_view name, std::string_view summary) {
        return "  " + std::string(name) + std::string(widest - name.size() + 3, ' ') +
               std::string(summary) + "\n";
    };
    for (const VerbRow& verb : verb_rows()) {
        text += verb_line(verb.name, verb.summary);
    }
    text += verb_line(kHelpVerb, "show this help, or a verb's") + "\n" +
            std::string(inputs_help()) + "\n\n" +
            std::string(statuses_help(Verb::Text)) + "\nSee '" + std::string(kProgram) +
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
