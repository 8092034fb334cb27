#include "korvex/korvex_console.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <utility>

#include "base/file.h"
#include "files/output.h"
#include "inputs/source_text.h"

namespace korve {

void Console::print(std::FILE* stream, std::string_view text) {
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), stream) != text.size() &&
        stream == streams.out && !out_failure) {
        out_failure = last_system_error();
    }
}

void Console::line(std::FILE* stream, std::string_view text) {
    print(stream, text);
    print(stream, newline);
}

void Console::lines(std::FILE* stream, std::string_view text) {
    for (std::size_t begin = 0; begin < text.size();) {
        const std::size_t end = std::min(text.find('\n', begin), text.size());
        print(stream, text.substr(begin, end - begin));
        if (end < text.size()) {
            print(stream, newline);
        }
        begin = end + 1;
    }
}

void Console::add(Problem problem) {
    using command_line::Verbosity;
    worst = worse(worst, problem.status);
    const Severity severity = problem.severity;
    const bool shown = severity == Severity::Error || severity == Severity::Untranslated ||
                       (severity == Severity::Progress ? verbosity == Verbosity::Verbose
                                                       : verbosity != Verbosity::Quiet);
    std::string said;
    if (shown) {
        // Room for the whole at once: the place and words, and a little more.
        said.reserve(64 + problem.where.input.size() + problem.where.file.size() +
                        problem.text.size());
        said = command_line::kProgram;
        said += ": ";
        const std::size_t before_where = said.size();
        append_where(said, problem.where);
        if (said.size() > before_where) {
            said += ": ";
        }
        constexpr std::array<std::string_view, 5> kLabels = {"error: ", "warning: ", "note: ", "",
                                                             ""};
        said += kLabels[static_cast<std::size_t>(severity)];
        said += problem.text;
        const std::size_t size = said.size();
        said += newline;
        print(streams.err, said);  // whole, as one write where the stream is unbuffered
        said.resize(size);
    }
    if (streams.report != nullptr) {
        streams.report->problems.push_back({std::move(problem), std::move(said)});
    }
}

void Console::untranslated(std::string_view input, std::size_t line, std::string_view reason) {
    constexpr std::string_view kCannot = "cannot translate: ";
    if (streams.report != nullptr) {
        add({Severity::Untranslated, {std::string(input), {}, line, 0},
             std::string(kCannot) + std::string(reason), Status::NotAllConverted});
        return;
    }
    worst = worse(worst, Status::NotAllConverted);
    // As add() words it: the place as append_where writes it, and no label.
    message = command_line::kProgram;
    message += ": ";
    message += input;
    if (line != 0) {
        std::array<char, 24> digits{};
        const auto end = std::to_chars(digits.data(), digits.data() + digits.size(), line).ptr;
        message += ':';
        message.append(digits.data(), end);
    }
    if (!input.empty() || line != 0) {
        message += ": ";
    }
    message += kCannot;
    message += reason;
    message += newline;
    print(streams.err, message);
}

void Console::say(Severity severity, std::string_view where, std::string_view text) {
    add({severity, {std::string(where), {}, 0, 0}, std::string(text), Status::Converted});
}

KorvexStatus Console::error(std::string_view where, std::string_view text, KorvexStatus status) {
    add({Severity::Error, {std::string(where), {}, 0, 0}, std::string(text), status});
    return status;
}

KorvexStatus Console::stdout_error(std::string_view where, const std::error_code& why) {
    return error(where, "cannot write standard output: " + reason(why), KorvexStatus::Trouble);
}

void say_skipped(Console& console, const Source& input, std::size_t files,
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

TextInputs text_inputs(const KorvexRun& run, bool named) {
    return {true, named, run.options.alasm_text, run.options.text.charset};
}

RunInputs run_inputs(const KorvexRun& run, std::size_t first, std::size_t count) {
    RunInputs inputs;
    const std::vector<std::string>& named = run.options.inputs;
    for (std::size_t i = first; i < named.size() && i - first < count; ++i) {
        if (named[i] == kStandardStream) {
            inputs.stream = run.console.streams.in;
        } else {
            inputs.files.push_back(file_path(named[i].c_str()));
        }
    }
    return inputs;
}

WritePolicy write_policy(const KorvexRun& run, RunInputs inputs) {
    return run.options.force ? written_over(std::move(inputs)) : new_files(std::move(inputs));
}

WritePolicy write_policy(const KorvexRun& run) {
    return write_policy(run, run_inputs(run));
}

KorvexStatus say_problem(Console& console, const Problem& problem) {
    console.add(problem);
    return problem.status;
}

}  // namespace korve
