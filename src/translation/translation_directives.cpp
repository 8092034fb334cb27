#include "translation/translation_directives.h"

#include <algorithm>

namespace korve {
namespace {

// How far the translator looks for the bytes that overwrite those an ORG
// takes back.
constexpr std::size_t kLinesLookedAhead = 64;

// Whether the lines after the one being translated write at least `count`
// bytes, in instructions of a known size, before anything else happens.
bool bytes_overwritten(const TranslationRun& run, std::size_t count) {
    std::size_t written = 0;
    const std::size_t end = std::min(run.source.size(), run.at + 1 + kLinesLookedAhead);
    for (std::size_t i = run.at + 1; i < end && written < count; ++i) {
        const SourceLine ahead(run.source, i);
        const Line& line = ahead.line;
        if (!line.has_mnemonic && !line.abandoned && !writes_bytes(line, run.macros)) {
            continue;  // a label, a name set, a comment
        }
        const auto size = line_size(line);
        if (!size) {
            return false;
        }
        written += *size;
    }
    return written >= count;
}

bool is_blank_line(const TranslationRun& run, std::size_t index) {
    const SourceLine line(run.source, index);
    return is_blank(line.line);
}

// The first line of the repeat's body whose bytes, to its end, are the last
// `wanted` bytes of a pass; nothing where sizes do not add up to them.
std::optional<std::size_t> last_bytes_of_repeat(const TranslationRun& run,
                                                const ClosedRepeat& repeat, std::size_t wanted) {
    std::size_t covered = 0;
    std::size_t first = repeat.edup;
    while (covered < wanted && first > repeat.dup + 1) {
        --first;
        const SourceLine each(run.source, first);
        if (is_blank(each.line)) {
            continue;
        }
        const auto size = line_size(each.line);
        if (!size) {
            break;
        }
        covered += *size;
    }
    if (covered != wanted) {
        return std::nullopt;
    }
    return first;
}

// "EDUP / ORG $-k": ALASM writes the next bytes over the last k of the
// repeat. sjasmplus writes its raw output in order, so the instructions
// that make those k bytes are left out of the repeat's last pass.
bool trim_back_after_repeat(TranslationRun& run, const Line& line, Output& output) {
    const std::string text = classify(line.operands[0]).text;
    const auto taken = bytes_taken_back(text);
    if (!taken) {
        return false;
    }
    std::size_t edup = run.at;
    while (edup > 0 && is_blank_line(run, edup - 1)) {
        --edup;
    }
    if (edup == 0 || !run.last_repeat || run.last_repeat->edup != edup - 1) {
        return false;
    }
    const ClosedRepeat& repeat = *run.last_repeat;
    const std::size_t wanted = *taken;
    const auto first = last_bytes_of_repeat(run, repeat, wanted);
    if (!first || !bytes_overwritten(run, wanted)) {
        fail(output, "ORG goes back over " + std::to_string(wanted) +
                         " bytes that sjasmplus has already written");
        return true;
    }
    const std::string index = made_name("dup", repeat.dup);
    run.edits.push_back({repeat.dup, OutputEdit::Kind::Append, ", " + index});
    run.edits.push_back({*first, OutputEdit::Kind::Prepend,
                         instruction({}, "IF", index + " < " + repeat.count + "-1")});
    run.edits.push_back({repeat.edup, OutputEdit::Kind::Prepend, instruction({}, "ENDIF", {})});
    output.lines.push_back("; ORG " + text + ": the repeat's last pass leaves those bytes out");
    return true;
}

// An item of DB or of DS's list: a string, its bytes kept, or a value.
std::optional<std::string> byte_item(TranslationRun& run, const Operand& operand,
                                     Output& output) {
    if (is_string(operand)) {
        return string_bytes(run, operand[0].text);
    }
    const Classified item = classify(operand);
    if (item.kind != OperandKind::Value) {
        fail(output, "an item is no value");
        return std::nullopt;
    }
    return expression(run, item.text, ValueUse::Truncated, output);
}

bool is_hex_digits(std::string_view digits) {
    return !digits.empty() && std::all_of(digits.begin(), digits.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
    });
}

}  // namespace

