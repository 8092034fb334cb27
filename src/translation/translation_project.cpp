#include "translation/translation_project.h"

#include <algorithm>

#include "alasm/alasm_text.h"
#include "formats/alasm_lines.h"

namespace korve {

std::string translated_heading(Dialect dialect) {
    return std::string(kTranslatedMark) + std::string(dialect_spelling(dialect).name) +
           ": not ALASM's own dialect (korvex text without --dialect gives that)";
}

std::string_view translation_heading(std::string_view first_line) {
    if (first_line.starts_with(kTranslatedMark)) {
        return first_line;
    }
    for (const Dialect dialect : {Dialect::Sjasmplus, Dialect::Pasmo}) {
        const std::string heading = translated_heading(dialect);
        if (first_line.ends_with(heading)) {
            return first_line.substr(first_line.size() - heading.size());
        }
    }
    return {};
}

std::string instruction(std::string_view label, std::string_view mnemonic,
                        std::string_view operands) {
    std::string text(label);
    add_instruction(text, mnemonic, operands);
    return text;
}

void add_instruction(std::string& text, std::string_view mnemonic, std::string_view operands) {
    text += '\t';
    text += mnemonic;
    if (!operands.empty()) {
        text += '\t';
        text += operands;
    }
}

std::string include_key(std::string_view trdos_name) {
    std::string key(trdos_name);
    if (key.find('.') == std::string::npos) {
        // A name without a type names a source: ALASM's own type.
        key += '.';
        key += kAlasmType;
    }
    return key;
}

std::string default_include_file(std::string_view trdos_name) {
    return include_key(trdos_name) + std::string(kTextSuffix);
}

namespace {

bool same_ignoring_case(std::string_view a, std::string_view b) {
    const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [&](char x, char y) { return upper(x) == upper(y); });
}

}  // namespace

// A name the project holds in another case only (a folder's "$fade0" for
// INCLUDE "$FADE0") is that file where no other name matches.
std::string include_file(const Project& project, std::string_view trdos_name) {
    const std::string key = include_key(trdos_name);
    const auto found = project.includes.find(key);
    if (found != project.includes.end()) {
        return found->second;
    }
    const std::string* only = nullptr;
    for (const auto& [name, file] : project.includes) {
        if (same_ignoring_case(name, key)) {
            if (only != nullptr && *only != file) {
                return default_include_file(trdos_name);
            }
            only = &file;
        }
    }
    return only != nullptr ? *only : default_include_file(trdos_name);
}

}  // namespace korve
