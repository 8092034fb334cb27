#include "translation/translation_project.h"

#include "alasm/alasm_text.h"
#include "formats/alasm_lines.h"

namespace korve {

std::string translated_heading(Dialect dialect) {
    return std::string(kTranslatedMark) + std::string(dialect_spelling(dialect).name) +
           ": not ALASM's own dialect (korvex text without --dialect gives that)";
}

std::string instruction(std::string_view label, std::string_view mnemonic,
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

std::string include_file(const Project& project, std::string_view trdos_name) {
    const auto found = project.includes.find(include_key(trdos_name));
    return found != project.includes.end() ? found->second : default_include_file(trdos_name);
}

}  // namespace korve
