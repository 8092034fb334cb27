#include "lsp/lsp_hover.h"

#include <nlohmann/json.hpp>

#include <set>

#include "alasm/alasm_expression.h"
#include "base/hex_digits.h"
#include "lsp/lsp_project_addresses.h"
#include "lsp/lsp_features.h"
#include "lsp/lsp_keywords.h"

namespace korve::lsp {
namespace {

using nlohmann::json;

// LSP's CompletionItemKind numbers.
constexpr int kItemMethod = 2;
constexpr int kItemFunction = 3;
constexpr int kItemVariable = 6;
constexpr int kItemKeyword = 14;
constexpr int kItemEnumMember = 20;
constexpr int kItemConstant = 21;

std::string word_value(std::uint16_t value) { return "#" + hex_digits(value, 4) + " (" + std::to_string(value) + ")"; }

std::string_view kind_name(NameKind kind) {
    switch (kind) {
        case NameKind::Label: return "label";
        case NameKind::Constant: return "EQU";
        case NameKind::Variable: return "=";
        case NameKind::Macro: return "macro";
    }
    return "label";
}

// What ALASM gives each definition the name stands for.
std::string name_hover(const ProjectView& view, const ProjectAddresses& addresses, const Named& named) {
    if (named.targets.empty()) {
        return "`" + named.name + "` is not defined";
    }
    std::string text;
    for (const Target& target : named.targets) {
        const ProjectText& holder = view.texts[target.text];
        const Definition& definition = holder.facts.definitions[target.definition];
        text += text.empty() ? "" : "\n\n";
        text += "`" + definition.name + "` (" + std::string(kind_name(definition.kind)) + ", " + holder.name +
                ":" + std::to_string(definition.range.line + 1) + ")";
        if (definition.kind == NameKind::Macro) {
            continue;
        }
        const auto value = value_at(addresses, target.text, definition.range.line);
        text += value ? " = " + word_value(*value) : ": no value known (an address or a size before it is not)";
    }
    return text;
}

// Where a line's bytes lie, and the bytes where they are known.
std::string line_hover(const Placed& placed) {
    std::string text = std::to_string(placed.size) + (placed.size == 1 ? " byte" : " bytes") + " at #" +
                       hex_digits(placed.address, 4);
    if (placed.run != placed.address) {
        text += ", run at #" + hex_digits(placed.run, 4) + " (DISP)";
    }
    if (placed.bytes) {
        constexpr std::size_t kShown = 32;
        text += ":";
        for (std::size_t i = 0; i < placed.bytes->size() && i < kShown; ++i) {
            text += ' ';
            append_hex(text, static_cast<unsigned char>((*placed.bytes)[i]), 2);
        }
        text += placed.bytes->size() > kShown ? " .." : "";
    }
    return text;
}

std::string_view line_text(const ProjectText& text, std::size_t line) {
    return line < text.packed.lines.size() ? std::string_view(text.packed.lines[line]) : std::string_view();
}

}  // namespace

Range word_at(std::string_view text, std::size_t line, std::size_t offset) {
    std::size_t start = std::min(offset, text.size());
    std::size_t end = start;
    while (start > 0 && continues_alasm_name(text[start - 1])) {
        --start;
    }
    while (end < text.size() && continues_alasm_name(text[end])) {
        ++end;
    }
    return {line, start, end};
}

json hover(Workspace& state, const std::string& uri, std::size_t line, std::size_t character) {
    const ProjectView view = project_of(state, uri);
    const ProjectText& text = view.texts[view.document];
    const std::string_view shown = line_text(text, line);
    const std::size_t offset = offset_at(shown, character, state.encoding);
    const ProjectAddresses addresses = addresses_of(state.cache, view);
    const Named named = named_at(view, line, offset);
    const Range word = word_at(shown, line, offset);
    std::string said;
    if (!named.name.empty()) {
        said = name_hover(view, addresses, named);
    } else if (const auto help = help_on(shown.substr(word.start, word.end - word.start)); help && word.end > word.start) {
        said = "`" + std::string(shown.substr(word.start, word.end - word.start)) + "`: " + std::string(*help);
    }
    if (const Placed* placed = placed_at(addresses, view.document, line)) {
        said += (said.empty() ? "" : "\n\n") + line_hover(*placed);
    }
    if (said.empty()) {
        return nullptr;
    }
    json made = {{"contents", {{"kind", "markdown"}, {"value", said}}}};
    if (word.end > word.start) {
        made["range"] = range_json(text, word, state.encoding);
    }
    return made;
}

json completion(Workspace& state, const std::string& uri, std::size_t line, std::size_t character) {
    const ProjectView view = project_of(state, uri);
    const ProjectText& text = view.texts[view.document];
    const std::string_view shown = line_text(text, line);
    const std::size_t offset = offset_at(shown, character, state.encoding);
    const Range word = word_at(shown.substr(0, offset), line, offset);
    const std::string_view prefix = shown.substr(word.start, offset - word.start);
    const auto upper = [](std::string_view from) {
        std::string made(from);
        for (char& c : made) {
            c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
        }
        return made;
    };
    const std::string wanted = upper(prefix);
    const auto fits = [&](std::string_view name) { return upper(name.substr(0, wanted.size())) == wanted; };
    // The LOCAL blocks around the line, innermost first, and the project's scope.
    std::set<std::size_t> scopes = {0};
    const std::vector<LocalBlock>& locals = text.facts.locals;
    for (std::size_t b = locals.size(); b-- > 0;) {
        if (locals[b].first <= line && line <= locals[b].last) {
            for (std::size_t in = b + 1; in != 0; in = locals[in - 1].parent) {
                scopes.insert(in);
            }
            break;
        }
    }
    json items = json::array();
    std::set<std::string, std::less<>> offered;
    const auto offer = [&](std::string_view name, int kind, std::string_view detail) {
        if (fits(name) && offered.emplace(name).second) {
            items.push_back({{"label", name}, {"kind", kind}, {"detail", detail}});
        }
    };
    for (std::size_t t = 0; t < view.texts.size(); ++t) {
        for (const Definition& definition : view.texts[t].facts.definitions) {
            const bool seen = definition.scope == 0 || (t == view.document && scopes.count(definition.scope) != 0);
            if (seen && !definition.in_macro) {
                static constexpr std::array<int, 4> kKinds = {kItemFunction, kItemConstant, kItemVariable, kItemMethod};
                offer(definition.name, kKinds[static_cast<std::size_t>(definition.kind)],
                      view.texts[t].name + ":" + std::to_string(definition.range.line + 1));
            }
        }
    }
    for (const KeywordHelp& keyword : keyword_help()) {
        offer(keyword.word, kItemKeyword, keyword.text);
    }
    for (const std::string_view name : register_words()) {
        offer(name, kItemEnumMember, "register or condition");
    }
    return {{"isIncomplete", false}, {"items", std::move(items)}};
}

}  // namespace korve::lsp
