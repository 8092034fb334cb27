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

enum class InputForm : unsigned char {
    Text,    // a text, packed as ALASM source
    Hobeta,  // it starts with a Hobeta header whose checksum holds
    Raw,     // --name gives it a type other than H
};

// What an input is, from its first bytes (kHobetaHeaderSize of them, or
// fewer where it is shorter) and the name --name gives it, if any.
InputForm input_form(std::span<const unsigned char> start, const std::optional<TrdosName>& named);

// A file to store, and whether its start was given (by its Hobeta header or
// --start): a file it replaces takes that start, else keeps its own.
struct StoredFile {
    TrdosFile file;
    bool start_given = false;
};

// The file `input` holds, of `form` (not Text), read whole: named by
// `named` where given, else by its Hobeta header; started at `start` where
// given. What is too large for TR-DOS or cut short is refused.
std::variant<StoredFile, Problem> read_stored_file(ByteReader& input, InputForm form, const Source& source,
                                                  const std::optional<TrdosName>& named,
                                                  std::optional<std::uint16_t> start);

// Why a new file cannot go onto a disk without a start, if it cannot: a
// code file's start is where it loads. A new BASIC program without one
// gets its length, as a program saved without variables has.
std::optional<std::string> new_file_start(StoredFile& stored);

}  // namespace korve
