// The assemblers a source is written for, and how each target spells what
// the translator writes: one row of DialectSpelling per target, so that the
// translator and the expression writer read a field where the targets
// differ, and take another route only where a row says so. A new target is
// a new row (dialect.cpp) and its cases in the tests.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string_view>

namespace korve {

// The assembler a source is written for.
enum class Dialect : unsigned char { Alasm, Sjasmplus, Pasmo };

// The operators the expression writer writes.
enum class TargetOperator : unsigned char {
    Add, Subtract, Multiply, Divide, And, Or, Xor, ShiftLeft, ShiftRight,
    Invert, Negate, HighByte, LowByte,
};
inline constexpr std::size_t kTargetOperators = 13;

// An operator as the target writes it, and how tightly it binds there
// (higher binds tighter).
struct OperatorSpelling {
    std::string_view text;
    int priority;
};

// An instruction the target spells its own way: its mnemonic, its operands,
// and a note written after it.
struct InstructionSpelling {
    std::string_view mnemonic;
    std::string_view operands;
    std::string_view note;
};

// Memory the target is made to assemble into (sjasmplus's device mode).
struct MemorySpelling {
    std::string_view device;  // what DEVICE names; empty: the target has none
    std::string_view save;    // the directive that saves a block of memory
    // A word of that memory read while it assembles, around its address
    // ({a}); empty: it reads none.
    std::array<std::string_view, 2> read;
    std::string_view assembled_file;  // a condition: this file is the one assembled
    std::string_view lowest;          // operators: the lower, and the higher, of two
    std::string_view highest;
};

inline constexpr std::size_t kLongestReserved = 8;

struct DialectSpelling {
    std::string_view name;  // as messages name the target

    // Expressions.
    std::array<OperatorSpelling, kTargetOperators> operators;  // by TargetOperator
    // Computes on 32 signed bits (where ALASM wraps at 16, a mask is
    // needed), rather than on 16 unsigned bits as ALASM does.
    bool computes_on_32_bits;
    // Words no label may be, in any case: in upper case, sorted, none
    // longer than kLongestReserved.
    std::span<const std::string_view> reserved;
    std::string_view name_starts;  // what may start a name besides letters and '_'

    // What separates instructions written on one line; empty: the target
    // takes one a line.
    std::string_view separator;

    // Names set with '=': once, and more than once (a helper value too).
    std::string_view set_once;
    std::string_view set_again;

    // Blocks.
    std::string_view repeat_open;   // a repeat n times
    std::string_view repeat_close;
    std::string_view loop_open;     // a loop while a name holds; empty: the target
    std::string_view loop_close;    // has none, and leaves a long repeat instead
    std::string_view repeat_exit;   // leaves a repeat early, where there is no loop
    std::string_view zero_test;     // after a value: "is it 0"
    std::string_view module_open;   // what stands for LOCAL .. ENDL
    std::string_view module_close;
    // The module lists the names it keeps to itself (else it is named).
    bool lists_local_names;
    // Assembles code for one address where its bytes lie at another (DISP);
    // else the translator offsets labels and $ itself.
    bool displaces;
    // Keeps an image of memory that ORG moves about in freely; else its
    // output is written in order, and ORG may only move forwards.
    bool keeps_memory_image;
    // Where it keeps no such image by itself, how it is made to, as ALASM
    // assembles into memory (translation_memory.h).
    MemorySpelling memory;
    // Whether a name is defined at this point of the assembly, before the
    // name (pasmo's DEFINED, true or false); empty: it cannot say (a test
    // that counts names defined further down says something else).
    std::string_view defined_test;
    // Whether a name is defined anywhere in the assembly, before the name
    // (sjasmplus's EXIST): where nothing defines it further down, the same.
    std::string_view defined_anywhere_test;
    std::string_view logical_not;  // before a condition: it does not hold
    bool prints_display;      // DISPLAY prints while it assembles
    bool incbin_takes_length;

    // HX LX HY LY, the halves of the index registers.
    std::array<std::string_view, 4> index_halves;
    InstructionSpelling in_f;        // IN F,(C)
    InstructionSpelling out_c_zero;  // OUT (C),0
};

// The row of a target. ALASM's own text is no target: asked for it, this
// gives sjasmplus's row.
const DialectSpelling& dialect_spelling(Dialect dialect);

}  // namespace korve
