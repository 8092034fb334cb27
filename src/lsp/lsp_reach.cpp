#include "lsp/lsp_reach.h"

#include <algorithm>
#include <array>
#include <utility>

#include "translation/translation_addresses.h"
#include "translation/translation_run.h"

namespace korve::lsp {
namespace {

// The mnemonics of relative jumps, and ALASM's spellings of JR cc.
constexpr std::array<std::string_view, 6> kRelativeJumps = {"JR", "DJNZ", "JNZ", "JZ", "JNC", "JC"};
// The reach of a relative jump, from the instruction after it.
constexpr int kNearest = -128;
constexpr int kFarthest = 127;
constexpr std::uint16_t kJumpSize = 2;

bool same_upper(std::string_view a, std::string_view b) {
    const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) {
               return upper(x) == upper(y);
           });
}

// The target operand of a relative jump: JR e, JR cc,e, DJNZ e, JNZ e ...
const Operand* jump_target(const Line& line) {
    if (!line.has_mnemonic || line.abandoned) {
        return nullptr;
    }
    const bool relative = std::any_of(kRelativeJumps.begin(), kRelativeJumps.end(),
                                      [&](std::string_view word) { return same_upper(word, line.word); });
    const std::size_t count = line.operands.size();
    const bool with_condition = count == 2 && same_upper(line.word, "JR") &&
                                classify(line.operands[0]).kind == OperandKind::Register;
    if (!relative || (count != 1 && !with_condition)) {
        return nullptr;
    }
    const Operand& target = line.operands[count - 1];
    return classify(target).kind == OperandKind::Value ? &target : nullptr;
}

// Where `operand` stands in the line's UTF-8 text: after the label and the
// mnemonic; the whole line where it is not found.
Range operand_range(std::size_t index, std::string_view text, std::string_view operand) {
    std::size_t at = 0;
    const auto skip = [&](bool blank) {
        while (at < text.size() && (text[at] == ' ' || text[at] == '\t') == blank) {
            ++at;
        }
    };
    skip(false);  // the label, if any
    skip(true);
    skip(false);  // the mnemonic
    const std::size_t found = text.find(operand, at);
    return found == std::string_view::npos ? Range{index, 0, text.size()}
                                           : Range{index, found, found + operand.size()};
}

// The innermost LOCAL block around line `index`, or 0.
std::size_t scope_at(const TextFacts& facts, std::size_t index) {
    std::size_t scope = 0;
    for (std::size_t b = 0; b < facts.locals.size(); ++b) {
        if (facts.locals[b].first < index && index <= facts.locals[b].last) {
            scope = b + 1;  // blocks come in order of their first lines: the last is innermost
        }
    }
    return scope;
}

void note_jump(const Line& line, std::size_t index, std::string_view text, std::uint16_t here,
               CodePage page, TextFacts& facts) {
    const Operand* target = jump_target(line);
    if (target == nullptr) {
        return;
    }
    std::string operand;
    append_utf8(operand, page, trim(classify(*target).text));
    const Range range = operand_range(index, text, operand);
    facts.jumps.push_back({range, std::move(operand), scope_at(facts, index), here});
}

// A LOCAL block ends: its own names leave the values known.
void forget_block(TranslationRun& run, const TextFacts& facts, std::size_t index, CodePage page) {
    for (std::size_t b = 0; b < facts.locals.size(); ++b) {
        if (facts.locals[b].last != index) {
            continue;
        }
        for (const Definition& definition : facts.definitions) {
            if (definition.scope == b + 1) {
                run.known.erase(encode_in(page, definition.name).bytes);
            }
        }
    }
}

}  // namespace

