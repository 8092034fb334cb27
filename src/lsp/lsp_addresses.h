// The addresses ALASM gives a project's labels and lines, worked out by
// assembling the project as ALASM does, from its main text (the one no
// other includes) through every INCLUDE where it stands: ORG, DISP and ENT,
// DUP and REPEAT repeated, IF0 and IFN taken where their value is known,
// LOCAL blocks' labels dropped at ENDL, macros' bodies where they are
// called, and each line's size as the translator works it out (INCBIN's
// from its length, or from the data file beside the texts). Twice: the
// second time a name read before its definition has the value the first
// gave it, as ALASM fills its forward references in at the end.
//
// Where a size or an address is not known ($ after an INCLUDE not found, a
// macro that reads its parameters, an ORG of a value not known), what
// follows has no address until an ORG gives one again. An IF0 or IFN whose
// value is not known has both its branches assembled, and what follows
// keeps what they agree on: the address where both store as many bytes,
// the values both give a name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "lsp/lsp_workspace.h"

namespace korve::lsp {

// Where a line's bytes went, the first time it was assembled: the address
// they lie at, the address they run at ($, which DISP moves), how many, and
// the bytes themselves where a DB, DW or DS line's values are known.
struct Placed {
    std::uint16_t address = 0;
    std::uint16_t run = 0;
    std::size_t size = 0;
    std::optional<std::string> bytes;
    bool again = false;  // placed again after (DUP, REPEAT, a text included twice)
};

struct Assembly {
    // By text and line: the value the line's label or name was given (the
    // last time), and where its bytes went.
    std::vector<std::vector<std::optional<std::uint16_t>>> values;
    std::vector<std::vector<std::optional<Placed>>> places;
    // When each line was first come to (from 1; 0 never): the order of the
    // project's lines as ALASM reads them.
    std::vector<std::vector<std::uint32_t>> order;
};

// The project assembled from its text `main` (lsp_includes.h).
Assembly assemble_project(const ProjectView& view, std::size_t main);

}  // namespace korve::lsp
