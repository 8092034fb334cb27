#include "korvex/verb_text.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "alasm/alasm_text.h"
#include "base/little_endian.h"
#include "files/output.h"
#include "files/output_names.h"
#include "formats/alasm_source.h"
#include "inputs/catalogue.h"
#include "inputs/loader.h"
#include "inputs/source_text.h"
#include "korvex/text_writer.h"
#include "translation/alasm_translation.h"

namespace korve {
namespace {

namespace fs = std::filesystem;
using command_line::Options;

// The sources of one folder (the command line's inputs, a folder walked, a
// disk), read whole before any is translated: aligned with its inputs, none
// where an input holds no ALASM data; whether each is one of the project;
// each one's TR-DOS name ("SCRUTIL.H"), and whether it is translated (with
// --main, only the main source and those it includes are).
struct Group {
    Project project;
    std::vector<std::optional<AlasmSource>> sources;
    std::vector<bool> members;
    std::vector<std::string> keys;
    std::vector<Source> inputs;  // each source's input, as its text is named
    std::vector<NameCandidate> names;  // how a typed name may name each source
    std::vector<bool> chosen;
    std::size_t mains = 0;  // sources --main names
};

Group group_of(std::size_t inputs) {
    Group group;
    group.sources.resize(inputs);
    group.members.resize(inputs);
    group.keys.resize(inputs);
    group.inputs.resize(inputs);
    group.names.resize(inputs);
    return group;
}

bool translating(const KorvexRun& run) { return run.options.dialect != Dialect::Alasm; }

// Whether the input at `index` of a group is left out: it holds a source
// --main leaves out.
bool left_out(const Group& group, std::size_t index) {
    return group.members[index] && !group.chosen[index];
}

// With --main NAME: chooses NAME's source and those it includes, directly
// or not.
void choose_main(const KorvexRun& run, Group& group) {
    const auto index_of = [&group](std::string_view key) {
        for (std::size_t i = 0; i < group.sources.size(); ++i) {
            if (group.members[i] && group.keys[i] == key) {
                return std::optional<std::size_t>(i);
            }
        }
        return std::optional<std::size_t>();
    };
    // NAME alone is NAME.H first, as ever; then any one file it names, as
    // `list` shows it or as its text is named.
    auto main = index_of(include_key(*run.options.main));
    if (!main) {
        const std::vector<std::size_t> named = files_named(*run.options.main, group.names);
        if (named.size() > 1) {
            run.console.error("", ambiguous_name_text(*run.options.main, group.names, named),
                              KorvexStatus::NotAllConverted);
        } else if (named.size() == 1 && group.members[named[0]]) {
            main = named[0];
        }
    }
    if (!main) {
        return;
    }
    group.mains = 1;
    std::vector<std::size_t> todo{*main};
    while (!todo.empty()) {
        const std::size_t at = todo.back();
        todo.pop_back();
        if (group.chosen[at]) {
            continue;
        }
        group.chosen[at] = true;
        for (const std::string& name : included_sources(*group.sources[at])) {
            if (const auto included = index_of(name)) {
                todo.push_back(*included);
            } else {
                run.console.say(Severity::Warning, "",
                                group.keys[at] + " includes " + name +
                                    ", which none of the inputs beside it holds");
            }
        }
    }
}

// Settles the group's project once its sources are read.
void settle_group(const KorvexRun& run, Group& group) {
    group.project.dialect = run.options.dialect;
    group.project.high_bytes_as_numbers = run.options.text.charset.has_value();
    group.chosen.assign(group.sources.size(), !run.options.main);
    if (run.options.main) {
        choose_main(run, group);
    }
    std::vector<const AlasmSource*> chosen;
    for (std::size_t i = 0; i < group.sources.size(); ++i) {
        if (group.members[i] && group.chosen[i]) {
            chosen.push_back(&*group.sources[i]);
        }
    }
    settle_project(group.project, chosen);
}

// ---- Groups of sources, for a translation ----

// Keeps a source read whole, to be translated with its group: one that a
// file of the folder holds (a file SCRUTIL.H, SCRUTIL.$h or scrutil.asm is
// what INCLUDE "SCRUTIL" names) is one of the group's project; one read from
// standard input or a stream is translated alone, as nothing can name it.
void keep_source(Group& group, std::size_t index, const InputNode& node, const Source& source,
                 AlasmSource read) {
    std::error_code error;
    const bool member = node.what == InputNode::What::File && fs::is_regular_file(node.path, error);
    group.sources[index] = std::move(read);
    group.members[index] = member;
    group.inputs[index] = source;
    if (member) {
        const std::string& name = source.name;
        const auto stem = trdos_name_of(name);
        const std::string file = name + std::string(kTextSuffix);
        group.keys[index] = text_include_key(name);
        group.names[index] = {spelled_parts(stem ? *stem : name), spelled_parts(name)};
        group.project.includes.emplace(name, file);
        group.project.includes.emplace(group.keys[index], file);
    }
}

// ---- Disk images and folders ----

// The folder that an image's files or a folder's tree go into, or why there
// is none.
std::optional<OutputFolder> folder_for(const KorvexRun& run, const Source& source,
                                       const Destination& where, std::string_view holder,
                                       Done& done) {
    std::error_code error;
    const bool refused = where.target == Target::Stdout || where.target == Target::File ||
                         (where.target == Target::Undecided && fs::exists(where.place.path, error));
    if (refused) {
        const std::string words = where.target == Target::Stdout
                                      ? "name a folder to write its files into with -o DIR"
                                      : where.place.shown + " is no folder, and its files need one";
        done.add(run.console.error(source.shown, std::string(holder) + " holds several files: " + words,
                                   KorvexStatus::Trouble));
        return std::nullopt;
    }
    if (where.straight) {
        return OutputFolder(where.place);
    }
    return OutputFolder(where.folder->claim(source.name), where.folder);
}

Destination into(OutputFolder& folder, const Destination& where) {
    return {Target::Folder, folder.place(), &folder, false, where.policy};
}

// The image's own problems first, then each file: lost, skipped or
// converted. Its files are named as the page names them, distinct among
// themselves, before their text files are named in the folder.
Done convert_image(const KorvexRun& run, const Source& source, LoadedInput loaded, const Destination& where) {
    Done done;
    auto folder = folder_for(run, source, where, "a disk image", done);
    if (!folder) {
        return done;
    }
    for (Problem& problem : loaded.problems) {
        done.add(problem.status);
        run.console.add(std::move(problem));
    }
    const DiskImage& image = loaded.image;
    const std::span<const unsigned char> bytes = loaded.bytes;
    const std::vector<CatalogueEntry> files = live_entries(image);
    const std::vector<std::string> names = image_file_names(files);
    // A disk's files include each other by their TR-DOS names.
    Group group = group_of(files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        group.names[i] = name_candidate(files[i].name, names[i]);
    }
    for (std::size_t i = 0; i < files.size() && translating(run); ++i) {
        const CatalogueEntry& entry = files[i];
        if (entry.alasm) {
            ByteReader reader(file_sectors(bytes, entry));
            group.sources[i] = read_source(reader, AlasmPlace::on_disk(entry.length), run.options.text.reading);
            group.members[i] = true;
            group.keys[i] = catalogue_text(entry.name);
            group.project.includes.emplace(group.keys[i], names[i] + std::string(kTextSuffix));
        }
    }
    settle_group(run, group);
    done.mains += group.mains;
    const Destination inside_folder = into(*folder, where);
    for (std::size_t i = 0; i < files.size(); ++i) {
        const CatalogueEntry& entry = files[i];
        const Source file{source.shown + ":" + names[i], names[i]};
        if (run.options.main && !group.chosen[i]) {
            continue;  // not the main source's, nor included by it
        }
        if (entry.problem != ImageProblem::None) {
            done.add(run.console.error(file.shown, entry_problem_text(entry),
                                       KorvexStatus::NotAllConverted));
        } else if (!entry.alasm) {
            run.console.say(Severity::Progress, file.shown, "skipped: not ALASM data");
        } else {
            ByteReader reader(file_sectors(bytes, entry));
            const SourceInput input{&reader, AlasmPlace::on_disk(entry.length),
                                    group.sources[i] ? &*group.sources[i] : nullptr, &group.project};
            done.add(write_source_text(run, file, input, inside_folder));
        }
    }
    return done;
}

Destination resolved(const Destination& where) {
    Destination file = where;
    if (where.target == Target::Undecided) {
        file.target = Target::File;
    }
    return file;
}

// Takes one file, or standard input, read once: writes the text of the ALASM
// data it holds (or of an ALASM text, packed), or converts the disk image it
// holds; skips or refuses anything else; `named` where the command line
// names it. In a translation its ALASM data is read whole into the
// group of its folder, and translated with the group.
Done take_file(const KorvexRun& run, const InputNode& node, const Destination& where, Group& group,
               std::size_t index, bool walked, bool named) {
    Done done;
    LoadedInput loaded =
        load_input(node, run.console.streams.in, walked, AlasmData::LeftOpen, text_inputs(run, named));
    const Source source = loaded_source(node, loaded);
    std::optional<ByteReader> whole;
    if (holds_alasm(loaded.kind) && loaded.read) {
        whole.emplace(loaded.bytes);
    }
    ByteReader* alasm = whole ? &*whole : loaded.alasm.reader.get();
    if (alasm != nullptr) {
        if (translating(run)) {
            keep_source(group, index, node, source, read_source(*alasm, loaded.kind, run.options.text.reading));
            return done;
        }
        return write_source_text(run, source, {alasm, loaded.kind, nullptr, nullptr}, resolved(where));
    }
    if (is_disk_image(loaded.kind)) {
        return convert_image(run, source, std::move(loaded), where);
    }
    const bool said = !loaded.problems.empty();
    for (Problem& problem : loaded.problems) {
        done.add(problem.status);
        run.console.add(std::move(problem));
    }
    if (walked && loaded.error == std::error_code() && !said) {
        ++done.skipped;
        run.console.say(Severity::Progress, source.shown, "skipped: neither ALASM data nor a disk image");
    } else if (!walked && !said) {
        done.add(run.console.error(source.shown, std::string(kNeitherKind), KorvexStatus::NotAllConverted));
    }
    return done;
}

// Translates the sources of a group once every one of them is read: those
// --main leaves out are not.
Done translate_group(const KorvexRun& run, Group& group, const Destination& where) {
    Done done;
    settle_group(run, group);
    done.mains += group.mains;
    for (std::size_t i = 0; i < group.sources.size(); ++i) {
        if (group.sources[i] && !left_out(group, i)) {
            done.add(write_source_text(run, group.inputs[i],
                                       {nullptr, InputKind::None, &*group.sources[i], &group.project},
                                       resolved(where)));
        }
    }
    return done;
}

// Takes the files of a folder in sorted order, and its folders in turn; in a
// translation, the folder's sources last, once all are read.
Done walk(const KorvexRun& run, const InputNode& node, const Destination& where, bool walked) {
    Done done;
    const Source& source = node.source;
    if (node.what == InputNode::What::WrittenInto && walked) {
        return done;  // the folder written into is never walked
    }
    auto folder = folder_for(run, source, where, "a folder", done);
    if (!folder) {
        return done;
    }
    if (node.what == InputNode::What::WrittenInto) {
        done.add(run.console.error(source.shown, "it is the folder written into; name another with -o",
                                   KorvexStatus::Trouble));
        return done;
    }
    if (node.unlisted) {
        done.add(run.console.error(source.shown, "cannot read the folder: " + reason(node.unlisted),
                                   KorvexStatus::Trouble));
        return done;
    }
    // The sources of one folder include each other.
    Group group = group_of(node.children.size());
    const Destination inside_folder = into(*folder, where);
    for (std::size_t i = 0; i < node.children.size(); ++i) {
        const InputNode& child = node.children[i];
        switch (child.what) {
            case InputNode::What::Folder:
            case InputNode::What::WrittenInto: done.add(walk(run, child, inside_folder, true)); break;
            case InputNode::What::LinkToFolder:
                run.console.say(Severity::Progress, child.source.shown, "skipped: a link to a folder");
                break;
            case InputNode::What::NotAFile:
                ++done.not_files;
                run.console.say(Severity::Progress, child.source.shown, "skipped: not a file");
                break;
            case InputNode::What::File:
            case InputNode::What::Stdin: done.add(take_file(run, child, inside_folder, group, i, true, false)); break;
        }
    }
    if (translating(run)) {
        done.add(translate_group(run, group, inside_folder));
    }
    return done;
}

// Where the inputs' text goes, from -o and the inputs; none (having said
// why) when the command cannot be carried out.
std::optional<Destination> destination(const KorvexRun& run, OutputFolder& top,
                                      const WritePolicy& policy, Done& done) {
    const Options& options = run.options;
    const bool several = options.inputs.size() > 1;
    if (!options.output || *options.output == kStandardStream) {
        if (several) {
            done.add(run.console.error(
                "", "several inputs: name a folder to write their files into with -o DIR",
                KorvexStatus::Trouble));
            return std::nullopt;
        }
        return Destination{Target::Stdout, {}, nullptr, false, &policy};
    }
    const std::string& output = *options.output;
    std::error_code error;
    const fs::file_status status = fs::status(top.place().path, error);
    const bool is_folder =
        fs::is_directory(status) || output.ends_with('/') || output.ends_with('\\');
    if (several && !is_folder && fs::exists(status)) {
        done.add(run.console.error("", output + " is no folder, and several inputs need one",
                                   KorvexStatus::Trouble));
        return std::nullopt;
    }
    if (several || is_folder) {
        return Destination{Target::Folder, top.place(), &top, !several, &policy};
    }
    return Destination{Target::Undecided, top.place(), &top, true, &policy};
}

}  // namespace

VerbOutcome run_text(const KorvexRun& run) {
    const Options& options = run.options;
    OutputFolder top(place_named(options.output.value_or("")));
    const WritePolicy policy = write_policy(run);
    Done done;
    const auto where = destination(run, top, policy, done);
    if (!where) {
        return {done.status, false};
    }
    std::optional<fs::path> written_into;
    if (where->target != Target::Stdout) {
        written_into = top.place().path;
    }
    const std::vector<InputNode> tree = input_tree(options.inputs, written_into);
    // The files named on the command line, written into one folder, include
    // each other.
    Group group = group_of(tree.size());
    for (const InputNode& node : tree) {
        Done taken;
        if (node.what == InputNode::What::File || node.what == InputNode::What::Stdin) {
            // With --main, a file that holds no source is passed over.
            taken = take_file(run, node, *where, group, static_cast<std::size_t>(&node - tree.data()),
                              options.main.has_value(), true);
        } else {
            taken = walk(run, node, *where, false);
        }
        say_skipped(run.console, node.source, taken.skipped, taken.not_files);
        done.add(taken);
    }
    if (translating(run)) {
        done.add(translate_group(run, group, *where));
    }
    if (options.main && done.mains == 0) {
        done.add(run.console.error("", "no input holds " + include_key(*options.main) +
                                           ", the source --main names",
                                   KorvexStatus::Trouble));
    }
    return {done.status, done.stdout_failed};
}

}  // namespace korve
