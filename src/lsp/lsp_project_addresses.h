// The addresses of a project (lsp_addresses.h) as a view of it numbers its
// texts: assembled once while the project's texts stay as read (and the
// same one comes first), kept in the workspace's cache between requests,
// so that hover and the diagnostics read one model of the addresses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "lsp/lsp_addresses.h"
#include "lsp/lsp_workspace.h"

namespace korve::lsp {

struct ProjectAddresses {
    std::shared_ptr<const Assembly> assembly;
    std::vector<std::size_t> text;  // the assembly's number of each text of the view
};
ProjectAddresses addresses_of(TextCache& cache, const ProjectView& view);

// Line `line` of the view's text `text`: its value, and where its bytes went.
std::optional<std::uint16_t> value_at(const ProjectAddresses& addresses, std::size_t text, std::size_t line);
const Placed* placed_at(const ProjectAddresses& addresses, std::size_t text, std::size_t line);
// When ALASM first comes to the line (from 1), or 0 where it never does.
std::uint32_t order_at(const ProjectAddresses& addresses, std::size_t text, std::size_t line);

}  // namespace korve::lsp
