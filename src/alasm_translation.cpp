#include "alasm_translation.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>

#include "alasm_tokens.h"
#include "instruction_size.h"

namespace korve {
namespace {

constexpr char kDefaultType = 'H';
constexpr std::string_view kWrittenSuffix = ".asm";
// REPEAT .. UNTIL0 repeats at most this often in pasmo, which has no loop
// on a condition.
constexpr std::string_view kMostRepeats = "65535";
// How far the translator looks for the bytes that overwrite those an ORG
// takes back.
constexpr std::size_t kLinesLookedAhead = 64;

// ------------------------------------------------------------ line parts

// One part of an operand: a keyword, a string, spaces or other text.
struct Item {
    LinePart part;
    unsigned char token;
    std::string_view text;
};
using Operand = std::vector<Item>;

// A line, as far as the translation goes.
struct Line {
    bool abandoned = false;    // an undefined keyword ended it
    std::string_view text;     // as korve writes it
    std::string_view field;    // everything before the mnemonic (or the comment)
    bool has_mnemonic = false;
    unsigned char token = 0;
    std::string_view word;     // the mnemonic
    std::vector<Operand> operands;
    std::string_view gap;      // the spaces before the comment
    std::string_view comment;  // from its ';'
    bool untokenized = false;  // operands after a string that held a ';'
};

std::string_view piece_text(const DescribedLine& line, const LinePiece& piece) {
    return std::string_view(line.text).substr(piece.begin, piece.size);
}

bool is_space_item(const Item& item) {
    return item.part == LinePart::Spaces ||
           (item.part == LinePart::Operand && item.token == keyword_tables::kSpaceToken);
}

void trim_items(Operand& operand) {
    while (!operand.empty() && is_space_item(operand.back())) {
        operand.pop_back();
    }
    const auto first = std::find_if_not(operand.begin(), operand.end(), is_space_item);
    operand.erase(operand.begin(), first);
}

// After a string that holds a ';', ALASM stores the rest of the line as
// typed, keywords too: what comes before the next ';' outside a string is
// more operands, in plain text and strings.
void split_untokenized(Line& line) {
    const std::string_view rest = line.comment;
    std::size_t cut = rest.size();
    bool quoted = false;
    for (std::size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == '"') {
            quoted = !quoted;
        } else if (!quoted && rest[i] == ';') {
            cut = i;
            break;
        }
    }
    std::string_view more = rest.substr(0, cut);
    line.comment = rest.substr(cut);
    const std::size_t end = more.find_last_not_of(' ');
    line.gap = more.substr(end == std::string_view::npos ? 0 : end + 1);
    more = more.substr(0, more.size() - line.gap.size());
    line.untokenized = true;
    if (line.operands.empty()) {
        line.operands.emplace_back();
    }
    for (std::size_t i = 0; i < more.size();) {
        if (more[i] == ',') {
            line.operands.emplace_back();
            ++i;
            continue;
        }
        std::size_t next = more.find_first_of(",\"", i);
        LinePart part = LinePart::Text;
        if (more[i] == '"') {
            const std::size_t close = more.find('"', i + 1);
            next = close == std::string_view::npos ? more.size() : close + 1;
            part = LinePart::String;
        }
        next = std::min(next, more.size());
        line.operands.back().push_back({part, kNoToken, more.substr(i, next - i)});
        i = next;
    }
    for (Operand& operand : line.operands) {
        trim_items(operand);
    }
}

Line parse_line(const DescribedLine& described) {
    Line line;
    line.text = described.text;
    line.abandoned = described.undefined.has_value();
    const auto& pieces = described.pieces;
    std::size_t at = 0;
    for (; at < pieces.size(); ++at) {
        if (pieces[at].part == LinePart::Mnemonic || pieces[at].part == LinePart::Comment) {
            break;
        }
    }
    const std::size_t field_end = at < pieces.size() ? pieces[at].begin : line.text.size();
    line.field = line.text.substr(0, field_end);
    if (at < pieces.size() && pieces[at].part == LinePart::Mnemonic) {
        line.has_mnemonic = true;
        line.token = pieces[at].token;
        line.word = decode_token(line.token, TokenMode::First).value_or("");
        ++at;
        Operand operand;
        bool any = false;
        for (; at < pieces.size() && pieces[at].part != LinePart::Comment; ++at) {
            const LinePiece& piece = pieces[at];
            const std::string_view text = piece_text(described, piece);
            if (piece.part != LinePart::Text) {
                operand.push_back({piece.part, piece.token, text});
                any = true;
                continue;
            }
            std::size_t start = 0;
            for (;;) {
                const std::size_t comma = text.find(',', start);
                const std::string_view part = text.substr(start, comma - start);
                if (!part.empty()) {
                    operand.push_back({LinePart::Text, kNoToken, part});
                }
                any = true;
                if (comma == std::string_view::npos) {
                    break;
                }
                line.operands.push_back(std::move(operand));
                operand.clear();
                start = comma + 1;
            }
        }
        if (!operand.empty() && is_space_item(operand.back()) && at < pieces.size()) {
            // The spaces before a comment set it off; they are no operand's.
            line.gap = operand.back().text;
            operand.pop_back();
        }
        if (any) {
            line.operands.push_back(std::move(operand));
        }
        for (Operand& each : line.operands) {
            trim_items(each);
        }
        if (line.operands.size() == 1 && line.operands[0].empty()) {
            line.operands.clear();
        }
    }
    if (at < pieces.size()) {
        line.comment = line.text.substr(pieces[at].begin);
        const bool after_string = at > 0 && pieces[at - 1].part == LinePart::String &&
                                  piece_text(described, pieces[at - 1]).find(';') !=
                                      std::string_view::npos;
        if (line.has_mnemonic && after_string && line.comment.front() != ';') {
            split_untokenized(line);
        }
    }
    if (!line.has_mnemonic && !line.comment.empty()) {
        // Spaces between the text before a comment and the comment.
        const std::size_t end = line.field.find_last_not_of(' ');
        const std::size_t keep = end == std::string_view::npos ? 0 : end + 1;
        line.gap = line.field.substr(keep);
        line.field = line.field.substr(0, keep);
    }
    return line;
}

std::string_view trim(std::string_view text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return {};
    }
    const std::size_t last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

bool is_name(std::string_view text) {
    if (text.empty() || !starts_alasm_name(text.front())) {
        return false;
    }
    return std::all_of(text.begin(), text.end(), continues_alasm_name);
}

// A label as it is defined: any characters but spaces (ALASM takes the
// whole word), less a ':' after it. A '+' before it marks a line ALASM
// assembles only the first time after loading the source: every build with
// another assembler is a first one.
struct LabelField {
    std::string_view name;
    bool colon = false;
    bool indented = false;
    std::string_view rest;  // anything after the name
};

LabelField label_field(std::string_view field) {
    LabelField label;
    if (!field.empty() && field.front() == '+') {
        field.remove_prefix(1);
    }
    label.indented = !field.empty() && field.front() == ' ';
    field = trim(field);
    const std::size_t end = field.find(' ');
    label.name = field.substr(0, end);
    label.rest = end == std::string_view::npos ? std::string_view() : trim(field.substr(end));
    if (!label.name.empty() && label.name.back() == ':') {
        label.colon = true;
        label.name.remove_suffix(1);
    }
    return label;
}

// -------------------------------------------------------------- operands

struct Classified {
    OperandKind kind = OperandKind::Bad;
    std::string word;  // a keyword's
    std::string text;  // a value's, or an index's displacement
};

bool is_index_token(std::string_view word) { return word == "(IX" || word == "(IY"; }

Classified classify(const Operand& operand) {
    Classified result;
    if (operand.empty()) {
        return result;
    }
    const bool any_token = std::any_of(operand.begin(), operand.end(), [](const Item& item) {
        return item.part == LinePart::Operand && item.token != keyword_tables::kSpaceToken;
    });
    if (!any_token) {
        result.kind = OperandKind::Value;
        for (const Item& item : operand) {
            result.text += is_space_item(item) ? std::string(item.text.size(), ' ')
                                               : std::string(item.text);
        }
        return result;
    }
    const Item& first = operand.front();
    if (first.part != LinePart::Operand) {
        return result;
    }
    result.word = std::string(decode_token(first.token, TokenMode::Operand).value_or(""));
    if (operand.size() == 1) {
        result.kind = is_index_token(result.word) ? OperandKind::Bad : OperandKind::Register;
        return result;
    }
    if (!is_index_token(result.word)) {
        return result;
    }
    std::string rest;
    for (std::size_t i = 1; i < operand.size(); ++i) {
        const Item& item = operand[i];
        if (item.part == LinePart::Operand && item.token != keyword_tables::kSpaceToken) {
            return result;
        }
        rest += is_space_item(item) ? std::string(item.text.size(), ' ') : std::string(item.text);
    }
    const std::string_view inside = trim(rest);
    if (inside.empty() || inside.back() != ')') {
        return result;
    }
    result.kind = OperandKind::Indexed;
    result.text = std::string(trim(inside.substr(0, inside.size() - 1)));
    return result;
}

// Whether `text` is one parenthesised group: "(a+b)", not "(a)+(b)".
bool wholly_parenthesised(std::string_view text) {
    if (text.size() < 2 || text.front() != '(' || text.back() != ')') {
        return false;
    }
    int depth = 0;
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            quoted = !quoted;
        } else if (!quoted && c == '(') {
            ++depth;
        } else if (!quoted && c == ')') {
            --depth;
            if (depth == 0 && i + 1 < text.size()) {
                return false;
            }
        }
    }
    return depth == 0;
}

