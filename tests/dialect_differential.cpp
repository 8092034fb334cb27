// The differential test of translated expressions: random ALASM sources
// whose lines define bytes and words from random expressions (numbers in
// every base, labels set by EQU and by =, every operator, nested
// parentheses, high and low bytes, ~, values past 16 bits), each worked
// out here as ALASM works it out, strictly from left to right, and then
// translated and assembled by sjasmplus and by pasmo. The bytes must agree.
//
//   dialect_differential SJASMPLUS PASMO WORK_DIR [SEED [LINES]]
//
// An assembler given as "" is left out; with neither, the test is skipped
// (exit status 77). Without a seed it takes a new one each run, to look
// further than the test suite's fixed one. On a difference it prints the line, what it was
// translated to, and the bytes expected and built.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "alasm_writer.h"
#include "formats/alasm_lines.h"
#include "translation/alasm_translation.h"

namespace {

using namespace korve;

constexpr int kSkipped = 77;
constexpr std::uint16_t kOrigin = 0x8000;

struct Value {
    std::string text;
    std::uint16_t value;
};

// The ALASM value of each step, worked out here, independently of the
// translator's own evaluator.
std::uint16_t rotated(std::uint16_t value, std::uint16_t count, bool right) {
    for (unsigned i = 0; i < count; ++i) {  // one bit at a time, however large the count
        value = right ? static_cast<std::uint16_t>((value >> 1) | (value << 15))
                      : static_cast<std::uint16_t>((value << 1) | (value >> 15));
    }
    return value;
}

std::uint16_t step(char op, std::uint16_t a, std::uint16_t b) {
    switch (op) {
        case '+': return static_cast<std::uint16_t>(a + b);
        case '-': return static_cast<std::uint16_t>(a - b);
        case '*': return static_cast<std::uint16_t>(static_cast<unsigned>(a) * b);  // not int: 0xFFFF squared overflows it
        case '/': return static_cast<std::uint16_t>(a / b);
        case '&': return a & b;
        case '|': return a | b;
        case '!': return a ^ b;
        case '>': return rotated(a, b, true);
        default: return rotated(a, b, false);
    }
}

struct Label {
    std::string name;
    std::uint16_t value;
};

class Generator {
public:
    explicit Generator(unsigned seed) : random_(seed) {}

    int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }

    // A number in one of ALASM's bases, now and then past 16 bits.
    Value number() {
        const bool large = below(8) == 0;
        const std::uint32_t value = large ? static_cast<std::uint32_t>(below(0x40000))
                                          : static_cast<std::uint32_t>(below(below(2) ? 256 : 65536));
        std::string text;
        switch (below(3)) {
            case 0: text = std::to_string(value); break;
            case 1: {
                char digits[16];
                std::snprintf(digits, sizeof digits, below(2) ? "#%X" : "#%x", value);
                text = digits;
                break;
            }
            default: {
                std::string bits;
                for (std::uint32_t rest = value; rest != 0; rest >>= 1) {
                    bits.insert(bits.begin(), static_cast<char>('0' + (rest & 1)));
                }
                text = "%" + (bits.empty() ? std::string("0") : bits);
                break;
            }
        }
        return {text, static_cast<std::uint16_t>(value & 0xFFFF)};
    }

    Value character() {
        static const std::string kCharacters =
            "ABCXYZabcxyz0123456789 !#$%&'()*+,-./:<=>?@[\\]^_`|~";
        const char c = kCharacters[static_cast<std::size_t>(below(static_cast<int>(kCharacters.size())))];
        return {std::string("\"") + c + "\"", static_cast<unsigned char>(c)};
    }

    Value term(int depth, std::uint16_t here) {
        const int kind = below(depth > 0 ? 12 : 9);
        if (kind < 4) {
            return number();
        }
        if (kind < 6 && !labels_.empty() && !numbers_only_) {
            const Label& label = labels_[static_cast<std::size_t>(below(static_cast<int>(labels_.size())))];
            return {label.name, label.value};
        }
        if (kind == 6) {
            return character();
        }
        if (kind == 7 && !numbers_only_) {
            return {"$", here};
        }
        if (kind == 7) {
            return number();
        }
        if (kind == 8) {
            const bool high = below(2) == 0;
            const Value inner = term(depth, here);
            return {(high ? "'" : ".") + inner.text,
                    static_cast<std::uint16_t>(high ? inner.value >> 8 : inner.value & 0xFF)};
        }
        if (kind < 12) {
            const Value inner = sequence(depth - 1, here);
            return {"(" + inner.text + ")", inner.value};
        }
        return number();
    }

