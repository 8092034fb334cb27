#include "formats/alasm_tokens.h"

#include <gtest/gtest.h>

#include <optional>
#include <string_view>

namespace korve {
namespace {

int defined_entries(TokenMode mode) {
    int count = 0;
    for (int byte = 0; byte < 256; ++byte) {
        count += decode_token(static_cast<unsigned char>(byte), mode).has_value() ? 1 : 0;
    }
    return count;
}

TEST(AlasmTokens, DefinesEveryKeywordOfBothTables) {
    EXPECT_EQ(defined_entries(TokenMode::First), 104);
    EXPECT_EQ(defined_entries(TokenMode::Operand), 38);
}

struct Spelling {
    unsigned char byte;
    TokenMode mode;
    std::optional<std::string_view> word;
};

TEST(AlasmTokens, SpellsKeywords) {
    const Spelling cases[] = {
        // The edges of the first-token range, and the words easy to get wrong.
        {0x7F, TokenMode::First, std::nullopt},
        {0x80, TokenMode::First, "INCLUDE"},
        {0x96, TokenMode::First, "DD"},
        {0xA1, TokenMode::First, "EXA"},
        {0xBC, TokenMode::First, "SLI"},
        {0xD2, TokenMode::First, "UNTIL0"},
        {0xD3, TokenMode::First, "IF0"},
        {0xE1, TokenMode::First, "EXD"},
        {0xE6, TokenMode::First, "RUN"},
        {0xE7, TokenMode::First, std::nullopt},
        {0xFE, TokenMode::First, std::nullopt},
        {0xFF, TokenMode::First, " "},
        // The operand table's scattered ranges and their edges.
        {0x80, TokenMode::Operand, std::nullopt},
        {0x9E, TokenMode::Operand, std::nullopt},
        {0x9F, TokenMode::Operand, "(BC)"},
        {0xA4, TokenMode::Operand, "(IY)"},
        {0xA5, TokenMode::Operand, std::nullopt},
        {0xCF, TokenMode::Operand, std::nullopt},
        {0xD0, TokenMode::Operand, "(C)"},
        {0xD1, TokenMode::Operand, "(IX"},
        {0xD2, TokenMode::Operand, "(IY"},
        {0xD3, TokenMode::Operand, "AF'"},
        {0xD4, TokenMode::Operand, std::nullopt},
        {0xDF, TokenMode::Operand, std::nullopt},
        {0xE0, TokenMode::Operand, "BC"},
        {0xF0, TokenMode::Operand, "C"},
        {0xFA, TokenMode::Operand, "I"},
        {0xFB, TokenMode::Operand, std::nullopt},
        {0xFF, TokenMode::Operand, " "},
        // Bytes that mean different words in the two tables.
        {0xA0, TokenMode::First, "DISPLAY"},
        {0xA0, TokenMode::Operand, "(DE)"},
        {0xE0, TokenMode::First, "ENDIF"},
        {0xD0, TokenMode::First, "IFN"},
        {0xF5, TokenMode::First, std::nullopt},
        {0xF5, TokenMode::Operand, "A"},
        // Below 0x80 nothing is a keyword.
        {0x00, TokenMode::First, std::nullopt},
        {0x41, TokenMode::Operand, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(decode_token(c.byte, c.mode), c.word)
            << "byte " << int{c.byte} << (c.mode == TokenMode::First ? " first" : " operand");
    }
}

TEST(AlasmTokens, NamesUndefinedTokensInUpperCaseHex) {
    EXPECT_EQ(undefined_token_text(0xE7, TokenMode::First), "|0xE7|");
    EXPECT_EQ(undefined_token_text(0x80, TokenMode::Operand), " |0x80|");
    EXPECT_EQ(undefined_token_text(0x9E, TokenMode::Operand), " |0x9E|");
    EXPECT_EQ(undefined_token_text(0x0A, TokenMode::First), "|0x0A|");
}

}  // namespace
}  // namespace korve