// The text as one operand of a larger expression the translator writes.
std::string grouped(std::string_view text) {
    const bool simple = std::all_of(text.begin(), text.end(), [](char c) {
        return continues_alasm_name(c) || c == '#' || c == '%' || c == '$';
    });
    return simple ? std::string(text) : "(" + std::string(text) + ")";
}

// Adds the name a MACRO line defines.
void add_macro(const Line& line, std::set<std::string, std::less<>>& names) {
    if (line.word == "MACRO" && line.operands.size() == 1) {
        const Classified operand = classify(line.operands[0]);
        const std::string_view name = trim(operand.text);
        if (is_name(name)) {
            names.insert(std::string(name));
        }
    }
}

// --------------------------------------------------------------- the run

enum class BlockKind : unsigned char { Dup, Repeat, If, Local, Macro, Disp };
constexpr std::size_t kBlockKinds = 6;

struct Block {
    BlockKind kind;
    std::size_t line;   // index of the line that opened it
    // cppcheck-suppress unusedStructMember ; read through the optional close() gives
    std::string flag;  // the name of a REPEAT's flag
    bool has_else = false;
};

// What one line's translation produced.
struct Output {
    std::vector<std::string> lines;
    std::string problem;
};

class WholeTranslator {
public:
    WholeTranslator(const Project& setup, std::span<const DescribedLine> described)
        : setup_(setup), dialect_(setup.dialect), macros_(setup.macros) {
        lines_.reserve(described.size());
        for (const DescribedLine& each : described) {
            lines_.push_back(parse_line(each));
        }
        outputs_.resize(lines_.size());
        text_hash_ = hash_text(lines_);
        all_macros_ = macros_;
        for (const Line& line : lines_) {
            add_macro(line, all_macros_);
        }
        survey();
        for (std::size_t i = lines_.size(); i-- > 0;) {
            if (writes_bytes(i, all_macros_)) {
                last_write_ = i;
                break;
            }
        }
    }

    struct Translation {
        std::vector<TranslatedLine> lines;
        std::vector<UntranslatedLine> problems;
    };

    Translation run() {
        for (at_ = 0; at_ < lines_.size(); ++at_) {
            translate(lines_[at_], outputs_[at_]);
            follow(lines_[at_]);
        }
        finish();
        Translation translation;
        translation.lines.reserve(lines_.size());
        for (std::size_t i = 0; i < lines_.size(); ++i) {
            TranslatedLine line;
            Output& output = outputs_[i];
            if (!output.problem.empty()) {
                line.untranslated = UntranslatedLine{i + 1, output.problem};
            }
            for (std::size_t j = 0; j < output.lines.size(); ++j) {
                line.text += (j == 0 ? "" : "\n") + output.lines[j];
            }
            translation.lines.push_back(std::move(line));
        }
        translation.problems = std::move(end_problems_);
        return translation;
    }

private:
    bool sjasmplus() const { return dialect_ == Dialect::Sjasmplus; }
    bool pasmo() const { return dialect_ == Dialect::Pasmo; }

    // ------------------------------------------------ what the file holds

    // Looks through the whole file once for what a line needs to know of
    // lines after it: how often each name is set with '=', where it is
    // first set, and the labels defined inside each LOCAL block.
    void survey() {
        std::vector<std::size_t> locals;
        int repeating = 0;  // DUP, REPEAT and MACRO blocks around the line
        for (std::size_t i = 0; i < lines_.size(); ++i) {
            const Line& line = lines_[i];
            if (line.abandoned) {
                continue;
            }
            if (!line.has_mnemonic) {
                const auto assignment = split_assignment(line.field);
                if (assignment) {
                    // Set in a repeat, or from itself, a name is set again.
                    const std::string name(assignment->first);
                    const ParsedExpression value = parse_expression(assignment->second);
                    std::set<std::string, std::less<>> read;
                    if (value.expression) {
                        collect_labels(*value.expression, read);
                    }
                    const bool again = repeating > 0 || read.count(name) != 0;
                    if (assignments_[name] == 0) {
                        first_assignment_[name] = i;
                    }
                    assignments_[name] += again ? 2 : 1;
                    if (!locals.empty() && name.front() != '@') {
                        note_local(locals.back(), name);
                    }
                    continue;
                }
            }
            if (line.word == "DUP" || line.word == "REPEAT" || line.word == "MACRO") {
                ++repeating;
            } else if (line.word == "EDUP" || line.word == "UNTIL0" || line.word == "ENDM") {
                repeating = std::max(0, repeating - 1);
            }
            if (line.word == "LOCAL") {
                locals.push_back(i);
            } else if (line.word == "ENDL" && !locals.empty()) {
                locals.pop_back();
            }
            const LabelField label = label_field(line.field);
            const bool call = !line.has_mnemonic && all_macros_.count(label.name) != 0;
            if (!locals.empty() && !label.name.empty() && label.name.front() != '@' && !call &&
                (line.has_mnemonic || label.rest.empty())) {
                note_local(locals.back(), label.name);
            }
        }
    }

    void note_local(std::size_t block, std::string_view name) {
        std::string target = target_label(name, dialect_);
        if (local_seen_[block].insert(target).second) {
            local_names_[block].push_back(std::move(target));
        }
    }

    static std::optional<std::pair<std::string_view, std::string_view>> split_assignment(
        std::string_view field) {
        if (!field.empty() && field.front() == '+') {
            field.remove_prefix(1);
        }
        const std::size_t equals = field.find('=');
        if (equals == std::string_view::npos) {
            return std::nullopt;
        }
        const std::string_view name = trim(field.substr(0, equals));
        if (!is_name(name)) {
            return std::nullopt;
        }
        return std::make_pair(name, trim(field.substr(equals + 1)));
    }

