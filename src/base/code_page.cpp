#include "base/code_page.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace korve {
namespace {

constexpr unsigned char kFirstHighByte = 0x80;
constexpr std::size_t kHighBytes = 128;
using HighHalf = std::array<char16_t, kHighBytes>;

// The characters of the bytes 0x80 to 0xFF, eight to a row.
constexpr HighHalf kCp866 = {
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,  // 0x80
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,  // 0x88
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,  // 0x90
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,  // 0x98
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,  // 0xA0
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,  // 0xA8
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,  // 0xB0
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,  // 0xB8
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,  // 0xC0
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,  // 0xC8
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,  // 0xD0
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,  // 0xD8
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,  // 0xE0
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,  // 0xE8
    0x0401, 0x0451, 0x0404, 0x0454, 0x0407, 0x0457, 0x040E, 0x045E,  // 0xF0
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x2116, 0x00A4, 0x25A0, 0x00A0,  // 0xF8
};

constexpr HighHalf kCp1251 = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,  // 0x88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,  // 0x98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  // 0xA0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,  // 0xA8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  // 0xB0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,  // 0xB8
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,  // 0xC0
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,  // 0xC8
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,  // 0xD0
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,  // 0xD8
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,  // 0xE0
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,  // 0xE8
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,  // 0xF0
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,  // 0xF8
};

constexpr HighHalf kKoi8R = {
    0x2500, 0x2502, 0x250C, 0x2510, 0x2514, 0x2518, 0x251C, 0x2524,  // 0x80
    0x252C, 0x2534, 0x253C, 0x2580, 0x2584, 0x2588, 0x258C, 0x2590,  // 0x88
    0x2591, 0x2592, 0x2593, 0x2320, 0x25A0, 0x2219, 0x221A, 0x2248,  // 0x90
    0x2264, 0x2265, 0x00A0, 0x2321, 0x00B0, 0x00B2, 0x00B7, 0x00F7,  // 0x98
    0x2550, 0x2551, 0x2552, 0x0451, 0x2553, 0x2554, 0x2555, 0x2556,  // 0xA0
    0x2557, 0x2558, 0x2559, 0x255A, 0x255B, 0x255C, 0x255D, 0x255E,  // 0xA8
    0x255F, 0x2560, 0x2561, 0x0401, 0x2562, 0x2563, 0x2564, 0x2565,  // 0xB0
    0x2566, 0x2567, 0x2568, 0x2569, 0x256A, 0x256B, 0x256C, 0x00A9,  // 0xB8
    0x044E, 0x0430, 0x0431, 0x0446, 0x0434, 0x0435, 0x0444, 0x0433,  // 0xC0
    0x0445, 0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E,  // 0xC8
    0x043F, 0x044F, 0x0440, 0x0441, 0x0442, 0x0443, 0x0436, 0x0432,  // 0xD0
    0x044C, 0x044B, 0x0437, 0x0448, 0x044D, 0x0449, 0x0447, 0x044A,  // 0xD8
    0x042E, 0x0410, 0x0411, 0x0426, 0x0414, 0x0415, 0x0424, 0x0413,  // 0xE0
    0x0425, 0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E,  // 0xE8
    0x041F, 0x042F, 0x0420, 0x0421, 0x0422, 0x0423, 0x0416, 0x0412,  // 0xF0
    0x042C, 0x042B, 0x0417, 0x0428, 0x042D, 0x0429, 0x0427, 0x042A,  // 0xF8
};

struct NamedPage {
    CodePage page;
    std::string_view name;
    const HighHalf& characters;
};
constexpr std::array<NamedPage, 3> kPages = {{
    {CodePage::Cp866, "CP866", kCp866},
    {CodePage::Cp1251, "CP1251", kCp1251},
    {CodePage::Koi8R, "KOI8-R", kKoi8R},
}};

constexpr const NamedPage& named_page(CodePage page) {
    return kPages[static_cast<std::size_t>(page)];
}
static_assert(named_page(CodePage::Koi8R).page == CodePage::Koi8R);

// UTF-8's limits and marks.
constexpr char32_t kLargestOneByte = 0x7F;
constexpr char32_t kLargestTwoBytes = 0x7FF;
constexpr char32_t kLargestThreeBytes = 0xFFFF;
constexpr char32_t kLargestCharacter = 0x10FFFF;
constexpr char32_t kFirstSurrogate = 0xD800;
constexpr char32_t kLastSurrogate = 0xDFFF;
constexpr unsigned kContinuationBits = 6;
constexpr unsigned char kContinuationMark = 0x80;
constexpr unsigned char kContinuationMask = 0xC0;
constexpr unsigned char kPayloadMask = 0x3F;

// A lead byte's mark, the bits it carries, and the least character its
// length may write (shorter forms are invalid).
struct Lead {
    unsigned char mark;
    unsigned char mask;
    char32_t least;
};
constexpr std::array<Lead, kLongestUtf8> kLeads = {{
    {0x00, 0x80, 0x0},
    {0xC0, 0xE0, kLargestOneByte + 1},
    {0xE0, 0xF0, kLargestTwoBytes + 1},
    {0xF0, 0xF8, kLargestThreeBytes + 1},
}};

