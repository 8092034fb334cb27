#include "translation/translation_run.h"

#include <algorithm>
#include <utility>

#include "base/hex_digits.h"

namespace korve {

std::string& OutputLines::emplace_back(std::string_view text) {
    if (used_ == lines_.size()) {
        lines_.emplace_back();
    }
    std::string& line = lines_[used_++];
    line.clear();
    line += text;  // most lines start empty, which assign() spends more on
    return line;
}

void OutputLines::insert(std::size_t at, std::string_view text) {
    emplace_back(text);
    const auto begin = lines_.begin();
    std::rotate(begin + static_cast<std::ptrdiff_t>(at), begin + static_cast<std::ptrdiff_t>(used_ - 1),
                begin + static_cast<std::ptrdiff_t>(used_));
}

std::string made_name(std::string_view kind, std::size_t index) {
    std::string name = "korve_";
    name += kind;
    name += std::to_string(index + 1);
    return name;
}

void fail(Output& output, std::string what) {
    if (output.problem.empty()) {
        output.problem = std::move(what);
    }
}

namespace {

// Whether the expression reads a name set more than once before the line
// that first sets it.
bool reads_name_too_early(const TranslationRun& run, const Expression& parsed, Output& output) {
    std::optional<std::string_view> early;  // the first such name in order
    for (const ExpressionNode& node : parsed.nodes) {
        if (node.kind != ExpressionKind::Label && node.kind != ExpressionKind::Defined) {
            continue;
        }
        if (!set_again(run, node.text)) {
            continue;  // as most are not: no need to look for where it is first set
        }
        const auto first = run.facts.first_assignment.find(node.text);
        if (first != run.facts.first_assignment.end() && run.at < first->second &&
            (!early || node.text < *early)) {
            early = node.text;
        }
    }
    if (early) {
        fail(output, std::string(*early) + " is set more than once and read before it is first set");
    }
    return early.has_value();
}

// {a}: ALASM reads the word at a as it assembles the line. The target reads
// the same where it assembles into memory, and the source wrote both bytes
// at an address known here before the line. Whether the expression may be
// written so; where it holds no {a}, it may.
bool reads_memory_as_alasm(TranslationRun& run, const Expression& parsed, Output& output) {
    bool reads = false;
    for (const ExpressionNode& node : parsed.nodes) {
        if (node.kind != ExpressionKind::Memory) {
            continue;
        }
        reads = true;
        const auto address = evaluate_node(parsed, node.left, run.known, run.here);
        if (!address || !run.written.covers(*address, 2)) {
            fail(output, "{...} reads ALASM's memory where this source is not known to have "
                         "written before the line");
            return false;
        }
    }
    if (!reads || run.in_memory) {
        return true;
    }
    const std::string target(run.spelling.name);
    if (run.spelling.memory.read[0].empty()) {
        fail(output, "{...} reads memory as it assembles, which " + target + " cannot");
        return false;
    }
    run.needs_memory = true;
    fail(output, "{...} reads memory as it assembles, which " + target +
                     " does only in device mode");
    return false;
}

}  // namespace

std::optional<std::string> expression(TranslationRun& run, std::string_view text, ValueUse use,
                                      Output& output, ValueRange* range, bool as_placed) {
    const ParsedExpression parsed = parse_expression(text);
    if (!parsed.expression) {
        fail(output, "'" + std::string(trim(text)) + "': " + parsed.problem);
        return std::nullopt;
    }
    if (reads_name_too_early(run, *parsed.expression, output) ||
        !reads_memory_as_alasm(run, *parsed.expression, output)) {
        return std::nullopt;
    }
    WriteOptions options;
    options.dialect = run.project.dialect;
    options.use = use;
    options.defined = &run.defined;
    options.reads_memory = run.in_memory;
    options.ranges = &run.ranges;
    std::string prefix = made_name("v", run.at);
    prefix += '_';
    options.helper_prefix = prefix;
    options.helper_count = run.helpers.size();
    const bool placed = as_placed && !run.disp_offset.empty();
    const bool bare = placed && offsets_here(*parsed.expression);
    options.here_offset = bare ? std::string_view() : std::string_view(run.disp_offset);
    WrittenExpression written = write_expression(*parsed.expression, options);
    if (!written.problem.empty()) {
        fail(output, std::move(written.problem));
        return std::nullopt;
    }
    if (placed && !bare) {
        written.text = grouped(written.text) + "-" + run.disp_offset;
    }
    for (HelperValue& helper : written.helpers) {
        run.helpers.push_back(std::move(helper));
    }
    if (range != nullptr) {
        *range = written.range;
    }
    return std::move(written.text);
}

std::optional<std::string> single_value(TranslationRun& run, const Line& line, Output& output,
                                        ValueUse use) {
    if (line.operands.size() != 1) {
        fail(output, std::string(line.word) + " takes one value");
        return std::nullopt;
    }
    const Classified operand = classify(line.operands[0]);
    if (operand.kind != OperandKind::Value) {
        fail(output, std::string(line.word) + " takes a value");
        return std::nullopt;
    }
    return expression(run, operand.text, use, output);
}

std::optional<std::uint16_t> known_value(const TranslationRun& run, std::string_view text) {
    const ParsedExpression parsed = parse_expression(text);
    if (!parsed.expression) {
        return std::nullopt;
    }
    return evaluate_expression(*parsed.expression, run.known, run.here);
}

std::string string_item(std::string_view quoted) {
    const std::string_view inside = quoted.substr(1, quoted.size() - 2);
    if (inside.find('\\') == std::string_view::npos) {
        return std::string(quoted);
    }
    std::string text = "'";
    for (const char c : inside) {
        text += c;
        if (c == '\'') {
            text += '\'';
        }
    }
    return text + "'";
}

std::string string_bytes(const TranslationRun& run, std::string_view quoted) {
    const std::string_view inside = quoted.substr(1, quoted.size() - 2);
    const auto high = [](char c) { return static_cast<unsigned char>(c) >= 0x80; };
    if (!run.project.high_bytes_as_numbers || std::none_of(inside.begin(), inside.end(), high)) {
        return string_item(quoted);
    }
    std::string items;
    for (std::size_t at = 0; at < inside.size();) {
        items += items.empty() ? "" : ",";
        const auto byte = static_cast<unsigned char>(inside[at]);
        if (high(inside[at])) {
            items += '#';
            append_hex(items, byte, 2);
            ++at;
            continue;
        }
        const auto end = std::find_if(inside.begin() + static_cast<std::ptrdiff_t>(at),
                                      inside.end(), high);
        const auto size = static_cast<std::size_t>(end - inside.begin()) - at;
        items += string_item("\"" + std::string(inside.substr(at, size)) + "\"");
        at += size;
    }
    return items;
}

std::string label_text(const TranslationRun& run, const LabelField& label) {
    std::string text;
    add_label_text(text, run, label);
    return text;
}

void add_label_text(std::string& text, const TranslationRun& run, const LabelField& label) {
    if (label.name.empty()) {
        return;
    }
    add_target_label(text, label.name, run.project.dialect);
    if (label.colon) {
        text += ':';
    }
}

// Looked up first: emplace would make a string of the name, most often one
// the set holds already. A source with no '?' never asks.
void define(TranslationRun& run, std::string_view name) {
    if (run.facts.has_question_mark && run.defined.find(name) == run.defined.end()) {
        // cppcheck-suppress stlFindInsert
        run.defined.emplace(name);
    }
}

// One set more often (in a repeat, say) is taken, like any other label, to
// hold a 16-bit value.
void note_range(TranslationRun& run, std::string_view name, ValueRange range) {
    const auto count = run.facts.assignments.find(name);
    if (count == run.facts.assignments.end() || count->second == 1) {
        run.ranges[std::string(name)] = range;
    }
}

bool set_again(const TranslationRun& run, std::string_view name) {
    const auto count = run.facts.assignments.find(name);
    return count != run.facts.assignments.end() && count->second > 1;
}

// In pasmo's stand-in for DISP, a label is the run address; a label that
// '=' sets too is set to it as a name the target lets one set again.
void add_label_definition(std::string& text, const TranslationRun& run, const LabelField& label) {
    const bool again = set_again(run, label.name);
    if (!again && run.disp_offset.empty()) {
        add_label_text(text, run, label);
        return;
    }
    add_target_label(text, label.name, run.project.dialect);
    text += again ? run.spelling.set_again : std::string_view("\tEQU\t");
    text += '$';
    if (!run.disp_offset.empty()) {
        text += '+';
        text += run.disp_offset;
    }
}

void label_line(TranslationRun& run, const LabelField& label, Output& output) {
    if (label.name.empty()) {
        return;
    }
    define(run, label.name);
    add_label_definition(output.lines.emplace_back(), run, label);
}

// In pasmo's stand-in for DISP, where helper values come before the line,
// or where the label is one '=' sets too, the label stands apart.
void emit(TranslationRun& run, const LabelField& label, std::string_view mnemonic,
          std::string_view operands, Output& output) {
    if (!run.helpers.empty() && !label.name.empty()) {
        // The label first: the helper values may read it.
        label_line(run, label, output);
        run.helpers_after = output.lines.size();
        add_instruction(output.lines.emplace_back(), mnemonic, operands);
        return;
    }
    if (!label.name.empty() && (!run.disp_offset.empty() || set_again(run, label.name))) {
        label_line(run, label, output);
        add_instruction(output.lines.emplace_back(), mnemonic, operands);
        return;
    }
    if (!label.name.empty()) {
        define(run, label.name);
    }
    std::string& text = output.lines.emplace_back();
    add_label_text(text, run, label);
    add_instruction(text, mnemonic, operands);
}

void note_emitted(TranslationRun& run) {
    run.emitted = run.emitted || !in_block(run, BlockKind::Macro);
}

bool in_block(const TranslationRun& run, BlockKind kind) {
    return run.open_blocks[static_cast<std::size_t>(kind)] > 0;
}

}  // namespace korve
