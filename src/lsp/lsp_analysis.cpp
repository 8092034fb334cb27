#include "lsp/lsp_analysis.h"

#include <algorithm>
#include <array>
#include <map>
#include <utility>

#include "alasm/alasm_expression.h"
#include "base/byte_reader.h"
#include "inputs/korvex_inputs.h"
#include "inputs/source_text.h"
#include "lsp/lsp_document.h"
#include "translation/translation_line.h"

namespace korve::lsp {
namespace {

// Refused lines are left out and the rest packed again this often at most.
constexpr std::size_t kMostPackings = 32;

Range whole_line(std::size_t line, std::string_view text) { return {line, 0, text.size()}; }

// Line `line`'s characters the page lacks, each said and written '?'.
void find_unstorable(std::string& text, std::size_t line, CodePage page, std::vector<Finding>& problems) {
    for (std::size_t tries = 0; tries <= text.size(); ++tries) {
        const Encoded encoded = encode_in(page, text);
        if (!encoded.failed_at) {
            return;
        }
        const std::size_t at = *encoded.failed_at;
        const std::size_t size = std::max<std::size_t>(decode_utf8(text, at).size, 1);
        problems.push_back({{line, at, at + size}, unstorable(text, at, page), std::nullopt});
        text.replace(at, size, "?");
    }
}

std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        text += lines[i];
        if (i + 1 < lines.size()) {
            text += '\n';
        }
    }
    return text;
}

}  // namespace

PackedText pack_text(std::string_view utf8, CodePage page) {
    PackedText packed;
    for (const std::string_view line : split_lines(utf8)) {
        packed.lines.emplace_back(line);
    }
    std::vector<std::string> storable = packed.lines;
    for (std::size_t i = 0; i < storable.size(); ++i) {
        find_unstorable(storable[i], i, page, packed.problems);
    }
    const Source source{"text", "text", {}};
    for (std::size_t packing = 0; packing < kMostPackings; ++packing) {
        const std::string text = joined(storable);
        ByteReader input({reinterpret_cast<const unsigned char*>(text.data()), text.size()});
        auto result = pack_source_text(input, source, "TEXT", page);
        if (auto* done = std::get_if<PackedSourceText>(&result)) {
            const std::string& data = done->file.data;
            ByteReader read({reinterpret_cast<const unsigned char*>(data.data()), data.size()});
            packed.source = read_source(read, AlasmPlace(InputKind::AlasmText), Reading::AsAlasm);
            return packed;
        }
        const Problem& refused = std::get<Problem>(result);
        const std::size_t line = refused.where.line;
        if (line == 0 || line > storable.size() || storable[line - 1].empty()) {
            packed.problems.push_back({{0, 0, 0}, refused.text, kSyntaxError});
            return packed;
        }
        const std::string_view shown = packed.lines[line - 1];
        Range range = whole_line(line - 1, shown);
        if (refused.where.column != 0) {
            // Columns count characters, one byte each in the code page.
            range.start = offset_at(shown, refused.where.column - 1, Encoding::Utf16);
            range.end = std::max(range.start, offset_at(shown, refused.where.column, Encoding::Utf16));
        }
        packed.problems.push_back({range, refused.text, kSyntaxError});
        storable[line - 1].clear();
    }
    return packed;
}

