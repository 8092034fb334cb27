#include "files/output_names.h"

#include <algorithm>
#include <array>
#include <string>
#include <utility>

#include "base/code_page.h"

namespace korve {
namespace {

constexpr char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool same_letters(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return upper(x) == upper(y); });
}

// Cyrillic capitals, U+0400..U+042F, and their small letters, 0x20 or 0x50
// above them.
constexpr char32_t kFirstCyrillicCapital = 0x0400;
constexpr char32_t kFirstBasicCapital = 0x0410;
constexpr char32_t kLastCyrillicCapital = 0x042F;
constexpr char32_t kToBasicSmall = 0x20;
constexpr char32_t kToOtherSmall = 0x50;

char32_t small(char32_t c) {
    if (c >= 'A' && c <= 'Z') {
        return c - 'A' + 'a';
    }
    if (c >= kFirstCyrillicCapital && c <= kLastCyrillicCapital) {
        return c + (c >= kFirstBasicCapital ? kToBasicSmall : kToOtherSmall);
    }
    return c;
}

// A name in the form in which names that differ only in case are equal.
std::string folded(std::string_view name) {
    std::string result;
    for (std::size_t at = 0; at < name.size();) {
        const Utf8Character next = decode_utf8(name, at);
        if (next.size == 0) {
            result += name[at++];  // no UTF-8: kept as it is
        } else {
            append_utf8(result, small(next.character));
            at += next.size;
        }
    }
    return result;
}

// The endings a text file's name takes off, each at most once and in this
// order: the text's own, then the type of the source it was made from.
constexpr std::array<std::array<std::string_view, 2>, 2> kTextEndings = {{
    {".asm", ".txt"},
    {".h", ".$h"},
}};

bool ends_with_letters(std::string_view name, std::string_view ending) {
    return name.size() > ending.size() &&
           same_letters(name.substr(name.size() - ending.size()), ending);
}

}  // namespace

std::optional<std::string> trdos_name_of(std::string_view file_name) {
    std::string_view name = file_name;
    for (const auto& endings : kTextEndings) {
        for (const std::string_view ending : endings) {
            if (ends_with_letters(name, ending)) {
                name.remove_suffix(ending.size());
                break;
            }
        }
    }
    Encoded bytes = encode_in(CodePage::Cp866, name);
    if (bytes.failed_at) {
        return std::nullopt;
    }
    return std::move(bytes.bytes);
}

std::optional<std::string> text_stem(std::string_view file_name) {
    constexpr std::string_view kText = ".asm";
    if (!ends_with_letters(file_name, kText)) {
        return std::nullopt;
    }
    return std::string(file_name.substr(0, file_name.size() - kText.size()));
}

std::string hobeta_file_name(std::string_view text_file_name) {
    constexpr std::string_view kHobeta = ".$h";
    std::string_view name = text_file_name;
    for (const std::string_view ending : kTextEndings[0]) {
        if (ends_with_letters(name, ending)) {
            name.remove_suffix(ending.size());
            break;
        }
    }
    if (ends_with_letters(name, kHobeta)) {
        return std::string(name);
    }
    const std::size_t dot = name.rfind('.');
    if (dot != std::string_view::npos && dot + 2 == name.size() && name[dot + 1] != '.') {
        name.remove_suffix(2);
    }
    return std::string(name) + std::string(kHobeta);
}

std::string claim_name(ClaimedNames& claimed, std::string_view stem, std::string_view suffix) {
    std::string unique = std::string(stem) + std::string(suffix);
    for (int number = 2; claimed.folded.contains(folded(unique)); ++number) {
        unique = std::string(stem) + " (" + std::to_string(number) + ")" + std::string(suffix);
    }
    claimed.folded.insert(folded(unique));
    return unique;
}

std::vector<std::string> image_file_names(std::span<const CatalogueEntry> files) {
    ClaimedNames claimed;
    std::vector<std::string> names;
    names.reserve(files.size());
    for (const CatalogueEntry& entry : files) {
        names.push_back(claim_name(claimed, host_name(entry.name)));
    }
    return names;
}

}  // namespace korve
