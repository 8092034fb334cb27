#include "lsp/lsp_addresses.h"

#include <algorithm>
#include <map>
#include <memory>
#include <utility>

#include "alasm/alasm_expression.h"
#include "lsp/lsp_includes.h"
#include "lsp/lsp_line_bytes.h"
#include "files/output_names.h"
#include "inputs/source_text.h"
#include "translation/alasm_translation.h"
#include "translation/translation_addresses.h"
#include "translation/translation_line.h"
#include "translation/translation_project.h"

namespace korve::lsp {
namespace {

// Lines assembled at most (DUP and REPEAT included): a loop that never ends
// stops here, and what follows has no address.
constexpr std::size_t kMostSteps = std::size_t{1} << 20;
// INCLUDEs and macro calls nested at most.
constexpr std::size_t kDeepest = 32;

struct Macro {
    std::size_t text = 0;
    std::size_t first = 0;  // its body's first line
    std::size_t end = 0;    // its ENDM's
    bool operator==(const Macro&) const = default;
};

// A DUP or REPEAT being repeated: its body's first line, and the times left.
struct Loop {
    std::size_t body = 0;
    std::size_t left = 0;
    bool repeat = false;
    bool count_unknown = false;
};

// An IF0 or IFN: whether the lines around it are assembled, and its branch.
struct Condition {
    bool outer = true;
    bool taken = false;
    bool known = true;
};

// What the assembler changes as it goes, saved where an IF0 or IFN's
// branches are both assembled.
struct Machine {
    LabelValues known;
    std::optional<std::uint16_t> place;  // where the bytes go
    std::optional<std::uint16_t> run;    // $, which DISP moves
    bool displaced = false;              // between DISP and ENT
    std::map<std::string, Macro, std::less<>> macros;
    std::vector<std::vector<std::pair<std::string, std::optional<std::uint16_t>>>> locals;
};

std::optional<std::string> quoted_name(const Line& line) {
    if (line.operands.empty() || !is_string(line.operands[0])) {
        return std::nullopt;
    }
    const std::string_view quoted = line.operands[0][0].text;
    return std::string(quoted.substr(1, quoted.size() - 2));
}

class Assembler {
public:
    Assembler(const ProjectView& view, Assembly& out) : view_(view), out_(out) {
        definition_at_.resize(view.texts.size());
        lines_.resize(view.texts.size());
        for (std::size_t t = 0; t < view.texts.size(); ++t) {
            definition_at_[t].assign(view.texts[t].packed.lines.size(), nullptr);
            lines_[t].resize(view.texts[t].packed.source ? view.texts[t].packed.source->size() : 0);
            for (const Definition& each : view.texts[t].facts.definitions) {
                if (each.kind != NameKind::Macro && each.range.line < definition_at_[t].size()) {
                    definition_at_[t][each.range.line] = &each;
                }
            }
        }
    }

    // One pass from text `main`, names read before they are defined taking
    // `forward`'s values.
    LabelValues pass(std::size_t main, LabelValues forward) {
        now_ = Machine{};
        now_.known = std::move(forward);
        steps_ = 0;
        came_ = 0;
        walk(main, 0, false);
        return now_.known;
    }

private:
    std::optional<std::uint16_t> value_of(std::string_view text) const {
        return operand_value(text, now_.known, now_.run);
    }

    void unknown_place() {
        now_.place.reset();
        now_.run.reset();
    }

    void set(std::size_t text, std::size_t index, std::string_view name, std::optional<std::uint16_t> value,
             bool in_macro) {
        if (name.empty()) {
            return;
        }
        const Definition* definition = definition_at_[text][index];
        if (!now_.locals.empty() && definition != nullptr && definition->scope != 0) {
            const auto old = now_.known.find(name);
            now_.locals.back().emplace_back(std::string(name), old == now_.known.end() ? std::nullopt
                                                                               : std::optional(old->second));
        }
        if (value) {
            now_.known[std::string(name)] = *value;
        } else {
            now_.known.erase(std::string(name));
        }
        if (!in_macro && trying_ == 0) {
            out_.values[text][index] = value;
        }
    }

    void end_local() {
        if (now_.locals.empty()) {
            return;
        }
        for (auto it = now_.locals.back().rbegin(); it != now_.locals.back().rend(); ++it) {
            if (it->second) {
                now_.known[it->first] = *it->second;
            } else {
                now_.known.erase(it->first);
            }
        }
        now_.locals.pop_back();
    }