    // Terms and operators, worked out from left to right.
    Value sequence(int depth, std::uint16_t here) {
        static const std::string kOperators = "+-*/&|!><";
        Value result{"", 0};
        const int sign = below(6);
        Value first = term(depth, here);
        if (sign == 0) {
            result = {"-" + first.text, static_cast<std::uint16_t>(0 - first.value)};
        } else if (sign == 1) {
            result = {"+" + first.text, first.value};
        } else {
            result = first;
        }
        const int terms = below(5);
        for (int i = 0; i < terms && result.text.size() < 90; ++i) {
            if (below(7) == 0) {
                result.text += '~';
                result.value = static_cast<std::uint16_t>(~result.value);
            }
            const char op = kOperators[static_cast<std::size_t>(below(static_cast<int>(kOperators.size())))];
            Value right = term(depth, here);
            if (op == '/' && right.value == 0) {
                right = {"7", 7};
            }
            result.text += (below(10) == 0 ? " " : "") + std::string(1, op) +
                           (below(10) == 0 ? " " : "") + right.text;
            result.value = step(op, result.value, right.value);
        }
        if (below(9) == 0) {
            result.text += '~';
            result.value = static_cast<std::uint16_t>(~result.value);
        }
        return result;
    }

    // One short enough that a line of three still fits in a record.
    Value expression(std::uint16_t here) {
        Value value = sequence(2, here);
        while (value.text.size() > 70) {
            value = sequence(2, here);
        }
        return value;
    }

    // One of numbers and characters alone.
    Value constant() {
        numbers_only_ = true;
        Value value = expression(0);
        numbers_only_ = false;
        return value;
    }

    std::vector<Label> labels_;

private:
    bool numbers_only_ = false;
    std::mt19937 random_;
};

struct SourceLine {
    std::string marked;              // for alasm_record
    std::vector<unsigned char> bytes;  // what it assembles to
};

void add_word(std::vector<unsigned char>& bytes, std::uint16_t value) {
    bytes.push_back(static_cast<unsigned char>(value & 0xFF));
    bytes.push_back(static_cast<unsigned char>(value >> 8));
}

