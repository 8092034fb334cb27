#include "translation/translation_survey.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>

#include "alasm/alasm_expression.h"
#include "alasm/dialect.h"
#include "base/fnv_digest.h"
#include "base/little_endian.h"
#include "translation/expression_writer.h"
#include "translation/translation_line.h"

namespace korve {
namespace {

// The name N of a condition IF0 ?N or IFN ?N.
std::optional<std::string> asked_name(const Line& line) {
    const Directive directive = line.has_mnemonic ? line.directive : Directive::None;
    if ((directive != Directive::IfZero && directive != Directive::IfNotZero) ||
        line.operands.size() != 1) {
        return std::nullopt;
    }
    const Classified operand = classify(line.operands[0]);
    const std::string_view text = trim(operand.text);
    if (operand.kind != OperandKind::Value || text.size() < 2 || text.front() != '?' ||
        !is_name(text.substr(1))) {
        return std::nullopt;
    }
    return std::string(text.substr(1));  // the operand, and so `text`, is gone on return
}

// Whether a record may be a line that defines a macro or asks whether a name
// is defined: its mnemonic's byte is in it, wherever it stands.
// A table of the three bytes costs one look per byte.
constexpr std::array<bool, 256> kDefinesOrAsks = [] {
    std::array<bool, 256> table{};
    table[keyword_byte("MACRO")] = true;
    table[keyword_byte("IF0")] = true;
    table[keyword_byte("IFN")] = true;
    return table;
}();

bool may_define_or_ask(std::span<const unsigned char> record) {
    return std::any_of(record.begin(), record.end(),
                       [](unsigned char byte) { return kDefinesOrAsks[byte]; });
}

}  // namespace

// Only the few records that may hold a MACRO, IF0 or IFN are read.
SourceFacts first_look(const AlasmSource& source) {
    SourceFacts facts;
    DescribedLine described;
    Line line;
    for (std::size_t i = 0; i < source.size(); ++i) {
        const auto record = source.record(i);
        if (!may_define_or_ask(record)) {
            continue;
        }
        describe_record(record, source.reading, described);
        parse_line(described, line, OperandReading::DirectivesOnly);
        if (auto name = defined_macro(line)) {
            facts.macros.insert(std::move(*name));
        }
        if (auto asked = asked_name(line)) {
            facts.asked_defined.emplace(std::move(*asked), std::nullopt);
        }
    }
    return facts;
}

namespace {

// Whether an ORG is one that may take back bytes of a repeat before it: ORG $-k.
bool takes_back(const Line& line) {
    return line.operands.size() == 1 && bytes_taken_back(classify(line.operands[0]).text);
}

// A labelled line: where its label stands in the survey's string of
// labels, and the line. A source's bytes, and so its labels' and its lines,
// number far fewer than 2^32 (kLargestSource): a 32-bit field each keeps
// the survey's list of every labelled line small.
struct Labelled {
    std::uint32_t begin;
    std::uint32_t size;
    std::uint32_t index;
};
static_assert(kLargestSource < UINT32_MAX);

class Survey {
public:
    Survey(Dialect dialect, SourceFacts& facts, const NameSet& asked_anywhere)
        : dialect_(dialect),
          lists_locals_(dialect_spelling(dialect).lists_local_names),
          facts_(facts),
          asked_anywhere_(asked_anywhere) {}

    void look_at(const Line& line, std::size_t index) {
        note_text(line);
        if (writes_bytes(line, facts_.macros)) {
            facts_.last_write = index;
        }
        note_origin(line);
        if (line.abandoned) {
            return;
        }
        if (!line.has_mnemonic) {
            if (const auto assignment = split_assignment(line.field)) {
                assign(assignment->first, assignment->second, index);
                set_with_equals_.emplace(assignment->first);
                note_definition(assignment->first, index);
                note_defined(assignment->first);
                return;
            }
        }
        count_blocks(line, index);
        const LabelField label = label_field(line.field);
        if (!label.name.empty() && (line.has_mnemonic || facts_.macros.count(label.name) == 0)) {
            note_defined(label.name);
        }
        if (line.has_mnemonic && line.directive == Directive::Equ && !label.name.empty() &&
            line.operands.size() == 1) {
            // ALASM lets NAME=e set again a name EQU gave a value; an EQU
            // itself sets it once, even in a repeat or a macro.
            assign(label.name, classify(line.operands[0]).text, index, true);
        }
        const bool call = !line.has_mnemonic && facts_.macros.count(label.name) != 0;
        if (!call) {
            note_definition(label.name, index);
        }
        if (!label.name.empty() && !call && (line.has_mnemonic || label.rest.empty()) &&
            !(line.has_mnemonic && line.directive == Directive::Equ)) {
            labelled_.push_back({static_cast<std::uint32_t>(labelled_names_.size()),
                                 static_cast<std::uint32_t>(label.name.size()),
                                 static_cast<std::uint32_t>(index)});
            labelled_names_ += label.name;
        }
        if (!locals_.empty() && !label.name.empty() && label.name.front() != '@' && !call &&
            (line.has_mnemonic || label.rest.empty())) {
            note_local(locals_.back(), label.name);
        }
    }

