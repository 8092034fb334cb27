#include "korvex/verb_diff.h"

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/line_diff.h"
#include "inputs/input_files.h"

namespace korve {
namespace {

constexpr KorvexStatus kSame = KorvexStatus::Converted;
constexpr KorvexStatus kDifferent = KorvexStatus::NotAllConverted;

// One side of the comparison: a leaf, and the files read from it.
struct Side {
    const Leaf* leaf = nullptr;
    HeldFiles held;

    std::string shown(std::string_view inner = "") const {
        return joined_name(leaf->node->source.shown, inner);
    }
};

class Comparison {
public:
    explicit Comparison(const KorvexRun& run) : run_(run) {}

    KorvexStatus status() const { return status_; }

    void add(KorvexStatus status) { status_ = worse(status_, status); }

    void print(std::string_view text) {
        run_.console.print(run_.console.streams.out, text);
        add(kDifferent);
    }

    // "Only in a.trd: CODE.C"; for a file of a folder, "Only in dir/sub: GAME.trd".
    void only_in(const Side& side, const HeldFile* file) {
        const std::string shown = side.shown();
        if (file != nullptr && !file->inner.empty()) {
            print("Only in " + shown + ": " + file->inner + "\n");
            return;
        }
        const std::string& name = side.leaf->node->source.name;
        const std::size_t cut = shown.size() > name.size() ? shown.size() - name.size() - 1 : 0;
        print("Only in " + (cut == 0 ? std::string(".") : shown.substr(0, cut)) + ": " + name +
              "\n");
    }

    // Says what a side's notes say; an error is trouble.
    void say(const Side& side, std::string_view inner, const std::vector<Note>& notes) {
        for (const Note& note : notes) {
            run_.console.say(note.severity, side.shown(inner) + note.line, note.text);
            if (note.severity == Severity::Error) {
                add(KorvexStatus::Trouble);
            }
        }
    }

    void compare_files(const Side& a, const HeldFile& file_a, const Side& b,
                       const HeldFile& file_b);
    void compare_leaves(Side& a, Side& b);

private:
    std::vector<Note> errors_of(const std::vector<Note>& notes) const {
        std::vector<Note> errors;
        std::copy_if(notes.begin(), notes.end(), std::back_inserter(errors),
                     [](const Note& note) { return note.severity == Severity::Error; });
        return errors;
    }