void equate(TranslationRun& run, const LabelField& label, const Line& line, Output& output) {
    if (label.name.empty()) {
        fail(output, "EQU names no label");
        return;
    }
    if (line.operands.size() != 1 || classify(line.operands[0]).kind != OperandKind::Value) {
        fail(output, "EQU takes one value");
        return;
    }
    ValueRange range;
    const auto value = expression(run, classify(line.operands[0]).text, ValueUse::Definition,
                                  output, &range);
    if (!value) {
        return;
    }
    define(run, label.name);
    note_range(run, label.name, range);
    std::string& text = output.lines.emplace_back();
    add_label_text(text, run, label);
    add_instruction(text, "EQU", *value);
}

// ORG inside DISP moves where the bytes go as far as it moves $ (a block
// copied to its run address needs it so).
void origin(TranslationRun& run, const Line& line, Output& output) {
    if (line.operands.size() != 1 || classify(line.operands[0]).kind != OperandKind::Value) {
        fail(output, "ORG takes one value");
        return;
    }
    // An address: as a label's value, it is taken to stay within 64 KiB.
    const std::string text = classify(line.operands[0]).text;
    const auto value = expression(run, text, ValueUse::Definition, output, nullptr, true);
    if (!value) {
        return;
    }
    const bool displaced = in_block(run, BlockKind::Disp);
    if (run.in_memory && !displaced && run.labelled_origins) {
        output.lines.push_back(instruction(origin_label(run.labelled_origins->size()), "ORG", *value));
        run.labelled_origins->push_back(*value);
        return;
    }
    if (run.in_memory && !displaced) {
        std::vector<std::string> lines;
        memory_origin(run.spelling, *value, lines);
        for (const std::string& each : lines) {
            output.lines.push_back(each);
        }
        return;
    }
    // Inside DISP, sjasmplus's ORG moves $ alone, in memory or not.
    const bool bytes_follow = run.facts.last_write && *run.facts.last_write > run.at;
    if (run.spelling.keeps_memory_image || !run.emitted || !bytes_follow) {
        output.lines.push_back(instruction({}, "ORG", *value));
        return;
    }
    if (trim_back_after_repeat(run, line, output)) {
        return;
    }
    const auto address = known_value(run, text);
    if (address && run.here && *address < *run.here) {
        run.needs_memory = !displaced;
        fail(output, "ORG goes back below bytes that sjasmplus --raw has already written");
        return;
    }
    // sjasmplus --raw writes bytes one after another: it fills a gap as
    // ALASM's memory holds it (with zeros, here), and cannot go back.
    const std::string written = grouped(*value);
    output.lines.push_back(instruction({}, "ASSERT", written + " >= $"));
    output.lines.push_back(instruction({}, "DS", written + "-$"));
}

void data(TranslationRun& run, const LabelField& label, const Line& line, Output& output,
          bool words) {
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
        if (words && is_string(operand) && operand[0].text.size() != 3) {
            fail(output, "a string of more than one character in DW");
            return;
        }
        if (words && classified.kind != OperandKind::Value) {
            fail(output, "an item is no value");
            return;
        }
        const auto item = words ? expression(run, classified.text, ValueUse::Truncated, output)
                                : byte_item(run, operand, output);
        if (!item) {
            return;
        }
        items += (i > 0 ? "," : "") + *item;
    }
    note_emitted(run);
    emit(run, label, line.word, items, output);
}

void space(TranslationRun& run, const LabelField& label, const Line& line, Output& output) {
    if (line.operands.empty() || classify(line.operands[0]).kind != OperandKind::Value) {
        fail(output, "DS takes a count");
        return;
    }
    const auto count = expression(run, classify(line.operands[0]).text, ValueUse::Exact, output);
    if (!count) {
        return;
    }
    note_emitted(run);
    if (line.operands.size() == 1) {
        emit(run, label, line.word, *count, output);
        return;
    }
    std::string items;
    for (std::size_t i = 1; i < line.operands.size(); ++i) {
        const auto item = byte_item(run, line.operands[i], output);
        if (!item) {
            return;
        }
        items += (i > 1 ? "," : "") + *item;
    }
    if (line.operands.size() == 2 && !is_string(line.operands[1])) {
        emit(run, label, line.word, *count + "," + items, output);
        return;
    }
    // ALASM copies the whole list n times; the targets fill with one value.
    label_line(run, label, output);
    output.lines.push_back(instruction({}, run.spelling.repeat_open, *count));
    output.lines.push_back(instruction({}, "DB", items));
    output.lines.push_back(instruction({}, run.spelling.repeat_close, {}));
}

