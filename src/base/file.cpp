#include "base/file.h"

#include <cerrno>
#include <string>
#include <string_view>

#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#endif

namespace korve {

std::filesystem::path file_path(const char* name) {
#ifdef _WIN32
    const std::string_view utf8(name);
    return std::u8string(utf8.begin(), utf8.end());
#else
    return name;
#endif
}

std::FILE* open_file(const std::filesystem::path& path, const char* mode) {
#ifdef _WIN32
    const std::string_view narrow(mode);  // ASCII letters
    return _wfopen(path.c_str(), std::wstring(narrow.begin(), narrow.end()).c_str());
#else
    return std::fopen(path.c_str(), mode);
#endif
}

std::error_code last_system_error() {
    const int error_number = errno;
    return {error_number != 0 ? error_number : EIO, std::generic_category()};
}

OpenedFile open_for_reading(const std::filesystem::path& path) {
    errno = 0;
    OpenedFile opened{File(open_file(path, "rb")), {}};
    if (!opened.file) {
        opened.error = last_system_error();
    }
    return opened;
}

std::size_t regular_file_size(std::FILE* file) {
#ifdef _WIN32
    struct _stat64 status {};
    const bool regular = _fstat64(_fileno(file), &status) == 0 && (status.st_mode & _S_IFMT) == _S_IFREG;
#else
    struct stat status {};
    const bool regular = fstat(fileno(file), &status) == 0 && S_ISREG(status.st_mode);
#endif
    return regular && status.st_size > 0 ? static_cast<std::size_t>(status.st_size) : 0;
}

}  // namespace korve
