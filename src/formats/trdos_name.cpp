#include "formats/trdos_name.h"

#include <algorithm>
#include <utility>

#include "base/hex_digits.h"

namespace korve {
namespace {

constexpr unsigned char kFirstPrintable = 0x20;
constexpr unsigned char kDelete = 0x7F;
constexpr char kEscape = '\\';
constexpr std::string_view kRefusedByHosts = "/\\:*?\"<>|";
constexpr char kStandIn = '_';
constexpr std::string_view kFolderAbove = "..";
constexpr std::string_view kForFolderAbove = "__";

// The names Windows keeps for devices, before the first dot; COM and LPT
// take a digit from 1 to 9.
constexpr std::array<std::string_view, 4> kDevices = {"CON", "PRN", "AUX", "NUL"};
constexpr std::array<std::string_view, 2> kNumberedDevices = {"COM", "LPT"};

constexpr char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool same_letters(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return upper(x) == upper(y); });
}

bool names_a_device(std::string_view name) {
    const std::string_view stem = name.substr(0, name.find('.'));
    const auto is = [stem](std::string_view device) { return same_letters(stem, device); };
    if (std::any_of(kDevices.begin(), kDevices.end(), is)) {
        return true;
    }
    constexpr std::size_t kNumbered = 4;
    return stem.size() == kNumbered && stem[3] >= '1' && stem[3] <= '9' &&
           std::any_of(kNumberedDevices.begin(), kNumberedDevices.end(),
                       [stem](std::string_view device) { return same_letters(stem.substr(0, 3), device); });
}

bool is_control(unsigned char byte) { return byte < kFirstPrintable || byte == kDelete; }

}  // namespace

std::string shown_bytes(std::string_view bytes, std::optional<CodePage> page) {
    std::string line;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (is_control(byte) || c == kEscape) {
            line += "\\x";
            append_hex(line, byte, 2);
        } else if (page) {
            append_utf8(line, *page, std::string_view(&c, 1));
        } else {
            line += c;
        }
    }
    return line;
}

namespace {

}  // namespace

std::string safe_name(std::string_view bytes) {
    std::string name;
    for (const char c : bytes) {
        if (is_control(static_cast<unsigned char>(c)) || kRefusedByHosts.find(c) != std::string_view::npos) {
            name += kStandIn;
        } else {
            append_utf8(name, CodePage::Cp866, std::string_view(&c, 1));
        }
    }
    return name;
}

namespace {

std::string_view type_bytes(const TrdosName& name) {
    return {reinterpret_cast<const char*>(&name.type), 1};
}

std::string_view less_spaces(std::string_view text) {
    return text.substr(0, text.find_last_not_of(' ') + 1);
}

NameFit fit_parts(std::string_view typed, const NameParts& parts) {
    if (!parts.type.empty() && typed.size() > parts.type.size() && typed.ends_with(parts.type) &&
        typed[typed.size() - parts.type.size() - 1] == '.' &&
        less_spaces(typed.substr(0, typed.size() - parts.type.size() - 1)) == parts.name) {
        return NameFit::Whole;
    }
    if (typed == joined(parts)) {
        return NameFit::Whole;
    }
    return less_spaces(typed) == parts.name ? NameFit::NameAlone : NameFit::None;
}

}  // namespace

TrdosName catalogue_name(std::span<const unsigned char> fields) {
    TrdosName name;
    const std::size_t size = std::min(fields.size(), kTrdosNameSize);
    std::copy_n(fields.begin(), size, name.name.begin());
    if (fields.size() > kTrdosNameSize) {
        name.type = fields[kTrdosNameSize];
    }
    return name;
}

TrdosName header_name(const TrdosName& stored) {
    TrdosName name = stored;
    const auto zero = std::find(name.name.begin(), name.name.end(), 0);
    std::fill(zero, name.name.end(), kNamePadding);
    return name;
}

HeaderName alasm_header_name(std::string_view bytes) {
    const bool typed = bytes.size() > kTrdosNameSize;
    return {trdos_name(bytes.substr(0, kTrdosNameSize), typed ? static_cast<unsigned char>(bytes[kTrdosNameSize]) : kNamePadding),
            typed};
}

void write_trdos_name(const TrdosName& name, std::span<unsigned char> fields) {
    std::copy(name.name.begin(), name.name.end(), fields.begin());
    fields[kTrdosNameSize] = name.type;
}

std::string name_bytes(const TrdosName& name) {
    const std::string bytes(name.name.begin(), name.name.end());
    return std::string(less_spaces(bytes));
}

