// The translation's reports, where the client chose a target assembler
// (korvex.target): what `korvex text --dialect X` reports of each text of
// the project, as warnings at their lines. The project is translated as
// korvex text translates a folder's texts, every text of it settled
// together; the reports are kept while the project's texts stay as read.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "alasm/dialect.h"
#include "lsp/lsp_workspace.h"

namespace korve::lsp {

// Sets `target` to what korvex.target names: "none" no target, "sjasmplus"
// or "pasmo" that dialect. False, and `target` as it was, for any other name.
bool target_named(std::string_view name, std::optional<Dialect>& target);

// The reports on text `text` of `view`, translated for state.target (none
// where there is no target).
std::vector<Finding> translation_reports(Workspace& state, const ProjectView& view, std::size_t text);

}  // namespace korve::lsp