namespace {

// The names an operator other than + and - reads in `expression` (a
// leading '-', 'a and .a, brackets and ?NAME read none): ALASM fills in
// later only names that are added or subtracted.
void operated_names(const Expression& expression, std::set<std::string, std::less<>>& names) {
    // Each node to visit, and whether an operator other than + and - reads it.
    std::vector<std::pair<std::size_t, bool>> todo;
    if (expression.root != kNoNode) {
        todo.emplace_back(expression.root, false);
    }
    while (!todo.empty()) {
        const auto [at, operated] = todo.back();
        todo.pop_back();
        const ExpressionNode& node = expression.nodes[at];
        bool below = true;
        switch (node.kind) {
            case ExpressionKind::Label:
                if (operated) {
                    names.insert(node.text);
                }
                continue;
            // A real source ALASM assembled reads 'NAME of a label further
            // down: the byte selectors are filled in later, as + and - are.
            case ExpressionKind::Negate:
            case ExpressionKind::HighByte:
            case ExpressionKind::LowByte: below = operated; break;
            case ExpressionKind::Binary:
                below = operated || (node.op != ExpressionOperator::Add && node.op != ExpressionOperator::Subtract);
                break;
            default: break;
        }
        for (const std::size_t child : {node.left, node.right}) {
            if (child != kNoNode) {
                todo.emplace_back(child, below);
            }
        }
    }
}

bool is_name_byte(char c) { return continues_alasm_name(c); }

// The places of NAME as a whole word in `text` from `from` on, outside
// strings and the comment; whether '?' asks of each.
struct Found {
    std::size_t at = 0;
    bool asks = false;
};

std::vector<Found> occurrences(std::string_view text, std::string_view name, std::size_t from) {
    std::vector<Found> found;
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            quoted = !quoted;
        }
        if (!quoted && c == ';') {
            break;
        }
        if (quoted || i < from || text.compare(i, name.size(), name) != 0) {
            continue;
        }
        const std::size_t end = i + name.size();
        if (end < text.size() && is_name_byte(text[end])) {
            continue;
        }
        const bool asks = i > 0 && text[i - 1] == '?' && (i < 2 || !is_name_byte(text[i - 2]));
        if (i > 0 && is_name_byte(text[i - 1]) && !asks) {
            continue;
        }
        found.push_back({i, asks});
        i = end - 1;
    }
    return found;
}

bool same_word(std::string_view text, std::size_t at, std::string_view word) {
    if (at + word.size() > text.size()) {
        return false;
    }
    for (std::size_t i = 0; i < word.size(); ++i) {
        const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
        if (upper(text[at + i]) != upper(word[i])) {
            return false;
        }
    }
    return true;
}

// Where the mnemonic `word` stands in `text`, after `from`: the whole line
// where it cannot be found.
Range word_range(std::size_t line, std::string_view text, std::string_view word, std::size_t from) {
    for (std::size_t at = from; !word.empty() && at + word.size() <= text.size(); ++at) {
        const bool starts = at == 0 || !is_name_byte(text[at - 1]);
        const std::size_t end = at + word.size();
        if (starts && same_word(text, at, word) && (end == text.size() || !is_name_byte(text[end]))) {
            return {line, at, end};
        }
    }
    return whole_line(line, text);
}

// The mnemonics of relative jumps, and ALASM's spellings of JR cc.
constexpr std::array<std::string_view, 6> kRelativeJumps = {"JR", "DJNZ", "JNZ", "JZ", "JNC", "JC"};

// The target operand of a relative jump: JR e, JR cc,e, DJNZ e, JNZ e ...
const Operand* jump_target(const Line& line) {
    const auto is = [&](std::string_view word) { return line.word.size() == word.size() && same_word(line.word, 0, word); };
    const std::size_t count = line.operands.size();
    const bool with_condition = count == 2 && is("JR") && classify(line.operands[0]).kind == OperandKind::Register;
    if (!std::any_of(kRelativeJumps.begin(), kRelativeJumps.end(), is) || (count != 1 && !with_condition)) {
        return nullptr;
    }
    const Operand& target = line.operands[count - 1];
    return classify(target).kind == OperandKind::Value ? &target : nullptr;
}

enum class Opener : unsigned char { Dup, Repeat, If, Local, Macro, Disp };

constexpr std::array<std::string_view, 6> kOpenerWords = {"DUP", "REPEAT", "IF0 or IFN", "LOCAL", "MACRO", "DISP"};

struct OpenBlock {
    Opener opener;
    std::size_t line;
    Range word;
    bool had_else = false;
};

std::optional<Opener> opened_by(Directive directive) {
    switch (directive) {
        case Directive::Dup: return Opener::Dup;
        case Directive::Repeat: return Opener::Repeat;
        case Directive::IfZero:
        case Directive::IfNotZero: return Opener::If;
        case Directive::Local: return Opener::Local;
        case Directive::Macro: return Opener::Macro;
        case Directive::Disp: return Opener::Disp;
        default: return std::nullopt;
    }
}

