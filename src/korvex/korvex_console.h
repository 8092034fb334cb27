// What every korvex verb shares: the streams it prints to, the statuses it
// ends with, messages worded as compilers word theirs
// ("korvex: WHERE: error: TEXT"), and what a run may write over.
#pragma once

#include <cstddef>
#include <cstdio>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "alasm/alasm_text.h"
#include "base/problem.h"
#include "files/output.h"
#include "formats/alasm_lines.h"
#include "inputs/korvex_inputs.h"
#include "inputs/loader.h"
#include "korvex/korvex_command_line.h"
#include "translation/alasm_translation.h"

namespace korve {

// korvex's statuses are its problems' (base/problem.h).
using KorvexStatus = Status;

// How a verb that writes standard output as it goes ended.
struct VerbOutcome {
    KorvexStatus status = KorvexStatus::Converted;
    bool stdout_failed = false;  // writing to standard output failed, and was said
};

// What `text` wrote, as values, for whoever shows it (the page): each
// source's text, and what could not be carried into it.
struct WrittenText {
    std::string input;  // the source, as messages name it
    std::string file;   // the file written, as messages name it; none: standard output
    std::size_t lines = 0;
    std::vector<UntranslatedLine> untranslated;
    std::optional<UndefinedToken> undefined;  // on line `lines` + 1
};

// A problem as the console said it: `printed` its line, without the line
// end; empty where -q or -v kept it back.
struct SaidProblem {
    Problem problem;
    std::string printed;
};

struct KorvexReport {
    std::vector<WrittenText> texts;
    std::vector<SaidProblem> problems;  // every problem said, in the order said
};

struct KorvexStreams {
    std::FILE* in;   // read for the input "-", binary; may be null where there is none
    std::FILE* out;  // text, help and lists; binary: korvex writes its own line ends
    std::FILE* err;  // messages
    KorvexReport* report = nullptr;  // filled where given
};

// Where a run prints: messages on standard error, as -q and -v ask. It
// alone words and prints problems, as each is added, so that progress
// streams; the run ends with the worst status of those added.
struct Console {
    Console(const KorvexStreams& given, command_line::Verbosity asked)
        : streams(given), verbosity(asked) {}

    const KorvexStreams& streams;
    command_line::Verbosity verbosity;
    std::string_view newline = line_end_text(kPlatformLineEnd);
    Status worst = Status::Converted;  // of the problems added
    std::error_code out_failure;       // why the first failed write to `out` failed
    std::string message;               // the message being made, its room kept for the next

    void print(std::FILE* stream, std::string_view text);
    void line(std::FILE* stream, std::string_view text);
    // Text with the system's line ends for its '\n's.
    void lines(std::FILE* stream, std::string_view text);
    // Prints a problem as -q and -v ask, and adds it to the run's report.
    void add(Problem problem);
    void say(Severity severity, std::string_view where, std::string_view text);
    // Says that line `line` of the source shown as `input` cannot be
    // translated, and why: as add() says that problem, without making it
    // where no report keeps it (a translation may say it of most lines).
    void untranslated(std::string_view input, std::size_t line, std::string_view reason);
    // Says an error; gives `status`, the run's status for it.
    KorvexStatus error(std::string_view where, std::string_view text, KorvexStatus status);
    // Says that writing standard output failed, and the system's reason;
    // gives status 2.
    KorvexStatus stdout_error(std::string_view where, const std::error_code& why);
};

// What a verb is given: read, never changed.
struct KorvexRun {
    Console& console;
    const command_line::Options& options;
};

// Says what a walk of `input` skipped: files that hold neither ALASM data
// nor a disk image, and what is neither a file nor a folder (a FIFO, a
// device, a broken link).
void say_skipped(Console& console, const Source& input, std::size_t files,
                 std::size_t not_files);

// What a run reads: its inputs from the `first` on, `count` of them at most
// (get's NAMEs after its DISK name files on the disk, not on the host).
RunInputs run_inputs(const KorvexRun& run, std::size_t first = 0,
                     std::size_t count = std::numeric_limits<std::size_t>::max());

// What a run may write over: the inputs it reads never, whatever --force says.
WritePolicy write_policy(const KorvexRun& run, RunInputs inputs);
WritePolicy write_policy(const KorvexRun& run);  // every input named is read

// Says a problem that a unit below gave as a value; gives its status.
// How the verbs that read ALASM text read an input, named on the command
// line or found by a walk.
TextInputs text_inputs(const KorvexRun& run, bool named);

KorvexStatus say_problem(Console& console, const Problem& problem);

}  // namespace korve
