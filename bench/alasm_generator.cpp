#include "alasm_generator.h"

#include <array>
#include <numeric>
#include <span>
#include <string_view>
#include <vector>

#include "alasm_writer.h"
#include "formats/alasm_tokens.h"
#include "image_writer.h"

namespace korve::bench {
namespace {

using testing::alasm_header;
using testing::alasm_record;
using testing::DiskFile;

constexpr std::size_t kPercent = 100;
constexpr std::size_t kPerMille = 1000;

// The rich mix, in lines (or operands) out of a hundred.
namespace rich_mix {
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
}  // namespace rich_mix

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

    // True `share` times in a thousand.
    bool share(unsigned share) { return below(kPerMille) < share; }

    // An index into `shares`, each drawn as often as its share in a thousand.
    std::size_t pick_share(std::span<const unsigned> shares) {
        std::size_t drawn = below(kPerMille);
        for (std::size_t i = 0; i < shares.size(); ++i) {
            if (drawn < shares[i]) {
                return i;
            }
            drawn -= shares[i];
        }
        return shares.size() - 1;
    }

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

// A name of `shortest` to `longest` letters and digits, starting with a
// letter.
void add_name(Random& random, std::string& line, std::size_t shortest = 3,
              std::size_t longest = 8) {
    static constexpr std::string_view kLetters = "ABCDEFGHIJKLMNOPQRSTUVWXYZ_";
    static constexpr std::string_view kLettersAndDigits = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    line += kLetters[random.below(kLetters.size())];
    const std::size_t more = shortest - 1 + random.below(longest - shortest + 1);
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

// A keyword, in the test writer's marks.
void add_keyword(std::string_view word, std::string& line) {
    line += '{';
    line += word;
    line += '}';
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
    using namespace rich_mix;
    const std::size_t kind = random.below(kPercent);
    if (kind < kKeywordOperands) {
        add_keyword(random.pick(words.operands), line);
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

// One line of the rich mix, in the test writer's marked form.
std::string rich_line(const Vocabulary& words, Random& random) {
    using namespace rich_mix;
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
    add_keyword(random.pick(words.first), line);
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


// The shape of real ALASM sources, measured once over the 70 distinct files
// (15,916 line records, 126 KB; 7.7 bytes a record) of a collection written
// on ZX Spectrum machines for public projects. Each figure is per thousand
// of the lines (or operands) it speaks of, rounded.
namespace real_shape {
// How a line starts: nothing (a length byte of 1), its mnemonic, a space run,
// a label; the rest start with a comment.
constexpr std::array<unsigned, 5> kLineStarts = {308, 464, 118, 99, 11};
enum LineStart : std::size_t { kEmpty, kMnemonic, kSpaces, kLabel, kComment };
// After a label: nothing, the mnemonic at once, or spaces and the mnemonic.
constexpr std::array<unsigned, 3> kAfterLabel = {734, 99, 167};
enum AfterLabel : std::size_t { kLabelAlone, kLabelThenMnemonic, kLabelThenSpaces };
// Leading spaces: sixteen (two run bytes), else one to fifteen; a comment
// follows them, else the mnemonic.
constexpr unsigned kSixteenLeadingSpaces = 644;
constexpr unsigned kCommentAfterSpaces = 196;
// A space run pads the mnemonic out to the operands' column.
constexpr unsigned kPaddedMnemonics = 845;
constexpr std::size_t kOperandColumn = 7;
// Operands of an instruction: none, one, two or three.
constexpr std::array<unsigned, 4> kOperandCounts = {93, 367, 534, 6};
// An operand is a keyword, a number or a name, a string, or (IX+d).
constexpr std::array<unsigned, 4> kOperandKinds = {516, 440, 39, 5};
enum OperandKind : std::size_t { kKeyword, kPlain, kString, kIndexed };
// After the operands: the space token (0xFF), a comment.
constexpr unsigned kTrailingSpaceTokens = 71;
constexpr unsigned kTrailingComments = 35;
// Labels are five to twelve characters long (8.4 on average).
constexpr std::size_t kShortestLabel = 5;
constexpr std::size_t kLongestLabel = 12;

constexpr bool per_thousand(std::span<const unsigned> shares) {
    return std::accumulate(shares.begin(), shares.end(), 0U) == kPerMille;
}
static_assert(per_thousand(kLineStarts) && per_thousand(kAfterLabel) &&
              per_thousand(kOperandCounts) && per_thousand(kOperandKinds));
}  // namespace real_shape

void add_comment(Random& random, std::string& line) {
    line += ';';
    add_words(random, 1 + random.below(6), line);
}

void add_real_operand(const Vocabulary& words, Random& random, std::string& line) {
    using namespace real_shape;
    switch (random.pick_share(kOperandKinds)) {
        case kKeyword:
            add_keyword(random.pick(words.operands), line);
            return;
        case kPlain:
            if (random.chance(50)) {
                add_number(random, line);
            } else {
                add_name(random, line);
            }
            return;
        case kString:
            line += '"';
            add_words(random, 1 + random.below(4), line);
            line += '"';
            return;
        default:
            line += random.chance(50) ? "{(IX}+" : "{(IY}+";
            line += std::to_string(random.below(kPercent));
            line += ')';
            return;
    }
}

// The mnemonic, padded or not, its operands and what may follow them.
void add_instruction(const Vocabulary& words, Random& random, std::string& line) {
    using namespace real_shape;
    const std::string_view mnemonic = random.pick(words.first);
    add_keyword(mnemonic, line);
    const std::size_t operands = random.pick_share(kOperandCounts);
    if (random.share(kPaddedMnemonics)) {
        line.append(mnemonic.size() < kOperandColumn ? kOperandColumn - mnemonic.size() : 1, ' ');
    }
    for (std::size_t i = 0; i < operands; ++i) {
        if (i > 0) {
            line += ',';
        }
        add_real_operand(words, random, line);
    }
    if (random.share(kTrailingSpaceTokens)) {
        line += "{ }";
    }
    if (random.share(kTrailingComments)) {
        line += ' ';
        add_comment(random, line);
    }
}

// One line shaped like those of real sources, in the test writer's marked
// form.
std::string real_shaped_line(const Vocabulary& words, Random& random) {
    using namespace real_shape;
    constexpr std::size_t kSixteen = 16;
    std::string line;
    switch (random.pick_share(kLineStarts)) {
        case kEmpty:
            return line;
        case kMnemonic:
            add_instruction(words, random, line);
            return line;
        case kSpaces:
            line.append(random.share(kSixteenLeadingSpaces) ? kSixteen : 1 + random.below(15), ' ');
            if (random.share(kCommentAfterSpaces)) {
                add_comment(random, line);
            } else {
                add_instruction(words, random, line);
            }
            return line;
        case kLabel:
            add_name(random, line, kShortestLabel, kLongestLabel);
            switch (random.pick_share(kAfterLabel)) {
                case kLabelAlone:
                    return line;
                case kLabelThenSpaces:
                    line.append(1 + random.below(15), ' ');
                    break;
                default:
                    break;
            }
            add_instruction(words, random, line);
            return line;
        default:
            add_comment(random, line);
            return line;
    }
}

}  // namespace

std::optional<DataSet> data_set_named(std::string_view name) {
    if (name == "real-shaped") {
        return DataSet::RealShaped;
    }
    if (name == "rich") {
        return DataSet::Rich;
    }
    return std::nullopt;
}

std::string generate_alasm(DataSet set, std::size_t size, std::uint64_t seed) {
    const Vocabulary words;
    Random random(seed);
    std::string data = alasm_header("BENCH");
    data.reserve(size);
    const std::size_t records_end = size > data.size() ? size - 1 : data.size();
    for (;;) {
        const std::string record = alasm_record(set == DataSet::RealShaped
                                                    ? real_shaped_line(words, random)
                                                    : rich_line(words, random));
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

std::string generate_disk(std::uint64_t seed) {
    // Sizes and counts of the real sources on real disks, roughly.
    constexpr std::size_t kFewestSources = 3;
    constexpr std::size_t kMoreSources = 5;
    constexpr std::size_t kSmallestSource = 400;
    constexpr std::size_t kLargerSource = 3700;
    constexpr std::size_t kCodeSize = 1281;
    constexpr std::uint16_t kCodeStart = 0x6000;
    Random random(seed);
    std::vector<DiskFile> files;
    const std::size_t sources = kFewestSources + random.below(kMoreSources);
    for (std::size_t i = 1; i <= sources; ++i) {
        const std::size_t size = kSmallestSource + random.below(kLargerSource);
        files.push_back({.name = "SRC" + std::to_string(i), .type = 'H',
                         .data = generate_alasm(DataSet::RealShaped, size, random.next())});
    }
    files.push_back({.name = "CODE", .type = 'C', .data = std::string(kCodeSize, '\xC9'), .start = kCodeStart});
    return testing::trd_image(files);
}

}  // namespace korve::bench
