#include "translation/translation_line.h"

#include <algorithm>
#include <array>
#include <span>

#include "alasm/alasm_expression.h"
#include "translation/translation_project.h"

namespace korve {
namespace {

// The pieces cover the text exactly: no piece's text needs checking for
// bounds.
std::string_view piece_text(const DescribedLine& line, const LinePiece& piece) {
    return {line.text.data() + piece.begin, piece.size};
}

bool is_space_item(const Item& item) {
    return item.part == LinePart::Spaces ||
           (item.part == LinePart::Operand && item.token == keyword::kSpace);
}

bool is_keyword_item(const Item& item) {
    return item.part == LinePart::Operand && item.token != keyword::kSpace;
}

using Bounds = std::pair<std::size_t, std::size_t>;

// The operand at `bounds` less the spaces at both its ends.
void trim_items(const std::vector<Item>& items, Bounds& bounds) {
    while (bounds.second > bounds.first && is_space_item(items[bounds.second - 1])) {
        --bounds.second;
    }
    while (bounds.first < bounds.second && is_space_item(items[bounds.first])) {
        ++bounds.first;
    }
}

void trim_all(Line& line) {
    for (Bounds& each : line.bounds) {
        trim_items(line.items, each);
    }
}

// A new operand, after every item so far.
void start_operand(Line& line) { line.bounds.emplace_back(line.items.size(), line.items.size()); }

// An item of the last operand, which ends the items.
void add_item(Line& line, const Item& item) {
    line.items.push_back(item);
    line.bounds.back().second = line.items.size();
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
    if (line.bounds.empty()) {
        start_operand(line);
    }
    line.items.resize(line.bounds.back().second);  // the spaces trimmed off its end
    for (std::size_t i = 0; i < more.size();) {
        if (more[i] == ',') {
            start_operand(line);
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
        add_item(line, {part, kNoToken, more.substr(i, next - i)});
        i = next;
    }
    trim_all(line);
}

// Splits a text piece at its commas into the operands.
void add_text(Line& line, std::string_view text) {
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        const std::string_view part = text.substr(start, comma - start);
        if (!part.empty()) {
            add_item(line, {LinePart::Text, kNoToken, part});
        }
        if (comma == std::string_view::npos) {
            return;
        }
        start_operand(line);
        start = comma + 1;
    }
}

// The operands from piece `at` up to the comment; gives the piece the
// comment starts at (or the end).
std::size_t read_operands(const DescribedLine& described, std::size_t at, Line& line) {
    const auto& pieces = described.pieces;
    start_operand(line);
    bool any = false;
    for (; at < pieces.size() && pieces[at].part != LinePart::Comment; ++at) {
        const LinePiece& piece = pieces[at];
        const std::string_view text = piece_text(described, piece);
        any = true;
        if (piece.part != LinePart::Text) {
            add_item(line, {piece.part, piece.token, text});
        } else {
            add_text(line, text);
        }
    }
    Bounds& last = line.bounds.back();
    if (last.second > last.first && is_space_item(line.items.back()) && at < pieces.size()) {
        // The spaces before a comment set it off; they are no operand's.
        line.gap = line.items.back().text;
        line.items.pop_back();
        --last.second;
    }
    if (!any) {
        line.bounds.pop_back();
    }
    trim_all(line);
    if (line.bounds.size() == 1 && line.bounds[0].first == line.bounds[0].second) {
        line.bounds.clear();
    }
    return at;
}

// The most operands an instruction takes (one not listed takes none), and
// whether ALASM repeats it for more. The jumps and calls, RET, RST and IM
// are not known to repeat.
struct OperandRow {
    std::string_view word;
    unsigned char most;
    bool repeats;
};
constexpr std::array<OperandRow, 38> kOperandRows = {{
    {"PUSH", 1, true}, {"POP", 1, true}, {"INC", 1, true}, {"DEC", 1, true},
    {"SUB", 1, true},  {"AND", 1, true}, {"XOR", 1, true}, {"OR", 1, true},
    {"CP", 1, true},   {"RLC", 1, true}, {"RRC", 1, true}, {"RL", 1, true},
    {"RR", 1, true},   {"SLA", 1, true}, {"SRA", 1, true}, {"SLI", 1, true},
    {"SRL", 1, true},  {"IM", 1, false}, {"RST", 1, false}, {"DJNZ", 1, false},
    {"RET", 1, false}, {"JNZ", 1, false}, {"JZ", 1, false}, {"JNC", 1, false},
    {"JC", 1, false},  {"LD", 2, true},  {"ADD", 2, true},  {"ADC", 2, true},
    {"SBC", 2, true},  {"EX", 2, true},  {"IN", 2, true},   {"OUT", 2, true},
    {"BIT", 2, true},  {"SET", 2, true}, {"RES", 2, true},  {"JP", 2, false},
    {"JR", 2, false},  {"CALL", 2, false},
}};

consteval std::array<OperandRow, 256> make_operand_table() {
    std::array<OperandRow, 256> table{};
    for (const OperandRow& row : kOperandRows) {
        table[keyword_byte(row.word)] = row;
    }
    return table;
}
constexpr std::array<OperandRow, 256> kOperandTable = make_operand_table();

bool is_index_word(std::string_view word) { return word == "(IX" || word == "(IY"; }

// The text of items, each space keyword as a space.
std::string items_text(Operand::iterator begin, Operand::iterator end) {
    std::string text;
    for (auto item = begin; item != end; ++item) {
        if (is_space_item(*item)) {
            text.append(item->text.size(), ' ');
        } else {
            text.append(item->text);
        }
    }
    return text;
}

// The piece the comment starts at after the mnemonic at `at` (or the end).
std::size_t skip_operands(const DescribedLine& described, std::size_t at) {
    const auto& pieces = described.pieces;
    while (at < pieces.size() && pieces[at].part != LinePart::Comment) {
        ++at;
    }
    return at;
}

}  // namespace

void parse_line(const DescribedLine& described, Line& line, OperandReading operands) {
    line.text = described.text;
    line.abandoned = described.undefined.has_value();
    line.has_mnemonic = false;
    line.token = 0;
    line.directive = Directive::None;
    line.word = {};
    line.operands.clear();
    line.gap = {};
    line.comment = {};
    line.untokenized = false;
    line.items.clear();
    line.bounds.clear();
    const auto& pieces = described.pieces;
    std::size_t at = 0;
    for (; at < pieces.size(); ++at) {
        if (pieces[at].part == LinePart::Mnemonic || pieces[at].part == LinePart::Comment) {
            break;
        }
    }
    const std::size_t field_end = at < pieces.size() ? pieces[at].begin : line.text.size();
    line.field = {line.text.data(), field_end};
    if (at < pieces.size() && pieces[at].part == LinePart::Mnemonic) {
        line.has_mnemonic = true;
        line.token = pieces[at].token;
        line.directive = directive_of(line.token);
        line.word = decode_token(line.token, TokenMode::First).value_or("");
        if (operands == OperandReading::Every || line.directive != Directive::None) {
            at = read_operands(described, at + 1, line);
        } else {
            at = skip_operands(described, at + 1);
            if (at < pieces.size()) {
                line.comment = line.text.substr(pieces[at].begin);
            }
            return;
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
    const std::span<const Item> items(line.items);
    for (const auto& [first, end] : line.bounds) {
        line.operands.push_back(items.subspan(first, end - first));
    }
    if (!line.has_mnemonic && !line.comment.empty()) {
        // Spaces between the text before a comment and the comment.
        const std::size_t end = line.field.find_last_not_of(' ');
        const std::size_t keep = end == std::string_view::npos ? 0 : end + 1;
        line.gap = line.field.substr(keep);
        line.field = line.field.substr(0, keep);
    }
}

std::string_view trim_spaces(std::string_view text) {
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

bool is_label(std::string_view name) {
    return std::none_of(name.begin(), name.end(), [](char c) {
        return c == '"' || c == ',' || c == '(' || c == ')' || c == ';' || c == '=';
    });
}

LabelField read_label_field(std::string_view field) {
    LabelField label;
    if (field.front() == '+') {
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

std::optional<std::pair<std::string_view, std::string_view>> split_assignment(
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

Classified classify(const Operand& operand) {
    Classified result;
    if (operand.empty()) {
        return result;
    }
    if (std::none_of(operand.begin(), operand.end(), is_keyword_item)) {
        result.kind = OperandKind::Value;
        result.text = items_text(operand.begin(), operand.end());
        return result;
    }
    const Item& first = operand.front();
    if (first.part != LinePart::Operand) {
        return result;
    }
    result.word = decode_token(first.token, TokenMode::Operand).value_or("");
    if (operand.size() == 1) {
        result.kind = is_index_word(result.word) ? OperandKind::Bad : OperandKind::Register;
        return result;
    }
    if (!is_index_word(result.word) ||
        std::any_of(operand.begin() + 1, operand.end(), is_keyword_item)) {
        return result;
    }
    const std::string rest = items_text(operand.begin() + 1, operand.end());
    const std::string_view inside = trim(rest);
    if (inside.empty() || inside.back() != ')') {
        return result;
    }
    result.kind = OperandKind::Indexed;
    result.text = std::string(trim(inside.substr(0, inside.size() - 1)));
    return result;
}

std::string operand_text(const Operand& operand) {
    return items_text(operand.begin(), operand.end());
}

bool is_string(const Operand& operand) {
    return operand.size() == 1 && operand[0].part == LinePart::String;
}

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

std::string grouped(std::string_view text) {
    const bool simple = std::all_of(text.begin(), text.end(), [](char c) {
        return continues_alasm_name(c) || c == '#' || c == '%' || c == '$';
    });
    return simple ? std::string(text) : "(" + std::string(text) + ")";
}

bool uses_parameters(const Line& line) {
    // The field and the items are views of the text: one look at the whole
    // line answers most lines, which have no backslash anywhere.
    if (line.text.find('\\') == std::string_view::npos) {
        return false;
    }
    if (line.field.find('\\') != std::string_view::npos) {
        return true;
    }
    return std::any_of(line.operands.begin(), line.operands.end(), [](const Operand& operand) {
        return std::any_of(operand.begin(), operand.end(), [](const Item& item) {
            return item.part == LinePart::Text && item.text.find('\\') != std::string_view::npos;
        });
    });
}

bool is_blank(const Line& line) {
    return !line.abandoned && !line.has_mnemonic && trim(line.field).empty();
}

bool is_typed_text(const Line& line) {
    return is_blank(line) && !line.comment.empty() && line.comment.front() != ';';
}

std::optional<std::string> included_source(const Line& line) {
    if (!line.has_mnemonic || line.directive != Directive::Include || line.operands.empty() ||
        !is_string(line.operands[0])) {
        return std::nullopt;
    }
    const std::string_view quoted = line.operands[0][0].text;
    return include_key(quoted.substr(1, quoted.size() - 2));
}

std::optional<std::string> defined_macro(const Line& line) {
    if (!line.has_mnemonic || line.directive != Directive::Macro || line.operands.size() != 1) {
        return std::nullopt;
    }
    const Classified operand = classify(line.operands[0]);
    const std::string_view name = trim(operand.text);
    if (!is_name(name)) {
        return std::nullopt;
    }
    return std::string(name);
}

bool writes_bytes(const Line& line, const std::set<std::string, std::less<>>& macros) {
    if (!line.has_mnemonic) {
        const LabelField label = label_field(line.field);
        return label.indented && macros.count(label.name) != 0;
    }
    return directive_row(line.token).writes;
}

std::optional<std::size_t> operands_each(unsigned char token, std::size_t operands) {
    const OperandRow& row = kOperandTable[token];
    if (operands <= row.most) {
        return operands;
    }
    if (!row.repeats || operands % row.most != 0) {
        return std::nullopt;
    }
    return row.most;
}

std::optional<std::size_t> line_size(const Line& line) {
    if (!line.has_mnemonic || line.abandoned) {
        return std::nullopt;
    }
    OperandRoom<OperandShape, 16> room(line.operands.size());
    const std::span<OperandShape> shapes = room.values();
    for (std::size_t i = 0; i < shapes.size(); ++i) {
        const Classified classified = classify(line.operands[i]);
        shapes[i] = {classified.kind, classified.word,
                     classified.kind == OperandKind::Value &&
                         wholly_parenthesised(trim(classified.text))};
    }
    const auto each = operands_each(line.token, shapes.size());
    if (!each) {
        return std::nullopt;
    }
    if (*each == shapes.size()) {
        return instruction_size(line.word, shapes);
    }
    std::size_t size = 0;
    for (std::size_t first = 0; first < shapes.size(); first += *each) {
        const auto one = instruction_size(line.word, shapes.subspan(first, *each));
        if (!one) {
            return std::nullopt;
        }
        size += *one;
    }
    return size;
}

std::optional<std::size_t> bytes_taken_back(std::string_view value) {
    const ParsedExpression parsed = parse_expression(value);
    if (!parsed.expression) {
        return std::nullopt;
    }
    const Expression& address = *parsed.expression;
    const ExpressionNode& root = address.nodes[address.root];
    if (root.kind != ExpressionKind::Binary || root.op != ExpressionOperator::Subtract ||
        address.nodes[root.left].kind != ExpressionKind::Here) {
        return std::nullopt;
    }
    const auto back = evaluate_expression(address, {}, std::uint16_t{0});
    const std::size_t taken = back ? static_cast<std::uint16_t>(0U - *back) : 0;
    return taken == 0 ? std::nullopt : std::optional<std::size_t>(taken);
}

}  // namespace korve
