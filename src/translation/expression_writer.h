// ALASM's expressions written for another assembler, so that they evaluate
// to the same 16-bit value there.
//
// The writer spells the same computation in the target's own syntax:
// parentheses where the target's priorities would regroup it (and around
// the operand of a prefix operator, which readers take to bind tightly),
// the target's names for the operators (dialect.h), and, for a target that
// computes on 32 signed bits (sjasmplus), a mask to 16 bits where a step's
// result depends on more than the low 16 bits of its operands (a division,
// a rotation), or where the caller needs the value itself. A target that
// computes on 16 unsigned bits, as ALASM does (pasmo), needs no mask.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "alasm/alasm_expression.h"
#include "alasm/dialect.h"

namespace korve {

// How a written expression will be used.
enum class ValueUse : unsigned char {
    Truncated,   // as a byte or a word the target truncates: DB, DW, operands
    Exact,       // as the 16-bit value itself: counts, conditions, ORG
    // As a label's value (EQU, =): exact, except that sums and differences
    // of labels, $ and numbers are taken to stay within 64 KiB, as the
    // addresses and lengths they compute do.
    Definition,
};

// The values an expression may take in the target (sjasmplus: 32 bits).
struct ValueRange {
    std::int64_t low = 0;
    std::int64_t high = 0xFFFF;
};

// What is known of labels' values in the target; any other label is taken
// to hold a 16-bit value.
using LabelRanges = NameMap<ValueRange>;

struct WriteOptions {
    Dialect dialect = Dialect::Sjasmplus;
    ValueUse use = ValueUse::Truncated;
    // Added to $ wherever it is read (pasmo's stand-in for DISP), if not empty.
    std::string_view here_offset;
    // Names known to be defined before this line, for ?name.
    const NameSet* defined = nullptr;
    // {a} reads the memory the target assembles into, at addresses the
    // caller has found to hold the bytes ALASM's memory holds there.
    bool reads_memory = false;
    const LabelRanges* ranges = nullptr;
    // Names for helper values: this and a number, counted from helper_count.
    std::string_view helper_prefix = "korve_value";
    std::size_t helper_count = 0;
};

// A value the written expression reads twice (a rotation's operand, or its
// count), set before the line so that it is written once: the line takes
// `name = text` (sjasmplus) or `name DEFL text` (pasmo) before it.
struct HelperValue {
    std::string name;
    std::string text;
};

struct WrittenExpression {
    std::string text;
    std::string problem;  // what cannot be written, when something cannot
    ValueRange range;     // of the written value, in the target
    std::vector<HelperValue> helpers;  // in the order they are to be set
};

// The expression in the syntax of options.dialect. ALASM's own is no target:
// for Dialect::Alasm, a problem (the stored text is ALASM's text).
WrittenExpression write_expression(const Expression& expression, const WriteOptions& options);

// The name a target gives an ALASM label: the name itself, unless the target
// reserves it (an instruction, register, directive or operator: then it
// gains a '_') or cannot start a name with its first character (then it
// gains a leading '_').
std::string target_label(std::string_view name, Dialect dialect);
// The same, added to `text`.
void add_target_label(std::string& text, std::string_view name, Dialect dialect);

}  // namespace korve
