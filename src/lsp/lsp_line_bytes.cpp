#include "lsp/lsp_line_bytes.h"

#include <algorithm>
#include <system_error>

namespace korve::lsp {
namespace {

namespace fs = std::filesystem;

// The bytes of a DS kept at most.
constexpr std::size_t kMostBytes = 4096;
// The longest data file an INCBIN takes: the whole memory.
constexpr std::uintmax_t kLongestFile = 0x10000;

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
    return text;
}

}  // namespace

std::optional<std::uint16_t> operand_value(std::string_view text, const LabelValues& known,
                                           std::optional<std::uint16_t> run) {
    const ParsedExpression parsed = parse_expression(trim(text));
    return parsed.expression ? evaluate_expression(*parsed.expression, known, run) : std::nullopt;
}

std::optional<std::string> data_bytes(const Line& line, const LabelValues& known, std::optional<std::uint16_t> run) {
    std::string bytes;
    const std::size_t item = line.directive == Directive::Words ? 2 : 1;
    for (std::size_t i = 0; i < line.operands.size(); ++i) {
        const Operand& operand = line.operands[i];
        if (is_string(operand) && line.directive != Directive::Words) {
            const std::string_view quoted = operand[0].text;
            bytes += quoted.substr(1, quoted.size() - 2);
            continue;
        }
        const auto value = operand_value(classify(operand).text, known, run);
        if (!value) {
            return std::nullopt;
        }
        if (line.directive == Directive::Space && i == 0) {
            continue;  // the count
        }
        bytes += static_cast<char>(*value & 0xFF);
        if (item == 2) {
            bytes += static_cast<char>(*value >> 8);
        }
    }
    if (line.directive == Directive::Space) {
        const auto count = line.operands.empty() ? std::nullopt : operand_value(classify(line.operands[0]).text, known, run);
        if (!count || *count > kMostBytes) {
            return std::nullopt;
        }
        const std::string list = bytes.empty() ? std::string(1, '\0') : bytes;
        bytes.clear();
        for (std::size_t n = 0; n < *count; ++n) {
            bytes += list;
        }
    }
    return bytes;
}

std::optional<std::size_t> data_file_size(const fs::path& folder, std::string_view name) {
    const std::size_t drive = name.find(':');
    const std::string file = lower(std::string(name.substr(drive == std::string_view::npos ? 0 : drive + 1)));
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::u8string name8 = it->path().filename().u8string();
        std::error_code size_error;
        const std::uintmax_t size = it->file_size(size_error);
        if (lower(std::string(name8.begin(), name8.end())) == file && !size_error && size <= kLongestFile) {
            return static_cast<std::size_t>(size);
        }
    }
    return std::nullopt;
}

}  // namespace korve::lsp
