#include "lsp/lsp_project_names.h"

#include <algorithm>
#include <optional>
#include <set>
#include <string_view>

namespace korve::lsp {

namespace {

bool defines(const Definition& definition, std::string_view name, std::size_t scope) {
    return definition.scope == scope && definition.name == name;
}

// Names '=' sets anywhere in the project: ALASM lets them be set again.
std::set<std::string, std::less<>> settable_names(const std::vector<const TextFacts*>& project) {
    std::set<std::string, std::less<>> names;
    for (const TextFacts* facts : project) {
        for (const Definition& definition : facts->definitions) {
            if (definition.kind == NameKind::Variable) {
                names.insert(definition.name);
            }
        }
    }
    return names;
}

// The first definition of a project scope's `name`, before text `text`'s
// `definition` in the project's order, in a text assembled with it.
std::optional<Target> earlier_global(const std::vector<const TextFacts*>& project, std::size_t text,
                                     std::size_t definition, const std::vector<std::vector<bool>>& together) {
    const std::string& name = project[text]->definitions[definition].name;
    for (std::size_t t = 0; t <= text; ++t) {
        if (t != text && !together[text][t]) {
            continue;
        }
        const std::vector<Definition>& all = project[t]->definitions;
        const std::size_t end = t == text ? definition : all.size();
        for (std::size_t d = 0; d < end; ++d) {
            if (defines(all[d], name, 0) && !all[d].in_macro && all[d].kind != NameKind::Variable) {
                return Target{t, d};
            }
        }
    }
    return std::nullopt;
}

std::optional<Target> earlier_local(const TextFacts& facts, std::size_t text, std::size_t definition) {
    const Definition& defined = facts.definitions[definition];
    for (std::size_t d = 0; d < definition; ++d) {
        const Definition& other = facts.definitions[d];
        if (defines(other, defined.name, defined.scope) && !other.in_macro && other.kind != NameKind::Variable) {
            return Target{text, d};
        }
    }
    return std::nullopt;
}

}  // namespace

std::vector<Target> definitions_of(const std::vector<const TextFacts*>& project, const std::vector<bool>& with,
                                   std::size_t text, const Use& use) {
    std::vector<Target> found;
    const TextFacts& facts = *project[text];
    for (std::size_t scope = use.scope; scope != 0 && found.empty(); scope = facts.locals[scope - 1].parent) {
        for (std::size_t d = 0; d < facts.definitions.size(); ++d) {
            if (defines(facts.definitions[d], use.name, scope)) {
                found.push_back({text, d});
            }
        }
    }
    for (std::size_t t = 0; t < project.size() && found.empty(); ++t) {
        for (std::size_t d = 0; with[t] && d < project[t]->definitions.size(); ++d) {
            if (defines(project[t]->definitions[d], use.name, 0)) {
                found.push_back({t, d});
            }
        }
    }
    return found;
}

std::vector<Finding> project_problems(const std::vector<const TextFacts*>& project,
                                      const std::vector<std::string>& names, std::size_t text,
                                      const std::vector<std::vector<bool>>& together) {
    std::vector<Finding> problems;
    const TextFacts& facts = *project[text];
    const auto settable = settable_names(project);
    for (std::size_t d = 0; d < facts.definitions.size(); ++d) {
        const Definition& definition = facts.definitions[d];
        if (definition.in_macro || settable.count(definition.name) != 0) {
            continue;
        }
        const auto first = definition.scope == 0 ? earlier_global(project, text, d, together) : earlier_local(facts, text, d);
        if (first) {
            const Range& place = project[first->text]->definitions[first->definition].range;
            const std::string where = first->text == text ? "" : " of " + names[first->text];
            problems.push_back({definition.range,
                                definition.name + " is defined twice: first on line " +
                                    std::to_string(place.line + 1) + where,
                                kDefinedTwice});
        }
    }
    for (const Use& use : facts.uses) {
        if (!use.asks && !use.in_macro && definitions_of(project, together[text], text, use).empty()) {
            problems.push_back({use.range, use.name + " is not defined", std::nullopt});
        }
    }
    const bool disp_open = std::any_of(project.begin(), project.end(),
                                       [](const TextFacts* each) { return each->leaves_disp_open; });
    for (const Range& ent : facts.loose_ents) {
        if (!disp_open) {
            problems.push_back({ent, "ENT closes no block it opens", std::nullopt});
        }
    }
    return problems;
}

}  // namespace korve::lsp
