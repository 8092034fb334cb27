// Which text of a project INCLUDE names, as korvex text finds it, and the
// text a project is assembled from, and which texts are assembled together.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "lsp/lsp_workspace.h"
#include "translation/translation_project.h"

namespace korve::lsp {

// INCLUDE's names of the project's texts: NAME.asm, NAME.H.asm or NAME.
Project includes_of(const ProjectView& view);

// The text INCLUDE "name" names, if it is one of the project's.
std::optional<std::size_t> included(const Project& project, const ProjectView& view, std::string_view name);

// The main text: the first that no other includes; the one asked about
// where each is included.
std::size_t main_text(const ProjectView& view);

// Which texts one assembly takes together: together[a][b] where some text,
// its INCLUDEs followed, comes to both a and b (two main texts that include
// one text of names are not assembled together).
std::vector<std::vector<bool>> assembled_together(const ProjectView& view);

}  // namespace korve::lsp
