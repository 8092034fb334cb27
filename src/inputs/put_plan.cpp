#include "inputs/put_plan.h"

#include <algorithm>
#include <utility>
#include <variant>

#include "base/little_endian.h"
#include "formats/hobeta_header.h"
#include "formats/trdos_name.h"
#include "inputs/catalogue.h"
#include "inputs/source_text.h"

namespace korve {
namespace {

template <typename Value>
using Or = std::variant<Value, Problem>;

Problem refused(const PutText& text, std::string why) {
    return {Severity::Error, {text.source.shown, {}, 0, 0}, std::move(why), Status::NotAllConverted};
}

// The live file of a name and type, its name padded as the catalogue pads
// it: "TSTPF " is TSTPF.
std::optional<std::size_t> entry_named(const PutDisk& disk, const TrdosName& name) {
    const auto& entries = disk.files;
    const auto found = std::find_if(entries.begin(), entries.end(),
                                    [&](const CatalogueEntry& entry) { return entry.name == name; });
    return found == entries.end() ? std::nullopt
                                  : std::optional(static_cast<std::size_t>(found - entries.begin()));
}

// --name's TR-DOS name and type.
Or<PutChange> change_named(const PutText& text, const std::string& given) {
    auto named = given_trdos_name(text.source, given);
    if (auto* failed = std::get_if<Problem>(&named)) {
        return std::move(*failed);
    }
    PutChange change;
    change.name = std::get<TrdosName>(named);
    return change;
}

// The file --name gives: as `list` shows a file, or with no type where only
// one fits; else a new file, NAME alone being NAME.H.
Or<PutChange> change_for_name(const PutDisk& disk, const PutText& text, const std::string& given) {
    Or<PutChange> named = change_named(text, given);
    auto* change = std::get_if<PutChange>(&named);
    if (change == nullptr || (change->entry = entry_named(disk, change->name))) {
        return named;
    }
    std::vector<NameCandidate> candidates;
    for (std::size_t i = 0; i < disk.files.size(); ++i) {
        candidates.push_back(name_candidate(disk.files[i].name, disk.names[i]));
    }
    const std::vector<std::size_t> fits = files_named(given, candidates);
    if (fits.size() > 1) {
        return refused(text, ambiguous_name_text(given, candidates, fits));
    }
    if (fits.size() == 1) {
        change->entry = fits[0];
    }
    return named;
}

// The file a text's own name gives: the one korvex text wrote it from, or a
// new one named after it.
Or<PutChange> change_for_text(const PutDisk& disk, const PutText& text) {
    PutChange change;
    const auto found = std::find_if(disk.names.begin(), disk.names.end(), [&](const std::string& name) {
        return name + std::string(kTextSuffix) == text.source.name;
    });
    if (found != disk.names.end()) {
        change.entry = static_cast<std::size_t>(found - disk.names.begin());
        return change;
    }
    if (text.source.path.empty()) {
        Problem problem = refused(text, "standard input has no name: give it one with --name");
        problem.status = Status::Trouble;
        return problem;
    }
    auto name = text_trdos_name(std::nullopt, text.source);
    if (auto* failed = std::get_if<Problem>(&name)) {
        return std::move(*failed);
    }
    change.name = trdos_name(std::get<std::string>(name), static_cast<unsigned char>(kAlasmType));
    if (const auto named = entry_named(disk, change.name)) {
        const std::string file = shown_name(disk.files[*named].name);
        return refused(text, disk.shown + " holds a file " + file +
                                 " that this text is not named for: give --name " + file + " to replace it");
    }
    return change;
}

// The file a TEXT replaces on a disk image or in an archive, or adds.
Or<PutChange> change_of(const PutDisk& disk, const PutText& text, const PutOptions& options) {
    Or<PutChange> found = options.name ? change_for_name(disk, text, *options.name) : change_for_text(disk, text);
    auto* change = std::get_if<PutChange>(&found);
    if (change != nullptr && change->entry) {
        const CatalogueEntry& entry = disk.files[*change->entry];
        change->name = entry.name;
        if (!entry.alasm) {
            return refused(text, shown_name(entry.name) + " on " + disk.shown +
                                     " holds no ALASM data: put replaces only ALASM sources");
        }
    }
    return found;
}

// The ALASM data a change replaces, from its header on, and its length.
std::pair<std::span<const unsigned char>, std::size_t> stored_data(const PutDisk& disk,
                                                                   const PutChange& change) {
    if (disk.kind == InputKind::BareAlasm) {
        return {disk.bytes, disk.bytes.size()};
    }
    if (is_disk_image(disk.kind)) {
        const CatalogueEntry& entry = disk.files[*change.entry];
        return {file_sectors(disk.bytes, entry), entry.length};
    }
    return {disk.bytes.subspan(kHobetaHeaderSize), read_hobeta_header(disk.bytes).length};
}

// Why the source a change replaces cannot be read whole.
Problem unreadable(const PutDisk& disk, const PutChange& change, const StoredProblem& problem) {
    Where where{disk.shown, change.entry ? disk.names[*change.entry] : std::string(), 0, 0};
    where.line = problem.undefined ? problem.line : 0;
    const std::string why =
        problem.undefined ? token_problem(*problem.undefined)
        : problem.short_by > 0 ? data_end_problem(problem.line, 0, static_cast<std::int64_t>(problem.short_by))
                               : data_end_problem(0, problem.line, 0);
    return {Severity::Error, std::move(where), why + ": put replaces only a source it reads whole",
            Status::NotAllConverted};
}

// Why a text cannot be stored.
Problem unstorable_text(const PutText& text, const MergeFailure& failure, const PutOptions& options) {
    const std::string& line = text.lines[std::min(failure.line, text.lines.size()) - 1];
    if (failure.pack) {
        return {Severity::Error, {text.source.shown, {}, failure.line, failure.pack->column},
                pack_problem_text(*failure.pack), Status::NotAllConverted};
    }
    return {Severity::Error, {text.source.shown, {}, failure.line, position_of(line, failure.at).column},
            unstorable(line, failure.at, *options.charset), Status::NotAllConverted};
}

// The new data of a change: the text merged into the source it replaces, or
// packed as a new one.
Or<PutChange> merge(const PutDisk& disk, const PutText& text, const PutOptions& options, PutChange change) {
    const bool replaces = change.entry || !is_disk_image(disk.kind);
    if (!replaces) {
        change.merged = pack_lines(name_bytes(change.name), text.lines, options.charset);
    } else {
        const auto [bytes, length] = stored_data(disk, change);
        const ReadStored read = read_stored(bytes, length);
        if (!read.source) {
            return unreadable(disk, change, read.problem);
        }
        change.merged = merge_text(*read.source, text.lines, {options.layout, options.charset});
        const auto old = bytes.first(std::min(length, bytes.size()));
        const auto data = byte_span(change.merged.data);
        change.unchanged =
            !change.merged.failure &&
            (change.merged.unchanged || std::equal(old.begin(), old.end(), data.begin(), data.end()));
    }
    if (change.merged.failure) {
        return unstorable_text(text, *change.merged.failure, options);
    }
    return change;
}

// The file a stored file replaces, by its name and type, or adds.
Or<PutChange> change_for_file(const PutDisk& disk, const PutText& text) {
    if (!is_disk_image(disk.kind)) {
        return refused(text, disk.shown + " holds one source: a file is stored only on a disk image or in an archive");
    }
    PutChange change;
    change.stored = text.stored;
    change.name = text.stored->file.name;
    change.entry = entry_named(disk, change.name);
    if (!change.entry) {
        if (auto why = new_file_start(*change.stored)) {
            Problem problem = refused(text, std::move(*why));
            problem.status = Status::Trouble;
            return problem;
        }
        return change;
    }
    // As it stands: its catalogue fields, and its sectors to their last byte.
    const CatalogueEntry& entry = disk.files[*change.entry];
    const TrdosFile& file = change.stored->file;
    std::string sectors = file.data;
    sectors.resize(sectors_of(sectors.size()) * kSectorSize, '\0');
    const auto old = file_sectors(disk.bytes, entry);
    change.unchanged = entry.length == catalogue_length(file) && entry.sectors == sectors_of(file.data.size()) &&
                       (!change.stored->start_given || entry.start == file.start) &&
                       std::equal(old.begin(), old.end(), sectors.begin(), sectors.end(),
                                  [](unsigned char a, char b) { return a == static_cast<unsigned char>(b); });
    return change;
}

// A change that another before it makes to the same file.
bool same_file(const PutChange& one, const PutChange& other) {
    if (one.entry || other.entry) {
        return one.entry == other.entry;
    }
    return one.name == other.name;
}

}  // namespace

PutPlan plan_put(const PutDisk& disk, std::span<const PutText> texts, const PutOptions& options) {
    PutPlan plan;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const PutText& text = texts[i];
        Or<PutChange> change = text.stored                 ? change_for_file(disk, text)
                               : is_disk_image(disk.kind) ? change_of(disk, text, options)
                                                          : PutChange{};
        if (auto* named = std::get_if<PutChange>(&change)) {
            named->text = i;
            const bool twice = std::any_of(plan.changes.begin(), plan.changes.end(),
                                           [&](const PutChange& before) { return same_file(before, *named); });
            if (twice) {
                change = refused(text, "a TEXT before it puts the same file, " + shown_name(named->name));
            } else if (!text.stored) {
                change = merge(disk, text, options, std::move(*named));
            }
        }
        if (auto* merged = std::get_if<PutChange>(&change)) {
            plan.changes.push_back(std::move(*merged));
        } else {
            plan.problems.push_back(std::move(std::get<Problem>(change)));
        }
    }
    return plan;
}