    const KorvexRun& run_;
    KorvexStatus status_ = kSame;
};

void Comparison::compare_files(const Side& a, const HeldFile& file_a, const Side& b,
                               const HeldFile& file_b) {
    if (file_a.lost || file_b.lost) {
        say(a, file_a.inner, errors_of(file_a.notes));
        say(b, file_b.inner, errors_of(file_b.notes));
        return;
    }
    if (same_file(file_a, file_b)) {
        return;
    }
    const std::string shown_a = a.shown(file_a.inner);
    const std::string shown_b = b.shown(file_b.inner);
    if (holds_alasm(file_a.place.kind) && holds_alasm(file_b.place.kind)) {
        FileText text_a = file_text(file_a, run_.options.text);
        FileText text_b = file_text(file_b, run_.options.text);
        say(a, file_a.inner, errors_of(text_a.notes));
        say(b, file_b.inner, errors_of(text_b.notes));
        const std::vector<std::string> lines_a = body_lines(file_a, std::move(text_a));
        const std::vector<std::string> lines_b = body_lines(file_b, std::move(text_b));
        const std::string diff = unified_diff(lines_a, lines_b, shown_a, shown_b);
        if (!diff.empty()) {
            print(diff);
            return;
        }
        print("Files " + shown_a + " and " + shown_b + " differ; their texts are the same\n");
        return;
    }
    print("Files " + shown_a + " and " + shown_b + " differ\n");
}

// The files of two leaves matched by their keys, in the order of the keys.
void Comparison::compare_leaves(Side& a, Side& b) {
    if (is_disk_image(a.held.kind) != is_disk_image(b.held.kind)) {
        print("Files " + a.shown() + " and " + b.shown() + " differ\n");
        return;
    }
    const auto by_key = [](std::vector<HeldFile>& files) {
        std::vector<const HeldFile*> sorted;
        sorted.reserve(files.size());
        for (const HeldFile& file : files) {
            sorted.push_back(&file);
        }
        std::stable_sort(sorted.begin(), sorted.end(),
                         [](const HeldFile* x, const HeldFile* y) { return x->key < y->key; });
        return sorted;
    };
    const std::vector<const HeldFile*> files_a = by_key(a.held.files);
    const std::vector<const HeldFile*> files_b = by_key(b.held.files);
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < files_a.size() || j < files_b.size()) {
        if (j == files_b.size() || (i < files_a.size() && files_a[i]->key < files_b[j]->key)) {
            only_in(a, files_a[i++]);
        } else if (i == files_a.size() || files_b[j]->key < files_a[i]->key) {
            only_in(b, files_b[j++]);
        } else {
            compare_files(a, *files_a[i++], b, *files_b[j++]);
        }
    }
}

// Reads a leaf; says why where it cannot be read.
Side read_side(const KorvexRun& run, const Leaf& leaf, Comparison& comparison) {
    Side side{&leaf, read_held_files(leaf, run.console.streams.in, !leaf.path.empty(),
                                     run.options.text, text_inputs(run, leaf.path.empty()))};
    if (side.held.error) {
        comparison.add(run.console.error(leaf.node->source.shown, failure_words(leaf, side.held),
                                         KorvexStatus::Trouble));
    } else {
        comparison.say(side, "", side.held.notes);
    }
    return side;
}

// Whether a leaf holds anything a walk takes: a disk, if an empty one, or
// ALASM data.
bool holds_something(const Side& side) {
    return !side.held.error && (is_disk_image(side.held.kind) || !side.held.files.empty());
}

// Orders two paths of one walk as the walk takes them: by their names,
// folder by folder.
bool walked_before(const std::string& x, const std::string& y) {
    std::size_t at = 0;
    while (true) {
        const std::size_t end_x = std::min(x.find('/', at), x.size());
        const std::size_t end_y = std::min(y.find('/', at), y.size());
        const std::string_view name_x = std::string_view(x).substr(at, end_x - at);
        const std::string_view name_y = std::string_view(y).substr(at, end_y - at);
        if (name_x != name_y || end_x == x.size() || end_y == y.size()) {
            return name_x != name_y ? name_x < name_y : end_x == x.size() && end_y != y.size();
        }
        at = end_x + 1;
    }
}

}  // namespace

KorvexStatus run_diff(const KorvexRun& run) {
    const std::vector<InputNode> tree = input_tree(run.options.inputs, std::nullopt);
    Comparison comparison(run);
    const bool folder_a = tree[0].what == InputNode::What::Folder;
    if (folder_a != (tree[1].what == InputNode::What::Folder)) {
        return run.console.error("", tree[folder_a ? 0 : 1].source.shown +
                                         " is a folder, and can be compared only with a folder",
                                 KorvexStatus::Trouble);
    }
    const std::vector<Leaf> leaves_a = walk_leaves(tree[0]);
    const std::vector<Leaf> leaves_b = walk_leaves(tree[1]);
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < leaves_a.size() || j < leaves_b.size()) {
        // The next path of either walk, from both where they share it.
        const bool a_left = i < leaves_a.size();
        const bool b_left = j < leaves_b.size();
        const bool take_a =
            a_left && (!b_left || !walked_before(leaves_b[j].path, leaves_a[i].path));
        const bool take_b =
            b_left && (!a_left || !walked_before(leaves_a[i].path, leaves_b[j].path));
        std::optional<Side> a;
        std::optional<Side> b;
        if (take_a) {
            a = read_side(run, leaves_a[i++], comparison);
        }
        if (take_b) {
            b = read_side(run, leaves_b[j++], comparison);
        }
        const bool in_a = a && holds_something(*a);
        const bool in_b = b && holds_something(*b);
        if (in_a && in_b) {
            comparison.compare_leaves(*a, *b);
        } else if (in_a && !(b && b->held.error)) {
            comparison.only_in(*a, nullptr);
        } else if (in_b && !(a && a->held.error)) {
            comparison.only_in(*b, nullptr);
        }
    }
    return comparison.status();
}

}  // namespace korve
