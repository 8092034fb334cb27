// What korvex asks of the file system beyond opening a file, the same on
// every system: a file made new under a name no other file holds, a move
// that replaces a file only when asked, a file given another's mode and
// owner, whether an open stream is a given file, and a temporary file that a
// signal ending the program removes.
#pragma once

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace korve {

// A new file under `path`, open for writing, or nothing where a file of
// that name exists or the system refuses (then `error` says why).
std::FILE* create_new_file(const std::filesystem::path& path, std::error_code& error);

// Gives `from` the name `to`, in one step where the system can, replacing
// a file of that name only when `replace`; else std::errc::file_exists.
std::error_code move_file(const std::filesystem::path& from, const std::filesystem::path& to,
                          bool replace);

// Gives the file open as `file` (named `path`) the permissions of the file
// `model` names, and its owner and group where the process may (root may
// give any, a user a group of theirs); an owner kept is done first, since
// it may clear the set-ID bits. Fails only where the permissions differ and
// cannot be set (on Windows, permissions are the read-only flag).
std::error_code take_mode_and_owner(std::FILE* file, const std::filesystem::path& path,
                                    const std::filesystem::path& model);

// Whether `stream` is open on the file `path` names (a hard link, or the
// file a redirection opened). False where the system cannot tell.
bool stream_is_file(std::FILE* stream, const std::filesystem::path& path);

// The same error as a reason every system names alike, where it has one
// (Windows' own codes for a missing file, a full disk, ...); else itself.
std::error_code named_reason(const std::error_code& error);

// This process's number, to keep its temporary names apart from others'.
unsigned long process_number();

// While a temporary file is being written, a signal that ends the program
// (an interrupt, a termination, a closed terminal) removes it first. One at
// a time: the handler can reach only what is kept where it can see it.
void watch_temporary(const std::filesystem::path& path);
void forget_temporary();

}  // namespace korve
