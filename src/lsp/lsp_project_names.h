// What the texts of a project say of each other's names: which definition
// a use stands for (LOCAL blocks, then the project's scope), and the names
// defined twice or nowhere across the project's texts.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "lsp/lsp_analysis.h"

namespace korve::lsp {

// A definition: a text of the project, and one of its definitions.
struct Target {
    std::size_t text = 0;
    std::size_t definition = 0;
    bool operator==(const Target&) const = default;
};

// What `use` of text `text` stands for: the definitions of its name in the
// LOCAL blocks around it, innermost first; else those in the project scope
// of the texts one assembly takes with it (`with`, a row of
// ProjectView::together: two programs sharing a text of names do not see each
// other's labels).
std::vector<Target> definitions_of(const std::vector<const TextFacts*>& project, const std::vector<bool>& with,
                                   std::size_t text, const Use& use);

// The project's verdicts on text `text`: names defined twice in one scope
// (never one '=' sets; in two texts, only where one assembly takes both:
// `together`, lsp_workspace.h), names read and defined nowhere, and ENTs
// that no text's DISP opened.
std::vector<Finding> project_problems(const std::vector<const TextFacts*>& project,
                                      const std::vector<std::string>& names, std::size_t text,
                                      const std::vector<std::vector<bool>>& together);

}  // namespace korve::lsp
