#include "translation/alasm_translation.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <utility>

#include "alasm/alasm_text.h"
#include "translation/translation_addresses.h"
#include "translation/translation_blocks.h"
#include "translation/translation_layout.h"
#include "translation/translation_line.h"
#include "translation/translation_run.h"
#include "translation/translation_statement.h"
#include "translation/translation_survey.h"

namespace korve {
namespace {

// What a run through the whole source, its output thrown away, finds that
// lines make to the output of earlier ones: in the order of the lines they
// change, and for one line in the order they were made.
std::vector<OutputEdit> edits_to_earlier_lines(const Project& project, const AlasmSource& source,
                                               const SourceFacts& facts) {
    TranslationRun run(project, source, facts);
    LineReader reader(source);
    Output output;
    for (; run.at < source.size(); ++run.at) {
        clear(output);
        translate_line(run, reader.read(run.at), output);
    }
    std::stable_sort(run.edits.begin(), run.edits.end(),
                     [](const OutputEdit& a, const OutputEdit& b) { return a.line < b.line; });
    return std::move(run.edits);
}

// An edit to a line's output, its comment kept apart.
void apply(const OutputEdit& edit, Output& output) {
    if (edit.kind == OutputEdit::Kind::Append) {
        output.lines.back() += edit.text;
    } else {
        output.lines.insert(0, edit.text);
    }
}

std::string joined_lines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += "\n" + line;
    }
    return text;
}

// The first line with the heading that says it is a translation: at its end
// where the target takes the line as one, else a line before it.
std::string headed(Dialect dialect, const std::string& text) {
    const std::string heading = translated_heading(dialect);
    if (dialect_spelling(dialect).separator.empty() || text.find('\n') != std::string::npos) {
        return heading + "\n" + text;
    }
    return text.empty() ? heading : text + " " + heading;
}

// Whether an ORG's value is one no later line changes: no $, and no name
// set more than once.
bool settled_origin(const SourceFacts& facts, const Line& line) {
    if (line.operands.size() != 1) {
        return false;
    }
    const std::string text = classify(line.operands[0]).text;
    const auto name_part = [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
               c == '.' || c == '?' || c == '@' || static_cast<unsigned char>(c) >= 0x80;
    };
    for (std::size_t at = 0; at < text.size();) {
        if (text[at] == '$') {
            return false;
        }
        if (!name_part(text[at])) {
            ++at;
            continue;
        }
        const std::size_t end = std::find_if_not(text.begin() + static_cast<std::ptrdiff_t>(at), text.end(),
                                                 name_part) - text.begin();
        const std::string_view word = std::string_view(text).substr(at, end - at);
        const bool number = (word[0] >= '0' && word[0] <= '9') ||
                            (at > 0 && (text[at - 1] == '#' || text[at - 1] == '%'));
        const auto set = facts.assignments.find(word);
        if (!number && set != facts.assignments.end() && set->second > 1) {
            return false;
        }
        at = end;
    }
    return true;
}

// Whether a source assembled into memory can keep its lines' numbers, its
// ORGs labelled (translation_memory.h): it includes none and none includes
// it, and its ORGs stand outside blocks, unlabelled, at settled values.
bool origins_labelled(const Project& project, const AlasmSource& source, const SourceFacts& facts,
                      std::string_view file_name) {
    if (project.included_files.contains(std::string(file_name) + std::string(kTextSuffix))) {
        return false;
    }
    std::size_t depth = 0;
    LineReader reader(source);
    for (std::size_t i = 0; i < source.size(); ++i) {
        const Line& line = reader.read(i);
        switch (line.has_mnemonic ? line.directive : Directive::None) {
            case Directive::Include: return false;
            case Directive::Dup:
            case Directive::Repeat:
            case Directive::IfZero:
            case Directive::IfNotZero:
            case Directive::Disp:
            case Directive::Local:
            case Directive::Macro: ++depth; break;
            case Directive::Edup:
            case Directive::Until:
            case Directive::EndIf:
            case Directive::Ent:
            case Directive::EndLocal:
            case Directive::EndMacro: depth -= depth > 0 ? 1 : 0; break;
            case Directive::Org:
                if (depth > 0 || !trim(line.field).empty() || !settled_origin(facts, line)) {
                    return false;
                }
                break;
            default: break;
        }
    }
    return true;
}