std::optional<Opener> closed_by(Directive directive) {
    switch (directive) {
        case Directive::Edup: return Opener::Dup;
        case Directive::Until: return Opener::Repeat;
        case Directive::EndIf: return Opener::If;
        case Directive::EndLocal: return Opener::Local;
        case Directive::EndMacro: return Opener::Macro;
        case Directive::Ent: return Opener::Disp;
        default: return std::nullopt;
    }
}

// Goes through a text's lines, keeping what stands open.
class Reader {
public:
    Reader(const PackedText& packed, CodePage page, const std::set<std::string, std::less<>>& macros,
           TextFacts& facts)
        : packed_(packed), page_(page), macros_(macros), facts_(facts) {}

    void read_line(const Line& line, std::size_t index) {
        const std::string_view text = packed_.lines[index];
        std::size_t after = 0;  // where the label field's name ends in `text`
        if (line.abandoned) {
            return;
        }
        if (const auto assignment = split_assignment(line.field); assignment && !line.has_mnemonic) {
            after = define(assignment->first, NameKind::Variable, index, 0);
            read_value(assignment->second, index, after);
            return;
        }
        const LabelField label = label_field(line.field);
        const bool call = !line.has_mnemonic && label.indented && macros_.count(label.name) != 0;
        if (call) {
            after = use(label.name, index, 0);
        } else if (!label.name.empty() && (line.has_mnemonic || label.rest.empty())) {
            const bool equ = line.has_mnemonic && line.directive == Directive::Equ;
            after = define(label.name, equ ? NameKind::Constant : NameKind::Label, index, 0);
        }
        if (!line.has_mnemonic) {
            return;
        }
        const Range word = word_range(index, text, line.word, after);
        after = word.end;
        if (auto name = defined_macro(line)) {
            define(*name, NameKind::Macro, index, after);
        } else {
            note_jump(line, index, after);
            for (const Operand& operand : line.operands) {
                const Classified classified = classify(operand);
                if (classified.kind == OperandKind::Value || classified.kind == OperandKind::Indexed) {
                    after = read_value(classified.text, index, after);
                }
            }
        }
        follow_block(line.directive, index, word);
    }

    void finish() {
        for (const OpenBlock& open : open_) {
            if (open.opener == Opener::Disp) {
                facts_.leaves_disp_open = true;  // ALASM's DISP lasts until an ENT in any file
                continue;
            }
            facts_.problems.push_back({open.word,
                                       std::string(kOpenerWords[static_cast<std::size_t>(open.opener)]) +
                                           " of line " + std::to_string(open.line + 1) + " is not closed",
                                       std::nullopt});
            close_local(open, packed_.lines.size() - 1);
        }
    }

private:
    std::string utf8(std::string_view bytes) const {
        std::string text;
        append_utf8(text, page_, bytes);
        return text;
    }

    std::size_t scope() const { return current_local_; }

    bool in_macro() const {
        return std::any_of(open_.begin(), open_.end(), [](const OpenBlock& open) { return open.opener == Opener::Macro; });
    }

    // Defines a name of the line's; where it ends in the line's text.
    std::size_t define(std::string_view bytes, NameKind kind, std::size_t index, std::size_t from) {
        const std::string name = utf8(bytes);
        const std::string_view text = packed_.lines[index];
        const auto found = occurrences(text, name, from);
        const std::size_t at = found.empty() ? 0 : found.front().at;
        const Range range{index, at, found.empty() ? text.size() : at + name.size()};
        std::size_t in = name.front() == '@' ? 0 : scope();
        if (in != 0) {
            // A name read before its LOCAL block and defined in it stays the project's.
            const auto first = first_use_.find(name);
            in = first != first_use_.end() && first->second < facts_.locals[in - 1].first ? 0 : in;
        }
        facts_.definitions.push_back({name, kind, range, in, in_macro()});
        return range.end;
    }

    // Uses of a name in the line from `from` on, `most` of them at most;
    // where the last ends.
    std::size_t use(std::string_view bytes, std::size_t index, std::size_t from, bool operated = false,
                    std::size_t most = SIZE_MAX) {
        const std::string name = utf8(bytes);
        std::size_t end = from;
        for (const Found& found : occurrences(packed_.lines[index], name, from)) {
            if (most-- == 0) {
                break;
            }
            facts_.uses.push_back(
                {name, {index, found.at, found.at + name.size()}, scope(), found.asks, in_macro(), operated});
            first_use_.emplace(name, index);
            end = std::max(end, found.at + name.size());
        }
        return end;
    }