// A source of about `count` lines, with what each assembles to. A third of
// the way in, a DISP block assembles for another address than where its
// bytes go, and ORG leaves gaps (which the targets fill with zeros).
std::vector<SourceLine> make_source(Generator& generator, int count) {
    std::vector<SourceLine> lines;
    lines.push_back({"{ORG}#8000", {}});
    std::uint16_t here = kOrigin;      // $, the address lines assemble for
    std::uint16_t placed = kOrigin;    // where their bytes go
    const int disp_start = count / 3;
    const int disp_end = disp_start + count / 5;
    // Names a target reserves, beside plain ones.
    static const std::vector<std::string> kNames = {"HIGH", "low", "Mod", "IXH", "END", "not", "DEFL", "Shr"};
    int serial = 0;
    std::vector<std::string> reassignable;
    for (int i = 0; i < count; ++i) {
        if (i == disp_start) {
            lines.push_back({"{DISP}#C000", {}});
            here = 0xC000;
        } else if (i == disp_end) {
            lines.push_back({"{ENT}", {}});
            here = placed;
        }
        SourceLine line;
        const int kind = generator.below(24);
        if (kind == 0 || (kind == 1 && generator.labels_.size() < 4)) {
            const std::string name = serial < static_cast<int>(kNames.size())
                                         ? kNames[static_cast<std::size_t>(serial)]
                                         : "L" + std::to_string(serial);
            ++serial;
            const Value value = generator.expression(here);
            const bool equ = generator.below(2) == 0;
            line.marked = equ ? name + "{EQU}" + value.text : name + "=" + value.text;
            generator.labels_.push_back({name, value.value});
            if (!equ) {
                reassignable.push_back(name);
            }
        } else if (kind == 1 && !reassignable.empty()) {
            const std::string& name =
                reassignable[static_cast<std::size_t>(generator.below(static_cast<int>(reassignable.size())))];
            const Value value = generator.expression(here);
            line.marked = name + "=" + value.text;
            for (Label& label : generator.labels_) {
                if (label.name == name) {
                    label.value = value.value;
                }
            }
        } else if (kind == 2) {
            // IF0 and IFN: which branch is assembled shows the condition.
            const Value value = generator.expression(here);
            const bool zero = generator.below(2) == 0;
            lines.push_back({std::string(zero ? "{IF0}" : "{IFN}") + value.text, {}});
            const bool taken = zero == (value.value == 0);
            lines.push_back({"{DB}1", taken ? std::vector<unsigned char>{1} : std::vector<unsigned char>{}});
            lines.push_back({"{ELSE}", {}});
            lines.push_back({"{DB}2", taken ? std::vector<unsigned char>{} : std::vector<unsigned char>{2}});
            line.marked = "{ENDIF}";
            line.bytes = {};
            here = static_cast<std::uint16_t>(here + 1);
            placed = static_cast<std::uint16_t>(placed + 1);
        } else if (kind == 3) {
            // A count: (e)&7|1 is 1 to 7.
            const Value value = generator.expression(here);
            const unsigned count_value = (value.value & 7U) | 1U;
            line.marked = "{DS}(" + value.text + ")&7|1,#A5";
            line.bytes.assign(count_value, 0xA5);
        } else if (kind == 4 || kind == 5) {
            // Not in parentheses, which would read memory.
            Value value = generator.expression(here);
            while (value.text.front() == '(') {
                value = generator.expression(here);
            }
            if (kind == 4) {
                line.marked = "{LD}{BC}," + value.text;
                line.bytes = {0x01};
                add_word(line.bytes, value.value);
            } else {
                line.marked = "{LD}{A}," + value.text;
                line.bytes = {0x3E, static_cast<unsigned char>(value.value & 0xFF)};
            }
        } else if (kind == 7) {
            // A displacement, of which the byte counts.
            const Value value = generator.constant();
            const char sign = value.text.front() == '-' || value.text.front() == '+' ? '\0' : '+';
            line.marked = "{LD}{A},{(IX}" + (sign != '\0' ? std::string(1, sign) : std::string()) +
                          value.text + ")";
            line.bytes = {0xDD, 0x7E, static_cast<unsigned char>(value.value & 0xFF)};
        } else if (kind == 6 && placed != kOrigin) {
            // A gap that ORG leaves (after the first byte: before it, the
            // targets' output starts later).
            const int gap = 1 + generator.below(4);
            line.marked = "{ORG}$+" + std::to_string(gap);
            line.bytes.assign(static_cast<std::size_t>(gap), 0);
        } else {
            const bool words = generator.below(2) == 0;
            const bool labelled = generator.below(6) == 0;
            if (labelled) {
                const std::string name = "P" + std::to_string(serial++);
                line.marked = name;
                generator.labels_.push_back({name, here});
            }
            line.marked += words ? "{DW}" : "{DB}";
            const int items = 1 + generator.below(3);
            for (int item = 0; item < items; ++item) {
                // $ is the line's address, read only in a list's first item.
                Value value = generator.expression(here);
                while (item > 0 && value.text.find('$') != std::string::npos) {
                    value = generator.expression(here);
                }
                line.marked += (item > 0 ? "," : "") + value.text;
                if (words) {
                    add_word(line.bytes, value.value);
                } else {
                    line.bytes.push_back(static_cast<unsigned char>(value.value & 0xFF));
                }
            }
        }
        here = static_cast<std::uint16_t>(here + line.bytes.size());
        placed = static_cast<std::uint16_t>(placed + line.bytes.size());
        lines.push_back(std::move(line));
    }
    lines.push_back({"{DB}#EE", {0xEE}});  // the last gap is no end
    return lines;
}

bool read_bytes(const std::filesystem::path& path, std::vector<unsigned char>& bytes) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return true;
}

std::string in_quotes(const std::filesystem::path& path) { return "\"" + path.string() + "\""; }

