#include "inputs/loader.h"

#include <algorithm>
#include <span>
#include <utility>

#include "base/byte_reader.h"

namespace korve {

Status LoadedInput::status() const {
    Status worst = Status::Converted;
    for (const Problem& problem : problems) {
        worst = worse(worst, problem.status);
    }
    return worst;
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
    if (is_disk_image(loaded.kind)) {
        loaded.image = read_disk_image(loaded.bytes);
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

LoadedInput load_input(const InputNode& node, std::FILE* stdin_stream, bool walked, AlasmData alasm) {
    const Where where{node.source.shown, {}, 0, 0};
    OpenedInput opened = open_input(node, stdin_stream);
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
