#include "translation/translation_layout.h"

#include <cctype>
#include <optional>

namespace korve {
namespace {

bool blank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimmed_start(std::string_view text) {
    std::size_t at = 0;
    while (at < text.size() && blank(text[at])) {
        ++at;
    }
    return text.substr(at);
}

// Whether a statement ends in a note of its own: a ';' outside its strings
// ("a;" and 'a;', not the quote of AF').
bool has_note(std::string_view statement) {
    if (statement.find(';') == std::string_view::npos) {
        return false;  // as most have not: no need to follow their quotes
    }
    char quote = 0;
    for (std::size_t i = 0; i < statement.size(); ++i) {
        const char c = statement[i];
        if (quote != 0) {
            quote = c == quote ? '\0' : quote;
        } else if (c == '"' || (c == '\'' && (i == 0 || !std::isalnum(static_cast<unsigned char>(
                                                              statement[i - 1]))))) {
            quote = c;
        } else if (c == ';') {
            return true;
        }
    }
    return false;
}

// A label alone ("L1", "L1:"): the statement after it follows a tab, as a
// label's own does.
bool bare_label(std::string_view line) {
    return line.find_first_of(" \t=") == std::string_view::npos;
}

// The lines joined on one line into `text`, or false where they will not go
// on one: the statements, then the translator's comments, in order.
bool joined(std::string_view separator, std::span<const std::string> lines,
            std::string_view comment, std::string& text) {
    text.clear();
    bool after_label = false;
    for (const std::string& line : lines) {
        const std::string_view rest = trimmed_start(line);
        if (rest.empty() || rest.front() == ';') {
            continue;
        }
        if (sets_name(line)) {
            if (!text.empty()) {
                return false;  // a name set after another, or after a statement
            }
            text = line;
            after_label = bare_label(line);
            continue;
        }
        if (has_note(rest)) {
            return false;  // a statement with a note of its own
        }
        text += text.empty() || after_label ? std::string_view("\t") : separator;
        text += rest;
        after_label = false;
    }
    bool said = false;
    for (const std::string& line : lines) {
        const std::string_view rest = trimmed_start(line);
        if (!rest.empty() && rest.front() == ';') {
            text += said ? " " : text.empty() ? "" : "\t";
            text += rest;
            said = true;
        }
    }
    text += comment;
    return true;
}

}  // namespace

bool sets_name(std::string_view line) {
    return !line.empty() && !blank(line.front()) && line.front() != ';';
}

std::string laid_out(const DialectSpelling& spelling, std::span<const std::string> lines,
                     std::string_view comment) {
    std::string text;
    lay_out(spelling, lines, comment, text);
    return text;
}

void lay_out(const DialectSpelling& spelling, std::span<const std::string> lines,
             std::string_view comment, std::string& text) {
    if (!spelling.separator.empty() && joined(spelling.separator, lines, comment, text)) {
        return;
    }
    text.clear();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) {
            text += '\n';
        }
        text += lines[i];
    }
    text += comment;
}

}  // namespace korve
