// Hover and completion, as LSP's JSON. Hover on a name gives the value or
// address ALASM gives it (lsp_addresses.h), on a mnemonic or directive its
// line (lsp_keywords.h), and on any line that stores bytes where they lie
// and, where they are known, the bytes. Completion offers, for the name
// being typed, the labels the position sees (those of the project, and of
// the LOCAL blocks around it) and the keywords.
#pragma once

#include <nlohmann/json_fwd.hpp>
#include <cstddef>
#include <string>

#include "lsp/lsp_workspace.h"

namespace korve::lsp {

nlohmann::json hover(Workspace& state, const std::string& uri, std::size_t line, std::size_t character);
nlohmann::json completion(Workspace& state, const std::string& uri, std::size_t line,
                          std::size_t character);

// The name or word at byte `offset` of `line`: where it starts and ends.
Range word_at(std::string_view text, std::size_t line, std::size_t offset);

}  // namespace korve::lsp