    // Whether line `index` writes bytes (or may: an INCLUDE, a call of one
    // of `macros`).
    bool writes_bytes(std::size_t index, const std::set<std::string, std::less<>>& macros) const {
        const Line& line = lines_[index];
        if (!line.has_mnemonic) {
            const LabelField label = label_field(line.field);
            return label.indented && macros.count(label.name) != 0;
        }
        static constexpr std::array<std::string_view, 17> kSilent = {
            "ORG", "EQU", "MACRO", "ENDM", "LOCAL", "ENDL", "DISP", "ENT", "MAIN", "ELSE",
            "ENDIF", "IF0", "IFN", "DISPLAY", "RUN", "DUP", "EDUP",
        };
        return std::find(kSilent.begin(), kSilent.end(), line.word) == kSilent.end() &&
               line.word != "REPEAT" && line.word != "UNTIL0";
    }

    // -------------------------------------------- where the bytes are

    // ALASM's value of an expression, where this file says enough to know it.
    std::optional<std::uint16_t> known_value(std::string_view text) const {
        const ParsedExpression parsed = parse_expression(text);
        if (!parsed.expression) {
            return std::nullopt;
        }
        return evaluate_expression(*parsed.expression, known_, here_);
    }

    // Follows $ and the labels whose values the lines so far fix, as ALASM
    // assembles them, as long as every size is known; an INCLUDE, a macro,
    // a block or an instruction of an unknown size leaves $ unknown.
    void follow(const Line& line) {
        if (line.abandoned) {
            here_.reset();
            return;
        }
        if (!line.has_mnemonic) {
            if (const auto assignment = split_assignment(line.field)) {
                settle(assignment->first, known_value(assignment->second));
            } else if (!writes_bytes(at_, macros_)) {
                settle(label_field(line.field).name, here_);
            } else {
                here_.reset();
            }
            return;
        }
        const LabelField label = label_field(line.field);
        const std::string_view word = line.word;
        if (word == "EQU") {
            const bool one = line.operands.size() == 1;
            settle(label.name, one ? known_value(classify(line.operands[0]).text) : std::nullopt);
            return;
        }
        settle(label.name, here_);
        if (word == "ORG") {
            here_ = line.operands.size() == 1 ? known_value(classify(line.operands[0]).text)
                                              : std::nullopt;
            return;
        }
        if (word == "MAIN" || word == "DISPLAY") {
            return;
        }
        const auto size = emitted_size(line);
        if (!size || !here_) {
            here_.reset();
            return;
        }
        here_ = static_cast<std::uint16_t>(*here_ + *size);
    }

    void settle(std::string_view name, std::optional<std::uint16_t> value) {
        if (name.empty()) {
            return;
        }
        if (value) {
            known_[std::string(name)] = *value;
        } else {
            known_.erase(std::string(name));
        }
    }

    // How many bytes a line writes, where that is known.
    std::optional<std::size_t> emitted_size(const Line& line) const {
        const std::string_view word = line.word;
        if (word == "DB" || word == "DEFB" || word == "DW" || word == "DEFW") {
            const std::size_t item = word == "DB" || word == "DEFB" ? 1 : 2;
            std::size_t size = 0;
            for (const Operand& operand : line.operands) {
                const bool string = operand.size() == 1 && operand[0].part == LinePart::String;
                size += string && item == 1 ? operand[0].text.size() - 2 : item;
            }
            return size;
        }
        if (word == "DS" || word == "DEFS") {
            if (line.operands.empty()) {
                return std::nullopt;
            }
            const auto count = known_value(classify(line.operands[0]).text);
            std::size_t list = line.operands.size() == 1 ? 1 : 0;
            for (std::size_t i = 1; i < line.operands.size(); ++i) {
                const Operand& operand = line.operands[i];
                const bool string = operand.size() == 1 && operand[0].part == LinePart::String;
                list += string ? operand[0].text.size() - 2 : 1;
            }
            return count ? std::optional<std::size_t>(*count * list) : std::nullopt;
        }
        if (word == "DD") {
            std::size_t digits = 0;
            for (const Operand& operand : line.operands) {
                digits += trim(classify(operand).text).size();
            }
            return digits / 2;
        }
        if (word == "LD" && line.operands.size() > 2 && line.operands.size() % 2 == 0) {
            return std::nullopt;
        }
        return line_size(at_);
    }

    // ------------------------------------------------------ expressions

    void fail(Output& output, std::string what) {
        if (output.problem.empty()) {
            output.problem = std::move(what);
        }
    }

    // The expression in the target's terms. Inside pasmo's stand-in for
    // DISP, $ is the run address; as_placed gives the address where the
    // bytes lie instead (the run address less the block's offset).
    std::optional<std::string> expression(std::string_view text, ValueUse use, Output& output,
                                          ValueRange* range = nullptr, bool as_placed = false) {
        const ParsedExpression parsed = parse_expression(text);
        if (!parsed.expression) {
            fail(output, "'" + std::string(trim(text)) + "': " + parsed.problem);
            return std::nullopt;
        }
        std::set<std::string, std::less<>> names;
        collect_labels(*parsed.expression, names);
        for (const std::string& name : names) {
            const auto count = assignments_.find(name);
            if (count != assignments_.end() && count->second > 1 &&
                at_ < first_assignment_.at(name)) {
                fail(output, name + " is set more than once and read before it is first set");
                return std::nullopt;
            }
        }
        WriteOptions options;
        options.dialect = dialect_;
        options.use = use;
        options.defined = &defined_;
        options.ranges = &ranges_;
        const std::string prefix = "korve_v" + std::to_string(at_ + 1) + "_";
        options.helper_prefix = prefix;
        options.helper_count = helpers_.size();
        const bool placed = as_placed && !disp_offset_.empty();
        const bool bare = placed && offsets_here(*parsed.expression);
        options.here_offset = bare ? std::string_view() : std::string_view(disp_offset_);
        WrittenExpression written = write_expression(*parsed.expression, options);
        if (!written.problem.empty()) {
            fail(output, written.problem);
            return std::nullopt;
        }
        if (placed && !bare) {
            written.text = grouped(written.text) + "-" + disp_offset_;
        }
        for (HelperValue& helper : written.helpers) {
            helpers_.push_back(std::move(helper));
        }
        if (range != nullptr) {
            *range = written.range;
        }
        return std::move(written.text);
    }