    // A label that '=' sets as well is set on each line it labels.
    void finish() {
        facts_.text_hash = hash_;
        facts_.only_typed_text = typed_ && !other_;
        facts_.leaves_disp_open = disp_open_;
        if (set_with_equals_.empty()) {
            return;
        }
        for (const Labelled& labelled : labelled_) {
            const auto name = std::string_view(labelled_names_).substr(labelled.begin, labelled.size);
            if (set_with_equals_.count(name) == 0) {
                continue;
            }
            ++facts_.assignments[std::string(name)];
            const std::size_t index = labelled.index;
            auto [first, added] = facts_.first_assignment.emplace(name, index);
            first->second = added ? index : std::min(first->second, index);
        }
    }

private:
    // What the whole text is: its hash, whether it is only typed text, the
    // sources it includes, and whether it leaves a DISP open.
    void note_text(const Line& line) {
        hash_ = fnv1a_32(byte_span(line.text), hash_);
        facts_.has_question_mark =
            facts_.has_question_mark || line.text.find('?') != std::string_view::npos;
        typed_ = typed_ || is_typed_text(line);
        other_ = other_ || !is_blank(line);
        if (auto included = included_source(line)) {
            facts_.included.push_back(std::move(*included));
        }
        if (line.has_mnemonic && !line.abandoned) {
            disp_open_ = line.directive == Directive::Disp ||
                         (disp_open_ && line.directive != Directive::Ent);
        }
    }

    // Only the names a source asks about are counted (Project::defining_sources).
    void note_defined(std::string_view name) {
        // Most projects ask about no name: then no label need be hashed.
        if (!asked_anywhere_.empty() && asked_anywhere_.find(name) != asked_anywhere_.end()) {
            facts_.defined_names.emplace(name);
        }
    }

    void note_origin(const Line& line) {
        facts_.may_need_memory =
            facts_.may_need_memory || line.text.find('{') != std::string_view::npos;
        if (is_blank(line)) {
            return;
        }
        const Directive directive = line.has_mnemonic ? line.directive : Directive::None;
        facts_.org_after_repeat = facts_.org_after_repeat ||
                                  (directive == Directive::Org && after_repeat_ && takes_back(line));
        after_repeat_ = directive == Directive::Edup;
        if (directive == Directive::Org) {
            facts_.may_need_memory = facts_.may_need_memory || seen_origin_;
            seen_origin_ = true;
        }
    }

    void note_definition(std::string_view name, std::size_t index) {
        if (facts_.asked_defined.empty()) {
            return;  // as for most sources: no label need be hashed
        }
        const auto asked = facts_.asked_defined.find(name);
        if (asked != facts_.asked_defined.end()) {
            asked->second = index;
        }
    }

    // Set in a repeat, or from itself, a name is set again.
    void assign(std::string_view name_text, std::string_view value_text, std::size_t index,
                bool once = false) {
        const std::string name(name_text);
        const ParsedExpression value = parse_expression(value_text);
        std::set<std::string, std::less<>> read;
        if (value.expression) {
            collect_labels(*value.expression, read);
        }
        const bool again = !once && (repeating_ > 0 || read.count(name) != 0);
        std::size_t& count = facts_.assignments[name];
        if (count == 0) {
            facts_.first_assignment[name] = index;
        }
        count += again ? 2 : 1;
        if (!locals_.empty() && name.front() != '@') {
            note_local(locals_.back(), name);
        }
    }

    // DUP, REPEAT and MACRO blocks around the line, and LOCAL ones.
    void count_blocks(const Line& line, std::size_t index) {
        switch (line.has_mnemonic ? line.directive : Directive::None) {
            case Directive::Dup:
            case Directive::Repeat:
            case Directive::Macro: ++repeating_; break;
            case Directive::Edup:
            case Directive::Until:
            case Directive::EndMacro: repeating_ = std::max(0, repeating_ - 1); break;
            case Directive::Local: locals_.push_back(index); break;
            case Directive::EndLocal:
                if (!locals_.empty()) {
                    locals_.pop_back();
                }
                break;
            default: break;
        }
    }

    // Only a dialect that lists a LOCAL block's names reads them.
    void note_local(std::size_t block, std::string_view name) {
        if (!lists_locals_) {
            return;
        }
        std::string target = target_label(name, dialect_);
        if (local_seen_[block].insert(target).second) {
            facts_.local_names[block].push_back(std::move(target));
        }
    }

    Dialect dialect_;
    bool lists_locals_;
    SourceFacts& facts_;
    const NameSet& asked_anywhere_;
    int repeating_ = 0;
    std::vector<std::size_t> locals_;
    std::unordered_map<std::size_t, NameSet> local_seen_;
    bool after_repeat_ = false;
    bool seen_origin_ = false;
    std::uint32_t hash_ = kFnvOffsetBasis;
    bool typed_ = false;
    bool other_ = false;
    bool disp_open_ = false;
    std::set<std::string, std::less<>> set_with_equals_;
    // Each labelled line's label, kept in one string for all of them rather
    // than a string each, and the line.
    std::string labelled_names_;
    std::vector<Labelled> labelled_;
};

}  // namespace

void survey_rest(const Project& project, const AlasmSource& source, SourceFacts& facts,
                 const NameSet& asked_anywhere, const LineVisit& also) {
    Survey survey(project.dialect, facts, asked_anywhere);
    LineReader reader(source, OperandReading::DirectivesOnly);
    for (std::size_t i = 0; i < source.size(); ++i) {
        survey.look_at(reader.read(i), i);
        if (also) {
            also(reader, i);
        }
    }
    survey.finish();
}

SourceFacts survey_source(const Project& project, const AlasmSource& source) {
    SourceFacts facts = first_look(source);
    facts.macros.insert(project.macros.begin(), project.macros.end());
    survey_rest(project, source, facts, NameSet());
    return facts;
}

}  // namespace korve
