// Writes the TextMate grammar of ALASM text, as korvex writes it (stored or
// tidy) and as a person types it in ALASM's dialect, for the VS Code
// extension in editors/vscode-alasm; or the two keyword tables as they are,
// for the check that tokenizes lines as VS Code does.
//
//   alasm_grammar GRAMMAR.json              the grammar
//   alasm_grammar --keywords LIST.json      {"first": [...], "operand": [...]}
//
// Every keyword the grammar knows comes from the tables korve decodes with
// (alasm_tokens.h), each first-table word sorted into instruction, block
// directive or other directive by the translator's table of directives
// (translation_keywords.h). The Z80 facts the tables do not hold, which
// operand words are conditions and which instructions take one first, are
// named below; a name the tables lack stops the build.
//
// A line reads as korvex pack reads it (alasm_pack.h): the label part runs
// from column 0 to the first blank; the word after the blanks that follow
// is the mnemonic when it is a first-table keyword, in any case; in the
// operand part an operand keyword stands where the part starts or after a
// comma or a blank, and ends at a comma, a blank, a ';' or the line's end
// ("(IX" and "(IY" also at '+' or '-'). Inside LOCAL .. ENDL the labels are
// local, but for those that start with '@'.
//
// A translation korvex wrote for another assembler keeps its source's name,
// and so opens as ALASM; a comment on its first line names it (a line that
// starts with kTranslatedMark, or ends with a comment holding its words).
// From there the grammar colours nothing: the extension (extension.js)
// opens such a document in another language, and where it cannot, the
// translation is not coloured as ALASM.
#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <initializer_list>
#include <iostream>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "formats/alasm_tokens.h"
#include "translation/translation_keywords.h"
#include "translation/translation_project.h"

namespace {

using korve::Directive;
using korve::TokenMode;
namespace tables = korve::keyword_tables;

// The conditions that are no register, and the one that is: C, carry.
constexpr std::string_view kConditions[] = {"NZ", "Z", "NC", "PO", "PE", "P", "M"};
constexpr std::string_view kCarry = "C";
// The instructions whose first operand may be a condition.
constexpr std::string_view kConditional[] = {"JP", "JR", "CALL", "RET"};

template <std::size_t N>
constexpr bool all_in_table(const std::string_view (&words)[N], TokenMode mode) {
    return std::all_of(std::begin(words), std::end(words),
                       [mode](std::string_view word) { return korve::encode_token(word, mode); });
}
static_assert(all_in_table(kConditions, TokenMode::Operand));
static_assert(korve::encode_token(kCarry, TokenMode::Operand));
static_assert(all_in_table(kConditional, TokenMode::First));

// The words of a translation's marker, found in a comment on its first line.
constexpr std::string_view kTranslatedWords = "Translated by korvex for";
static_assert(korve::kTranslatedMark.find(kTranslatedWords) != std::string_view::npos);

// ---- JSON, written in the order it is built, two spaces an indent.

class Json {
public:
    static Json text(std::string_view value) {
        Json json(Kind::Text);
        json.text_ = value;
        return json;
    }
    static Json array() { return Json(Kind::Array); }
    static Json object() { return Json(Kind::Object); }

    Json& add(Json item) {
        items_.push_back(std::move(item));
        return *this;
    }
    Json& add(std::string_view key, Json value);
    Json& add(std::string_view key, std::string_view value) { return add(key, text(value)); }

    void write(std::string& out, std::size_t indent) const;

private:
    enum class Kind : unsigned char { Text, Array, Object };
    explicit Json(Kind kind) : kind_(kind) {}

    Kind kind_;
    std::string text_;
    std::vector<Json> items_;  // an array's items, an object's values
    std::vector<std::string> keys_;
};

Json& Json::add(std::string_view key, Json value) {
    keys_.emplace_back(key);
    items_.push_back(std::move(value));
    return *this;
}

void write_string(std::string& out, std::string_view value) {
    out += '"';
    for (const char c : value) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            std::array<char, 8> code{};
            std::snprintf(code.data(), code.size(), "\\u%04x", static_cast<unsigned>(c));
            out += code.data();
        } else {
            out += c;
        }
    }
    out += '"';
}

