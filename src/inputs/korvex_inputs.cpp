#include "inputs/korvex_inputs.h"

#include <algorithm>
#include <utility>

#include "files/output.h"

namespace korve {
namespace {

namespace fs = std::filesystem;

bool is_written_into(const fs::path& folder, const std::optional<fs::path>& written_into) {
    std::error_code error;
    return written_into && fs::equivalent(folder, *written_into, error);
}

std::string child_shown(const Source& folder, const std::string& name) {
    return folder.shown + (folder.shown.ends_with('/') ? "" : "/") + name;
}

// A folder's node, with what it holds, its folders walked in turn.
InputNode folder_node(Source source, const fs::path& path,
                      const std::optional<fs::path>& written_into) {
    InputNode folder{InputNode::What::Folder, std::move(source), path, {}, {}};
    if (is_written_into(path, written_into)) {
        folder.what = InputNode::What::WrittenInto;
        return folder;
    }
    std::vector<std::pair<std::string, fs::path>> found;
    std::error_code error;
    for (fs::directory_iterator it(path, error), end; !error && it != end; it.increment(error)) {
        found.emplace_back(shown_path(it->path().filename()), it->path());
    }
    if (error) {
        folder.unlisted = error;
        return folder;
    }
    std::sort(found.begin(), found.end());
    for (auto& [name, child_path] : found) {
        Source child{child_shown(folder.source, name), name, child_path};
        const fs::file_status link = fs::symlink_status(child_path, error);
        const fs::file_status status = fs::status(child_path, error);
        if (fs::is_directory(status)) {
            if (fs::is_symlink(link)) {
                folder.children.push_back({InputNode::What::LinkToFolder, std::move(child),
                                           child_path, {}, {}});
            } else if (is_written_into(child_path, written_into)) {
                folder.children.push_back({InputNode::What::WrittenInto, std::move(child),
                                           child_path, {}, {}});
            } else {
                folder.children.push_back(folder_node(std::move(child), child_path, written_into));
            }
        } else if (fs::is_regular_file(status)) {
            folder.children.push_back({InputNode::What::File, std::move(child), child_path, {}, {}});
        } else {
            folder.children.push_back({InputNode::What::NotAFile, std::move(child), child_path,
                                       {}, {}});
        }
    }
    return folder;
}

}  // namespace

std::vector<InputNode> input_tree(const std::vector<std::string>& inputs,
                                  const std::optional<fs::path>& written_into) {
    std::vector<InputNode> tree;
    for (const std::string& input : inputs) {
        if (input == kStandardStream) {
            tree.push_back({InputNode::What::Stdin,
                            {std::string(kStdinShown), std::string(kStdinName)},
                            {},
                            {},
                            {}});
            continue;
        }
        const fs::path path = file_path(input.c_str());
        Source source{input, shown_path(path.filename()), path};
        std::error_code error;
        if (fs::is_directory(path, error)) {
            tree.push_back(folder_node(std::move(source), path, written_into));
        } else {
            tree.push_back({InputNode::What::File, std::move(source), path, {}, {}});
        }
    }
    return tree;
}

OpenedInput open_input(const InputNode& node, std::FILE* stdin_stream) {
    OpenedInput opened;
    std::FILE* stream = stdin_stream;
    if (node.what != InputNode::What::Stdin) {
        OpenedFile file = open_for_reading(node.path);
        if (!file.file) {
            opened.error = file.error;
            return opened;
        }
        opened.file = std::move(file.file);
        stream = opened.file.get();
    }
    opened.reader = std::make_unique<ByteReader>(stream);
    opened.kind = recognise_input(opened.reader->look(kRecognisedBytes));
    opened.error = opened.reader->error();
    return opened;
}

std::vector<unsigned char> read_image_bytes(ByteReader& reader) {
    std::vector<unsigned char> bytes;
    while (bytes.size() <= kLargestImage && !reader.at_end()) {
        const auto block = reader.take(kLongestLook);
        bytes.insert(bytes.end(), block.begin(), block.end());
    }
    return bytes;
}

}  // namespace korve