// The facts settle_project found of the source, or, for one the project
// was not settled with, the facts found now.
std::shared_ptr<const SourceFacts> facts_of(const Project& project, const AlasmSource& source) {
    const auto settled = project.settled.find(&source);
    if (settled != project.settled.end() && settled->second.lines == source.size()) {
        return settled->second.facts;
    }
    return std::make_shared<const SourceFacts>(survey_source(project, source));
}

}  // namespace

// Goes through the source for its facts, and for the edits that later lines
// make to earlier ones where any line may make them; then translates a line
// at each call, the edits applied.
class Translator {
public:
    Translator(const Project& project, const AlasmSource& source, std::string_view file_name)
        : project_(project), source_(source), facts_(facts_of(project_, source_)),
          file_name_(file_name), reader_(source) {
        if (facts_->org_after_repeat && !dialect_spelling(project_.dialect).keeps_memory_image) {
            edits_ = edits_to_earlier_lines(project_, source_, *facts_);
        }
        run_.emplace(project_, source_, *facts_);
        if (run_->in_memory && origins_labelled(project_, source_, *facts_, file_name_)) {
            run_->labelled_origins.emplace();
        }
    }

    bool done() const { return run_->at >= source_.size(); }

    void next(TranslatedLine& line) {
        line.untranslated.reset();
        if (done()) {
            line.text.clear();
            return;
        }
        TranslationRun& run = *run_;
        const std::size_t index = run.at;
        Output& output = output_;
        clear(output);
        translate_line(run, reader_.read(index), output);
        run.edits.clear();  // known already
        for (; next_edit_ < edits_.size() && edits_[next_edit_].line == index; ++next_edit_) {
            apply(edits_[next_edit_], output);
        }
        if (run.in_memory && index == 0 && run.labelled_origins) {
            output.lines.push_back(instruction({}, "DEVICE", run.spelling.memory.device));
            if (output.comment.starts_with(';')) {
                output.comment.insert(0, 1, ' ');  // a comment at column 0 moves past it
            }
        } else if (run.in_memory && index == 0) {
            const auto prologue = memory_prologue(run.spelling);
            for (std::size_t i = 0; i < prologue.size(); ++i) {
                output.lines.insert(i, prologue[i]);
            }
        }
        if (!output.problem.empty()) {
            line.untranslated = UntranslatedLine{index + 1, std::move(output.problem)};
        }
        lay_out(run.spelling, output.lines.all(), output.comment, line.text);
        if (index == 0) {
            line.text = headed(project_.dialect, line.text);
        }
        if (run.in_memory && index + 1 == source_.size()) {
            line.text += joined_lines(memory_epilogue(run.spelling, file_name_, run.labelled_origins));
        }
        ++run.at;
    }

    std::vector<UntranslatedLine> end_problems() const { return open_blocks_at_end(*run_); }

    std::string note() const {
        return facts_->only_typed_text
                   ? "the whole text is what ALASM keeps as typed (after byte 0x10), as a help "
                     "file is: its lines are kept as comments"
                   : std::string();
    }

private:
    const Project project_;
    const AlasmSource& source_;
    const std::shared_ptr<const SourceFacts> facts_;
    const std::string file_name_;
    LineReader reader_;
    Output output_;  // the line's, its room kept for the next
    std::vector<OutputEdit> edits_;
    std::size_t next_edit_ = 0;
    std::optional<TranslationRun> run_;
};

SourceTranslation::SourceTranslation(const Project& project, const AlasmSource& source,
                                     std::string_view file_name)
    : translator_(std::make_unique<Translator>(project, source, file_name)) {}
SourceTranslation::SourceTranslation(SourceTranslation&&) noexcept = default;
SourceTranslation& SourceTranslation::operator=(SourceTranslation&&) noexcept = default;
SourceTranslation::~SourceTranslation() = default;

bool SourceTranslation::done() const { return translator_->done(); }
TranslatedLine SourceTranslation::next() {
    TranslatedLine line;
    translator_->next(line);
    return line;
}
void SourceTranslation::next(TranslatedLine& line) { translator_->next(line); }
std::vector<UntranslatedLine> SourceTranslation::end_problems() const {
    return translator_->end_problems();
}
std::string SourceTranslation::note() const { return translator_->note(); }

