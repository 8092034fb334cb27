// Which text of a project INCLUDE names, as korvex text finds it, and the
// text a project is assembled from, by the INCLUDE links the project's
// view keeps (lsp_workspace.h).
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "lsp/lsp_workspace.h"

namespace korve::lsp {

// The text INCLUDE "name" names, if it is one of the project's.
std::optional<std::size_t> included(const ProjectView& view, std::string_view name);

// The main text: the first that no other includes; the one asked about
// where each is included.
std::size_t main_text(const ProjectView& view);

}  // namespace korve::lsp
