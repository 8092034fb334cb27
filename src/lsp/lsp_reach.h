// What follows from where ALASM puts a project's bytes (the addresses of
// lsp_project_addresses.h): relative jumps out of reach, and names that an
// operator other than + and - reads before ALASM, assembling in one pass,
// has defined them. Where an address or a value is not known, nothing is
// said.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "lsp/lsp_analysis.h"
#include "lsp/lsp_project_addresses.h"
#include "lsp/lsp_project_names.h"

namespace korve::lsp {

// Text `text`'s relative jumps whose target lies out of reach (-128..127
// from the next instruction), and its names an operator other than + and -
// reads before ALASM comes to their only definitions: further down, or in
// a text included further on.
std::vector<Finding> reach_problems(const ProjectView& view, const std::vector<bool>& with,
                                    const ProjectAddresses& addresses, std::size_t text);

}  // namespace korve::lsp