void Json::write(std::string& out, std::size_t indent) const {
    const std::string inner(indent + 2, ' ');
    switch (kind_) {
        case Kind::Text: write_string(out, text_); return;
        case Kind::Array:
            if (items_.empty()) {
                out += "[]";
                return;
            }
            out += "[\n";
            for (std::size_t i = 0; i < items_.size(); ++i) {
                out += inner;
                items_[i].write(out, indent + 2);
                out += i + 1 < items_.size() ? ",\n" : "\n";
            }
            out.append(indent, ' ');
            out += ']';
            return;
        case Kind::Object:
            out += "{\n";
            for (std::size_t i = 0; i < keys_.size(); ++i) {
                out += inner;
                write_string(out, keys_[i]);
                out += ": ";
                items_[i].write(out, indent + 2);
                out += i + 1 < keys_.size() ? ",\n" : "\n";
            }
            out.append(indent, ' ');
            out += '}';
            return;
    }
}

// ---- The keywords, by kind.

struct Keywords {
    std::vector<std::string_view> instructions;
    std::vector<std::string_view> block_directives;  // open, close or divide a block
    std::vector<std::string_view> other_directives;
    std::vector<std::string_view> conditional;       // instructions that take a condition
    std::vector<std::string_view> registers;         // registers and pairs
    std::vector<std::string_view> conditions;        // no register among them
    std::vector<std::string_view> indirections;      // "(HL)": HL
    std::vector<std::string_view> indexed;           // "(IX", before a displacement: IX
    std::string_view macro;                          // the word that opens a macro
    std::string_view local;                          // and a block of local labels
    std::string_view end_local;                      // and closes that
};

bool opens_or_closes_block(Directive directive) {
    switch (directive) {
        case Directive::Dup:
        case Directive::Edup:
        case Directive::Repeat:
        case Directive::Until:
        case Directive::IfZero:
        case Directive::IfNotZero:
        case Directive::Else:
        case Directive::EndIf:
        case Directive::Disp:
        case Directive::Ent:
        case Directive::Local:
        case Directive::EndLocal:
        case Directive::Macro:
        case Directive::EndMacro: return true;
        case Directive::None:
        case Directive::Equ:
        case Directive::Org:
        case Directive::Bytes:
        case Directive::Words:
        case Directive::Space:
        case Directive::Packed:
        case Directive::Include:
        case Directive::Incbin:
        case Directive::Main:
        case Directive::Display:
        case Directive::Run: return false;
    }
    return false;
}

template <std::size_t N>
bool among(std::string_view word, const std::string_view (&words)[N]) {
    return std::find(std::begin(words), std::end(words), word) != std::end(words);
}

Keywords sort_keywords() {
    Keywords keywords;
    for (std::size_t i = 0; i < tables::kFirstTokenWords.size(); ++i) {
        const std::string_view word = tables::kFirstTokenWords[i];
        const auto byte = static_cast<unsigned char>(tables::kFirstTokenBase + i);
        const Directive directive = korve::directive_of(byte);
        if (directive == Directive::None) {
            keywords.instructions.push_back(word);
            if (among(word, kConditional)) {
                keywords.conditional.push_back(word);
            }
        } else if (opens_or_closes_block(directive)) {
            keywords.block_directives.push_back(word);
        } else {
            keywords.other_directives.push_back(word);
        }
        if (directive == Directive::Macro) {
            keywords.macro = word;
        } else if (directive == Directive::Local) {
            keywords.local = word;
        } else if (directive == Directive::EndLocal) {
            keywords.end_local = word;
        }
    }
    for (const auto& [byte, word] : tables::kOperandWords) {
        if (word.front() == '(' && word.back() == ')') {
            keywords.indirections.push_back(word.substr(1, word.size() - 2));
        } else if (word.front() == '(') {
            keywords.indexed.push_back(word.substr(1));
        } else if (among(word, kConditions)) {
            keywords.conditions.push_back(word);
        } else {
            keywords.registers.push_back(word);
        }
    }
    return keywords;
}

// ---- Regular expressions, in Oniguruma's syntax.

std::string escaped(std::string_view word) {
    std::string out;
    for (const char c : word) {
        if (std::string_view("\\^$.|?*+()[]{}").find(c) != std::string_view::npos) {
            out += '\\';
        }
        out += c;
    }
    return out;
}

// The words as alternatives in any case, the longest first, so that each
// stands whole even before the lookahead that ends it.
std::string any_of(std::vector<std::string_view> words) {
    std::sort(words.begin(), words.end(), [](std::string_view a, std::string_view b) {
        return a.size() != b.size() ? a.size() > b.size() : a < b;
    });
    std::string out = "(?i:";
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (i != 0) {
            out += '|';
        }
        out += escaped(words[i]);
    }
    return out + ")";
}