void follow_addresses(const PackedText& packed, CodePage page,
                      const std::set<std::string, std::less<>>& macros, TextFacts& facts) {
    facts.values.assign(facts.definitions.size(), std::nullopt);
    if (!packed.source) {
        return;
    }
    Project project;
    project.macros = macros;
    const SourceFacts survey;
    TranslationRun run(project, *packed.source, survey);
    std::size_t next = 0;  // the first definition not yet valued
    std::size_t macro_depth = 0;
    const std::size_t lines = std::min(packed.source->size(), packed.lines.size());
    for (std::size_t i = 0; i < lines; ++i) {
        const SourceLine each(*packed.source, i);
        const Line& line = each.line;
        if (macro_depth == 0 && run.here) {
            note_jump(line, i, packed.lines[i], *run.here, page, facts);
        }
        follow(run, line);
        for (; next < facts.definitions.size() && facts.definitions[next].range.line <= i; ++next) {
            const Definition& definition = facts.definitions[next];
            const Encoded name = encode_in(page, definition.name);
            const auto known = run.known.find(name.bytes);
            if (!definition.in_macro && definition.kind != NameKind::Macro && !name.failed_at &&
                known != run.known.end()) {
                facts.values[next] = known->second;
            }
        }
        const Directive directive = line.has_mnemonic ? line.directive : Directive::None;
        macro_depth += directive == Directive::Macro ? 1 : 0;
        macro_depth -= directive == Directive::EndMacro && macro_depth > 0 ? 1 : 0;
        if (directive == Directive::EndLocal) {
            forget_block(run, facts, i, page);
        }
    }
}

namespace {

// What a jump's target comes to, where every name it reads stands for one
// definition whose value is known.
std::optional<std::uint16_t> jump_value(const std::vector<const TextFacts*>& project, std::size_t text,
                                        const RelativeJump& jump, const Expression& expression) {
    std::set<std::string, std::less<>> names;
    collect_labels(expression, names);
    LabelValues values;
    for (const std::string& name : names) {
        const std::vector<Target> targets = definitions_of(project, text, {name, jump.range, jump.scope});
        if (targets.size() != 1) {
            return std::nullopt;
        }
        const auto& known = project[targets[0].text]->values;
        if (targets[0].definition >= known.size() || !known[targets[0].definition]) {
            return std::nullopt;
        }
        values.emplace(name, *known[targets[0].definition]);
    }
    return evaluate_expression(expression, values, jump.here);
}

void jumps_out_of_reach(const std::vector<const TextFacts*>& project, std::size_t text,
                        std::vector<Finding>& problems) {
    for (const RelativeJump& jump : project[text]->jumps) {
        const ParsedExpression parsed = parse_expression(jump.target);
        const auto value = parsed.expression ? jump_value(project, text, jump, *parsed.expression) : std::nullopt;
        if (!value) {
            continue;
        }
        const int distance = static_cast<std::int16_t>(static_cast<std::uint16_t>(*value - jump.here - kJumpSize));
        if (distance < kNearest || distance > kFarthest) {
            problems.push_back({jump.range,
                                "the target lies " + std::to_string(distance) +
                                    " bytes from the next instruction: a relative jump reaches -128 to 127",
                                kShortJump});
        }
    }
}

void read_before_defined(const std::vector<const TextFacts*>& project, std::size_t text,
                         std::vector<Finding>& problems) {
    for (const Use& use : project[text]->uses) {
        if (!use.operated || use.asks || use.in_macro) {
            continue;
        }
        const std::vector<Target> targets = definitions_of(project, text, use);
        const bool all_below = !targets.empty() && std::all_of(targets.begin(), targets.end(), [&](const Target& t) {
            return t.text == text && project[text]->definitions[t.definition].range.line > use.range.line;
        });
        if (all_below) {
            const std::size_t line = project[text]->definitions[targets.front().definition].range.line;
            problems.push_back({use.range,
                                use.name + " is defined further down, on line " + std::to_string(line + 1) +
                                    ": ALASM assembles in one pass and takes a name not yet defined in + and - "
                                    "alone",
                                std::nullopt});
        }
    }
}

}  // namespace

std::vector<Finding> reach_problems(const std::vector<const TextFacts*>& project, std::size_t text) {
    std::vector<Finding> problems;
    jumps_out_of_reach(project, text, problems);
    read_before_defined(project, text, problems);
    return problems;
}

}  // namespace korve::lsp
