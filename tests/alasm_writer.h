// Writes ALASM data the way the assembler stores it, for the example, the
// benchmark's input and the fuzzer's seeds.
//
// A line is given as text in which {WORD} marks a keyword and {RAW} the
// raw-rest marker: "LOOP{LD}{A},{(HL)}" stores LOOP, the tokens of LD and A, a
// comma and the token of (HL). Runs of spaces are stored as run bytes.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace korve::testing {

// The record of one marked line: its length byte and its content.
std::string alasm_record(std::string_view marked_line);

// A 64-byte ALASM header carrying `name` and the mark of ALASM data.
std::string alasm_header(std::string_view name);

// `data` behind a Hobeta header whose length field says `length` and whose
// checksum is right, or deliberately wrong.
std::string hobeta_file(std::string_view data, unsigned length, bool right_checksum = true);
std::string hobeta_file(std::string_view data);

// Writes `bytes` to the file at `path`, replacing it; false when that failed.
bool write_file(const std::filesystem::path& path, std::string_view bytes);

}  // namespace korve::testing
