#include "translation/translation_memory.h"

#include <algorithm>
#include <iterator>
#include <span>

#include "alasm/alasm_text.h"
#include "translation/translation_project.h"

namespace korve {
namespace {

constexpr std::string_view kOrigin = "@korve_origin";
constexpr std::string_view kLowest = "@korve_lowest";
constexpr std::string_view kHighest = "@korve_highest";
constexpr std::string_view kEnd = "@korve_end";

bool plain(std::string_view name) {
    return !name.empty() && std::none_of(name.begin(), name.end(), [](char c) {
        return static_cast<unsigned char>(c) >= 0x80 || c < ' ';
    });
}

bool name_character(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           c == '_' || c == '-' || c == '+';
}

// The file saved: the source's name up to its first '.', and ".bin"; else
// "korve.bin" (a name of other characters might change with --charset, or
// mean something to a shell or a file system).
std::string saved_file(std::string_view file_name) {
    const std::string_view stem = file_name.substr(0, file_name.find('.'));
    const bool usable = !stem.empty() && std::all_of(stem.begin(), stem.end(), name_character);
    return std::string(usable ? stem : "korve") + ".bin";
}

// The name as a shell takes it: in single quotes where it holds more than
// letters, digits and _ - + . /.
std::string shell_word(std::string_view name) {
    if (std::all_of(name.begin(), name.end(),
                    [](char c) { return name_character(c) || c == '.' || c == '/'; })) {
        return std::string(name);
    }
    std::string quoted = "'";
    for (const char c : name) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

// NAME = value, as the target sets a name again.
std::string assigned(const DialectSpelling& spelling, std::string_view name,
                     std::string_view value) {
    return std::string(name) + std::string(spelling.set_again) + std::string(value);
}

// The bytes from `start` to `end`, if any, widen the span written.
void widen(const DialectSpelling& spelling, std::string_view start, std::string_view end,
           std::vector<std::string>& lines) {
    const MemorySpelling& memory = spelling.memory;
    lines.push_back(instruction({}, "IF", std::string(end) + " != " + std::string(start)));
    const std::string lowest = std::string(kLowest) + std::string(memory.lowest);
    const std::string highest = std::string(kHighest) + std::string(memory.highest);
    lines.push_back(assigned(spelling, kLowest, lowest + std::string(start)));
    lines.push_back(assigned(spelling, kHighest, highest + std::string(end)));
    lines.push_back(instruction({}, "ENDIF", {}));
}

// The bytes since the last ORG.
void close_run(const DialectSpelling& spelling, std::vector<std::string>& lines) {
    widen(spelling, kOrigin, "$", lines);
}

// The span the labelled ORGs' runs wrote: the run before the first ORG
// starts at 0, where sjasmplus starts; each run ends at the next ORG's
// label, the last at the end.
void widen_by_labels(const DialectSpelling& spelling, std::span<const std::string> origins,
                     std::vector<std::string>& lines) {
    lines.emplace_back(kEnd);
    lines.push_back(assigned(spelling, kLowest, "#10000"));
    lines.push_back(assigned(spelling, kHighest, "0"));
    for (std::size_t run = 0; run <= origins.size(); ++run) {
        const std::string start = run == 0 ? std::string("0") : "(" + origins[run - 1] + ")";
        const std::string end = run < origins.size() ? origin_label(run) : std::string(kEnd);
        widen(spelling, start, end, lines);
    }
}

}  // namespace

void WrittenBytes::add(std::uint32_t address, std::uint32_t size) {
    if (size == 0) {
        return;
    }
    std::uint32_t first = address;
    std::uint32_t last = address + size;
    auto at = spans_.upper_bound(first);
    if (at != spans_.begin() && std::prev(at)->second >= first) {
        --at;
    }
    while (at != spans_.end() && at->first <= last) {
        first = std::min(first, at->first);
        last = std::max(last, at->second);
        at = spans_.erase(at);
    }
    spans_.emplace(first, last);
}

bool WrittenBytes::covers(std::uint32_t address, std::uint32_t size) const {
    const auto at = spans_.upper_bound(address);
    return at != spans_.begin() && std::prev(at)->second >= address + size;
}

std::vector<std::string> memory_prologue(const DialectSpelling& spelling) {
    return {
        instruction({}, "DEVICE", spelling.memory.device),
        instruction({}, "IF", spelling.memory.assembled_file),
        assigned(spelling, kOrigin, "$"),
        assigned(spelling, kLowest, "#10000"),
        assigned(spelling, kHighest, "0"),
        instruction({}, "ENDIF", {}),
    };
}

std::string origin_label(std::size_t index) { return "@korve_org_" + std::to_string(index + 1); }

std::vector<std::string> memory_epilogue(const DialectSpelling& spelling, std::string_view file_name,
                                         const std::optional<std::vector<std::string>>& labelled) {
    const MemorySpelling& memory = spelling.memory;
    const std::string lowest(kLowest);
    const std::string highest(kHighest);
    std::vector<std::string> lines;
    if (labelled) {
        widen_by_labels(spelling, *labelled, lines);
    } else {
        close_run(spelling, lines);
    }
    lines.push_back(instruction(
        {}, "IF", std::string(memory.assembled_file) + " && " + highest + " > " + lowest));
    const std::string saved = "\"" + saved_file(file_name) + "\"";
    lines.push_back(
        instruction({}, memory.save, saved + "," + lowest + "," + highest + "-" + lowest));
    lines.push_back(instruction({}, "ENDIF", {}));
    const std::string assembler(spelling.name);
    const std::string source =
        plain(file_name) ? shell_word(std::string(file_name) + std::string(kTextSuffix))
                         : std::string("this file");
    lines.push_back("; " + assembler +
                    " assembles these sources into its memory, as ALASM does, and saves");
    lines.push_back("; the bytes from the lowest address written to the highest as " +
                    saved_file(file_name) + ".");
    lines.push_back("; Build: " + assembler + " " + source);
    return lines;
}

void memory_origin(const DialectSpelling& spelling, std::string_view address,
                   std::vector<std::string>& lines) {
    close_run(spelling, lines);
    lines.push_back(assigned(spelling, kOrigin, address));
    lines.push_back(instruction({}, "ORG", kOrigin));
}

}  // namespace korve
