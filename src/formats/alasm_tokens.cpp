#include "formats/alasm_tokens.h"

#include <algorithm>
#include <cstddef>

#include "base/hex_digits.h"

namespace korve {
namespace {

using keyword_tables::kFirstTable;
using keyword_tables::kOperandTable;
using keyword_tables::Table;

constexpr std::size_t defined_entries(const Table& table) {
    std::size_t count = 0;
    for (std::size_t byte = 0; byte < table.size(); ++byte) {
        count += table[byte].empty() ? 0 : 1;
    }
    return count;
}

constexpr std::size_t longest_entry(const Table& table) {
    std::size_t longest = 0;
    for (std::size_t byte = 0; byte < table.size(); ++byte) {
        longest = std::max(longest, table[byte].size());
    }
    return longest;
}

static_assert(defined_entries(kFirstTable) == 104);
static_assert(defined_entries(kOperandTable) == 38, "operand bytes must not repeat");
static_assert(kFirstTable[0xE6] == "RUN" && kFirstTable[0xE7].empty());
static_assert(kFirstTable[0x96] == "DD" && kFirstTable[0xD2] == "UNTIL0");
static_assert(kFirstTable[0xD3] == "IF0" && kFirstTable[0xBC] == "SLI");
static_assert(longest_entry(kFirstTable) == kLongestKeyword);
static_assert(longest_entry(kOperandTable) <= kLongestKeyword);
static_assert(kOperandTable[0xD1] == "(IX" && kOperandTable[0xD3] == "AF'");

// Every word of both tables reads back as its own byte: no word repeats.
constexpr bool encodes_back(const Table& table, TokenMode mode) {
    for (std::size_t byte = 0; byte < table.size(); ++byte) {
        const std::string_view& word = table[byte];
        if (!word.empty() && encode_token(word, mode) != byte) {
            return false;
        }
    }
    return true;
}
static_assert(encodes_back(kFirstTable, TokenMode::First));
static_assert(encodes_back(kOperandTable, TokenMode::Operand));
static_assert(!encode_token("", TokenMode::First) && !encode_token("ld", TokenMode::First));

}  // namespace

std::string undefined_token_text(unsigned char byte, TokenMode mode) {
    return (mode == TokenMode::First ? "|" : " |") + hex_byte(byte) + "|";
}

}  // namespace korve
