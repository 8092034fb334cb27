// Where ALASM puts a text's bytes, and what follows from it: the values of
// its labels, relative jumps out of reach, and names that an operator
// other than + and - reads before ALASM, assembling in one pass, has
// defined them. Addresses are followed as the translator follows them
// (translation_addresses.h): from an ORG on, while every line's size is
// known; where an address or a value is not known, nothing is said.
#pragma once

#include <cstddef>
#include <set>
#include <string>
#include <vector>

#include "lsp/lsp_analysis.h"
#include "lsp/lsp_project_names.h"

namespace korve::lsp {

// Fills facts.values and facts.jumps of a text analyse_text has read (its
// definitions in order of their lines), whose project's macros are `macros`.
void follow_addresses(const PackedText& packed, CodePage page,
                      const std::set<std::string, std::less<>>& macros, TextFacts& facts);

// Text `text`'s relative jumps whose target lies out of reach (-128..127
// from the next instruction), and its names an operator other than + and -
// reads above their only definitions, further down the same text.
std::vector<Finding> reach_problems(const std::vector<const TextFacts*>& project, std::size_t text);

}  // namespace korve::lsp
