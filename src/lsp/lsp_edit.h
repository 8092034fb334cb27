// What the server changes or lists across a project, as LSP's JSON: rename
// of a label (a WorkspaceEdit over every file its references reach), the
// workspace's symbols, and formatting into a layout korvex writes.
#pragma once

#include <nlohmann/json_fwd.hpp>
#include <cstddef>
#include <string>
#include <variant>

#include "alasm/alasm_text.h"
#include "lsp/lsp_workspace.h"

namespace korve::lsp {

// The edit that renames the name at the position to `name`, or why it
// cannot be: no name defined there, a name ALASM would not take as a label
// (or would take in another scope: '@'), or one the new name would clash
// with or be hidden by.
std::variant<nlohmann::json, std::string> rename(Workspace& state, const std::string& uri,
                                                 std::size_t line, std::size_t character, const std::string& name);

// The range of the name at the position and its text, or null where no
// defined name stands there.
nlohmann::json prepare_rename(Workspace& state, const std::string& uri, std::size_t line,
                              std::size_t character);

// The names defined in the projects of the open documents whose name holds
// `query` (in any case), as SymbolInformation.
nlohmann::json workspace_symbols(Workspace& state, const std::string& query);

// The document's text in `layout` as korvex text writes it: one edit of the
// whole text, or none where it stands so already or where pack refuses it
// (its diagnostics say why).
nlohmann::json formatting(const Workspace& state, const std::string& uri, TextLayout layout);

}  // namespace korve::lsp
