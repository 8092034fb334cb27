// An open document's text, and positions in it as the client counts them.
// The client sends UTF-8 text; a position is a line (from 0) and a
// character within it, counted in UTF-16 code units unless the client and
// the server agreed on UTF-8 bytes. The analysis counts bytes of the UTF-8
// line: the two are converted here alone. Bytes that are no UTF-8 count
// one unit each, so that any text has positions. Documents are named by
// their URIs; a file: URI stands for a path of the host.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korve::lsp {

enum class Encoding : unsigned char { Utf16, Utf8 };

// The units of `encoding` that the bytes of `line` before `offset` take.
std::size_t units_before(std::string_view line, std::size_t offset, Encoding encoding);

// The byte of `line` where the character `units` units in starts: the
// line's end past it, the start of a character it falls inside.
std::size_t offset_at(std::string_view line, std::size_t units, Encoding encoding);

// The lines of a text, split at LF, a CR before it dropped; a last line
// without an LF is a line (an empty one after a last LF is too).
std::vector<std::string_view> split_lines(std::string_view text);

// The path a file: URI names ("file:///home/a%20b/x.asm"), percent escapes
// read; nothing for any other URI.
std::optional<std::filesystem::path> path_of_uri(std::string_view uri);

// The file: URI of an absolute path.
std::string uri_of_path(const std::filesystem::path& path);

struct Document {
    std::string uri;
    std::string text;
    std::int64_t version = 0;
};

}  // namespace korve::lsp