    // INCBIN's length: its operand's, or its data file's beside the texts.
    std::optional<std::size_t> binary_size(const Line& line, std::size_t text) const {
        if (line.operands.size() >= 2) {
            return value_of(classify(line.operands[1]).text);
        }
        const auto name = quoted_name(line);
        return name ? data_file_size(view_.texts[text].path.parent_path(), *name) : std::nullopt;
    }

    // Places a line of `size` bytes; the bytes of `data`, a DB, DW or DS,
    // where they are known.
    void advance(std::size_t text, std::size_t index, std::optional<std::size_t> size, const Line* data,
                 bool in_macro) {
        if (!size || !now_.place || !now_.run) {
            unknown_place();
            return;
        }
        if (!in_macro && trying_ == 0) {
            std::optional<Placed>& placed = out_.places[text][index];
            if (placed) {
                placed->again = true;
            } else {
                placed = Placed{*now_.place, *now_.run, *size, data ? data_bytes(*data, now_.known, now_.run) : std::nullopt};
            }
        }
        now_.place = static_cast<std::uint16_t>(*now_.place + *size);
        now_.run = static_cast<std::uint16_t>(*now_.run + *size);
    }

    // The line after the block `index` opens (MACRO .. ENDM, DUP .. EDUP).
    std::size_t block_end(std::size_t text, std::size_t index, Directive open, Directive close) {
        const AlasmSource& source = *view_.texts[text].packed.source;
        std::size_t depth = 0;
        for (std::size_t i = index; i < source.size(); ++i) {
            const Line& line = line_at(text, i);
            if (line.has_mnemonic && line.directive == open) {
                ++depth;
            } else if (line.has_mnemonic && line.directive == close && --depth == 0) {
                return i;
            }
        }
        return source.size();
    }

    // Line `index` of text `text`, read once for both passes and every
    // time a loop or a macro goes over it.
    const Line& line_at(std::size_t text, std::size_t index) {
        std::unique_ptr<SourceLine>& read = lines_[text][index];
        if (!read) {
            read = std::make_unique<SourceLine>(*view_.texts[text].packed.source, index);
        }
        return read->line;
    }

    void walk(std::size_t text, std::size_t depth, bool in_macro) { walk_lines(text, 0, SIZE_MAX, depth, in_macro); }

    // An IF0 or IFN's value.
    std::optional<std::uint16_t> condition(const Line& line) const {
        return line.operands.empty() ? std::nullopt : value_of(classify(line.operands[0]).text);
    }

    // What the assembler holds after one branch of an IF0 or IFN, `other`
    // after the other: what the two agree on is kept.
    void agree(const Machine& other) {
        if (now_.place != other.place || now_.run != other.run || now_.displaced != other.displaced) {
            unknown_place();
        }
        now_.displaced = now_.displaced || other.displaced;
        for (auto it = now_.known.begin(); it != now_.known.end();) {
            const auto there = other.known.find(it->first);
            it = there == other.known.end() || there->second != it->second ? now_.known.erase(it) : std::next(it);
        }
        for (auto it = now_.macros.begin(); it != now_.macros.end();) {
            const auto there = other.macros.find(it->first);
            it = there == other.macros.end() || !(there->second == it->second) ? now_.macros.erase(it) : std::next(it);
        }
    }

    void either_branch(std::size_t text, std::size_t& index, std::size_t depth, bool in_macro);

    void walk_lines(std::size_t text, std::size_t first, std::size_t end, std::size_t depth, bool in_macro);
    // Steps a line, `index` the next line to step.
    void step(std::size_t text, std::size_t& index, std::size_t depth, bool in_macro, std::vector<Loop>& loops,
              std::vector<Condition>& conditions);
    bool control(std::size_t text, std::size_t& index, const Line& line, std::vector<Loop>& loops,
                 std::vector<Condition>& conditions);
    void directive(std::size_t text, std::size_t at, const Line& line, std::size_t depth, bool in_macro);

