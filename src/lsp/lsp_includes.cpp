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

std::size_t main_text(const ProjectView& view) {
    const Project project = includes_of(view);
    std::vector<bool> included_by_other(view.texts.size());
    for (const ProjectText& text : view.texts) {
        if (text.packed.source) {
            for (const std::string& name : included_sources(*text.packed.source)) {
                if (const auto target = included(project, view, name)) {
                    included_by_other[*target] = included_by_other[*target] || &view.texts[*target] != &text;
                }
            }
        }
    }
    const auto main = std::find(included_by_other.begin(), included_by_other.end(), false);
    return main == included_by_other.end() ? view.document : static_cast<std::size_t>(main - included_by_other.begin());
}

}  // namespace korve::lsp