std::vector<std::string_view> joined(std::vector<std::string_view> words,
                                     const std::vector<std::string_view>& more) {
    words.insert(words.end(), more.begin(), more.end());
    return words;
}

// The label part before a mnemonic: '+' (a line assembled only the first
// time), the label, ':'; then the blanks. Captures 1 to 4.
constexpr std::string_view kBeforeMnemonic = R"(^(\+)?(?:([^\s;"=]+?)(:)?)?([\t ]+))";
// Where a keyword ends.
constexpr std::string_view kWordEnd = R"((?=[\t ;]|$))";
constexpr std::string_view kOperandEnd = R"((?=[\t ,;]|$))";
// Where an operand keyword may start: after the blanks or a comma.
constexpr std::string_view kOperandStart = R"((?<=[\t ,]))";
constexpr std::string_view kName = R"([A-Za-z_@][A-Za-z0-9_@?]*)";

// ---- Scopes.

constexpr std::string_view kLabel = "entity.name.function.label.alasm";
constexpr std::string_view kLocalLabel = "entity.name.function.label.local.alasm";
constexpr std::string_view kMacroName = "entity.name.function.macro.alasm";
constexpr std::string_view kInstruction = "keyword.other.instruction.alasm";
constexpr std::string_view kBlockDirective = "keyword.control.directive.alasm";
constexpr std::string_view kOtherDirective = "support.function.directive.alasm";
constexpr std::string_view kRegister = "variable.language.register.alasm";
constexpr std::string_view kCondition = "constant.language.condition.alasm";

Json named(std::string_view scope) { return Json::object().add("name", scope); }

Json include(std::string_view rule) { return Json::object().add("include", rule); }

Json includes(std::initializer_list<std::string_view> rules) {
    Json list = Json::array();
    for (const std::string_view rule : rules) {
        list.add(include(rule));
    }
    return list;
}

Json match(std::string_view regex, std::string_view scope) {
    return Json::object().add("match", regex).add("name", scope);
}

// What a label capture is: one label, or in a LOCAL block a local one.
enum class Labels : unsigned char { Global, Local };

Json label_capture(Labels labels) {
    if (labels == Labels::Global) {
        return named(kLabel);
    }
    return Json::object().add("patterns", includes({"#local-label"}));
}

// The captures of kBeforeMnemonic.
Json label_captures(Labels labels) {
    return Json::object()
        .add("1", named("storage.modifier.once.alasm"))
        .add("2", label_capture(labels))
        .add("3", named("punctuation.separator.label.alasm"));
}

// A line with a mnemonic of `words`, scoped `scope`, up to its end; `first`,
// if given, is a rule for the operand right after the mnemonic.
Json statement(Labels labels, const std::vector<std::string_view>& words, std::string_view scope,
               const Json* first) {
    Json captures = label_captures(labels);
    captures.add("5", named(scope));
    Json patterns = Json::array();
    if (first != nullptr) {
        patterns.add(*first);
    }
    patterns.add(include("#operands"));
    return Json::object()
        .add("begin", std::string(kBeforeMnemonic) + "(" + any_of(words) + ")" + std::string(kWordEnd))
        .add("beginCaptures", std::move(captures))
        .add("end", "$")
        .add("patterns", std::move(patterns));
}

// Any other line with a mnemonic: the mnemonic scoped by its kind.
Json any_statement(Labels labels, const Keywords& keywords) {
    Json captures = label_captures(labels);
    captures.add("5", named(kInstruction))
        .add("6", named(kBlockDirective))
        .add("7", named(kOtherDirective));
    return Json::object()
        .add("begin", std::string(kBeforeMnemonic) + "(?:(" + any_of(keywords.instructions) + ")|(" +
                          any_of(keywords.block_directives) + ")|(" +
                          any_of(keywords.other_directives) + "))" + std::string(kWordEnd))
        .add("beginCaptures", std::move(captures))
        .add("end", "$")
        .add("patterns", includes({"#operands"}));
}