void packed(TranslationRun& run, const LabelField& label, const Line& line, Output& output) {
    std::string items;
    for (const Operand& operand : line.operands) {
        const Classified classified = classify(operand);
        const std::string_view digits = trim(classified.text);
        if (classified.kind != OperandKind::Value || !is_hex_digits(digits) ||
            digits.size() % 2 != 0) {
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
    note_emitted(run);
    emit(run, label, "DB", items, output);
}

void file(TranslationRun& run, const Line& line, Output& output) {
    if (line.operands.empty() || !is_string(line.operands[0])) {
        fail(output, std::string(line.word) + " takes a name in quotes");
        return;
    }
    const std::string_view quoted = line.operands[0][0].text;
    const std::string_view name = quoted.substr(1, quoted.size() - 2);
    if (line.directive == Directive::Main) {
        output.lines.push_back("; MAIN: the main file is \"" + include_file(run.project, name) +
                               "\"");
        return;
    }
    if (line.operands.size() > 2) {
        fail(output, std::string(line.word) + " takes a name and one value");
        return;
    }
    if (line.directive == Directive::Include) {
        // The page only says where ALASM keeps the included text.
        output.lines.push_back(
            instruction({}, "INCLUDE", "\"" + include_file(run.project, name) + "\""));
        return;
    }
    note_emitted(run);
    std::string operands = "\"" + std::string(name) + "\"";
    if (line.operands.size() == 2) {
        const Classified length = classify(line.operands[1]);
        if (length.kind != OperandKind::Value) {
            fail(output, "INCBIN's length is no value");
            return;
        }
        if (!run.spelling.incbin_takes_length) {
            fail(output, std::string(run.spelling.name) + "'s INCBIN takes no length");
            return;
        }
        const auto value = expression(run, length.text, ValueUse::Exact, output);
        if (!value) {
            return;
        }
        operands += ",0," + *value;
    }
    output.lines.push_back(instruction({}, "INCBIN", operands));
}

// DISPLAY [/L,]["text",][[/D|/H|/A,][/T,]e]...: /D, /H and /A say how the
// next value is printed, and mean the same to sjasmplus; /T prints the
// value's text before it; /L goes on on the line the last DISPLAY printed,
// which a target that ends each message's line cannot, and is left out.
void display(TranslationRun& run, const Line& line, Output& output) {
    std::string items;
    std::string format;  // an option /D, /H or /A waiting for its value
    bool with_text = false;
    for (const Operand& operand : line.operands) {
        const std::string whole = operand_text(operand);
        const std::string_view option = trim(whole);
        if (option.size() == 2 && option[0] == '/') {
            const char letter = static_cast<char>(option[1] & ~0x20);
            if (letter != 'L' && letter != 'T' && letter != 'D' && letter != 'H' && letter != 'A') {
                fail(output, "DISPLAY has no option " + std::string(option));
                return;
            }
            with_text = with_text || letter == 'T';
            format = letter == 'L' || letter == 'T' ? format : "/" + std::string(1, letter);
            continue;
        }
        items += items.empty() ? "" : ",";
        if (is_string(operand)) {
            items += string_item(operand[0].text);
            continue;
        }
        const Classified classified = classify(operand);
        const std::string_view text = trim(classified.text);
        if (classified.kind != OperandKind::Value) {
            fail(output, "a DISPLAY item is no value");
            return;
        }
        const auto value = expression(run, text, ValueUse::Truncated, output);
        if (!value) {
            return;
        }
        if (with_text && text.find_first_of("\"\\") == std::string_view::npos) {
            items += "\"" + std::string(text) + " \",";
        }
        items += format.empty() ? *value : format + "," + *value;
        format.clear();
        with_text = false;
    }
    if (!run.spelling.prints_display) {
        output.lines.push_back("; DISPLAY " + items + (items.empty() ? "(" : " (") +
                               std::string(run.spelling.name) + " prints nothing)");
        return;
    }
    // Nothing to print prints an empty line.
    output.lines.push_back(instruction({}, "DISPLAY", items.empty() ? "\" \"" : items));
}

}  // namespace korve
