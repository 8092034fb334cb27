#include "lsp/lsp_reach.h"

#include <algorithm>
#include <set>

#include "alasm/alasm_expression.h"

namespace korve::lsp {
namespace {

// The reach of a relative jump, from the instruction after it.
constexpr int kNearest = -128;
constexpr int kFarthest = 127;
constexpr std::uint16_t kJumpSize = 2;

// What a jump's target comes to, where every name it reads stands for one
// definition whose value is known.
std::optional<std::uint16_t> jump_value(const std::vector<const TextFacts*>& project, const std::vector<bool>& with,
                                        const ProjectAddresses& addresses, std::size_t text,
                                        const RelativeJump& jump, const Expression& expression, std::uint16_t here) {
    std::set<std::string, std::less<>> names;
    collect_labels(expression, names);
    LabelValues values;
    for (const std::string& name : names) {
        const std::vector<Target> targets = definitions_of(project, with, text, {name, jump.range, jump.scope});
        if (targets.size() != 1) {
            return std::nullopt;
        }
        const Definition& definition = project[targets[0].text]->definitions[targets[0].definition];
        const auto value = value_at(addresses, targets[0].text, definition.range.line);
        if (!value) {
            return std::nullopt;
        }
        values.emplace(name, *value);
    }
    return evaluate_expression(expression, values, here);
}

// A jump assembled more than once (in a DUP) is left alone: its $ differs
// each time.
void jumps_out_of_reach(const std::vector<const TextFacts*>& project, const std::vector<bool>& with,
                        const ProjectAddresses& addresses, std::size_t text, std::vector<Finding>& problems) {
    for (const RelativeJump& jump : project[text]->jumps) {
        const Placed* placed = placed_at(addresses, text, jump.range.line);
        const ParsedExpression parsed = parse_expression(jump.target);
        if (placed == nullptr || placed->again || !parsed.expression) {
            continue;
        }
        const auto value = jump_value(project, with, addresses, text, jump, *parsed.expression, placed->run);
        if (!value) {
            continue;
        }
        const int distance = static_cast<std::int16_t>(static_cast<std::uint16_t>(*value - placed->run - kJumpSize));
        if (distance < kNearest || distance > kFarthest) {
            problems.push_back({jump.range,
                                "the target lies " + std::to_string(distance) +
                                    " bytes from the next instruction: a relative jump reaches -128 to 127",
                                kShortJump});
        }
    }
}

// Whether ALASM comes to definition `target` after line `line` of text
// `text`: in the order the project was assembled, where both lines were;
// else where the definition stands below in the same text.
bool defined_after(const std::vector<const TextFacts*>& project, const ProjectAddresses& addresses,
                   std::size_t text, std::size_t line, const Target& target) {
    const std::size_t defined = project[target.text]->definitions[target.definition].range.line;
    const std::uint32_t then = order_at(addresses, target.text, defined);
    const std::uint32_t now = order_at(addresses, text, line);
    return then != 0 && now != 0 ? then > now : target.text == text && defined > line;
}

void read_before_defined(const ProjectView& view, const std::vector<bool>& with, const ProjectAddresses& addresses,
                         std::size_t text, std::vector<Finding>& problems) {
    const std::vector<const TextFacts*> project = view.facts();
    for (const Use& use : project[text]->uses) {
        if (!use.operated || use.asks || use.in_macro) {
            continue;
        }
        const std::vector<Target> targets = definitions_of(project, with, text, use);
        const bool all_after = !targets.empty() && std::all_of(targets.begin(), targets.end(), [&](const Target& t) {
            return defined_after(project, addresses, text, use.range.line, t);
        });
        if (all_after) {
            const Target& first = targets.front();
            const std::string line = std::to_string(project[first.text]->definitions[first.definition].range.line + 1);
            problems.push_back({use.range,
                                use.name + (first.text == text ? " is defined further down, on line " + line
                                                               : " is defined further on, on line " + line + " of " +
                                                                     view.texts[first.text].name) +
                                    ": ALASM assembles in one pass and takes a name not yet defined in + and - "
                                    "alone",
                                std::nullopt});
        }
    }
}

}  // namespace

std::vector<Finding> reach_problems(const ProjectView& view, const std::vector<bool>& with,
                                    const ProjectAddresses& addresses, std::size_t text) {
    std::vector<Finding> problems;
    jumps_out_of_reach(view.facts(), with, addresses, text, problems);
    read_before_defined(view, with, addresses, text, problems);
    return problems;
}

}  // namespace korve::lsp
