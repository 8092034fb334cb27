// Files as korve's programs open them: streams that close themselves, and
// paths taken as the user typed them, on every system.
#pragma once

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

namespace korve {

// An open stream that closes itself. Where the close can fail in a way that
// matters (an output), release() it and close it by hand.
struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// A path as the system names files. The programs take their paths in UTF-8
// on Windows (see their entry points), where files are named in UTF-16;
// elsewhere a path is the bytes as given, whatever their character set.
std::filesystem::path file_path(const char* name);

// fopen() for any path: on Windows fopen() takes only names in the ANSI code
// page, _wfopen() any.
std::FILE* open_file(const std::filesystem::path& path, const char* mode);

// errno as an error code, to be called at once after the call that failed
// (any later call may change errno); EIO where that call set none.
std::error_code last_system_error();

// A file opened for reading, or why it could not be, as the system said at
// once.
struct OpenedFile {
    File file;
    std::error_code error;
};
OpenedFile open_for_reading(const std::filesystem::path& path);

// The size of the regular file an open stream reads; 0 for anything else (a
// pipe, a terminal) or where the system cannot tell.
std::size_t regular_file_size(std::FILE* file);

}  // namespace korve
