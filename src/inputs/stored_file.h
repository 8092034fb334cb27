// A file put and pack store as they find it, beside texts: a Hobeta file,
// under the name, type and start its header gives, its sectors' bytes as
// they stand (a BASIC program's autostart line past its length too); or any
// file --name gives a type other than a source's (H), byte for byte, as a
// build goes onto the disk an emulator runs. Which an input is, its first
// bytes and --name decide; nothing here prints.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>

#include "base/byte_reader.h"
#include "base/problem.h"
#include "formats/trdos_image.h"
#include "inputs/korvex_inputs.h"

namespace korve {

// A file to store, and whether its start was given (by its Hobeta header or
// --start): a file it replaces takes that start, else keeps its own.
struct StoredFile {
    TrdosFile file;
    bool start_given = false;
};

// What an input put or pack takes holds, from its first bytes and --name:
// a Hobeta header whose checksum holds makes a Hobeta file, --name of a
// type other than H a raw file, read whole (named by --name where given,
// started at --start where given); anything else is a text, left unread
// (none). Or why neither: a name TR-DOS cannot take, a file too large for
// TR-DOS or cut short, --start given to a text.
std::variant<std::optional<StoredFile>, Problem> read_file_input(ByteReader& input, const Source& source,
                                                               const std::optional<std::string>& name,
                                                               std::optional<std::uint16_t> start);

// Why a new file cannot go onto a disk without a start, if it cannot: a
// code file's start is where it loads. A new BASIC program without one
// gets its length, as a program saved without variables has.
std::optional<std::string> new_file_start(StoredFile& stored);

}  // namespace korve
