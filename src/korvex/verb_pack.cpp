#include "korvex/verb_pack.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "base/code_page.h"
#include "base/little_endian.h"
#include "files/output.h"
#include "files/output_names.h"
#include "formats/container.h"
#include "formats/fdi_image.h"
#include "formats/trdos_image.h"
#include "formats/udi_image.h"
#include "inputs/korvex_inputs.h"
#include "inputs/source_text.h"
#include "inputs/stored_file.h"

namespace korve {
namespace {

namespace fs = std::filesystem;

// One text, packed, or a file stored as it is: its file, and what to say
// of it.
struct PackedSource {
    TrdosFile file;
    std::string shown;
    std::size_t lines = 0;
    std::size_t rewritten = 0;
    bool stored = false;  // a file stored as it is: no lines
};

// A text packed, or the status its failure (said) gives the run.
using Packed = std::variant<PackedSource, KorvexStatus>;

// Packs one text, a line at a time.
Packed pack_source(const KorvexRun& run, ByteReader& input, const Source& source) {
    const auto name = text_trdos_name(run.options.name, source);
    if (const auto* failed = std::get_if<Problem>(&name)) {
        return say_problem(run.console, *failed);
    }
    const auto packed = pack_source_text(input, source, std::get<std::string>(name), run.options.text.charset);
    if (const auto* failed = std::get_if<Problem>(&packed)) {
        return say_problem(run.console, *failed);
    }
    const PackedSourceText& text = std::get<PackedSourceText>(packed);
    if (text.raw.count > 0) {
        run.console.say(Severity::Warning, pack_place(source, text.raw.first, 0), raw_lines_text(text.raw));
    }
    return PackedSource{text.file, source.shown, text.lines, text.rewritten};
}

// Packs a text, or stores a Hobeta file or one --name gives a type other
// than H as it is.
Packed pack_or_store(const KorvexRun& run, ByteReader& input, const Source& source) {
    auto read = read_file_input(input, source, run.options.name, run.options.start);
    if (const auto* failed = std::get_if<Problem>(&read)) {
        return say_problem(run.console, *failed);
    }
    auto* file = std::get_if<std::optional<StoredFile>>(&read);
    if (!file->has_value()) {
        return pack_source(run, input, source);
    }
    StoredFile& stored = **file;
    if (auto why = new_file_start(stored)) {
        return run.console.error(source.shown, *why, KorvexStatus::Trouble);
    }
    return PackedSource{std::move(stored.file), source.shown, 0, 0, true};
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

// The container's bytes, or the status of why a file cannot go in (said).
std::variant<std::string, KorvexStatus> contain(const KorvexRun& run, InputKind container,
                                                const Place& output,
                                                const std::vector<PackedSource>& packed) {
    std::vector<TrdosFile> files;
    files.reserve(packed.size());
    for (const PackedSource& source : packed) {
        files.push_back(source.file);
    }
    WrittenImage written;
    switch (container) {
        case InputKind::HobetaAlasm: written = write_hobeta_file(files.front()); break;
        case InputKind::TrdosImage: written = write_trd_image(files, disk_label(output)); break;
        case InputKind::SclArchive: written = write_scl_archive(files); break;
        case InputKind::FdiImage:
            written = write_trd_image(files, disk_label(output));
            if (written.problem == WriteProblem::None) {
                written.bytes = new_fdi_image(byte_span(written.bytes));
            }
            break;
        case InputKind::UdiImage:
            written = write_trd_image(files, disk_label(output));
            if (written.problem == WriteProblem::None) {
                written.bytes = new_udi_image(byte_span(written.bytes));
            }
            break;
        case InputKind::Td0Image:  // refused as a usage error
            return run.console.error(output.shown, "pack does not write Teledisk images", KorvexStatus::Trouble);
        case InputKind::None:
        case InputKind::AlasmText:  // no name calls for it
        case InputKind::BareAlasm: written.bytes = files.front().data; break;
    }
    if (written.problem != WriteProblem::None) {
        return run.console.error(packed[written.file].shown,
                                 write_problem_text(written.problem, files[written.file]),
                                 KorvexStatus::NotAllConverted);
    }
    return std::move(written.bytes);
}

// Packs the text of one input: standard input or a file.
Packed pack_input(const KorvexRun& run, const std::string& input) {
    if (input == kStandardStream) {
        ByteReader reader(run.console.streams.in);
        return pack_or_store(run, reader, {std::string(kStdinShown), std::string(kStdinName)});
    }
    const fs::path path = file_path(input.c_str());
    std::error_code error;
    if (fs::is_directory(path, error)) {
        return run.console.error(input, "is a folder: name its texts", KorvexStatus::Trouble);
    }
    const OpenedFile opened = open_for_reading(path);
    if (!opened.file) {
        return run.console.error(input, reason(opened.error), KorvexStatus::Trouble);
    }
    ByteReader reader(opened.file.get());
    return pack_or_store(run, reader, {input, shown_path(path.filename())});
}

}  // namespace

KorvexStatus run_pack(const KorvexRun& run) {
    const Place output = place_named(*run.options.output);
    const InputKind container = container_named(*run.options.output);
    KorvexStatus status = KorvexStatus::Converted;
    std::vector<PackedSource> packed;
    for (const std::string& input : run.options.inputs) {
        Packed source = pack_input(run, input);
        if (auto* done = std::get_if<PackedSource>(&source)) {
            packed.push_back(std::move(*done));
        } else {
            status = worse(status, std::get<KorvexStatus>(source));
        }
    }
    const std::size_t texts = run.options.inputs.size();
    std::variant<std::string, KorvexStatus> bytes = status;
    if (packed.size() == texts) {
        bytes = contain(run, container, output, packed);
    }
    // A disk or an archive holds all its texts, or is not written.
    if (const auto* failed = std::get_if<KorvexStatus>(&bytes)) {
        status = worse(status, *failed);
        if (texts > 1) {
            const std::size_t lost = texts - packed.size() + (packed.size() == texts ? 1 : 0);
            run.console.error(output.shown,
                              "not written: " + std::to_string(lost) + " of its " +
                                  std::to_string(texts) + " texts cannot go in",
                              status);
        }
        return status;
    }
    if (const auto failure = write_whole(output, std::get<std::string>(bytes), write_policy(run))) {
        return run.console.error("", failure_text(*failure), KorvexStatus::Trouble);
    }
    for (const PackedSource& source : packed) {
        if (source.stored) {
            const std::size_t length = catalogue_length(source.file);
            run.console.say(Severity::Progress, source.shown,
                            "stored " + std::to_string(length) + (length == 1 ? " byte" : " bytes") + " into " +
                                output.shown + " as " + shown_name(source.file.name));
            continue;
        }
        std::string said = "packed " + std::to_string(source.lines) +
                           (source.lines == 1 ? " line" : " lines") + " into " + output.shown +
                           " as " + shown_name(source.file.name);
        if (source.rewritten > 0) {
            said += source.lines == 1 ? "; it will read back in korve's layout"
                                      : "; " + std::to_string(source.rewritten) +
                                            " of them will read back in korve's layout";
        }
        run.console.say(Severity::Progress, source.shown, said);
    }
    return status;
}

}  // namespace korve
