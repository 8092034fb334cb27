#include "lsp/lsp_edit.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <set>
#include <tuple>

#include "formats/alasm_tokens.h"
#include "lsp/lsp_features.h"
#include "lsp/lsp_hover.h"
#include "translation/translation_line.h"

namespace korve::lsp {
namespace {

using nlohmann::json;

std::string upper(std::string_view from) {
    std::string made(from);
    for (char& c : made) {
        c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
    }
    return made;
}

std::string_view line_text(const ProjectText& text, std::size_t line) {
    return line < text.packed.lines.size() ? std::string_view(text.packed.lines[line]) : std::string_view();
}

// Whether text `text` defines `name` in a LOCAL block from `scope` out to
// `outer` (not that one).
bool defined_between(const TextFacts& facts, std::size_t scope, std::size_t outer, std::string_view name) {
    for (std::size_t in = scope; in != 0 && in != outer; in = facts.locals[in - 1].parent) {
        const bool found = std::any_of(facts.definitions.begin(), facts.definitions.end(),
                                       [&](const Definition& each) { return each.scope == in && each.name == name; });
        if (found) {
            return true;
        }
    }
    return false;
}

// Why ALASM would not take `name` for the definitions `named` stands for.
std::optional<std::string> refusal(const ProjectView& view, const Named& named, const std::string& name) {
    if (!is_name(name)) {
        return "'" + name + "' is no label ALASM takes: a letter, '_' or '@', then those, digits or '?'";
    }
    if (encode_token(upper(name), TokenMode::First) || encode_token(upper(name), TokenMode::Operand)) {
        return "'" + name + "' is a keyword of ALASM";
    }
    if ((name.front() == '@') != (named.name.front() == '@')) {
        return "'@' would move " + named.name + " to another scope";
    }
    const Target& first = named.targets.front();
    const std::size_t scope = view.texts[first.text].facts.definitions[first.definition].scope;
    const std::vector<const TextFacts*> project = view.facts();
    for (std::size_t t = 0; t < view.texts.size(); ++t) {
        const TextFacts& facts = view.texts[t].facts;
        for (const Definition& each : facts.definitions) {
            if (each.name == name && each.scope == scope && (scope == 0 || t == first.text)) {
                return name + " is already defined on line " + std::to_string(each.range.line + 1) + " of " +
                       view.texts[t].name;
            }
        }
        for (const Use& use : facts.uses) {
            const auto stands_for = definitions_of(project, view.together[t], t, use);
            const bool ours = use.name == named.name &&
                              std::any_of(stands_for.begin(), stands_for.end(), [&](const Target& target) {
                                  return std::find(named.targets.begin(), named.targets.end(), target) !=
                                         named.targets.end();
                              });
            if (ours && defined_between(facts, use.scope, scope, name)) {
                return "a LOCAL block defines " + name + ": the use on line " + std::to_string(use.range.line + 1) +
                       " of " + view.texts[t].name + " would stand for that one";
            }
        }
    }
    return std::nullopt;
}

}  // namespace

std::variant<json, std::string> rename(Workspace& state, const std::string& uri, std::size_t line,
                                       std::size_t character, const std::string& name) {
    const ProjectView view = project_of(state, uri);
    const std::size_t offset = offset_at(line_text(view.texts[view.document], line), character, state.encoding);
    const Named named = named_at(view, line, offset);
    if (named.targets.empty()) {
        return std::string(named.name.empty() ? "no name stands there" : named.name + " is not defined");
    }
    if (auto refused = refusal(view, named, name)) {
        return std::move(*refused);
    }
    // Every definition the name stands for and every use that stands for one of them.
    std::set<std::tuple<std::size_t, std::size_t, std::size_t, std::size_t>> places;
    for (const Target& target : named.targets) {
        const Range& range = view.texts[target.text].facts.definitions[target.definition].range;
        places.emplace(target.text, range.line, range.start, range.end);
    }
    const std::vector<const TextFacts*> facts = view.facts();
    for (std::size_t t = 0; t < view.texts.size(); ++t) {
        for (const Use& use : view.texts[t].facts.uses) {
            if (use.name != named.name) {
                continue;
            }
            const auto stands_for = definitions_of(facts, view.together[t], t, use);
            if (std::any_of(stands_for.begin(), stands_for.end(), [&](const Target& target) {
                    return std::find(named.targets.begin(), named.targets.end(), target) != named.targets.end();
                })) {
                places.emplace(t, use.range.line, use.range.start, use.range.end);
            }
        }
    }
    json changes = json::object();
    for (const auto& [t, at, start, end] : places) {
        const ProjectText& text = view.texts[t];
        if (!changes.contains(text.uri)) {
            changes[text.uri] = json::array();
        }
        changes[text.uri].push_back({{"range", range_json(text, {at, start, end}, state.encoding)}, {"newText", name}});
    }
    return json{{"changes", std::move(changes)}};
}

json prepare_rename(Workspace& state, const std::string& uri, std::size_t line, std::size_t character) {
    const ProjectView view = project_of(state, uri);
    const ProjectText& text = view.texts[view.document];
    const std::string_view shown = line_text(text, line);
    const std::size_t offset = offset_at(shown, character, state.encoding);
    const Named named = named_at(view, line, offset);
    if (named.targets.empty()) {
        return nullptr;
    }
    const Range word = word_at(shown, line, offset);
    return {{"range", range_json(text, word, state.encoding)}, {"placeholder", named.name}};
}

json workspace_symbols(Workspace& state, const std::string& query) {
    const std::string wanted = upper(query);
    json found = json::array();
    std::set<std::tuple<std::string, std::size_t, std::string>> listed;
    for (const auto& [uri, document] : state.open) {
        const ProjectView view = project_of(state, uri);
        for (const ProjectText& text : view.texts) {
            for (const Definition& definition : text.facts.definitions) {
                if (upper(definition.name).find(wanted) == std::string::npos ||
                    !listed.emplace(text.uri, definition.range.line, definition.name).second) {
                    continue;
                }
                found.push_back({{"name", definition.name},
                                 {"kind", symbol_kind(definition.kind)},
                                 {"location", {{"uri", text.uri}, {"range", range_json(text, definition.range, state.encoding)}}},
                                 {"containerName", text.name}});
            }
        }
    }
    return found;
}

json formatting(const Workspace& state, const std::string& uri, TextLayout layout) {
    const auto open = state.open.find(uri);
    if (open == state.open.end()) {
        return json::array();
    }
    const std::string& was = open->second.text;
    const PackedText packed = pack_text(was, state.page);
    if (!packed.problems.empty() || !packed.source) {
        return json::array();
    }
    std::string text;
    const std::string_view line_end = was.find("\r\n") != std::string::npos ? "\r\n" : "\n";
    const AlasmSource& source = *packed.source;
    for (std::size_t i = 0; i < source.size(); ++i) {
        append_utf8(text, state.page, laid_out(source.line(i), layout).text);
        text += line_end;
    }
    // The text ends as it ended: with a line end, or without one.
    if (!was.empty() && was.back() != '\n' && text.size() >= line_end.size()) {
        text.resize(text.size() - line_end.size());
    }
    if (text == was) {
        return json::array();
    }
    const std::size_t last = packed.lines.size() - 1;
    const json end = {{"line", last}, {"character", units_before(packed.lines[last], packed.lines[last].size(), state.encoding)}};
    return json::array({{{"range", {{"start", {{"line", 0}, {"character", 0}}}, {"end", end}}}, {"newText", text}}});
}

}  // namespace korve::lsp
