#include "korvex/verb_put.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "alasm/alasm_pack.h"
#include "alasm/alasm_text.h"
#include "alasm/text_lines.h"
#include "alasm/text_merge.h"
#include "base/little_endian.h"
#include "files/output.h"
#include "files/output_names.h"
#include "formats/container.h"
#include "formats/disk_edit.h"
#include "inputs/catalogue.h"
#include "inputs/korvex_inputs.h"
#include "inputs/loader.h"
#include "inputs/put_plan.h"
#include "inputs/source_text.h"
#include "inputs/stored_file.h"
#include "translation/translation_project.h"

namespace korve {
namespace {

namespace fs = std::filesystem;

// The DISK, read whole.
struct Disk {
    Source source;
    std::vector<unsigned char> bytes;   // a floppy image's: the .trd it carries
    std::vector<unsigned char> own;     // a floppy image's own bytes
    InputKind kind = InputKind::None;
    DiskImage image;                    // a disk image's or an archive's
    std::vector<CatalogueEntry> files;  // its live files
    std::vector<std::string> names;     // theirs, as korvex text names them
};

// A TEXT, read whole.
using Text = PutText;

template <typename Value>
using Or = std::variant<Value, KorvexStatus>;

bool is_image(const Disk& disk) {
    return is_disk_image(disk.kind);
}

// The bytes of the file DISK: what put writes over, and what it must still
// hold when put writes.
std::span<const unsigned char> file_bytes(const Disk& disk) {
    return file_bytes(disk.kind, disk.bytes, disk.own);
}

// Why a DISK that loaded cannot be edited, if it cannot: a format put does
// not write, or a floppy image that is not whole. Its problems are said.
std::optional<KorvexStatus> unwritable_disk(const KorvexRun& run, LoadedInput& loaded) {
    const std::string& input = run.options.inputs.front();
    if (kind_row(loaded.kind).edit == nullptr) {
        return run.console.error(input,
                                 "is a " + std::string(kind_row(loaded.kind).words) +
                                     ", which put does not write: nothing written",
                                 KorvexStatus::NotAllConverted);
    }
    if (kind_row(loaded.kind).read_floppy == nullptr) {
        return std::nullopt;
    }
    // A floppy's warnings (a UDI's file CRC alone wrong, written right) are
    // said either way.
    const bool whole = loaded.status() == Status::Converted;
    for (Problem& problem : loaded.problems) {
        run.console.add(std::move(problem));
    }
    loaded.problems.clear();
    return whole ? std::nullopt
                 : std::optional(run.console.error(input, "put changes only a whole image", KorvexStatus::NotAllConverted));
}

// Why an in-place DISK may not be replaced, if it may not: the output
// unit's verdict, known before DISK is read.
std::optional<WriteFailure> in_place_refusal(const Source& disk) {
    return korve::in_place_refusal(Place{disk.path, disk.shown});
}

// What DISK is, read whole; what it cannot take is said.
Or<Disk> read_disk(const KorvexRun& run) {
    const std::string& input = run.options.inputs.front();
    Disk disk;
    disk.source = {input, {}, file_path(input.c_str())};
    const bool in_place = !run.options.output;
    if (const auto refused = in_place ? in_place_refusal(disk.source) : std::nullopt) {
        return run.console.error("", failure_text(*refused), KorvexStatus::Trouble);
    }
    LoadedInput loaded =
        load_input({InputNode::What::File, disk.source, disk.source.path, {}, {}}, nullptr, false);
    if (!loaded.read) {  // cannot be read, or too large
        Status status = Status::Converted;
        for (Problem& problem : loaded.problems) {
            status = worse(status, problem.status);
            run.console.add(std::move(problem));
        }
        return status;
    }
    disk.kind = loaded.kind;
    if (disk.kind == InputKind::None) {
        return run.console.error(input, std::string(kNeitherKind), KorvexStatus::NotAllConverted);
    }
    if (const auto refused = unwritable_disk(run, loaded)) {
        return *refused;
    }
    disk.bytes = std::move(loaded.bytes);
    disk.own = std::move(loaded.own);
    const std::size_t texts = run.options.inputs.size() - 1;
    if (!is_image(disk) && (texts > 1 || run.options.name)) {
        return run.console.error(input,
                                 texts > 1 ? "holds one source: give it one TEXT"
                                           : "holds one source: --name names a file on a disk image or "
                                             "in an archive",
                                 KorvexStatus::Trouble);
    }
    if (is_image(disk)) {
        disk.image = std::move(loaded.image);
        if (disk.image.problem != ImageProblem::None) {
            return run.console.error(input,
                                     image_problem_text(disk.image) + ": put changes only a whole image",
                                     KorvexStatus::NotAllConverted);
        }
        disk.files = live_entries(disk.image);
        disk.names = image_file_names(disk.files);
    }
    return disk;
}

// A TEXT's lines; what stops them being read is said. Reading stops where
// the lines cannot fit in a source, however they are stored, as pack stops.
Or<Text> read_text(const KorvexRun& run, const std::string& input) {
    Text text;
    File opened;
    std::FILE* stream = run.console.streams.in;
    if (input == kStandardStream) {
        text.source = {std::string(kStdinShown), std::string(kStdinName)};
    } else {
        const fs::path path = file_path(input.c_str());
        text.source = {input, shown_path(path.filename()), path};
        std::error_code error;
        if (fs::is_directory(path, error)) {
            return run.console.error(input, "is a folder: name its texts", KorvexStatus::Trouble);
        }
        OpenedFile file = open_for_reading(path);
        if (!file.file) {
            return run.console.error(input, reason(file.error), KorvexStatus::Trouble);
        }
        opened = std::move(file.file);
        stream = opened.get();
    }
    ByteReader reader(stream);
    auto file = read_file_input(reader, text.source, run.options.name, run.options.start);
    if (const auto* failed = std::get_if<Problem>(&file)) {
        return say_problem(run.console, *failed);
    }
    if (auto& stored = std::get<std::optional<StoredFile>>(file)) {
        text.stored = std::move(stored);
        return text;
    }
    TextLineReader lines(reader);
    std::size_t fewest_bytes = kAlasmHeaderSize;
    while (const auto line = lines.next()) {
        const std::size_t number = text.lines.size() + 1;
        fewest_bytes += fewest_record_bytes(line->text);
        if (!line->whole || fewest_bytes > kLargestAlasmData) {
            const PackError error = line->whole
                                        ? PackError{PackProblem::SourceTooLarge, number, 0, 0, {}}
                                        : PackError{PackProblem::LineTooLong, number, kLongestTextLine + 1, 0, {}};
            return run.console.error(pack_place(text.source, number, error.column), pack_problem_text(error),
                                     KorvexStatus::NotAllConverted);
        }
        if (number == 1 && !translation_heading(line->text).empty()) {
            return run.console.error(pack_place(text.source, 1, 0),
                                     translated_text_refused(translation_heading(line->text)),
                                     KorvexStatus::NotAllConverted);
        }
        text.lines.emplace_back(line->text);
    }
    if (reader.failed()) {
        return run.console.error(text.source.shown, "reading failed: " + reason(reader.error()),
                                 KorvexStatus::Trouble);
    }
    return text;
}

// DISK as the plan takes it.
PutDisk put_disk(const Disk& disk) {
    return {disk.source.shown, disk.bytes, file_bytes(disk), disk.kind, disk.files, disk.names};
}

std::string counted(std::size_t count, std::string_view what) {
    return std::to_string(count) + " " + std::string(what) + (count == 1 ? "" : "s");
}

// Says what a change did: a move as a note, the rest with -v.
void say_done(const KorvexRun& run, const Disk& disk, const Text& text, const PutChange& change,
              const Place& target) {
    const std::string file = is_image(disk) ? shown_name(change.name) : target.shown;
    const std::size_t tidied = change.stored ? 0 : change.merged.tidied;
    const std::string tidied_words =
        tidied == 0 ? "" : "records kept for " + counted(tidied, "line") + " tidied only in blank space";
    if (change.unchanged) {
        run.console.say(Severity::Progress, text.source.shown,
                        file + " is unchanged" + (tidied == 0 ? "" : "; " + tidied_words));
        return;
    }
    if (const std::string moved = change.placed ? move_text(*change.placed) : ""; !moved.empty()) {
        run.console.say(Severity::Note, text.source.shown, file + " " + moved);
    }
    if (change.stored) {
        const std::string bytes = counted(catalogue_length(change.stored->file), "byte");
        run.console.say(Severity::Progress, text.source.shown,
                        change.entry ? "stored " + bytes + " into " + file + " on " + target.shown
                                     : "added " + file + " to " + target.shown + ": " + bytes);
        return;
    }
    const MergedSource& merged = change.merged;
    std::string said;
    if (is_image(disk) && !change.entry) {
        said = "added " + counted(merged.stored, "line") + " to " + target.shown + " as " + file;
    } else {
        said = "put " + counted(merged.kept + merged.stored, "line") + " into " + file +
               (is_image(disk) ? " on " + target.shown : "") + ": " + std::to_string(merged.kept) +
               " kept, " + std::to_string(merged.stored) + " stored anew, " + std::to_string(merged.removed) +
               " removed";
    }
    if (merged.rewritten > 0) {
        said += "; " + std::to_string(merged.rewritten) + " of them will read back in korve's layout";
    }
    if (tidied > 0) {
        said += "; " + tidied_words;
    }
    if (merged.raw.count > 0) {
        run.console.say(Severity::Warning, pack_place(text.source, merged.raw.first, 0),
                        raw_lines_text(merged.raw));
    }
    run.console.say(Severity::Progress, text.source.shown, said);
}

// Writes the changed DISK: over itself, its mode and owner kept and only
// where it still holds what was read, or to -o OUT.
KorvexStatus write_disk(const KorvexRun& run, const Disk& disk, std::string_view bytes, const Place& target) {
    const bool in_place = !run.options.output;
    const auto written = byte_span(bytes);
    const auto read = file_bytes(disk);
    if (in_place && std::equal(written.begin(), written.end(), read.begin(), read.end())) {
        run.console.say(Severity::Progress, disk.source.shown, "nothing changed: it is left as it was");
        return KorvexStatus::Converted;
    }
    const WritePolicy policy = in_place ? replaced_in_place(read, run.options.force, run_inputs(run, 1))
                                        : write_policy(run);
    if (const auto failure = write_whole(target, bytes, policy)) {
        return run.console.error("", failure_text(*failure), KorvexStatus::Trouble);
    }
    return KorvexStatus::Converted;
}

}  // namespace

KorvexStatus run_put(const KorvexRun& run) {
    const Or<Disk> read = read_disk(run);
    if (const auto* failed = std::get_if<KorvexStatus>(&read)) {
        return *failed;
    }
    const Disk& disk = std::get<Disk>(read);
    const std::vector<std::string>& inputs = run.options.inputs;
    KorvexStatus status = KorvexStatus::Converted;
    std::vector<Text> texts;
    for (auto input = inputs.begin() + 1; input != inputs.end(); ++input) {
        Or<Text> text = read_text(run, *input);
        if (auto* lines = std::get_if<Text>(&text)) {
            texts.push_back(std::move(*lines));
        } else {
            status = worse(status, std::get<KorvexStatus>(text));
        }
    }
    const PutDisk planned = put_disk(disk);
    PutPlan plan = plan_put(planned, texts, {run.options.name, run.options.text.layout, run.options.text.charset});
    for (const Problem& problem : plan.problems) {
        status = worse(status, say_problem(run.console, problem));
    }
    const Place target = place_named(run.options.output.value_or(inputs.front()));
    const std::size_t given = inputs.size() - 1;
    EditedDisk edited{{}, std::nullopt};
    if (plan.changes.size() == given) {
        edited = edit_disk(planned, texts, plan);
    }
    if (plan.changes.size() != given || edited.problem) {
        const KorvexStatus failed = edited.problem ? say_problem(run.console, *edited.problem) : status;
        if (given > 1) {
            const std::size_t lost = given - plan.changes.size() + (plan.changes.size() == given ? 1 : 0);
            run.console.error(target.shown,
                              "not written: " + std::to_string(lost) + " of its " + std::to_string(given) +
                                  " texts cannot go in",
                              failed);
        }
        return worse(status, failed);
    }
    if (const KorvexStatus written = write_disk(run, disk, edited.bytes, target);
        written != KorvexStatus::Converted) {
        return written;
    }
    for (const PutChange& change : plan.changes) {
        say_done(run, disk, texts[change.text], change, target);
    }
    return status;
}

}  // namespace korve