    // The names an operand's value reads, from `from` on in the line, each
    // as often as the operand holds it (DB X,X*2 reads X once an operand);
    // where the operand's last name ends.
    std::size_t read_value(std::string_view value, std::size_t index, std::size_t from) {
        const ParsedExpression parsed = parse_expression(value);
        if (!parsed.expression) {
            return from;
        }
        std::set<std::string, std::less<>> names;
        std::set<std::string, std::less<>> operated;
        collect_labels(*parsed.expression, names);
        operated_names(*parsed.expression, operated);
        std::size_t end = from;
        for (const std::string& name : names) {
            const std::size_t times = std::max<std::size_t>(occurrences(value, name, 0).size(), 1);
            end = std::max(end, use(name, index, from, operated.count(name) != 0, times));
        }
        return end;
    }

    void note_jump(const Line& line, std::size_t index, std::size_t after) {
        const Operand* target = jump_target(line);
        if (target == nullptr || in_macro()) {
            return;  // a macro's body has its addresses where it is called
        }
        const std::string operand = utf8(trim(classify(*target).text));
        const std::string_view text = packed_.lines[index];
        const std::size_t at = text.find(operand, after);
        const Range range = at == std::string_view::npos ? whole_line(index, text) : Range{index, at, at + operand.size()};
        facts_.jumps.push_back({range, operand, scope()});
    }

    void close_local(const OpenBlock& open, std::size_t last) {
        facts_.folds.push_back({open.line, last});
        if (open.opener == Opener::Local && current_local_ != 0) {
            facts_.locals[current_local_ - 1].last = last;
            current_local_ = facts_.locals[current_local_ - 1].parent;
        }
    }

    void follow_block(Directive directive, std::size_t index, const Range& word) {
        if (const auto opener = opened_by(directive)) {
            open_.push_back({*opener, index, word});
            if (*opener == Opener::Local) {
                facts_.locals.push_back({index, packed_.lines.size() - 1, current_local_});
                current_local_ = facts_.locals.size();
            }
            return;
        }
        const std::string name(word.end > word.start ? packed_.lines[index].substr(word.start, word.end - word.start)
                                                     : std::string_view("it"));
        if (directive == Directive::Else) {
            if (open_.empty() || open_.back().opener != Opener::If) {
                facts_.problems.push_back({word, name + " stands in no IF0 or IFN block", std::nullopt});
            } else if (open_.back().had_else) {
                facts_.problems.push_back({word, "a second " + name + " in the IF0 or IFN of line " +
                                                     std::to_string(open_.back().line + 1), std::nullopt});
            }
            if (!open_.empty()) {
                open_.back().had_else = true;
            }
            return;
        }
        const auto closed = closed_by(directive);
        if (!closed) {
            return;
        }
        if (open_.empty() || open_.back().opener != *closed) {
            if (*closed == Opener::Disp) {
                facts_.loose_ents.push_back(word);  // the project decides
            } else {
                facts_.problems.push_back({word, name + " closes no block it opens", std::nullopt});
            }
            return;
        }
        close_local(open_.back(), index);
        open_.pop_back();
    }

    const PackedText& packed_;
    CodePage page_;
    const std::set<std::string, std::less<>>& macros_;
    TextFacts& facts_;
    std::vector<OpenBlock> open_;
    std::size_t current_local_ = 0;
    std::map<std::string, std::size_t, std::less<>> first_use_;
};

}  // namespace

TextFacts analyse_text(const PackedText& packed, CodePage page,
                       const std::set<std::string, std::less<>>& macros) {
    TextFacts facts;
    facts.problems = packed.problems;
    if (!packed.source) {
        return facts;
    }
    Reader reader(packed, page, macros, facts);
    const std::size_t lines = std::min(packed.source->size(), packed.lines.size());
    for (std::size_t i = 0; i < lines; ++i) {
        const SourceLine each(*packed.source, i);
        reader.read_line(each.line, i);
    }
    reader.finish();
    return facts;
}

}  // namespace korve::lsp
