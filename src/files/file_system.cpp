#include "files/file_system.h"

#include "base/file.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <share.h>
#include <sys/stat.h>
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace korve {
namespace {

namespace fs = std::filesystem;

// The temporary file a signal removes. A signal handler can reach nothing
// but what is kept here, so this is the program's one piece of state outside
// its values; only watch_temporary, forget_temporary and the handler touch
// it, and the handler only reads it.
constexpr std::size_t kLongestWatchedPath = 4096;
std::array<fs::path::value_type, kLongestWatchedPath> watched_path{};  // NOLINT
volatile std::sig_atomic_t watching = 0;                              // NOLINT

extern "C" void remove_watched_and_end(int signal_number) {
    if (watching != 0) {
#ifdef _WIN32
        _wunlink(watched_path.data());
#else
        unlink(watched_path.data());
#endif
    }
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
}

// The signals that end a program unasked; one that is ignored (nohup) stays so.
void handle_ending_signals() {
    constexpr std::array kEnding = {
        SIGINT,
        SIGTERM,
#ifdef SIGHUP
        SIGHUP,
#endif
    };
    for (const int signal_number : kEnding) {
        if (std::signal(signal_number, remove_watched_and_end) == SIG_IGN) {
            std::signal(signal_number, SIG_IGN);
        }
    }
}

#ifdef _WIN32

std::error_code from_windows(DWORD code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return std::make_error_code(std::errc::no_such_file_or_directory);
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION: return std::make_error_code(std::errc::permission_denied);
        case ERROR_ALREADY_EXISTS:
        case ERROR_FILE_EXISTS: return std::make_error_code(std::errc::file_exists);
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL: return std::make_error_code(std::errc::no_space_on_device);
        default: return {static_cast<int>(code), std::system_category()};
    }
}

#endif

}  // namespace

#ifdef _WIN32

std::FILE* create_new_file(const fs::path& path, std::error_code& error) {
    // _wfopen has no exclusive mode.
    int descriptor = -1;
    errno = 0;
    if (_wsopen_s(&descriptor, path.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _SH_DENYNO,
                  _S_IREAD | _S_IWRITE) != 0) {
        error = last_system_error();
        return nullptr;
    }
    std::FILE* file = _fdopen(descriptor, "wb");
    if (file == nullptr) {
        error = last_system_error();
        _close(descriptor);
    }
    return file;
}

// MoveFileEx replaces a file only when asked to, in one step.
std::error_code move_file(const fs::path& from, const fs::path& to, bool replace) {
    if (MoveFileExW(from.c_str(), to.c_str(), replace ? MOVEFILE_REPLACE_EXISTING : 0) != 0) {
        return {};
    }
    return from_windows(GetLastError());
}

// Windows keeps no owner a user may give, and its permissions are the
// read-only flag, set by name.
std::error_code take_mode_and_owner(std::FILE* /*file*/, const fs::path& path, const fs::path& model) {
    std::error_code error;
    const fs::perms wanted = fs::status(model, error).permissions();
    if (error) {
        return error;
    }
    const fs::perms own = fs::status(path, error).permissions();
    if (!error && own != wanted) {
        fs::permissions(path, wanted, error);
    }
    return error;
}

// Two handles open one file where their volume and file index agree.
bool stream_is_file(std::FILE* stream, const fs::path& path) {
    if (stream == nullptr) {
        return false;
    }
    // NOLINTNEXTLINE(performance-no-int-to-ptr): the C runtime gives a handle as a number
    const auto open_handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    BY_HANDLE_FILE_INFORMATION open{};
    if (open_handle == INVALID_HANDLE_VALUE || GetFileInformationByHandle(open_handle, &open) == 0) {
        return false;
    }
    const HANDLE named_handle =
        CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (named_handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    BY_HANDLE_FILE_INFORMATION named{};
    const bool known = GetFileInformationByHandle(named_handle, &named) != 0;
    CloseHandle(named_handle);
    return known && open.dwVolumeSerialNumber == named.dwVolumeSerialNumber &&
           open.nFileIndexHigh == named.nFileIndexHigh && open.nFileIndexLow == named.nFileIndexLow;
}

unsigned long process_number() { return static_cast<unsigned long>(_getpid()); }

std::error_code named_reason(const std::error_code& error) {
    return error.category() == std::system_category()
               ? from_windows(static_cast<DWORD>(error.value()))
               : error;
}

#else

std::FILE* create_new_file(const fs::path& path, std::error_code& error) {
    errno = 0;
    std::FILE* file = std::fopen(path.c_str(), "wbx");
    if (file == nullptr) {
        error = last_system_error();
    }
    return file;
}

// rename() always replaces. Linux renames without replacing in one step;
// elsewhere a hard link never replaces, and fails where the target exists,
// and where the file system has no hard links the target is looked for just
// before the rename.
std::error_code move_file(const fs::path& from, const fs::path& to, bool replace) {
    std::error_code error;
    if (replace) {
        fs::rename(from, to, error);
        return error;
    }
#if defined(__linux__) && defined(RENAME_NOREPLACE)
    errno = 0;
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return {};
    }
    const std::error_code refused = last_system_error();
    if (refused.value() != EINVAL && refused.value() != ENOSYS) {
        return refused;
    }
#endif
    fs::create_hard_link(from, to, error);
    if (!error) {
        std::error_code ignored;
        fs::remove(from, ignored);
        return {};
    }
    if (error == std::errc::file_exists) {
        return error;
    }
    if (fs::exists(fs::symlink_status(to, error))) {
        return std::make_error_code(std::errc::file_exists);
    }
    fs::rename(from, to, error);
    return error;
}

std::error_code take_mode_and_owner(std::FILE* file, const fs::path& /*path*/, const fs::path& model) {
    constexpr mode_t kPermissionBits = 07777;
    struct stat wanted{};
    struct stat own{};
    const int descriptor = fileno(file);
    errno = 0;
    if (stat(model.c_str(), &wanted) != 0 || fstat(descriptor, &own) != 0) {
        return last_system_error();
    }
    if ((own.st_uid != wanted.st_uid || own.st_gid != wanted.st_gid) &&
        fchown(descriptor, wanted.st_uid, wanted.st_gid) != 0) {
        // Not root: the group alone, where the user is in it; else as made.
        static_cast<void>(fchown(descriptor, static_cast<uid_t>(-1), wanted.st_gid));
    }
    errno = 0;
    if (fstat(descriptor, &own) != 0) {
        return last_system_error();
    }
    if ((own.st_mode & kPermissionBits) != (wanted.st_mode & kPermissionBits) &&
        fchmod(descriptor, wanted.st_mode & kPermissionBits) != 0) {
        return last_system_error();
    }
    return {};
}

bool stream_is_file(std::FILE* stream, const fs::path& path) {
    struct stat open{};
    struct stat named{};
    return stream != nullptr && fstat(fileno(stream), &open) == 0 &&
           stat(path.c_str(), &named) == 0 && open.st_dev == named.st_dev &&
           open.st_ino == named.st_ino;
}

unsigned long process_number() { return static_cast<unsigned long>(getpid()); }

std::error_code named_reason(const std::error_code& error) { return error; }

#endif

void watch_temporary(const fs::path& path) {
    const auto& native = path.native();
    watching = 0;
    if (native.size() < watched_path.size()) {
        std::copy(native.begin(), native.end(), watched_path.begin());
        watched_path[native.size()] = 0;
        handle_ending_signals();
        watching = 1;
    }
}

void forget_temporary() { watching = 0; }

}  // namespace korve