std::string catalogue_text(const TrdosName& name) {
    return name_bytes(name) + '.' + std::string(type_bytes(name));
}

NameProblem check_trdos_name(std::string_view bytes) {
    if (bytes.find_first_not_of(' ') == std::string_view::npos) {
        return NameProblem::Empty;
    }
    if (bytes.size() > kTrdosNameSize) {
        return NameProblem::TooLong;
    }
    const bool control = std::any_of(bytes.begin(), bytes.end(), [](char c) {
        return static_cast<unsigned char>(c) < kFirstPrintable;
    });
    return control ? NameProblem::ControlByte : NameProblem::None;
}

std::string name_problem_text(NameProblem problem) {
    switch (problem) {
        case NameProblem::None: break;
        case NameProblem::Empty: return "the name is empty, or spaces alone, which TR-DOS pads names with";
        case NameProblem::TooLong:
            return "the name is longer than the " + std::to_string(kTrdosNameSize) + " bytes of a TR-DOS name";
        case NameProblem::ControlByte: return "the name holds a control byte, which a TR-DOS name cannot";
    }
    return {};
}

TrdosName trdos_name(std::string_view bytes, unsigned char type) {
    TrdosName name;
    std::copy_n(bytes.begin(), std::min(bytes.size(), kTrdosNameSize), name.name.begin());
    name.type = type;
    return name;
}

std::string joined(const NameParts& parts) {
    return parts.type.empty() ? parts.name : parts.name + '.' + parts.type;
}

NameParts shown_parts(const TrdosName& name, std::optional<CodePage> page) {
    return {shown_bytes(name_bytes(name), page), shown_bytes(type_bytes(name), page)};
}

std::string shown_name(const TrdosName& name, std::optional<CodePage> page) {
    return joined(shown_parts(name, page));
}

NameParts host_parts(const TrdosName& name) {
    NameParts parts{safe_name(name_bytes(name)), safe_name(type_bytes(name))};
    const std::string whole = joined(parts);
    if (whole == kFolderAbove) {
        return {std::string(kForFolderAbove), {}};
    }
    if (names_a_device(whole)) {
        parts.name.insert(parts.name.begin(), kStandIn);
    }
    return parts;
}

std::string host_name(const TrdosName& name) { return joined(host_parts(name)); }

NameCandidate name_candidate(const TrdosName& name) { return {shown_parts(name), host_parts(name)}; }

NameCandidate name_candidate(const TrdosName& name, std::string_view host) {
    return {shown_parts(name), spelled_parts(host)};
}

NameParts spelled_parts(std::string_view spelling) {
    const std::size_t dot = spelling.rfind('.');
    if (dot == std::string_view::npos || dot == 0) {
        return {std::string(spelling), {}};
    }
    return {std::string(spelling.substr(0, dot)), std::string(spelling.substr(dot + 1))};
}

NameFit fit_name(std::string_view typed, const NameCandidate& file) {
    return std::max(fit_parts(typed, file.shown), fit_parts(typed, file.host));
}

std::vector<std::size_t> files_named(std::string_view typed, std::span<const NameCandidate> files) {
    std::vector<std::size_t> named;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const NameFit fit = fit_name(typed, files[i]);
        if (fit == NameFit::Whole) {
            return {i};
        }
        const bool spelled_before = std::any_of(named.begin(), named.end(), [&](std::size_t before) {
            return joined(files[before].shown) == joined(files[i].shown);
        });
        if (fit == NameFit::NameAlone && !spelled_before) {
            named.push_back(i);
        }
    }
    return named;
}

std::string ambiguous_name_text(std::string_view typed, std::span<const NameCandidate> files,
                                std::span<const std::size_t> named) {
    std::string text = std::string(typed) + " is ";
    for (std::size_t i = 0; i < named.size(); ++i) {
        text += i == 0 ? "" : i + 1 == named.size() ? " or " : ", ";
        text += joined(files[named[i]].shown);
    }
    return text + ": give its type";
}

std::optional<TypedName> typed_name(std::string_view typed, unsigned char type) {
    Encoded encoded = encode_in(CodePage::Cp866, typed);
    if (encoded.failed_at) {
        return std::nullopt;
    }
    TypedName name{std::move(encoded.bytes), type};
    const std::string& bytes = name.bytes;
    if (bytes.size() > 2 && bytes[bytes.size() - 2] == '.') {
        name.type = static_cast<unsigned char>(bytes.back());
        name.bytes.resize(bytes.size() - 2);
    }
    return name;
}

}  // namespace korve
