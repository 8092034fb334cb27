#include "korvex.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "alasm_pack.h"
#include "alasm_source.h"
#include "alasm_text.h"
#include "alasm_translation.h"
#include "catalogue.h"
#include "code_page.h"
#include "container.h"
#include "file.h"
#include "korvex_command_line.h"
#include "output_file.h"
#include "output_names.h"
#include "trdos_image.h"

namespace korve {
namespace {

namespace fs = std::filesystem;
using command_line::Container;
using command_line::kProgram;
using command_line::kStandardStream;
using command_line::Options;
using command_line::Request;
using command_line::Verb;
using command_line::Verbosity;

constexpr std::string_view kStdinShown = "<stdin>";
constexpr std::string_view kStdinName = "stdin";  // its outputs' name
constexpr std::string_view kStdoutShown = "standard output";

// ---- Printing ----

// Untranslated lines are reported as the translator's users know them:
// "FILE:LINE: cannot translate: why".
enum class Severity : unsigned char { Error, Warning, Note, Progress, Untranslated };

struct Console {
    const KorvexStreams& streams;
    Verbosity verbosity;
    std::string_view newline = line_end_text(kPlatformLineEnd);

    void print(std::FILE* stream, std::string_view text) const {
        std::fwrite(text.data(), 1, text.size(), stream);
    }

    void line(std::FILE* stream, std::string_view text) const {
        print(stream, text);
        print(stream, newline);
    }

    // Text with the system's line ends for its '\n's.
    void lines(std::FILE* stream, std::string_view text) const {
        for (std::size_t begin = 0; begin < text.size();) {
            const std::size_t end = std::min(text.find('\n', begin), text.size());
            print(stream, text.substr(begin, end - begin));
            if (end < text.size()) {
                print(stream, newline);
            }
            begin = end + 1;
        }
    }

    // "korvex: WHERE: error: TEXT", as compilers word their messages.
    void say(Severity severity, std::string_view where, std::string_view text) const {
        const bool shown = severity == Severity::Error || severity == Severity::Untranslated ||
                           (severity == Severity::Progress ? verbosity == Verbosity::Verbose
                                                           : verbosity != Verbosity::Quiet);
        if (!shown) {
            return;
        }
        std::string message(kProgram);
        message += ": ";
        if (!where.empty()) {
            message += std::string(where) + ": ";
        }
        constexpr std::array<std::string_view, 5> kLabels = {"error: ", "warning: ", "note: ", "",
                                                             ""};
        message += kLabels[static_cast<std::size_t>(severity)];
        message += text;
        line(streams.err, message);
    }
};

// ---- Paths ----

// A path as messages show it: in UTF-8 on Windows, the bytes as given elsewhere.
std::string shown_path(const fs::path& path) {
#ifdef _WIN32
    const std::u8string utf8 = path.u8string();
    return {utf8.begin(), utf8.end()};
#else
    return path.string();
#endif
}

// A place to write to, and how messages show it.
struct Place {
    fs::path path;
    std::string shown;
};

Place inside(const Place& folder, std::string_view name) {
    const std::string name_text(name);
    const bool ends_in_separator = folder.shown.ends_with('/') || folder.shown.ends_with('\\');
    return {folder.path / file_path(name_text.c_str()),
            folder.shown + (ends_in_separator ? "" : "/") + name_text};
}

std::string system_reason(int error_number) {
    return reason(std::error_code(error_number, std::generic_category()));
}

// ---- Converting ----

// Where an input's text goes.
enum class Target : unsigned char {
    Stdout,
    File,       // the file `place`
    Folder,     // into the folder `place`
    Undecided,  // the one input's: a file for ALASM data, else a folder
};

struct Destination {
    Target target = Target::Stdout;
    Place place;
    ClaimedNames* claims = nullptr;  // Folder: the names given out in it
    // Folder: an image's files and a folder's tree go straight into it,
    // rather than into a folder named after the input.
    bool straight = false;
};

// An input as it is read: how messages name it, and the name its outputs take.
struct Source {
    std::string shown;
    std::string name;
};

struct Run {
    Run(Console& console_, const Options& options_) : console(console_), options(options_) {
        project.dialect = options.dialect;
    }