namespace {

// Whether a line might need the target to assemble into memory, as far as
// $ and the labels followed so far tell (the run's are those a translation
// has at the line): an ORG to a known address below a known $, or a '{'.
// What a translation asks besides (the ORG outside DISP, after bytes, its
// value written) only ever says no.
bool may_go_back(const TranslationRun& run, const Line& line) {
    if (line.text.find('{') != std::string_view::npos) {
        return true;
    }
    if (!line.has_mnemonic || line.directive != Directive::Org || line.operands.size() != 1 ||
        !run.here) {
        return false;
    }
    const auto address = known_value(run, classify(line.operands[0]).text);
    return address && *address < *run.here;
}

// A source's rest surveyed (survey_rest); where the project's target can
// assemble into memory, the survey's lines followed besides, for whether
// some line might need memory: $ and the labels followed through the source
// as a translation follows them (translation_addresses.h), which costs a
// fraction of translating it. Its macros are the project's from the first
// line on, as a translation's are. Gives whether some line might.
bool survey_and_follow(const Project& project, const AlasmSource& source, SourceFacts& facts,
                       const NameSet& asked) {
    if (dialect_spelling(project.dialect).memory.device.empty()) {
        survey_rest(project, source, facts, asked);
        return false;
    }
    TranslationRun run(project, source, facts);
    bool may = false;
    survey_rest(project, source, facts, asked, [&](LineReader& reader, std::size_t index) {
        if (may) {
            return;
        }
        // An instruction's operands tell its size, which only a known $ needs.
        const Line& line = run.here ? reader.with_operands() : reader.line();
        run.at = index;
        may = may_go_back(run, line);
        if (!may) {
            follow(run, line);
        }
    });
    return may;
}

// Whether a line of the source would translate only if the target
// assembled into memory: its translation, thrown away, says so, where
// following $ does not rule it out first.
bool needs_memory(const Project& project, const AlasmSource& source, const SourceFacts& facts,
                  bool goes_back) {
    if (!facts.may_need_memory || !goes_back) {
        return false;
    }
    TranslationRun run(project, source, facts);
    LineReader reader(source);
    Output output;
    for (; run.at < source.size() && !run.needs_memory; ++run.at) {
        clear(output);
        translate_line(run, reader.read(run.at), output);
    }
    return run.needs_memory;
}

}  // namespace

// Each source's first look, then, once the project's macros are known, the
// rest of its facts, kept for its translation.
void collect_macros(const AlasmSource& source, std::set<std::string, std::less<>>& names) {
    LineReader reader(source);
    for (std::size_t i = 0; i < source.size(); ++i) {
        if (auto name = defined_macro(reader.read(i))) {
            names.insert(std::move(*name));
        }
    }
}

void settle_project(Project& project, std::span<const AlasmSource* const> sources) {
    std::vector<std::shared_ptr<SourceFacts>> facts;
    for (const AlasmSource* source : sources) {
        facts.push_back(std::make_shared<SourceFacts>(first_look(*source)));
        project.macros.insert(facts.back()->macros.begin(), facts.back()->macros.end());
    }
    NameSet asked;
    for (const auto& each : facts) {
        for (const auto& name_and_line : each->asked_defined) {
            asked.insert(name_and_line.first);
        }
    }
    project.defining_sources.clear();
    project.disp_left_open = false;
    project.settled.clear();
    std::vector<bool> goes_back(sources.size());
    for (std::size_t i = 0; i < sources.size(); ++i) {
        SourceFacts& each = *facts[i];
        each.macros = project.macros;
        goes_back[i] = survey_and_follow(project, *sources[i], each, asked);
        for (const std::string& name : each.defined_names) {
            ++project.defining_sources[name];
        }
        each.defined_names.clear();
        project.disp_left_open = project.disp_left_open || each.leaves_disp_open;
        project.settled[sources[i]] = {sources[i]->size(), facts[i]};
    }
    project.included_files.clear();
    for (const auto& each : facts) {
        for (const std::string& name : each->included) {
            project.included_files.insert(include_file(project, name));
        }
    }
    project.in_memory = false;
    if (dialect_spelling(project.dialect).memory.device.empty()) {
        return;
    }
    for (std::size_t i = 0; i < sources.size() && !project.in_memory; ++i) {
        project.in_memory = needs_memory(project, *sources[i], *facts[i], goes_back[i]);
    }
}

std::vector<std::string> included_sources(const AlasmSource& source) {
    std::vector<std::string> names;
    LineReader reader(source);
    for (std::size_t i = 0; i < source.size(); ++i) {
        if (auto name = included_source(reader.read(i))) {
            names.push_back(std::move(*name));
        }
    }
    return names;
}

}  // namespace korve