constexpr std::size_t utf8_size(char32_t character) {
    return character <= kLargestOneByte      ? 1
           : character <= kLargestTwoBytes   ? 2
           : character <= kLargestThreeBytes ? 3
                                             : 4;
}

// Each high byte of each page in UTF-8, worked out while compiling.
struct Utf8Of {
    std::array<char, kLongestUtf8> bytes{};
    unsigned char size = 0;
};
using Utf8Half = std::array<Utf8Of, kHighBytes>;

constexpr Utf8Of utf8_of(char32_t character) {
    Utf8Of result;
    result.size = static_cast<unsigned char>(utf8_size(character));
    for (std::size_t i = result.size; i-- > 1;) {
        result.bytes[i] = static_cast<char>(kContinuationMark | (character & kPayloadMask));
        character >>= kContinuationBits;
    }
    result.bytes[0] = static_cast<char>(kLeads[result.size - 1].mark | character);
    return result;
}

constexpr std::array<Utf8Half, kPages.size()> make_utf8_halves() {
    std::array<Utf8Half, kPages.size()> halves{};
    for (std::size_t page = 0; page < kPages.size(); ++page) {
        for (std::size_t i = 0; i < kHighBytes; ++i) {
            halves[page][i] = utf8_of(kPages[page].characters[i]);
        }
    }
    return halves;
}
constexpr std::array<Utf8Half, kPages.size()> kUtf8Halves = make_utf8_halves();

constexpr char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

std::optional<CodePage> code_page_named(std::string_view name) {
    for (const NamedPage& known : kPages) {
        if (std::equal(name.begin(), name.end(), known.name.begin(), known.name.end(),
                       [](char a, char b) { return upper(a) == b; })) {
            return known.page;
        }
    }
    return std::nullopt;
}

std::string_view code_page_name(CodePage page) { return named_page(page).name; }

char32_t character_of(CodePage page, unsigned char byte) {
    return byte < kFirstHighByte ? byte : named_page(page).characters[byte - kFirstHighByte];
}

std::optional<unsigned char> byte_of(CodePage page, char32_t character) {
    if (character < kFirstHighByte) {
        return static_cast<unsigned char>(character);
    }
    const HighHalf& characters = named_page(page).characters;
    const auto found = std::find(characters.begin(), characters.end(), character);
    if (found == characters.end()) {
        return std::nullopt;
    }
    return static_cast<unsigned char>(kFirstHighByte + (found - characters.begin()));
}

void append_utf8(std::string& text, CodePage page, std::string_view bytes) {
    const Utf8Half& half = kUtf8Halves[static_cast<std::size_t>(page)];
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < kFirstHighByte) {
            text += c;
        } else {
            const Utf8Of& utf8 = half[byte - kFirstHighByte];
            text.append(utf8.bytes.data(), utf8.size);
        }
    }
}

void append_utf8(std::string& text, char32_t character) {
    const Utf8Of utf8 = utf8_of(character);
    text.append(utf8.bytes.data(), utf8.size);
}

Utf8Character decode_utf8(std::string_view text, std::size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    for (std::size_t size = 1; size <= kLeads.size(); ++size) {
        const Lead& form = kLeads[size - 1];
        if ((lead & form.mask) != form.mark) {
            continue;
        }
        if (text.size() - at < size) {
            return {};
        }
        char32_t character = lead & static_cast<unsigned char>(~form.mask);
        for (std::size_t i = 1; i < size; ++i) {
            const auto next = static_cast<unsigned char>(text[at + i]);
            if ((next & kContinuationMask) != kContinuationMark) {
                return {};
            }
            character = (character << kContinuationBits) | (next & kPayloadMask);
        }
        const bool valid = character >= form.least && character <= kLargestCharacter &&
                           (character < kFirstSurrogate || character > kLastSurrogate);
        return valid ? Utf8Character{character, size} : Utf8Character{};
    }
    return {};
}

Encoded encode_in(CodePage page, std::string_view utf8) {
    Encoded encoded;
    encoded.bytes.reserve(utf8.size());
    for (std::size_t at = 0; at < utf8.size();) {
        const Utf8Character next = decode_utf8(utf8, at);
        const auto byte = next.size == 0 ? std::nullopt : byte_of(page, next.character);
        if (!byte) {
            encoded.failed_at = at;
            return encoded;
        }
        encoded.bytes += static_cast<char>(*byte);
        at += next.size;
    }
    return encoded;
}

TextPosition position_of(std::string_view utf8, std::size_t offset) {
    TextPosition position;
    for (std::size_t at = 0; at < offset && at < utf8.size();) {
        if (utf8[at] == '\n') {
            ++position.line;
            position.column = 1;
            ++at;
            continue;
        }
        // Bytes that are no UTF-8 count as a character each.
        at += std::max<std::size_t>(decode_utf8(utf8, at).size, 1);
        ++position.column;
    }
    return position;
}

}  // namespace korve
