// What the server answers about documents, as LSP's JSON: the diagnostics
// published for a document's project, its symbols, the definitions and
// references of the name at a position, and its folding ranges. Each
// reads the project of the document (lsp_workspace.h) as it stands now.
#pragma once

#include <nlohmann/json_fwd.hpp>
#include <cstddef>
#include <string>
#include <vector>

#include "lsp/lsp_project_names.h"
#include "lsp/lsp_workspace.h"

namespace korve::lsp {

// textDocument/publishDiagnostics notifications for `uri` and every other
// open document of its project.
std::vector<nlohmann::json> diagnostics_for(Workspace& state, const std::string& uri);

nlohmann::json document_symbols(Workspace& state, const std::string& uri);
nlohmann::json folding_ranges(Workspace& state, const std::string& uri);

// Definitions of the name at `position`; with `references`, its uses (and
// its definitions where `declarations`).
nlohmann::json locations(Workspace& state, const std::string& uri, std::size_t line,
                         std::size_t character, bool references, bool declarations);

// The name at byte `offset` of line `line` of the document asked about: a
// definition's or a use's, and the definitions it stands for.
struct Named {
    std::string name;
    std::vector<Target> targets;
};
Named named_at(const ProjectView& view, std::size_t line, std::size_t offset);

// A range of a text of the project as the client counts positions.
nlohmann::json range_json(const ProjectText& text, const Range& range, Encoding encoding);

// LSP's SymbolKind of a name.
int symbol_kind(NameKind kind);

}  // namespace korve::lsp
