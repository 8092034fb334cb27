// korvex's inputs: the paths it is given, folders walked in sorted order,
// and standard input; each file opened and told apart by its content.
//
// The inputs are listed first, as a tree of values: a file, standard input,
// a folder with what it holds, or what is skipped in a folder (a link to a
// folder, anything that is not a file or a folder, the folder written
// into). The verbs then read each file as they come to it.
#pragma once

#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "base/byte_reader.h"
#include "base/file.h"
#include "files/output.h"
#include "formats/container.h"
#include "formats/trdos_image.h"

namespace korve {

// The input (and the output) that stands for standard input (and output).
inline constexpr std::string_view kStandardStream = "-";
inline constexpr std::string_view kStdinShown = "<stdin>";
inline constexpr std::string_view kStdinName = "stdin";  // its outputs' name

// An input as it is read: how messages name it, the name its outputs take,
// and the file it is, where it is one.
struct Source {
    std::string shown;
    std::string name;
    std::filesystem::path path{};
};

struct InputNode {
    enum class What : unsigned char {
        File,          // a file named, or a regular file found in a folder
        Stdin,         // "-"
        Folder,        // its `children`, sorted by name
        LinkToFolder,  // found in a folder: skipped
        NotAFile,      // found in a folder: neither a file nor a folder
        WrittenInto,   // a folder found in a folder, that is the output folder
    };
    What what = What::File;
    Source source;
    std::filesystem::path path;
    std::vector<InputNode> children;
    std::error_code unlisted;  // a folder that could not be read, and why
};

// The inputs of a command line as a tree; `written_into` is the folder
// written into, if any, which a walk does not enter.
std::vector<InputNode> input_tree(const std::vector<std::string>& inputs,
                                  const std::optional<std::filesystem::path>& written_into);

// A file or standard input, opened and recognised.
struct OpenedInput {
    File file;  // none for standard input
    std::unique_ptr<ByteReader> reader;
    InputKind kind = InputKind::None;
    std::error_code error;  // it could not be opened or read
};

// Opens a file node, or takes standard input, and recognises it.
OpenedInput open_input(const InputNode& node, std::FILE* stdin_stream);

// Reads the rest of an image whole: at most one more byte than any image
// holds, so that larger bytes are known to be none.
std::vector<unsigned char> read_image_bytes(ByteReader& reader);

}  // namespace korve
