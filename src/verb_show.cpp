#include "verb_show.h"

#include <optional>
#include <string>
#include <vector>

#include "input_files.h"

namespace korve {
namespace {

// One leaf's text, and what it found said where the run asks.
class LeafShown {
public:
    LeafShown(const KorvexRun& run, const Leaf& leaf) : run_(run), leaf_(leaf) {}

    void add_line(std::string_view line) {
        text_ += line;
        text_ += '\n';
    }

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
        flush();
    }

    // Writes out the text so far.
    void flush() {
        run_.console.print(run_.console.streams.out, text_);
        text_.clear();
    }

    KorvexStatus status() const {
        return run_.options.textconv ? KorvexStatus::Converted : status_;
    }

private:
    const KorvexRun& run_;
    const Leaf& leaf_;
    std::string text_;
    KorvexStatus status_ = KorvexStatus::Converted;
};

KorvexStatus show_leaf(const KorvexRun& run, const Leaf& leaf) {
    const HeldFiles held =
        read_held_files(leaf, run.console.streams.in, !leaf.path.empty(), run.options.text);
    LeafShown shown(run, leaf);
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
    shown.flush();
    return shown.status();
}

}  // namespace

KorvexStatus run_show(const KorvexRun& run) {
    KorvexStatus status = KorvexStatus::Converted;
    for (const InputNode& top : input_tree(run.options.inputs, std::nullopt)) {
        for (const Leaf& leaf : walk_leaves(top)) {
            status = worse(status, show_leaf(run, leaf));
        }
    }
    return status;
}

}  // namespace korve
