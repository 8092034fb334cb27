#include "translation/translation_statement.h"

#include "translation/translation_addresses.h"
#include "translation/translation_blocks.h"
#include "translation/translation_code.h"
#include "translation/translation_directives.h"

namespace korve {
namespace {

// The line as a comment that says why, keeping its label where there is
// one, so that the lines that use it still assemble.
void mark_untranslated(const TranslationRun& run, const Line& line, Output& output) {
    output.lines.clear();
    const LabelField label = label_field(line.field);
    if (line.has_mnemonic && is_name(label.name)) {
        add_label_definition(output.lines.emplace_back(), run, label);
    }
    std::string& reason = output.lines.emplace_back(kUntranslatedMark);
    reason += " cannot translate: ";
    reason += output.problem;
    output.lines.emplace_back(kUntranslatedMark) += line.text;
}

// NAME=e, and NAME EQU e of a name set again with '='. A name set more than
// once holds a 16-bit value, as any label not set in this file is taken to,
// and every one of its sets is one the target lets it set again.
void assign(TranslationRun& run, std::string_view name, std::string_view value,
            Output& output) {
    ValueRange range;
    const auto count = run.facts.assignments.find(name);
    const bool once = count != run.facts.assignments.end() && count->second == 1;
    const auto written =
        expression(run, value, once ? ValueUse::Definition : ValueUse::Exact, output, &range);
    if (!written) {
        return;
    }
    define(run, name);
    note_range(run, name, range);
    const DialectSpelling& spelling = run.spelling;
    std::string& text = output.lines.emplace_back();
    add_target_label(text, name, run.project.dialect);
    text += once ? spelling.set_once : spelling.set_again;
    text += *written;
}

// A line without a mnemonic: empty, a label, NAME=e, or a macro call.
void translate_text(TranslationRun& run, const Line& line, Output& output) {
    const std::string_view field = trim(line.field);
    if (field.empty()) {
        return;
    }
    if (const auto assignment = split_assignment(line.field)) {
        assign(run, assignment->first, assignment->second, output);
        return;
    }
    const LabelField label = label_field(line.field);
    if (!label.rest.empty()) {
        fail(output, "'" + std::string(field) + "' is neither a label nor a macro call");
        return;
    }
    if (label.indented && run.macros.count(label.name) != 0) {
        note_emitted(run);
        output.lines.push_back("\t" + std::string(label.name));
        return;
    }
    if (label.name.empty() || label.name.find_first_of("\"';,()") != std::string_view::npos) {
        fail(output, "'" + std::string(field) + "' is no label");
        return;
    }
    label_line(run, label, output);
}

// Whether the directive reads operands that ALASM stored as typed, after a
// string that held a ';'.
bool reads_untokenized(Directive directive) {
    return directive == Directive::Bytes || directive == Directive::Words ||
           directive == Directive::Space || directive == Directive::Display;
}

void translate_statement(TranslationRun& run, const Line& line, Output& output) {
    if (line.untokenized && !reads_untokenized(line.directive)) {
        fail(output, "after a string that holds a ';', ALASM stored no keywords");
        return;
    }
    const LabelField label = label_field(line.field);
    if (!label.rest.empty() || (!label.name.empty() && !is_label(label.name))) {
        fail(output, "'" + std::string(trim(line.field)) + "' is no label");
        return;
    }
    switch (line.directive) {
        case Directive::None: code(run, label, line, output); return;
        case Directive::Equ:
            if (set_again(run, label.name) && line.operands.size() == 1 &&
                classify(line.operands[0]).kind == OperandKind::Value) {
                assign(run, label.name, classify(line.operands[0]).text, output);
                return;
            }
            equate(run, label, line, output);
            return;
        case Directive::Bytes: data(run, label, line, output, false); return;
        case Directive::Words: data(run, label, line, output, true); return;
        case Directive::Space: space(run, label, line, output); return;
        case Directive::Packed: packed(run, label, line, output); return;
        case Directive::Run: fail(output, "RUN calls machine code while ALASM assembles"); return;
        default: break;
    }
    label_line(run, label, output);
    switch (line.directive) {
        case Directive::Org: origin(run, line, output); return;
        case Directive::Include:
        case Directive::Incbin:
        case Directive::Main: file(run, line, output); return;
        case Directive::Display: display(run, line, output); return;
        default: block(run, line, output); return;
    }
}

// Values a rotation reads twice, set before the line that reads them.
void put_helpers(TranslationRun& run, Output& output) {
    std::size_t at = run.helpers_after;
    for (const HelperValue& helper : run.helpers) {
        output.lines.insert(at++, helper.name + std::string(run.spelling.set_again) + helper.text);
    }
}

void translate(TranslationRun& run, const Line& line, Output& output) {
    if (run.facts.only_typed_text && is_typed_text(line)) {
        // A line of a help file: kept as it is, the source noted once as a whole.
        output.lines.push_back(std::string(kUntranslatedMark) + std::string(line.text));
        return;
    }
    if (in_block(run, BlockKind::Macro) && uses_parameters(line)) {
        fail(output, "a macro's parameters (\\0..\\9, \\C \\N \\S \\P \\R)");
    } else if (!line.comment.empty() && line.comment.front() != ';') {
        fail(output, "text that ALASM keeps as typed (after byte 0x10, or after a ';' in a string)");
    } else if (line.abandoned) {
        fail(output, "the line holds a keyword byte that ALASM does not define");
    } else if (!line.has_mnemonic) {
        translate_text(run, line, output);
    } else if (line.token == keyword::kSpace) {
        if (line.operands.empty() && trim(line.field).empty()) {
            output.lines.emplace_back();
        } else {
            fail(output, "a space keyword stands where the mnemonic should");
        }
    } else {
        translate_statement(run, line, output);
    }
    if (!output.problem.empty()) {
        run.helpers.clear();
        mark_untranslated(run, line, output);
        return;
    }
    put_helpers(run, output);
    run.helpers.clear();
    run.helpers_after = 0;
    if (!line.comment.empty()) {
        output.comment.assign(line.gap);
        output.comment += line.comment;
    }
    if (output.lines.empty()) {
        output.lines.emplace_back();
    }
}

}  // namespace

void translate_line(TranslationRun& run, const Line& line, Output& output) {
    translate(run, line, output);
    follow(run, line);
}

}  // namespace korve
