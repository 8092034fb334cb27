// What a line stores, worked out where the assembler stands: the bytes of a
// DB, DW or DS line, and the length of the data file an INCBIN names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "alasm/alasm_expression.h"
#include "translation/translation_line.h"

namespace korve::lsp {

// The value of an operand's text, the names `known` and $ at `run`.
std::optional<std::uint16_t> operand_value(std::string_view text, const LabelValues& known,
                                           std::optional<std::uint16_t> run);

// The bytes of a DB, DW or DS line, where every value is known (a DS of
// more than 4096 bytes is not kept).
std::optional<std::string> data_bytes(const Line& line, const LabelValues& known, std::optional<std::uint16_t> run);

// The length of the data file `name` (after a "DRIVE:" it may start with)
// in `folder`, its name in any case, where it is one of 64 KiB at most.
std::optional<std::size_t> data_file_size(const std::filesystem::path& folder, std::string_view name);

}  // namespace korve::lsp
