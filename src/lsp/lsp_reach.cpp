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
std::optional<std::uint16_t> jump_value(const std::vector<const TextFacts*>& project,
                                        const ProjectAddresses& addresses, std::size_t text,
                                        const RelativeJump& jump, const Expression& expression, std::uint16_t here) {
    std::set<std::string, std::less<>> names;
    collect_labels(expression, names);
    LabelValues values;
    for (const std::string& name : names) {
        const std::vector<Target> targets = definitions_of(project, text, {name, jump.range, jump.scope});
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
void jumps_out_of_reach(const std::vector<const TextFacts*>& project, const ProjectAddresses& addresses,
                        std::size_t text, std::vector<Finding>& problems) {
    for (const RelativeJump& jump : project[text]->jumps) {
        const Placed* placed = placed_at(addresses, text, jump.range.line);
        const ParsedExpression parsed = parse_expression(jump.target);
        if (placed == nullptr || placed->again || !parsed.expression) {
            continue;
        }
        const auto value = jump_value(project, addresses, text, jump, *parsed.expression, placed->run);
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

std::vector<Finding> reach_problems(const std::vector<const TextFacts*>& project, const ProjectAddresses& addresses,
                                    std::size_t text) {
    std::vector<Finding> problems;
    jumps_out_of_reach(project, addresses, text, problems);
    read_before_defined(project, text, problems);
    return problems;
}

}  // namespace korve::lsp
