#include "files/output.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <string>
#include <utility>

#include "base/file.h"
#include "files/file_system.h"

namespace korve {
namespace {

namespace fs = std::filesystem;

// Temporary names are tried in turn until one is free: another run may be
// writing into the same folder. Each holds the process's number, so that
// what a run killed outright leaves behind never stands in another's way.
constexpr int kTemporaryNames = 1000;


// Why what stands at a target (`status`, not followed through a link) is
// never written, whatever the policy: a link, or no regular file.
std::optional<WriteFailure::Kind> never_written(const fs::file_status& status) {
    if (fs::is_symlink(status)) {
        return WriteFailure::Kind::IsLink;
    }
    if (fs::exists(status) && !fs::is_regular_file(status)) {
        return WriteFailure::Kind::NotAFile;
    }
    return std::nullopt;
}

// Why `target`, as it stands, may not be written, if it may not.
std::optional<WriteFailure::Kind> refusal(const Place& target, const WritePolicy& policy) {
    std::error_code error;
    const fs::file_status status = fs::symlink_status(target.path, error);
    if (!fs::exists(status)) {
        return std::nullopt;
    }
    if (const auto never = never_written(status)) {
        return never;
    }
    const bool input = std::any_of(policy.inputs.begin(), policy.inputs.end(),
                                   [&](const fs::path& path) {
                                       std::error_code ignored;
                                       return fs::equivalent(path, target.path, ignored);
                                   }) ||
                       stream_is_file(policy.input_stream, target.path);
    if (input) {
        return WriteFailure::Kind::IsInput;
    }
    if (policy.in_place) {
        const std::uintmax_t names = fs::hard_link_count(target.path, error);
        const bool linked = !error && names > 1;
        return linked && !policy.in_place->split_links ? std::optional(WriteFailure::Kind::HasLinks)
                                                       : std::nullopt;
    }
    if (!policy.replace) {
        return WriteFailure::Kind::Exists;
    }
    return std::nullopt;
}

// Whether the file `path` names holds `bytes`, and nothing more.
bool holds(const fs::path& path, std::span<const unsigned char> bytes) {
    const OpenedFile opened = open_for_reading(path);
    if (!opened.file) {
        return false;
    }
    std::array<unsigned char, 4096> block{};
    std::size_t at = 0;
    while (const std::size_t got = std::fread(block.data(), 1, block.size(), opened.file.get())) {
        if (got > bytes.size() - at) {
            return false;
        }
        const auto read = std::span(block).first(got);
        const auto held = bytes.subspan(at, got);
        if (!std::equal(read.begin(), read.end(), held.begin(), held.end())) {
            return false;
        }
        at += got;
    }
    return at == bytes.size() && std::ferror(opened.file.get()) == 0;
}

}  // namespace

WritePolicy new_files(RunInputs inputs) { return {false, std::move(inputs.files), inputs.stream}; }

WritePolicy written_over(RunInputs inputs) { return {true, std::move(inputs.files), inputs.stream}; }

WritePolicy replaced_in_place(std::span<const unsigned char> read, bool split_links, RunInputs others) {
    WritePolicy policy = new_files(std::move(others));
    policy.in_place = WritePolicy::InPlace{read, split_links};
    return policy;
}

std::optional<WriteFailure> in_place_refusal(const Place& file) {
    std::error_code error;
    const fs::file_status status = fs::symlink_status(file.path, error);
    if (const auto never = never_written(status)) {
        return WriteFailure{*never, file.shown, {}};
    }
    if (fs::exists(status) && (status.permissions() & fs::perms::owner_write) == fs::perms::none) {
        return WriteFailure{WriteFailure::Kind::CannotWrite, file.shown,
                            std::make_error_code(std::errc::permission_denied)};
    }
    return std::nullopt;
}

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
        case WriteFailure::Kind::IsLink:
            return failure.shown + " is a symbolic link: korvex writes nothing through a link";
        case WriteFailure::Kind::NotAFile:
            return failure.shown + " is no regular file: korvex writes only files";
        case WriteFailure::Kind::IsInput:
            return failure.shown + " is an input: korvex never writes over its inputs";
        case WriteFailure::Kind::FolderIsLink:
            return "cannot make the folder " + failure.shown +
                   ": it is a symbolic link, which may lead out of the folder written into";
        case WriteFailure::Kind::HasLinks:
            return failure.shown +
                   " has other names (hard links), which would keep its old bytes: --force changes it "
                   "under this name alone";
        case WriteFailure::Kind::Changed:
            return failure.shown +
                   " changed after korvex read it (another program wrote it meanwhile): nothing is "
                   "written, so that change is not lost; run again";
    }
    return {};
}

