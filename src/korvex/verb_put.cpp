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
#include "korvex/verb_pack.h"
#include "translation/translation_project.h"

namespace korve {
namespace {

namespace fs = std::filesystem;

// The DISK, read whole.
struct Disk {
    Source source;
    std::vector<unsigned char> bytes;
    InputKind kind = InputKind::None;
    DiskImage image;                    // a disk image's or an archive's
    std::vector<CatalogueEntry> files;  // its live files
    std::vector<std::string> names;     // theirs, as korvex text names them
};

// A TEXT, read whole.
struct Text {
    Source source;
    std::vector<std::string> lines;
};

// What a TEXT does to the disk: the file it replaces or adds, its new data.
struct Change {
    const Text* text = nullptr;
    std::optional<std::size_t> entry;  // the disk's live file it replaces
    TrdosName name;                    // the file's TR-DOS name and type
    MergedSource merged;
    bool unchanged = false;
};

template <typename Value>
using Or = std::variant<Value, KorvexStatus>;

bool is_image(const Disk& disk) {
    return is_disk_image(disk.kind);
}

// Why an in-place DISK may not be replaced, if it may not.
std::optional<WriteFailure> in_place_refusal(const Source& disk) {
    std::error_code error;
    const fs::file_status status = fs::symlink_status(disk.path, error);
    if (fs::is_symlink(status)) {
        return WriteFailure{WriteFailure::Kind::IsLink, disk.shown, {}};
    }
    if (fs::exists(status) && !fs::is_regular_file(status)) {
        return WriteFailure{WriteFailure::Kind::NotAFile, disk.shown, {}};
    }
    if (fs::exists(status) && (status.permissions() & fs::perms::owner_write) == fs::perms::none) {
        return WriteFailure{WriteFailure::Kind::CannotWrite, disk.shown,
                            std::make_error_code(std::errc::permission_denied)};
    }
    return std::nullopt;
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
    disk.bytes = std::move(loaded.bytes);
    if (disk.kind == InputKind::None) {
        return run.console.error(input, std::string(kNeitherKind), KorvexStatus::NotAllConverted);
    }
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
        if (number == 1 && line->text.starts_with(kTranslatedMark)) {
            return run.console.error(pack_place(text.source, 1, 0), translated_text_refused(line->text),
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

// The live file of a name and type, its name padded as the catalogue pads
// it: "TSTPF " is TSTPF.
std::optional<std::size_t> entry_named(const Disk& disk, const TrdosName& name) {
    const auto& entries = disk.files;
    const auto found = std::find_if(entries.begin(), entries.end(),
                                    [&](const CatalogueEntry& entry) { return entry.name == name; });
    return found == entries.end() ? std::nullopt
                                  : std::optional(static_cast<std::size_t>(found - entries.begin()));
}

// --name's TR-DOS name and type: "NAME.T", or "NAME" of type H.
Or<Change> change_named(const KorvexRun& run, const Text& text, const std::string& given) {
    Encoded bytes = encode_in(CodePage::Cp866, given);
    if (bytes.failed_at) {
        return run.console.error(
            text.source.shown,
            "the name " + given + " holds a character TR-DOS names cannot (they are CP866)",
            KorvexStatus::NotAllConverted);
    }
    std::string name = std::move(bytes.bytes);
    auto type = static_cast<unsigned char>(kAlasmType);
    const std::size_t dot = name.size() - std::min<std::size_t>(name.size(), 2);
    if (name.size() > 2 && name[dot] == '.') {
        type = static_cast<unsigned char>(name.back());
        name.resize(dot);
    }
    if (const NameProblem problem = check_trdos_name(name); problem != NameProblem::None) {
        return run.console.error(text.source.shown, name_problem_text(problem) + " (from " + given + ")",
                                 KorvexStatus::NotAllConverted);
    }
    Change change;
    change.name = trdos_name(name, type);
    return change;
}

// The file a TEXT replaces on a disk image or in an archive, or adds.
Or<Change> change_of(const KorvexRun& run, const Disk& disk, const Text& text) {
    Change change;
    if (run.options.name) {
        auto named = change_named(run, text, *run.options.name);
        if (std::holds_alternative<KorvexStatus>(named)) {
            return named;
        }
        change = std::move(std::get<Change>(named));
        change.entry = entry_named(disk, change.name);
        if (!change.entry) {
            // As `list` shows a file, or with no type where only one fits;
            // else a new file, NAME alone being NAME.H.
            std::vector<NameCandidate> candidates;
            for (std::size_t i = 0; i < disk.files.size(); ++i) {
                candidates.push_back(name_candidate(disk.files[i].name, disk.names[i]));
            }
            const std::vector<std::size_t> fits = files_named(*run.options.name, candidates);
            if (fits.size() > 1) {
                return run.console.error(text.source.shown,
                                         ambiguous_name_text(*run.options.name, candidates, fits),
                                         KorvexStatus::NotAllConverted);
            }
            if (fits.size() == 1) {
                change.entry = fits[0];
            }
        }
    } else {
        const auto found = std::find_if(disk.names.begin(), disk.names.end(), [&](const std::string& name) {
            return name + std::string(kTextSuffix) == text.source.name;
        });
        if (found != disk.names.end()) {
            change.entry = static_cast<std::size_t>(found - disk.names.begin());
        } else if (text.source.path.empty()) {
            return run.console.error(text.source.shown, "standard input has no name: give it one with --name",
                                     KorvexStatus::Trouble);
        } else {
            auto name = pack_name(run, text.source);
            if (const auto* failed = std::get_if<KorvexStatus>(&name)) {
                return *failed;
            }
            change.name = trdos_name(std::get<std::string>(name), static_cast<unsigned char>(kAlasmType));
            if (const auto named = entry_named(disk, change.name)) {
                const std::string file = shown_name(disk.files[*named].name);
                return run.console.error(text.source.shown,
                                         disk.source.shown + " holds a file " + file +
                                             " that this text is not named for: give --name " + file +
                                             " to replace it",
                                         KorvexStatus::NotAllConverted);
            }
        }
    }
    if (change.entry) {
        const CatalogueEntry& entry = disk.files[*change.entry];
        change.name = entry.name;
        if (!entry.alasm) {
            return run.console.error(text.source.shown,
                                     shown_name(entry.name) + " on " + disk.source.shown +
                                         " holds no ALASM data: put replaces only ALASM sources",
                                     KorvexStatus::NotAllConverted);
        }
    }
    return change;
}

// The ALASM data a change replaces, from its header on, and its length.
std::pair<std::span<const unsigned char>, std::size_t> stored_data(const Disk& disk, const Change& change) {
    if (disk.kind == InputKind::BareAlasm) {
        return {disk.bytes, disk.bytes.size()};
    }
    if (is_image(disk)) {
        const CatalogueEntry& entry = disk.files[*change.entry];
        return {file_sectors(disk.bytes, entry), entry.length};
    }
    const std::span<const unsigned char> hobeta(disk.bytes);
    return {hobeta.subspan(kHobetaHeaderSize), read_hobeta_header(hobeta).length};
}

// Where the source a change replaces is named in messages.
std::string stored_shown(const Disk& disk, const Change& change) {
    return change.entry ? disk.source.shown + ":" + disk.names[*change.entry] : disk.source.shown;
}

// Says why a text cannot be stored; the status it gives the run.
KorvexStatus merge_failed(const KorvexRun& run, const Text& text, const MergeFailure& failure) {
    const std::string& line = text.lines[std::min(failure.line, text.lines.size()) - 1];
    if (failure.pack) {
        return run.console.error(pack_place(text.source, failure.line, failure.pack->column),
                                 pack_problem_text(*failure.pack), KorvexStatus::NotAllConverted);
    }
    const CodePage page = *run.options.text.charset;
    return run.console.error(pack_place(text.source, failure.line, position_of(line, failure.at).column),
                             unstorable(line, failure.at, page), KorvexStatus::NotAllConverted);
}

// The new data of a change: the text merged into the source it replaces, or
// packed as a new one.
Or<Change> merge(const KorvexRun& run, const Disk& disk, Change change) {
    const Text& text = *change.text;
    const bool replaces = change.entry || !is_image(disk);
    if (!replaces) {
        change.merged = pack_lines(name_bytes(change.name), text.lines, run.options.text.charset);
    } else {
        const auto [bytes, length] = stored_data(disk, change);
        ReadStored read = read_stored(bytes, length);
        if (!read.source) {
            const StoredProblem& problem = read.problem;
            const std::string where = stored_shown(disk, change);
            return run.console.error(
                problem.undefined ? where + ":" + std::to_string(problem.line) : where,
                (problem.undefined ? token_problem(*problem.undefined)
                                   : problem.short_by > 0
                                       ? data_end_problem(problem.line, 0, static_cast<std::int64_t>(problem.short_by))
                                       : data_end_problem(0, problem.line, 0)) +
                    ": put replaces only a source it reads whole",
                KorvexStatus::NotAllConverted);
        }
        change.merged =
            merge_text(*read.source, text.lines, {run.options.text.layout, run.options.text.charset});
        const auto old = bytes.first(std::min(length, bytes.size()));
        const auto data = byte_span(change.merged.data);
        change.unchanged =
            !change.merged.failure &&
            (change.merged.unchanged || std::equal(old.begin(), old.end(), data.begin(), data.end()));
    }
    if (change.merged.failure) {
        return merge_failed(run, text, *change.merged.failure);
    }
    return change;
}

// A change that another before it makes to the same file.
bool same_file(const Change& one, const Change& other) {
    if (one.entry || other.entry) {
        return one.entry == other.entry;
    }
    return one.name == other.name;
}

// The changes that change something, as the disk's editor takes them.
struct Edits {
    std::vector<FileChange> files;
    std::vector<const Change*> made;  // aligned with `files`
};

// DISK's bytes with every change made; what cannot be made is said.
Or<std::string> edited_disk(const KorvexRun& run, const Disk& disk, const Edits& edits,
                            std::vector<PlacedFile>& placed) {
    if (edits.files.empty()) {
        return std::string(disk.bytes.begin(), disk.bytes.end());
    }
    EditedImage edited;
    switch (disk.kind) {
        case InputKind::TrdosImage: edited = edit_trd_image(disk.bytes, edits.files); break;
        case InputKind::SclArchive: edited = edit_scl_archive(disk.bytes, edits.files); break;
        case InputKind::HobetaAlasm:
            edited = edit_hobeta_file(disk.bytes, edits.files.front().file.data);
            break;
        case InputKind::None:
        case InputKind::BareAlasm: edited.bytes = edits.files.front().file.data; break;
    }
    if (edited.problem != EditProblem::None) {
        const Change& change = *edits.made[edited.change];
        const std::size_t sectors = sectors_of(change.merged.data.size());
        return run.console.error(change.text->source.shown,
                                 "cannot put " + shown_name(change.name) + " on " +
                                     disk.source.shown + ": " + edit_problem_text(edited, sectors),
                                 KorvexStatus::NotAllConverted);
    }
    placed = std::move(edited.placed);
    return std::move(edited.bytes);
}

std::string counted(std::size_t count, std::string_view what) {
    return std::to_string(count) + " " + std::string(what) + (count == 1 ? "" : "s");
}

// Says what a change did: a move as a note, the rest with -v.
void say_done(const KorvexRun& run, const Disk& disk, const Change& change, const PlacedFile* placed,
              const Place& target) {
    const Source& text = change.text->source;
    const std::string file = is_image(disk) ? shown_name(change.name) : target.shown;
    if (change.unchanged) {
        run.console.say(Severity::Progress, text.shown, file + " is unchanged");
        return;
    }
    if (const std::string moved = placed != nullptr ? move_text(*placed) : ""; !moved.empty()) {
        run.console.say(Severity::Note, text.shown, file + " " + moved);
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
    run.console.say(Severity::Progress, text.shown, said);
}

// Writes the changed DISK: over itself, its mode and owner kept and only
// where it still holds what was read, or to -o OUT.
KorvexStatus write_disk(const KorvexRun& run, const Disk& disk, std::string_view bytes, const Place& target) {
    const bool in_place = !run.options.output;
    const auto written = byte_span(bytes);
    if (in_place && std::equal(written.begin(), written.end(), disk.bytes.begin(), disk.bytes.end())) {
        run.console.say(Severity::Progress, disk.source.shown, "nothing changed: it is left as it was");
        return KorvexStatus::Converted;
    }
    WritePolicy policy = write_policy(run);
    if (in_place) {
        policy.inputs.erase(policy.inputs.begin());  // DISK itself, never a TEXT
        policy.in_place = WritePolicy::InPlace{disk.bytes, run.options.force};
    }
    if (const auto failure = write_whole(target, bytes, policy)) {
        return run.console.error("", failure_text(*failure), KorvexStatus::Trouble);
    }
    return KorvexStatus::Converted;
}

// Each TEXT's change, merged; what cannot be is said, into `status`.
std::vector<Change> changes_of(const KorvexRun& run, const Disk& disk, const std::vector<Text>& texts,
                               KorvexStatus& status) {
    std::vector<Change> changes;
    for (const Text& text : texts) {
        Or<Change> change = is_image(disk) ? change_of(run, disk, text) : Change{};
        if (auto* named = std::get_if<Change>(&change)) {
            named->text = &text;
            const bool twice = std::any_of(changes.begin(), changes.end(),
                                           [&](const Change& before) { return same_file(before, *named); });
            change = twice ? run.console.error(text.source.shown,
                                               "a TEXT before it puts the same file, " +
                                                   shown_name(named->name),
                                               KorvexStatus::NotAllConverted)
                           : merge(run, disk, std::move(*named));
        }
        if (auto* merged = std::get_if<Change>(&change)) {
            changes.push_back(std::move(*merged));
        } else {
            status = worse(status, std::get<KorvexStatus>(change));
        }
    }
    return changes;
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
    const std::vector<Change> changes = changes_of(run, disk, texts, status);
    const Place target = place_named(run.options.output.value_or(inputs.front()));
    Edits edits;
    for (const Change& change : changes) {
        if (!change.unchanged) {
            const auto slot = change.entry ? std::optional(disk.files[*change.entry].slot)
                                           : std::nullopt;  // the editor names files by their slots
            edits.files.push_back({slot, {change.name, 0, change.merged.data}});
            edits.made.push_back(&change);
        }
    }
    std::vector<PlacedFile> placed;
    Or<std::string> bytes = status;
    if (changes.size() == inputs.size() - 1) {
        bytes = edited_disk(run, disk, edits, placed);
    }
    if (const auto* failed = std::get_if<KorvexStatus>(&bytes)) {
        if (inputs.size() > 2) {
            const std::size_t lost =
                inputs.size() - 1 - changes.size() + (changes.size() + 1 == inputs.size() ? 1 : 0);
            run.console.error(target.shown,
                              "not written: " + std::to_string(lost) + " of its " +
                                  std::to_string(inputs.size() - 1) + " texts cannot go in",
                              *failed);
        }
        return worse(status, *failed);
    }
    if (const KorvexStatus written = write_disk(run, disk, std::get<std::string>(bytes), target);
        written != KorvexStatus::Converted) {
        return written;
    }
    for (const Change& change : changes) {
        const auto made = std::find(edits.made.begin(), edits.made.end(), &change);
        const auto index = static_cast<std::size_t>(made - edits.made.begin());
        say_done(run, disk, change, index < placed.size() ? &placed[index] : nullptr, target);
    }
    return status;
}

}  // namespace korve