EditedDisk edit_disk(const PutDisk& disk, std::span<const PutText> texts, PutPlan& plan) {
    std::vector<FileChange> files;
    std::vector<PutChange*> made;  // aligned with `files`
    for (PutChange& change : plan.changes) {
        if (!change.unchanged) {
            const auto slot = change.entry ? std::optional(disk.files[*change.entry].slot)
                                           : std::nullopt;  // the editor names files by their slots
            files.push_back(change.stored ? FileChange{slot, change.stored->file, change.stored->start_given}
                                          : FileChange{slot, {change.name, 0, change.merged.data}});
            made.push_back(&change);
        }
    }
    if (files.empty()) {
        return {std::string(disk.own.begin(), disk.own.end()), std::nullopt};
    }
    // What is neither kind never comes here: put refuses it as it loads it.
    const auto edit = kind_row(disk.kind).edit;
    EditedImage edited = edit != nullptr ? edit(disk.own, files) : EditedImage{};
    if (edited.problem != EditProblem::None) {
        const PutChange& change = *made[edited.change];
        const std::size_t sectors =
            sectors_of(change.stored ? change.stored->file.data.size() : change.merged.data.size());
        return {{},
                refused(texts[change.text], "cannot put " + shown_name(change.name) + " on " + disk.shown +
                                                ": " + edit_problem_text(edited, sectors))};
    }
    for (std::size_t i = 0; i < made.size() && i < edited.placed.size(); ++i) {
        made[i]->placed = edited.placed[i];
    }
    return {std::move(edited.bytes), std::nullopt};
}

}  // namespace korve