std::string reason(const std::error_code& error) {
    const std::error_condition condition = error.default_error_condition();
    if (condition.category() == std::generic_category()) {
        return condition.message();
    }
    const std::error_code named = named_reason(error);
    if (named.category() == std::generic_category()) {
        return named.message();
    }
    return error.message();
}

Place OutputFolder::claim(std::string_view stem, std::string_view suffix) {
    return inside(place_, claim_name(claimed_, stem, suffix));
}

std::optional<WriteFailure> OutputFolder::make() {
    if (made_) {
        return std::nullopt;
    }
    std::error_code error;
    if (parent_ != nullptr) {
        // A folder made inside the folder written into: never one that a
        // link in its place would take elsewhere.
        if (auto failure = parent_->make()) {
            return failure;
        }
        const fs::file_status status = fs::symlink_status(place_.path, error);
        if (fs::is_symlink(status)) {
            return WriteFailure{WriteFailure::Kind::FolderIsLink, place_.shown, {}};
        }
        if (fs::exists(status) && !fs::is_directory(status)) {
            return WriteFailure{WriteFailure::Kind::FolderIsFile, place_.shown, {}};
        }
        fs::create_directory(place_.path, error);
    } else {
        // "out/" names the folder "out"; a file of that name fails alike everywhere.
        const fs::path named = place_.path.has_filename() ? place_.path : place_.path.parent_path();
        const fs::file_status status = fs::status(named, error);
        if (fs::exists(status) && !fs::is_directory(status)) {
            return WriteFailure{WriteFailure::Kind::FolderIsFile, place_.shown, {}};
        }
        fs::create_directories(place_.path, error);
    }
    if (error) {
        return WriteFailure{WriteFailure::Kind::CannotMakeFolder, place_.shown, error};
    }
    made_ = true;
    return std::nullopt;
}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : target_(std::move(other.target_)),
      policy_(std::move(other.policy_)),
      temporary_(std::move(other.temporary_)),
      stream_(std::move(other.stream_)) {
    other.temporary_.clear();
}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
    if (this != &other) {
        discard();
        target_ = std::move(other.target_);
        policy_ = std::move(other.policy_);
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
    if (const auto refused = refusal(target, policy)) {
        failure = WriteFailure{*refused, target.shown, {}};
        return file;
    }
    const fs::path folder = target.path.parent_path();
    const std::string prefix = ".korvex-" + std::to_string(process_number()) + "-";
    std::error_code error;
    for (int number = 0; number < kTemporaryNames; ++number) {
        const fs::path temporary = folder / (prefix + std::to_string(number) + ".tmp");
        watch_temporary(temporary);
        error.clear();
        file.stream_.reset(create_new_file(temporary, error));
        if (file.stream_) {
            file.target_ = target;
            file.policy_ = policy;
            file.temporary_ = temporary;
            // Before a byte is written: no other mode or owner ever stands
            // under the target's name, nor are its new bytes open to more.
            if (policy.in_place) {
                error = take_mode_and_owner(file.stream(), temporary, target.path);
            }
            if (error) {
                failure = file.failed_to_write(error);
                file.discard();
            }
            return file;
        }
        forget_temporary();
        if (error != std::errc::file_exists) {
            break;
        }
    }
    failure = WriteFailure{WriteFailure::Kind::CannotWrite, target.shown, error};
    return file;
}

std::optional<WriteFailure> OutputFile::commit() {
    if (temporary_.empty()) {
        return failed_to_write(std::make_error_code(std::errc::bad_file_descriptor));
    }
    errno = 0;
    const bool closed = std::fclose(stream_.release()) == 0;
    std::optional<WriteFailure> failure;
    if (!closed) {
        failure = failed_to_write(last_system_error());
    } else if (const auto refused = refusal(target_, policy_)) {
        // What stands at the target may have changed since it was opened.
        failure = WriteFailure{*refused, target_.shown, {}};
    } else if (policy_.in_place && !holds(target_.path, policy_.in_place->read)) {
        failure = WriteFailure{WriteFailure::Kind::Changed, target_.shown, {}};
    } else if (const std::error_code error =
                   move_file(temporary_, target_.path, policy_.replace || policy_.in_place.has_value())) {
        failure = error == std::errc::file_exists
                      ? WriteFailure{WriteFailure::Kind::Exists, target_.shown, {}}
                      : failed_to_write(error);
    }
    if (failure) {
        discard();
    }
    forget_temporary();
    temporary_.clear();
    return failure;
}

void OutputFile::discard() {
    stream_.reset();
    if (!temporary_.empty()) {
        std::error_code ignored;
        fs::remove(temporary_, ignored);
        temporary_.clear();
        forget_temporary();
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
        return file.failed_to_write(last_system_error());
    }
    return file.commit();
}

}  // namespace korve
