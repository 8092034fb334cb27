#include "translation/translation_addresses.h"

namespace korve {
namespace {

void settle(TranslationRun& run, std::string_view name, std::optional<std::uint16_t> value) {
    if (name.empty()) {
        return;
    }
    const auto known = run.known.find(name);
    if (known != run.known.end()) {
        if (value) {
            known->second = *value;
        } else {
            run.known.erase(known);
        }
    } else if (value) {
        run.known.emplace(name, *value);
    }
}

std::optional<std::size_t> listed_bytes(const Line& line, std::size_t item) {
    std::size_t size = 0;
    for (const Operand& operand : line.operands) {
        size += is_string(operand) && item == 1 ? operand[0].text.size() - 2 : item;
    }
    return size;
}

// DS n,list: n times the list (one byte without one).
std::optional<std::size_t> space_size(const LabelValues& known, std::optional<std::uint16_t> here,
                                      const Line& line) {
    if (line.operands.empty()) {
        return std::nullopt;
    }
    const ParsedExpression parsed = parse_expression(classify(line.operands[0]).text);
    const auto count = parsed.expression ? evaluate_expression(*parsed.expression, known, here) : std::nullopt;
    std::size_t list = line.operands.size() == 1 ? 1 : 0;
    for (std::size_t i = 1; i < line.operands.size(); ++i) {
        const Operand& operand = line.operands[i];
        list += is_string(operand) ? operand[0].text.size() - 2 : 1;
    }
    return count ? std::optional<std::size_t>(*count * list) : std::nullopt;
}

// Whether the bytes a line writes are its own, not what memory held (DS
// without a list leaves them as they were, as far as is known).
bool writes_own_bytes(const Line& line) {
    return line.directive != Directive::Space || line.operands.size() > 1;
}

}  // namespace

std::optional<std::size_t> emitted_size(const Line& line, const LabelValues& known,
                                        std::optional<std::uint16_t> here) {
    switch (line.directive) {
        case Directive::Bytes: return listed_bytes(line, 1);
        case Directive::Words: return listed_bytes(line, 2);
        case Directive::Space: return space_size(known, here, line);
        case Directive::Packed: {
            std::size_t digits = 0;
            for (const Operand& operand : line.operands) {
                digits += trim(classify(operand).text).size();
            }
            return digits / 2;
        }
        default: break;
    }
    return line_size(line);
}

void follow(TranslationRun& run, const Line& line) {
    if (line.abandoned) {
        run.here.reset();
        return;
    }
    if (!line.has_mnemonic) {
        if (const auto assignment = split_assignment(line.field)) {
            settle(run, assignment->first, known_value(run, assignment->second));
        } else if (!writes_bytes(line, run.macros)) {
            settle(run, label_field(line.field).name, run.here);
        } else {
            run.here.reset();
        }
        return;
    }
    const LabelField label = label_field(line.field);
    if (line.directive == Directive::Equ) {
        const bool one = line.operands.size() == 1;
        settle(run, label.name,
               one ? known_value(run, classify(line.operands[0]).text) : std::nullopt);
        return;
    }
    settle(run, label.name, run.here);
    if (line.directive == Directive::Org) {
        run.here = line.operands.size() == 1 ? known_value(run, classify(line.operands[0]).text)
                                             : std::nullopt;
        return;
    }
    if (line.directive == Directive::Main || line.directive == Directive::Display || !run.here) {
        return;  // $ stays as it is: where it is not known, it stays unknown
    }
    const auto size = emitted_size(line, run.known, run.here);
    if (!size) {
        run.here.reset();
        return;
    }
    if (writes_own_bytes(line)) {
        run.written.add(*run.here, static_cast<std::uint32_t>(*size));
    }
    run.here = static_cast<std::uint16_t>(*run.here + *size);
}

}  // namespace korve
