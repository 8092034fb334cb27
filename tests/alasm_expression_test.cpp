#include "alasm/alasm_expression.h"
#include "translation/expression_writer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

namespace korve {
namespace {

std::optional<std::uint16_t> value_of(std::string_view text, const LabelValues& labels = {},
                                      std::optional<std::uint16_t> here = std::nullopt) {
    const ParsedExpression parsed = parse_expression(text);
    EXPECT_TRUE(parsed.expression.has_value()) << text << ": " << parsed.problem;
    if (!parsed.expression) {
        return std::nullopt;
    }
    return evaluate_expression(*parsed.expression, labels, here);
}

TEST(Expression, EvaluatesFromLeftToRight) {
    const LabelValues labels = {{"START", 0x6000}, {"N", 3}};
    const struct {
        std::string_view text;
        std::optional<std::uint16_t> value;
    } cases[] = {
        // No priorities: #4000+32 first, then *8.
        {"#4000+32*8", 0x0100},
        {"2+3*4", 20},
        {"2+(3*4)", 14},
        {"10-3-2", 5},
        // 16 bits, wrapping at every step; division is unsigned.
        {"40000+40000/2", 7232},
        {"0-2/2", 0x7FFF},
        {"65535*65535", 1},
        {"70000", 4464},
        {"#12345", 0x2345},
        {"%11111111111111111", 0xFFFF},
        // & and, | or, ! exclusive or.
        {"#F0F0&#FF00|#000F!#0101", 0xF10E},
        // Rotations of the 16-bit word, by any count.
        {"#8001>1", 0xC000},
        {"#8001<1", 0x0003},
        {"#1234>16", 0x1234},
        {"#1234<20", 0x2341},
        // A postfix ~ inverts the result so far.
        {"1+2~", 0xFFFC},
        {"1+2~+1", 0xFFFD},
        {"1+(2~)", 0xFFFE},
        // High and low bytes bind to the term after them.
        {"'#1234+1", 0x13},
        {"'(#1234+1)", 0x12},
        {".#1234*2", 0x68},
        {"''#1234", 0},
        // A leading minus subtracts from 0, then the steps go on.
        {"-2*3", 0xFFFA},
        {"-(1+2)", 0xFFFD},
        {"+5", 5},
        // Characters, labels and $.
        {"\"A\"-\"0\"-10", 7},
        {"START+N*2", 0xC006},
        {"$-START", 0x0010},
        {" 0 - 12 ", 0xFFF4},
        // What cannot be known has no value.
        {"UNKNOWN+1", std::nullopt},
        {"{#5C00}", std::nullopt},
        {"$$", std::nullopt},
        {"1/0", std::nullopt},
        // ?L: 0 for a name that is defined.
        {"?START", 0},
        {"?ELSEWHERE", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(value_of(c.text, labels, 0x6010), c.value) << c.text;
    }
    EXPECT_EQ(value_of("$+1"), std::nullopt);
}

TEST(Expression, RejectsWhatIsNoExpression) {
    const struct {
        std::string_view text;
        std::string_view problem;
    } cases[] = {
        {"", "a value is missing"},
        {"1+", "a value is missing"},
        {"(1+2", "')' is missing"},
        {"{1", "'}' is missing"},
        {"12AB", "'12A' is no number"},
        {"#", "'#' has no digits"},
        {"%102", "'%102' is no number"},
        {"\"AB\"", "a string of 2 characters is no value"},
        {"\"A", "a string is not closed"},
        {"2*-3", "unexpected '-'"},
        {"1 2", "unexpected '2'"},
        {"?", "'?' wants a name"},
    };
    for (const auto& c : cases) {
        const ParsedExpression parsed = parse_expression(c.text);
        EXPECT_FALSE(parsed.expression.has_value()) << c.text;
        EXPECT_EQ(parsed.problem, c.problem) << c.text;
    }
}

std::string written(std::string_view text, Dialect dialect, ValueUse use = ValueUse::Truncated) {
    const ParsedExpression parsed = parse_expression(text);
    EXPECT_TRUE(parsed.expression.has_value()) << text;
    WriteOptions options;
    options.dialect = dialect;
    options.use = use;
    const WrittenExpression result = write_expression(*parsed.expression, options);
    if (!result.problem.empty()) {
        return "problem: " + result.problem;
    }
    std::string helpers;
    for (const HelperValue& helper : result.helpers) {
        helpers += helper.name + "=" + helper.text + "; ";
    }
    return helpers + result.text;
}

TEST(Expression, WritesTheSameComputationForEachTarget) {
    const struct {
        std::string_view alasm;
        ValueUse use;
        std::string_view sjasmplus;
        std::string_view pasmo;
    } cases[] = {
        // Parentheses only where the target's priorities would regroup.
        {"#4000+32*8", ValueUse::Truncated, "(#4000+32)*8", "(#4000+32)*8"},
        {"2*3+4", ValueUse::Truncated, "2*3+4", "2*3+4"},
        {"1+2-3", ValueUse::Truncated, "1+2-3", "1+2-3"},
        {"1-(2+3)", ValueUse::Truncated, "1-(2+3)", "1-(2+3)"},
        {"(255-MEMSK)", ValueUse::Truncated, "255-MEMSK", "255-MEMSK"},
        // The operators as each target spells them; pasmo groups OR and XOR
        // at one level, sjasmplus does not.
        {"A1&A2|A3!A4", ValueUse::Truncated, "(A1&A2|A3)^A4", "A1 AND A2 OR A3 XOR A4"},
        {"A1|A2&A3", ValueUse::Truncated, "(A1|A2)&A3", "(A1 OR A2) AND A3"},
        {"A1+A2&A3", ValueUse::Truncated, "A1+A2&A3", "A1+A2 AND A3"},
        // sjasmplus divides 32-bit signed values: the operands are first
        // made 16-bit where they might not be.
        {"8192/256", ValueUse::Truncated, "8192/256", "8192/256"},
        {"-2/2", ValueUse::Truncated, "(-2&#FFFF)/2", "(-2)/2"},
        {"#8000*2/2", ValueUse::Truncated, "(#8000*2&#FFFF)/2", "#8000*2/2"},
        {"LABEL/2", ValueUse::Truncated, "LABEL/2", "LABEL/2"},
        {"1/0", ValueUse::Truncated, "problem: the expression divides by zero",
         "problem: the expression divides by zero"},
        // Prefixes: pasmo's unary operators bind loosely, so they are put in
        // parentheses wherever they are an operand.
        {"'FONT+1", ValueUse::Truncated, "HIGH FONT+1", "(HIGH FONT)+1"},
        {"'(FONT+1)", ValueUse::Truncated, "HIGH (FONT+1)", "HIGH (FONT+1)"},
        {"1+.FONT", ValueUse::Truncated, "1+LOW FONT", "1+(LOW FONT)"},
        {"-1+2", ValueUse::Truncated, "-1+2", "(-1)+2"},
        {"A1+A2~", ValueUse::Truncated, "~(A1+A2)", "~(A1+A2)"},
        {"A1+A2~+1", ValueUse::Truncated, "~(A1+A2)+1", "(~(A1+A2))+1"},
        {"5-(1~)", ValueUse::Truncated, "5-~1", "5-(~1)"},
        {"1-(-1)", ValueUse::Truncated, "1- -1", "1-(-1)"},
        // Rotations, as shifts within 16 bits. pasmo sets a value it reads
        // twice once before the line; sjasmplus shifts the value doubled
        // (its bits twice over hold every rotation), so that the line
        // stands alone.
        {"#8001>1", ValueUse::Truncated, "(#8001>>1|#8001<<15)&#FFFF",
         "#8001 SHR 1 OR #8001 SHL 15"},
        {"X<4", ValueUse::Truncated, "(X<<4|X>>12)&#FFFF", "X SHL 4 OR X SHR 12"},
        {"X>16", ValueUse::Truncated, "X", "X"},
        {"X<N", ValueUse::Truncated, "X*#10001>>16-(N&15)&#FFFF",
         "korve_value1=N AND 15; X SHL korve_value1 OR X SHR (16-korve_value1)"},
        {"X>N", ValueUse::Truncated, "X*#10001>>(N&15)&#FFFF",
         "korve_value1=N AND 15; X SHR korve_value1 OR X SHL (16-korve_value1)"},
        {"X+1>3", ValueUse::Truncated, "(X+1&#FFFF)*#10001>>3&#FFFF",
         "korve_value1=X+1; korve_value1 SHR 3 OR korve_value1 SHL 13"},
        // Where the 16-bit value itself is needed.
        {"X-1", ValueUse::Exact, "X-1&#FFFF", "X-1"},
        {"X&#FF", ValueUse::Exact, "X&#FF", "X AND #FF"},
        {"-1", ValueUse::Exact, "-1&#FFFF", "-1"},
        {"$-START", ValueUse::Definition, "$-START", "$-START"},
        {"X*2", ValueUse::Definition, "X*2&#FFFF", "X*2"},
        // Characters, in the targets' single quotes.
        {"\"A\"-\"0\"", ValueUse::Truncated, "'A'-'0'", "'A'-'0'"},
        {"\"'\"", ValueUse::Truncated, "''''", "''''"},
        // Labels the targets reserve.
        {"HIGH+ixh", ValueUse::Truncated, "HIGH_+ixh_", "HIGH_+ixh_"},
        // What has no equal.
        {"{#5C00}", ValueUse::Truncated,
         "problem: {...}, a word of ALASM's memory while it assembles, cannot be known",
         "problem: {...}, a word of ALASM's memory while it assembles, cannot be known"},
        {"$$", ValueUse::Truncated, "problem: $$, the memory page ALASM assembles into, has no equal there",
         "problem: $$, the memory page ALASM assembles into, has no equal there"},
        {"?X", ValueUse::Truncated, "problem: ?X: whether X is defined at this point cannot be known",
         "problem: ?X: whether X is defined at this point cannot be known"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(written(c.alasm, Dialect::Sjasmplus, c.use), c.sjasmplus) << c.alasm;
        EXPECT_EQ(written(c.alasm, Dialect::Pasmo, c.use), c.pasmo) << c.alasm;
    }
}

TEST(Expression, NamesLabelsAsTheTargetsAllowThem) {
    const struct {
        std::string_view alasm;
        std::string_view sjasmplus;
        std::string_view pasmo;
    } cases[] = {
        {"START", "START", "START"},
        {"high", "high_", "high_"},
        {"IXL", "IXL_", "IXL_"},
        {"Defl", "Defl", "Defl_"},
        {"@GLOBAL", "@GLOBAL", "@GLOBAL"},
        {"?????????", "_?????????", "?????????"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(target_label(c.alasm, Dialect::Sjasmplus), c.sjasmplus) << c.alasm;
        EXPECT_EQ(target_label(c.alasm, Dialect::Pasmo), c.pasmo) << c.alasm;
    }
}

}  // namespace
}  // namespace korve