    Console& console;
    const Options& options;
    KorvexStatus status = KorvexStatus::Converted;
    std::optional<fs::path> output_root;  // the folder written into, where one is
    std::size_t skipped = 0;              // files of folders that hold nothing to convert
    std::size_t listed = 0;               // list --json: the elements printed
    bool stdout_failed = false;           // and said so
    fs::path made;                        // the folder last made: its files follow each other
    // For a dialect: the names the INCLUDEs of the files written into one
    // folder give, and the macros they define.
    Project project;

    void worsen(KorvexStatus to) {
        status = static_cast<int>(to) > static_cast<int>(status) ? to : status;
    }

    void error(std::string_view where, std::string_view text, KorvexStatus to) {
        console.say(Severity::Error, where, text);
        worsen(to);
    }
};

std::string lines_before(std::size_t lines) {
    if (lines == 0) {
        return "nothing was written";
    }
    return lines == 1 ? "the line before it was written"
                      : "the " + std::to_string(lines) + " lines before it were written";
}

// Makes the folders of `place`; false (having said why) when it cannot.
bool make_folder(Run& run, const Source& source, const Place& folder) {
    if (!run.made.empty() && run.made == folder.path) {
        return true;
    }
    std::error_code error;
    // "out/" names the folder "out"; a file of that name fails alike everywhere.
    const fs::path named = folder.path.has_filename() ? folder.path : folder.path.parent_path();
    const fs::file_status status = fs::status(named, error);
    if (fs::exists(status) && !fs::is_directory(status)) {
        run.error(source.shown, "cannot make the folder " + folder.shown + ": a file has its name",
                  KorvexStatus::Trouble);
        return false;
    }
    fs::create_directories(folder.path, error);
    if (error) {
        run.error(source.shown, "cannot make the folder " + folder.shown + ": " + reason(error),
                  KorvexStatus::Trouble);
        return false;
    }
    run.made = folder.path;
    return true;
}

// An input's bytes, read whole: at most one more than any image holds.
std::vector<unsigned char> read_whole(ByteReader& reader) {
    std::vector<unsigned char> bytes;
    while (bytes.size() <= kLargestImage && !reader.at_end()) {
        const auto block = reader.take(kLongestLook);
        bytes.insert(bytes.end(), block.begin(), block.end());
    }
    return bytes;
}

bool translating(const Run& run) { return run.options.dialect != Dialect::Alasm; }

// Makes a source known to the others written into its folder: the TR-DOS
// names an INCLUDE gives it by, the file it is written to, and its macros.
void add_to_project(Project& project, std::initializer_list<std::string> keys,
                    const std::string& file, const AlasmSource& source) {
    for (const std::string& key : keys) {
        project.includes.emplace(key, file);
    }
    collect_macros(source, project.macros);
}

// The project of the ALASM files among `files` (their names and paths),
// written into one folder: a file SCRUTIL.H or SCRUTIL.$h is what INCLUDE
// "SCRUTIL" names.
Project project_of_files(const Run& run,
                                  const std::vector<std::pair<std::string, fs::path>>& files) {
    Project project;
    project.dialect = run.options.dialect;
    for (const auto& [name, path] : files) {
        std::error_code error;
        if (!fs::is_regular_file(path, error)) {
            continue;
        }
        const File file(open_file(path, "rb"));
        if (!file) {
            continue;  // said when it is converted
        }
        ByteReader reader(file.get());
        const InputKind kind = recognise_input(reader.look(kRecognisedBytes));
        if (holds_alasm(kind)) {
            const auto stem = trdos_name_of(name);
            add_to_project(project, {name, include_key(stem ? *stem : name)},
                           name + std::string(kTextSuffix), read_source(reader, kind));
        }
    }
    return project;
}

// Converts, or translates, ALASM data into `output` (none: only counted);
// gives the lines that could not be translated in `untranslated`.
TextReport convert(const Run& run, ByteReader& reader, InputKind kind, std::FILE* output,
                   std::vector<UntranslatedLine>& untranslated) {
    if (!translating(run)) {
        return convert_to_text(reader, kind, run.options.text, output);
    }
    // A translation takes a whole source: it is read once, into memory.
    const std::vector<unsigned char> bytes = read_whole(reader);
    if (reader.failed() || bytes.size() > kLargestImage) {
        TextReport failed;
        failed.outcome = TextOutcome::ReadFailed;
        failed.error_number = reader.failed() ? errno : EFBIG;
        return failed;
    }
    ByteReader first(bytes);
    const AlasmSource source = read_source(first, kind);
    SourceTranslation translation(run.project, source);
    std::vector<std::string> texts;
    while (!translation.done()) {
        TranslatedLine line = translation.next();
        texts.push_back(std::move(line.text));
        if (line.untranslated) {
            untranslated.push_back(std::move(*line.untranslated));
        }
    }
    for (UntranslatedLine& problem : translation.end_problems()) {
        untranslated.push_back(std::move(problem));
    }
    TextOptions options = run.options.text;
    options.translator = [&texts](std::size_t number, const DescribedLine&,
                                  std::string& text) -> std::optional<std::string> {
        if (number <= texts.size()) {
            text = texts[number - 1];
        }
        return std::nullopt;  // reported below, with the end's
    };
    ByteReader second(bytes);
    return convert_to_text(second, kind, options, output);
}

// Reports what converting ALASM data found, once its text is written.
void report_text(Run& run, const Source& source, const TextReport& report,
                 std::span<const UntranslatedLine> untranslated, std::string_view to) {
    const Console& console = run.console;
    if (!report.checksum_matches) {
        console.say(Severity::Warning, source.shown,
                    "the Hobeta checksum does not match; converted as its length says");
    }
    if (report.cut_line != 0 && !report.undefined) {
        console.say(Severity::Warning, source.shown,
                    "the data ends inside line " + std::to_string(report.cut_line));
    }
    for (const UntranslatedLine& line : untranslated) {
        console.say(Severity::Untranslated, source.shown + ":" + std::to_string(line.number),
                    "cannot translate: " + line.reason);
        run.worsen(KorvexStatus::NotAllConverted);
    }
    if (report.undefined) {
        run.error(source.shown + ":" + std::to_string(report.lines + 1),
                  token_problem(*report.undefined) + "; " + lines_before(report.lines),
                  KorvexStatus::NotAllConverted);
    } else {
        console.say(Severity::Progress, source.shown,
                    "converted " + std::to_string(report.lines) +
                        (report.lines == 1 ? " line" : " lines") + " into " + std::string(to));
    }
}

// Converts ALASM data into a file or onto standard output.
void convert_alasm(Run& run, ByteReader& reader, InputKind kind, const Source& source,
                   const Destination& where) {
    std::vector<UntranslatedLine> untranslated;
    if (where.target == Target::Stdout) {
        const TextReport report = convert(run, reader, kind, run.console.streams.out, untranslated);
        if (report.outcome == TextOutcome::WriteFailed) {
            run.error(source.shown,
                      "cannot write " + std::string(kStdoutShown) + ": " +
                          system_reason(report.error_number),
                      KorvexStatus::Trouble);
            run.stdout_failed = true;
        } else if (report.outcome == TextOutcome::ReadFailed) {
            run.error(source.shown, "reading failed: " + system_reason(report.error_number),
                      KorvexStatus::Trouble);
        } else {
            report_text(run, source, report, untranslated, kStdoutShown);
        }
        return;
    }
    const Place target =
        where.target == Target::File
            ? where.place
            : inside(where.place,
                     claim_name(*where.claims, source.name + std::string(kTextSuffix)));
    const std::string exists = target.shown + " exists; --force writes over it";
    std::error_code error;
    if (!run.options.force && fs::exists(fs::symlink_status(target.path, error))) {
        run.error(source.shown, exists, KorvexStatus::Trouble);
        return;
    }
    if (where.target == Target::Folder && !make_folder(run, source, where.place)) {
        return;
    }
    OutputFile output = OutputFile::open(target.path, error);
    if (!output.is_open()) {
        run.error(source.shown, "cannot write " + target.shown + ": " + reason(error),
                  KorvexStatus::Trouble);
        return;
    }
    const TextReport report = convert(run, reader, kind, output.stream(), untranslated);
    if (report.outcome == TextOutcome::WriteFailed) {
        run.error(source.shown,
                  "cannot write " + target.shown + ": " + system_reason(report.error_number),
                  KorvexStatus::Trouble);
        return;
    }
    if (report.outcome == TextOutcome::ReadFailed) {
        run.error(source.shown, "reading failed: " + system_reason(report.error_number),
                  KorvexStatus::Trouble);
        return;
    }
    if (report.lines == 0) {
        output.discard();  // stopped on its first line: no file of nothing
    } else if (const std::error_code failed = output.commit(run.options.force)) {
        run.error(source.shown,
                  failed == std::errc::file_exists
                      ? exists
                      : "cannot write " + target.shown + ": " + reason(failed),
                  KorvexStatus::Trouble);
        return;
    }
    report_text(run, source, report, untranslated, target.shown);
}

// The folder that an image's files or a folder's tree go into.
std::optional<Destination> folder_for(Run& run, const Source& source, const Destination& where,
                                      ClaimedNames& claims, std::string_view holder) {
    std::error_code error;
    const bool refused = where.target == Target::Stdout || where.target == Target::File ||
                         (where.target == Target::Undecided && fs::exists(where.place.path, error));
    if (refused) {
        const std::string words = where.target == Target::Stdout
                                      ? "name a folder to write its files into with -o DIR"
                                      : where.place.shown + " is no folder, and its files need one";
        run.error(source.shown, std::string(holder) + " holds several files: " + words,
                  KorvexStatus::Trouble);
        return std::nullopt;
    }
    Destination folder{Target::Folder, where.place, &claims, false};
    if (!where.straight) {
        folder.place = inside(where.place, claim_name(*where.claims, source.name));
    }
    return folder;
}

std::string entry_shown(const Source& image, std::string_view name) {
    return image.shown + ":" + std::string(name);
}

// The image's own problem first, then each file: lost, skipped or converted.
// Its files are named as the page names them, distinct among themselves,
// before their text files are named in the folder.
void convert_image(Run& run, const Source& source, const DiskImage& image,
                   const Destination& where) {
    ClaimedNames files;
    const auto folder = folder_for(run, source, where, files, "a disk image");
    if (!folder) {
        return;
    }
    if (image.problem != ImageProblem::None) {
        const auto lost = std::count_if(
            image.entries.begin(), image.entries.end(),
            [](const ImageEntry& entry) { return entry.problem != ImageProblem::None; });
        std::string text(image_problem(image.problem));
        if (lost > 0) {
            text += "; " + std::to_string(lost) + " of its " +
                    std::to_string(image.entries.size()) + " files lost";
        }
        run.console.say(Severity::Warning, source.shown, text);
    }
    const std::vector<std::string> names = image_file_names(image);
    // A disk's files include each other by their TR-DOS names.
    const Project outer = run.project;
    if (translating(run)) {
        run.project = Project{run.options.dialect, {}, {}};
        for (std::size_t i = 0; i < image.entries.size(); ++i) {
            const ImageEntry& entry = image.entries[i];
            if (entry.alasm) {
                ByteReader reader(
                    std::span(reinterpret_cast<const unsigned char*>(entry.hobeta.data()),
                              entry.hobeta.size()));
                add_to_project(run.project, {full_name(entry)}, names[i] + std::string(kTextSuffix),
                               read_source(reader, InputKind::HobetaAlasm));
            }
        }
    }
    for (std::size_t i = 0; i < image.entries.size(); ++i) {
        const ImageEntry& entry = image.entries[i];
        const std::string& name = names[i];
        const Source file{entry_shown(source, name), name};
        if (entry.problem != ImageProblem::None) {
            run.error(file.shown, entry_problem(entry.problem), KorvexStatus::NotAllConverted);
        } else if (!entry.alasm) {
            run.console.say(Severity::Progress, file.shown, "skipped: not ALASM data");
        } else {
            ByteReader reader(std::span(reinterpret_cast<const unsigned char*>(entry.hobeta.data()),
                                        entry.hobeta.size()));
            convert_alasm(run, reader, InputKind::HobetaAlasm, file, *folder);
        }
    }
    run.project = outer;
}

// ---- Listing ----

// The names an image's files' text takes, as `text` would give them.
std::vector<std::string> output_names(const DiskImage& image) {
    std::vector<std::string> names = image_file_names(image);
    for (std::string& name : names) {
        name += kTextSuffix;
    }
    return names;
}

void list_summary(Run& run, const InputSummary& summary) {
    if (run.options.json) {
        // Each element as it comes: a list of any length takes no memory.
        run.console.lines(
            run.console.streams.out,
            (run.listed++ == 0 ? "{\"inputs\": [\n  " : ",\n  ") + summary_json(summary));
    } else {
        run.console.print(run.console.streams.out, summary_table(summary, run.console.newline));
    }
}

// ---- Reading inputs ----

// Takes one opened input: recognises it, then converts or lists what it
// holds. `walked`: found in a folder, rather than named.
void take_input(Run& run, std::FILE* file, const Source& source, const Destination& where,
                bool walked) {
    ByteReader reader(file);
    InputKind kind = recognise_input(reader.look(kRecognisedBytes));
    const auto read_failed = [&]() {
        run.error(source.shown, "reading failed: " + system_reason(errno), KorvexStatus::Trouble);
        if (run.options.verb->verb == Verb::List) {
            list_summary(run, {source.shown, SummaryKind::Error, "reading failed", {}, {}, {}});
        }
    };
    if (reader.failed()) {
        read_failed();
        return;
    }
    const bool listing = run.options.verb->verb == Verb::List;
    if (holds_alasm(kind)) {
        if (listing) {
            InputSummary summary{
                source.shown,
                kind == InputKind::BareAlasm ? SummaryKind::Alasm : SummaryKind::Hobeta,
                {},
                summarise_alasm(reader, kind, source.name + std::string(kTextSuffix)),
                {},
                {}};
            if (reader.failed()) {
                read_failed();
            } else {
                list_summary(run, summary);
            }
            return;
        }
        Destination resolved = where;
        if (where.target == Target::Undecided) {
            resolved.target = Target::File;
        }
        convert_alasm(run, reader, kind, source, resolved);
        return;
    }
    DiskImage image;
    if (is_disk_image(kind)) {
        const std::vector<unsigned char> bytes = read_whole(reader);
        if (reader.failed()) {
            read_failed();
            return;
        }
        image = read_disk_image(bytes);
        if (image.problem == ImageProblem::NotAnImage) {
            kind = InputKind::None;  // larger than any image
        }
    }
    if (!is_disk_image(kind)) {
        if (listing) {
            list_summary(run, {source.shown, SummaryKind::None, {}, {}, {}, {}});
        } else if (walked) {
            ++run.skipped;
            run.console.say(Severity::Progress, source.shown,
                            "skipped: neither ALASM data nor a disk image");
        } else {
            run.error(source.shown, "holds no ALASM data and no disk image",
                      KorvexStatus::NotAllConverted);
        }
        return;
    }
    if (listing) {
        list_summary(run, summarise_image(source.shown, kind, image, output_names(image)));
        return;
    }
    convert_image(run, source, image, where);
}

void take_path(Run& run, const fs::path& path, const Source& source, const Destination& where,
               bool walked);

// Takes the files of a folder in sorted order, and its folders in turn.
void walk(Run& run, const fs::path& folder, const Source& source, const Destination& where) {
    ClaimedNames claims;
    const auto into = folder_for(run, source, where, claims, "a folder");
    if (!into) {
        return;
    }
    std::error_code error;
    if (run.output_root && fs::equivalent(folder, *run.output_root, error)) {
        run.error(source.shown, "it is the folder written into; name another with -o",
                  KorvexStatus::Trouble);
        return;
    }
    std::vector<std::pair<std::string, fs::path>> found;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        found.emplace_back(shown_path(it->path().filename()), it->path());
    }
    if (error) {
        run.error(source.shown, "cannot read the folder: " + reason(error), KorvexStatus::Trouble);
        return;
    }
    std::sort(found.begin(), found.end());
    // The sources of one folder include each other.
    const Project outer = run.project;
    if (translating(run) && run.options.verb->verb == Verb::Text) {
        run.project = project_of_files(run, found);
    }
    for (const auto& [name, path] : found) {
        const Source child{source.shown + (source.shown.ends_with('/') ? "" : "/") + name, name};
        const fs::file_status link = fs::symlink_status(path, error);
        const fs::file_status status = fs::status(path, error);
        if (fs::is_directory(status)) {
            if (fs::is_symlink(link)) {
                run.console.say(Severity::Progress, child.shown, "skipped: a link to a folder");
            } else if (!(run.output_root && fs::equivalent(path, *run.output_root, error))) {
                walk(run, path, child, *into);
            }
        } else if (fs::is_regular_file(status)) {
            take_path(run, path, child, *into, true);
        } else {
            ++run.skipped;
            run.console.say(Severity::Progress, child.shown, "skipped: not a file");
        }
    }
    run.project = outer;
}

void take_path(Run& run, const fs::path& path, const Source& source, const Destination& where,
               bool walked) {
    std::error_code error;
    if (fs::is_directory(path, error)) {
        walk(run, path, source, where);
        return;
    }
    errno = 0;
    const File file(open_file(path, "rb"));
    if (!file) {
        const std::string why = system_reason(errno != 0 ? errno : ENOENT);
        run.error(source.shown, why, KorvexStatus::Trouble);
        if (run.options.verb->verb == Verb::List) {
            list_summary(run, {source.shown, SummaryKind::Error, why, {}, {}, {}});
        }
        return;
    }
    take_input(run, file.get(), source, where, walked);
}

// Where the inputs' text goes, from -o and the inputs; none (having said
// why) when the command cannot be carried out.
std::optional<Destination> destination(Run& run, ClaimedNames& claims) {
    const Options& options = run.options;
    const bool several = options.inputs.size() > 1;
    if (!options.output || *options.output == kStandardStream) {
        if (options.verb->verb == Verb::List) {
            return Destination{
                Target::Folder, {}, &claims, true};  // names only: nothing is written
        }
        if (several) {
            run.error("", "several inputs: name a folder to write their files into with -o DIR",
                      KorvexStatus::Trouble);
            return std::nullopt;
        }
        return Destination{Target::Stdout, {}, nullptr, false};
    }
    const std::string& output = *options.output;
    const Place place{file_path(output.c_str()), output};
    std::error_code error;
    const fs::file_status status = fs::status(place.path, error);
    const bool is_folder =
        fs::is_directory(status) || output.ends_with('/') || output.ends_with('\\');
    if (several && !is_folder && fs::exists(status)) {
        run.error("", output + " is no folder, and several inputs need one", KorvexStatus::Trouble);
        return std::nullopt;
    }
    run.output_root = place.path;
    if (several || is_folder) {
        return Destination{Target::Folder, place, &claims, !several};
    }
    return Destination{Target::Undecided, place, &claims, true};
}

void run_inputs(Run& run) {
    ClaimedNames claims;
    const auto where = destination(run, claims);
    if (!where) {
        return;
    }
    if (translating(run)) {
        if (run.options.text.charset) {
            run.console.say(Severity::Warning, "",
                            "with --charset, strings are written in UTF-8: they no longer "
                            "assemble to the bytes ALASM made of them");
        }
        // The files named on the command line, written into one folder,
        // include each other.
        std::vector<std::pair<std::string, fs::path>> files;
        for (const std::string& input : run.options.inputs) {
            if (input != kStandardStream) {
                const fs::path path = file_path(input.c_str());
                files.emplace_back(shown_path(path.filename()), path);
            }
        }
        run.project = project_of_files(run, files);
    }
    for (const std::string& input : run.options.inputs) {
        if (input == kStandardStream) {
            take_input(run, run.console.streams.in,
                       {std::string(kStdinShown), std::string(kStdinName)}, *where, false);
            continue;
        }
        const fs::path path = file_path(input.c_str());
        take_path(run, path, {input, shown_path(path.filename())}, *where, false);
        if (run.skipped > 0) {
            run.console.say(Severity::Note, input,
                            std::to_string(run.skipped) + (run.skipped == 1 ? " file" : " files") +
                                " skipped: neither ALASM data nor a disk image");
            run.skipped = 0;
        }
    }
    if (run.options.json) {
        run.console.lines(run.console.streams.out,
                          run.listed == 0 ? "{\"inputs\": []}\n" : "\n]}\n");
    }
}

// ---- Packing ----

// One text, packed: its file, and what to say of it.
struct PackedSource {
    TrdosFile file;
    std::string shown;
    std::size_t lines = 0;
    std::size_t rewritten = 0;
};

// Where a pack error stands: "TEXT:LINE:COLUMN", or less where it has none.
std::string pack_place(const Source& source, std::size_t line, std::size_t column) {
    std::string place = source.shown;
    if (line != 0) {
        place += ":" + std::to_string(line);
        if (column != 0) {
            place += ":" + std::to_string(column);
        }
    }
    return place;
}

// Why a character of a line cannot be stored in `page`.
std::string unstorable(std::string_view line, std::size_t at, CodePage page) {
    const Utf8Character found = decode_utf8(line, at);
    if (found.size == 0) {
        return "the bytes here are no UTF-8";
    }
    std::array<char, 16> code{};
    std::snprintf(code.data(), code.size(), "U+%04X", static_cast<unsigned>(found.character));
    return "'" + std::string(line.substr(at, found.size)) + "' (" + code.data() +
           ") has no byte in " + std::string(code_page_name(page));
}

// The TR-DOS name of a text: --name's, or its file's; none (having said
// why) where TR-DOS cannot take it.
std::optional<std::string> pack_name(Run& run, const Source& source) {
    std::optional<std::string> name;
    if (run.options.name) {
        Encoded bytes = encode_in(CodePage::Cp866, *run.options.name);
        if (!bytes.failed_at) {
            name = std::move(bytes.bytes);
        }
    } else {
        name = trdos_name_of(source.name);
    }
    const std::string given = run.options.name ? *run.options.name : source.name;
    if (!name) {
        run.error(source.shown,
                  "the name " + given + " holds a character TR-DOS names cannot (they are CP866)",
                  KorvexStatus::NotAllConverted);
        return std::nullopt;
    }
    if (const NameProblem problem = check_trdos_name(*name); problem != NameProblem::None) {
        run.error(source.shown,
                  name_problem_text(problem) + " (from " + given + "); give one with --name",
                  KorvexStatus::NotAllConverted);
        return std::nullopt;
    }
    return name;
}

// Packs one text, a line at a time; none (having said why) where it cannot.
std::optional<PackedSource> pack_source(Run& run, std::FILE* file, const Source& source) {
    const auto name = pack_name(run, source);
    if (!name) {
        return std::nullopt;
    }
    ByteReader input(file);
    TextLineReader lines(input);
    AlasmPacker packer(*name);
    const std::optional<CodePage> page = run.options.text.charset;
    std::string stored;
    std::optional<PackError> error;
    while (const auto line = lines.next()) {
        std::string_view text = line->text;
        if (page && line->whole) {
            Encoded encoded = encode_in(*page, line->text);
            if (encoded.failed_at) {
                const std::size_t column = position_of(line->text, *encoded.failed_at).column;
                run.error(pack_place(source, packer.lines() + 1, column),
                          unstorable(line->text, *encoded.failed_at, *page),
                          KorvexStatus::NotAllConverted);
                return std::nullopt;
            }
            stored = std::move(encoded.bytes);
            text = stored;
        }
        if ((error = packer.add_line(text, line->whole))) {
            break;
        }
    }
    if (input.failed()) {
        run.error(source.shown, "reading failed: " + system_reason(errno), KorvexStatus::Trouble);
        return std::nullopt;
    }
    if (error || (error = packer.finish())) {
        run.error(pack_place(source, error->line, error->column), pack_problem_text(*error),
                  KorvexStatus::NotAllConverted);
        return std::nullopt;
    }
    return PackedSource{{*name, kAlasmType, 0, packer.data()},
                        source.shown,
                        packer.lines(),
                        packer.rewritten_lines()};
}

// The label of a new disk: its file's name less .trd, in CP866 where it can
// be, cut to TR-DOS's 8 bytes.
std::string disk_label(const Place& output) {
    const std::string stem = shown_path(output.path.stem());
    std::string label;
    for (std::size_t at = 0; at < stem.size() && label.size() < kDiskLabelSize;) {
        const Utf8Character next = decode_utf8(stem, at);
        const auto byte = next.size == 0 ? std::nullopt : byte_of(CodePage::Cp866, next.character);
        label += byte && *byte >= ' ' ? static_cast<char>(*byte) : '_';
        at += std::max<std::size_t>(next.size, 1);
    }
    return label;
}

// The container's bytes; a file that cannot go in is said and left out.
std::string contain(Run& run, Container container, const Place& output,
                    std::vector<PackedSource>& packed) {
    for (;;) {
        std::vector<TrdosFile> files;
        files.reserve(packed.size());
        for (const PackedSource& source : packed) {
            files.push_back(source.file);
        }
        WrittenImage written;
        switch (container) {
            case Container::Bare: written.bytes = files.front().data; break;
            case Container::Hobeta: written = write_hobeta_file(files.front()); break;
            case Container::Trd: written = write_trd_image(files, disk_label(output)); break;
            case Container::Scl: written = write_scl_archive(files); break;
        }
        if (written.problem == WriteProblem::None) {
            return written.bytes;
        }
        run.error(packed[written.file].shown,
                  write_problem_text(written.problem, files[written.file]),
                  KorvexStatus::NotAllConverted);
        packed.erase(packed.begin() + static_cast<std::ptrdiff_t>(written.file));
        if (packed.empty()) {
            return {};
        }
    }
}

// Writes `bytes` to the file `output` whole, or not at all; false (having
// said why) when it could not.
bool write_whole(Run& run, const Place& output, std::string_view bytes) {
    const std::string exists = output.shown + " exists; --force writes over it";
    std::error_code error;
    if (!run.options.force && fs::exists(fs::symlink_status(output.path, error))) {
        run.error("", exists, KorvexStatus::Trouble);
        return false;
    }
    OutputFile file = OutputFile::open(output.path, error);
    if (!file.is_open()) {
        run.error("", "cannot write " + output.shown + ": " + reason(error), KorvexStatus::Trouble);
        return false;
    }
    errno = 0;
    if (std::fwrite(bytes.data(), 1, bytes.size(), file.stream()) != bytes.size()) {
        run.error("", "cannot write " + output.shown + ": " + system_reason(errno),
                  KorvexStatus::Trouble);
        return false;
    }
    if (const std::error_code failed = file.commit(run.options.force)) {
        run.error("",
                  failed == std::errc::file_exists
                      ? exists
                      : "cannot write " + output.shown + ": " + reason(failed),
                  KorvexStatus::Trouble);
        return false;
    }
    return true;
}

// `korvex pack`: each text stored as ALASM data, all of it written at once.
void run_pack(Run& run) {
    const Place output{file_path(run.options.output->c_str()), *run.options.output};
    const Container container = command_line::container_named(*run.options.output);
    std::vector<PackedSource> packed;
    for (const std::string& input : run.options.inputs) {
        std::optional<PackedSource> source;
        if (input == kStandardStream) {
            source = pack_source(run, run.console.streams.in,
                                 {std::string(kStdinShown), std::string(kStdinName)});
        } else {
            const fs::path path = file_path(input.c_str());
            std::error_code error;
            errno = 0;
            const File file(fs::is_directory(path, error) ? nullptr : open_file(path, "rb"));
            if (!file) {
                run.error(input,
                          fs::is_directory(path, error)
                              ? "is a folder: name its texts"
                              : system_reason(errno != 0 ? errno : ENOENT),
                          KorvexStatus::Trouble);
                continue;
            }
            source = pack_source(run, file.get(), {input, shown_path(path.filename())});
        }
        if (source) {
            packed.push_back(std::move(*source));
        }
    }
    if (packed.empty()) {
        return;
    }
    const std::string bytes = contain(run, container, output, packed);
    if (packed.empty()) {
        return;
    }
    if (!write_whole(run, output, bytes)) {
        return;
    }
    for (const PackedSource& source : packed) {
        std::string said = "packed " + std::to_string(source.lines) +
                           (source.lines == 1 ? " line" : " lines") + " into " + output.shown +
                           " as " + safe_name(source.file.name) + "." + kAlasmType;
        if (source.rewritten > 0) {
            said += "; " + std::to_string(source.rewritten) +
                    " of them will read back in korve's layout";
        }
        run.console.say(Severity::Progress, source.shown, said);
    }
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
        case Request::Kind::Version:
            console.line(streams.out, command_line::version_line());
            break;
        case Request::Kind::Run: {
            const std::vector<std::string>& inputs = request.options.inputs;
            if (streams.in == nullptr &&
                std::find(inputs.begin(), inputs.end(), kStandardStream) != inputs.end()) {
                console.say(Severity::Error, "", "there is no standard input to read here");
                return KorvexStatus::Trouble;
            }
            Run run(console, request.options);
            if (request.options.verb->verb == Verb::Pack) {
                run_pack(run);
            } else {
                run_inputs(run);
            }
            if (run.stdout_failed) {
                return run.status;
            }
            status = run.status;
            break;
        }
    }
    errno = 0;
    if (std::fflush(streams.out) != 0 || std::ferror(streams.out) != 0) {
        const int error_number = errno;
        console.say(Severity::Error, "",
                    "cannot write " + std::string(kStdoutShown) + ": " +
                        system_reason(error_number != 0 ? error_number : EIO));
        return KorvexStatus::Trouble;
    }
    return status;
}

}  // namespace korve