    // A string of a DB, its bytes kept: in single quotes where a backslash
    // would start an escape in double quotes.
    static std::string string_item(std::string_view quoted) {
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

    // ---------------------------------------------------------- labels

    std::string label_text(const LabelField& label) const {
        if (label.name.empty()) {
            return {};
        }
        return target_label(label.name, dialect_) + (label.colon ? ":" : "");
    }

    void define(std::string_view name) { defined_.insert(std::string(name)); }

    // What a label set once may hold; one set more often (in a repeat,
    // say) is taken, like any other, to hold a 16-bit value.
    void note_range(std::string_view name, ValueRange range) {
        const auto count = assignments_.find(name);
        if (count == assignments_.end() || count->second == 1) {
            ranges_[std::string(name)] = range;
        }
    }

    // The label of a line as its own line of output, if it has one: in
    // pasmo's stand-in for DISP, the run address.
    void label_line(const LabelField& label, Output& output) {
        if (label.name.empty()) {
            return;
        }
        define(label.name);
        if (!disp_offset_.empty()) {
            output.lines.push_back(target_label(label.name, dialect_) + "\tEQU\t$+" +
                                   disp_offset_);
            return;
        }
        output.lines.push_back(label_text(label));
    }

    static std::string instruction(std::string_view label, std::string_view mnemonic,
                                   std::string_view operands) {
        std::string text(label);
        text += '\t';
        text += mnemonic;
        if (!operands.empty()) {
            text += '\t';
            text += operands;
        }
        return text;
    }

    // -------------------------------------------------------- one line

    void translate(const Line& line, Output& output) {
        if (in_block(BlockKind::Macro) && uses_parameters(line)) {
            fail(output, "a macro's parameters (\\0..\\9, \\C \\N \\S \\P \\R)");
        } else if (!line.comment.empty() && line.comment.front() != ';') {
            fail(output, "text that ALASM keeps as typed (after byte 0x10, or after a ';' in a string)");
        } else if (line.abandoned) {
            fail(output, "the line holds a keyword byte that ALASM does not define");
        } else if (!line.has_mnemonic) {
            translate_text(line, output);
        } else if (line.token == keyword_tables::kSpaceToken) {
            if (line.operands.empty() && trim(line.field).empty()) {
                output.lines.emplace_back();
            } else {
                fail(output, "a space keyword stands where the mnemonic should");
            }
        } else {
            translate_statement(line, output);
        }
        if (!output.problem.empty()) {
            helpers_.clear();
            mark_untranslated(line, output);
            return;
        }
        // Values a rotation reads twice, set before the line that reads them.
        std::vector<std::string> helpers;
        for (const HelperValue& helper : helpers_) {
            helpers.push_back(sjasmplus() ? helper.name + " = " + helper.text
                                          : helper.name + "\tDEFL\t" + helper.text);
        }
        const std::size_t after_label = helpers.empty() ? 0 : helpers_after_;
        output.lines.insert(output.lines.begin() + static_cast<std::ptrdiff_t>(after_label),
                            helpers.begin(), helpers.end());
        helpers_.clear();
        helpers_after_ = 0;
        if (!line.comment.empty()) {
            if (output.lines.empty()) {
                output.lines.emplace_back();
            }
            output.lines.back() += std::string(line.gap) + std::string(line.comment);
        }
        if (output.lines.empty()) {
            output.lines.emplace_back();
        }
    }

    static bool uses_parameters(const Line& line) {
        if (line.field.find('\\') != std::string_view::npos) {
            return true;
        }
        return std::any_of(line.operands.begin(), line.operands.end(), [](const Operand& operand) {
            return std::any_of(operand.begin(), operand.end(), [](const Item& item) {
                return item.part == LinePart::Text && item.text.find('\\') != std::string_view::npos;
            });
        });
    }

    // The line as a comment that says why, keeping its label where there
    // is one, so that the lines that use it still assemble.
    void mark_untranslated(const Line& line, Output& output) {
        output.lines.clear();
        const LabelField label = label_field(line.field);
        if (line.has_mnemonic && is_name(label.name)) {
            output.lines.push_back(label_text(label));
        }
        output.lines.push_back(std::string(kUntranslatedMark) + " cannot translate: " +
                               output.problem);
        output.lines.push_back(std::string(kUntranslatedMark) + std::string(line.text));
    }

    // A line without a mnemonic: empty, a label, NAME=e, or a macro call.
    void translate_text(const Line& line, Output& output) {
        const std::string_view field = trim(line.field);
        if (field.empty()) {
            return;
        }
        if (const auto assignment = split_assignment(line.field)) {
            assign(assignment->first, assignment->second, output);
            return;
        }
        const LabelField label = label_field(line.field);
        if (!label.rest.empty()) {
            fail(output, "'" + std::string(field) + "' is neither a label nor a macro call");
            return;
        }
        if (label.indented && macros_.count(std::string(label.name)) != 0) {
            note_emitted();
            output.lines.push_back("\t" + std::string(label.name));
            return;
        }
        if (label.name.empty() || label.name.find_first_of("\"';,()") != std::string_view::npos) {
            fail(output, "'" + std::string(field) + "' is no label");
            return;
        }
        label_line(label, output);
    }

    void assign(std::string_view name, std::string_view value, Output& output) {
        // A name set more than once holds a 16-bit value, as any label
        // not set in this file is taken to.
        ValueRange range;
        const bool once = assignments_[std::string(name)] == 1;
        const auto written =
            expression(value, once ? ValueUse::Definition : ValueUse::Exact, output, &range);
        if (!written) {
            return;
        }
        define(name);
        note_range(name, range);
        const std::string target = target_label(name, dialect_);
        if (sjasmplus()) {
            output.lines.push_back(target + " = " + *written);
        } else {
            output.lines.push_back(target + (once ? "\tEQU\t" : "\tDEFL\t") + *written);
        }
    }

    void translate_statement(const Line& line, Output& output) {
        static constexpr std::array<std::string_view, 7> kData = {
            "DB", "DEFB", "DW", "DEFW", "DS", "DEFS", "DISPLAY",
        };
        if (line.untokenized && std::find(kData.begin(), kData.end(), line.word) == kData.end()) {
            fail(output, "after a string that holds a ';', ALASM stored no keywords");
            return;
        }
        const LabelField label = label_field(line.field);
        if (!label.rest.empty() || (!label.name.empty() && !is_label(label.name))) {
            fail(output, "'" + std::string(trim(line.field)) + "' is no label");
            return;
        }
        const std::string_view word = line.word;
        if (word == "EQU") {
            equate(label, line, output);
        } else if (word == "ORG") {
            label_line(label, output);
            origin(line, output);
        } else if (word == "DB" || word == "DEFB" || word == "DW" || word == "DEFW") {
            data(label, line, output, word == "DW" || word == "DEFW");
        } else if (word == "DS" || word == "DEFS") {
            space(label, line, output);
        } else if (word == "DD") {
            packed(label, line, output);
        } else if (word == "INCLUDE" || word == "INCBIN" || word == "MAIN") {
            label_line(label, output);
            file(line, output);
        } else if (word == "DISPLAY") {
            label_line(label, output);
            display(line, output);
        } else if (word == "RUN") {
            fail(output, "RUN calls machine code while ALASM assembles");
        } else if (is_block_word(word)) {
            label_line(label, output);
            block(line, output);
        } else {
            code(label, line, output);
        }
    }

    static bool is_label(std::string_view name) {
        return std::none_of(name.begin(), name.end(), [](char c) {
            return c == '"' || c == ',' || c == '(' || c == ')' || c == ';' || c == '=';
        });
    }

    static bool is_block_word(std::string_view word) {
        static constexpr std::array<std::string_view, 15> kWords = {
            "DUP", "EDUP", "REPEAT", "UNTIL0", "IF0", "IFN", "ELSE", "ENDIF",
            "DISP", "ENT", "LOCAL", "ENDL", "MACRO", "ENDM", "RUN",
        };
        return std::find(kWords.begin(), kWords.end(), word) != kWords.end();
    }

    std::optional<std::string> single_value(const Line& line, Output& output,
                                            ValueUse use = ValueUse::Exact) {
        if (line.operands.size() != 1) {
            fail(output, std::string(line.word) + " takes one value");
            return std::nullopt;
        }
        const Classified operand = classify(line.operands[0]);
        if (operand.kind != OperandKind::Value) {
            fail(output, std::string(line.word) + " takes a value");
            return std::nullopt;
        }
        return expression(operand.text, use, output);
    }

    void equate(const LabelField& label, const Line& line, Output& output) {
        if (label.name.empty()) {
            fail(output, "EQU names no label");
            return;
        }
        if (line.operands.size() != 1 || classify(line.operands[0]).kind != OperandKind::Value) {
            fail(output, "EQU takes one value");
            return;
        }
        ValueRange range;
        const auto value =
            expression(classify(line.operands[0]).text, ValueUse::Definition, output, &range);
        if (!value) {
            return;
        }
        define(label.name);
        note_range(label.name, range);
        output.lines.push_back(instruction(label_text(label), "EQU", *value));
    }

    // ------------------------------------------------------------ ORG

    // ORG inside DISP moves where the bytes go as far as it moves $ (a
    // block copied to its run address needs it so).
    void origin(const Line& line, Output& output) {
        if (line.operands.size() != 1 || classify(line.operands[0]).kind != OperandKind::Value) {
            fail(output, "ORG takes one value");
            return;
        }
        // An address: as a label's value, it is taken to stay within 64 KiB.
        const auto value = expression(classify(line.operands[0]).text, ValueUse::Definition,
                                      output, nullptr, pasmo());
        if (!value) {
            return;
        }
        if (pasmo()) {
            output.lines.push_back(instruction({}, "ORG", *value));
            return;
        }
        if (!emitted_ || !bytes_follow()) {
            output.lines.push_back(instruction({}, "ORG", *value));
            return;
        }
        if (trim_back_after_repeat(line, output)) {
            return;
        }
        const auto address = known_value(classify(line.operands[0]).text);
        if (address && here_ && *address < *here_) {
            fail(output, "ORG goes back below bytes that sjasmplus --raw has already written");
            return;
        }
        // sjasmplus --raw writes bytes one after another: it fills a gap as
        // ALASM's memory holds it (with zeros, here), and cannot go back.
        const std::string written = grouped(*value);
        output.lines.push_back(instruction({}, "ASSERT", written + " >= $"));
        output.lines.push_back(instruction({}, "DS", written + "-$"));
    }

    // Bytes were written (not while a macro is defined: its body writes
    // where it is called).
    void note_emitted() { emitted_ = emitted_ || !in_block(BlockKind::Macro); }

    bool in_block(BlockKind kind) const { return open_blocks_[static_cast<std::size_t>(kind)] > 0; }

    // Whether lines after this one write bytes.
    bool bytes_follow() const { return last_write_ && *last_write_ > at_; }

    // "EDUP / ORG $-k": ALASM writes the next bytes over the last k of the
    // repeat. sjasmplus writes its raw output in order, so the instructions
    // that make those k bytes are left out of the repeat's last pass.
    bool trim_back_after_repeat(const Line& line, Output& output) {
        const ParsedExpression parsed = parse_expression(classify(line.operands[0]).text);
        const Expression& address = *parsed.expression;
        const ExpressionNode& root = address.nodes[address.root];
        if (root.kind != ExpressionKind::Binary || root.op != ExpressionOperator::Subtract ||
            address.nodes[root.left].kind != ExpressionKind::Here) {
            return false;
        }
        const auto back = evaluate_expression(address, {}, std::uint16_t{0});
        std::size_t edup = at_;
        while (edup > 0 && is_blank(edup - 1)) {
            --edup;
        }
        if (!back || edup == 0 || lines_[edup - 1].word != "EDUP" || !edup_opener_.count(edup - 1)) {
            return false;
        }
        const std::size_t wanted = static_cast<std::uint16_t>(0U - *back);
        const std::size_t dup = edup_opener_.at(edup - 1);
        std::size_t covered = 0;
        std::size_t first = edup - 1;
        while (covered < wanted && first > dup + 1) {
            --first;
            if (is_blank(first)) {
                continue;
            }
            const auto size = line_size(first);
            if (!size) {
                break;
            }
            covered += *size;
        }
        if (covered != wanted || !bytes_overwritten(wanted)) {
            fail(output, "ORG goes back over " + std::to_string(wanted) +
                             " bytes that sjasmplus has already written");
            return true;
        }
        const std::string index = "korve_dup" + std::to_string(dup + 1);
        std::vector<std::string>& opening = outputs_[dup].lines;
        opening.back() += ", " + index;
        std::vector<std::string>& kept_from = outputs_[first].lines;
        kept_from.insert(kept_from.begin(),
                         instruction({}, "IF", index + " < " + dup_counts_[dup] + "-1"));
        outputs_[edup - 1].lines.insert(outputs_[edup - 1].lines.begin(),
                                        instruction({}, "ENDIF", {}));
        output.lines.push_back("; ORG " + classify(line.operands[0]).text +
                               ": the repeat's last pass leaves those bytes out");
        return true;
    }

    bool is_blank(std::size_t index) const {
        const Line& line = lines_[index];
        return !line.abandoned && !line.has_mnemonic && trim(line.field).empty();
    }

    // Whether the lines after this one write at least `count` bytes, in
    // instructions of a known size, before anything else happens.
    bool bytes_overwritten(std::size_t count) const {
        std::size_t written = 0;
        const std::size_t end = std::min(lines_.size(), at_ + 1 + kLinesLookedAhead);
        for (std::size_t i = at_ + 1; i < end && written < count; ++i) {
            if (!lines_[i].has_mnemonic && !lines_[i].abandoned && !writes_bytes(i, macros_)) {
                continue;  // a label, a name set, a comment
            }
            const auto size = line_size(i);
            if (!size) {
                return false;
            }
            written += *size;
        }
        return written >= count;
    }

    std::optional<std::size_t> line_size(std::size_t index) const {
        const Line& line = lines_[index];
        if (!line.has_mnemonic || line.abandoned) {
            return std::nullopt;
        }
        std::vector<OperandShape> shapes;
        for (const Operand& operand : line.operands) {
            const Classified classified = classify(operand);
            shapes.push_back({classified.kind, classified.word,
                              classified.kind == OperandKind::Value &&
                                  wholly_parenthesised(trim(classified.text))});
        }
        return instruction_size(line.word, shapes);
    }

    // ------------------------------------------------------------ data

    // An item of DB or of DS's list: a string, its bytes kept, or a value.
    std::optional<std::string> byte_item(const Operand& operand, Output& output) {
        if (operand.size() == 1 && operand[0].part == LinePart::String) {
            return string_item(operand[0].text);
        }
        const Classified item = classify(operand);
        if (item.kind != OperandKind::Value) {
            fail(output, "an item is no value");
            return std::nullopt;
        }
        return expression(item.text, ValueUse::Truncated, output);
    }

    void data(const LabelField& label, const Line& line, Output& output, bool words) {
        if (line.operands.empty()) {
            fail(output, std::string(line.word) + " lists nothing");
            return;
        }
        std::string items;
        for (std::size_t i = 0; i < line.operands.size(); ++i) {
            const Operand& operand = line.operands[i];
            const Classified classified = classify(operand);
            const ParsedExpression parsed = parse_expression(classified.text);
            if (i > 0 && parsed.expression && reads_here(*parsed.expression)) {
                fail(output, "$ after a list's first item: assemblers differ on its value");
                return;
            }
            const bool string = operand.size() == 1 && operand[0].part == LinePart::String;
            if (words && string && operand[0].text.size() != 3) {
                fail(output, "a string of more than one character in DW");
                return;
            }
            if (words && classified.kind != OperandKind::Value) {
                fail(output, "an item is no value");
                return;
            }
            const auto item = words ? expression(classified.text, ValueUse::Truncated, output)
                                    : byte_item(operand, output);
            if (!item) {
                return;
            }
            items += (i > 0 ? "," : "") + *item;
        }
        note_emitted();
        emit(label, line.word, items, output);
    }

    // An instruction or data line, with its label in place (in pasmo's
    // stand-in for DISP, on a line of its own).
    void emit(const LabelField& label, std::string_view mnemonic, std::string_view operands,
              Output& output) {
        if (!helpers_.empty() && !label.name.empty()) {
            // The label first: the helper values may read it.
            label_line(label, output);
            helpers_after_ = output.lines.size();
            output.lines.push_back(instruction({}, mnemonic, operands));
            return;
        }
        if (!disp_offset_.empty() && !label.name.empty()) {
            label_line(label, output);
            output.lines.push_back(instruction({}, mnemonic, operands));
            return;
        }
        if (!label.name.empty()) {
            define(label.name);
        }
        output.lines.push_back(instruction(label_text(label), mnemonic, operands));
    }

    void space(const LabelField& label, const Line& line, Output& output) {
        if (line.operands.empty()) {
            fail(output, "DS takes a count");
            return;
        }
        const Classified count = classify(line.operands[0]);
        if (count.kind != OperandKind::Value) {
            fail(output, "DS takes a count");
            return;
        }
        const auto written_count = expression(count.text, ValueUse::Exact, output);
        if (!written_count) {
            return;
        }
        note_emitted();
        if (line.operands.size() == 1) {
            emit(label, line.word, *written_count, output);
            return;
        }
        std::string items;
        for (std::size_t i = 1; i < line.operands.size(); ++i) {
            const auto item = byte_item(line.operands[i], output);
            if (!item) {
                return;
            }
            items += (i > 1 ? "," : "") + *item;
        }
        const bool one_byte = line.operands.size() == 2 &&
                              !(line.operands[1].size() == 1 &&
                                line.operands[1][0].part == LinePart::String);
        if (one_byte) {
            emit(label, line.word, *written_count + "," + items, output);
            return;
        }
        // ALASM copies the whole list n times; the targets fill with one value.
        label_line(label, output);
        output.lines.push_back(instruction({}, sjasmplus() ? "DUP" : "REPT", *written_count));
        output.lines.push_back(instruction({}, "DB", items));
        output.lines.push_back(instruction({}, sjasmplus() ? "EDUP" : "ENDM", {}));
    }

    void packed(const LabelField& label, const Line& line, Output& output) {
        std::string items;
        for (const Operand& operand : line.operands) {
            const Classified classified = classify(operand);
            const std::string_view digits = trim(classified.text);
            const bool hex = classified.kind == OperandKind::Value && !digits.empty() &&
                             std::all_of(digits.begin(), digits.end(), [](char c) {
                                 return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') ||
                                        (c >= 'a' && c <= 'f');
                             });
            if (!hex || digits.size() % 2 != 0) {
                fail(output, "DD packs pairs of hexadecimal digits");
                return;
            }
            for (std::size_t i = 0; i < digits.size(); i += 2) {
                items += items.empty() ? "#" : ",#";
                items += digits.substr(i, 2);
            }
        }
        if (items.empty()) {
            fail(output, "DD packs pairs of hexadecimal digits");
            return;
        }
        note_emitted();
        emit(label, "DB", items, output);
    }

    // ------------------------------------------------ files and messages

    void file(const Line& line, Output& output) {
        if (line.operands.empty() || line.operands[0].size() != 1 ||
            line.operands[0][0].part != LinePart::String) {
            fail(output, std::string(line.word) + " takes a name in quotes");
            return;
        }
        const std::string_view quoted = line.operands[0][0].text;
        const std::string_view name = quoted.substr(1, quoted.size() - 2);
        if (line.word == "MAIN") {
            output.lines.push_back("; MAIN: the main file is \"" + include_file(name) + "\"");
            return;
        }
        if (line.operands.size() > 2) {
            fail(output, std::string(line.word) + " takes a name and one value");
            return;
        }
        if (line.word == "INCLUDE") {
            // The page only says where ALASM keeps the included text.
            output.lines.push_back(instruction({}, "INCLUDE", "\"" + include_file(name) + "\""));
            return;
        }
        note_emitted();
        std::string operands = "\"" + std::string(name) + "\"";
        if (line.operands.size() == 2) {
            const Classified length = classify(line.operands[1]);
            if (length.kind != OperandKind::Value) {
                fail(output, "INCBIN's length is no value");
                return;
            }
            if (pasmo()) {
                fail(output, "pasmo's INCBIN takes no length");
                return;
            }
            const auto value = expression(length.text, ValueUse::Exact, output);
            if (!value) {
                return;
            }
            operands += ",0," + *value;
        }
        output.lines.push_back(instruction({}, "INCBIN", operands));
    }

    std::string include_file(std::string_view name) const {
        const auto found = setup_.includes.find(include_key(name));
        return found != setup_.includes.end() ? found->second : default_include_file(name);
    }

    void display(const Line& line, Output& output) {
        std::string items;
        for (std::size_t i = 0; i < line.operands.size(); ++i) {
            const Operand& operand = line.operands[i];
            items += i > 0 ? "," : "";
            if (operand.size() == 1 && operand[0].part == LinePart::String) {
                items += string_item(operand[0].text);
                continue;
            }
            const Classified classified = classify(operand);
            const std::string_view text = trim(classified.text);
            if (classified.kind == OperandKind::Value && text.size() == 2 && text[0] == '/') {
                items += std::string(text);
                continue;
            }
            if (classified.kind != OperandKind::Value) {
                fail(output, "a DISPLAY item is no value");
                return;
            }
            const auto value = expression(text, ValueUse::Truncated, output);
            if (!value) {
                return;
            }
            items += *value;
        }
        if (pasmo()) {
            output.lines.push_back("; DISPLAY " + items + " (pasmo prints nothing)");
            return;
        }
        output.lines.push_back(instruction({}, "DISPLAY", items));
    }

    // ---------------------------------------------------------- blocks

    void open(BlockKind kind, std::string flag = {}) {
        blocks_.push_back({kind, at_, std::move(flag), false});
        ++open_blocks_[static_cast<std::size_t>(kind)];
    }

    std::optional<Block> close(BlockKind kind, Output& output, std::string_view word) {
        if (blocks_.empty() || blocks_.back().kind != kind) {
            fail(output, std::string(word) + " closes no block it opens");
            return std::nullopt;
        }
        Block closed = blocks_.back();
        blocks_.pop_back();
        --open_blocks_[static_cast<std::size_t>(kind)];
        return closed;
    }

    void block(const Line& line, Output& output) {
        const std::string_view word = line.word;
        if (word == "DUP") {
            const auto count = single_value(line, output);
            if (!count) {
                return;
            }
            dup_counts_[at_] = grouped(*count);
            open(BlockKind::Dup);
            output.lines.push_back(instruction({}, sjasmplus() ? "DUP" : "REPT", *count));
        } else if (word == "EDUP") {
            const auto opened = close(BlockKind::Dup, output, word);
            if (!opened) {
                return;
            }
            edup_opener_[at_] = opened->line;
            output.lines.push_back(instruction({}, sjasmplus() ? "EDUP" : "ENDM", {}));
        } else if (word == "REPEAT") {
            no_operands(line, output);
            const std::string flag = "korve_repeat" + std::to_string(at_ + 1);
            open(BlockKind::Repeat, flag);
            if (sjasmplus()) {
                output.lines.push_back(flag + " = 1");
                output.lines.push_back(instruction({}, "WHILE", flag));
            } else {
                output.lines.push_back(instruction({}, "REPT", kMostRepeats));
            }
        } else if (word == "UNTIL0") {
            const auto condition = single_value(line, output);
            if (!condition) {
                return;
            }
            const auto opened = close(BlockKind::Repeat, output, word);
            if (!opened) {
                return;
            }
            if (sjasmplus()) {
                output.lines.push_back(opened->flag + " = " + *condition);
                output.lines.push_back(instruction({}, "ENDW", {}));
            } else {
                output.lines.push_back(instruction({}, "IF", zero_test(line, output)));
                output.lines.push_back(instruction({}, "EXITM", {}));
                output.lines.push_back(instruction({}, "ENDIF", {}));
                output.lines.push_back(instruction({}, "ENDM", {}));
            }
        } else if (word == "IF0" || word == "IFN") {
            std::string condition;
            if (word == "IF0") {
                condition = zero_test(line, output);
            } else if (const auto value = single_value(line, output)) {
                condition = *value;
            }
            if (!output.problem.empty()) {
                return;
            }
            open(BlockKind::If);
            output.lines.push_back(instruction({}, "IF", condition));
        } else if (word == "ELSE") {
            no_operands(line, output);
            if (blocks_.empty() || blocks_.back().kind != BlockKind::If || blocks_.back().has_else) {
                fail(output, "ELSE outside IF0 or IFN");
                return;
            }
            blocks_.back().has_else = true;
            output.lines.push_back(instruction({}, "ELSE", {}));
        } else if (word == "ENDIF") {
            no_operands(line, output);
            if (close(BlockKind::If, output, word)) {
                output.lines.push_back(instruction({}, "ENDIF", {}));
            }
        } else if (word == "DISP") {
            displace(line, output);
        } else if (word == "ENT") {
            no_operands(line, output);
            if (!close(BlockKind::Disp, output, word)) {
                return;
            }
            if (sjasmplus()) {
                output.lines.push_back(instruction({}, "ENT", {}));
            } else {
                output.lines.push_back("; ENT: " + disp_offset_ + " no longer applies");
                disp_offset_.clear();
            }
        } else if (word == "LOCAL") {
            no_operands(line, output);
            open(BlockKind::Local);
            if (sjasmplus()) {
                output.lines.push_back(instruction({}, "MODULE", module_name()));
            } else {
                output.lines.push_back(instruction({}, "PROC", {}));
                const auto names = local_names_.find(at_);
                if (names != local_names_.end()) {
                    std::string list;
                    for (const std::string& name : names->second) {
                        list += (list.empty() ? "" : ", ") + name;
                    }
                    output.lines.push_back(instruction({}, "LOCAL", list));
                }
            }
        } else if (word == "ENDL") {
            no_operands(line, output);
            if (close(BlockKind::Local, output, word)) {
                output.lines.push_back(instruction({}, sjasmplus() ? "ENDMODULE" : "ENDP", {}));
            }
        } else if (word == "MACRO") {
            macro(line, output);
        } else if (word == "ENDM") {
            no_operands(line, output);
            if (close(BlockKind::Macro, output, word)) {
                output.lines.push_back(instruction({}, "ENDM", {}));
            }
        }
    }

    void no_operands(const Line& line, Output& output) {
        if (!line.operands.empty()) {
            fail(output, std::string(line.word) + " takes nothing");
        }
    }

    // "e == 0" in the target's terms.
    std::string zero_test(const Line& line, Output& output) {
        if (line.operands.size() != 1) {
            fail(output, std::string(line.word) + " takes one value");
            return {};
        }
        const Classified operand = classify(line.operands[0]);
        const auto value = expression(operand.text, ValueUse::Exact, output);
        if (!value) {
            return {};
        }
        return grouped(*value) + (sjasmplus() ? " == 0" : " = 0");
    }

    void displace(const Line& line, Output& output) {
        if (in_block(BlockKind::Disp)) {
            fail(output, "DISP inside DISP");
            return;
        }
        const auto address = single_value(line, output);
        if (!address) {
            return;
        }
        open(BlockKind::Disp);
        note_emitted();
        if (sjasmplus()) {
            output.lines.push_back(instruction({}, "DISP", *address));
            return;
        }
        // pasmo assembles only where the bytes go: labels, $ and relative
        // jumps in the block are offset by the run address's distance.
        disp_offset_ = "korve_disp" + std::to_string(at_ + 1);
        output.lines.push_back(disp_offset_ + "\tDEFL\t" + grouped(*address) + "-$");
    }

    void macro(const Line& line, Output& output) {
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
        macros_.insert(std::string(text));
        open(BlockKind::Macro);
        output.lines.push_back(instruction({}, "MACRO", text));
    }

    // A name for sjasmplus's module that stands for LOCAL: one no other
    // file's translation gives, as it mixes in this file's text.
    std::string module_name() const {
        std::array<char, 9> digits{};
        for (std::size_t i = 0; i < 8; ++i) {
            digits[7 - i] = "0123456789abcdef"[(text_hash_ >> (4 * i)) & 0xF];
        }
        return "korve_local_" + std::string(digits.data(), 8) + "_" + std::to_string(at_ + 1);
    }

    // FNV-1a, over every line's text.
    static std::uint32_t hash_text(const std::vector<Line>& lines) {
        std::uint32_t hash = 2166136261U;
        for (const Line& line : lines) {
            for (const char c : line.text) {
                hash = (hash ^ static_cast<unsigned char>(c)) * 16777619U;
            }
        }
        return hash;
    }

    // ------------------------------------------------------------ code

    void code(const LabelField& label, const Line& line, Output& output) {
        std::string_view word = line.word;
        std::vector<Classified> operands;
        for (const Operand& operand : line.operands) {
            operands.push_back(classify(operand));
            if (operands.back().kind == OperandKind::Bad) {
                fail(output, "an operand is neither a register nor a value");
                return;
            }
        }
        note_emitted();
        if (word == "LD" && operands.size() > 2 && operands.size() % 2 == 0) {
            Output pairs;
            for (std::size_t i = 0; i < operands.size(); i += 2) {
                const std::vector<Classified> pair = {operands[i], operands[i + 1]};
                const auto text = code_operands(word, pair, output);
                if (!text) {
                    return;
                }
                pairs.lines.push_back(*text);
            }
            emit(label, word, pairs.lines[0], output);
            for (std::size_t i = 1; i < pairs.lines.size(); ++i) {
                output.lines.push_back(instruction({}, word, pairs.lines[i]));
            }
            return;
        }
        if (operands.size() > most_operands(word)) {
            fail(output, std::string(word) + " with " + std::to_string(operands.size()) +
                             (operands.size() == 1 ? " operand" : " operands"));
            return;
        }
        // ALASM's own instructions, in Zilog's terms.
        static constexpr std::array<std::pair<std::string_view, std::string_view>, 4> kJumps = {{
            {"JNZ", "NZ"}, {"JZ", "Z"}, {"JNC", "NC"}, {"JC", "C"},
        }};
        std::string prefix;
        for (const auto& [alasm, condition] : kJumps) {
            if (word == alasm) {
                word = "JR";
                prefix = std::string(condition) + ",";
            }
        }
        if (line.word == "EXA" || line.word == "EXD") {
            emit(label, "EX", line.word == "EXA" ? "AF,AF'" : "DE,HL", output);
            return;
        }
        if (line.word == "INF" || (word == "OUT" && operands.size() == 2 &&
                                   operands[0].word == "(C)" && is_zero(operands[1]))) {
            const bool in = line.word == "INF";
            if (sjasmplus()) {
                emit(label, in ? "IN" : "OUT", in ? "F,(C)" : "(C),0", output);
            } else {
                emit(label, "DB", in ? "#ED,#70" : "#ED,#71", output);
                output.lines.back() += in ? "\t; IN F,(C)" : "\t; OUT (C),0";
            }
            return;
        }
        if (word == "SLI") {
            word = "SLL";
        }
        const auto text = code_operands(word, operands, output);
        if (!text) {
            return;
        }
        emit(label, word, prefix + *text, output);
    }

    static bool is_zero(const Classified& operand) {
        return operand.kind == OperandKind::Value && trim(operand.text) == "0";
    }

    static std::size_t most_operands(std::string_view word) {
        static constexpr std::array<std::string_view, 22> kOne = {
            "SUB", "AND", "XOR", "OR", "CP", "PUSH", "POP", "INC", "DEC", "RLC", "RRC",
            "RL", "RR", "SLA", "SRA", "SLI", "SRL", "IM", "RST", "DJNZ", "RET", "JNZ",
        };
        static constexpr std::array<std::string_view, 3> kOneMore = {"JZ", "JNC", "JC"};
        if (std::find(kOne.begin(), kOne.end(), word) != kOne.end() ||
            std::find(kOneMore.begin(), kOneMore.end(), word) != kOneMore.end()) {
            return 1;
        }
        static constexpr std::array<std::string_view, 11> kTwo = {
            "LD", "ADD", "ADC", "SBC", "EX", "IN", "OUT", "JP", "JR", "CALL", "BIT",
        };
        if (std::find(kTwo.begin(), kTwo.end(), word) != kTwo.end()) {
            return 2;
        }
        if (word == "SET" || word == "RES") {
            return 2;
        }
        return 0;
    }

    std::optional<std::string> code_operands(std::string_view word,
                                             const std::vector<Classified>& operands,
                                             Output& output) {
        const bool memory = word == "LD" || word == "IN" || word == "OUT";
        const bool relative = word == "JR" || word == "DJNZ";
        std::string text;
        for (std::size_t i = 0; i < operands.size(); ++i) {
            const Classified& operand = operands[i];
            text += i > 0 ? "," : "";
            if (operand.kind == OperandKind::Register) {
                text += register_name(operand.word);
                continue;
            }
            if (operand.kind == OperandKind::Indexed) {
                const auto index = indexed(operand, output);
                if (!index) {
                    return std::nullopt;
                }
                text += *index;
                continue;
            }
            const std::string_view value = trim(operand.text);
            if (memory && wholly_parenthesised(value)) {
                const auto inner =
                    expression(value.substr(1, value.size() - 2), ValueUse::Truncated, output);
                if (!inner) {
                    return std::nullopt;
                }
                text += "(" + *inner + ")";
                continue;
            }
            // A relative jump's distance counts from where the bytes lie.
            auto written = expression(value, ValueUse::Truncated, output, nullptr,
                                      relative && i + 1 == operands.size());
            if (!written) {
                return std::nullopt;
            }
            if (!relative && !written->empty() && written->front() == '(') {
                *written = "+" + *written;  // a value, not memory
            }
            text += *written;
        }
        return text;
    }

    std::string register_name(std::string_view word) const {
        if (pasmo()) {
            static constexpr std::array<std::pair<std::string_view, std::string_view>, 4> kHalves = {{
                {"HX", "IXH"}, {"LX", "IXL"}, {"HY", "IYH"}, {"LY", "IYL"},
            }};
            for (const auto& [alasm, zilog] : kHalves) {
                if (word == alasm) {
                    return std::string(zilog);
                }
            }
        }
        return std::string(word);
    }

    // (IX+d): ALASM reads the displacement as an expression from its sign,
    // and keeps its low byte. A number the target would not take there (a
    // sum below zero in pasmo, which computes on 16 unsigned bits; #FF in
    // sjasmplus) is written as the byte's signed value.
    std::optional<std::string> indexed(const Classified& operand, Output& output) {
        const std::string_view base = operand.word;
        const std::string_view displacement = trim(operand.text);
        if (displacement.empty()) {
            return std::string(base) + ")";
        }
        if (displacement.front() != '+' && displacement.front() != '-') {
            fail(output, "an index wants + or - before its displacement");
            return std::nullopt;
        }
        ValueRange range;
        const auto written = expression(displacement, ValueUse::Truncated, output, &range);
        if (!written) {
            return std::nullopt;
        }
        const bool negated_name = written->front() == '-' && grouped(written->substr(1)) ==
                                                                 written->substr(1);
        const auto constant = known_value_of_constant(displacement);
        if (constant) {
            const int byte = *constant & 0xFF;
            const int value = byte >= 0x80 ? byte - 0x100 : byte;
            // pasmo takes (IX+n) for n to 127, and (IX-n) for n to 128.
            const bool whole = value >= 0 ? *constant == value : *constant == value + 0x10000;
            const bool taken = sjasmplus() ? range.low == value && range.high == value
                                           : whole && (value >= 0 || negated_name);
            if (!taken) {
                return std::string(base) + (value < 0 ? "-" : "+") +
                       std::to_string(value < 0 ? -value : value) + ")";
            }
        }
        if (written->front() == '-' && (sjasmplus() || negated_name)) {
            return std::string(base) + *written + ")";
        }
        return std::string(base) + "+" + *written + ")";
    }

    // ALASM's value of an expression of numbers alone.
    static std::optional<std::uint16_t> known_value_of_constant(std::string_view text) {
        const ParsedExpression parsed = parse_expression(text);
        if (!parsed.expression) {
            return std::nullopt;
        }
        std::set<std::string, std::less<>> names;
        collect_labels(*parsed.expression, names);
        if (!names.empty() || reads_here(*parsed.expression)) {
            return std::nullopt;
        }
        return evaluate_expression(*parsed.expression, {}, std::nullopt);
    }

    // -------------------------------------------------------- the end

    void finish() {
        for (const Block& open_block : blocks_) {
            static constexpr std::array<std::string_view, 6> kOpeners = {
                "DUP", "REPEAT", "IF0 or IFN", "LOCAL", "MACRO", "DISP",
            };
            end_problems_.push_back(
                {lines_.size(), std::string(kOpeners[static_cast<std::size_t>(open_block.kind)]) +
                                    " of line " + std::to_string(open_block.line + 1) +
                                    " is not closed"});
        }
    }

    const Project& setup_;
    Dialect dialect_;
    std::set<std::string, std::less<>> macros_;      // defined so far, or elsewhere
    std::set<std::string, std::less<>> all_macros_;  // and those this file defines later
    std::vector<Line> lines_;
    std::vector<Output> outputs_;
    std::size_t at_ = 0;
    std::vector<Block> blocks_;
    std::array<std::size_t, kBlockKinds> open_blocks_{};  // of each kind
    std::vector<HelperValue> helpers_;  // of the line being translated
    std::size_t helpers_after_ = 0;     // how many of its lines come before them
    std::set<std::string, std::less<>> defined_;
    LabelRanges ranges_;
    LabelValues known_;                  // ALASM's values of labels, where known
    std::optional<std::uint16_t> here_;  // ALASM's $, where known
    std::map<std::string, std::size_t, std::less<>> assignments_;
    std::map<std::string, std::size_t, std::less<>> first_assignment_;
    std::map<std::size_t, std::vector<std::string>> local_names_;  // in the order defined
    std::map<std::size_t, std::set<std::string, std::less<>>> local_seen_;
    std::map<std::size_t, std::size_t> edup_opener_;
    std::map<std::size_t, std::string> dup_counts_;
    std::string disp_offset_;
    bool emitted_ = false;
    std::optional<std::size_t> last_write_;  // the last line that writes bytes
    std::uint32_t text_hash_ = 0;             // of the whole file, for names
    std::vector<UntranslatedLine> end_problems_;
};

}  // namespace