// The lines of a source, outside LOCAL blocks or inside one.
Json lines(Labels labels, const Keywords& keywords) {
    const Json condition =
        Json::object()
            .add("match", R"(\G([\t ]+))" + std::string("(") +
                              any_of(joined(keywords.conditions, {kCarry})) + ")" +
                              std::string(kOperandEnd))
            .add("captures", Json::object().add("2", named(kCondition)));
    const Json macro_name = Json::object()
                                .add("match", R"(\G([\t ]+)()" + std::string(kName) + ")" +
                                                  std::string(kWordEnd))
                                .add("captures", Json::object().add("2", named(kMacroName)));
    return Json::array()
        .add(statement(labels, {keywords.macro}, kBlockDirective, &macro_name))
        .add(statement(labels, keywords.conditional, kInstruction, &condition))
        .add(any_statement(labels, keywords))
        .add(Json::object()
                 .add("comment", "NAME=expression: no keyword stands in the label part")
                 .add("begin", R"(^(\+)?([^\s;"=]+)(=))")
                 .add("beginCaptures", Json::object()
                                           .add("1", named("storage.modifier.once.alasm"))
                                           .add("2", label_capture(labels))
                                           .add("3", named("keyword.operator.assignment.alasm")))
                 .add("end", "$")
                 .add("patterns", includes({"#expression"})))
        .add(Json::object()
                 .add("match", R"(^(\+)?([^\s;"=]+?)(:)?)" + std::string(kWordEnd))
                 .add("captures", label_captures(labels)))
        .add(Json::object()
                 .add("comment", "a name alone, indented: a label, unless a macro of that name is called")
                 .add("match", "^([\\t ]+)(" + std::string(kName) + R"()(?=[\t ]*(?:;|$)))")
                 .add("captures", Json::object().add("2", label_capture(labels))))
        .add(Json::object()
                 .add("comment", "an indented name with operands: a macro's call")
                 .add("begin", "^([\\t ]+)(" + std::string(kName) + ")" + std::string(kWordEnd))
                 .add("beginCaptures",
                      Json::object().add("2", named("entity.name.function.macro.call.alasm")))
                 .add("end", "$")
                 .add("patterns", includes({"#operands"})))
        .add(include("#operands"));
}

Json operands_rule(const Keywords& keywords) {
    return Json::object().add(
        "patterns",
        Json::array()
            .add(include("#comment"))
            .add(include("#strings"))
            .add(Json::object()
                     .add("match", std::string(kOperandStart) + R"((\()()" +
                                       any_of(keywords.indirections) + R"()(\)))" +
                                       std::string(kOperandEnd))
                     .add("name", "meta.indirection.alasm")
                     .add("captures", Json::object()
                                          .add("1", named("punctuation.section.parens.begin.alasm"))
                                          .add("2", named(kRegister))
                                          .add("3", named("punctuation.section.parens.end.alasm"))))
            .add(Json::object()
                     .add("match", std::string(kOperandStart) + R"((\()()" +
                                       any_of(keywords.indexed) + R"()(?=[+\-]))")
                     .add("captures", Json::object()
                                          .add("1", named("punctuation.section.parens.begin.alasm"))
                                          .add("2", named(kRegister))))
            .add(match(std::string(kOperandStart) + any_of(keywords.conditions) +
                           std::string(kOperandEnd),
                       kCondition))
            .add(match(std::string(kOperandStart) + any_of(keywords.registers) +
                           std::string(kOperandEnd),
                       kRegister))
            .add(include("#expression-items")));
}

Json expression_items_rule() {
    return Json::object().add(
        "patterns",
        Json::array()
            .add(match("#[0-9A-Fa-f]+", "constant.numeric.hex.alasm"))
            .add(match("%[01]+", "constant.numeric.binary.alasm"))
            .add(match("[0-9]+", "constant.numeric.decimal.alasm"))
            .add(match(R"(\$\$)", "variable.language.page.alasm"))
            .add(match(R"(\$)", "variable.language.here.alasm"))
            .add(match(R"(\\[0-9A-Za-z])", "variable.parameter.macro.alasm"))
            .add(Json::object()
                     .add("match", R"((\?)()" + std::string(kName) + ")")
                     .add("captures", Json::object()
                                          .add("1", named("keyword.operator.defined.alasm"))
                                          .add("2", named("variable.other.label.alasm"))))
            .add(match(std::string(kName), "variable.other.label.alasm"))
            .add(match(R"([+\-*/])", "keyword.operator.arithmetic.alasm"))
            .add(match(R"([&|!~<>])", "keyword.operator.bitwise.alasm"))
            .add(match(R"(['.])", "keyword.operator.byte.alasm"))
            .add(match(R"(\()", "punctuation.section.parens.begin.alasm"))
            .add(match(R"(\))", "punctuation.section.parens.end.alasm"))
            .add(match(R"(\{)", "punctuation.section.braces.begin.alasm"))
            .add(match(R"(\})", "punctuation.section.braces.end.alasm"))
            .add(match(",", "punctuation.separator.comma.alasm")));
}

