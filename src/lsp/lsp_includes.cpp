#include "lsp/lsp_includes.h"

#include <algorithm>
#include <string>
#include <vector>

#include "files/output_names.h"
#include "inputs/source_text.h"
#include "translation/alasm_translation.h"

namespace korve::lsp {

Project includes_of(const ProjectView& view) {
    Project project;
    for (const ProjectText& text : view.texts) {
        if (const auto stem = text_stem(text.name)) {
            project.includes.emplace(*stem, text.name);
            project.includes.emplace(text_include_key(*stem), text.name);
        }
    }
    return project;
}

std::optional<std::size_t> included(const Project& project, const ProjectView& view, std::string_view name) {
    const std::string file = include_file(project, include_key(name));
    for (std::size_t t = 0; t < view.texts.size(); ++t) {
        if (view.texts[t].name == file) {
            return t;
        }
    }
    return std::nullopt;
}

namespace {

// The texts each text's INCLUDEs name, the text itself left out.
std::vector<std::vector<std::size_t>> include_links(const ProjectView& view) {
    const Project project = includes_of(view);
    std::vector<std::vector<std::size_t>> links(view.texts.size());
    for (std::size_t t = 0; t < view.texts.size(); ++t) {
        if (view.texts[t].packed.source) {
            for (const std::string& name : included_sources(*view.texts[t].packed.source)) {
                if (const auto target = included(project, view, name); target && *target != t) {
                    links[t].push_back(*target);
                }
            }
        }
    }
    return links;
}

}  // namespace

std::size_t main_text(const ProjectView& view) {
    std::vector<bool> included_by_other(view.texts.size());
    for (const std::vector<std::size_t>& targets : include_links(view)) {
        for (const std::size_t target : targets) {
            included_by_other[target] = true;
        }
    }
    const auto main = std::find(included_by_other.begin(), included_by_other.end(), false);
    return main == included_by_other.end() ? view.document : static_cast<std::size_t>(main - included_by_other.begin());
}

std::vector<std::vector<bool>> assembled_together(const ProjectView& view) {
    const std::vector<std::vector<std::size_t>> links = include_links(view);
    const std::size_t count = links.size();
    std::vector<std::vector<bool>> together(count, std::vector<bool>(count));
    for (std::size_t start = 0; start < count; ++start) {
        std::vector<std::size_t> reached{start};
        std::vector<bool> seen(count);
        seen[start] = true;
        for (std::size_t next = 0; next < reached.size(); ++next) {
            for (const std::size_t linked : links[reached[next]]) {
                if (!seen[linked]) {
                    seen[linked] = true;
                    reached.push_back(linked);
                }
            }
        }
        for (const std::size_t a : reached) {
            for (const std::size_t b : reached) {
                together[a][b] = true;
            }
        }
    }
    return together;
}

}  // namespace korve::lsp
