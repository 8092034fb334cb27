#include "output.h"

#include <cerrno>
#include <string>
#include <utility>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

namespace korve {
namespace {

namespace fs = std::filesystem;

// Temporary names are tried in turn until one is free: another run may be
// writing into the same folder.
constexpr int kTemporaryNames = 1000;

std::error_code from_errno() { return {errno != 0 ? errno : EIO, std::generic_category()}; }

#ifdef _WIN32

// The reasons Windows gives that have a name on every system.
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

// A new file, or nothing with errno set; _wfopen has no exclusive mode.
std::FILE* create_new(const fs::path& path) {
    int descriptor = -1;
    if (_wsopen_s(&descriptor, path.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _SH_DENYNO,
                  _S_IREAD | _S_IWRITE) != 0) {
        return nullptr;
    }
    std::FILE* file = _fdopen(descriptor, "wb");
    if (file == nullptr) {
        _close(descriptor);
    }
    return file;
}

// MoveFileEx replaces a file only when asked to, in one step.
std::error_code move(const fs::path& from, const fs::path& to, bool replace) {
    if (MoveFileExW(from.c_str(), to.c_str(), replace ? MOVEFILE_REPLACE_EXISTING : 0) != 0) {
        return {};
    }
    return from_windows(GetLastError());
}

#else

std::FILE* create_new(const fs::path& path) { return std::fopen(path.c_str(), "wbx"); }

// rename() always replaces; a hard link never does, and fails where the
// target exists. Where the file system has no hard links, the target is
// looked for just before the rename.
std::error_code move(const fs::path& from, const fs::path& to, bool replace) {
    std::error_code error;
    if (replace) {
        fs::rename(from, to, error);
        return error;
    }
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

#endif

}  // namespace

std::string shown_path(const fs::path& path) {
#ifdef _WIN32
    const std::u8string utf8 = path.u8string();
    return {utf8.begin(), utf8.end()};
#else
    return path.string();
#endif
}

Place place_named(std::string_view typed) {
    const std::string text(typed);
    return {file_path(text.c_str()), text};
}

Place inside(const Place& folder, std::string_view name) {
    const std::string name_text(name);
    const bool ends_in_separator = folder.shown.ends_with('/') || folder.shown.ends_with('\\');
    return {folder.path / file_path(name_text.c_str()),
            folder.shown + (ends_in_separator ? "" : "/") + name_text};
}

std::string failure_text(const WriteFailure& failure) {
    switch (failure.kind) {
        case WriteFailure::Kind::Exists: return failure.shown + " exists; --force writes over it";
        case WriteFailure::Kind::FolderIsFile:
            return "cannot make the folder " + failure.shown + ": a file has its name";
        case WriteFailure::Kind::CannotMakeFolder:
            return "cannot make the folder " + failure.shown + ": " + reason(failure.error);
        case WriteFailure::Kind::CannotWrite:
            return "cannot write " + failure.shown + ": " + reason(failure.error);
    }
    return {};
}

std::string reason(const std::error_code& error) {
    const std::error_condition condition = error.default_error_condition();
    if (condition.category() == std::generic_category()) {
        return condition.message();
    }
#ifdef _WIN32
    if (error.category() == std::system_category()) {
        const std::error_code named = from_windows(static_cast<DWORD>(error.value()));
        if (named.category() == std::generic_category()) {
            return named.message();
        }
    }
#endif
    return error.message();
}

Place OutputFolder::claim(std::string_view name) {
    return inside(place_, claim_name(claimed_, name));
}

std::optional<WriteFailure> OutputFolder::make() {
    if (made_) {
        return std::nullopt;
    }
    std::error_code error;
    // "out/" names the folder "out"; a file of that name fails alike everywhere.
    const fs::path named = place_.path.has_filename() ? place_.path : place_.path.parent_path();
    const fs::file_status status = fs::status(named, error);
    if (fs::exists(status) && !fs::is_directory(status)) {
        return WriteFailure{WriteFailure::Kind::FolderIsFile, place_.shown, {}};
    }
    fs::create_directories(place_.path, error);
    if (error) {
        return WriteFailure{WriteFailure::Kind::CannotMakeFolder, place_.shown, error};
    }
    made_ = true;
    return std::nullopt;
}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : target_(std::move(other.target_)),
      policy_(other.policy_),
      temporary_(std::move(other.temporary_)),
      stream_(std::move(other.stream_)) {
    other.temporary_.clear();
}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
    if (this != &other) {
        discard();
        target_ = std::move(other.target_);
        policy_ = other.policy_;
        temporary_ = std::move(other.temporary_);
        stream_ = std::move(other.stream_);
        other.temporary_.clear();
    }
    return *this;
}

OutputFile::~OutputFile() { discard(); }

OutputFile OutputFile::open(const Place& target, const WritePolicy& policy,
                            std::optional<WriteFailure>& failure) {
    OutputFile file;
    failure.reset();
    std::error_code error;
    if (!policy.replace && fs::exists(fs::symlink_status(target.path, error))) {
        failure = WriteFailure{WriteFailure::Kind::Exists, target.shown, {}};
        return file;
    }
    const fs::path folder = target.path.parent_path();
    for (int number = 0; number < kTemporaryNames; ++number) {
        const fs::path temporary = folder / (".korvex-" + std::to_string(number) + ".tmp");
        errno = 0;
        file.stream_.reset(create_new(temporary));
        if (file.stream_) {
            file.target_ = target;
            file.policy_ = policy;
            file.temporary_ = temporary;
            return file;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    error = errno != 0 ? from_errno() : std::make_error_code(std::errc::file_exists);
    failure = WriteFailure{WriteFailure::Kind::CannotWrite, target.shown, error};
    return file;
}

std::optional<WriteFailure> OutputFile::commit() {
    if (temporary_.empty()) {
        return failed_to_write(std::make_error_code(std::errc::bad_file_descriptor));
    }
    errno = 0;
    const bool closed = std::fclose(stream_.release()) == 0;
    std::error_code error = closed ? move(temporary_, target_.path, policy_.replace) : from_errno();
    if (error) {
        discard();
    }
    temporary_.clear();
    if (error == std::errc::file_exists) {
        return WriteFailure{WriteFailure::Kind::Exists, target_.shown, {}};
    }
    if (error) {
        return failed_to_write(error);
    }
    return std::nullopt;
}

void OutputFile::discard() {
    stream_.reset();
    if (!temporary_.empty()) {
        std::error_code ignored;
        fs::remove(temporary_, ignored);
        temporary_.clear();
    }
}

WriteFailure OutputFile::failed_to_write(std::error_code error) const {
    return {WriteFailure::Kind::CannotWrite, target_.shown, error};
}

std::optional<WriteFailure> write_whole(const Place& target, std::string_view bytes,
                                        const WritePolicy& policy) {
    std::optional<WriteFailure> failure;
    OutputFile file = OutputFile::open(target, policy, failure);
    if (failure) {
        return failure;
    }
    errno = 0;
    if (std::fwrite(bytes.data(), 1, bytes.size(), file.stream()) != bytes.size()) {
        return file.failed_to_write(from_errno());
    }
    return file.commit();
}

}  // namespace korve