    const ProjectView& view_;
    Assembly& out_;
    std::vector<std::vector<const Definition*>> definition_at_;
    std::vector<std::vector<std::unique_ptr<SourceLine>>> lines_;
    Machine now_;
    std::size_t steps_ = 0;
    std::uint32_t came_ = 0;  // lines come to
    std::size_t trying_ = 0;  // in a branch of an IF0 or IFN not known to be taken: nothing is recorded
};

void Assembler::walk_lines(std::size_t text, std::size_t first, std::size_t end, std::size_t depth,
                           bool in_macro) {
    const std::optional<AlasmSource>& source = view_.texts[text].packed.source;
    if (!source || depth > kDeepest) {
        unknown_place();
        return;
    }
    std::vector<Loop> loops;
    std::vector<Condition> conditions;
    const std::size_t last = std::min({end, source->size(), view_.texts[text].packed.lines.size()});
    for (std::size_t index = first; index < last;) {
        if (++steps_ > kMostSteps) {
            unknown_place();
            return;
        }
        step(text, index, depth, in_macro, loops, conditions);
    }
}

// DUP, REPEAT and IF's lines: whether the line was one.
bool Assembler::control(std::size_t text, std::size_t& index, const Line& line, std::vector<Loop>& loops,
                        std::vector<Condition>& conditions) {
    const bool active = conditions.empty() || (conditions.back().outer && conditions.back().taken);
    switch (line.directive) {
        case Directive::IfZero:
        case Directive::IfNotZero: {
            const auto value = active ? condition(line) : std::nullopt;
            const bool zero = value && *value == 0;
            conditions.push_back({active, value && (line.directive == Directive::IfZero) == zero, value.has_value()});
            break;
        }
        case Directive::Else:
            if (!conditions.empty()) {
                conditions.back().taken = conditions.back().known && !conditions.back().taken;
            }
            break;
        case Directive::EndIf:
            if (!conditions.empty()) {
                conditions.pop_back();
            }
            break;
        default:
            if (!active) {
                break;  // nothing else counts in a branch not taken
            }
            if (line.directive == Directive::Dup) {
                const auto count = line.operands.empty() ? std::nullopt : value_of(classify(line.operands[0]).text);
                if (count && *count == 0) {
                    index = block_end(text, index, Directive::Dup, Directive::Edup);
                    break;
                }
                loops.push_back({index + 1, count.value_or(1), false, !count});
            } else if (line.directive == Directive::Repeat) {
                loops.push_back({index + 1, 0, true, false});
            } else if (line.directive == Directive::Edup || line.directive == Directive::Until) {
                if (loops.empty()) {
                    break;
                }
                Loop& loop = loops.back();
                bool again = false;
                if (loop.repeat) {
                    const auto value =
                        line.operands.empty() ? std::nullopt : value_of(classify(line.operands[0]).text);
                    again = value && *value != 0;
                    if (!value) {
                        unknown_place();
                    }
                } else {
                    again = --loop.left > 0;
                    if (loop.count_unknown) {
                        unknown_place();
                    }
                }
                if (again) {
                    index = loop.body;
                    return true;
                }
                loops.pop_back();
            } else {
                return false;
            }
    }
    ++index;
    return true;
}

// An IF0 or IFN whose value is not known, at `index`: each branch
// assembled from where it stands, nothing recorded, and what both leave
// kept; `index` the line after its ENDIF.
void Assembler::either_branch(std::size_t text, std::size_t& index, std::size_t depth, bool in_macro) {
    const AlasmSource& source = *view_.texts[text].packed.source;
    std::size_t otherwise = source.size();  // its ELSE's line
    std::size_t end = source.size();        // its ENDIF's
    std::size_t nested = 0;
    for (std::size_t i = index + 1; i < source.size() && end == source.size(); ++i) {
        const Line& line = line_at(text, i);
        const Directive kind = line.has_mnemonic ? line.directive : Directive::None;
        if (kind == Directive::IfZero || kind == Directive::IfNotZero) {
            ++nested;
        } else if (kind == Directive::Else && nested == 0 && otherwise == source.size()) {
            otherwise = i;
        } else if (kind == Directive::EndIf) {
            end = nested == 0 ? i : end;
            nested -= nested == 0 ? 0 : 1;
        }
    }
    const Machine before = now_;
    ++trying_;
    walk_lines(text, index + 1, std::min(otherwise, end), depth, in_macro);
    Machine taken = std::exchange(now_, before);
    if (otherwise < end) {
        walk_lines(text, otherwise + 1, end, depth, in_macro);
    }
    --trying_;
    agree(taken);
    index = end + 1;
}

void Assembler::step(std::size_t text, std::size_t& index, std::size_t depth, bool in_macro,
                     std::vector<Loop>& loops, std::vector<Condition>& conditions) {
    const Line& line = line_at(text, index);
    if (!in_macro && trying_ == 0 && index < out_.order[text].size() && out_.order[text][index] == 0) {
        out_.order[text][index] = ++came_;
    }
    const bool active = conditions.empty() || (conditions.back().outer && conditions.back().taken);
    const bool branches = line.has_mnemonic && (line.directive == Directive::IfZero || line.directive == Directive::IfNotZero);
    if (active && branches && !condition(line)) {
        either_branch(text, index, depth, in_macro);
        return;
    }
    if (line.has_mnemonic && control(text, index, line, loops, conditions)) {
        return;
    }
    const std::size_t at = index++;
    if (!active || is_blank(line)) {
        return;
    }
    if (line.abandoned || (in_macro && uses_parameters(line))) {
        unknown_place();
        return;
    }
    if (!line.has_mnemonic) {
        const LabelField label = label_field(line.field);
        if (const auto assignment = split_assignment(line.field)) {
            set(text, at, assignment->first, value_of(assignment->second), in_macro);
        } else if (const auto macro = now_.macros.find(label.name); label.indented && macro != now_.macros.end()) {
            walk_lines(macro->second.text, macro->second.first, macro->second.end, depth + 1, true);
        } else if (!writes_bytes(line, {})) {
            set(text, at, label.name, now_.run, in_macro);
        } else {
            unknown_place();
        }
        return;
    }
    const LabelField label = label_field(line.field);
    if (const auto name = defined_macro(line)) {
        const std::size_t end = block_end(text, at, Directive::Macro, Directive::EndMacro);
        now_.macros[*name] = {text, at + 1, end};
        index = end + 1;
        return;
    }
    if (line.directive == Directive::Equ) {
        set(text, at, label.name, line.operands.size() == 1 ? value_of(classify(line.operands[0]).text) : std::nullopt,
            in_macro);
        return;
    }
    set(text, at, label.name, now_.run, in_macro);
    directive(text, at, line, depth, in_macro);
}

// A line of a directive or an instruction, its label set.
void Assembler::directive(std::size_t text, std::size_t at, const Line& line, std::size_t depth, bool in_macro) {
    switch (line.directive) {
        case Directive::Org: {
            const auto to = line.operands.empty() ? std::nullopt : value_of(classify(line.operands[0]).text);
            if (now_.displaced) {
                // Inside DISP, ORG moves where the bytes go as far as it
                // moves $: on past the gap it leaves, or back over bytes
                // written (as the translation fills and trims them).
                const bool on = to && now_.run && now_.place;
                now_.place = on ? std::optional<std::uint16_t>(static_cast<std::uint16_t>(*now_.place + (*to - *now_.run)))
                            : std::nullopt;
                now_.run = on ? to : std::nullopt;
            } else {
                now_.place = to;
                now_.run = to;
            }
            return;
        }
        case Directive::Disp:
            now_.run = line.operands.empty() ? std::nullopt : value_of(classify(line.operands[0]).text);
            now_.displaced = true;
            return;
        case Directive::Ent:
            now_.run = now_.place;
            now_.displaced = false;
            return;
        case Directive::Local: now_.locals.emplace_back(); return;
        case Directive::EndLocal: end_local(); return;
        case Directive::Include: {
            const auto name = quoted_name(line);
            const auto target = name ? included(view_, *name) : std::nullopt;
            if (target && *target != text) {
                walk(*target, depth + 1, in_macro);
            } else {
                unknown_place();
            }
            return;
        }
        case Directive::Incbin: advance(text, at, binary_size(line, text), nullptr, in_macro); return;
        case Directive::Main:
        case Directive::Display:
        case Directive::Run:
        case Directive::EndMacro: return;
        case Directive::Bytes:
        case Directive::Words:
        case Directive::Space:
            advance(text, at, emitted_size(line, now_.known, now_.run), &line, in_macro);
            return;
        default: advance(text, at, emitted_size(line, now_.known, now_.run), nullptr, in_macro); return;
    }
}

}  // namespace

Assembly assemble_project(const ProjectView& view, std::size_t main) {
    Assembly out;
    const auto fresh = [&] {
        out = Assembly{};
        for (const ProjectText& text : view.texts) {
            out.values.emplace_back(text.packed.lines.size());
            out.places.emplace_back(text.packed.lines.size());
            out.order.emplace_back(text.packed.lines.size());
        }
    };
    fresh();
    Assembler assembler(view, out);
    const LabelValues first = assembler.pass(main, {});
    fresh();
    assembler.pass(main, first);
    return out;
}

}  // namespace korve::lsp
