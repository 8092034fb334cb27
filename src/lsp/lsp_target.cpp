#include "lsp/lsp_target.h"

#include "inputs/source_text.h"
#include "translation/alasm_translation.h"
#include "translation/translation_project.h"

namespace korve::lsp {
namespace {

// Line `number` (from 1) of a text, whole, as a place.
Range line_range(const PackedText& packed, std::size_t number) {
    const std::size_t line = number == 0 ? 0 : number - 1;
    return {line, 0, line < packed.lines.size() ? packed.lines[line].size() : 0};
}

std::vector<Finding> reports_of(const Project& project, const ProjectText& text) {
    std::vector<Finding> found;
    const std::string said = std::string(dialect_spelling(project.dialect).name) + ": cannot translate: ";
    SourceTranslation translation(project, *text.packed.source, text.name);
    if (const std::string note = translation.note(); !note.empty()) {
        found.push_back({line_range(text.packed, 1), std::string(dialect_spelling(project.dialect).name) + ": " + note,
                         std::nullopt, true});
    }
    while (!translation.done()) {
        const TranslatedLine line = translation.next();
        if (line.untranslated) {
            found.push_back({line_range(text.packed, line.untranslated->number), said + line.untranslated->reason,
                             std::nullopt, true});
        }
    }
    for (const UntranslatedLine& line : translation.end_problems()) {
        found.push_back({line_range(text.packed, line.number), said + line.reason, std::nullopt, true});
    }
    return found;
}

// Translates every text of the project that packed, as korvex text
// translates a folder's texts.
std::vector<std::vector<Finding>> translate_project(Dialect dialect, const ProjectView& view) {
    Project project;
    project.dialect = dialect;
    project.high_bytes_as_numbers = true;  // the editor's text is UTF-8, as --charset writes it
    std::vector<const AlasmSource*> sources;
    for (const ProjectText& text : view.texts) {
        if (const auto stem = text_stem(text.name)) {
            project.includes.emplace(*stem, text.name);
            project.includes.emplace(text_include_key(*stem), text.name);
        }
        if (text.packed.source) {
            sources.push_back(&*text.packed.source);
        }
    }
    settle_project(project, sources);
    std::vector<std::vector<Finding>> reports(view.texts.size());
    for (std::size_t i = 0; i < view.texts.size(); ++i) {
        if (view.texts[i].packed.source) {
            reports[i] = reports_of(project, view.texts[i]);
        }
    }
    return reports;
}

}  // namespace

bool target_named(std::string_view name, std::optional<Dialect>& target) {
    if (name == "none") {
        target.reset();
        return true;
    }
    for (const Dialect dialect : {Dialect::Sjasmplus, Dialect::Pasmo}) {
        if (name == dialect_spelling(dialect).name) {
            target = dialect;
            return true;
        }
    }
    return false;
}

std::vector<Finding> translation_reports(Workspace& state, const ProjectView& view, std::size_t text) {
    if (!state.target) {
        return {};
    }
    TranslationReports& kept = state.cache.translation;
    bool same = kept.dialect == *state.target && kept.texts.size() == view.texts.size();
    for (std::size_t i = 0; same && i < view.texts.size(); ++i) {
        same = kept.texts[i] == view.texts[i].read;
    }
    if (!same) {
        kept.dialect = *state.target;
        kept.texts.clear();
        for (const ProjectText& each : view.texts) {
            kept.texts.push_back(each.read);
        }
        kept.reports = translate_project(*state.target, view);
    }
    return kept.reports[text];
}

}  // namespace korve::lsp
