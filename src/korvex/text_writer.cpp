#include "korvex/text_writer.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "alasm/alasm_text.h"
#include "files/output_names.h"
#include "inputs/catalogue.h"

namespace korve {
namespace {

constexpr std::string_view kStdoutShown = "standard output";

std::string lines_before(std::size_t lines) {
    if (lines == 0) {
        return "nothing was written";
    }
    return lines == 1 ? "the line before it was written"
                      : "the " + std::to_string(lines) + " lines before it were written";
}

// Says what marred the data: a checksum, which costs nothing, and data not
// read whole, which makes the status 1.
KorvexStatus say_data_problems(Console& console, const Source& source,
                               const SourceHead& head, const SourceEnd& end) {
    if (!head.checksum_matches) {
        console.say(Severity::Warning, source.shown,
                    "the Hobeta checksum does not match; converted as its length says");
    }
    const std::string data_end = data_end_problem(end.lines, end.cut_line, end.short_by);
    if (data_end.empty() || end.undefined) {
        return KorvexStatus::Converted;
    }
    return console.error(source.shown, data_end, KorvexStatus::NotAllConverted);
}

// A line of a source, as a problem's place: the line a number of its own,
// so that whoever reads the problem finds the source by its name alone.
Where line_of(const Source& source, std::size_t line) { return {source.shown, {}, line, 0}; }

KorvexStatus say_outcome(Console& console, const Source& source, const SourceEnd& end,
                         std::string_view to) {
    if (end.undefined) {
        return say_problem(console, {Severity::Error, line_of(source, end.lines + 1),
                                     token_problem(*end.undefined) + "; " + lines_before(end.lines),
                                     KorvexStatus::NotAllConverted});
    }
    console.say(Severity::Progress, source.shown,
                "converted " + std::to_string(end.lines) + (end.lines == 1 ? " line" : " lines") +
                    " into " + std::string(to));
    return KorvexStatus::Converted;
}

// Translates a source read whole, saying each line it cannot translate as
// it goes.
TextReport translate(const KorvexRun& run, const Source& source, const SourceInput& input,
                     std::FILE* output, KorvexStatus& status, WrittenText* written_text) {
    const AlasmSource& whole = *input.whole;
    TextReport report{TextOutcome::Converted, whole.head, whole.end, whole.end.read_error};
    if (report.error) {
        report.outcome = TextOutcome::ReadFailed;
        return report;
    }
    status = worse(status, say_data_problems(run.console, source, whole.head, whole.end));
    const auto untranslated = [&](const UntranslatedLine& line) {
        run.console.untranslated(source.shown, line.number, line.reason);
        status = worse(status, KorvexStatus::NotAllConverted);
        if (written_text != nullptr) {
            written_text->untranslated.push_back(line);
        }
    };
    TextSink sink(output, run.options.text);
    SourceTranslation translation(*input.project, whole, source.name);
    if (const std::string note = translation.note(); !note.empty()) {
        run.console.say(Severity::Note, source.shown, note);
    }
    // The translation heads its first line; a source of no lines is the heading alone.
    bool written = !translation.done() || sink.write(translated_heading(input.project->dialect));
    TranslatedLine translated;  // its room kept from line to line
    while (written && !translation.done()) {
        translation.next(translated);
        written = sink.write(translated.text);
        if (translated.untranslated) {
            untranslated(*translated.untranslated);
        }
    }
    if (written) {
        for (const UntranslatedLine& line : translation.end_problems()) {
            untranslated(line);
        }
    }
    if (!written || !sink.flush()) {
        report.outcome = TextOutcome::WriteFailed;
        report.error = sink.error();
    } else if (report.end.undefined) {
        report.outcome = TextOutcome::UndefinedToken;
    }
    return report;
}

// Writes a source's text to `output`; says the warnings of a conversion
// once it is written (a translation's, before).
TextReport write_text(const KorvexRun& run, const Source& source, const SourceInput& input,
                      std::FILE* output, KorvexStatus& status, WrittenText* written_text) {
    if (input.whole != nullptr) {
        return translate(run, source, input, output, status, written_text);
    }
    TextReport report = convert_to_text(*input.reader, input.place, run.options.text, output);
    if (report.outcome != TextOutcome::WriteFailed && report.outcome != TextOutcome::ReadFailed) {
        status = worse(status, say_data_problems(run.console, source, report.head, report.end));
    }
    return report;
}

bool collecting(const KorvexRun& run) { return run.console.streams.report != nullptr; }

// Tells a caller that asked what a source's text came to.
void report_written(const KorvexRun& run, WrittenText written, const TextReport& report) {
    KorvexReport* const collected = run.console.streams.report;
    if (collected != nullptr) {
        written.lines = report.end.lines;
        written.undefined = report.end.undefined;
        collected->texts.push_back(std::move(written));
    }
}

Done convert_to_stdout(const KorvexRun& run, const Source& source, const SourceInput& input) {
    Done done;
    WrittenText written{source.shown, {}, 0, {}, {}};
    const TextReport report = write_text(run, source, input, run.console.streams.out, done.status,
                                         collecting(run) ? &written : nullptr);
    if (report.outcome == TextOutcome::WriteFailed) {
        done.add(run.console.stdout_error(source.shown, report.error));
        done.stdout_failed = true;
    } else if (report.outcome == TextOutcome::ReadFailed) {
        done.add(run.console.error(source.shown, "reading failed: " + reason(report.error),
                                   KorvexStatus::Trouble));
    } else {
        done.add(say_outcome(run.console, source, report.end, kStdoutShown));
        report_written(run, std::move(written), report);
    }
    return done;
}

}  // namespace

Done write_source_text(const KorvexRun& run, const Source& source, const SourceInput& input,
                       const Destination& where) {
    if (where.target == Target::Stdout) {
        return convert_to_stdout(run, source, input);
    }
    Done done;
    Console& console = run.console;
    const Place target = where.target == Target::File
                             ? where.place
                             : where.folder->claim(source.name, kTextSuffix);
    WritePolicy policy = *where.policy;
    if (!source.path.empty()) {
        policy.inputs.push_back(source.path);
    }
    std::optional<WriteFailure> failure;
    if (where.target == Target::Folder) {
        failure = where.folder->make();
    }
    OutputFile output;
    if (!failure) {
        output = OutputFile::open(target, policy, failure);
    }
    if (failure) {
        done.add(console.error(source.shown, failure_text(*failure), KorvexStatus::Trouble));
        return done;
    }
    WrittenText written{source.shown, target.shown, 0, {}, {}};
    const TextReport report = write_text(run, source, input, output.stream(), done.status,
                                         collecting(run) ? &written : nullptr);
    if (report.outcome == TextOutcome::WriteFailed) {
        failure = output.failed_to_write(report.error);
    } else if (report.outcome == TextOutcome::ReadFailed) {
        done.add(console.error(source.shown, "reading failed: " + reason(report.error),
                               KorvexStatus::Trouble));
        return done;
    } else if (report.end.lines == 0) {
        output.discard();  // stopped on its first line: no file of nothing
        written.file.clear();
    } else {
        failure = output.commit();
    }
    if (failure) {
        done.add(console.error(source.shown, failure_text(*failure), KorvexStatus::Trouble));
        return done;
    }
    done.add(say_outcome(console, source, report.end, target.shown));
    report_written(run, std::move(written), report);
    return done;
}

}  // namespace korve
