#include "lsp/lsp_features.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <iterator>

#include "lsp/lsp_project_addresses.h"
#include "lsp/lsp_reach.h"
#include "lsp/lsp_target.h"


namespace korve::lsp {
namespace {

using nlohmann::json;

// LSP's numbers for the kinds of symbols and diagnostics.
constexpr int kSymbolNamespace = 3;
constexpr int kSymbolMethod = 6;
constexpr int kSymbolFunction = 12;
constexpr int kSymbolVariable = 13;
constexpr int kSymbolConstant = 14;
constexpr int kError = 1;
constexpr int kWarning = 2;

std::string_view line_of(const ProjectText& text, std::size_t line) {
    return line < text.packed.lines.size() ? std::string_view(text.packed.lines[line]) : std::string_view();
}

json position(const ProjectText& text, std::size_t line, std::size_t offset, Encoding encoding) {
    return {{"line", line}, {"character", units_before(line_of(text, line), offset, encoding)}};
}

}  // namespace

json range_json(const ProjectText& text, const Range& range, Encoding encoding) {
    return {{"start", position(text, range.line, range.start, encoding)},
            {"end", position(text, range.line, range.end, encoding)}};
}

namespace {

json line_range(const ProjectText& text, std::size_t first, std::size_t last, Encoding encoding) {
    return {{"start", position(text, first, 0, encoding)},
            {"end", position(text, last, line_of(text, last).size(), encoding)}};
}

json diagnostic(const ProjectText& text, const Finding& finding, Encoding encoding) {
    json made = {{"range", range_json(text, finding.range, encoding)},
                 {"severity", finding.warning ? kWarning : kError},
                 {"source", "korvex"},
                 {"message", finding.text}};
    if (finding.code) {
        made["code"] = *finding.code;
    }
    return made;
}

json publish(Workspace& state, const ProjectView& view, const ProjectAddresses& addresses, std::size_t index) {
    const ProjectText& text = view.texts[index];
    std::vector<Finding> all = text.facts.problems;
    for (Finding& more : project_problems(view.facts(), view.names(), index, view.together)) {
        all.push_back(std::move(more));
    }
    const auto add = [&all](std::vector<Finding> more) {
        all.insert(all.end(), std::make_move_iterator(more.begin()), std::make_move_iterator(more.end()));
    };
    add(reach_problems(view, view.together[index], addresses, index));
    add(translation_reports(state, view, index));
    json diagnostics = json::array();
    for (const Finding& finding : all) {
        diagnostics.push_back(diagnostic(text, finding, state.encoding));
    }
    return {{"jsonrpc", "2.0"},
            {"method", "textDocument/publishDiagnostics"},
            {"params", {{"uri", text.uri}, {"diagnostics", std::move(diagnostics)}}}};
}

}  // namespace

int symbol_kind(NameKind kind) {
    switch (kind) {
        case NameKind::Label: return kSymbolFunction;
        case NameKind::Constant: return kSymbolConstant;
        case NameKind::Variable: return kSymbolVariable;
        case NameKind::Macro: return kSymbolMethod;
    }
    return kSymbolFunction;
}

namespace {

json symbol(const ProjectText& text, const Definition& definition, Encoding encoding) {
    const json range = range_json(text, definition.range, encoding);
    return {{"name", definition.name}, {"kind", symbol_kind(definition.kind)}, {"range", range},
            {"selectionRange", range}, {"children", json::array()}};
}

}  // namespace

Named named_at(const ProjectView& view, std::size_t line, std::size_t offset) {
    const ProjectText& text = view.texts[view.document];
    const auto within = [&](const Range& range) {
        return range.line == line && range.start <= offset && offset <= range.end;
    };
    const std::vector<Definition>& definitions = text.facts.definitions;
    for (std::size_t d = 0; d < definitions.size(); ++d) {
        if (within(definitions[d].range)) {
            return {definitions[d].name, {{view.document, d}}};
        }
    }
    for (const Use& use : text.facts.uses) {
        if (within(use.range)) {
            return {use.name, definitions_of(view.facts(), view.together[view.document], view.document, use)};
        }
    }
    return {};
}

namespace {

json location(const ProjectText& text, const Range& range, Encoding encoding) {
    return {{"uri", text.uri}, {"range", range_json(text, range, encoding)}};
}

}  // namespace

std::vector<json> diagnostics_for(Workspace& state, const std::string& uri) {
    const ProjectView view = project_of(state, uri);
    const ProjectAddresses addresses = addresses_of(state.cache, view);
    std::vector<json> sent;
    for (std::size_t i = 0; i < view.texts.size(); ++i) {
        if (i == view.document || state.open.count(view.texts[i].uri) != 0) {
            sent.push_back(publish(state, view, addresses, i));
        }
    }
    return sent;
}

json document_symbols(Workspace& state, const std::string& uri) {
    const ProjectView view = project_of(state, uri);
    const ProjectText& text = view.texts[view.document];
    const TextFacts& facts = text.facts;
    // Each LOCAL block a symbol, its labels its children; blocks nest.
    std::vector<json> blocks;
    for (std::size_t b = 0; b < facts.locals.size(); ++b) {
        const LocalBlock& block = facts.locals[b];
        const json range = line_range(text, block.first, block.last, state.encoding);
        blocks.push_back({{"name", "LOCAL"}, {"detail", "line " + std::to_string(block.first + 1)},
                          {"kind", kSymbolNamespace}, {"range", range},
                          {"selectionRange", line_range(text, block.first, block.first, state.encoding)},
                          {"children", json::array()}});
    }
    json top = json::array();
    for (const Definition& definition : facts.definitions) {
        json made = symbol(text, definition, state.encoding);
        (definition.scope == 0 ? top : blocks[definition.scope - 1]["children"]).push_back(std::move(made));
    }
    for (std::size_t b = facts.locals.size(); b-- > 0;) {
        const std::size_t parent = facts.locals[b].parent;
        (parent == 0 ? top : blocks[parent - 1]["children"]).push_back(std::move(blocks[b]));
    }
    return top;
}

json folding_ranges(Workspace& state, const std::string& uri) {
    const ProjectView view = project_of(state, uri);
    json folds = json::array();
    for (const Fold& fold : view.texts[view.document].facts.folds) {
        if (fold.last > fold.first) {
            folds.push_back({{"startLine", fold.first}, {"endLine", fold.last}});
        }
    }
    return folds;
}

json locations(Workspace& state, const std::string& uri, std::size_t line, std::size_t character,
               bool references, bool declarations) {
    const ProjectView view = project_of(state, uri);
    const ProjectText& text = view.texts[view.document];
    const std::size_t offset = offset_at(line_of(text, line), character, state.encoding);
    const Named named = named_at(view, line, offset);
    json found = json::array();
    if (!references || declarations) {
        for (const Target& target : named.targets) {
            const ProjectText& holder = view.texts[target.text];
            found.push_back(location(holder, holder.facts.definitions[target.definition].range, state.encoding));
        }
    }
    if (!references || named.targets.empty()) {
        return found;
    }
    const std::vector<const TextFacts*> facts = view.facts();
    for (std::size_t t = 0; t < view.texts.size(); ++t) {
        for (const Use& use : view.texts[t].facts.uses) {
            if (use.name != named.name) {
                continue;
            }
            const std::vector<Target> stands_for = definitions_of(facts, view.together[t], t, use);
            const bool same = std::any_of(stands_for.begin(), stands_for.end(), [&](const Target& target) {
                return std::find(named.targets.begin(), named.targets.end(), target) != named.targets.end();
            });
            if (same) {
                found.push_back(location(view.texts[t], use.range, state.encoding));
            }
        }
    }
    return found;
}

}  // namespace korve::lsp