// Translates, assembles and compares; false on any difference.
bool check(Dialect dialect, const std::string& assembler, const std::filesystem::path& work,
           const std::vector<SourceLine>& source, const AlasmSource& described) {
    const char* const name = dialect == Dialect::Sjasmplus ? "sjasmplus" : "pasmo";
    Project project;
    project.dialect = dialect;
    SourceTranslation translation(project, described);
    std::vector<std::string> texts;
    std::vector<UntranslatedLine> problems;
    while (!translation.done()) {
        TranslatedLine line = translation.next();
        texts.push_back(std::move(line.text));
        if (line.untranslated) {
            problems.push_back(std::move(*line.untranslated));
        }
    }
    for (UntranslatedLine& problem : translation.end_problems()) {
        problems.push_back(std::move(problem));
    }
    bool good = true;
    for (const UntranslatedLine& problem : problems) {
        std::printf("%s: line %zu (%s) not translated: %s\n", name, problem.number,
                    source[problem.number - 1].marked.c_str(), problem.reason.c_str());
        good = false;
    }
    const std::filesystem::path text = work / (std::string(name) + ".asm");
    const std::filesystem::path binary = work / (std::string(name) + ".bin");
    const std::filesystem::path log = work / (std::string(name) + ".log");
    {
        std::ofstream out(text, std::ios::binary);
        for (const std::string& text : texts) {
            out << text << '\n';
        }
    }
    std::filesystem::remove(binary);
    const std::string command =
        dialect == Dialect::Sjasmplus
            ? in_quotes(assembler) + " --nologo --raw=" + in_quotes(binary) + " " + in_quotes(text) + " > " +
                  in_quotes(log) + " 2>&1"
            : in_quotes(assembler) + " --bin " + in_quotes(text) + " " + in_quotes(binary) + " > " +
                  in_quotes(log) + " 2>&1";
    // The command is made of the paths this test was given and chose.
    const int status = std::system(command.c_str());  // NOLINT(cert-env33-c)
    std::vector<unsigned char> built;
    if (status != 0 || !read_bytes(binary, built)) {
        std::printf("%s failed (status %d); see %s\n", name, status, log.string().c_str());
        return false;
    }
    std::size_t at = 0;
    std::size_t expressions = 0;
    for (std::size_t i = 0; i < source.size(); ++i) {
        const std::vector<unsigned char>& bytes = source[i].bytes;
        expressions += bytes.empty() ? 0 : 1;
        for (std::size_t j = 0; j < bytes.size(); ++j, ++at) {
            if (at >= built.size() || built[at] != bytes[j]) {
                std::printf("%s: line %zu: %s\n  translated: %s\n  byte %zu: expected 0x%02X, built ",
                            name, i + 1, source[i].marked.c_str(),
                            texts[i].c_str(), j, bytes[j]);
                if (at < built.size()) {
                    std::printf("0x%02X\n", built[at]);
                } else {
                    std::printf("nothing\n");
                }
                return false;
            }
        }
    }
    if (built.size() != at) {
        std::printf("%s built %zu bytes, %zu expected\n", name, built.size(), at);
        return false;
    }
    std::printf("%s: %zu lines of values, %zu bytes, all equal\n", name, expressions, at);
    return good;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: dialect_differential SJASMPLUS PASMO WORK_DIR [SEED [LINES]]\n");
        return 2;
    }
    const std::string sjasmplus = argv[1];
    const std::string pasmo = argv[2];
    if (sjasmplus.empty() && pasmo.empty()) {
        std::printf("neither sjasmplus nor pasmo was found: skipped\n");
        return kSkipped;
    }
    const std::filesystem::path work = argv[3];
    std::filesystem::create_directories(work);
    const unsigned seed = argc > 4 ? static_cast<unsigned>(std::strtoul(argv[4], nullptr, 10))
                                   : std::random_device{}();
    const int count = argc > 5 ? static_cast<int>(std::strtol(argv[5], nullptr, 10)) : 3000;
    std::printf("seed %u, %d lines\n", seed, count);

    Generator generator(seed);
    const std::vector<SourceLine> source = make_source(generator, count);
    AlasmSource described;
    for (const SourceLine& line : source) {
        const std::string record = testing::alasm_record(line.marked);
        const auto* bytes = reinterpret_cast<const unsigned char*>(record.data());
        described.add({bytes + 1, record.size() - 1});
    }
    bool good = true;
    if (!sjasmplus.empty()) {
        good = check(Dialect::Sjasmplus, sjasmplus, work, source, described) && good;
    } else {
        std::printf("sjasmplus was not found: its half is skipped\n");
    }
    if (!pasmo.empty()) {
        good = check(Dialect::Pasmo, pasmo, work, source, described) && good;
    } else {
        std::printf("pasmo was not found: its half is skipped\n");
    }
    if (!good) {
        std::printf("to repeat: dialect_differential ... %u %d\n", seed, count);
    }
    return good ? 0 : 1;
}
