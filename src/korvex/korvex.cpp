#include "korvex/korvex.h"

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "base/file.h"
#include "inputs/korvex_inputs.h"
#include "korvex/korvex_command_line.h"
#include "korvex/verb_diff.h"
#include "korvex/verb_get.h"
#include "korvex/verb_list.h"
#include "korvex/verb_lsp.h"
#include "korvex/verb_pack.h"
#include "korvex/verb_put.h"
#include "korvex/verb_show.h"
#include "korvex/verb_text.h"

namespace korve {
namespace {

using command_line::Request;
using command_line::Verb;

// Runs the verb asked for; whether its last write to standard output failed
// and was said already.
VerbOutcome run_verb(const KorvexRun& run) {
    switch (run.options.verb->verb) {
        case Verb::Text: return run_text(run);
        case Verb::List: return {run_list(run), false};
        case Verb::Pack: return {run_pack(run), false};
        case Verb::Put: return {run_put(run), false};
        case Verb::Get: return {run_get(run), false};
        case Verb::Show: return run_show(run);
        case Verb::Diff: return {run_diff(run), false};
#ifdef __EMSCRIPTEN__
        // The page speaks to no editor: its module leaves the server out.
        case Verb::Lsp:
            return {run.console.error("", "korvex lsp serves an editor, not the page", KorvexStatus::Trouble), false};
#else
        case Verb::Lsp: return {run_lsp(run), false};
#endif
    }
    return {};
}

}  // namespace

KorvexStatus run_korvex(int argc, const char* const* argv, const KorvexStreams& streams) {
    const Request request = command_line::parse(argc, argv);
    Console console{streams, request.options.verbosity};
    KorvexStatus status = KorvexStatus::Converted;
    switch (request.kind) {
        case Request::Kind::UsageError:
            console.say(Severity::Error, "", request.error);
            console.lines(streams.err, command_line::usage_hint(request.topic));
            return KorvexStatus::Trouble;
        case Request::Kind::Help: console.lines(streams.out, command_line::help_text(request.topic)); break;
        case Request::Kind::Version: console.line(streams.out, command_line::version_line()); break;
        case Request::Kind::Run: {
            const std::vector<std::string>& inputs = request.options.inputs;
            if (streams.in == nullptr &&
                std::find(inputs.begin(), inputs.end(), kStandardStream) != inputs.end()) {
                return console.error("", "there is no standard input to read here", KorvexStatus::Trouble);
            }
            const VerbOutcome outcome = run_verb({console, request.options});
            if (outcome.stdout_failed) {
                return worse(outcome.status, console.worst);
            }
            status = worse(outcome.status, console.worst);
            break;
        }
    }
    // The first failed write's reason: a later one's may be vaguer.
    errno = 0;
    const bool flushed = std::fflush(streams.out) == 0;
    const std::error_code why = console.out_failure ? console.out_failure : last_system_error();
    if (!flushed || std::ferror(streams.out) != 0) {
        return console.stdout_error("", why);
    }
    return status;
}

}  // namespace korve
