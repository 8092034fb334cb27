// A file that is written whole or not at all.
//
// It is written to a temporary file beside its target (in the same folder,
// so on the same file system) and renamed to the target once closed, so no
// reader ever sees half of it; a file that is never committed is removed.
// Without leave to replace, an existing target stays as it is: the rename
// then fails rather than replace it (a hard link where the file system has
// them, else a check just before).
#pragma once

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "file.h"

namespace korve {

class OutputFile {
public:
    OutputFile() = default;
    OutputFile(OutputFile&& other) noexcept;
    OutputFile& operator=(OutputFile&& other) noexcept;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile();

    // Opens a new temporary file beside `target`, whose folder must exist.
    static OutputFile open(const std::filesystem::path& target, std::error_code& error);

    bool is_open() const { return static_cast<bool>(stream_); }
    std::FILE* stream() const { return stream_.get(); }

    // Closes the temporary file and gives it the target's name, replacing a
    // file of that name only when `replace`; else std::errc::file_exists.
    // The temporary file is gone either way.
    std::error_code commit(bool replace);

    // Closes and removes the temporary file.
    void discard();

private:
    std::filesystem::path target_;
    std::filesystem::path temporary_;
    File stream_;
};

// The reason for a failure, as the system words it and the same on every
// system: "No such file or directory".
std::string reason(const std::error_code& error);

}  // namespace korve