Json strings_rule() {
    return Json::object().add(
        "patterns",
        Json::array()
            .add(Json::object()
                     .add("comment", "one character: its byte")
                     .add("match", R"((")([^"])("))")
                     .add("name", "string.quoted.double.alasm")
                     .add("captures",
                          Json::object()
                              .add("1", named("punctuation.definition.string.begin.alasm"))
                              .add("2", named("constant.character.alasm"))
                              .add("3", named("punctuation.definition.string.end.alasm"))))
            .add(Json::object()
                     .add("comment", "no escapes; korvex closes a string the line leaves open")
                     .add("begin", "\"")
                     .add("beginCaptures",
                          Json::object().add("0", named("punctuation.definition.string.begin.alasm")))
                     .add("end", "(\")|$")
                     .add("endCaptures",
                          Json::object().add("1", named("punctuation.definition.string.end.alasm")))
                     .add("name", "string.quoted.double.alasm")));
}

Json grammar(const Keywords& keywords) {
    const std::string before = std::string(kBeforeMnemonic);
    Json repository = Json::object();
    repository.add("lines", Json::object().add("patterns", lines(Labels::Global, keywords)));
    repository.add("local-lines", Json::object().add("patterns", lines(Labels::Local, keywords)));
    repository.add(
        "local-block",
        Json::object()
            .add("begin", before + "(" + any_of({keywords.local}) + ")" + std::string(kWordEnd))
            .add("beginCaptures", label_captures(Labels::Global).add("5", named(kBlockDirective)))
            .add("end", R"(^(?=(?:\+)?(?:[^\s;"=]+?:?)?[\t ]+)" + any_of({keywords.end_local}) +
                            std::string(kWordEnd) + ")")
            .add("name", "meta.block.local.alasm")
            .add("patterns", includes({"#local-lines"})));
    repository.add("local-label",
                   Json::object().add("patterns", Json::array()
                                                      .add(match("@.*", kLabel))
                                                      .add(match("[^@].*", kLocalLabel))));
    repository.add("operands", operands_rule(keywords));
    repository.add("expression",
                   Json::object().add("patterns", includes({"#comment", "#strings", "#expression-items"})));
    repository.add("expression-items", expression_items_rule());
    repository.add("comment",
                   Json::object()
                       .add("match", "(;).*$")
                       .add("name", "comment.line.semicolon.alasm")
                       .add("captures", Json::object().add("1", named("punctuation.definition.comment.alasm"))));
    repository.add("strings", strings_rule());
    repository.add("translation",
                   Json::object()
                       .add("comment", "a translation korvex wrote, named on its first line: not ALASM")
                       .add("begin", "\\A(?=[^;]*;.*" + escaped(kTranslatedWords) + ")")
                       .add("end", "(?!)")
                       .add("name", "meta.translation.alasm"));

    return Json::object()
        .add("information_for_contributors",
             Json::array().add(Json::text(
                 "Written by alasm_grammar (editors/alasm_grammar.cpp) from korve's keyword "
                 "tables: change the generator, then write this file again.")))
        .add("name", "ALASM")
        .add("scopeName", "source.alasm")
        .add("patterns", includes({"#translation", "#local-block", "#lines"}))
        .add("repository", std::move(repository));
}

Json keyword_list() {
    Json first = Json::array();
    for (const std::string_view word : tables::kFirstTokenWords) {
        first.add(Json::text(word));
    }
    Json operand = Json::array();
    for (const auto& [byte, word] : tables::kOperandWords) {
        operand.add(Json::text(word));
    }
    return Json::object().add("first", std::move(first)).add("operand", std::move(operand));
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    const bool keywords = args.size() == 2 && args[0] == "--keywords";
    if (args.size() != 1 && !keywords) {
        std::cerr << "usage: alasm_grammar GRAMMAR.json | alasm_grammar --keywords LIST.json\n";
        return 2;
    }
    const Keywords sorted = sort_keywords();
    if (sorted.macro.empty() || sorted.local.empty() || sorted.end_local.empty() ||
        sorted.conditional.size() != std::size(kConditional)) {
        std::cerr << "alasm_grammar: the keyword tables lack a word the grammar needs\n";
        return 1;
    }
    std::string out;
    (keywords ? keyword_list() : grammar(sorted)).write(out, 0);
    out += '\n';
    const std::string path(args.back());
    std::ofstream file(path, std::ios::binary);
    file << out;
    file.close();
    if (!file) {
        std::cerr << "alasm_grammar: cannot write " << path << '\n';
        return 1;
    }
    return 0;
}
