#include "inputs/loader.h"

#include <algorithm>
#include <span>
#include <utility>

#include "base/byte_reader.h"
#include "files/output_names.h"
#include "formats/floppy_disk.h"
#include "inputs/source_text.h"

namespace korve {

Status LoadedInput::status() const {
    Status worst = Status::Converted;
    for (const Problem& problem : problems) {
        worst = worse(worst, problem.status);
    }
    return worst;
}

std::span<const unsigned char> file_bytes(InputKind kind, std::span<const unsigned char> bytes,
                                          std::span<const unsigned char> own) {
    return kind_row(kind).read_floppy != nullptr ? own : bytes;
}

std::span<const unsigned char> LoadedInput::file() const { return file_bytes(kind, bytes, own); }

namespace {

// What a floppy image's catalogue sectors cost: its files' names, or the
// disk itself where the floppy holds no TR-DOS disk.
std::optional<Problem> catalogue_problem(const LoadedInput& loaded, const TrdosFloppy& disk, const Where& where) {
    constexpr std::size_t kInformationSector = kDiskInformation / kSectorSize;
    if (const auto damaged = damaged_catalogue_sector(loaded.image, disk)) {
        return Problem{Severity::Error, where,
                       "its catalogue is damaged: " + damaged_sector_text(disk, *damaged) +
                           ": the files listed there are lost",
                       Status::NotAllConverted};
    }
    if (disk.sectors.size() <= kInformationSector || disk.sectors[kInformationSector].state != SectorState::Read) {
        return Problem{Severity::Warning, where,
                       "its disk-information sector is damaged: " + damaged_sector_text(disk, kInformationSector),
                       Status::Converted};
    }
    if (disk.trd[kTrdosMarkOffset] != static_cast<char>(kTrdosMark)) {
        return Problem{Severity::Error, where, "holds no TR-DOS disk: its disk-information sector lacks TR-DOS's mark",
                       Status::NotAllConverted};
    }
    return std::nullopt;
}

// A floppy image read into the .trd it carries, its own bytes kept, and
// what its damage costs; an image its reader does not take is neither kind.
void read_floppy(LoadedInput& loaded, const Where& where) {
    std::optional<FloppyDisk> found = read_floppy_disk(loaded.kind, loaded.bytes);
    if (!found) {
        return;
    }
    if (found->floppy.problem == FloppyProblem::NotAnImage) {
        loaded.kind = InputKind::None;
        return;
    }
    loaded.floppy = found->floppy.problem;
    loaded.own = std::move(loaded.bytes);
    loaded.bytes.assign(found->disk.trd.begin(), found->disk.trd.end());
    loaded.image = read_disk_image(loaded.kind, loaded.bytes);
    mark_damaged_files(loaded.image, found->disk);
    if (std::optional<Problem> problem = catalogue_problem(loaded, found->disk, where)) {
        loaded.problems.push_back(std::move(*problem));
    }
    if (loaded.floppy != FloppyProblem::None) {
        loaded.problems.push_back(
            {Severity::Warning, where, std::string(floppy_problem_text(loaded.floppy)), Status::Converted});
    }
    loaded.floppy_problems = loaded.problems.size();
}

// Whether an input is read as ALASM text: by its name, or as --alasm-text
// says of what the command line names.
bool read_as_text(const InputNode& node, const TextInputs& texts) {
    if (!texts.read || node.what == InputNode::What::Folder) {
        return false;
    }
    return (texts.any_name && texts.named) || (node.what == InputNode::What::File && text_stem(node.source.name));
}

// The name a text's data is packed under: its file's, as pack takes it;
// where TR-DOS cannot take that (longer than 8 bytes, a character CP866
// lacks), as much of it as it can, for only the data's header holds it.
std::string packed_name(const Source& source) {
    auto named = text_trdos_name(std::nullopt, source);
    if (auto* name = std::get_if<std::string>(&named)) {
        return std::move(*name);
    }
    std::string cut = trdos_name_of(source.name).value_or("");
    std::erase_if(cut, [](char c) { return static_cast<unsigned char>(c) < 0x20; });
    cut.resize(std::min(cut.size(), kTrdosNameSize));
    return check_trdos_name(cut) == NameProblem::None ? cut : std::string("TEXT");
}

// Whether an input named as a text holds ALASM data after all (pack -o
// GAME.asm writes bare data): its bytes carry the data's mark, and its
// header a byte that no text holds, a control byte other than a tab or a
// line end, which pack would refuse.
bool holds_alasm_data(OpenedInput& opened) {
    if (!holds_alasm(opened.kind)) {
        return false;
    }
    const auto header = opened.reader->look(kAlasmRecognisedBytes);
    return std::any_of(header.begin(), header.end(),
                       [](unsigned char c) { return c < 0x20 && c != '\t' && c != '\n' && c != '\r'; });
}

// Reads a file of ALASM text, packed as pack packs it, or says why not.
LoadedInput load_text(const InputNode& node, OpenedInput opened, const TextInputs& texts) {
    LoadedInput loaded;
    loaded.opened = true;
    loaded.text_name = text_stem(node.source.name).value_or(node.source.name);
    auto packed = pack_source_text(*opened.reader, node.source, packed_name(node.source), texts.charset,
                                   texts.named ? Translated::Refused : Translated::Skipped);
    if (auto* failed = std::get_if<Problem>(&packed)) {
        loaded.kind = failed->severity == Severity::Note ? InputKind::None : InputKind::AlasmText;
        loaded.error = opened.reader->error();
        loaded.problems.push_back(std::move(*failed));
        return loaded;
    }
    const std::string& data = std::get<PackedSourceText>(packed).file.data;
    loaded.kind = InputKind::AlasmText;
    loaded.read = true;
    loaded.bytes.assign(data.begin(), data.end());
    return loaded;
}

}  // namespace

Source loaded_source(const InputNode& node, const LoadedInput& loaded) {
    return loaded.text_name ? Source{node.source.shown, *loaded.text_name, node.source.path} : node.source;
}

InputNode named_input(const std::string& input) {
    if (input == kStandardStream) {
        return {InputNode::What::Stdin, {std::string(kStdinShown), std::string(kStdinName)}, {}, {}, {}};
    }
    const std::filesystem::path path = file_path(input.c_str());
    return {InputNode::What::File, {input, shown_path(path.filename()), path}, path, {}, {}};
}

LoadedInput grade_input(std::string_view shown, std::vector<unsigned char> bytes, bool walked) {
    LoadedInput loaded;
    loaded.opened = true;
    const Where where{std::string(shown), {}, 0, 0};
    if (bytes.size() > kLargestImage) {
        if (!walked) {
            loaded.problems.push_back(
                {Severity::Error, where, std::string(kNeitherKind), Status::NotAllConverted});
        }
        return loaded;
    }
    loaded.read = true;
    loaded.kind = recognise_input(std::span(bytes).first(std::min(bytes.size(), kRecognisedBytes)));
    loaded.bytes = std::move(bytes);
    const bool floppy = kind_row(loaded.kind).read_floppy != nullptr;
    if (floppy) {
        read_floppy(loaded, where);
    }
    if (is_disk_image(loaded.kind)) {
        if (!floppy) {
            loaded.image = read_disk_image(loaded.kind, loaded.bytes);
        }
        const DiskImage& image = loaded.image;
        if (image.problem == ImageProblem::NotAnImage) {
            loaded.kind = InputKind::None;
        } else if (loses_unnamed_files(image)) {
            loaded.problems.push_back(
                {Severity::Error, where, image_problem_text(image), Status::NotAllConverted});
        } else if (image.problem != ImageProblem::None) {
            loaded.problems.push_back(
                {Severity::Warning, where, image_problem_text(image), Status::Converted});
        }
    }
    return loaded;
}

LoadedInput load_input(const InputNode& node, std::FILE* stdin_stream, bool walked, AlasmData alasm,
                       const TextInputs& texts) {
    const Where where{node.source.shown, {}, 0, 0};
    OpenedInput opened = open_input(node, stdin_stream);
    if (!opened.error && read_as_text(node, texts) && !holds_alasm_data(opened)) {
        return load_text(node, std::move(opened), texts);
    }
    LoadedInput loaded;
    if (!opened.error && alasm == AlasmData::LeftOpen && holds_alasm(opened.kind)) {
        loaded.kind = opened.kind;
        loaded.opened = true;
        loaded.alasm = std::move(opened);
        return loaded;
    }
    if (!opened.error) {
        std::vector<unsigned char> bytes = read_image_bytes(*opened.reader);
        opened.error = opened.reader->error();
        if (!opened.error) {
            return grade_input(node.source.shown, std::move(bytes), walked);
        }
    }
    loaded.opened = opened.reader != nullptr;
    loaded.error = opened.error;
    const std::string why = reason(opened.error);
    loaded.problems.push_back({Severity::Error, where,
                               loaded.opened ? "reading failed: " + why : why, Status::Trouble});
    return loaded;
}

}  // namespace korve
