#include "lsp/lsp_includes.h"

#include <algorithm>
#include <string>
#include <vector>

namespace korve::lsp {

std::optional<std::size_t> included(const ProjectView& view, std::string_view name) {
    const std::string file = include_file(view.includes, include_key(name));
    for (std::size_t t = 0; t < view.texts.size(); ++t) {
        if (view.texts[t].name == file) {
            return t;
        }
    }
    return std::nullopt;
}

std::size_t main_text(const ProjectView& view) {
    std::vector<bool> included_by_other(view.texts.size());
    for (const std::vector<std::size_t>& targets : view.links) {
        for (const std::size_t target : targets) {
            included_by_other[target] = true;
        }
    }
    const auto main = std::find(included_by_other.begin(), included_by_other.end(), false);
    return main == included_by_other.end() ? view.document : static_cast<std::size_t>(main - included_by_other.begin());
}

}  // namespace korve::lsp
