#include "alasm_generator.h"

#include <array>
#include <span>
#include <string_view>
#include <vector>

#include "alasm_tokens.h"
#include "alasm_writer.h"

namespace korve::bench {
namespace {

using testing::alasm_header;
using testing::alasm_record;

// The mix, in lines (or operands) out of a hundred.
constexpr std::size_t kPercent = 100;
constexpr std::size_t kEmptyLines = 5;
constexpr std::size_t kCommentLines = 10;
constexpr unsigned kLabelledLines = 33;
constexpr unsigned kTrailingComments = 20;
constexpr unsigned kSpacedCommas = 10;
// Operands: keywords, numbers, (IX+d) and names, each up to its bound; the
// rest are strings.
constexpr std::size_t kKeywordOperands = 40;
constexpr std::size_t kNumberOperands = kKeywordOperands + 25;
constexpr std::size_t kIndexedOperands = kNumberOperands + 10;
constexpr std::size_t kNameOperands = kIndexedOperands + 15;
constexpr std::size_t kMostOperands = 3;

constexpr unsigned kFirstTokenByte = 0x80;
constexpr unsigned kLastTokenByte = 0xFF;
constexpr std::string_view kEmptyRecord = "\x01";

// splitmix64: tiny, and the same on every host, unlike the distributions of
// <random>.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}

    std::uint64_t next() {
        state_ += 0x9E3779B97F4A7C15ULL;
        std::uint64_t z = state_;
        z = (z ^ (z >> 30U)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27U)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31U);
    }

    // A whole number from 0 to `bound` - 1.
    std::size_t below(std::size_t bound) { return static_cast<std::size_t>(next() % bound); }

    // True `percent` times in a hundred.
    bool chance(unsigned percent) { return below(kPercent) < percent; }

    std::string_view pick(std::span<const std::string_view> items) {
        return items[below(items.size())];
    }

private:
    std::uint64_t state_;
};

// Whether a keyword stands alone: not the lone space that both tables share,
// nor "(IX" or "(IY", which need a displacement and a closing parenthesis.
bool stands_alone(std::string_view word) {
    return word != " " && (word.front() != '(' || word.back() == ')');
}

// Every keyword of a table that stands alone.
std::vector<std::string_view> keywords(TokenMode mode) {
    std::vector<std::string_view> words;
    for (unsigned byte = kFirstTokenByte; byte <= kLastTokenByte; ++byte) {
        const auto word = decode_token(static_cast<unsigned char>(byte), mode);
        if (word && stands_alone(*word)) {
            words.push_back(*word);
        }
    }
    return words;
}

constexpr std::array<std::string_view, 31> kCommentWords = {
    "clear", "the", "screen", "next", "row", "loop", "until", "zero", "save", "registers",
    "print", "char", "at", "HL", "border", "colour", "wait", "for", "key", "table", "of",
    "sprites", "bank", "7", "fast", "path", "restore", "stack", "sound", "on", "AY"};

struct Vocabulary {
    std::vector<std::string_view> first = keywords(TokenMode::First);
    std::vector<std::string_view> operands = keywords(TokenMode::Operand);
};

// A name of three to eight letters and digits, starting with a letter.
void add_name(Random& random, std::string& line) {
    static constexpr std::string_view kLetters = "ABCDEFGHIJKLMNOPQRSTUVWXYZ_";
    static constexpr std::string_view kLettersAndDigits = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    line += kLetters[random.below(kLetters.size())];
    const std::size_t more = 2 + random.below(6);
    for (std::size_t i = 0; i < more; ++i) {
        line += kLettersAndDigits[random.below(kLettersAndDigits.size())];
    }
}

void add_words(Random& random, std::size_t count, std::string& line) {
    for (std::size_t i = 0; i < count; ++i) {
        line += ' ';
        line += random.pick(kCommentWords);
    }
}

void add_number(Random& random, std::string& line) {
    constexpr std::size_t kLargestNumber = 65536;
    if (random.chance(50)) {
        line += '#';
        static constexpr std::string_view kHex = "0123456789ABCDEF";
        for (int digit = 0; digit < 4; ++digit) {
            line += kHex[random.below(kHex.size())];
        }
    } else {
        line += std::to_string(random.below(kLargestNumber));
    }
}

void add_operand(const Vocabulary& words, Random& random, std::string& line) {
    const std::size_t kind = random.below(kPercent);
    if (kind < kKeywordOperands) {
        line += '{';
        line += random.pick(words.operands);
        line += '}';
    } else if (kind < kNumberOperands) {
        add_number(random, line);
    } else if (kind < kIndexedOperands) {
        constexpr std::size_t kDisplacements = 128;
        line += random.chance(50) ? "{(IX}" : "{(IY}";
        line += random.chance(70) ? '+' : '-';
        line += std::to_string(random.below(kDisplacements));
        line += ')';
    } else if (kind < kNameOperands) {
        add_name(random, line);
    } else {
        line += '"';
        add_words(random, 1 + random.below(3), line);
        line += '"';
    }
}

// One source line in the test writer's marked form.
std::string marked_line(const Vocabulary& words, Random& random) {
    std::string line;
    const std::size_t kind = random.below(kPercent);
    if (kind < kEmptyLines) {
        return line;
    }
    if (kind < kEmptyLines + kCommentLines) {
        line.append(random.below(3), ' ');
        line += ';';
        add_words(random, 1 + random.below(8), line);
        return line;
    }
    if (random.chance(kLabelledLines)) {
        add_name(random, line);
    }
    line += '{';
    line += random.pick(words.first);
    line += '}';
    const std::size_t operands = random.below(kMostOperands + 1);
    for (std::size_t i = 0; i < operands; ++i) {
        if (i > 0) {
            line += random.chance(kSpacedCommas) ? ", " : ",";
        }
        add_operand(words, random, line);
    }
    if (random.chance(kTrailingComments)) {
        line.append(1 + random.below(20), ' ');
        line += ';';
        add_words(random, 1 + random.below(5), line);
    }
    return line;
}

}  // namespace

std::string generate_alasm(std::size_t size, std::uint64_t seed) {
    const Vocabulary words;
    Random random(seed);
    std::string data = alasm_header("BENCH");
    data.reserve(size);
    const std::size_t records_end = size > data.size() ? size - 1 : data.size();
    for (;;) {
        const std::string record = alasm_record(marked_line(words, random));
        if (data.size() + record.size() > records_end) {
            break;
        }
        data += record;
    }
    while (data.size() < records_end) {
        data += kEmptyRecord;
    }
    data += '\0';  // the assembler ends its data with a zero byte
    return data;
}

}  // namespace korve::bench
