// Every file korvex writes goes through here: where it goes, whether it may
// be written, and how it is written whole.
//
// A file is written to a temporary file beside its target (in the same
// folder, so on the same file system) and renamed to the target once
// closed, so no reader ever sees half of it; a file that is never committed
// is removed. Without leave to replace (--force), an existing target stays
// as it is: the rename then fails rather than replace it (a hard link where
// the file system has them, else a check just before).
//
// A file replaced in place (put's DISK) is a file the run read: the
// temporary file takes its permissions, owner and group before a byte is
// written, so no other mode or owner ever stands under its name; and just
// before the rename it must still hold the bytes the run read, else another
// program wrote it meanwhile and nothing is written, lest that change be
// lost. One with other names (hard links) is refused unless asked: a rename
// gives the new bytes to this name alone.
#pragma once

#include <cstdio>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "base/file.h"
#include "files/output_names.h"

namespace korve {

// A place to write to, and how messages show it.
struct Place {
    std::filesystem::path path;
    std::string shown;
};

// A path as messages show it: in UTF-8 on Windows, the bytes as given elsewhere.
std::string shown_path(const std::filesystem::path& path);

// The place a command line names, as it was typed.
Place place_named(std::string_view typed);

// The place of `name` in `folder`.
Place inside(const Place& folder, std::string_view name);

// What may be written over. Never a link, anything but a regular file, or
// one of the run's inputs (a path named, a hard link to it, the file
// standard input reads); a regular file that exists only with leave.
struct WritePolicy {
    bool replace = false;  // --force: write over files that exist
    std::vector<std::filesystem::path> inputs;
    std::FILE* input_stream = nullptr;  // standard input, where the run reads it

    // The target replaced in place, a file the run read: leave to replace
    // it, what it must still hold, and whether its other names may keep
    // its old bytes.
    struct InPlace {
        std::span<const unsigned char> read;  // its bytes, as the run read them
        bool split_links = false;              // --force: its other names may keep the old bytes
    };
    std::optional<InPlace> in_place = std::nullopt;
};

// What a run reads, and so never writes over: the files named, and the
// stream standard input reads where it reads one.
struct RunInputs {
    std::vector<std::filesystem::path> files;
    std::FILE* stream = nullptr;
};

// The policies korvex writes by. New files: a file that exists stays as it is.
WritePolicy new_files(RunInputs inputs);
// --force: a regular file that exists is written over.
WritePolicy written_over(RunInputs inputs);
// A file the run read (put's DISK) replaced in place, while it still holds
// `read`; its other names refused unless `split_links` (--force). It is
// not among `others`, the run's other inputs, which stay as they are.
WritePolicy replaced_in_place(std::span<const unsigned char> read, bool split_links, RunInputs others);

// Why a file was not written.
struct WriteFailure {
    enum class Kind : unsigned char {
        Exists,            // and no leave to replace it
        FolderIsFile,      // a folder to make has a file's name
        CannotMakeFolder,  // `error` says why
        CannotWrite,       // `error` says why
        IsLink,            // a symbolic link stands at the target
        NotAFile,          // something other than a regular file stands there
        IsInput,           // the target is one of the run's inputs
        FolderIsLink,      // a folder to write into is a symbolic link
        HasLinks,          // a file replaced in place has other names
        Changed,           // a file replaced in place no longer holds what was read
    };
    Kind kind = Kind::CannotWrite;
    std::string shown;  // the file or folder, as messages show it
    std::error_code error;
};

// Why `file` cannot be replaced in place, known before it is read: a link,
// no regular file, or one its owner may not write.
std::optional<WriteFailure> in_place_refusal(const Place& file);

// The failure in words: "out/A.asm exists; --force writes over it".
std::string failure_text(const WriteFailure& failure);

// A system error's words, as the system gives them and the same on every
// system: "No such file or directory".
std::string reason(const std::error_code& error);

// A folder that files are written into: its names given out, distinct where
// a file system ignores case, and made once, when its first file is written.
// The folder written into (-o) is made with the folders above it; a folder
// made inside it (its `parent`) is made only where no link stands in its place.
class OutputFolder {
public:
    explicit OutputFolder(Place place, OutputFolder* parent = nullptr)
        : place_(std::move(place)), parent_(parent) {}

    const Place& place() const { return place_; }
    // `stem` and `suffix`, or `stem (2)` and `suffix` and on, claimed in the folder.
    Place claim(std::string_view stem, std::string_view suffix = {});
    // Makes the folder, once.
    std::optional<WriteFailure> make();

private:
    Place place_;
    OutputFolder* parent_;
    ClaimedNames claimed_;
    bool made_ = false;
};

class OutputFile {
public:
    OutputFile() = default;
    OutputFile(OutputFile&& other) noexcept;
    OutputFile& operator=(OutputFile&& other) noexcept;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile();

    // A new temporary file beside `target`, whose folder must exist; or why
    // `target` may not be written.
    static OutputFile open(const Place& target, const WritePolicy& policy,
                           std::optional<WriteFailure>& failure);

    bool is_open() const { return static_cast<bool>(stream_); }
    std::FILE* stream() const { return stream_.get(); }

    // Closes the temporary file and gives it the target's name. The
    // temporary file is gone either way.
    std::optional<WriteFailure> commit();

    // Closes and removes the temporary file.
    void discard();

    // The failure to write to the stream, for `error`.
    WriteFailure failed_to_write(std::error_code error) const;

private:
    Place target_;
    WritePolicy policy_;
    std::filesystem::path temporary_;
    File stream_;
};

// Writes `bytes` to `target` whole, or not at all.
std::optional<WriteFailure> write_whole(const Place& target, std::string_view bytes,
                                        const WritePolicy& policy);

}  // namespace korve
