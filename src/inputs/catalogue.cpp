#include "inputs/catalogue.h"

#include <algorithm>
#include <array>
#include <utility>

#include "base/code_page.h"
#include "base/hex_digits.h"
#include "base/little_endian.h"
#include "files/output_names.h"
#include "formats/hobeta_header.h"

namespace korve {
namespace {

constexpr char32_t kEscapedByte = 0xDC00;  // and the byte: U+DC80 to U+DCFF
constexpr unsigned char kFirstPrintable = 0x20;

// A problem of ALASM data, an image or a file on it.
struct Problem {
    std::string_view key;
    std::string text;
    std::size_t line = 0;  // 0: none meant
};

std::vector<Problem> problems_of(const AlasmSummary& alasm) {
    std::vector<Problem> problems;
    if (!alasm.checksum_matches) {
        problems.push_back({"hobeta-checksum-mismatch", "the Hobeta checksum does not match", 0});
    }
    const std::string data_end = data_end_problem(alasm.lines, alasm.cut_line, alasm.short_by);
    if (!data_end.empty()) {
        const bool cut = alasm.cut_line != 0;
        problems.push_back(
            {cut ? "data-ends-inside" : "data-ends-short", data_end, alasm.cut_line});
    }
    if (alasm.undefined) {
        const std::size_t line = alasm.lines + 1;
        problems.push_back({"undefined-token",
                            token_problem(*alasm.undefined) + " on line " + std::to_string(line),
                            line});
    }
    return problems;
}

std::vector<Problem> problems_of(const EntrySummary& entry) {
    if (entry.problem != ImageProblem::None) {
        return {{problem_key(entry.problem), entry.problem_text, 0}};
    }
    return entry.alasm ? problems_of(*entry.alasm) : std::vector<Problem>{};
}

std::string joined(const std::vector<Problem>& problems) {
    std::string text;
    for (const Problem& problem : problems) {
        text += (text.empty() ? "" : "; ") + problem.text;
    }
    return text;
}

// The words of a summary's kind: an input's kind's, as container.h's table
// names it, or a listing's own.
struct KindWords {
    std::string_view key;
    std::string_view words;
};
KindWords kind_words(const InputSummary& summary) {
    switch (summary.listed) {
        case ListedAs::OfKind: return {kind_row(summary.kind).key, kind_row(summary.kind).words};
        case ListedAs::Error: return {"error", ""};
        case ListedAs::HobetaFile: return {"hobeta-file", "Hobeta file, not ALASM data"};
    }
    return {};
}

// Whether a summary lists an image's files.
bool lists_files(const InputSummary& summary) {
    return summary.listed == ListedAs::OfKind && is_disk_image(summary.kind);
}

std::string counted(std::size_t count, std::string_view one, std::string_view many) {
    return std::to_string(count) + ' ' + std::string(count == 1 ? one : many);
}

// Characters in UTF-8 text: the columns it takes in the table.
std::size_t columns(std::string_view utf8) {
    std::size_t count = 0;
    for (const char c : utf8) {
        count += (static_cast<unsigned char>(c) & 0xC0U) != 0x80U ? 1 : 0;
    }
    return count;
}

std::string padded(const std::string& text, std::size_t width, bool right) {
    const std::size_t used = columns(text);
    const std::string fill(used < width ? width - used : 0, ' ');
    return right ? fill + text : text + fill;
}

struct Column {
    std::string_view heading;
    std::size_t width;
    bool right;
};
constexpr std::array<Column, 8> kColumns = {{
    {"NAME", kTrdosNameSize, false},
    {"TYPE", 4, false},
    {"START", 5, true},
    {"LENGTH", 6, true},
    {"SECTORS", 7, true},
    {"ALASM", 5, false},
    {"LINES", 5, true},
    {"PROBLEM", 0, false},
}};
constexpr std::string_view kIndent = "  ";
constexpr std::string_view kGap = "  ";

std::string row(const std::array<std::string, kColumns.size()>& cells) {
    std::string line(kIndent);
    for (std::size_t i = 0; i < cells.size(); ++i) {
        line += padded(cells[i], kColumns[i].width, kColumns[i].right);
        line += i + 1 < cells.size() ? kGap : "";
    }
    line.erase(line.find_last_not_of(' ') + 1);
    return line;
}

std::string alasm_line(const AlasmSummary& alasm) {
    const HeaderName name = alasm_header_name(alasm.name);
    std::string line = alasm.name.empty() ? ", with no name"
                       : name.typed   ? ", named " + shown_name(name.name)
                                      : ", named " + shown_parts(name.name).name;
    line += ": " + counted(static_cast<std::size_t>(alasm.length), "byte", "bytes") + ", " +
            counted(alasm.lines, "line", "lines");
    const std::string problems = joined(problems_of(alasm));
    return problems.empty() ? line : line + "; " + problems;
}

// CP866 gives every byte a character of its own: the name's bytes come back
// from the string.
std::string cp866_json(std::string_view bytes) {
    std::string utf8;
    append_utf8(utf8, CodePage::Cp866, bytes);
    return json_string(utf8);
}

std::string problems_json(const std::vector<Problem>& problems) {
    std::string json = "[";
    for (const Problem& problem : problems) {
        json += json.size() > 1 ? ", " : "";
        json +=
            "{\"key\": " + json_string(problem.key) + ", \"text\": " + json_string(problem.text);
        if (problem.line != 0) {
            json += ", \"line\": " + std::to_string(problem.line);
        }
        json += "}";
    }
    return json + "]";
}

std::string alasm_json(const AlasmSummary& alasm) {
    return "\"lines\": " + std::to_string(alasm.lines) +
           ", \"output\": " + json_string(alasm.output);
}

// A file's catalogue fields, from "name" to "sectors".
std::string fields_json(const EntrySummary& entry) {
    return "\"name\": " + cp866_json(name_bytes(entry.name)) +
           ", \"type\": " + cp866_json(std::string_view(reinterpret_cast<const char*>(&entry.name.type), 1)) +
           ", \"start\": " + std::to_string(entry.start) +
           ", \"length\": " + std::to_string(entry.length) +
           ", \"sectors\": " + std::to_string(entry.sectors);
}

std::string entry_json(const EntrySummary& entry) {
    std::string json = "{" + fields_json(entry);
    // A file whose data is lost may have held anything.
    const bool lost = entry.problem != ImageProblem::None;
    json += ", \"alasm\": " + std::string(lost ? "null" : entry.alasm ? "true" : "false");
    if (entry.alasm) {
        json += ", " + alasm_json(*entry.alasm);
    }
    return json + ", \"problems\": " + problems_json(problems_of(entry)) + "}";
}

}  // namespace

AlasmSummary summarise_alasm(ByteReader& input, const AlasmPlace& place, Reading reading,
                             std::string output) {
    TextOptions options;
    options.reading = reading;
    const TextReport report = convert_to_text(input, place, options, nullptr);
    return {report.head.name,     report.end.data_size, report.end.lines,
            report.head.checksum_matches, report.end.undefined, report.end.cut_line,
            std::move(output),    report.end.short_by};
}

InputSummary summarise_image(std::string input, InputKind kind, const DiskImage& image,
                             std::span<const unsigned char> bytes, Reading reading,
                             std::span<const std::string> outputs) {
    InputSummary summary;
    summary.input = std::move(input);
    summary.kind = kind;
    summary.problem = image.problem;
    summary.problem_text = image_problem_text(image);
    const std::vector<CatalogueEntry> files = live_entries(image);
    for (std::size_t i = 0; i < files.size(); ++i) {
        const CatalogueEntry& entry = files[i];
        EntrySummary& listed = summary.entries.emplace_back();
        listed.name = entry.name;
        listed.length = entry.length;
        listed.problem = entry.problem;
        listed.problem_text = entry_problem_text(entry);
        listed.start = entry.start;
        listed.sectors = entry.sectors;
        if (entry.alasm) {
            ByteReader reader(file_sectors(bytes, entry));
            listed.alasm = summarise_alasm(reader, AlasmPlace::on_disk(entry.length), reading,
                                           i < outputs.size() ? outputs[i] : std::string());
        }
    }
    return summary;
}

std::optional<EntrySummary> summarise_hobeta_file(std::span<const unsigned char> file) {
    if (file.size() < kHobetaHeaderSize || file.size() > kLargestHobetaFile) {
        return std::nullopt;
    }
    const HobetaHeader header = read_hobeta_header(file);
    const std::size_t room = sector_offset(header.sectors);
    const std::size_t data = file.size() - kHobetaHeaderSize;
    if (!header.checksum_matches || header.length > room || data < header.length || data > room) {
        return std::nullopt;
    }
    EntrySummary entry;
    entry.name = header.name;
    entry.start = header.start;
    entry.length = header.length;
    entry.sectors = header.sectors;
    return entry;
}

std::string token_problem(const UndefinedToken& token) {
    return hex_byte(token.byte) +
           (token.mode == TokenMode::First ? " is no mnemonic" : " is no operand");
}

std::string data_end_problem(std::size_t lines, std::size_t cut_line, std::int64_t short_by) {
    if (cut_line != 0) {
        return "the data ends inside line " + std::to_string(cut_line);
    }
    if (short_by > 0) {
        return "the data ends after line " + std::to_string(lines) + ", " +
               counted(static_cast<std::size_t>(short_by), "byte", "bytes") +
               " short of its length";
    }
    return "";
}

std::string summary_table(const InputSummary& summary, std::string_view line_end) {
    if (summary.listed == ListedAs::Error) {
        return "";
    }
    std::string table = summary.input + ": " + std::string(kind_words(summary).words);
    if (summary.alasm) {
        return table + alasm_line(*summary.alasm) + std::string(line_end);
    }
    if (summary.listed == ListedAs::HobetaFile && !summary.entries.empty()) {
        const EntrySummary& file = summary.entries.front();
        return table + ", named " + shown_name(file.name) + ": start " + std::to_string(file.start) +
               ", " + counted(file.length, "byte", "bytes") + ", " +
               counted(file.sectors, "sector", "sectors") + std::string(line_end);
    }
    if (!lists_files(summary)) {
        return table + std::string(line_end);
    }
    table += ", " + counted(summary.entries.size(), "file", "files");
    if (summary.problem != ImageProblem::None) {
        table += "; " + summary.problem_text;
    }
    table += line_end;
    if (summary.entries.empty()) {
        return table;
    }
    std::array<std::string, kColumns.size()> headings;
    for (std::size_t i = 0; i < kColumns.size(); ++i) {
        headings[i] = kColumns[i].heading;
    }
    table += row(headings) + std::string(line_end);
    for (const EntrySummary& entry : summary.entries) {
        const NameParts shown = shown_parts(entry.name);
        table += row({shown.name, shown.type,
                      std::to_string(entry.start), std::to_string(entry.length),
                      std::to_string(entry.sectors),
                      entry.problem != ImageProblem::None ? ""
                      : entry.alasm                       ? "yes"
                                                          : "no",
                      entry.alasm ? std::to_string(entry.alasm->lines) : "",
                      joined(problems_of(entry))});
        table += line_end;
    }
    return table;
}

std::string summary_json(const InputSummary& summary) {
    std::string json = "{\"input\": " + json_string(summary.input) +
                       ", \"kind\": " + json_string(kind_words(summary).key);
    if (summary.listed == ListedAs::Error) {
        return json + ", \"error\": " + json_string(summary.error) + "}";
    }
    if (summary.alasm) {
        const AlasmSummary& alasm = *summary.alasm;
        const HeaderName name = alasm_header_name(alasm.name);
        json += ", \"name\": " + cp866_json(name_bytes(name.name));
        if (name.typed) {
            json += ", \"type\": " + cp866_json(std::string_view(reinterpret_cast<const char*>(&name.name.type), 1));
        }
        json += ", \"length\": " + std::to_string(alasm.length) + ", " + alasm_json(alasm) +
                ", \"problems\": " + problems_json(problems_of(alasm));
    } else if (summary.listed == ListedAs::HobetaFile && !summary.entries.empty()) {
        json += ", " + fields_json(summary.entries.front());
    } else if (lists_files(summary)) {
        const std::vector<Problem> problems =
            summary.problem == ImageProblem::None
                ? std::vector<Problem>{}
                : std::vector<Problem>{{problem_key(summary.problem), summary.problem_text, 0}};
        json += ", \"problems\": " + problems_json(problems) + ", \"files\": [";
        // A line per file, indented under its image.
        for (std::size_t i = 0; i < summary.entries.size(); ++i) {
            json += (i == 0 ? "\n    " : ",\n    ") + entry_json(summary.entries[i]);
        }
        json += "]";
    }
    return json + "}";
}

std::string json_string(std::string_view utf8) {
    const auto escaped = [](char32_t c) { return "\\u" + hex_digits(c, 4); };
    std::string json = "\"";
    for (std::size_t at = 0; at < utf8.size();) {
        const Utf8Character next = decode_utf8(utf8, at);
        if (next.size == 0) {
            // A byte that is no UTF-8 (a file name on a system that keeps
            // bytes) stands for itself, as a lone surrogate does where
            // Python reads such names: U+DC80 to U+DCFF.
            json += escaped(kEscapedByte + static_cast<unsigned char>(utf8[at++]));
            continue;
        }
        const char32_t c = next.character;
        at += next.size;
        if (c == '"' || c == '\\') {
            json += '\\';
            json += static_cast<char>(c);
        } else if (c < kFirstPrintable) {
            json += escaped(c);
        } else {
            append_utf8(json, c);
        }
    }
    return json + "\"";
}

}  // namespace korve