// For now the whole source is described and translated at once.
class Translator {
public:
    Translator(const Project& project, const AlasmSource& source) {
        std::vector<DescribedLine> lines;
        lines.reserve(source.size());
        for (std::size_t i = 0; i < source.size(); ++i) {
            lines.push_back(source.line(i));
        }
        translation_ = WholeTranslator(project, lines).run();
    }

    bool done() const { return at_ == translation_.lines.size(); }
    TranslatedLine next() { return std::move(translation_.lines[at_++]); }
    const std::vector<UntranslatedLine>& end_problems() const { return translation_.problems; }

private:
    WholeTranslator::Translation translation_;
    std::size_t at_ = 0;
};

SourceTranslation::SourceTranslation(const Project& project, const AlasmSource& source)
    : translator_(std::make_unique<Translator>(project, source)) {}
SourceTranslation::SourceTranslation(SourceTranslation&&) noexcept = default;
SourceTranslation& SourceTranslation::operator=(SourceTranslation&&) noexcept = default;
SourceTranslation::~SourceTranslation() = default;

bool SourceTranslation::done() const { return translator_->done(); }
TranslatedLine SourceTranslation::next() { return translator_->next(); }
std::vector<UntranslatedLine> SourceTranslation::end_problems() const {
    return translator_->end_problems();
}

std::string include_key(std::string_view trdos_name) {
    std::string key(trdos_name);
    if (key.find('.') == std::string::npos) {
        key += '.';
        key += kDefaultType;
    }
    return key;
}

std::string default_include_file(std::string_view trdos_name) {
    return include_key(trdos_name) + std::string(kWrittenSuffix);
}

void collect_macros(const AlasmSource& source, std::set<std::string, std::less<>>& names) {
    for (std::size_t i = 0; i < source.size(); ++i) {
        add_macro(parse_line(source.line(i)), names);
    }
}

}  // namespace korve
