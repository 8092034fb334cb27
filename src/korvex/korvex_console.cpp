#include "korvex/korvex_console.h"

#include <algorithm>
#include <array>

#include "files/output.h"
#include "inputs/source_text.h"

namespace korve {

void Console::print(std::FILE* stream, std::string_view text) const {
    std::fwrite(text.data(), 1, text.size(), stream);
}

void Console::line(std::FILE* stream, std::string_view text) const {
    print(stream, text);
    print(stream, newline);
}

void Console::lines(std::FILE* stream, std::string_view text) const {
    for (std::size_t begin = 0; begin < text.size();) {
        const std::size_t end = std::min(text.find('\n', begin), text.size());
        print(stream, text.substr(begin, end - begin));
        if (end < text.size()) {
            print(stream, newline);
        }
        begin = end + 1;
    }
}

void Console::say(Severity severity, std::string_view where, std::string_view text) const {
    using command_line::Verbosity;
    const bool shown = severity == Severity::Error || severity == Severity::Untranslated ||
                       (severity == Severity::Progress ? verbosity == Verbosity::Verbose
                                                       : verbosity != Verbosity::Quiet);
    if (!shown) {
        return;
    }
    std::string message(command_line::kProgram);
    message += ": ";
    if (!where.empty()) {
        message += std::string(where) + ": ";
    }
    constexpr std::array<std::string_view, 5> kLabels = {"error: ", "warning: ", "note: ", "", ""};
    message += kLabels[static_cast<std::size_t>(severity)];
    message += text;
    line(streams.err, message);
}

KorvexStatus Console::error(std::string_view where, std::string_view text,
                            KorvexStatus status) const {
    say(Severity::Error, where, text);
    return status;
}

KorvexStatus Console::stdout_error(std::string_view where, const std::error_code& why) const {
    return error(where, "cannot write standard output: " + reason(why), KorvexStatus::Trouble);
}

void say_skipped(const Console& console, const Source& input, std::size_t files,
                 std::size_t not_files) {
    if (files > 0) {
        console.say(Severity::Note, input.shown,
                    std::to_string(files) + (files == 1 ? " file" : " files") +
                        " skipped: neither ALASM data nor a disk image");
    }
    if (not_files > 0) {
        console.say(Severity::Note, input.shown,
                    std::to_string(not_files) +
                        (not_files == 1 ? " skipped: not a file" : " skipped: not files"));
    }
}

RunInputs run_inputs(const KorvexRun& run, std::size_t first) {
    RunInputs inputs;
    const std::vector<std::string>& named = run.options.inputs;
    for (std::size_t i = first; i < named.size(); ++i) {
        if (named[i] == kStandardStream) {
            inputs.stream = run.console.streams.in;
        } else {
            inputs.files.push_back(file_path(named[i].c_str()));
        }
    }
    return inputs;
}

WritePolicy write_policy(const KorvexRun& run) {
    return run.options.force ? written_over(run_inputs(run)) : new_files(run_inputs(run));
}

KorvexStatus say_problem(const Console& console, const Problem& problem) {
    console.say(problem.severity, shown_where(problem.where), problem.text);
    return static_cast<KorvexStatus>(problem.status);
}

}  // namespace korve
