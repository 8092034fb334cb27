#include "korvex/verb_show.h"

#include <optional>
#include <string>
#include <vector>

#include "formats/line_writer.h"
#include "inputs/input_files.h"

namespace korve {
namespace {

// One leaf's text, and what it found said where the run asks.
class LeafShown {
public:
    LeafShown(const KorvexRun& run, const Leaf& leaf, LineWriter& out)
        : run_(run), leaf_(leaf), out_(out) {}

    // Writes a line of the text, unless a write failed before.
    void add_line(std::string_view line) { written_ = written_ && out_.write_line(line); }

    // A note of the leaf's, or of its file `inner`.
    void note(const Note& note, std::string_view inner) {
        if (note.severity != Severity::Error) {
            return;
        }
        status_ = KorvexStatus::NotAllConverted;
        if (!run_.options.textconv) {
            run_.console.say(Severity::Error,
                             joined_name(leaf_.node->source.shown, inner) + note.line, note.text);
        }
    }

    // A leaf that could not be read at all: said in the text, and, but for
    // git, as a message; status 2, or 0 for git, which shows no text of a
    // textconv that fails.
    void unreadable(const HeldFiles& held) {
        const Note failure{Severity::Error, "", failure_words(leaf_, held)};
        add_line(note_line(held.heading, failure));
        if (!run_.options.textconv) {
            status_ = run_.console.error(leaf_.node->source.shown, failure.text,
                                         KorvexStatus::Trouble);
        }
    }

    void add_file(const HeldFile& file) {
        add_line(heading_line(file));
        FileText text = file_text(file, run_.options.text);
        for (const Note& found : file.notes) {
            note(found, file.inner);
        }
        for (const Note& found : text.notes) {
            note(found, file.inner);
        }
        const std::vector<std::string> lines = body_lines(file, std::move(text));
        for (const std::string& line : lines) {
            add_line(line);
        }
    }

    bool written() const { return written_; }

    KorvexStatus status() const {
        return run_.options.textconv ? KorvexStatus::Converted : status_;
    }

private:
    const KorvexRun& run_;
    const Leaf& leaf_;
    LineWriter& out_;
    bool written_ = true;
    KorvexStatus status_ = KorvexStatus::Converted;
};

// Shows a leaf, its text written out whole, and says where writing failed.
VerbOutcome show_leaf(const KorvexRun& run, const Leaf& leaf, LineWriter& out) {
    const HeldFiles held =
        read_held_files(leaf, run.console.streams.in, !leaf.path.empty(), run.options.text,
                        text_inputs(run, leaf.path.empty()));
    LeafShown shown(run, leaf, out);
    if (held.error) {
        shown.unreadable(held);
    } else {
        for (const Note& note : held.notes) {
            shown.add_line(note_line(held.heading, note));
            shown.note(note, "");
        }
        for (const HeldFile& file : held.files) {
            shown.add_file(file);
        }
    }
    if (!shown.written() || !out.flush()) {
        return {run.console.stdout_error(leaf.node->source.shown, out.error()), true};
    }
    return {shown.status(), false};
}

}  // namespace

VerbOutcome run_show(const KorvexRun& run) {
    LineWriter out(run.console.streams.out, "\n");
    VerbOutcome outcome;
    for (const InputNode& top : input_tree(run.options.inputs, std::nullopt)) {
        for (const Leaf& leaf : walk_leaves(top)) {
            const VerbOutcome shown = show_leaf(run, leaf, out);
            outcome.status = worse(outcome.status, shown.status);
            if (shown.stdout_failed) {
                return {outcome.status, true};
            }
        }
    }
    return outcome;
}

}  // namespace korve
