// What the language server says of ALASM's keywords: one line on what each
// mnemonic and directive does, for hover, and the words completion offers
// (mnemonics, directives, registers, conditions). The table is data: one
// row a keyword, every keyword of ALASM's first table in it.
#pragma once

#include <optional>
#include <span>
#include <string_view>

namespace korve::lsp {

struct KeywordHelp {
    std::string_view word;
    std::string_view text;
};

// Every mnemonic and directive, with its line.
std::span<const KeywordHelp> keyword_help();

// The line on `word` (in any case), if it is a mnemonic or directive.
std::optional<std::string_view> help_on(std::string_view word);

// The registers, pairs and conditions, as ALASM spells them.
std::span<const std::string_view> register_words();

}  // namespace korve::lsp
