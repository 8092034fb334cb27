#include "translation/translation_blocks.h"

#include <array>
#include <utility>

#include "base/fnv_digest.h"

namespace korve {
namespace {

// REPEAT .. UNTIL0 repeats at most this often where the target has no loop
// on a condition.
constexpr std::string_view kMostRepeats = "65535";

void open(TranslationRun& run, BlockKind kind, std::string value = {}) {
    run.blocks.push_back({kind, run.at, std::move(value), false});
    ++run.open_blocks[static_cast<std::size_t>(kind)];
}

std::optional<Block> close(TranslationRun& run, BlockKind kind, Output& output,
                           std::string_view word) {
    if (run.blocks.empty() || run.blocks.back().kind != kind) {
        fail(output, std::string(word) + " closes no block it opens");
        return std::nullopt;
    }
    Block closed = std::move(run.blocks.back());
    run.blocks.pop_back();
    --run.open_blocks[static_cast<std::size_t>(kind)];
    return closed;
}

void no_operands(const Line& line, Output& output) {
    if (!line.operands.empty()) {
        fail(output, std::string(line.word) + " takes nothing");
    }
}

// "e == 0" in the target's terms.
std::string zero_test(TranslationRun& run, const Line& line, Output& output) {
    if (line.operands.size() != 1) {
        fail(output, std::string(line.word) + " takes one value");
        return {};
    }
    const Classified operand = classify(line.operands[0]);
    const auto value = expression(run, operand.text, ValueUse::Exact, output);
    if (!value) {
        return {};
    }
    return grouped(*value) + std::string(run.spelling.zero_test);
}

void repeat_open(TranslationRun& run, const Line& line, Output& output) {
    const auto count = single_value(run, line, output);
    if (!count) {
        return;
    }
    open(run, BlockKind::Dup, grouped(*count));
    output.lines.push_back(instruction({}, run.spelling.repeat_open, *count));
}

void repeat_close(TranslationRun& run, const Line& line, Output& output) {
    auto opened = close(run, BlockKind::Dup, output, line.word);
    if (!opened) {
        return;
    }
    run.last_repeat = ClosedRepeat{opened->line, run.at, std::move(opened->value)};
    output.lines.push_back(instruction({}, run.spelling.repeat_close, {}));
}

// REPEAT: a loop on a flag that UNTIL0 sets, or a long repeat that UNTIL0
// leaves.
void loop_open(TranslationRun& run, const Line& line, Output& output) {
    no_operands(line, output);
    const std::string flag = made_name("repeat", run.at);
    open(run, BlockKind::Repeat, flag);
    const DialectSpelling& spelling = run.spelling;
    if (spelling.loop_open.empty()) {
        output.lines.push_back(instruction({}, spelling.repeat_open, kMostRepeats));
        return;
    }
    output.lines.push_back(flag + std::string(spelling.set_again) + "1");
    output.lines.push_back(instruction({}, spelling.loop_open, flag));
}

void loop_close(TranslationRun& run, const Line& line, Output& output) {
    const auto condition = single_value(run, line, output);
    if (!condition) {
        return;
    }
    const auto opened = close(run, BlockKind::Repeat, output, line.word);
    if (!opened) {
        return;
    }
    const DialectSpelling& spelling = run.spelling;
    if (spelling.loop_open.empty()) {
        output.lines.push_back(instruction({}, "IF", zero_test(run, line, output)));
        output.lines.push_back(instruction({}, spelling.repeat_exit, {}));
        output.lines.push_back(instruction({}, "ENDIF", {}));
        output.lines.push_back(instruction({}, spelling.repeat_close, {}));
        return;
    }
    output.lines.push_back(opened->value + std::string(spelling.set_again) + *condition);
    output.lines.push_back(instruction({}, spelling.loop_close, {}));
}

// IF0 ?N and IFN ?N, where N is not defined above: whether N is defined at
// this point, as the target asks it. ALASM's ?N is 0 for a name defined,
// and not 0 for one that is not (#FFFF, or 1 or 2 for one used before it is
// defined): a target that asks for names defined so far takes the same
// branch, unless N is defined further down or is a macro's name.
std::optional<std::string> defined_condition(TranslationRun& run, const Line& line,
                                             Output& output) {
    if (line.operands.size() != 1) {
        return std::nullopt;
    }
    const std::string text = classify(line.operands[0]).text;
    const std::string_view asking = trim(text);
    if (asking.empty() || asking.front() != '?') {
        return std::nullopt;
    }
    const auto asked = run.facts.asked_defined.find(asking.substr(1));
    if (asked == run.facts.asked_defined.end() || run.defined.count(asked->first) != 0) {
        return std::nullopt;
    }
    const std::string& name = asked->first;
    if ((asked->second && *asked->second > run.at) || run.macros.count(name) != 0) {
        fail(output, "?" + name + " before " + name + " is defined further down: ALASM's value " +
                         "there is not known");
        return std::string();
    }
    // Where no source of the project defines N further down, a name defined
    // anywhere is one defined so far: only another source may define it
    // after this point.
    const DialectSpelling& spelling = run.spelling;
    std::string_view asks = spelling.defined_test;
    if (asks.empty()) {
        const auto sources = run.project.defining_sources.find(name);
        const std::size_t own = asked->second ? 1 : 0;
        const bool elsewhere =
            sources != run.project.defining_sources.end() && sources->second > own;
        if (elsewhere || spelling.defined_anywhere_test.empty()) {
            fail(output, "?" + name + ": " + (elsewhere ? "another source defines it, and " : "") +
                             std::string(spelling.name) +
                             " cannot tell whether a name is defined at this point");
            return std::string();
        }
        asks = spelling.defined_anywhere_test;
    }
    const std::string test = std::string(asks) + target_label(name, run.project.dialect);
    return line.directive == Directive::IfZero ? test : std::string(spelling.logical_not) + test;
}

void condition_open(TranslationRun& run, const Line& line, Output& output) {
    std::string condition;
    if (auto defined = defined_condition(run, line, output)) {
        condition = std::move(*defined);
    } else if (line.directive == Directive::IfZero) {
        condition = zero_test(run, line, output);
    } else if (const auto value = single_value(run, line, output)) {
        condition = *value;
    }
    if (!output.problem.empty()) {
        open(run, BlockKind::If, std::string(line.word));
        run.blocks.back().kept_as_comment = true;
        return;
    }
    open(run, BlockKind::If);
    output.lines.push_back(instruction({}, "IF", condition));
}

// The ELSE or ENDIF of an IF kept as a comment: a comment too, which says
// so; the IF's report stands for it.
bool kept_with_its_if(const TranslationRun& run, const Line& line, Output& output) {
    if (run.blocks.empty() || run.blocks.back().kind != BlockKind::If ||
        !run.blocks.back().kept_as_comment) {
        return false;
    }
    const Block& opened = run.blocks.back();
    output.lines.push_back(std::string(kUntranslatedMark) + " " + opened.value + " of line " +
                           std::to_string(opened.line + 1) + " is kept as a comment");
    output.lines.push_back(std::string(kUntranslatedMark) + std::string(line.text));
    return true;
}

void condition_else(TranslationRun& run, const Line& line, Output& output) {
    no_operands(line, output);
    if (run.blocks.empty() || run.blocks.back().kind != BlockKind::If ||
        run.blocks.back().has_else) {
        fail(output, "ELSE outside IF0 or IFN");
        return;
    }
    run.blocks.back().has_else = true;
    if (!kept_with_its_if(run, line, output)) {
        output.lines.push_back(instruction({}, "ELSE", {}));
    }
}

void displace(TranslationRun& run, const Line& line, Output& output) {
    if (in_block(run, BlockKind::Disp)) {
        fail(output, "DISP inside DISP");
        return;
    }
    const auto address = single_value(run, line, output);
    if (!address) {
        return;
    }
    open(run, BlockKind::Disp);
    note_emitted(run);
    if (run.spelling.displaces) {
        output.lines.push_back(instruction({}, "DISP", *address));
        return;
    }
    // pasmo assembles only where the bytes go: labels, $ and relative
    // jumps in the block are offset by the run address's distance.
    run.disp_offset = made_name("disp", run.at);
    output.lines.push_back(run.disp_offset + std::string(run.spelling.set_again) + grouped(*address) +
                           "-$");
}

void displace_end(TranslationRun& run, const Line& line, Output& output) {
    no_operands(line, output);
    // An ENT of a DISP another source leaves open: sjasmplus's ENT ends it.
    if (!in_block(run, BlockKind::Disp) && run.spelling.displaces && run.project.disp_left_open) {
        output.lines.push_back(instruction({}, "ENT", {}));
        return;
    }
    if (!close(run, BlockKind::Disp, output, line.word)) {
        return;
    }
    if (run.spelling.displaces) {
        output.lines.push_back(instruction({}, "ENT", {}));
        return;
    }
    output.lines.push_back("; ENT: " + run.disp_offset + " no longer applies");
    run.disp_offset.clear();
}

// A name for sjasmplus's module that stands for LOCAL: one no other file's
// translation gives, as it mixes in this file's text.
std::string module_name(const TranslationRun& run) {
    return made_name("local_" + digest_hex(run.facts.text_hash) + "_", run.at);
}

// LOCAL: a module of its own name, or one that lists the names it keeps.
void local_open(TranslationRun& run, const Line& line, Output& output) {
    no_operands(line, output);
    open(run, BlockKind::Local);
    if (!run.spelling.lists_local_names) {
        output.lines.push_back(instruction({}, run.spelling.module_open, module_name(run)));
        return;
    }
    output.lines.push_back(instruction({}, run.spelling.module_open, {}));
    const auto names = run.facts.local_names.find(run.at);
    if (names != run.facts.local_names.end()) {
        std::string list;
        for (const std::string& name : names->second) {
            list += (list.empty() ? "" : ", ") + name;
        }
        output.lines.push_back(instruction({}, "LOCAL", list));
    }
}

void macro(TranslationRun& run, const Line& line, Output& output) {
    if (line.operands.size() != 1) {
        fail(output, "MACRO takes a name");
        return;
    }
    const Classified name = classify(line.operands[0]);
    const std::string_view text = trim(name.text);
    if (name.kind != OperandKind::Value || !is_name(text)) {
        fail(output, "MACRO takes a name");
        return;
    }
    run.macros.insert(std::string(text));
    open(run, BlockKind::Macro);
    output.lines.push_back(instruction({}, "MACRO", text));
}

// ENDIF, ENDL, ENDM: the block's end, as the target spells it.
void simple_close(TranslationRun& run, const Line& line, Output& output, BlockKind kind,
                  std::string_view closing) {
    no_operands(line, output);
    if (close(run, kind, output, line.word)) {
        output.lines.push_back(instruction({}, closing, {}));
    }
}

void condition_end(TranslationRun& run, const Line& line, Output& output) {
    if (kept_with_its_if(run, line, output)) {
        no_operands(line, output);
        close(run, BlockKind::If, output, line.word);
        return;
    }
    simple_close(run, line, output, BlockKind::If, "ENDIF");
}

}  // namespace

void block(TranslationRun& run, const Line& line, Output& output) {
    switch (line.directive) {
        case Directive::Dup: repeat_open(run, line, output); break;
        case Directive::Edup: repeat_close(run, line, output); break;
        case Directive::Repeat: loop_open(run, line, output); break;
        case Directive::Until: loop_close(run, line, output); break;
        case Directive::IfZero:
        case Directive::IfNotZero: condition_open(run, line, output); break;
        case Directive::Else: condition_else(run, line, output); break;
        case Directive::EndIf: condition_end(run, line, output); break;
        case Directive::Disp: displace(run, line, output); break;
        case Directive::Ent: displace_end(run, line, output); break;
        case Directive::Local: local_open(run, line, output); break;
        case Directive::EndLocal:
            simple_close(run, line, output, BlockKind::Local, run.spelling.module_close);
            break;
        case Directive::Macro: macro(run, line, output); break;
        case Directive::EndMacro: simple_close(run, line, output, BlockKind::Macro, "ENDM"); break;
        default: break;
    }
}

std::vector<UntranslatedLine> open_blocks_at_end(const TranslationRun& run) {
    static constexpr std::array<std::string_view, kBlockKinds> kOpeners = {
        "DUP", "REPEAT", "IF0 or IFN", "LOCAL", "MACRO", "DISP",
    };
    std::vector<UntranslatedLine> problems;
    for (const Block& open_block : run.blocks) {
        if (open_block.kind == BlockKind::Disp && run.spelling.displaces) {
            continue;  // ALASM's DISP, like sjasmplus's, lasts until an ENT in any file
        }
        if (open_block.kept_as_comment) {
            continue;  // its opening line's report stands for it
        }
        problems.push_back(
            {run.source.size(), std::string(kOpeners[static_cast<std::size_t>(open_block.kind)]) +
                                    " of line " + std::to_string(open_block.line + 1) +
                                    " is not closed"});
    }
    return problems;
}

}  // namespace korve
